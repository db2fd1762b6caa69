#!/usr/bin/env python3
"""Draws the four fallback icons vx-0.png to vx-3.png into ../res.

They stand in for a program whose own icon cannot be read: 0 a program window,
1 a startup program (a window with a start arrow), 2 a scheduled task (a clock),
3 a service (a gear). 32 x 32 RGBA so that they stay sharp at 200 % of the 16 px
list icon, drawn with 4 x 4 supersampling and compressed to a few hundred bytes.
The PNG files are committed, so the build does not need Python; run this again
only to change the pictures. Standard library only; the output is deterministic.
"""
import math
import os
import struct
import zlib

SIZE = 32
SAMPLES = 4

BLUE = (0x3D, 0x84, 0xDD)
DARK = (0x55, 0x5F, 0x6D)
GREEN = (0x2E, 0xA0, 0x43)
WHITE = (0xFF, 0xFF, 0xFF)


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        dx = max(x0 + r - x, 0, x - (x1 - r))
        dy = max(y0 + r - y, 0, y - (y1 - r))
        return x0 <= x <= x1 and y0 <= y <= y1 and dx * dx + dy * dy <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r_out, r_in):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def segment(ax, ay, bx, by, half_width):
    def inside(x, y):
        vx, vy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * vx + (y - ay) * vy) / (vx * vx + vy * vy)))
        px, py = ax + t * vx - x, ay + t * vy - y
        return px * px + py * py <= half_width * half_width
    return inside


def triangle(ax, ay, bx, by, cx, cy):
    def side(px, py, qx, qy, x, y):
        return (qx - px) * (y - py) - (qy - py) * (x - px)
    def inside(x, y):
        s = [side(ax, ay, bx, by, x, y), side(bx, by, cx, cy, x, y), side(cx, cy, ax, ay, x, y)]
        return all(v >= 0 for v in s) or all(v <= 0 for v in s)
    return inside


def gear(cx, cy, r_body, r_tooth, teeth, r_hole):
    def inside(x, y):
        dx, dy = x - cx, y - cy
        d = math.hypot(dx, dy)
        if d < r_hole:
            return False
        angle = (math.atan2(dy, dx) / (2 * math.pi) * teeth) % 1.0
        return d <= (r_tooth if 0.25 <= angle < 0.75 else r_body)
    return inside


def window(layers, frame=BLUE):
    layers.append((rounded_rect(3, 5, 29, 27, 3), frame))
    layers.append((rounded_rect(5, 10, 27, 25, 1), WHITE))


def picture(index):
    layers = []  # (shape, colour), painted in order
    if index == 0:
        window(layers)
        layers.append((rounded_rect(8, 13, 18, 15, 0.5), DARK))
        layers.append((rounded_rect(8, 18, 22, 20, 0.5), DARK))
    elif index == 1:
        window(layers)
        layers.append((circle(16, 17.5, 6), GREEN))
        layers.append((triangle(14, 14.5, 14, 20.5, 19.5, 17.5), WHITE))
    elif index == 2:
        layers.append((circle(16, 16, 13), BLUE))
        layers.append((circle(16, 16, 10.5), WHITE))
        layers.append((segment(16, 16, 16, 8.5, 1.2), DARK))
        layers.append((segment(16, 16, 21, 18.5, 1.2), DARK))
    else:
        layers.append((gear(16, 16, 10, 13.5, 8, 4.5), DARK))
    return layers


def render(layers):
    rows = []
    for py in range(SIZE):
        row = bytearray([0])  # filter type: none
        for px in range(SIZE):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = px + (sx + 0.5) / SAMPLES
                    y = py + (sy + 0.5) / SAMPLES
                    colour = None
                    for shape, c in layers:
                        if shape(x, y):
                            colour = c
                    if colour:
                        for i in range(3):
                            acc[i] += colour[i]
                        acc[3] += 1
            n = acc[3]
            if n:
                row += bytes(round(acc[i] / n) for i in range(3)) + bytes([round(255 * n / SAMPLES ** 2)])
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return b"".join(rows)


def png(raw):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    header = struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "res")
    for index in range(4):
        with open(os.path.join(out, "vx-%d.png" % index), "wb") as f:
            f.write(png(render(picture(index))))


if __name__ == "__main__":
    main()
