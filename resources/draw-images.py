#!/usr/bin/env python3
"""Draws Orvane's bitmaps and icons and writes them as PNG files.

    resources/draw-images.py                 rewrite resources/images and resources/modules
    resources/draw-images.py --sheet OUT.png also write one enlarged sheet of every picture

The PNG files are checked in; the build embeds them and never runs this script. Python's
standard library only: the PNG writer below is zlib and struct.

Pictures whose shape a window takes, or that are drawn transparently, use the key colour
RGB(255, 0, 255) outside the shape. Their anti-aliased edges are blended with the skin's
background colour, never with the key, so no pink fringe survives the cut. Icons carry an
alpha channel instead.
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# ---- palette -----------------------------------------------------------------------------
# The skin colours of config.ini, and the shades the pictures are built from.

KEY = (255, 0, 255)
SKIN_BACKGROUND = (200, 216, 236)
SKIN_LIGHT = (236, 242, 250)
WHITE = (255, 255, 255)
NAVY = (28, 52, 104)
DEEP = (40, 80, 150)
BLUE = (58, 110, 180)
SKY = (120, 164, 220)
ICE = (214, 228, 246)
BORDER = (120, 146, 184)
GOLD = (232, 160, 48)
GOLD_LIGHT = (250, 210, 120)
GREEN_LIGHT = (132, 214, 124)
GREEN = (52, 160, 68)
GREEN_DARK = (24, 104, 40)
RED_LIGHT = (244, 128, 108)
RED = (204, 60, 48)
RED_DARK = (136, 28, 22)
GREY_LIGHT = (222, 224, 228)
GREY = (168, 172, 180)
GREY_DARK = (128, 134, 144)


def mix(a, b, t):
    """The colour t of the way from a to b."""
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


# ---- PNG ---------------------------------------------------------------------------------

def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def write_png(path, width, height, pixels, mode):
    """pixels: rows of (r, g, b[, a]) tuples. mode: "RGB", "RGBA" or "P" (palette of at
    most 256 colours, taken from the pixels in order of appearance)."""
    raw = bytearray()
    palette = []
    if mode == "P":
        index = {}
        for row in pixels:
            for p in row:
                if p not in index:
                    index[p] = len(palette)
                    palette.append(p)
        if len(palette) > 256:
            raise ValueError("%s: %d colours do not fit a palette" % (path, len(palette)))
        for row in pixels:
            raw.append(0)
            raw.extend(index[p] for p in row)
        colour_type, depth = 3, 8
    else:
        channels = 4 if mode == "RGBA" else 3
        for row in pixels:
            raw.append(0)
            for p in row:
                raw.extend(p[:channels])
        colour_type, depth = (6 if channels == 4 else 2), 8
    png = b"\x89PNG\r\n\x1a\n"
    png += _chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0, 0))
    if palette:
        png += _chunk(b"PLTE", b"".join(bytes(p) for p in palette))
    png += _chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += _chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


# ---- shapes ------------------------------------------------------------------------------
# A shape is a function (x, y) -> bool over continuous coordinates (pixel i covers [i, i+1))
# together with its bounding box, so painting visits only the pixels it can touch.

class Shape:
    def __init__(self, inside, box):
        self.inside = inside
        self.box = box  # (x0, y0, x1, y1)

    def __or__(self, other):
        a, b = self.box, other.box
        return Shape(lambda x, y: self.inside(x, y) or other.inside(x, y),
                     (min(a[0], b[0]), min(a[1], b[1]), max(a[2], b[2]), max(a[3], b[3])))

    def __sub__(self, other):
        return Shape(lambda x, y: self.inside(x, y) and not other.inside(x, y), self.box)

    def __and__(self, other):
        a, b = self.box, other.box
        return Shape(lambda x, y: self.inside(x, y) and other.inside(x, y),
                     (max(a[0], b[0]), max(a[1], b[1]), min(a[2], b[2]), min(a[3], b[3])))

    def moved(self, dx, dy):
        x0, y0, x1, y1 = self.box
        return Shape(lambda x, y: self.inside(x - dx, y - dy), (x0 + dx, y0 + dy, x1 + dx, y1 + dy))

    def turned(self, degrees, cx, cy):
        """Turned clockwise (y grows downwards) about (cx, cy)."""
        a = math.radians(degrees)
        c, s = math.cos(a), math.sin(a)

        def inside(x, y):
            dx, dy = x - cx, y - cy
            return self.inside(cx + dx * c + dy * s, cy - dx * s + dy * c)

        x0, y0, x1, y1 = self.box
        corners = [(x0, y0), (x1, y0), (x0, y1), (x1, y1)]
        turned = [(cx + (px - cx) * c - (py - cy) * s, cy + (px - cx) * s + (py - cy) * c) for px, py in corners]
        return Shape(inside, (min(p[0] for p in turned), min(p[1] for p in turned),
                              max(p[0] for p in turned), max(p[1] for p in turned)))


def rect(x0, y0, x1, y1):
    return Shape(lambda x, y: x0 <= x < x1 and y0 <= y < y1, (x0, y0, x1, y1))


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return Shape(inside, (x0, y0, x1, y1))


def circle(cx, cy, r):
    return Shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r, (cx - r, cy - r, cx + r, cy + r))


def ellipse(cx, cy, rx, ry):
    return Shape(lambda x, y: ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2 <= 1.0,
                 (cx - rx, cy - ry, cx + rx, cy + ry))


def ring(cx, cy, r0, r1, start=None, end=None):
    """The band between radii r0 and r1; with start and end (degrees, clockwise from
    three o'clock, y downwards) only that sector of it."""
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        if not (r0 * r0 <= d <= r1 * r1):
            return False
        if start is None:
            return True
        a = math.degrees(math.atan2(y - cy, x - cx)) % 360.0
        return (a - start) % 360.0 <= (end - start) % 360.0
    return Shape(inside, (cx - r1, cy - r1, cx + r1, cy + r1))


def capsule(ax, ay, bx, by, r):
    """A stroke of width 2r with round ends from (ax, ay) to (bx, by)."""
    vx, vy = bx - ax, by - ay
    length2 = vx * vx + vy * vy or 1e-9

    def inside(x, y):
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / length2))
        px, py = ax + vx * t - x, ay + vy * t - y
        return px * px + py * py <= r * r
    return Shape(inside, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r))


