"""The resident fonts' metrics (RC_UFM resources of KV80.DLL) held to their documented layout.

Evidence: "UNIFM_HDR structure" (its Remarks pair each CC_ glyph set with its code page),
"UNIDRVINFO structure", "IFIMETRICS structure" (32-bit layout, PRINTIFI32), "Unidrv Font
Metrics", "Glyph Translation Tables"; the printer's own fonts: ESC/POS Font A 12 x 24, Font B
9 x 17 and the Chinese font 24 x 24 with Font A as its half-width part.
"""
import struct

import gpd

RT_UFM, RT_GTT = 260, 261
HEADER, UNIDRVINFO, IFIMETRICS = 44, 48, 184
# Predefined glyph sets and their code pages (prntfont.h CC_ values).
PREDEFINED = {-1: 437, -2: 850, -3: 863, -10: 950, -12: 932, -13: 932, -16: 936, -17: 932,
              -18: 949}
CHARSETS = {437: 255, 850: 255, 863: 255, 936: 134, 950: 136, 932: 128, 949: 129}
# Resource id -> (single-byte glyph width, glyph height, double-byte width or 0).
PRINTER_FONTS = {1: (12, 24, 0), 2: (9, 17, 0), 3: (12, 24, 24)}
FIXED_PITCH = 1
FM_INFO_CONSTANT_WIDTH, FM_INFO_DBCS_FIXED_PITCH = 0x1000, 0x10000000
# The test page places its elements for a line pitch of 33 to 35 dots.
DEFAULT_PITCH = range(33, 36)


def ufms(package, language, arch):
    """{id: bytes} of the RC_UFM resources of one KV80.DLL."""
    found = {}
    for (kind, name), variants in package.resources(language, arch, "KV80.DLL").items():
        if kind == RT_UFM:
            found[name] = next(iter(variants.values()))
    return found


def within(data, offset, size):
    return 0 <= offset and offset + size <= len(data)


def utf16z(data, at):
    end = at
    while end + 1 < len(data):
        if data[end:end + 2] == b"\0\0":
            return data[at:end].decode("utf-16-le")
        end += 2
    return None


def metrics(data, fail, where):
    """The IFIMETRICS fields the checks need, or None when the layout is broken."""
    if len(data) < HEADER:
        fail("%s: shorter than UNIFM_HDR" % where)
        return None
    (size, version, codepage, glyphset, lo_unidrv, lo_ifi, lo_etm, lo_width,
     lo_kern) = struct.unpack_from("<IIIiIIIII", data, 0)
    if size != len(data) or version != 0x10000:
        fail("%s: dwSize %d for %d bytes, version 0x%x" % (where, size, len(data), version))
    for name, offset, least in (("UNIDRVINFO", lo_unidrv, UNIDRVINFO),
                                ("IFIMETRICS", lo_ifi, IFIMETRICS)):
        if offset < HEADER or offset % 4 or not within(data, offset, least):
            fail("%s: %s at %d lies outside the resource" % (where, name, offset))
            return None
    for name, offset in (("EXTTEXTMETRIC", lo_etm), ("width table", lo_width),
                         ("kerning pairs", lo_kern)):
        if offset and not within(data, offset, 8):
            fail("%s: %s at %d lies outside the resource" % (where, name, offset))
    unidrv_size, = struct.unpack_from("<I", data, lo_unidrv)
    x_res, y_res = struct.unpack_from("<HH", data, lo_unidrv + 12)
    select_count, select_at, unselect_count, unselect_at = struct.unpack_from(
        "<IIII", data, lo_unidrv + 24)
    if unidrv_size < UNIDRVINFO or not within(data, lo_unidrv, unidrv_size):
        fail("%s: UNIDRVINFO's size %d" % (where, unidrv_size))
    for count, at in ((select_count, select_at), (unselect_count, unselect_at)):
        if count and (at < UNIDRVINFO or at + count > unidrv_size):
            fail("%s: a command outside its UNIDRVINFO" % where)
    if select_count == 0:
        fail("%s: no select command" % where)
    if (x_res, y_res) != (203, 203):
        fail("%s: resolution %dx%d, not the printer's 203" % (where, x_res, y_res))

    cj_this, = struct.unpack_from("<I", data, lo_ifi)
    if cj_this < IFIMETRICS or not within(data, lo_ifi, cj_this):
        fail("%s: IFIMETRICS cjThis %d" % (where, cj_this))
        return None
    ifi = data[lo_ifi:lo_ifi + cj_this]
    names = struct.unpack_from("<iiii", ifi, 8)
    for offset in names:
        if not IFIMETRICS <= offset < cj_this or utf16z(ifi, offset) is None:
            fail("%s: a name at %d outside the IFIMETRICS" % (where, offset))
    charset, pitch = struct.unpack_from("<BB", ifi, 44)
    fl_info, = struct.unpack_from("<I", ifi, 48)
    (em, _, ascender, descender) = struct.unpack_from("<hhhh", ifi, 56)
    average, max_inc = struct.unpack_from("<hh", ifi, 76)
    box = struct.unpack_from("<iiii", ifi, 144)
    if glyphset in PREDEFINED:
        if codepage != PREDEFINED[glyphset]:
            fail("%s: glyph set %d goes with code page %d, not %d" % (
                where, glyphset, PREDEFINED[glyphset], codepage))
    elif glyphset <= 0:
        fail("%s: glyph set %d is no predefined one" % (where, glyphset))
    if CHARSETS.get(codepage) != charset:
        fail("%s: character set %d for code page %d" % (where, charset, codepage))
    if not lo_width and pitch & 3 != FIXED_PITCH:
        fail("%s: no width table for a font that is not fixed pitch" % where)
    return {"em": em, "ascender": ascender, "descender": descender, "average": average,
            "max": max_inc, "box": box, "info": fl_info, "glyphset": glyphset,
            "codepage": codepage, "name": utf16z(ifi, names[2])}


