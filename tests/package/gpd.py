"""The model's GPD read by the documented grammar, and held to the rules Unidrv's parser applies.

Evidence, Microsoft's printer driver pages: "GPD File Entries", "Printer Attribute Format",
"Root-Level-Only Attributes", "General Printing Attributes", "Cursor Attributes", "Raster
Attributes", "Printer Capability Attributes", "Attributes for Device Fonts", "Hardware-resident
fonts", "Option Attributes for ...", "Feature Attributes", "Command Entry Format", "Command
Execution Order", "Cursor Commands", "Commands for Simulated Fonts", "Option Constraints",
"Standard Variables", "Using Resource DLLs in a Minidriver".
"""
import re
import struct

BOOL = {"TRUE", "FALSE"}
SECTIONS = {"JOB_SETUP", "DOC_SETUP", "PAGE_SETUP", "PAGE_FINISH", "DOC_FINISH", "JOB_FINISH"}

# Attribute -> the form of its value: "string", "int", "pair", "ints" (LIST of numbers), "bool",
# "param" (an arithmetic parameter %d{...}), "name" (an option of the feature), "constraints",
# "order", "invocation", "rcid" (a number or =MACRO), or a set of constants, or ("list", set).
ROOT = {
    "GPDSpecVersion": "string", "GPDFileName": "string", "GPDFileVersion": "string",
    "Include": "string", "ModelName": "string", "MasterUnits": "pair", "ResourceDLL": "string",
    "PrinterType": {"PAGE", "SERIAL", "TTY"}, "Personality": "string", "MaxCopies": "int",
    "CodePage": "int",
    "RotateCoordinate?": "bool", "RotateRaster?": "bool", "RotateFont?": "bool",
    "CursorXAfterCR": {"AT_PRINTABLE_X_ORIGIN", "AT_CURSOR_X_ORIGIN"},
    "XMoveUnit": "int", "YMoveUnit": "int", "XMoveThreshold": "int", "YMoveThreshold": "int",
    "EjectPageWithFF?": "bool", "UseSpaceForXMove?": "bool", "AbsXMovesRightOnly?": "bool",
    "OutputDataFormat": {"H_BYTE", "V_BYTE"}, "OptimizeLeftBound?": "bool",
    "StripBlanks": ("list", {"LEADING", "ENCLOSED", "TRAILING"}),
    "RasterSendAllData?": "bool", "SendMultipleRows?": "bool",
    "CursorXAfterSendBlockData": {"AT_GRXDATA_END", "AT_GRXDATA_ORIGIN", "AT_CURSOR_X_ORIGIN"},
    "CursorYAfterSendBlockData": {"NO_MOVE", "AUTO_INCREMENT"},
    "DeviceFonts": "ints", "DefaultFont": "int", "CharPosition": {"UPPERLEFT", "BASELINE"},
    "TextYOffset": "int", "MaxFontUsePerPage": "int",
}
FEATURE = {"rcNameID": "rcid", "Name": "string", "DefaultOption": "name",
           "FeatureType": {"DOC_PROPERTY", "JOB_PROPERTY", "PRINTER_PROPERTY"}}
OPTION = {
    "rcNameID": "rcid", "Name": "string", "DPI": "pair", "TextDPI": "pair", "SpotDiameter": "int",
    "PageDimensions": "pair", "PrintableArea": "pair", "PrintableOrigin": "pair",
    "CursorOrigin": "pair", "MinSize": "pair", "MaxSize": "pair", "MaxPrintableWidth": "int",
    "MinLeftMargin": "int", "CenterPrintable?": "bool", "CustCursorOriginX": "param",
    "CustCursorOriginY": "param", "CustPrintableOriginX": "param",
    "CustPrintableOriginY": "param", "CustPrintableSizeX": "param", "CustPrintableSizeY": "param",
    "Constraints": "constraints",
}
COMMAND = {"Cmd": "invocation", "Order": "order"}
# Commands at the root ("Cursor Commands", "Raster Data Commands", "Commands for Simulated
# Fonts", "Configuration Commands"); CmdSelect belongs to options. Those that configure the
# printer run at their *Order; the others must have none.
ROOT_COMMANDS = {"CmdStartJob", "CmdStartDoc", "CmdStartPage", "CmdEndJob", "CmdEndDoc",
                 "CmdEndPage", "CmdCR", "CmdLF", "CmdFF", "CmdBackSpace", "CmdXMoveAbsolute",
                 "CmdXMoveRelLeft", "CmdXMoveRelRight", "CmdYMoveAbsolute", "CmdYMoveRelDown",
                 "CmdYMoveRelUp", "CmdSetLineSpacing", "CmdSendBlockData", "CmdBeginRaster",
                 "CmdEndRaster", "CmdSelectSingleByteMode", "CmdSelectDoubleByteMode"}