def polyline(points, r):
    shape = capsule(*points[0], *points[1], r)
    for a, b in zip(points[1:], points[2:]):
        shape = shape | capsule(*a, *b, r)
    return shape


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return Shape(inside, (min(xs), min(ys), max(xs), max(ys)))


# ---- paints ------------------------------------------------------------------------------
# A paint is a function (x, y) -> colour, evaluated at pixel centres.

def solid(c):
    return lambda x, y: c


def vertical(y0, y1, top, bottom):
    return lambda x, y: mix(top, bottom, (y - y0) / float(y1 - y0))


def horizontal(x0, x1, left, right):
    return lambda x, y: mix(left, right, (x - x0) / float(x1 - x0))


def radial(cx, cy, r, centre, edge):
    return lambda x, y: mix(centre, edge, math.hypot(x - cx, y - cy) / r)


# ---- canvas ------------------------------------------------------------------------------

SAMPLES = 4


class Canvas:
    """RGBA pixels in floats (straight alpha), painted over with anti-aliased shapes."""

    def __init__(self, width, height, background=None):
        self.width = width
        self.height = height
        fill = (background[0], background[1], background[2], 1.0) if background else (0.0, 0.0, 0.0, 0.0)
        self.px = [[list(fill) for _ in range(width)] for _ in range(height)]

    def paint(self, shape, paint, opacity=1.0):
        x0, y0, x1, y1 = shape.box
        offsets = [(i + 0.5) / SAMPLES for i in range(SAMPLES)]
        for j in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)) + 1)):
            for i in range(max(0, int(math.floor(x0))), min(self.width, int(math.ceil(x1)) + 1)):
                hits = sum(1 for oy in offsets for ox in offsets if shape.inside(i + ox, j + oy))
                if hits:
                    self.blend(i, j, paint(i + 0.5, j + 0.5), opacity * hits / float(SAMPLES * SAMPLES))

    def blend(self, i, j, colour, alpha):
        p = self.px[j][i]
        out = alpha + p[3] * (1.0 - alpha)
        if out <= 0.0:
            return
        for k in range(3):
            p[k] = (colour[k] * alpha + p[k] * p[3] * (1.0 - alpha)) / out
        p[3] = out

    def dots(self, mask, x, y, colour, scale=1):
        """Hard-edged pixels: mask is rows of '#' and '.'."""
        for r, line in enumerate(mask):
            for c, ch in enumerate(line):
                if ch == "#":
                    for dy in range(scale):
                        for dx in range(scale):
                            if 0 <= x + c * scale + dx < self.width and 0 <= y + r * scale + dy < self.height:
                                self.blend(x + c * scale + dx, y + r * scale + dy, colour, 1.0)

    def text(self, s, x, y, colour, scale=1):
        for ch in s:
            glyph = FONT[ch]
            self.dots(glyph, x, y, colour, scale)
            x += (len(glyph[0]) + 1) * scale

    # The three ways a picture leaves the canvas.
    def keyed(self, matte=SKIN_BACKGROUND):
        """Opaque picture: pixels at most half covered become the key colour, edges are
        blended with the matte."""
        rows = []
        for row in self.px:
            out = []
            for r, g, b, a in row:
                if a < 0.5:
                    out.append(KEY)
                else:
                    c = mix(matte, (r, g, b), a)
                    # A shape pixel must never read as the key colour itself.
                    out.append(c if c != KEY else (254, 0, 255))
            rows.append(out)
        return rows

    def opaque(self):
        return [[(int(round(r)), int(round(g)), int(round(b))) for r, g, b, a in row] for row in self.px]

    def with_alpha(self):
        return [[(int(round(r)), int(round(g)), int(round(b)), int(round(a * 255))) for r, g, b, a in row]
                for row in self.px]


