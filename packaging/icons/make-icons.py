#!/usr/bin/env python3
# SPDX-FileCopyrightText: The Tallimor authors
# SPDX-License-Identifier: GPL-3.0-or-later
"""Draws the Tallimor application icon: a memo page with a padlock.

Writes tallimor.svg and tallimor-48.png, tallimor-128.png beside this script. The
PNGs are rasterised here from the same shapes (4x4 supersampling, standard library
only), so the icons need no drawing program. Run it again after changing a shape.
"""
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# Shapes on a 128x128 canvas, painted in order: (kind, geometry, RGBA colour).
# kind "rect": (x, y, w, h, corner radius); kind "ring": (cx, cy, outer r, inner r),
# upper half only (the padlock's shackle).
SHAPES = [
    ("rect", (18, 8, 80, 108, 8), (0x3a, 0x4a, 0x5c, 255)),   # page shadow/outline
    ("rect", (21, 11, 74, 102, 6), (0xfb, 0xf6, 0xe4, 255)),  # page
    ("rect", (31, 28, 54, 5, 2), (0x8a, 0x9b, 0xad, 255)),    # text lines
    ("rect", (31, 42, 54, 5, 2), (0x8a, 0x9b, 0xad, 255)),
    ("rect", (31, 56, 40, 5, 2), (0x8a, 0x9b, 0xad, 255)),
    ("ring", (88, 82, 17, 10), (0x5c, 0x64, 0x6e, 255)),      # shackle
    ("rect", (64, 80, 48, 38, 6), (0xd9, 0x9a, 0x1e, 255)),   # lock body
    ("rect", (85, 90, 6, 16, 3), (0x5a, 0x3a, 0x08, 255)),    # keyhole
]


def covers(kind, g, x, y):
    if kind == "rect":
        rx, ry, w, h, r = g
        if not (rx <= x < rx + w and ry <= y < ry + h):
            return False
        # Round the corners: distance to the nearest corner centre.
        cx = min(max(x, rx + r), rx + w - r)
        cy = min(max(y, ry + r), ry + h - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    cx, cy, outer, inner = g
    d2 = (x - cx) ** 2 + (y - cy) ** 2
    return y <= cy and inner * inner <= d2 <= outer * outer


def render(size, samples=4):
    scale = 128.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    colour = (0, 0, 0, 0)
                    for kind, g, c in SHAPES:
                        if covers(kind, g, x, y):
                            colour = c
                    a = colour[3] / 255.0
                    for i in range(3):
                        acc[i] += colour[i] * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                rgb = [round(acc[i] / acc[3]) for i in range(3)]
            else:
                rgb = [0, 0, 0]
            row += bytes(rgb + [round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def write_png(path, size, rows):
    def chunk(tag, data):
        body = tag + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = b"".join(b"\x00" + r for r in rows)
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def write_svg(path):
    parts = ['<svg xmlns="http://www.w3.org/2000/svg" width="128" height="128" '
             'viewBox="0 0 128 128">']
    for kind, g, c in SHAPES:
        fill = "#%02x%02x%02x" % c[:3]
        if kind == "rect":
            x, y, w, h, r = g
            parts.append(f'  <rect x="{x}" y="{y}" width="{w}" height="{h}" rx="{r}" fill="{fill}"/>')
        else:
            cx, cy, outer, inner = g
            parts.append(
                f'  <path d="M {cx - outer} {cy} A {outer} {outer} 0 0 1 {cx + outer} {cy} '
                f'L {cx + inner} {cy} A {inner} {inner} 0 0 0 {cx - inner} {cy} Z" fill="{fill}"/>')
    parts.append("</svg>")
    with open(path, "w") as f:
        f.write("\n".join(parts) + "\n")


if __name__ == "__main__":
    write_svg(os.path.join(HERE, "tallimor.svg"))
    for size in (48, 128):
        write_png(os.path.join(HERE, f"tallimor-{size}.png"), size, render(size))