ORDERED_COMMANDS = {"CmdStartJob", "CmdStartDoc", "CmdStartPage", "CmdEndJob", "CmdEndDoc",
                    "CmdEndPage", "CmdSelect"}
# "Standard Variables" a parameter may name.
VARIABLES = {"DestX", "DestY", "DestXRel", "DestYRel", "LinefeedSpacing",
             "RasterDataWidthInBytes", "RasterDataHeightInPixels", "NumOfDataBytes",
             "PhysPaperLength", "PhysPaperWidth", "TextXRes", "TextYRes", "GraphicsXRes",
             "GraphicsYRes", "PageNumber", "NumOfCopies", "PrintDirInCCDegrees"}
RT_STRING, RT_UFM = 6, 260


class Block:
    """A construct (*Feature: X { ... }) or the file's root, with its entries in order."""

    def __init__(self, kind, name, line):
        self.kind, self.name, self.line = kind, name, line
        self.entries = []  # (keyword, value, line)
        self.children = []

    def get(self, keyword):
        return next((v for k, v, _ in self.entries if k == keyword), None)

    def walk(self):
        yield self
        for child in self.children:
            yield from child.walk()


def logical_lines(text):
    """Lines with comments removed and '+' continuations joined: (number, text)."""
    lines = []
    for number, raw in enumerate(text.splitlines(), 1):
        raw = re.sub(r"\*%.*", "", raw).rstrip()
        if raw.startswith("+") and lines:
            lines[-1] = (lines[-1][0], lines[-1][1] + " " + raw[1:].strip())
        elif raw.strip():
            lines.append((number, raw.strip()))
    return lines


def parse(text, fail):
    """The root block; faults of form (unknown lines, braces) go to fail."""
    root = Block("root", "", 0)
    stack, pending = [root], None
    for number, line in logical_lines(text):
        while line:
            if line.startswith("{"):
                if pending is None:
                    fail("line %d: a brace that opens no construct" % number)
                else:
                    stack[-1].children.append(pending)
                    stack.append(pending)
                    pending = None
                line = line[1:].strip()
                continue
            if line.startswith("}"):
                if len(stack) == 1:
                    fail("line %d: a closing brace without its construct" % number)
                else:
                    stack.pop()
                line = line[1:].strip()
                continue
            if pending is not None:
                fail("line %d: *%s: %s is not followed by a brace" % (pending.line, pending.kind,
                                                                     pending.name))
                pending = None
            if stack[-1].kind == "Macros":
                match = re.match(r"([A-Za-z_][A-Za-z0-9_]*)\s*:\s*([^}]*)", line)
                if not match:
                    fail("line %d: not a macro definition: %s" % (number, line))
                    break
                stack[-1].entries.append((match.group(1), match.group(2).strip(), number))
                line = line[match.end():].strip()
                continue
            match = re.match(r"\*([A-Za-z][A-Za-z0-9_]*\??)\s*:\s*", line)
            if not match:
                fail("line %d: not a GPD entry: %s" % (number, line))
                break
            keyword, rest = match.group(1), line[match.end():]
            if keyword in ("Feature", "Option", "Command", "Macros"):
                name = re.match(r"[A-Za-z0-9_]+", rest)
                if not name:
                    fail("line %d: *%s without a name" % (number, keyword))
                    break
                pending = Block(keyword, name.group(0), number)
                line = rest[name.end():].strip()
                continue
            value, line = split_value(rest)
            stack[-1].entries.append((keyword, value, number))
    if pending is not None:
        fail("*%s: %s is not followed by a brace" % (pending.kind, pending.name))
    if len(stack) > 1:
        fail("*%s: %s (line %d) is never closed" % (stack[-1].kind, stack[-1].name,
                                                     stack[-1].line))
    return root


def split_value(rest):
    """A value up to a closing brace outside quotes and parentheses; the remainder."""
    depth, quoted = 0, False
    for i, c in enumerate(rest):
        if c == '"':
            quoted = not quoted
        elif not quoted and c in "([{":
            depth += 1
        elif not quoted and c in ")]" or (not quoted and c == "}" and depth > 0):
            depth -= 1
        elif not quoted and c == "}" and depth == 0:
            return rest[:i].strip(), rest[i:].strip()
    return rest.strip(), ""


def invocation(value):
    """A command string as parts: ("bytes", b"...") or ("param", format, range, expression)."""
    parts, at = [], 0
    while at < len(value):
        if value[at].isspace():
            at += 1
            continue
        if value[at] == '"':
            end = value.find('"', at + 1)
            if end < 0:
                raise ValueError("an unterminated string")
            parts.append(("bytes", literal(value[at + 1:end])))
            at = end + 1
            continue
        match = re.match(r"%([cClmdDqgnv])(\[(-?\d+),(-?\d+)\])?\{([^}]*)\}", value[at:])
        if not match:
            raise ValueError("neither a string nor a parameter at: " + value[at:])
        limits = (int(match.group(3)), int(match.group(4))) if match.group(2) else None
        parts.append(("param", match.group(1), limits, match.group(5)))
        at += match.end()
    return parts


