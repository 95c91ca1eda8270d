# Deterministic: writes byte-identical files on every run (no timestamps, no randomness).
"""Generate Quillmate's own art from vector descriptions.

    python3 tools/art/make_art.py

writes, relative to the repository root (found from this script's path):

  resources/quillmate.ico  program icon: a stylised thermal receipt printer,
                           16/24/32/48/64 px as 32-bit BGRA DIB entries and
                           256 px as a PNG entry.
  resources/logo.bmp       308 x 87, 1 bpp maker's logo for the test page
                           (203 dpi, about 39 x 11 mm).

Python 3 standard library only (struct, zlib, math).
"""

import math
import os
import struct
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
OUT_DIR = os.path.join(ROOT, "resources")

ICON_SIZES = (16, 24, 32, 48, 64, 256)


# ---------------------------------------------------------------------------
# Geometry: shapes as signed distance functions (negative inside), in pixels.
# ---------------------------------------------------------------------------

class RRect:
    """Axis-aligned rectangle with rounded corners (r may be 0)."""

    def __init__(self, x0, y0, x1, y1, r=0.0):
        self.x0, self.y0, self.x1, self.y1 = x0, y0, x1, y1
        self.cx, self.cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
        self.hw, self.hh = (x1 - x0) / 2.0, (y1 - y0) / 2.0
        self.r = min(r, self.hw, self.hh)

    def bbox(self):
        return self.x0, self.y0, self.x1, self.y1

    def sdf(self, x, y):
        r = self.r
        qx = abs(x - self.cx) - (self.hw - r)
        qy = abs(y - self.cy) - (self.hh - r)
        ox, oy = max(qx, 0.0), max(qy, 0.0)
        return math.sqrt(ox * ox + oy * oy) + min(max(qx, qy), 0.0) - r


class Circle:
    def __init__(self, cx, cy, r):
        self.cx, self.cy, self.r = cx, cy, r

    def bbox(self):
        return self.cx - self.r, self.cy - self.r, self.cx + self.r, self.cy + self.r

    def sdf(self, x, y):
        return math.hypot(x - self.cx, y - self.cy) - self.r


class Poly:
    """Simple polygon (even-odd rule); exact distance to its edges."""

    def __init__(self, pts):
        self.pts = list(pts)
        self.edges = list(zip(self.pts, self.pts[1:] + self.pts[:1]))

    def bbox(self):
        xs = [p[0] for p in self.pts]
        ys = [p[1] for p in self.pts]
        return min(xs), min(ys), max(xs), max(ys)

    def contains(self, x, y):
        inside = False
        for (ax, ay), (bx, by) in self.edges:
            if (ay > y) != (by > y):
                if x < ax + (y - ay) * (bx - ax) / (by - ay):
                    inside = not inside
        return inside

    def sdf(self, x, y):
        best = float("inf")
        for (ax, ay), (bx, by) in self.edges:
            ex, ey = bx - ax, by - ay
            wx, wy = x - ax, y - ay
            ll = ex * ex + ey * ey
            t = 0.0 if ll == 0 else max(0.0, min(1.0, (wx * ex + wy * ey) / ll))
            dx, dy = wx - ex * t, wy - ey * t
            best = min(best, dx * dx + dy * dy)
        d = math.sqrt(best)
        return -d if self.contains(x, y) else d


class Inset:
    """A shape shrunk by w pixels (grown if w < 0)."""

    def __init__(self, shape, w):
        self.shape, self.w = shape, w

    def bbox(self):
        x0, y0, x1, y1 = self.shape.bbox()
        w = min(self.w, 0.0)
        return x0 + w, y0 + w, x1 - w, y1 - w

    def sdf(self, x, y):
        return self.shape.sdf(x, y) + self.w


class Ring:
    """The band of width w just inside a shape's edge."""

    def __init__(self, shape, w):
        self.shape, self.w = shape, w

    def bbox(self):
        return self.shape.bbox()

    def sdf(self, x, y):
        d = self.shape.sdf(x, y)
        return max(d, -(d + self.w))


