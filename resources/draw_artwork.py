#!/usr/bin/env python3
"""Draws the installer's artwork into this folder: the two 500x310 background pictures and the icon.

    python3 resources/draw_artwork.py

Standard library only and deterministic: the same script always writes the same bytes.

- background_ready.bmp (resource 101, packed by pack_bitmap.py at build time): dark red gradient, a light-red logo in the upper middle, soft
  hills along the bottom. The title (rows 142-178), the buttons and labels are drawn light over it,
  so everything behind them stays dark.
- background_install.bmp (resource 104, packed the same way): dark red sky with a rocket on the left in rows 1-215, a white
  band from row 216 down to the bottom border, a one-pixel border of RGB(140, 94, 184). The white
  banner text (rows 96-123, from x = 181) needs the dark sky; the black status line (rows 234-254)
  and the progress bar (rows 260-275) need the white band.
- installer.ico (icon 102): 16, 32, 48 and 256 pixels.
"""
import math
import os
import struct
import zlib

WIDTH, HEIGHT = 500, 310
HERE = os.path.dirname(os.path.abspath(__file__))


class Canvas:
    """An RGB picture with alpha-blended shape filling."""

    def __init__(self, width, height, colour=(0, 0, 0), alpha=False):
        self.width, self.height = width, height
        self.pixels = [[list(colour) for _ in range(width)] for _ in range(height)]
        self.alpha = [[1.0 if not alpha else 0.0] * width for _ in range(height)] if alpha else None

    def vertical_gradient(self, top, bottom, colour_top, colour_bottom):
        for y in range(top, bottom + 1):
            t = (y - top) / max(1, bottom - top)
            c = [colour_top[i] + (colour_bottom[i] - colour_top[i]) * t for i in range(3)]
            for x in range(self.width):
                self.pixels[y][x] = list(c)

    def glow(self, cx, cy, radius, colour, strength):
        """Brightens towards colour around (cx, cy), fading out at radius."""
        for y in range(max(0, int(cy - radius)), min(self.height, int(cy + radius) + 1)):
            for x in range(max(0, int(cx - radius)), min(self.width, int(cx + radius) + 1)):
                d = math.hypot(x - cx, y - cy) / radius
                if d < 1.0:
                    self.blend(x, y, colour, strength * (1.0 - d) ** 2)

    def blend(self, x, y, colour, amount):
        if amount <= 0:
            return
        p = self.pixels[y][x]
        for i in range(3):
            p[i] += (colour[i] - p[i]) * amount
        if self.alpha is not None:
            self.alpha[y][x] = self.alpha[y][x] + (1.0 - self.alpha[y][x]) * amount

    def fill(self, inside, box, colour, opacity=1.0, samples=4):
        """Fills the points for which inside(x, y) holds, antialiased by supersampling."""
        x0, y0, x1, y1 = box
        x0, y0 = max(0, int(math.floor(x0))), max(0, int(math.floor(y0)))
        x1, y1 = min(self.width - 1, int(math.ceil(x1))), min(self.height - 1, int(math.ceil(y1)))
        step = 1.0 / samples
        offsets = [(i + 0.5) * step for i in range(samples)]
        total = samples * samples
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                hits = 0
                for oy in offsets:
                    for ox in offsets:
                        if inside(x + ox, y + oy):
                            hits += 1
                if hits:
                    self.blend(x, y, colour, opacity * hits / total)

    def rect(self, x0, y0, x1, y1, colour):
        """Fills the pixels x0..x1, y0..y1 inclusive, without blending."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.pixels[y][x] = list(colour)
                if self.alpha is not None:
                    self.alpha[y][x] = 1.0

    def rgb_rows(self):
        return [[tuple(max(0, min(255, int(round(c)))) for c in p) for p in row] for row in self.pixels]


# Shapes as inside-tests.

def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_outer, r_inner):
    return lambda x, y: r_inner * r_inner <= (x - cx) ** 2 + (y - cy) ** 2 <= r_outer * r_outer


def ellipse(cx, cy, rx, ry, angle=0.0):
    ca, sa = math.cos(angle), math.sin(angle)

    def inside(x, y):
        dx, dy = x - cx, y - cy
        u, v = dx * ca + dy * sa, -dx * sa + dy * ca
        return (u / rx) ** 2 + (v / ry) ** 2 <= 1.0
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        n = len(points)
        for i in range(n):
            (xa, ya), (xb, yb) = points[i], points[(i + 1) % n]
            if (ya > y) != (yb > y) and x < (xb - xa) * (y - ya) / (yb - ya) + xa:
                result = not result
        return result
    return inside


def polyline(points, width):
    half = width / 2.0

    def inside(x, y):
        for (xa, ya), (xb, yb) in zip(points, points[1:]):
            dx, dy = xb - xa, yb - ya
            t = max(0.0, min(1.0, ((x - xa) * dx + (y - ya) * dy) / (dx * dx + dy * dy)))
            if math.hypot(x - xa - t * dx, y - ya - t * dy) <= half:
                return True
        return False
    return inside


def rounded_square(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def bounds(points, margin=1.0):
    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)


def transform(points, cx, cy, angle, scale=1.0):
    ca, sa = math.cos(angle), math.sin(angle)
    return [(cx + scale * (x * ca - y * sa), cy + scale * (x * sa + y * ca)) for x, y in points]


# The product logo: a ring around a rising chart line that ends in an arrow head. Coordinates are
# relative to the centre and scaled by r.

def draw_logo(canvas, cx, cy, r, colour, samples=4):
    box = (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1)
    canvas.fill(ring(cx, cy, r, r * 0.80), box, colour, samples=samples)
    line = [(-0.55, 0.35), (-0.2, 0.0), (0.05, 0.22), (0.42, -0.22)]
    line = [(cx + x * r, cy + y * r) for x, y in line]
    canvas.fill(polyline(line, max(1.6, r * 0.16)), bounds(line, r * 0.2), colour, samples=samples)
    head = [(0.58, -0.40), (0.22, -0.30), (0.50, -0.04)]
    head = [(cx + x * r, cy + y * r) for x, y in head]
    canvas.fill(polygon(head), bounds(head), colour, samples=samples)


# Picture 101: the welcome and finished pages.

def draw_ready():
    c = Canvas(WIDTH, HEIGHT)
    c.vertical_gradient(0, HEIGHT - 1, (122, 16, 20), (62, 6, 10))
    c.glow(250, 82, 150, (150, 30, 34), 0.55)
    draw_logo(c, 250, 82, 40, (244, 138, 138))

    def hill(base, amplitude, period, phase):
        return lambda x, y: y >= base + amplitude * math.sin(2 * math.pi * x / period + phase)

    c.fill(hill(262, 14, 420, 0.6), (0, 240, WIDTH, HEIGHT), (84, 11, 16), samples=3)
    c.fill(hill(284, 10, 300, 2.4), (0, 268, WIDTH, HEIGHT), (56, 6, 10), samples=3)
    c.fill(hill(298, 6, 230, 4.1), (0, 288, WIDTH, HEIGHT), (44, 4, 8), samples=3)
    return c


# Picture 104: the installing and failure pages.

def draw_install():
    border = (140, 94, 184)
    c = Canvas(WIDTH, HEIGHT, (255, 255, 255))
    c.vertical_gradient(1, 215, (108, 14, 18), (66, 7, 11))
    # Stars: a fixed pseudo-random scatter away from the banner's text.
    seed = 12345
    for _ in range(70):
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        x = 2 + seed % (WIDTH - 4)
        seed = (seed * 1103515245 + 12345) & 0x7FFFFFFF
        y = 2 + seed % 205
        if 176 <= x <= 466 and 90 <= y <= 129:
            continue
        c.blend(x, y, (255, 214, 214), 0.35 + (seed % 40) / 100.0)

    # The rocket flies up and to the right, its exhaust trailing down to the left.
    angle = math.radians(45)
    cx, cy = 92, 112
    for i, (dist, rad, shade) in enumerate([(58, 15, 0.20), (72, 12, 0.16), (84, 9, 0.12), (94, 6, 0.08)]):
        px, py = transform([(0.0, dist)], cx, cy, angle)[0]
        c.fill(circle(px, py, rad), (px - rad, py - rad, px + rad, py + rad), (230, 190, 190), opacity=shade * 2)
    flame_outer = transform([(-9, 26), (0, 58), (9, 26)], cx, cy, angle)
    c.fill(polygon(flame_outer), bounds(flame_outer), (255, 140, 40))
    flame_inner = transform([(-5, 26), (0, 44), (5, 26)], cx, cy, angle)
    c.fill(polygon(flame_inner), bounds(flame_inner), (255, 226, 120))
    fins = transform([(-13, 10), (-24, 32), (-9, 26)], cx, cy, angle)
    c.fill(polygon(fins), bounds(fins), (214, 52, 52))
    fins = transform([(13, 10), (24, 32), (9, 26)], cx, cy, angle)
    c.fill(polygon(fins), bounds(fins), (214, 52, 52))
    body = transform([(0, -46), (9, -34), (13, -16), (13, 26), (-13, 26), (-13, -16), (-9, -34)], cx, cy, angle)
    c.fill(polygon(body), bounds(body), (238, 238, 242))
    nose = transform([(0, -46), (9, -34), (-9, -34)], cx, cy, angle)
    c.fill(polygon(nose), bounds(nose), (214, 52, 52))
    wx, wy = transform([(0, -12)], cx, cy, angle)[0]
    c.fill(circle(wx, wy, 7), (wx - 8, wy - 8, wx + 8, wy + 8), (120, 20, 26))
    c.fill(circle(wx, wy, 5), (wx - 6, wy - 6, wx + 6, wy + 6), (150, 200, 235))
    stripe = transform([(-13, 14), (13, 14), (13, 19), (-13, 19)], cx, cy, angle)
    c.fill(polygon(stripe), bounds(stripe), (214, 52, 52))

    # The white band, then the border around the whole picture.
    c.rect(1, 216, WIDTH - 2, HEIGHT - 2, (255, 255, 255))
    c.rect(0, 0, WIDTH - 1, 0, border)
    c.rect(0, HEIGHT - 1, WIDTH - 1, HEIGHT - 1, border)
    c.rect(0, 0, 0, HEIGHT - 1, border)
    c.rect(WIDTH - 1, 0, WIDTH - 1, HEIGHT - 1, border)
    return c


# Icon 102.

def draw_icon(size):
    c = Canvas(size, size, (0, 0, 0), alpha=True)
    s = size
    samples = 4 if size >= 48 else 6
    inset = 0.5 if size <= 16 else s * 0.04
    c.fill(rounded_square(inset, inset, s - inset, s - inset, s * 0.2), (0, 0, s, s), (178, 26, 30),
           samples=samples)
    # A darker lower half gives the square the same gradient as the pictures.
    for y in range(s // 2, s):
        for x in range(s):
            if c.alpha[y][x] > 0:
                p = c.pixels[y][x]
                t = (y - s / 2) / (s / 2) * 0.35
                for i in range(3):
                    p[i] *= 1.0 - t
    draw_logo(c, s / 2, s / 2, s * 0.36, (255, 236, 236), samples=samples)
    return c


# File writers.

def bmp_bytes(canvas):
    rows = canvas.rgb_rows()
    stride = (canvas.width * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r))
        line += b"\0" * (stride - len(line))
        data += line
    header = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(data), 0, 0, 14 + len(header))
    return file_header + header + bytes(data)


def bgra_rows(canvas):
    rgb = canvas.rgb_rows()
    out = []
    for y in range(canvas.height):
        out.append([(b, g, r, max(0, min(255, int(round(canvas.alpha[y][x] * 255)))))
                    for x, (r, g, b) in enumerate(rgb[y])])
    return out


def icon_dib(canvas):
    rows = bgra_rows(canvas)
    size = canvas.width
    xor = bytearray()
    for row in reversed(rows):
        for b, g, r, a in row:
            xor += bytes((b, g, r, a))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + bytes(xor) + bytes(mask)


def png_bytes(canvas):
    rows = bgra_rows(canvas)
    raw = bytearray()
    for row in rows:
        raw.append(0)
        for b, g, r, a in row:
            raw += bytes((r, g, b, a))

    def chunk(kind, payload):
        return (struct.pack(">I", len(payload)) + kind + payload +
                struct.pack(">I", zlib.crc32(kind + payload) & 0xFFFFFFFF))

    ihdr = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def ico_bytes(images):
    """images: (size, bytes) pairs; 256 is stored as PNG, the others as DIBs."""
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for size, blob in images:
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset)
        blobs += blob
        offset += len(blob)
    return header + entries + blobs


def write(name, data):
    with open(os.path.join(HERE, name), "wb") as f:
        f.write(data)


def main():
    write("background_ready.bmp", bmp_bytes(draw_ready()))
    write("background_install.bmp", bmp_bytes(draw_install()))
    images = []
    for size in (16, 32, 48, 256):
        canvas = draw_icon(size)
        images.append((size, png_bytes(canvas) if size == 256 else icon_dib(canvas)))
    write("installer.ico", ico_bytes(images))


if __name__ == "__main__":
    main()
