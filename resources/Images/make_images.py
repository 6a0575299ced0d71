#!/usr/bin/env python3
"""Draws the wizard's pictures, badges and loader animation (PNG and GIF, stdlib only).

Run from anywhere: writes next to this script. The results are committed; run it again after
changing a drawing. Shapes are filled with 4x4 supersampling for smooth edges.
"""
import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

DARK = (47, 49, 50)
RED = (255, 41, 71)
WHITE = (255, 255, 255)
TEAL = (0, 234, 204)

SS = 4  # samples per pixel along each axis


# ---- shapes: each is (bbox, inside(x, y) -> bool) in pixel coordinates --------------------

def rect(x0, y0, x1, y1, r=0.0):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        if r <= 0:
            return True
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return ((x0, y0, x1, y1), inside)


def circle(cx, cy, r):
    return ((cx - r, cy - r, cx + r, cy + r), lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r)


def ring(cx, cy, r_out, r_in, gap_from=None, gap_to=None):
    """A ring, optionally with a gap between two angles (degrees, 0 = up, clockwise)."""
    def inside(x, y):
        d = (x - cx) ** 2 + (y - cy) ** 2
        if d > r_out * r_out or d < r_in * r_in:
            return False
        if gap_from is None:
            return True
        a = math.degrees(math.atan2(x - cx, cy - y)) % 360
        return not (gap_from <= a <= gap_to or gap_from <= a + 360 <= gap_to)
    return ((cx - r_out, cy - r_out, cx + r_out, cy + r_out), inside)


def line(x0, y0, x1, y1, w):
    """A stroke with round caps."""
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy or 1e-9
    h = w / 2.0

    def inside(x, y):
        t = ((x - x0) * dx + (y - y0) * dy) / length2
        t = min(max(t, 0.0), 1.0)
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= h * h
    return ((min(x0, x1) - h, min(y0, y1) - h, max(x0, x1) + h, max(y0, y1) + h), inside)


def polygon(points):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]

    def inside(x, y):
        c = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                c = not c
            j = i
        return c
    return ((min(xs), min(ys), max(xs), max(ys)), inside)


def outline(shape_outer, shape_inner):
    (bbox, a), (_, b) = shape_outer, shape_inner
    return (bbox, lambda x, y: a(x, y) and not b(x, y))


# ---- canvas -------------------------------------------------------------------------------

class Canvas:
    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        bg = (background + (255,)) if background else (0, 0, 0, 0)
        self.px = [list(bg) for _ in range(w * h)]

    def fill(self, shape, colour, alpha=1.0):
        (x0, y0, x1, y1), inside = shape
        for py in range(max(0, int(y0) - 1), min(self.h, int(y1) + 2)):
            for px in range(max(0, int(x0) - 1), min(self.w, int(x1) + 2)):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                            hits += 1
                if hits:
                    self.blend(px, py, colour, alpha * hits / (SS * SS))

    def blend(self, x, y, colour, a):
        p = self.px[y * self.w + x]
        da = p[3] / 255.0
        out_a = a + da * (1 - a)
        if out_a <= 0:
            return
        for i in range(3):
            p[i] = int(round((colour[i] * a + p[i] * da * (1 - a)) / out_a))
        p[3] = int(round(out_a * 255))

    def png(self, path):
        raw = bytearray()
        for y in range(self.h):
            raw.append(0)
            for x in range(self.w):
                raw.extend(self.px[y * self.w + x])

        def chunk(kind, data):
            c = struct.pack(">I", len(data)) + kind + data
            return c + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        data = b"\x89PNG\r\n\x1a\n"
        data += chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        data += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
        data += chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(data)


# ---- drawings -----------------------------------------------------------------------------

def keyboard(c, col, ox=0, oy=0, scale=1.0):
    s = scale
    def R(x0, y0, x1, y1, r=0):
        return rect(ox + x0 * s, oy + y0 * s, ox + x1 * s, oy + y1 * s, r * s)
    c.fill(outline(R(8, 36, 116, 92, 8), R(13, 41, 111, 87, 4)), col)
    for row in range(3):
        for k in range(8):
            x = 19 + k * 11.5
            y = 47 + row * 11
            c.fill(R(x, y, x + 7.5, y + 7), col)
    c.fill(R(36, 80, 88, 84, 2), col)


def mouse(c, col, ox=0, oy=0, scale=1.0):
    s = scale
    def R(x0, y0, x1, y1, r=0):
        return rect(ox + x0 * s, oy + y0 * s, ox + x1 * s, oy + y1 * s, r * s)
    c.fill(outline(R(36, 16, 88, 108, 26), R(41, 21, 83, 103, 21)), col)
    c.fill(R(40, 54, 84, 58), col)
    c.fill(R(60, 20, 64, 56), col)
    c.fill(R(57, 30, 67, 46, 5), col)


def receiver(c, col):
    c.fill(outline(rect(40, 18, 84, 52, 4), rect(45, 23, 79, 47, 1)), col)
    c.fill(rect(52, 30, 58, 38), col)
    c.fill(rect(66, 30, 72, 38), col)
    c.fill(rect(36, 52, 88, 106, 10), col)
    c.fill(circle(62, 80, 7), TEAL if col == DARK else DARK)


def power(c, col):
    c.fill(ring(62, 66, 38, 30, 330, 390), col)
    c.fill(line(62, 20, 62, 62, 9), col)


def battery(c, col, level_col):
    c.fill(outline(rect(14, 38, 102, 86, 8), rect(20, 44, 96, 80, 4)), col)
    c.fill(rect(102, 52, 112, 72, 3), col)
    c.fill(rect(26, 50, 40, 74, 2), level_col)


def waves(c, col, cx, cy):
    for r in (14, 24):
        c.fill(ring(cx, cy, r, r - 4, 60, 300), col)