def text_width(s, scale=1):
    return sum((len(FONT[ch][0]) + 1) * scale for ch in s) - scale


# A small pixel font: the product name, and digits for the contact sheet's labels.
FONT = {
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "r": ["....", "....", "#.##", "##..", "#...", "#...", "#..."],
    "v": [".....", ".....", "#...#", "#...#", ".#.#.", ".#.#.", "..#.."],
    "a": ["....", "....", ".##.", "...#", ".###", "#..#", ".###"],
    "n": ["....", "....", "#.#.", "##.#", "#..#", "#..#", "#..#"],
    "e": ["....", "....", ".##.", "#..#", "####", "#...", ".###"],
    " ": ["..", "..", "..", "..", "..", "..", ".."],
    "-": ["...", "...", "...", "###", "...", "...", "..."],
    "0": [".##.", "#..#", "#.##", "##.#", "#..#", "#..#", ".##."],
    "1": [".#.", "##.", ".#.", ".#.", ".#.", ".#.", "###"],
    "2": [".##.", "#..#", "...#", "..#.", ".#..", "#...", "####"],
    "3": ["###.", "...#", "...#", ".##.", "...#", "...#", "###."],
    "4": ["..#.", ".##.", "#.#.", "#.#.", "####", "..#.", "..#."],
    "5": ["####", "#...", "###.", "...#", "...#", "#..#", ".##."],
    "6": [".##.", "#...", "###.", "#..#", "#..#", "#..#", ".##."],
    "7": ["####", "...#", "..#.", "..#.", ".#..", ".#..", ".#.."],
    "8": [".##.", "#..#", "#..#", ".##.", "#..#", "#..#", ".##."],
    "9": [".##.", "#..#", "#..#", ".###", "...#", "...#", ".##."],
}


# ---- pieces shared by several pictures ---------------------------------------------------

def gloss(canvas, x0, y0, x1, y1, strength=0.35):
    """The soft highlight over the upper half of a glassy face."""
    cx, cy = (x0 + x1) / 2.0, y0 + (y1 - y0) * 0.12
    canvas.paint(ellipse(cx, cy, (x1 - x0) * 0.48, (y1 - y0) * 0.42) & rect(x0, y0, x1, (y0 + y1) / 2.0),
                 solid(WHITE), strength)


def handset(cx, cy, size):
    """A telephone handset lying with both cups down, about size pixels wide, centred near
    (cx, cy)."""
    s = size / 28.0
    ox, oy = cx, cy + 6 * s
    shape = ring(ox, oy, 8 * s, 12 * s, 212, 328)
    for angle, lean in ((212, -1), (328, 1)):
        a = math.radians(angle)
        ex, ey = ox + math.cos(a) * 10 * s, oy + math.sin(a) * 10 * s
        cup = rounded(ex - 4.2 * s, ey - 1.2 * s, ex + 4.2 * s, ey + 5.0 * s, 2.2 * s)
        shape = shape | cup.turned(lean * 28, ex, ey)
    return shape


