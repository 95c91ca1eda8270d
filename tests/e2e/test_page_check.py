#!/usr/bin/env python3
# Renders the test page spooled as PostScript and checks that each element shows at its place.
# Usage: test_page_check.py JOB.ps OUT.png
# Places are the printer's dots (x right, y down from the page's top-left corner) at the job's
# own resolution, scaled to the rendering's; a body line's place follows the font's line pitch,
# which the job states by where it puts the lines. Exits 1 when an element is missing.
import math
import re
import struct
import subprocess
import sys
import zlib

RENDER_DPI = 203
DARK = 128
# Lines of the body text that hold characters (the closing line is the seventeenth).
BODY_LINES_WITH_TEXT = (0, 5, 6, 7, 8, 9, 11, 16)
LOGO = (30, 20, 338, 107)


def read_png_gray(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos : pos + 8])
        body = data[pos + 8 : pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, color = struct.unpack(">IIBB", body[:10])
            if depth != 8 or color != 0:
                raise ValueError("want 8-bit gray, got depth %d colour type %d" % (depth, color))
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    rows, prev = [], bytearray(width)
    for y in range(height):
        line = raw[y * (width + 1) : (y + 1) * (width + 1)]
        kind, cur = line[0], bytearray(line[1:])
        for x in range(width):
            a = cur[x - 1] if x else 0
            b = prev[x]
            c = prev[x - 1] if x else 0
            if kind == 1:
                cur[x] = (cur[x] + a) & 255
            elif kind == 2:
                cur[x] = (cur[x] + b) & 255
            elif kind == 3:
                cur[x] = (cur[x] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                cur[x] = (cur[x] + pred) & 255
        rows.append(cur)
        prev = cur
    return width, height, rows


def job_layout(text):
    """The job's resolution, its page in points and the line pitch of the body text."""
    scale = re.search(r"^72 (\d+) div 72 (\d+) div scale$", text, re.M)
    box = re.search(r"^%%BoundingBox: (\d+) (\d+) (\d+) (\d+)$", text, re.M)
    if not scale or not box:
        raise ValueError("the job states no resolution or no bounding box")
    dpi = int(scale.group(1))
    page = (int(box.group(3)) - int(box.group(1)), int(box.group(4)) - int(box.group(2)))
    # The body's glyphs are placed at x 10 before the logo is drawn (a moveto followed by a path
    # is a cell's background instead); their baselines lie whole pitches apart, so the pitch is
    # the greatest common divisor of their distances.
    before_logo = text.split("\n30 20 translate\n", 1)[0]
    baselines = [int(y) for y in re.findall(r"^10 (-?\d+) moveto\n(?!-?\d+ -?\d+ rlineto)", before_logo, re.M)]
    pitch = 0
    for y in baselines[1:]:
        pitch = math.gcd(pitch, y - baselines[0])
    return dpi, page, pitch


def main():
    if len(sys.argv) != 3:
        print("usage: test_page_check.py JOB.ps OUT.png", file=sys.stderr)
        return 2
    job, png = sys.argv[1], sys.argv[2]
    text = open(job, "rb").read().decode("latin-1")
    failures = []
    try:
        dpi, page, pitch = job_layout(text)
    except ValueError as error:
        print("test page: FAIL: %s" % error)
        return 1
    print("test page: %d dpi, %d x %d points, body line pitch %d dots" % (dpi, *page, pitch))
    if page[0] <= 0 or page[1] <= 0:
        failures.append("the job's page is %d x %d points" % page)
    if pitch <= 0:
        failures.append("the job does not lay out the body's lines a pitch apart")
        pitch = 1
    size = ["-dDEVICEWIDTHPOINTS=%d" % max(page[0], 1), "-dDEVICEHEIGHTPOINTS=%d" % max(page[1], 1)]
    subprocess.run(
        ["gs", "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=pnggray", "-r%d" % RENDER_DPI]
        + size
        + ["-dFIXEDMEDIA", "-sOutputFile=" + png, job],
        check=True,
    )
    width, height, rows = read_png_gray(png)
    scale = RENDER_DPI / dpi
    page_dots = int(width / scale)

    def px(v):
        return int(round(v * scale))

    def ink(left, top, right, bottom, covered=()):
        """Dark pixels in a rectangle of dots, leaving out those of rectangles drawn later."""
        count = area = 0
        for y in range(max(px(top), 0), min(px(bottom), height)):
            row = rows[y]
            for x in range(max(px(left), 0), min(px(right), width)):
                if any(px(c[0]) <= x < px(c[2]) and px(c[1]) <= y < px(c[3]) for c in covered):
                    continue
                area += 1
                count += row[x] < DARK
        return count, area

    def expect(ok, what):
        print("test page: %s %s" % ("ok  " if ok else "FAIL", what))
        if not ok:
            failures.append(what)

    # What is drawn later covers what lies beneath: the logo's pixels, and the opaque cells of
    # the name, the date and the rule, which run to the page's edge or past it.
    name = (0, 430, page_dots, 430 + pitch)
    date = (0, 500, page_dots, 500 + pitch)
    rule = (0, 800, page_dots, 800 + pitch)
    count, area = ink(0, 0, page_dots, 10)
    expect(count == 0, "nothing above the body's top at y 10")
    for line in BODY_LINES_WITH_TEXT:
        top = 10 + line * pitch
        count, area = ink(10, top, page_dots, top + pitch, (LOGO, name, date, rule))
        full = (page_dots - 10) * pitch * scale * scale
        if area < full / 2:
            print("test page: ---- body line %d (y %d): covered by what is drawn later" % (line, top))
            continue
        expect(count > 0, "body line %d shows at y %d" % (line, top))
    count, area = ink(*LOGO)
    expect(area > 0 and count >= area // 10, "the logo fills x 30 to 337, y 20 to 106")
    thirds = [ink(30 + i * 103, 20, 30 + (i + 1) * 103, 107)[0] > 0 for i in range(3)]
    expect(all(thirds), "the logo reaches across its width")
    expect(ink(10, 430, page_dots, min(500, 430 + pitch))[0] > 0, "the queue name shows at (10, 430)")
    expect(ink(0, 430, 10, min(500, 430 + pitch))[0] == 0, "nothing left of the queue name")
    expect(ink(0, 500, page_dots, 500 + pitch)[0] > 0, "the date line shows at y 500")
    # Hyphens: separate dashes from the page's left edge to past its middle.
    inked = [
        any(rows[y][x] < DARK for y in range(px(800), min(px(800 + pitch), height)))
        for x in range(width)
    ]
    dashes = sum(1 for x in range(width) if inked[x] and (x == 0 or not inked[x - 1]))
    last = max((x for x in range(width) if inked[x]), default=-1)
    expect(dashes >= 8 and last >= width // 2, "the rule of hyphens runs across the page at y 800")
    if failures:
        print("test page: %d element(s) missing; rendered as %s" % (len(failures), png))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