def literal(text):
    """A quoted string's bytes: <hex pairs> as bytes, everything else as itself."""
    out, at = bytearray(), 0
    while at < len(text):
        if text[at] == "<":
            end = text.index(">", at)
            digits = text[at + 1:end].replace(" ", "")
            if len(digits) % 2 or not re.fullmatch(r"[0-9A-Fa-f]*", digits):
                raise ValueError("bad hex in <%s>" % digits)
            out += bytes.fromhex(digits)
            at = end + 1
        else:
            out += text[at].encode("latin-1")
            at += 1
    return bytes(out)


def variables_of(expression):
    return set(re.findall(r"[A-Za-z_][A-Za-z0-9_]*", expression)) - {"max_repeat"}


def check_value(form, value, where, fail, options=()):
    number = r"-?\d+"
    if form == "string":
        ok = re.fullmatch(r'"[^"]*"', value)
    elif form == "int":
        ok = re.fullmatch(number, value)
    elif form == "pair":
        ok = re.fullmatch(r"PAIR\(\s*%s\s*,\s*%s\s*\)" % (number, number), value)
    elif form == "ints":
        ok = re.fullmatch(r"LIST\(\s*%s(\s*,\s*%s)*\s*\)" % (number, number), value)
    elif form == "bool":
        ok = value in BOOL
    elif form == "rcid":
        ok = re.fullmatch(number + r"|=[A-Z_0-9]+", value)
    elif form == "param":
        ok = re.fullmatch(r"%d\{[^}]*\}", value)
        if ok and not variables_of(value[3:-1]) <= VARIABLES:
            fail("%s: unknown variable in %s" % (where, value))
    elif form == "name":
        ok = value in options
    elif form == "order":
        match = re.fullmatch(r"([A-Z_]+)\.(\d+)", value)
        ok = match and match.group(1) in SECTIONS and int(match.group(2)) > 0
    elif form in ("constraints", "invocation"):
        ok = True  # checked where their targets are known
    elif isinstance(form, tuple):
        items = re.fullmatch(r"LIST\((.*)\)", value)
        ok = items and all(i.strip() in form[1] for i in items.group(1).split(","))
    else:
        ok = value in form
    if not ok:
        fail("%s: value %s is not of the documented form" % (where, value))


def check_entries(block, table, fail, options=()):
    for keyword, value, line in block.entries:
        where = "line %d: *%s" % (line, keyword)
        if keyword not in table:
            fail("%s is no attribute of a %s" % (where, block.kind.lower()))
            continue
        check_value(table[keyword], value, where, fail, options)


def string_ids(resources):
    """The ids of every string in the RT_STRING tables."""
    ids = set()
    for (kind, block), variants in resources.items():
        if kind != RT_STRING:
            continue
        for data in variants.values():
            at = 0
            for i in range(16):
                (length,) = struct.unpack_from("<H", data, at)
                if length:
                    ids.add((block - 1) * 16 + i)
                at += 2 + 2 * length
    return ids


def read(package, fail):
    """The GPD of the package (the same bytes everywhere) parsed."""
    texts = {package.read(language, arch, "KV80C.GPD") for language, arch in package.variants()}
    if len(texts) != 1:
        fail("the GPD differs between the package's folders")
    return parse(sorted(texts)[0].decode("ascii"), fail)