def bubble(cx, cy, r):
    """The program's emblem: a round speech bubble with its tail at the lower left."""
    tail = polygon([(cx - r * 0.62, cy + r * 0.45), (cx - r * 0.05, cy + r * 0.92),
                    (cx - r * 0.98, cy + r * 1.22)])
    return circle(cx, cy, r) | tail


def emblem(canvas, cx, cy, r):
    canvas.paint(bubble(cx, cy, r), radial(cx - r * 0.4, cy - r * 0.5, r * 2.0, (156, 196, 244), NAVY))
    canvas.paint(bubble(cx, cy, r) - bubble(cx, cy, r - max(1.0, r / 14.0)), solid(NAVY), 0.8)
    canvas.paint(ring(cx, cy, r * 0.36, r * 0.6), solid(WHITE))
    gloss(canvas, cx - r, cy - r, cx + r, cy + r, 0.28)


def camera(canvas, x, y, s):
    """A video camera, s pixels per unit of a 32-unit grid, its corner at (x, y)."""
    body = rounded(x + 3 * s, y + 9 * s, x + 21 * s, y + 24 * s, 3 * s)
    lens = polygon([(x + 20 * s, y + 16.5 * s), (x + 29 * s, y + 10 * s), (x + 29 * s, y + 23 * s)])
    canvas.paint(body | lens, vertical(y + 9 * s, y + 24 * s, SKY, NAVY))
    canvas.paint(rounded(x + 5 * s, y + 11 * s, x + 19 * s, y + 15 * s, 2 * s), solid(WHITE), 0.35)
    canvas.paint(circle(x + 7.5 * s, y + 19.5 * s, 1.8 * s), solid(RED))
    canvas.paint(circle(x + 7 * s, y + 19 * s, 0.7 * s), solid(WHITE), 0.7)


def round_button(canvas, cx, cy, r, light, dark):
    canvas.paint(circle(cx, cy, r), radial(cx - r * 0.35, cy - r * 0.45, r * 1.9, light, dark))
    canvas.paint(circle(cx, cy, r) - circle(cx, cy, r - 1), solid(dark), 0.9)
    gloss(canvas, cx - r, cy - r, cx + r, cy + r, 0.3)


def arrow(cx, cy, size, pointing_right):
    """A broad arrow, size pixels long."""
    h = size / 2.0
    d = 1 if pointing_right else -1
    head = polygon([(cx + d * h, cy), (cx + d * h * 0.05, cy - h * 0.85), (cx + d * h * 0.05, cy + h * 0.85)])
    shaft = rect(min(cx - d * h, cx + d * h * 0.1), cy - h * 0.32, max(cx - d * h, cx + d * h * 0.1), cy + h * 0.32)
    return head | shaft


# ---- the main program's pictures -----------------------------------------------------------

def program_icon():
    c = Canvas(32, 32)
    emblem(c, 17, 14.5, 13.5)
    return c.with_alpha()


def contact_states():
    c = Canvas(64, 16)
    for cell, down in ((0, False), (1, True)):
        x = cell * 16
        c.paint(rounded(x + 2, 2, x + 14, 14, 3), vertical(2, 14, SKY, DEEP))
        c.paint(rounded(x + 2, 2, x + 14, 14, 3) - rounded(x + 3, 3, x + 13, 13, 2), solid(NAVY), 0.8)
        if down:
            c.paint(polygon([(x + 4.5, 6), (x + 11.5, 6), (x + 8, 10.5)]), solid(WHITE))
        else:
            c.paint(polygon([(x + 6, 4.5), (x + 6, 11.5), (x + 10.5, 8)]), solid(WHITE))
    for cell, light, dark in ((2, GREEN_LIGHT, GREEN_DARK), (3, GREY_LIGHT, GREY_DARK)):
        x = cell * 16
        person = circle(x + 8, 4.8, 3.3) | (ellipse(x + 8, 15.5, 6.2, 6.8) & rect(x, 0, x + 16, 15))
        c.paint(person, radial(x + 6, 3, 14, light, dark))
    return c.keyed()


CALL_FACES = {
    # state: (top, bottom, border, icon)
    "talk-normal": (GREEN_LIGHT, GREEN, GREEN_DARK, WHITE),
    "talk-hover": ((176, 236, 166), (72, 184, 86), GREEN_DARK, WHITE),
    "talk-pressed": (GREEN_DARK, (92, 184, 96), GREEN_DARK, WHITE),
    "hangup-normal": (RED_LIGHT, RED, RED_DARK, WHITE),
    "hangup-hover": ((250, 170, 150), (226, 84, 66), RED_DARK, WHITE),
    "hangup-pressed": (RED_DARK, (210, 90, 76), RED_DARK, WHITE),
    "disabled": ((234, 236, 240), (196, 200, 208), GREY_DARK, (150, 156, 166)),
}


