#!/usr/bin/env python3
"""Draws the icons, the hand cursor and the about-box picture of Kelto95.

Writes the .ico, .cur and .bmp files beside this script in their classic
formats (BITMAPINFOHEADER images with an AND mask, 16-colour VGA palette for
icons and cursor, 256 colours for the bitmap), so windres takes them as they
are and Windows 95 can show them. Standard library only; the output is the
same on every run.

    python3 res/draw_pictures.py              # rewrite the pictures
    python3 res/draw_pictures.py --preview F  # also render a PNG sheet to F
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# The standard 16-colour VGA palette, in the order Windows uses.
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
(BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER,
 GRAY, RED, LIME, YELLOW, BLUE, FUCHSIA, AQUA, WHITE) = range(16)


class Canvas:
    """A square of palette indices; None is transparent."""

    def __init__(self, size):
        self.size = size
        self.px = [[None] * size for _ in range(size)]

    def paint(self, inside, colour):
        """Colours every pixel whose centre satisfies inside(x, y)."""
        for y in range(self.size):
            for x in range(self.size):
                if inside(x + 0.5, y + 0.5):
                    self.px[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0..x1, y0..y1 inclusive."""
        for y in range(max(y0, 0), min(y1, self.size - 1) + 1):
            for x in range(max(x0, 0), min(x1, self.size - 1) + 1):
                self.px[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        self.rect(x0, y0, x1, y0, colour)
        self.rect(x0, y1, x1, y1, colour)
        self.rect(x0, y0, x0, y1, colour)
        self.rect(x1, y0, x1, y1, colour)

    def outline(self, colour, diagonal=True):
        """Rings the opaque shape with a border so it reads on any taskbar colour."""
        steps = [(-1, 0), (1, 0), (0, -1), (0, 1)]
        if diagonal:
            steps += [(-1, -1), (1, -1), (-1, 1), (1, 1)]
        add = []
        for y in range(self.size):
            for x in range(self.size):
                if self.px[y][x] is not None:
                    continue
                for dx, dy in steps:
                    nx, ny = x + dx, y + dy
                    if 0 <= nx < self.size and 0 <= ny < self.size and self.px[ny][nx] is not None:
                        add.append((x, y))
                        break
        for x, y in add:
            self.px[y][x] = colour

    def art(self, x0, y0, rows, colours):
        """Copies character art; colours maps a character to an index, '.' stays."""
        for dy, row in enumerate(rows):
            for dx, ch in enumerate(row):
                if ch in colours:
                    self.px[y0 + dy][x0 + dx] = colours[ch]


# ---- Shapes, tested at pixel centres ----------------------------------------------------------------

def disc(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def clock_angle(cx, cy, x, y):
    """Degrees clockwise from twelve o'clock."""
    return math.degrees(math.atan2(x - cx, cy - y)) % 360


def ring(cx, cy, r_in, r_out, start=0, end=360):
    """An annulus, limited to the clockwise sweep start..end in degrees."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not (r_in * r_in <= d2 <= r_out * r_out):
            return False
        a = clock_angle(cx, cy, x, y)
        return (a - start) % 360 <= (end - start) % 360 or end - start >= 360
    return inside


def segment(x0, y0, x1, y1, half_width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / float(dx * dx + dy * dy)))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= half_width * half_width
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            (ax, ay), (bx, by) = points[i], points[(i + 1) % n]
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                hit = not hit
        return hit
    return inside


def arrow_head(cx, cy, radius, angle, half_base, length):
    """A triangle at the given clock angle of a circle, pointing clockwise along it."""
    t = math.radians(angle)
    px, py = cx + radius * math.sin(t), cy - radius * math.cos(t)
    rx, ry = math.sin(t), -math.cos(t)      # outward
    tx, ty = math.cos(t), math.sin(t)       # clockwise
    return polygon([(px + rx * half_base, py + ry * half_base),
                    (px - rx * half_base, py - ry * half_base),
                    (px + tx * length, py + ty * length)])


def circular_arrow(c, cx, cy, r_in, r_out, start, end, fill, head_base, head_len):
    c.paint(ring(cx, cy, r_in, r_out, start, end), fill)
    c.paint(arrow_head(cx, cy, (r_in + r_out) / 2, end, head_base, head_len), fill)


# ---- The icons --------------------------------------------------------------------------------------

def icon_shutdown():
    """Icon_1: the red power symbol."""
    c = Canvas(32)
    c.paint(ring(16, 17.5, 8.2, 12.6, 38, 322), RED)
    c.paint(segment(16, 4, 16, 16, 2.1), RED)
    c.outline(MAROON)
    return c


def icon_reboot():
    """Icon_2: a circular arrow going round, as the machine does."""
    c = Canvas(32)
    circular_arrow(c, 16, 17, 7.4, 12.4, 75, 335, GREEN, 7.2, 8.5)
    c.outline(BLACK, diagonal=False)
    return c


def icon_restart():
    """Icon_3: a window with a circular arrow, Windows starting over."""
    c = Canvas(32)
    c.rect(1, 3, 30, 28, BLACK)
    c.rect(2, 4, 29, 8, NAVY)
    c.rect(25, 5, 27, 7, SILVER)
    c.rect(2, 9, 29, 27, WHITE)
    arrow = Canvas(32)
    circular_arrow(arrow, 16, 18.5, 3.7, 7.0, 70, 340, GREEN, 4.6, 4.2)
    for y in range(32):
        for x in range(32):
            if arrow.px[y][x] is not None and 9 <= y <= 27 and 2 <= x <= 29:
                c.px[y][x] = arrow.px[y][x]
    return c


GLYPHS = {
    'C': ["..XXXX", ".XXXXX", "XX....", "XX....", "XX....",
          "XX....", "XX....", "XX....", ".XXXXX", "..XXXX"],
    ':': ["..", "..", "XX", "XX", "..", "..", "XX", "XX", "..", ".."],
    '\\': ["XX...", "XX...", ".X...", ".XX..", "..X..",
           "..XX.", "...X.", "...XX", "....X", "....X"],
    '_': ["....", "....", "....", "....", "....",
          "....", "....", "....", "XXXX", "XXXX"],
}


def icon_dos():
    """Icon_4: a black console box with the C:\\ prompt."""
    c = Canvas(32)
    c.rect(0, 4, 31, 27, GRAY)
    c.frame(0, 4, 31, 27, BLACK)
    c.rect(1, 5, 30, 7, NAVY)
    c.rect(2, 9, 29, 26, BLACK)
    x = 4
    for ch in "C:\\_":
        glyph = GLYPHS[ch]
        c.art(x, 12, glyph, {'X': SILVER if ch != '_' else WHITE})
        x += len(glyph[0]) + 1
    return c


def icon_logoff():
    """Icon_5: a key, handing the machine back."""
    c = Canvas(32)
    c.paint(disc(9, 16, 7.6), YELLOW)
    c.rect(14, 14, 29, 18, YELLOW)
    c.rect(21, 19, 23, 23, YELLOW)
    c.rect(26, 19, 28, 22, YELLOW)
    c.paint(disc(8, 16, 2.6), None)
    c.outline(BLACK, diagonal=False)
    c.paint(disc(8, 16, 2.6), None)
    c.rect(15, 15, 28, 15, WHITE)      # a glint along the shank
    c.paint(ring(9, 16, 5.4, 6.6, 280, 350), WHITE)
    return c


def icon_standby():
    """Icon_6 (16 by 16): a crescent moon with a star, the machine asleep."""
    c = Canvas(16)
    moon = disc(7.5, 8.5, 6.4)
    bite = disc(10.8, 6.2, 5.2)
    c.paint(lambda x, y: moon(x, y) and not bite(x, y), YELLOW)
    c.outline(OLIVE, diagonal=False)
    c.art(11, 10, [".W.", "WWW", ".W."], {'W': WHITE})
    return c


def icon_poweroff():
    """Icon_7: a mains plug, the power taken away."""
    c = Canvas(32)
    c.rect(10, 2, 12, 10, SILVER)                  # prongs
    c.rect(19, 2, 21, 10, SILVER)
    c.rect(6, 11, 25, 21, GRAY)                    # body
    c.rect(7, 12, 24, 13, SILVER)
    c.paint(polygon([(9, 22), (23, 22), (19, 26), (13, 26)]), GRAY)
    c.rect(14, 26, 17, 31, BLACK)                  # cable
    c.outline(BLACK)
    c.rect(10, 2, 12, 2, WHITE)
    c.rect(19, 2, 21, 2, WHITE)
    return c


def icon_timed():
    """Icon_9: a clock face, an exit waiting for its time."""
    c = Canvas(32)
    c.paint(disc(16, 16, 15.2), NAVY)
    c.paint(disc(16, 16, 12.6), WHITE)
    for hour in range(12):
        t = math.radians(hour * 30)
        r0 = 9.8 if hour % 3 == 0 else 11.0
        c.paint(segment(16 + r0 * math.sin(t), 16 - r0 * math.cos(t),
                        16 + 12.0 * math.sin(t), 16 - 12.0 * math.cos(t), 0.8), BLACK)
    c.paint(segment(16, 16, 16, 6, 1.2), BLACK)        # minute hand at twelve
    c.paint(segment(16, 16, 22.5, 19.5, 1.4), BLACK)   # hour hand near four
    c.paint(segment(16, 16, 9, 22, 0.6), RED)
    c.paint(disc(16, 16, 1.6), RED)
    return c


def icon_screensaver():
    """Icon_A: a monitor whose screen shows a starry night."""
    c = Canvas(32)
    c.rect(1, 2, 30, 24, SILVER)
    c.frame(1, 2, 30, 24, BLACK)
    c.rect(4, 5, 27, 20, BLACK)
    c.rect(4, 5, 27, 5, GRAY)
    c.rect(4, 5, 4, 20, GRAY)
    c.rect(13, 25, 18, 26, GRAY)
    c.rect(8, 27, 23, 29, SILVER)
    c.frame(8, 27, 23, 29, BLACK)
    c.rect(13, 25, 13, 26, BLACK)
    c.rect(18, 25, 18, 26, BLACK)
    c.rect(26, 22, 27, 22, LIME)                   # power lamp
    star = {'W': WHITE, 'Y': YELLOW}
    c.art(7, 7, [".Y.", "YWY", ".Y."], star)
    c.art(18, 9, ["..Y..", "..Y..", "YYWYY", "..Y..", "..Y.."], star)
    c.art(11, 15, [".W.", "WWW", ".W."], star)
    for x, y in [(23, 6), (15, 7), (6, 12), (25, 17), (20, 17), (9, 19), (24, 12)]:
        c.px[y][x] = WHITE
    return c


def icon_restart_shell():
    """Icon_B: a folder with a circular arrow, the shell starting again."""
    c = Canvas(32)
    c.rect(1, 6, 11, 8, YELLOW)
    c.rect(1, 9, 26, 25, YELLOW)
    c.rect(2, 10, 25, 10, WHITE)
    c.outline(OLIVE)
    arrow = Canvas(32)
    circular_arrow(arrow, 22, 21.5, 4.0, 7.6, 70, 340, GREEN, 4.9, 4.6)
    arrow.outline(BLACK, diagonal=False)
    for y in range(32):
        for x in range(32):
            if arrow.px[y][x] is not None:
                c.px[y][x] = arrow.px[y][x]
    return c


ICONS = [
    ("icon1.ico", icon_shutdown),
    ("icon2.ico", icon_reboot),
    ("icon3.ico", icon_restart),
    ("icon4.ico", icon_dos),
    ("icon5.ico", icon_logoff),
    ("icon6.ico", icon_standby),
    ("icon7.ico", icon_poweroff),
    ("icon9.ico", icon_timed),
    ("iconA.ico", icon_screensaver),
    ("iconB.ico", icon_restart_shell),
]

# The pointing hand of the about box's links; the fingertip is the hot spot (6, 1).
HAND = [
    ".....KKK........................",
    "....KWWWK.......................",
    "....KWWWK.......................",
    "....KWWWK.......................",
    "....KWWWK.......................",
    "....KWWWK.......................",
    "....KWWWKKKK....................",
    "....KWWWKWWWKKKK................",
    "....KWWWKWWWKWWWKKKK............",
    "....KWWWKWWWKWWWKWWWK...........",
    "KKK.KWWWKWWWKWWWKWWWK...........",
    "KWWKKWWWSWWWSWWWSWWWK...........",
    "KWWWKWWWWWWWWWWWWWWWK...........",
    ".KWWWWWWWWWWWWWWWWWWK...........",
    ".KWWWWWWWWWWWWWWWWWWK...........",
    "..KWWWWWWWWWWWWWWWWWK...........",
    "..KWWWWWWWWWWWWWWWWSK...........",
    "...KWWWWWWWWWWWWWWSK............",
    "....KWWWWWWWWWWWWWSK............",
    "....KWWWWWWWWWWWWSK.............",
    ".....KWWWWWWWWWWWSK.............",
    ".....KWWWWWWWWWWWSK.............",
    ".....KKKKKKKKKKKKKK.............",
] + ["." * 32] * 9
HAND_HOT_SPOT = (6, 1)


def hand_cursor():
    c = Canvas(32)
    c.art(0, 0, HAND, {'K': BLACK, 'W': WHITE, 'S': SILVER})
    return c


# ---- File formats -----------------------------------------------------------------------------------

def dib_4bpp(canvas):
    """BITMAPINFOHEADER, palette, XOR bits and AND mask, bottom-up, as icons and cursors carry them."""
    n = canvas.size
    xor_stride = ((n * 4 + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor, mask = bytearray(), bytearray()
    for y in reversed(range(n)):
        row = bytearray(xor_stride)
        bits = bytearray(and_stride)
        for x in range(n):
            p = canvas.px[y][x]
            if p is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                p = 0
            row[x // 2] |= p << (4 if x % 2 == 0 else 0)
        xor += row
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 0, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in VGA)
    return header + palette + bytes(xor) + bytes(mask)


def ico_file(canvas):
    image = dib_4bpp(canvas)
    n = canvas.size
    return (struct.pack("<HHH", 0, 1, 1)
            + struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(image), 6 + 16)
            + image)


def cur_file(canvas, hot_spot):
    image = dib_4bpp(canvas)
    n = canvas.size
    return (struct.pack("<HHH", 0, 2, 1)
            + struct.pack("<BBBBHHII", n, n, 16, 0, hot_spot[0], hot_spot[1], len(image), 6 + 16)
            + image)


def bmp_file(width, height, pixels, palette):
    """An 8-bit BI_RGB bitmap file with its 256-entry palette."""
    stride = (width + 3) & ~3
    bits = bytearray()
    for y in reversed(range(height)):
        bits += bytes(pixels[y]) + bytes(stride - width)
    palette = list(palette) + [(0, 0, 0)] * (256 - len(palette))
    table = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    offset = 14 + 40 + len(table)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(bits), 2835, 2835, 256, 0)
    return struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset) + info + table + bytes(bits)


# ---- The about-box picture: the sun going down on the session --------------------------------------

def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def gradient(stops, count):
    out = []
    for i in range(count):
        t = i / float(count - 1) * (len(stops) - 1)
        k = min(int(t), len(stops) - 2)
        out.append(lerp(stops[k], stops[k + 1], t - k))
    return out


def garvik_picture():
    width, height, horizon = 80, 140, 92
    palette = list(VGA)
    sky0 = len(palette)
    palette += gradient([(12, 16, 64), (52, 44, 128), (150, 64, 120), (236, 110, 84), (255, 190, 96)], 64)
    sea0 = len(palette)
    palette += gradient([(110, 52, 96), (48, 32, 96), (14, 18, 60)], 64)
    sun0 = len(palette)
    palette += gradient([(255, 246, 170), (255, 200, 80), (250, 120, 50)], 32)
    glint0 = len(palette)
    palette += gradient([(255, 220, 120), (200, 90, 70)], 32)
    hill = len(palette)
    palette += [(34, 16, 48), (58, 28, 70)]

    px = [[0] * width for _ in range(height)]
    for y in range(horizon):
        for x in range(width):
            # ordered dither between neighbouring sky shades, so the bands do not show
            t = (y + ((x * 5 + y * 3) % 4) / 4.0) / horizon * 63
            px[y][x] = sky0 + min(63, int(t))
    for x, y in [(7, 6), (23, 13), (41, 4), (60, 9), (72, 19), (14, 27), (52, 24), (66, 34), (31, 20)]:
        px[y][x] = WHITE
        if (x + y) % 3 == 0:
            for dx, dy in [(-1, 0), (1, 0), (0, -1), (0, 1)]:
                px[y + dy][x + dx] = sky0 + 24
    sun_r = 24
    for y in range(horizon - sun_r, horizon):
        # the lower part of the sun is cut by widening bands
        depth = y - (horizon - sun_r)
        if depth > 10 and (horizon - y) % 5 < max(1, (depth - 10) // 4):
            continue
        for x in range(width):
            d = math.hypot(x + 0.5 - 40, y + 0.5 - horizon)
            if d <= sun_r:
                px[y][x] = sun0 + min(31, int((horizon - 1 - y) / sun_r * 31))
    for x in range(width):
        # low hills on either side of the sun
        left = horizon - 1 - int(9 * math.exp(-((x - 6) / 11.0) ** 2))
        right = horizon - 1 - int(6 * math.exp(-((x - 74) / 9.0) ** 2) + 3 * math.exp(-((x - 60) / 6.0) ** 2))
        for y in range(min(left, right), horizon):
            if y >= left and x < 30 or y >= right and x > 48:
                px[y][x] = hill + (1 if y == min(left, right) else 0)
    for y in range(horizon, height):
        depth = y - horizon
        shade = sea0 + min(63, int(depth / float(height - horizon - 1) * 63))
        half = max(2, int(20 - depth * 0.38))
        for x in range(width):
            px[y][x] = shade
        # the sun's reflection, broken into ripples
        if depth % 3 != 2:
            wobble = int(3 * math.sin(depth * 1.7))
            for x in range(40 - half + wobble, 40 + half + wobble):
                if 0 <= x < width and (x * 7 + depth * 3) % 11 < 8:
                    px[y][x] = glint0 + min(31, depth * 31 // (height - horizon))
    for y in range(height):
        px[y][0] = px[y][width - 1] = BLACK
    for x in range(width):
        px[0][x] = px[height - 1][x] = BLACK
    return width, height, px, palette


# ---- Preview ------------------------------------------------------------------------------------------

def png_file(width, height, rgb_rows):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in rgb_rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def preview(path, canvases, bitmap):
    """A sheet: each picture at 4x on the taskbar grey, 1x on grey and teal, and shrunk to tray size."""
    cell = 140
    width, height = cell * len(canvases), 330
    sheet = [[(160, 160, 160)] * width for _ in range(height)]

    def put(x0, y0, canvas, scale, bg, step=1):
        n = canvas.size
        for y in range(0, n, step):
            for x in range(0, n, step):
                p = canvas.px[y][x]
                colour = VGA[p] if p is not None else bg
                for sy in range(scale):
                    for sx in range(scale):
                        sheet[y0 + (y // step) * scale + sy][x0 + (x // step) * scale + sx] = colour
    for i, c in enumerate(canvases):
        x0 = i * cell + 2
        put(x0, 2, c, 128 // c.size, VGA[SILVER])
        put(x0, 134, c, 1, VGA[SILVER])
        put(x0 + 40, 134, c, 1, VGA[TEAL])
        put(x0 + 80, 134, c, 2, VGA[SILVER], step=max(1, c.size // 16))
    w, h, px, palette = bitmap
    for y in range(h):
        for x in range(w):
            sheet[176 + y][4 + x] = palette[px[y][x]]
    with open(path, "wb") as f:
        f.write(png_file(width, height, sheet))


def main(argv):
    icons = [(name, draw()) for name, draw in ICONS]
    for name, canvas in icons:
        with open(os.path.join(HERE, name), "wb") as f:
            f.write(ico_file(canvas))
    hand = hand_cursor()
    with open(os.path.join(HERE, "hand.cur"), "wb") as f:
        f.write(cur_file(hand, HAND_HOT_SPOT))
    bitmap = garvik_picture()
    with open(os.path.join(HERE, "garvik.bmp"), "wb") as f:
        f.write(bmp_file(*bitmap))
    if len(argv) == 3 and argv[1] == "--preview":
        preview(argv[2], [c for _, c in icons] + [hand], bitmap)
    elif len(argv) != 1:
        sys.stderr.write(__doc__)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