def check(package, fail):
    root = read(package, fail)
    first = root.entries[0] if root.entries else None
    if not first or first[0] != "GPDSpecVersion" or first[1] != '"1.0"':
        fail('*GPDSpecVersion: "1.0" must be the first entry')
    check_entries(root, ROOT, fail)
    root_values = {k: v for k, v, _ in root.entries}
    if root_values.get("ResourceDLL") != '"KV80.DLL"' or root_values.get("Include") != \
            '"StdNames.gpd"':
        fail("the GPD must name KV80.DLL and include StdNames.gpd")

    features = {c.name: c for c in root.children if c.kind == "Feature"}
    commands = {c.name for c in root.children if c.kind == "Command"}
    orders = {}
    for block in root.walk():
        if block.kind == "Feature":
            options = [c.name for c in block.children if c.kind == "Option"]
            check_entries(block, FEATURE, fail, options)
            if block.get("DefaultOption") is None:
                fail("feature %s has no *DefaultOption" % block.name)
        elif block.kind == "Option":
            check_entries(block, OPTION, fail)
        elif block.kind == "Command":
            check_entries(block, COMMAND, fail)
            in_option = block not in root.children
            if in_option != (block.name == "CmdSelect") or (
                    not in_option and block.name not in ROOT_COMMANDS):
                fail("line %d: command %s is not one of its place" % (block.line, block.name))
            order = block.get("Order")
            if (order is not None) != (block.name in ORDERED_COMMANDS):
                fail("line %d: %s %s an *Order" % (block.line, block.name,
                                                   "has" if order else "lacks"))
            cmd = block.get("Cmd")
            if cmd is None:
                fail("line %d: %s has no *Cmd" % (block.line, block.name))
            else:
                try:
                    for part in invocation(cmd):
                        if part[0] == "param" and not variables_of(part[3]) <= VARIABLES:
                            fail("line %d: unknown variable in %s" % (block.line, part[3]))
                except ValueError as error:
                    fail("line %d: %s: %s" % (block.line, block.name, error))
            if order:
                owner = next((f.name for f in features.values() for o in f.walk() if o is block),
                             block.name)
                other = orders.setdefault(order, owner)
                if other != owner:
                    fail("*Order %s is taken by both %s and %s" % (order, other, owner))
        elif block.kind not in ("root", "Macros"):
            fail("line %d: unknown construct *%s" % (block.line, block.kind))
        for child in block.children:
            if (block.kind, child.kind) not in {("root", "Feature"), ("root", "Command"),
                                                ("root", "Macros"), ("Feature", "Option"),
                                                ("Option", "Command")}:
                fail("line %d: *%s inside *%s" % (child.line, child.kind, block.kind))
    for option in (b for b in root.walk() if b.kind == "Option"):
        for keyword, value, line in option.entries:
            if keyword != "Constraints":
                continue
            for target in re.findall(r"([A-Za-z0-9_]+)\.([A-Za-z0-9_]+)", value):
                feature = features.get(target[0])
                if not feature or target[1] not in [c.name for c in feature.children]:
                    fail("line %d: constraint on unknown %s.%s" % (line, target[0], target[1]))

    # Cursor moves: a threshold chooses between absolute and relative moves, so it needs all
    # three of its axis' commands; a move command needs its axis' unit ("Cursor Attributes").
    for axis, moves in (("X", ("CmdXMoveAbsolute", "CmdXMoveRelLeft", "CmdXMoveRelRight")),
                        ("Y", ("CmdYMoveAbsolute", "CmdYMoveRelDown", "CmdYMoveRelUp"))):
        if axis + "MoveThreshold" in root_values and not set(moves) <= commands:
            fail("*%sMoveThreshold without all three %s-move commands has no effect" %
                 (axis, axis.lower()))
        if commands & set(moves) and axis + "MoveUnit" not in root_values:
            fail("%s-move commands without *%sMoveUnit" % (axis, axis))

    # Device fonts ("Hardware-resident fonts", "Attributes for Device Fonts").
    fonts = [int(i) for i in re.findall(r"-?\d+", root_values.get("DeviceFonts", ""))]
    default = root_values.get("DefaultFont")
    if fonts and (default is None or int(default) not in fonts):
        fail("*DefaultFont must name one of the *DeviceFonts")
    if "CharEnlargement" in features and not fonts:
        fail("CharEnlargement (GS !) acts on the printer's own fonts, and the GPD declares none")
    if ("CmdSelectDoubleByteMode" in commands) != ("CmdSelectSingleByteMode" in commands):
        fail("the double-byte and single-byte mode commands come as a pair")

    # A cut that feeds to the cutter after a feed of its own feeds twice.
    cut = features.get("PaperCut")
    feed = features.get("FeedAfterJob")
    if cut and feed:
        feeds = [o.name for o in feed.children if o.name != "Feed0"]
        for option in (o for o in cut.children if o.name != "NoCut"):
            constrained = " ".join(v for k, v, _ in option.entries if k == "Constraints")
            loose = [f for f in feeds if "FeedAfterJob." + f not in constrained]
            if loose:
                fail("PaperCut.%s feeds to the cutter after FeedAfterJob's %s" %
                     (option.name, ", ".join(loose)))
        if feed.get("DefaultOption") != "Feed0":
            fail("FeedAfterJob's default conflicts with PaperCut's default cut")

    # Every resource id the GPD names exists in each KV80.DLL ("Using Resource DLLs in a
    # Minidriver"); display names are string resources, fonts RC_UFM resources.
    names = {int(v) for b in root.walk() for k, v, _ in b.entries
             if k == "rcNameID" and re.fullmatch(r"\d+", v)}
    for language, arch in package.variants():
        resources = package.resources(language, arch, "KV80.DLL")
        missing = names - string_ids(resources)
        if missing:
            fail("%s %s KV80.DLL lacks strings %s" % (language, arch, sorted(missing)))
        for font in fonts:
            if (RT_UFM, font) not in resources:
                fail("%s %s KV80.DLL lacks RC_UFM %d" % (language, arch, font))
    return root