def call_button(kind, state):
    """33 by 37: the call bar's Talk and Hang-up buttons. No caption is drawn over them, so
    the picture says it: a handset lifted on green, laid down on red."""
    face = CALL_FACES["disabled" if state == "disabled" else kind + "-" + state]
    top, bottom, border, icon = face
    c = Canvas(33, 37)
    outline = rounded(0, 0, 33, 37, 8)
    c.paint(outline, solid(border))
    c.paint(rounded(1, 1, 32, 36, 7), vertical(1, 36, top, bottom))
    if state == "hover":
        c.paint(rounded(1, 1, 32, 36, 7) - rounded(2.2, 2.2, 30.8, 34.8, 6), solid(GOLD_LIGHT))
    if state != "pressed":
        gloss(c, 1, 1, 32, 36, 0.3 if state != "disabled" else 0.2)
    shift = 1 if state == "pressed" else 0
    cx, cy = 16.5 + shift, 18.5 + shift
    if kind == "hangup":
        phone = handset(cx, cy - 2, 24)
    else:
        phone = handset(cx - 1, cy, 23).turned(-38, cx - 1, cy)
    # Disabled, the handset is pressed into the face; otherwise it casts a small shadow.
    if state == "disabled":
        c.paint(phone.moved(1, 1), solid(WHITE), 0.9)
    else:
        c.paint(phone.moved(0.8, 1), solid(border), 0.55)
    c.paint(phone, solid(icon))
    return c.keyed()


def notice():
    """143 by 82: the sliding notice. The window's shape is cut from the first 140 columns;
    the last three are key colour so the picture agrees with the shape. The title is drawn
    white with a black shadow into the band at the top, the body text black or green below."""
    c = Canvas(143, 82)
    shape = rounded(0, 0, 140, 82, 7)
    c.paint(shape, solid(NAVY))
    c.paint(rounded(1, 1, 139, 81, 6), vertical(17, 81, WHITE, ICE))
    c.paint(rounded(1, 1, 139, 81, 6) & rect(0, 0, 140, 17), vertical(1, 17, (70, 118, 190), DEEP))
    c.paint(rect(1, 1, 139, 8) & rounded(1, 1, 139, 81, 6), solid(WHITE), 0.14)
    c.paint(rect(1, 17, 139, 18), solid(SKY))
    c.paint(rect(4, 78, 136, 79), solid(SKY), 0.35)
    return c.keyed()


def animation_frame(k):
    """24 by 24, twelve frames: a lit dot runs round a ring of twelve, a fading tail behind
    it. Drawn opaque on the skin background: the picture control shows it as it is."""
    c = Canvas(24, 24, SKIN_BACKGROUND)
    for i in range(12):
        behind = (k - i) % 12
        colour = mix(NAVY, (172, 192, 222), behind / 5.0) if behind < 6 else (172, 192, 222)
        a = math.radians(i * 30 - 90)
        r = 2.3 if behind == 0 else 1.9
        c.paint(circle(12 + 8.2 * math.cos(a), 12 + 8.2 * math.sin(a), r), solid(colour))
    c.paint(circle(12, 12, 3.2), radial(11, 11, 4, WHITE, SKY))
    return c.opaque()


def check_box(ticked):
    """13 by 13, the skinned check box: 192 clear, 179 ticked."""
    c = Canvas(13, 13)
    c.paint(rounded(0, 0, 13, 13, 2.5), solid(BLUE))
    c.paint(rounded(1, 1, 12, 12, 1.8), vertical(1, 12, ICE, WHITE))
    if ticked:
        c.paint(polyline([(3.4, 6.6), (5.5, 9.0), (9.8, 3.6)], 1.05), solid(NAVY))
    return c.keyed()


BUTTON_FACES = {
    # Captions are drawn over these in the button text colour: the faces stay light.
    # state: (top, bottom, outer border, inner border or None)
    "normal": ((252, 253, 255), (206, 220, 240), BORDER, None),
    "default": ((252, 253, 255), (206, 220, 240), DEEP, SKY),
    "hover": (WHITE, (220, 232, 250), GOLD, GOLD_LIGHT),
    "pressed": ((182, 202, 230), (230, 238, 250), DEEP, None),
}


