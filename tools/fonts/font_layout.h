// The Unidrv font metrics layout (.ufm) as the resource DLL stores it, with 32-bit fields
// whichever machine reads it: UNIFM_HDR, UNIDRVINFO (prntfont.h) and PRINTIFI32, the 32-bit
// form of IFIMETRICS (winddi.h) that UNIFM_HDR.loIFIMetrics points to ("UNIFM_HDR structure").
#pragma once

#include <cstddef>
#include <cstdint>

namespace ufm {

struct Header {  // UNIFM_HDR
  uint32_t dwSize, dwVersion, ulDefaultCodepage;
  int32_t lGlyphSetDataRCID;
  uint32_t loUnidrvInfo, loIFIMetrics, loExtTextMetric, loWidthTable, loKernPair;
  uint32_t dwReserved[2];
};

struct Invocation {  // INVOC: a command's length and offset from the UNIDRVINFO's start
  uint32_t dwCount, loOffset;
};

struct UnidrvInfo {  // UNIDRVINFO
  uint32_t dwSize, flGenFlags;
  uint16_t wType, fCaps, wXRes, wYRes;
  int16_t sYAdjust, sYMoved;
  uint16_t wPrivateData;
  int16_t sShift;
  Invocation SelectFont, UnSelectFont;
  uint16_t wReserved[4];
};

struct Point {  // POINTL
  int32_t x, y;
};

struct IfiMetrics {  // PRINTIFI32: IFIMETRICS with PTRDIFF as LONG and no 64-bit Align member
  uint32_t cjThis, cjIfiExtra;
  int32_t dpwszFamilyName, dpwszStyleName, dpwszFaceName, dpwszUniqueName, dpFontSim;
  int32_t lEmbedId, lItalicAngle, lCharBias, dpCharSets;
  uint8_t jWinCharSet, jWinPitchAndFamily;
  uint16_t usWinWeight;
  uint32_t flInfo;
  uint16_t fsSelection, fsType;
  int16_t fwdUnitsPerEm, fwdLowestPPEm, fwdWinAscender, fwdWinDescender;
  int16_t fwdMacAscender, fwdMacDescender, fwdMacLineGap;
  int16_t fwdTypoAscender, fwdTypoDescender, fwdTypoLineGap;
  int16_t fwdAveCharWidth, fwdMaxCharInc, fwdCapHeight, fwdXHeight;
  int16_t fwdSubscriptXSize, fwdSubscriptYSize, fwdSubscriptXOffset, fwdSubscriptYOffset;
  int16_t fwdSuperscriptXSize, fwdSuperscriptYSize, fwdSuperscriptXOffset, fwdSuperscriptYOffset;
  int16_t fwdUnderscoreSize, fwdUnderscorePosition, fwdStrikeoutSize, fwdStrikeoutPosition;
  uint8_t chFirstChar, chLastChar, chDefaultChar, chBreakChar;
  uint16_t wcFirstChar, wcLastChar, wcDefaultChar, wcBreakChar;
  Point ptlBaseline, ptlAspect, ptlCaret;
  int32_t rclFontBox[4];  // left, top, right, bottom
  char achVendId[4];
  uint32_t cKerningPairs, ulPanoseCulture;
  uint8_t panose[10];  // PANOSE: ten bytes
};

// Sizes measured against MinGW's prntfont.h in the Windows builds (tests/windows).
static_assert(sizeof(Header) == 44);
static_assert(sizeof(UnidrvInfo) == 48);
static_assert(sizeof(IfiMetrics) == 184);
static_assert(offsetof(IfiMetrics, fwdUnitsPerEm) == 56);
static_assert(offsetof(IfiMetrics, fwdAveCharWidth) == 76);
static_assert(offsetof(IfiMetrics, chFirstChar) == 108);
static_assert(offsetof(IfiMetrics, ptlBaseline) == 120);
static_assert(offsetof(IfiMetrics, rclFontBox) == 144);
static_assert(offsetof(IfiMetrics, panose) == 172);

// Values of prntfont.h and winddi.h the fonts use.
constexpr uint32_t kVersion10 = 0x10000;           // UNIFM_VERSION_1_0
constexpr int32_t kCcCp437 = -1, kCcGb2312 = -16;  // predefined glyph sets (CC_CP437, CC_GB2312)
constexpr uint16_t kDfNoItalic = 1, kDfNoUnder = 2, kDfNoBold = 8, kDfNoDoubleUnderline = 16,
                   kDfNoStrikethru = 32;
constexpr uint32_t kFmInfoTechBitmap = 0x2, kFmInfo1Bpp = 0x20, kFmInfoIntegerWidth = 0x800,
                   kFmInfoConstantWidth = 0x1000, kFmInfoNotContiguous = 0x2000,
                   kFmInfoDbcsFixedPitch = 0x10000000;
constexpr uint16_t kFmSelRegular = 0x40;

}  // namespace ufm
