#!/usr/bin/env python3
"""Draws the project's own artwork (no imaging library), which every product
whose art/ folder lacks a picture gets; the demo product はなまる家計簿 uses it:
image1.bmp  the tall 24-bit picture on the left of every wizard page (125 x 246)
image2.ico  the 16-colour page icon beside the titles (32 x 32)
program.ico the program's own icon (16, 32 and 48 pixels, 32-bit)
Run it in this folder; it overwrites the three files."""
import math
import struct

SS = 4  # supersampling per axis


class Canvas:
    def __init__(self, w, h, bg=(0, 0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[list(bg) for _ in range(w)] for _ in range(h)]

    def fill(self, inside, color):
        """Paints every pixel by the fraction of its subsamples where inside(x, y) holds."""
        r, g, b = color[:3]
        a = color[3] if len(color) > 3 else 255
        for y in range(self.h):
            for x in range(self.w):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                if hits:
                    self.blend(x, y, (r, g, b), a * hits / (SS * SS) / 255)

    def blend(self, x, y, rgb, alpha):
        p = self.px[y][x]
        da = p[3] / 255
        oa = alpha + da * (1 - alpha)
        if oa <= 0:
            return
        for i in range(3):
            p[i] = round((rgb[i] * alpha + p[i] * da * (1 - alpha)) / oa)
        p[3] = round(oa * 255)


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r0, r1):
    return lambda x, y: r0 * r0 <= (x - cx) ** 2 + (y - cy) ** 2 <= r1 * r1


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def rounded(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def thick_polyline(points, width):
    def dist(px, py, ax, ay, bx, by):
        dx, dy = bx - ax, by - ay
        t = max(0, min(1, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy or 1)))
        return math.hypot(px - ax - t * dx, py - ay - t * dy)
    segs = list(zip(points, points[1:]))
    x0 = min(p[0] for p in points) - width
    x1 = max(p[0] for p in points) + width
    y0 = min(p[1] for p in points) - width
    y1 = max(p[1] for p in points) + width
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        return any(dist(x, y, *a, *b) <= width / 2 for a, b in segs)
    return inside


def spiral(cx, cy, r, turns=2.2):
    pts = []
    n = 60
    for i in range(n + 1):
        t = i / n
        ang = -math.pi / 2 + t * turns * 2 * math.pi
        rr = r * (0.15 + 0.85 * t)
        pts.append((cx + rr * math.cos(ang), cy + rr * math.sin(ang)))
    return pts


def hanamaru(c, cx, cy, r, red=(214, 40, 50), stroke=None):
    """The teacher's flower circle: a spiral ringed with rounded petals."""
    stroke = stroke or max(1.2, r * 0.16)
    petals = 8
    for i in range(petals):
        a = i * 2 * math.pi / petals
        px, py = cx + r * 1.12 * math.cos(a), cy + r * 1.12 * math.sin(a)
        c.fill(ring(px, py, r * 0.32 - stroke / 2, r * 0.32 + stroke / 2), red)
    c.fill(circle(cx, cy, r * 1.0), (255, 250, 240))
    c.fill(thick_polyline(spiral(cx, cy, r * 0.85), stroke), red)


def yen(c, cx, cy, s, color):
    w = s * 0.16
    c.fill(thick_polyline([(cx - s * 0.4, cy - s * 0.5), (cx, cy)], w), color)
    c.fill(thick_polyline([(cx + s * 0.4, cy - s * 0.5), (cx, cy)], w), color)
    c.fill(thick_polyline([(cx, cy), (cx, cy + s * 0.55)], w), color)
    c.fill(thick_polyline([(cx - s * 0.3, cy + s * 0.08), (cx + s * 0.3, cy + s * 0.08)], w * 0.8), color)
    c.fill(thick_polyline([(cx - s * 0.3, cy + s * 0.3), (cx + s * 0.3, cy + s * 0.3)], w * 0.8), color)


def coin(c, cx, cy, r):
    c.fill(circle(cx, cy, r), (196, 150, 40))
    c.fill(circle(cx, cy, r * 0.86), (240, 200, 80))
    yen(c, cx, cy, r * 1.0, (170, 120, 20))


