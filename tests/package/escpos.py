"""Every command string of the GPD and of the fonts is a sequence of well-formed ESC/POS commands.

The table gives each command's prefix, then its parameter bytes: a fixed count, or a function of
the bytes seen so far (GS V takes a feed only with its feeding functions, GS ( K a counted body).
A parameter may be a literal byte or a GPD parameter of the same width (%c one byte, %l two).
"""
import struct

import gpd
import fonts


def _gs_v(params):
    # GS V m [n]: m 0/1/48/49 cut at once; 65/66 feed to the cutter (plus n dots), then cut.
    return 1 if params[0] in (65, 66) else 0


def _gs_paren_k(params):
    # GS ( K pL pH fn m...: pL + pH x 256 bytes follow the two length bytes.
    return params[0] + 256 * params[1]


# prefix -> (name, parameter count before any further ones, further count or None, allowed first)
COMMANDS = {
    b"\x0a": ("LF", 0, None, None),
    b"\x0d": ("CR", 0, None, None),
    b"\x1b@": ("ESC @ initialise", 0, None, None),
    b"\x1bJ": ("ESC J feed n dots", 1, None, None),
    b"\x1bd": ("ESC d feed n lines", 1, None, None),
    b"\x1b$": ("ESC $ absolute position", 2, None, None),
    b"\x1bM": ("ESC M select font", 1, None, {0, 1, 48, 49}),
    b"\x1bp": ("ESC p drawer pulse", 3, None, {0, 1, 48, 49}),
    b"\x1bB": ("ESC B buzzer", 2, None, None),
    b"\x1d!": ("GS ! character size", 1, None, None),
    b"\x1dP": ("GS P motion units", 2, None, None),
    b"\x1dL": ("GS L left margin", 2, None, None),
    b"\x1dW": ("GS W print area width", 2, None, None),
    b"\x1dV": ("GS V cut", 1, _gs_v, {0, 1, 48, 49, 65, 66}),
    b"\x1dv0": ("GS v 0 raster image", 5, None, {0, 1, 2, 3, 48, 49, 50, 51}),
    b"\x1d(K": ("GS ( K print control", 2, _gs_paren_k, None),
    b"\x1c&": ("FS & Chinese mode on", 0, None, None),
    b"\x1c.": ("FS . Chinese mode off", 0, None, None),
    b"\x1cp": ("FS p stored logo", 2, None, None),
}
WIDTHS = {"c": 1, "C": 1, "l": 2}


def tokens(parts):
    """The command as a list of items: an int byte, or ("param", width)."""
    items = []
    for part in parts:
        if part[0] == "bytes":
            items.extend(part[1])
        else:
            items.append(("param", WIDTHS.get(part[1], 0)))
    return items


def take(items, at, count):
    """count parameter bytes from at: their literal values (None for a GPD parameter's)."""
    values = []
    while count > 0:
        if at >= len(items):
            raise ValueError("ends inside a parameter")
        item = items[at]
        if isinstance(item, tuple):
            if item[1] == 0 or item[1] > count:
                raise ValueError("a parameter of the wrong width")
            values.extend([None] * item[1])
            count -= item[1]
        else:
            values.append(item)
            count -= 1
        at += 1
    return values, at


def check_command(parts):
    """Raises ValueError at the first byte that starts no known command."""
    items, at = tokens(parts), 0
    while at < len(items):
        prefix = None
        for candidate in sorted(COMMANDS, key=len, reverse=True):
            window = items[at:at + len(candidate)]
            if all(isinstance(b, int) for b in window) and bytes(window) == candidate:
                prefix = candidate
                break
        if prefix is None:
            raise ValueError("no ESC/POS command starts at byte %d" % at)
        name, count, further, allowed = COMMANDS[prefix]
        values, at = take(items, at + len(prefix), count)
        if allowed is not None and values and values[0] is not None and values[0] not in allowed:
            raise ValueError("%s with %d" % (name, values[0]))
        if further:
            if any(v is None for v in values):
                raise ValueError("%s needs literal lengths" % name)
            _, at = take(items, at, further(values))


def check(package, fail):
    root = gpd.read(package, lambda message: None)
    for block in root.walk():
        if block.kind == "Command" and block.get("Cmd") is not None:
            try:
                check_command(gpd.invocation(block.get("Cmd")))
            except ValueError as error:
                fail("line %d: %s: %s" % (block.line, block.name, error))
    for language, arch in package.variants():
        for font_id, data in fonts.ufms(package, language, arch).items():
            try:
                (at,) = struct.unpack_from("<I", data, 16)
                count, offset = struct.unpack_from("<II", data, at + 24)
                check_command([("bytes", data[at + offset:at + offset + count])])
            except (ValueError, struct.error) as error:
                fail("%s %s font %d's select command: %s" % (language, arch, font_id, error))
