// Build tool: writes the Unidrv font metrics (.ufm) of the KV-80C's resident fonts, which
// KV80.DLL carries as RC_UFM resources and the GPD lists as its device fonts.
//
//   make_ufm <folder>   writes KV80FA.UFM, KV80FB.UFM and KV80GB.UFM there
//
// Every field follows "UNIFM_HDR structure", "UNIDRVINFO structure" and "IFIMETRICS structure"
// (Microsoft's printer driver reference). A field whose value the pages leave open takes the
// plainest one and says so.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "font_layout.h"

namespace {

// One resident font. Sizes are printer dots (203 dpi); the em is the glyph's height and the
// cell adds the gap to the next line, so a line of text takes the printer's default line pitch.
struct Font {
  const char* file;
  const char16_t* name;
  int glyphWidth, glyphHeight;  // a single-byte glyph
  int doubleWidth;              // a double-byte glyph; 0 where the font has none
  int ascent, descent, cellHeight;
  uint8_t charSet;  // OEM_CHARSET 255, GB2312_CHARSET 134 (wingdi.h)
  uint32_t codePage;
  int32_t glyphSet;
  const char* select;  // the printer command that selects the font
  size_t selectLength;
  uint16_t lastUnicode;
};

// ESC/POS: Font A 12 x 24 and Font B 9 x 17 (ESC M 0, ESC M 1), the Chinese font 24 x 24 with
// Font A as its half-width part. The printer's default line spacing is 1/6 inch (34 dots).
const Font kFonts[] = {
    {"KV80FA.UFM", u"KV Font A", 12, 24, 0, 20, 4, 34, 255, 437, ufm::kCcCp437, "\x1bM\x00", 3,
     0x25A0},
    {"KV80FB.UFM", u"KV Font B", 9, 17, 0, 14, 3, 24, 255, 437, ufm::kCcCp437, "\x1bM\x01", 3,
     0x25A0},
    {"KV80GB.UFM", u"KV Chinese 24", 12, 24, 24, 20, 4, 34, 134, 936, ufm::kCcGb2312, "\x1bM\x00",
     3, 0xFFE5},
};

template <typename T>
void Put(std::vector<unsigned char>& out, size_t at, const T& value) {
  if (out.size() < at + sizeof value) out.resize(at + sizeof value);
  std::memcpy(out.data() + at, &value, sizeof value);
}

size_t Aligned(size_t size) {
  return (size + 3) & ~size_t{3};
}

std::vector<unsigned char> Build(const Font& f) {
  std::vector<unsigned char> out;
  const size_t unidrvAt = sizeof(ufm::Header);
  // The select command follows the UNIDRVINFO, which counts it in its size (INVOC offsets are
  // from the UNIDRVINFO's start).
  ufm::UnidrvInfo unidrv{};
  unidrv.dwSize = static_cast<uint32_t>(Aligned(sizeof unidrv + f.selectLength));
  unidrv.flGenFlags = 0;  // resident: neither soft, cartridge nor scalable
  unidrv.wType = 0;       // the field names scalable font technologies only
  unidrv.fCaps = ufm::kDfNoItalic | ufm::kDfNoUnder | ufm::kDfNoBold | ufm::kDfNoDoubleUnderline |
                 ufm::kDfNoStrikethru;
  unidrv.wXRes = unidrv.wYRes = 203;
  unidrv.SelectFont = {static_cast<uint32_t>(f.selectLength), sizeof unidrv};
  Put(out, unidrvAt, unidrv);
  out.resize(unidrvAt + unidrv.dwSize);
  std::memcpy(out.data() + unidrvAt + sizeof unidrv, f.select, f.selectLength);

  const size_t ifiAt = out.size();
  ufm::IfiMetrics ifi{};
  std::u16string name = f.name;
  const std::u16string style = u"Regular";
  // Family, face and unique name are the font's name; the strings follow the structure, and
  // cjThis counts them ("IFIMETRICS structure", cjThis).
  size_t nameAt = sizeof ifi, styleAt = nameAt + (name.size() + 1) * 2;
  ifi.cjThis = static_cast<uint32_t>(Aligned(styleAt + (style.size() + 1) * 2));
  ifi.dpwszFamilyName = ifi.dpwszFaceName = ifi.dpwszUniqueName = static_cast<int32_t>(nameAt);
  ifi.dpwszStyleName = static_cast<int32_t>(styleAt);
  ifi.jWinCharSet = f.charSet;
  ifi.jWinPitchAndFamily = 0x31;  // FIXED_PITCH | FF_MODERN
  ifi.usWinWeight = 400;          // FW_NORMAL
  ifi.flInfo = ufm::kFmInfoTechBitmap | ufm::kFmInfo1Bpp | ufm::kFmInfoIntegerWidth;
  // A double-byte font is fixed pitch in each byte mode: its double-byte glyphs twice as wide.
  ifi.flInfo |= f.doubleWidth ? ufm::kFmInfoNotContiguous | ufm::kFmInfoDbcsFixedPitch
                              : ufm::kFmInfoConstantWidth;
  ifi.fsSelection = ufm::kFmSelRegular;
  const int16_t em = static_cast<int16_t>(f.glyphHeight);
  const int16_t gap = static_cast<int16_t>(f.cellHeight - f.glyphHeight);
  ifi.fwdUnitsPerEm = ifi.fwdLowestPPEm = em;
  // The glyph stands at the top of the cell, the gap to the next line below it: the printer
  // prints a glyph from the cursor down (CharPosition UPPERLEFT, the GPD's default).
  ifi.fwdWinAscender = static_cast<int16_t>(f.ascent);
  ifi.fwdWinDescender = static_cast<int16_t>(f.descent + gap);
  ifi.fwdMacAscender = ifi.fwdTypoAscender = static_cast<int16_t>(f.ascent);
  ifi.fwdMacDescender = ifi.fwdTypoDescender = static_cast<int16_t>(-f.descent);
  ifi.fwdMacLineGap = ifi.fwdTypoLineGap = gap;
  ifi.fwdAveCharWidth = static_cast<int16_t>(f.glyphWidth);
  ifi.fwdMaxCharInc = static_cast<int16_t>(f.doubleWidth ? f.doubleWidth : f.glyphWidth);
  ifi.fwdCapHeight = static_cast<int16_t>(f.ascent * 4 / 5);
  ifi.fwdXHeight = static_cast<int16_t>(f.ascent * 3 / 5);
  ifi.fwdSubscriptXSize = ifi.fwdSuperscriptXSize = static_cast<int16_t>(f.glyphWidth);
  ifi.fwdSubscriptYSize = ifi.fwdSuperscriptYSize = em;
  ifi.fwdSuperscriptYOffset = static_cast<int16_t>(f.ascent / 2);
  ifi.fwdUnderscoreSize = ifi.fwdStrikeoutSize = 2;
  ifi.fwdUnderscorePosition = static_cast<int16_t>(-(f.descent / 2 + 1));
  ifi.fwdStrikeoutPosition = static_cast<int16_t>(f.ascent * 2 / 5);
  ifi.chFirstChar = 0x20;
  ifi.chLastChar = 0xFF;
  ifi.chDefaultChar = '?';
  ifi.chBreakChar = 0x20;
  ifi.wcFirstChar = 0x20;
  ifi.wcLastChar = f.lastUnicode;
  ifi.wcDefaultChar = '?';
  ifi.wcBreakChar = 0x20;
  ifi.ptlBaseline = {1, 0};
  ifi.ptlAspect = {203, 203};
  ifi.ptlCaret = {0, 1};
  ifi.rclFontBox[0] = 0;
  ifi.rclFontBox[1] = f.ascent;
  ifi.rclFontBox[2] = ifi.fwdMaxCharInc;
  ifi.rclFontBox[3] = -f.descent;
  std::memcpy(ifi.achVendId, "Unkn", 4);  // no registered vendor id
  Put(out, ifiAt, ifi);
  out.resize(ifiAt + ifi.cjThis);
  for (size_t i = 0; i < name.size(); ++i) Put(out, ifiAt + nameAt + 2 * i, name[i]);
  for (size_t i = 0; i < style.size(); ++i) Put(out, ifiAt + styleAt + 2 * i, style[i]);

  ufm::Header header{};
  header.dwSize = static_cast<uint32_t>(out.size());
  header.dwVersion = ufm::kVersion10;
  header.ulDefaultCodepage = f.codePage;
  header.lGlyphSetDataRCID = f.glyphSet;
  header.loUnidrvInfo = static_cast<uint32_t>(unidrvAt);
  header.loIFIMetrics = static_cast<uint32_t>(ifiAt);
  // Fixed pitch: no width table (the widths are fwdAveCharWidth and, for double-byte glyphs,
  // fwdMaxCharInc); no kerning pairs; no EXTTEXTMETRIC, which only scalable fonts need.
  Put(out, 0, header);
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_ufm <folder>\n");
    return 2;
  }
  for (const Font& font : kFonts) {
    std::string path = std::string(argv[1]) + "/" + font.file;
    std::vector<unsigned char> bytes = Build(font);
    std::FILE* file = std::fopen(path.c_str(), "wb");
    bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (file && std::fclose(file) != 0) written = false;
    if (!written) {
      std::fprintf(stderr, "make_ufm: cannot write %s\n", path.c_str());
      std::remove(path.c_str());
      return 1;
    }
  }
  return 0;
}