def book(c, x0, y0, x1, y1, cover=(40, 130, 120)):
    c.fill(rounded(x0 + 3, y0 + 3, x1 + 3, y1 + 3, 4), (0, 0, 0, 60))  # shadow
    c.fill(rounded(x0, y0, x1, y1, 4), cover)
    c.fill(rect(x0 + 5, y0 + 4, x1 - 3, y1 - 4), (255, 253, 245))
    c.fill(rect(x0, y0, x0 + 5, y1), tuple(max(0, v - 35) for v in cover))
    step = 7
    y = y0 + 14
    while y < y1 - 8:
        c.fill(rect(x0 + 9, y, x1 - 7, y + 0.8), (150, 190, 210))
        y += step
    c.fill(rect(x0 + 26, y0 + 8, x0 + 26.8, y1 - 6), (230, 120, 120))


def image1():
    w, h = 125, 246
    c = Canvas(w, h, (0, 0, 0, 255))
    top, bottom = (255, 248, 228), (250, 208, 196)
    for y in range(h):
        t = y / (h - 1)
        col = [round(top[i] * (1 - t) + bottom[i] * t) for i in range(3)]
        for x in range(w):
            c.px[y][x] = col + [255]
    # soft dots of a wallpaper
    for i in range(14):
        cx = (i * 37) % w
        cy = (i * 53) % h
        c.fill(circle(cx, cy, 5 + i % 4), (255, 255, 255, 90))
    hanamaru(c, 62, 52, 26)
    book(c, 22, 100, 104, 196)
    for cx, cy, r in ((30, 214, 12), (58, 222, 11), (88, 212, 13)):
        coin(c, cx, cy, r)
    return c


def image2():
    c = Canvas(32, 32)
    hanamaru(c, 16, 16, 11, stroke=2.2)
    return c


def program_icon(size):
    c = Canvas(size, size)
    s = size / 32
    book(c, 3 * s, 2 * s, 24 * s, 29 * s, cover=(30, 120, 170))
    coin(c, 23 * s, 22 * s, 7.5 * s)
    return c


def write_bmp24(c, path):
    row = (c.w * 3 + 3) & ~3
    data = bytearray()
    for y in range(c.h - 1, -1, -1):
        line = bytearray()
        for x in range(c.w):
            r, g, b, _ = c.px[y][x]
            line += bytes((b, g, r))
        line += b"\0" * (row - len(line))
        data += line
    header = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    open(path, "wb").write(header + info + data)


# The 16 colours of the page icon: the standard palette, so it looks right
# everywhere a 16-colour icon is drawn.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
       (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def nearest(rgb):
    return min(range(16), key=lambda i: sum((rgb[k] - VGA[i][k]) ** 2 for k in range(3)))


def ico_entry_4bpp(c):
    xor = bytearray()
    mask = bytearray()
    for y in range(c.h - 1, -1, -1):
        nib = []
        bits = []
        for x in range(c.w):
            r, g, b, a = c.px[y][x]
            opaque = a >= 128
            nib.append(nearest((r, g, b)) if opaque else 0)
            bits.append(0 if opaque else 1)
        for i in range(0, c.w, 2):
            xor.append((nib[i] << 4) | nib[i + 1])
        line = bytearray()
        for i in range(0, c.w, 8):
            byte = 0
            for k in range(8):
                byte = (byte << 1) | bits[i + k]
            line.append(byte)
        line += b"\0" * ((4 - len(line) % 4) % 4)
        mask += line
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in VGA)
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    return info + palette + xor + mask, 16, 4


def ico_entry_32bpp(c):
    xor = bytearray()
    mask = bytearray()
    for y in range(c.h - 1, -1, -1):
        bits = []
        for x in range(c.w):
            r, g, b, a = c.px[y][x]
            xor += bytes((b, g, r, a))
            bits.append(0 if a >= 128 else 1)
        line = bytearray()
        for i in range(0, c.w, 8):
            byte = 0
            for k in range(8):
                byte = (byte << 1) | (bits[i + k] if i + k < c.w else 1)
            line.append(byte)
        line += b"\0" * ((4 - len(line) % 4) % 4)
        mask += line
    info = struct.pack("<IiiHHIIiiII", 40, c.w, c.h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask, 0, 32


def write_ico(entries, sizes, path):
    out = struct.pack("<HHH", 0, 1, len(entries))
    offset = 6 + 16 * len(entries)
    body = b""
    for (data, colors, bpp), size in zip(entries, sizes):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colors, 0, 1, bpp, len(data), offset)
        offset += len(data)
        body += data
    open(path, "wb").write(out + body)


if __name__ == "__main__":
    write_bmp24(image1(), "image1.bmp")
    write_ico([ico_entry_4bpp(image2())], [32], "image2.ico")
    sizes = [16, 32, 48]
    write_ico([ico_entry_32bpp(program_icon(s)) for s in sizes], sizes, "program.ico")
