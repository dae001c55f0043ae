#!/usr/bin/env python3
"""Draws toolbar.bmp: five 16 x 15 images side by side, 16 colours, magenta as the transparent
background. Images: auto-sync, refresh, refresh out of date, settings, information.
Run it after changing a picture and commit both files; the build uses the .bmp."""

import struct
import sys
from pathlib import Path

WIDTH, HEIGHT, CELL = 80, 15, 16

# The 16-colour VGA palette, so the bitmap looks the same on any display depth.
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
COLOURS = {".": 13, "k": 0, "r": 9, "R": 1, "g": 2, "G": 10, "b": 4, "B": 12, "s": 8,
           "l": 7, "w": 15, "y": 11, "c": 6}

# One string per row, 16 characters: the keys of COLOURS.
AUTO_SYNC = [
    "................",
    ".....bbbbbb.....",
    "...bbBBBBBBbb...",
    "..bBB......BBb..",
    "..bB........bbb.",
    ".bB........bBBBb",
    ".bB.........bBb.",
    ".bB..........b..",
    "..b..........Bb.",
    ".bBb.........Bb.",
    "bBBBb........Bb.",
    ".bbb........Bb..",
    "..bBB......BBb..",
    "...bbBBBBBBbb...",
    ".....bbbbbb.....",
]
REFRESH = [
    "................",
    ".....gggggg..g..",
    "...ggGGGGGGggg..",
    "..gGG......GGg..",
    "..gG......gGGg..",
    ".gG......gggggg.",
    ".gG.............",
    ".gG.............",
    ".gG.............",
    ".gG.........Gg..",
    "..gG.......Gg...",
    "..gGG.....GGg...",
    "...ggGGGGGGg....",
    ".....ggggg......",
    "................",
]
REFRESH_STALE = [row[:11] + tail for row, tail in zip(REFRESH, [
    ".....", "..rr.", ".rRRr", ".rRRr", ".rRRr", ".rRRr", ".rRRr", "..rr.",
    "..rr.", ".....", "..rr.", ".rRRr", "..rr.", ".....", ".....",
])]
SETTINGS = [
    "................",
    ".......ss.......",
    "...ss.sllss.ss..",
    "...sllsllsslls..",
    "....sllllllls...",
    "..sslllsslllss..",
    ".sllllsk.ksllls.",
    ".sllllk...kllls.",
    ".sllllsk.ksllls.",
    "..sslllsslllss..",
    "....sllllllls...",
    "...sllsllsslls..",
    "...ss.sllss.ss..",
    ".......ss.......",
    "................",
]
INFORMATION = [
    "................",
    ".....bbbbbb.....",
    "...bbBBBBBBbb...",
    "..bBBBBwwBBBBb..",
    "..bBBBBwwBBBBb..",
    ".bBBBBBBBBBBBBb.",
    ".bBBBBwwwBBBBBb.",
    ".bBBBBBwwBBBBBb.",
    ".bBBBBBwwBBBBBb.",
    ".bBBBBBwwBBBBBb.",
    "..bBBBBwwBBBBb..",
    "..bBBBwwwwBBBb..",
    "...bbBBBBBBbb...",
    ".....bbbbbb.....",
    "................",
]
IMAGES = [AUTO_SYNC, REFRESH, REFRESH_STALE, SETTINGS, INFORMATION]


def pixels():
    grid = [[COLOURS["."]] * WIDTH for _ in range(HEIGHT)]
    for index, image in enumerate(IMAGES):
        assert len(image) == HEIGHT, index
        for y, row in enumerate(image):
            assert len(row) == CELL, (index, y)
            for x, key in enumerate(row):
                grid[y][index * CELL + x] = COLOURS[key]
    return grid


def bitmap():
    stride = (WIDTH * 4 + 31) // 32 * 4
    rows = b""
    for row in reversed(pixels()):  # bottom-up, as BMP stores them
        packed = bytes((row[x] << 4) | row[x + 1] for x in range(0, WIDTH, 2))
        rows += packed.ljust(stride, b"\0")
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 4, 0, len(rows), 2835, 2835, 16, 0)
    return header + info + palette + rows


if __name__ == "__main__":
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).with_name("toolbar.bmp")
    target.write_bytes(bitmap())