class Clip:
    """Intersection of two shapes."""

    def __init__(self, a, b):
        self.a, self.b = a, b

    def bbox(self):
        a, b = self.a.bbox(), self.b.bbox()
        return max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3])

    def sdf(self, x, y):
        return max(self.a.sdf(x, y), self.b.sdf(x, y))


# ---------------------------------------------------------------------------
# Raster canvas, premultiplied RGBA floats, "over" compositing.
# Edge anti-aliasing: coverage from the signed distance at each pixel centre
# (exact for pixel-aligned edges, smooth for curves and diagonals).
# ---------------------------------------------------------------------------

def hexcol(h, a=1.0):
    h = h.lstrip("#")
    return (int(h[0:2], 16) / 255.0, int(h[2:4], 16) / 255.0, int(h[4:6], 16) / 255.0, a)


def vgrad(y0, c0, y1, c1):
    """Vertical linear gradient from colour c0 at y0 to c1 at y1."""
    def f(x, y):
        t = 0.0 if y1 == y0 else max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))
    return f


class Canvas:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]

    def fill(self, shape, color, soft=1.0, opacity=1.0):
        x0, y0, x1, y1 = shape.bbox()
        pad = soft + 1.0
        ix0 = max(0, int(math.floor(x0 - pad)))
        iy0 = max(0, int(math.floor(y0 - pad)))
        ix1 = min(self.w, int(math.ceil(x1 + pad)))
        iy1 = min(self.h, int(math.ceil(y1 + pad)))
        for py in range(iy0, iy1):
            cy = py + 0.5
            row = py * self.w
            for px in range(ix0, ix1):
                cx = px + 0.5
                cov = 0.5 - shape.sdf(cx, cy) / soft
                if cov <= 0.0:
                    continue
                if cov > 1.0:
                    cov = 1.0
                c = color(cx, cy) if callable(color) else color
                a = c[3] * cov * opacity
                if a <= 0.0:
                    continue
                d = self.px[row + px]
                k = 1.0 - a
                d[0] = c[0] * a + d[0] * k
                d[1] = c[1] * a + d[1] * k
                d[2] = c[2] * a + d[2] * k
                d[3] = a + d[3] * k

    def rgba_rows(self):
        """Straight-alpha 8-bit rows, top to bottom: list of lists of (r, g, b, a)."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                ai = int(a * 255.0 + 0.5)
                if ai <= 0:
                    row.append((0, 0, 0, 0))
                    continue
                row.append((min(255, int(r / a * 255.0 + 0.5)),
                            min(255, int(g / a * 255.0 + 0.5)),
                            min(255, int(b / a * 255.0 + 0.5)),
                            ai))
            rows.append(row)
        return rows


# ---------------------------------------------------------------------------
# The icon: one vector description in 256-unit space.  Small sizes use the
# same elements with hand-hinted pixel positions so edges land on the grid.
# ---------------------------------------------------------------------------

INK = {
    "body_top": hexcol("#4A5666"),
    "body_bot": hexcol("#262D37"),
    "lid_top": hexcol("#566376"),
    "lid_bot": hexcol("#3E4958"),
    "seam": hexcol("#1C2129"),
    "slot": hexcol("#0E1116"),
    "paper": hexcol("#FFFFFF"),
    "paper_edge": hexcol("#AEB6C0"),
    "paper_edge_small": hexcol("#98A1AD"),
    "print": hexcol("#8C96A3"),
    "teal": hexcol("#14B8A6"),
    "teal_dark": hexcol("#0F8F82"),
    "button": hexcol("#6B7889"),
    "shadow": hexcol("#000000"),
}

# Layout at 256 px.  Coordinates: (x0, y0, x1, y1); paper_top is the tip of
# the tear teeth, paper_cut the bottom of the notches.
LAYOUT_256 = {
    "body": (14, 100, 242, 238, 30),
    "lid": 150,                      # y of the seam between lid and front
    "slot": (48, 118, 208, 132, 7),
    "paper": (70, 10, 186),          # x0, top, x1; bottom = slot middle
    "teeth": 8, "tooth_depth": 10,
    "edge": 3,                       # grey outline width on the paper
    "lines": [(90, 42, 166, 51), (90, 62, 146, 71), (90, 82, 158, 91)],
    "accent": (90, 102, 128, 111),   # teal mark on the receipt ("total")
    "led": (204, 198, 11),
    "button": (38, 192, 104, 204, 6),
    "shadow": (4, 10, 0.32),         # y offset, softness, opacity
}

# Hand-hinted layouts in real pixels for the small sizes.
LAYOUT_SMALL = {
    16: {
        "body": (0, 7, 16, 15, 2.5),
        "lid": None,
        "slot": (2, 8, 14, 10, 0.5),
        "paper": (4, 1, 12),
        "teeth": 0, "tooth_depth": 0,
        "edge": 1,
        "lines": [(5, 3, 10, 4), (5, 5, 9, 6)],
        "accent": None,
        "led": (12.5, 12, 1.5),
        "button": None,
        "shadow": None,
    },
    24: {
        "body": (1, 10, 23, 22, 3.5),
        "lid": 14,
        "slot": (4, 11, 20, 13, 1),
        "paper": (6, 1, 18),
        "teeth": 0, "tooth_depth": 0,
        "edge": 1,
        "lines": [(8, 4, 16, 5), (8, 6, 14, 7), (8, 8, 15, 9)],
        "accent": None,
        "led": (18.5, 18, 1.75),
        "button": (4, 18, 10, 19, 0.5),
        "shadow": None,
    },
    32: {
        "body": (1, 13, 31, 30, 4.5),
        "lid": 19,
        "slot": (6, 15, 26, 17, 1),
        "paper": (9, 1, 23),
        "teeth": 0, "tooth_depth": 0,
        "edge": 1,
        "lines": [(11, 5, 21, 6), (11, 8, 18, 9), (11, 11, 20, 12)],
        "accent": None,
        "led": (25.5, 24.5, 1.8),
        "button": (5, 24, 13, 25, 0.5),
        "shadow": None,
    },
}


def layout_for(size):
    if size in LAYOUT_SMALL:
        return LAYOUT_SMALL[size]
    s = size / 256.0
    snap = size <= 64

    def p(v):
        v = v * s
        return float(round(v)) if snap else v

    L = LAYOUT_256
    bx0, by0, bx1, by1, br = L["body"]
    sx0, sy0, sx1, sy1, sr = L["slot"]
    out = {
        "body": (p(bx0), p(by0), p(bx1), p(by1), br * s),
        "lid": p(L["lid"]),
        "slot": (p(sx0), p(sy0), p(sx1), p(sy1), sr * s),
        "paper": tuple(p(v) for v in L["paper"]),
        # about one tooth per 4.5 px of paper width, never more than at 256
        "teeth": min(L["teeth"], max(3, int(round((L["paper"][2] - L["paper"][0]) * s / 4.5)))),
        "tooth_depth": L["tooth_depth"] * s,
        "edge": max(1.0, p(L["edge"])),
        "lines": [tuple(p(v) for v in ln) for ln in L["lines"]],
        "accent": tuple(p(v) for v in L["accent"]),
        "led": (L["led"][0] * s, L["led"][1] * s, L["led"][2] * s),
        "button": tuple(p(v) for v in L["button"][:4]) + (L["button"][4] * s,),
        "shadow": (L["shadow"][0] * s, max(1.0, L["shadow"][1] * s), L["shadow"][2]),
    }
    return out


def paper_shape(L):
    px0, top, px1 = L["paper"]
    bottom = (L["slot"][1] + L["slot"][3]) / 2.0
    n, depth = L["teeth"], L["tooth_depth"]
    if n <= 0 or depth <= 0:
        return RRect(px0, top, px1, bottom, 0)
    pts = [(px0, bottom), (px0, top + depth)]
    w = (px1 - px0) / float(n)
    for i in range(n):
        pts.append((px0 + w * (i + 0.5), top))
        pts.append((px0 + w * (i + 1), top + depth))
    pts.append((px1, bottom))
    return Poly(pts)


def draw_icon(size):
    L = layout_for(size)
    c = Canvas(size, size)
    bx0, by0, bx1, by1, br = L["body"]
    body = RRect(bx0, by0, bx1, by1, br)

    if L["shadow"]:
        dy, soft, op = L["shadow"]
        c.fill(RRect(bx0 + soft * 0.3, by0 + dy, bx1 - soft * 0.3, by1 + dy, br),
               INK["shadow"], soft=soft, opacity=op)

    # Body: darker front with a gradient, lighter lid on top, seam between.
    c.fill(body, vgrad(by0, INK["body_top"], by1, INK["body_bot"]))
    if L["lid"] is not None:
        lid = Clip(body, RRect(bx0, by0, bx1, L["lid"], 0))
        c.fill(lid, vgrad(by0, INK["lid_top"], L["lid"], INK["lid_bot"]))
        seam_h = max(1.0, round(size / 128.0)) if size <= 64 else size / 128.0
        c.fill(Clip(body, RRect(bx0, L["lid"], bx1, L["lid"] + seam_h, 0)), INK["seam"])
    # Faint light rim so the dark body still reads on dark backgrounds.
    c.fill(Ring(body, max(1.0, size / 128.0)), hexcol("#FFFFFF", 0.10))
    if size >= 48:
        # Thin highlight along the top edge of the body.
        hl = Clip(body, RRect(bx0, by0, bx1, by0 + size / 64.0, 0))
        c.fill(hl, hexcol("#FFFFFF", 0.18))

    # Paper slot, then the receipt coming out of it.
    sx0, sy0, sx1, sy1, sr = L["slot"]
    c.fill(RRect(sx0, sy0, sx1, sy1, sr), INK["slot"])
    paper = paper_shape(L)
    c.fill(paper, INK["paper_edge"] if size >= 48 else INK["paper_edge_small"])
    # Open at the bottom: extend the inset paper down into the slot.
    edge = L["edge"]
    inner = Clip(Inset(paper_shape(dict(L, slot=(0, L["slot"][1], 0, L["slot"][3] + 2 * edge))), edge),
                 RRect(0, 0, size, (sy0 + sy1) / 2.0, 0))
    c.fill(inner, INK["paper"])
    # Shade where the paper enters the slot.
    if size >= 48:
        ppx0, _, ppx1 = L["paper"]
        mid = (sy0 + sy1) / 2.0
        c.fill(RRect(ppx0, sy0 - size / 32.0, ppx1, mid, 0),
               vgrad(sy0 - size / 32.0, hexcol("#000000", 0.0), mid, hexcol("#000000", 0.22)))

    for (x0, y0, x1, y1) in L["lines"]:
        c.fill(RRect(x0, y0, x1, y1, (y1 - y0) / 2.0 if size >= 48 else 0), INK["print"])
    if L["accent"]:
        x0, y0, x1, y1 = L["accent"]
        c.fill(RRect(x0, y0, x1, y1, (y1 - y0) / 2.0), INK["teal"])

    if L["button"]:
        x0, y0, x1, y1, r = L["button"]
        c.fill(RRect(x0, y0, x1, y1, r), INK["button"])
    cx, cy, r = L["led"]
    if size >= 48:
        c.fill(Circle(cx, cy, r * 1.9), INK["teal"], soft=r * 1.6, opacity=0.35)
    c.fill(Circle(cx, cy, r), INK["teal"])
    if size >= 48:
        c.fill(Circle(cx - r * 0.3, cy - r * 0.3, r * 0.4), hexcol("#FFFFFF", 0.55))
    return c.rgba_rows()


# ---------------------------------------------------------------------------
# ICO / PNG writers.
# ---------------------------------------------------------------------------

def png_bytes(rows):
    h, w = len(rows), len(rows[0])
    raw = bytearray()
    for row in rows:
        raw.append(0)  # filter type 0 (None)
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))

    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def dib_bytes(rows):
    h, w = len(rows), len(rows[0])
    xor = bytearray()
    for row in reversed(rows):  # bottom-up
        for r, g, b, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x >> 3] |= 0x80 >> (x & 7)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def ico_bytes(images):
    """images: list of (size, data_bytes)."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    blobs = []
    for size, data in images:
        b = 0 if size >= 256 else size
        out += struct.pack("<BBBBHHII", b, b, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs.append(data)
    return out + b"".join(blobs)


def make_icon():
    images = []
    for size in ICON_SIZES:
        rows = draw_icon(size)
        images.append((size, png_bytes(rows) if size >= 256 else dib_bytes(rows)))
    return ico_bytes(images)


# ---------------------------------------------------------------------------
# The logo: 1-bpp, black on white.  Letters are built from polygons and
# rounded-rectangle rings in a box of width w and height 1 (y down), then
# sampled at pixel centres (a pixel is black when its centre is inside).
# ---------------------------------------------------------------------------

class Glyph:
    """Ordered list of ('+' | '-', shape); later entries win."""

    def __init__(self, width, parts):
        self.width, self.parts = width, parts

    def inside(self, x, y):
        if x < 0.0 or y < 0.0 or x > self.width or y > 1.0:
            return False
        state = False
        for op, shp in self.parts:
            if shp.sdf(x, y) <= 0.0:
                state = (op == "+")
        return state


def stroke(x0, y0, x1, y1, t):
    """Straight stroke of perpendicular thickness t whose centre line runs from
    (x0, y0) to (x1, y1); its ends are cut horizontally (flat top/bottom)."""
    dx, dy = x1 - x0, y1 - y0
    hw = t * math.hypot(dx, dy) / (2.0 * abs(dy))
    return Poly([(x0 - hw, y0), (x0 + hw, y0), (x1 + hw, y1), (x1 - hw, y1)])


def half_width(t, dx, dy):
    """Horizontal half-width of a stroke of thickness t with direction (dx, dy)."""
    return t * math.hypot(dx, dy) / (2.0 * abs(dy))


def edge_stroke(xa, ya, xb, yb, t):
    """Stroke whose outer edges touch x = xa at y = ya and x = xb at y = yb
    (xa < xb): the centre line is moved inwards by the horizontal half-width,
    solved by a few fixed-point steps (converges fast for these slopes)."""
    hw = t / 2.0
    for _ in range(20):
        hw = half_width(t, (xb - hw) - (xa + hw), yb - ya)
    return stroke(xa + hw, ya, xb - hw, yb, t), hw


def v_shape(w, t):
    """Two strokes meeting at the bottom centre with a flat base."""
    hw = t / 2.0
    for _ in range(20):
        hw = half_width(t, w / 2.0 - hw, 1.0)
    left = stroke(hw, 0.0, w / 2.0, 1.0, t)
    right = stroke(w - hw, 0.0, w / 2.0, 1.0, t)
    return [("+", left), ("+", right)]


def x_shape(w, t):
    a, _ = edge_stroke(0.0, 0.0, w, 1.0, t)
    b = Poly([(w - p[0], p[1]) for p in a.pts])
    return [("+", a), ("+", b)]


def k_shape(w, ts, t, join_y=0.64, f=0.34):
    """Stem, an arm from the stem up to the top right, and a leg from the arm
    down to the bottom right."""
    # Arm centre line passes through (ts, join_y) and (w - hw, 0).
    hw = t / 2.0
    for _ in range(20):
        hw = half_width(t, w - hw - ts, join_y)
    slope = join_y / (w - hw - ts)          # dy/dx going down-left
    x_start = ts - hw - 0.005                # start buried inside the stem
    y_start = join_y + (ts - x_start) * slope
    arm = stroke(x_start, y_start, w - hw, 0.0, t)
    # The leg starts on the arm's centre line a fraction f of the way up.
    lx = ts + (w - hw - ts) * f
    ly = join_y * (1.0 - f)
    hwl = t / 2.0
    for _ in range(20):
        hwl = half_width(t, (w - hwl) - lx, 1.0 - ly)
    hwl = min(hwl, hw)  # keep the leg's top cut inside the arm
    leg = Poly([(lx - hwl, ly), (lx + hwl, ly), (w, 1.0), (w - 2 * hwl, 1.0)])
    return [("+", RRect(0, 0, ts, 1)), ("+", arm), ("+", leg)]


def big_font(t, aspect):
    """Bold block capitals for the wordmark.  t: stroke (fraction of height);
    aspect: horizontal stretch.  Returns dict letter -> Glyph in units of height."""
    g = {}
    ts = t * 1.10   # vertical stems a touch heavier than horizontals (optical)
    td = t * 1.06   # diagonals

    w = 0.76 * aspect
    g["K"] = Glyph(w, k_shape(w, ts, td))
    w = 0.84 * aspect
    g["O"] = Glyph(w, [
        ("+", RRect(0, 0, w, 1, 0.30)),
        ("-", RRect(ts, t, w - ts, 1 - t, max(0.30 - t * 0.8, 0.04))),
    ])
    w = 0.76 * aspect
    bowl_b = 0.58
    r = 0.22
    leg, _ = edge_stroke(w * 0.30, bowl_b - t * 0.3, w, 1.0, td)
    g["R"] = Glyph(w, [
        ("+", RRect(0, 0, w, bowl_b + t * 0.5, r)),
        ("-", RRect(ts, t, w - ts, bowl_b - t * 0.5, max(r - t * 0.8, 0.03))),
        ("+", RRect(0, 0, ts, 1)),
        ("+", RRect(0, 0, r, bowl_b + t * 0.5)),
        ("+", leg),
    ])
    w = 0.82 * aspect
    g["V"] = Glyph(w, v_shape(w, td * 1.05))
    w = 0.62 * aspect
    g["E"] = Glyph(w, [
        ("+", RRect(0, 0, ts, 1)),
        ("+", RRect(0, 0, w, t)),
        ("+", RRect(0, 0.5 - t * 0.5, w * 0.86, 0.5 + t * 0.5)),
        ("+", RRect(0, 1 - t, w, 1)),
    ])
    w = 0.82 * aspect
    g["X"] = Glyph(w, x_shape(w, td))
    return g


def small_font(t):
    """Small capitals and figures for 'KV-80C' (units of height)."""
    g = {}
    w = 0.70
    g["K"] = Glyph(w, k_shape(w, t, t * 1.05, join_y=0.62, f=0.36))
    w = 0.72
    g["V"] = Glyph(w, v_shape(w, t * 1.1))
    w = 0.42
    g["-"] = Glyph(w, [("+", RRect(0.04, 0.5 - t * 0.5, w - 0.04, 0.5 + t * 0.5))])
    w = 0.62
    mid = 0.46
    g["8"] = Glyph(w, [
        ("+", RRect(0.05, 0, w - 0.05, mid + t * 0.5, 0.22)),
        ("-", RRect(0.05 + t, t, w - 0.05 - t, mid - t * 0.5, 0.06)),
        ("+", RRect(0, mid - t * 0.5, w, 1, 0.27)),
        ("-", RRect(t, mid + t * 0.5, w - t, 1 - t, 0.08)),
    ])
    g["0"] = Glyph(w, [
        ("+", RRect(0, 0, w, 1, 0.27)),
        ("-", RRect(t, t, w - t, 1 - t, 0.09)),
    ])
    w = 0.60
    g["C"] = Glyph(w, [
        ("+", RRect(0, 0, w, 1, 0.27)),
        ("-", RRect(t, t, w - t, 1 - t, 0.09)),
        ("-", RRect(w * 0.55, 0.5 - 0.12, w + 1, 0.5 + 0.12)),
    ])
    return g


class Bitmap1:
    def __init__(self, w, h):
        self.w, self.h = w, h
        self.black = [[False] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, value=True):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.black[y][x] = value

    def shape(self, inside, x0, y0, x1, y1, value=True):
        """Set pixels whose centres satisfy inside(px, py) in [x0,x1) x [y0,y1)."""
        for y in range(max(0, int(y0)), min(self.h, int(math.ceil(y1)))):
            for x in range(max(0, int(x0)), min(self.w, int(math.ceil(x1)))):
                if inside(x + 0.5, y + 0.5):
                    self.black[y][x] = value

    def text(self, font, s, x, y, height, spacing):
        """Draw string s with its top-left at (x, y); returns the end x."""
        for ch in s:
            gl = font[ch]
            w = gl.width * height
            x = int(round(x))  # start every glyph on the pixel grid

            def inside(px, py, gl=gl, ox=x):
                return gl.inside((px - ox) / height, (py - y) / height)

            self.shape(inside, x, y, x + w + 1, y + height + 1)
            x += w + spacing
        return x - spacing

    def bmp_bytes(self, dpi=203):
        stride = ((self.w + 31) // 32) * 4
        data = bytearray()
        for row in reversed(self.black):  # bottom-up
            line = bytearray(b"\xff" * stride)  # bit 1 = palette 1 = white
            for x, blk in enumerate(row):
                if blk:
                    line[x >> 3] &= ~(0x80 >> (x & 7)) & 0xFF
            # keep the padding bits white too (harmless either way)
            data += line
        ppm = int(round(dpi / 0.0254))
        palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
        offset = 14 + 40 + len(palette)
        info = struct.pack("<IiiHHIIiiII", 40, self.w, self.h, 1, 1, 0, len(data), ppm, ppm, 2, 2)
        filehdr = struct.pack("<2sIHHI", b"BM", offset + len(data), 0, 0, offset)
        return filehdr + info + palette + bytes(data)


def text_width(font, s, height, spacing):
    return sum(font[ch].width * height for ch in s) + spacing * (len(s) - 1)


def draw_receipt_glyph(bm, x0, y0, x1, y1, teeth=4):
    """Solid receipt with a torn (zigzag) bottom and white printed lines."""
    w, h = x1 - x0, y1 - y0
    tooth = w / float(teeth)
    depth = round(tooth * 0.6)
    pts = [(x0, y0), (x1, y0), (x1, y1 - depth)]
    for i in range(teeth):
        pts.append((x1 - tooth * (i + 0.5), y1))
        pts.append((x1 - tooth * (i + 1), y1 - depth))
    outline = Poly(pts)
    bm.shape(lambda px, py: outline.contains(px, py), x0, y0, x1, y1)
    # White "printed" lines knocked out of the black strip.
    pad = 6
    lx0, lx1 = x0 + pad, x1 - pad
    lh = 3
    ly = y0 + 7
    for frac in (1.0, 0.62, 0.82, 0.5):
        bm.rect(lx0, ly, lx0 + int(round((lx1 - lx0) * frac)), ly + lh, value=False)
        ly += lh + 4
    # The "total" line: heavier, after a gap.
    ly += 3
    bm.rect(lx0, ly, lx1, ly + lh + 2, value=False)


def make_logo():
    W, H = 308, 87
    bm = Bitmap1(W, H)
    margin = 6

    cap = 52                      # wordmark cap height: 52 px = 6.5 mm at 203 dpi
    top = margin
    # Receipt mark on the left, as tall as the wordmark.
    mark_w = 32
    draw_receipt_glyph(bm, margin, top, margin + mark_w, top + cap)

    # Wordmark: KORVEX stretched to fill from the mark to the right margin.
    x_word = margin + mark_w + 10
    spacing = 8
    big = big_font(0.215, 1.0)
    aspect = (W - margin - x_word - spacing * 5) / text_width(big, "KORVEX", cap, 0)
    big = big_font(0.215, aspect)
    bm.text(big, "KORVEX", x_word, top, cap, spacing)

    # Second line: a thin rule running into the model name at the right.
    sh = 17
    sy = H - margin - sh
    small = small_font(3.0 / sh)  # 3-pixel strokes
    sgap = 3
    sw = text_width(small, "KV-80C", sh, sgap)
    sx = int(round(W - margin - sw))
    bm.text(small, "KV-80C", sx, sy, sh, sgap)
    rule_h = 3
    ry = sy + (sh - rule_h) // 2
    bm.rect(margin, ry, sx - 9, ry + rule_h)
    return bm.bmp_bytes()


# ---------------------------------------------------------------------------

def main(argv):
    if len(argv) > 1:
        sys.stderr.write("usage: make_art.py   (no arguments; writes resources/quillmate.ico and logo.bmp)\n")
        return 2
    os.makedirs(OUT_DIR, exist_ok=True)
    for name, data in (("quillmate.ico", make_icon()), ("logo.bmp", make_logo())):
        path = os.path.join(OUT_DIR, name)
        with open(path, "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (os.path.relpath(path, ROOT), len(data)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
