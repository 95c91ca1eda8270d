// The font metrics tool's layout held to the platform's own prntfont.h, at compile time in each
// Windows build. prntfont.h needs FWORD and FD_KERNINGPAIR from winddi.h, whose MinGW copy does
// not compile (it includes the missing ddrawint.h): both are declared here as winddi.h has them.
#include <windows.h>

#include <cstddef>

typedef SHORT FWORD;
typedef struct _FD_KERNINGPAIR {
  WCHAR wcFirst;
  WCHAR wcSecond;
  FWORD fwdKern;
} FD_KERNINGPAIR;

#include <prntfont.h>

#include "../../tools/fonts/font_layout.h"

static_assert(sizeof(UNIFM_HDR) == sizeof(ufm::Header));
static_assert(offsetof(UNIFM_HDR, lGlyphSetDataRCID) == offsetof(ufm::Header, lGlyphSetDataRCID));
static_assert(offsetof(UNIFM_HDR, loIFIMetrics) == offsetof(ufm::Header, loIFIMetrics));
static_assert(offsetof(UNIFM_HDR, loKernPair) == offsetof(ufm::Header, loKernPair));
static_assert(sizeof(UNIDRVINFO) == sizeof(ufm::UnidrvInfo));
static_assert(offsetof(UNIDRVINFO, wXRes) == offsetof(ufm::UnidrvInfo, wXRes));
static_assert(offsetof(UNIDRVINFO, SelectFont) == offsetof(ufm::UnidrvInfo, SelectFont));
static_assert(offsetof(UNIDRVINFO, UnSelectFont) == offsetof(ufm::UnidrvInfo, UnSelectFont));
static_assert(sizeof(EXTTEXTMETRIC) == 52);
static_assert(UNIFM_VERSION_1_0 == ufm::kVersion10);
static_assert(CC_CP437 == ufm::kCcCp437 && CC_GB2312 == ufm::kCcGb2312);
static_assert(DF_NOITALIC == ufm::kDfNoItalic && DF_NOUNDER == ufm::kDfNoUnder &&
              DF_NO_BOLD == ufm::kDfNoBold && DF_NO_DOUBLE_UNDERLINE == ufm::kDfNoDoubleUnderline &&
              DF_NO_STRIKETHRU == ufm::kDfNoStrikethru);