def check_cell(font_id, m, fail, where):
    """The metrics against the printer's own font: glyph size, cell, widths, pitch flags."""
    width, height, double = PRINTER_FONTS[font_id]
    if m["em"] != height or m["average"] != width or m["max"] != (double or width):
        fail("%s: em %d, widths %d/%d for a %dx%d font" % (where, m["em"], m["average"],
                                                            m["max"], width, height))
    if m["ascender"] + m["descender"] < height or m["ascender"] <= 0:
        fail("%s: a cell of %d+%d dots cannot hold the glyph" % (where, m["ascender"],
                                                                 m["descender"]))
    left, top, right, bottom = m["box"]
    if left < 0 or right > m["max"] or top > m["ascender"] or -bottom > m["descender"]:
        fail("%s: the font box %s passes the cell" % (where, m["box"]))
    if double:
        if not m["info"] & FM_INFO_DBCS_FIXED_PITCH or m["max"] != 2 * m["average"]:
            fail("%s: double-byte glyphs must be fixed pitch at twice the width" % where)
    elif not m["info"] & FM_INFO_CONSTANT_WIDTH:
        fail("%s: a fixed-pitch font without FM_INFO_CONSTANT_WIDTH" % where)


def check(package, fail):
    root = gpd.read(package, lambda message: None)
    values = {k: v for k, v, _ in root.entries}
    listed = [int(i) for i in gpd.re.findall(r"-?\d+", values.get("DeviceFonts", ""))]
    default = int(values.get("DefaultFont", "0"))
    seen = {}
    for language, arch in package.variants():
        found = ufms(package, language, arch)
        if sorted(found) != sorted(listed):
            fail("%s %s: RC_UFM %s for *DeviceFonts %s" % (language, arch, sorted(found), listed))
        for font_id, data in found.items():
            where = "%s %s font %d" % (language, arch, font_id)
            if seen.setdefault(font_id, data) != data:
                fail("%s: differs from the same font elsewhere" % where)
            m = metrics(data, fail, where)
            if m is None:
                continue
            if font_id not in PRINTER_FONTS:
                fail("%s: not one of the printer's fonts" % where)
                continue
            check_cell(font_id, m, fail, where)
            if m["glyphset"] > 0 and (RT_GTT, m["glyphset"]) not in package.resources(
                    language, arch, "KV80.DLL"):
                fail("%s: its RC_GTT %d is missing" % (where, m["glyphset"]))
            if font_id == default:
                pitch = m["ascender"] + m["descender"]
                if pitch not in DEFAULT_PITCH:
                    fail("%s: the default font's line pitch %d is not 33 to 35 dots" %
                         (where, pitch))
                if m["codepage"] != 936:
                    fail("%s: the default font cannot draw the Chinese test page" % where)
    if listed and not seen:
        fail("no font metrics in any KV80.DLL")