def gear(c, col):
    for i in range(8):
        a = math.radians(i * 45)
        c.fill(line(62 + 30 * math.sin(a), 62 - 30 * math.cos(a),
                    62 + 46 * math.sin(a), 62 - 46 * math.cos(a), 14), col)
    c.fill(ring(62, 62, 36, 16), col)


def tick_badge(c):
    c.fill(circle(29, 29, 27), DARK)
    c.fill(line(16, 30, 25, 39, 6), WHITE)
    c.fill(line(25, 39, 42, 20, 6), WHITE)


def cross_badge(c):
    c.fill(circle(29, 29, 27), RED)
    c.fill(line(19, 19, 39, 39, 6), WHITE)
    c.fill(line(39, 19, 19, 39, 6), WHITE)


def one_badge(c):
    c.fill(circle(29, 29, 27), DARK)
    c.fill(polygon([(24, 20), (31, 14), (35, 14), (35, 42), (40, 42), (40, 46),
                    (22, 46), (22, 42), (29, 42), (29, 21), (26, 24)]), WHITE)


def save(name, draw, size=124, background=None):
    c = Canvas(size, size, background)
    draw(c)
    c.png(os.path.join(HERE, name))


# ---- GIF (LZW, one global palette, looping) -----------------------------------------------

def lzw(indices, min_size):
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, bits, nbits = bytearray(), 0, 0
    size = min_size + 1

    def emit(code):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += size
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    nxt = end + 1
    emit(clear)
    w = ()
    for k in indices:
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w])
        if nxt < 4096:
            table[wk] = nxt
            nxt += 1
            if nxt > (1 << size) and size < 12:
                size += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            nxt = end + 1
            size = min_size + 1
        w = (k,)
    if w:
        emit(table[w])
    emit(end)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


# The loader's ring holds the progress text, which the window centres on (175, 300), 8 px right of
# the picture's centre: in picture coordinates its ink spans x 37..102 and y 38..70 for every
# value from 0% to 99% at 40 px Lato. The ring is centred on that ink and clears it by 4 px.
LOADER_CENTRE = (70, 54)
LOADER_RADIUS = 46


def loader_gif(path, size=124, frames=12):
    dots = 12
    cx, cy = LOADER_CENTRE
    palette = [TEAL]
    shades = []
    for i in range(dots):
        t = i / (dots - 1)
        shades.append(tuple(int(TEAL[j] + (DARK[j] - TEAL[j]) * (0.15 + 0.85 * t)) for j in range(3)))
    palette += shades
    while len(palette) < 16:
        palette.append((0, 0, 0))
    images = []
    for f in range(frames):
        c = Canvas(size, size, TEAL)
        for d in range(dots):
            a = 2 * math.pi * (d / dots + f / frames)
            shade = shades[d]
            c.fill(circle(cx + LOADER_RADIUS * math.sin(a), cy - LOADER_RADIUS * math.cos(a),
                          2.5 + 3 * d / (dots - 1)), shade)
        # map each pixel to the nearest palette entry
        idx = []
        for p in c.px:
            best, bd = 0, 1 << 30
            for i, q in enumerate(palette[:dots + 1]):
                dd = (p[0] - q[0]) ** 2 + (p[1] - q[1]) ** 2 + (p[2] - q[2]) ** 2
                if dd < bd:
                    best, bd = i, dd
            idx.append(best)
        images.append(idx)

    out = bytearray(b"GIF89a")
    out += struct.pack("<HHBBB", size, size, 0xF3, 0, 0)  # global table of 16 colours
    for col in palette:
        out += bytes(col)
    out += b"\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00"
    for idx in images:
        out += b"\x21\xF9\x04\x00" + struct.pack("<H", 8) + b"\x00\x00"
        out += b"\x2C" + struct.pack("<HHHHB", 0, 0, size, size, 0)
        data = lzw(idx, 4)
        out.append(4)
        for i in range(0, len(data), 255):
            block = data[i:i + 255]
            out.append(len(block))
            out += block
        out.append(0)
    out += b"\x3B"
    with open(path, "wb") as f:
        f.write(out)


def main():
    save("welcome.png", lambda c: (keyboard(c, DARK, -4, 28, 0.68), mouse(c, DARK, 64, 40, 0.55),
                                   c.fill(line(62, 16, 62, 40, 6), DARK),
                                   c.fill(polygon([(50, 24), (62, 8), (74, 24)]), DARK)))
    save("keyboard.png", lambda c: keyboard(c, DARK))
    save("mouse.png", lambda c: mouse(c, DARK))
    save("receiver.png", lambda c: receiver(c, DARK))
    save("options.png", lambda c: (keyboard(c, DARK, -2, 12, 0.72), mouse(c, DARK, 64, 34, 0.5)))
    save("wakeUpKeyboard.png", lambda c: (keyboard(c, DARK, 0, 14, 1.0), waves(c, DARK, 62, 34)))
    save("wakeUpMouse.png", lambda c: (mouse(c, DARK, 10, 12, 0.85), waves(c, DARK, 98, 26)))
    save("turnOffAndOn.png", lambda c: power(c, DARK))
    save("batteryLow.png", lambda c: battery(c, DARK, RED))
    save("keyboardError.png", lambda c: keyboard(c, RED))
    save("mouseError.png", lambda c: mouse(c, RED))
    save("receiverError.png", lambda c: receiver(c, RED))
    save("settings.png", lambda c: gear(c, DARK))
    save("one.png", one_badge, 58)
    save("tick.png", tick_badge, 58)
    save("crossRed.png", cross_badge, 58)
    loader_gif(os.path.join(HERE, "loader.gif"))


if __name__ == "__main__":
    main()
