#!/usr/bin/env python3
"""Draws the program's pictures and writes them as PNG files beside this script.

  icon-32.png, icon-48.png  the program icon: a handheld whose screen shows a
                            pixel heart above a row of palette chips, drawn on
                            a 16 x 16 grid and scaled by 2 and 3
  progress.png              the progress animation: 19 frames of 272 x 40 side
                            by side (5168 x 40); coloured pixels hop from a
                            desktop computer to a handheld, changing colour on
                            the way; the motion repeats after the last frame

Only the standard library is used; the output is deterministic.
Run: python3 res/make_images.py
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

PALETTE = {
    ".": None,
    "K": (0x1E, 0x24, 0x30),  # outline
    "S": (0x4A, 0x55, 0x68),  # body
    "s": (0x71, 0x80, 0x96),  # body highlight
    "W": (0xF7, 0xFA, 0xFC),  # screen
    "R": (0xE5, 0x3E, 0x3E),  # heart
    "r": (0xB8, 0x2C, 0x2C),  # heart shade
    "H": (0xFE, 0xD7, 0xD7),  # heart highlight
    "o": (0xED, 0x89, 0x36),  # palette chips
    "y": (0xEC, 0xC9, 0x4B),
    "g": (0x48, 0xBB, 0x78),
    "b": (0x42, 0x99, 0xE1),
    "B": (0x2D, 0x37, 0x48),  # button
    "L": (0xA0, 0xAE, 0xC0),  # light grey
}

ICON = [
    "................",
    "...KKKKKKKKKK...",
    "..KsSSSSSSSSSK..",
    "..KsWRRWWRRWSK..",
    "..KsRHRRRRRRSK..",
    "..KsRRRRRRRRSK..",
    "..KsRRRRRRRrSK..",
    "..KsWRRRRRrWSK..",
    "..KsWWRRRrWWSK..",
    "..KsWWWrrWWWSK..",
    "..KsWWWWWWWWSK..",
    "..KsSSSSSSSSSK..",
    "..KsooyyggbbSK..",
    "..KsSSSBBSSSSK..",
    "..KsSSSSSSSSSK..",
    "...KKKKKKKKKK...",
]

COMPUTER = [
    "KKKKKKKKKKKKKK",
    "KSSSSSSSSSSSSK",
    "KSWWWWWWWWWWSK",
    "KSWbbWWWWWWWSK",
    "KSWbbWWooWWWSK",
    "KSWWWWWooWWWSK",
    "KSWWWggWWWWWSK",
    "KSWWWggWWWWWSK",
    "KSSSSSSSSSSSSK",
    "KKKKKKKKKKKKKK",
    ".....KSSK.....",
    "...KKKKKKKK...",
]

HANDHELD = [
    ".KKKKKK.",
    "KSSSSSSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSWWWWSK",
    "KSSSSSSK",
    "KSSBBSSK",
    "KSSSSSSK",
    ".KKKKKK.",
]

FRAME_W, FRAME_H, FRAMES = 272, 40, 19


def write_png(path, width, height, pixels):
    """pixels: list of rows, each a list of (r, g, b, a)."""

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    raw = bytearray()
    for row in pixels:
        raw.append(0)  # filter type: none
        for r, g, b, a in row:
            raw += bytes((r, g, b, a))
    png = b"\x89PNG\r\n\x1a\n"
    png += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    png += chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


def blank(width, height):
    return [[(0, 0, 0, 0)] * width for _ in range(height)]


def check_grid(grid):
    width = len(grid[0])
    for row in grid:
        assert len(row) == width, row
        for c in row:
            assert c in PALETTE, c


def stamp(canvas, grid, left, top, scale):
    """Draws a character grid with each cell as a scale x scale block."""
    check_grid(grid)
    for gy, row in enumerate(grid):
        for gx, c in enumerate(row):
            colour = PALETTE[c]
            if colour is None:
                continue
            for y in range(top + gy * scale, top + (gy + 1) * scale):
                for x in range(left + gx * scale, left + (gx + 1) * scale):
                    canvas[y][x] = colour + (255,)


def fill(canvas, left, top, width, height, rgba):
    for y in range(max(top, 0), min(top + height, len(canvas))):
        for x in range(max(left, 0), min(left + width, len(canvas[0]))):
            canvas[y][x] = rgba


def icon(scale):
    size = 16 * scale
    canvas = blank(size, size)
    stamp(canvas, ICON, 0, 0, scale)
    return size, canvas


def mix(a, b, t):
    return tuple(round(a[i] + (b[i] - a[i]) * t) for i in range(3))


def colour_along(t):
    """The colour of a travelling pixel at fraction t of the way."""
    stops = [PALETTE[c] for c in "bgyoR"]
    position = t * (len(stops) - 1)
    i = min(int(position), len(stops) - 2)
    return mix(stops[i], stops[i + 1], position - i)


def animation_frame(frame):
    canvas = blank(FRAME_W, FRAME_H)
    stamp(canvas, COMPUTER, 6, 8, 2)    # 28 x 24
    stamp(canvas, HANDHELD, 250, 6, 2)  # 16 x 28
    start, end, base = 40, 240, 30
    # A dotted track between the two.
    for x in range(start, end, 6):
        fill(canvas, x, base + 2, 2, 2, PALETTE["L"] + (255,))
    # Five pixels on the track, each moving two places on per cycle, so the
    # picture after the last frame is the first one again.
    count, places = 5, 2
    for k in range(count):
        t = ((k + frame * places / FRAMES) / count) % 1.0
        x = start + t * (end - start)
        lift = math.sin(math.pi * t) * 16
        size = 4 + round(4 * math.sin(math.pi * t))
        left = round(x - size / 2)
        top = round(base - lift - size)
        fill(canvas, left - 1, top - 1, size + 2, size + 2, PALETTE["K"] + (255,))
        fill(canvas, left, top, size, size, colour_along(t) + (255,))
    # The handheld's screen lights up while a pixel arrives.
    arrival = max(((k + frame * places / FRAMES) / count) % 1.0 for k in range(count))
    glow = max(0.0, (arrival - 0.85) / 0.15)
    fill(canvas, 254, 10, 8, 16, mix(PALETTE["W"], PALETTE["y"], glow) + (255,))
    return canvas


def main():
    for scale in (2, 3):
        size, canvas = icon(scale)
        write_png(os.path.join(HERE, "icon-%d.png" % size), size, size, canvas)

    frames = [animation_frame(f) for f in range(FRAMES)]
    strip = [sum((frames[f][y] for f in range(FRAMES)), []) for y in range(FRAME_H)]
    write_png(os.path.join(HERE, "progress.png"), FRAME_W * FRAMES, FRAME_H, strip)


if __name__ == "__main__":
    main()