def push_button(width, height, state):
    top, bottom, outer, inner = BUTTON_FACES[state]
    r = height * 0.24
    c = Canvas(width, height)
    c.paint(rounded(0, 0, width, height, r), solid(outer))
    c.paint(rounded(1, 1, width - 1, height - 1, r - 1), vertical(1, height - 1, top, bottom))
    if inner:
        c.paint(rounded(1, 1, width - 1, height - 1, r - 1) - rounded(2, 2, width - 2, height - 2, r - 2),
                solid(inner))
    if state != "pressed":
        c.paint(rect(3, 2, width - 3, 3) & rounded(2, 2, width - 2, height - 2, r - 2), solid(WHITE), 0.8)
    return c.keyed()


def logo():
    """64 by 64, the picture button of the settings and about boxes: the emblem with the
    product name beneath it."""
    c = Canvas(64, 64)
    emblem(c, 33, 24, 22)
    w = text_width("Orvane")
    plate = rounded(31 - w / 2.0 - 3, 52, 31 + w / 2.0 + 4, 63, 3)
    c.paint(plate, solid(NAVY))
    c.text("Orvane", 32 - (w + 1) // 2, 54, WHITE)
    return c.keyed()


# ---- the video library's pictures ----------------------------------------------------------

def video_icon():
    c = Canvas(32, 32)
    camera(c, 0, 0, 1.0)
    return c.with_alpha()


def video_button():
    c = Canvas(32, 32)
    camera(c, 0, 0, 1.0)
    return c.keyed()


def video_placeholder():
    """120 by 100, at most 256 colours: a quiet woven backdrop shown until the first
    picture arrives."""
    rows = []
    seed = 0x2F6E2B1
    for y in range(100):
        row = []
        for x in range(120):
            seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
            grain = (seed >> 16) % 5
            weave = ((x + y) // 3 + (x - y + 300) // 3) % 2
            shade = (y * 3) // 100  # darker towards the bottom, three steps
            level = grain + 4 * weave - 2 * shade
            row.append((30 + 2 * level, 44 + 3 * level, 70 + 4 * level))
        rows.append(row)
    return rows


# ---- the webjoin library's pictures --------------------------------------------------------

def webjoin_button():
    """32 by 32: shared browsing, a globe in front of a page window."""
    c = Canvas(32, 32)
    page = rounded(10, 3, 31, 22, 2.5)
    c.paint(page, solid(NAVY))
    c.paint(rounded(11, 4, 30, 21, 1.6), vertical(4, 21, WHITE, ICE))
    c.paint(rect(11, 4, 30, 8) & rounded(11, 4, 30, 21, 1.6), horizontal(11, 30, DEEP, SKY))
    for y in (11, 14, 17):
        c.paint(rect(20, y, 28, y + 1.2), solid(SKY))
    cx, cy, r = 11.5, 19.5, 10.5
    c.paint(circle(cx, cy, r + 1), solid(WHITE), 0.9)
    c.paint(circle(cx, cy, r), radial(cx - 4, cy - 5, 20, (170, 210, 250), DEEP))
    lines = ((ellipse(cx, cy, 5, r) - ellipse(cx, cy, 4, r - 1)) | rect(cx - 0.5, cy - r, cx + 0.5, cy + r)
             | rect(cx - r, cy - 0.5, cx + r, cy + 0.5)
             | ((ellipse(cx, cy - 4.5, 9, 2.4) - ellipse(cx, cy - 4.5, 8, 1.6)) & rect(0, cy - 4.5, 32, cy))
             | ((ellipse(cx, cy + 4.5, 9, 2.4) - ellipse(cx, cy + 4.5, 8, 1.6)) & rect(0, cy, 32, cy + 4.5)))
    c.paint(lines & circle(cx, cy, r - 0.5), solid(WHITE), 0.6)
    gloss(c, cx - r, cy - r, cx + r, cy + r, 0.25)
    return c.keyed()


def nav_button(kind, size=32):
    c = Canvas(size, size)
    m = size / 2.0
    r = size / 2.0 - 2.5 if size > 16 else size / 2.0 - 0.5
    if kind == "stop":
        round_button(c, m, m, r, RED_LIGHT, RED_DARK)
        cross = capsule(m - r * 0.4, m - r * 0.4, m + r * 0.4, m + r * 0.4, r * 0.13) | capsule(
            m - r * 0.4, m + r * 0.4, m + r * 0.4, m - r * 0.4, r * 0.13)
        c.paint(cross, solid(WHITE))
    elif kind == "refresh":
        round_button(c, m, m, r, (150, 196, 246), NAVY)
        band = ring(m, m, r * 0.36, r * 0.6, 330, 250)
        head = polygon([(m + r * 0.16, m - r * 0.76), (m + r * 0.16, m - r * 0.2), (m - r * 0.32, m - r * 0.48)])
        c.paint(band | head.moved(-r * 0.12, 0), solid(WHITE))
    else:
        light, dark = (GREEN_LIGHT, GREEN_DARK) if kind in ("forward", "go") else ((150, 196, 246), NAVY)
        round_button(c, m, m, r, light, dark)
        c.paint(arrow(m, m, r * 1.15, kind != "back"), solid(WHITE))
    return c.keyed()


# ---- the message boxes' kinds ------------------------------------------------------------

def box_icon(kind):
    """32 by 32 with alpha: a red disc with a cross (stop), a gold triangle with "!"
    (exclamation), a blue disc with "?" (question) or with "i" (information)."""
    c = Canvas(32, 32)
    m = 16
    if kind == "exclamation":
        corners = [(m, 2.5), (30.5, 28.5), (1.5, 28.5)]
        c.paint(polyline(corners + [corners[0]], 1.6) | polygon(corners), vertical(2, 30, GOLD_LIGHT, GOLD))
        c.paint(polyline(corners + [corners[0]], 0.8), solid(mix(GOLD, RED_DARK, 0.45)))
        c.paint(capsule(m, 10.5, m, 19.5, 1.9), solid(NAVY))
        c.paint(circle(m, 24.2, 1.9), solid(NAVY))
        return c.with_alpha()
    light, dark = (RED_LIGHT, RED_DARK) if kind == "stop" else ((150, 196, 246), DEEP)
    c.paint(circle(m, m, 14.5), radial(m - 4, m - 5, 20, light, dark))
    c.paint(ring(m, m, 13.6, 14.5), solid(mix(dark, NAVY, 0.4)))
    gloss(c, 3, 2, 29, 29, 0.3)
    if kind == "stop":
        c.paint(capsule(10.5, 10.5, 21.5, 21.5, 2.1) | capsule(21.5, 10.5, 10.5, 21.5, 2.1), solid(WHITE))
    elif kind == "question":
        c.paint(ring(m, 12.5, 2.6, 6.4, 180, 90) | capsule(m, 17.5, m, 20.5, 1.9), solid(WHITE))
        c.paint(circle(m, 25, 2.0), solid(WHITE))
    else:
        c.paint(circle(m, 8.5, 2.2), solid(WHITE))
        c.paint(capsule(m, 14, m, 24, 2.0) | rect(12, 23, 20, 25.5), solid(WHITE))
    return c.with_alpha()


# ---- the sets --------------------------------------------------------------------------------

def talk(state):
    return lambda: call_button("talk", state)


def hang_up(state):
    return lambda: call_button("hangup", state)


IMAGES = {
    # (folder, id, word): (draw, mode)
    ("images", 105, "program"): (program_icon, "RGBA"),
    ("images", 130, "contact-states"): (contact_states, "RGB"),
    ("images", 144, "talk"): (talk("normal"), "RGB"),
    ("images", 156, "hang-up"): (hang_up("normal"), "RGB"),
    ("images", 160, "notice"): (notice, "RGB"),
    ("images", 179, "check-ticked"): (lambda: check_box(True), "RGB"),
    ("images", 192, "check-clear"): (lambda: check_box(False), "RGB"),
    ("images", 201, "small-button"): (lambda: push_button(72, 22, "normal"), "RGB"),
    ("images", 202, "small-button-default"): (lambda: push_button(72, 22, "default"), "RGB"),
    ("images", 203, "small-button-hover"): (lambda: push_button(72, 22, "hover"), "RGB"),
    ("images", 204, "small-button-pressed"): (lambda: push_button(72, 22, "pressed"), "RGB"),
    ("images", 205, "logo"): (logo, "RGB"),
    ("images", 218, "large-button"): (lambda: push_button(96, 26, "normal"), "RGB"),
    ("images", 219, "large-button-pressed"): (lambda: push_button(96, 26, "pressed"), "RGB"),
    ("images", 220, "large-button-hover"): (lambda: push_button(96, 26, "hover"), "RGB"),
    ("images", 221, "large-button-default"): (lambda: push_button(96, 26, "default"), "RGB"),
    ("images", 230, "talk-pressed"): (talk("pressed"), "RGB"),
    ("images", 231, "hang-up-pressed"): (hang_up("pressed"), "RGB"),
    ("images", 232, "talk-hover"): (talk("hover"), "RGB"),
    ("images", 233, "hang-up-hover"): (hang_up("hover"), "RGB"),
    ("images", 236, "talk-disabled"): (talk("disabled"), "RGB"),
    ("images", 237, "hang-up-disabled"): (hang_up("disabled"), "RGB"),
    ("images", 240, "box-stop"): (lambda: box_icon("stop"), "RGBA"),
    ("images", 241, "box-exclamation"): (lambda: box_icon("exclamation"), "RGBA"),
    ("images", 242, "box-question"): (lambda: box_icon("question"), "RGBA"),
    ("images", 243, "box-information"): (lambda: box_icon("information"), "RGBA"),
    ("modules/video", 128, "video-window"): (video_icon, "RGBA"),
    ("modules/video", 135, "video-button"): (video_button, "RGB"),
    ("modules/video", 1021, "waiting-picture"): (video_placeholder, "P"),
    ("modules/webjoin", 135, "webjoin-button"): (webjoin_button, "RGB"),
    ("modules/webjoin", 1001, "back"): (lambda: nav_button("back"), "RGB"),
    ("modules/webjoin", 1002, "stop"): (lambda: nav_button("stop"), "RGB"),
    ("modules/webjoin", 1003, "refresh"): (lambda: nav_button("refresh"), "RGB"),
    ("modules/webjoin", 1004, "forward"): (lambda: nav_button("forward"), "RGB"),
    ("modules/webjoin", 1005, "go"): (lambda: nav_button("go", 16), "RGB"),
}

# The sign-in animation: twelve frames under ids 162 to 174, 164 left out.
for _n, _id in enumerate([162, 163, 165, 166, 167, 168, 169, 170, 171, 172, 173, 174]):
    IMAGES[("images", _id, "signing-in-%02d" % (_n + 1))] = ((lambda k: lambda: animation_frame(k))(_n), "RGB")


def draw_all():
    drawn = []
    for (folder, ident, word), (draw, mode) in sorted(IMAGES.items(), key=lambda e: (e[0][0], e[0][1])):
        pixels = draw()
        directory = os.path.join(HERE, folder)
        os.makedirs(directory, exist_ok=True)
        path = os.path.join(directory, "%d-%s.png" % (ident, word))
        write_png(path, len(pixels[0]), len(pixels), pixels, mode)
        drawn.append((folder, ident, pixels))
    return drawn


def contact_sheet(path, drawn, scale=3):
    """Every picture enlarged on one sheet, labelled with its id (the key colour shows as it
    is, so the shapes can be judged)."""
    cells = []
    for folder, ident, pixels in drawn:
        w, h = len(pixels[0]) * scale, len(pixels) * scale
        cells.append((ident, folder, pixels, max(w, text_width(str(ident), 2)), h + 18))
    width = 900
    x = y = 8
    line = 0
    placed = []
    for cell in cells:
        if x + cell[3] > width - 8:
            x, y, line = 8, y + line + 10, 0
        placed.append((x, y, cell))
        x += cell[3] + 14
        line = max(line, cell[4])
    height = y + line + 8
    sheet = Canvas(width, height, SKIN_BACKGROUND)
    for x, y, (ident, folder, pixels, _, _) in placed:
        sheet.text(str(ident), x, y, NAVY if folder == "images" else RED_DARK, 2)
        for j, row in enumerate(pixels):
            for i, p in enumerate(row):
                if len(p) == 4:
                    a = p[3] / 255.0
                    p = mix(SKIN_BACKGROUND, p[:3], a)
                for dy in range(scale):
                    r = sheet.px[y + 18 + j * scale + dy]
                    for dx in range(scale):
                        r[x + i * scale + dx] = [p[0], p[1], p[2], 1.0]
    write_png(path, width, height, sheet.opaque(), "RGB")


def main(argv):
    drawn = draw_all()
    if len(argv) == 3 and argv[1] == "--sheet":
        contact_sheet(argv[2], drawn)
    elif len(argv) != 1:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
