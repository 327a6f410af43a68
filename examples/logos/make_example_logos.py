#!/usr/bin/env python3
"""Draws the example logos and writes them as NOL, NGG and FORM files.

Run from anywhere: python3 make_example_logos.py [output directory]
The files are encoded here independently of the library, so the unit tests can
check that the library reads them and writes them back byte for byte.
"""
import struct
import sys
from pathlib import Path

# 5 x 7 glyphs, one string per row, '#' drawn.
FONT = {
    "P": ["####.", "#...#", "#...#", "####.", "#....", "#....", "#...."],
    "E": ["#####", "#....", "#....", "####.", "#....", "#....", "#####"],
    "L": ["#....", "#....", "#....", "#....", "#....", "#....", "#####"],
    "K": ["#...#", "#..#.", "#.#..", "##...", "#.#..", "#..#.", "#...#"],
    "O": [".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."],
    "R": ["####.", "#...#", "#...#", "####.", "#.#..", "#..#.", "#...#"],
    "F": ["#####", "#....", "#....", "####.", "#....", "#....", "#...."],
    "A": [".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"],
    "M": ["#...#", "##.##", "#.#.#", "#.#.#", "#...#", "#...#", "#...#"],
    "I": [".###.", "..#..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "Y": ["#...#", "#...#", ".#.#.", "..#..", "..#..", "..#..", "..#.."],
    "1": ["..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."],
    "6": [".###.", "#....", "#....", "####.", "#...#", "#...#", ".###."],
    " ": ["....."] * 7,
}


class Canvas:
    def __init__(self, width, height):
        self.width, self.height = width, height
        self.on = [[False] * width for _ in range(height)]

    def set(self, x, y):
        if 0 <= x < self.width and 0 <= y < self.height:
            self.on[y][x] = True

    def text(self, x, y, words):
        for ch in words:
            for row, line in enumerate(FONT[ch]):
                for col, cell in enumerate(line):
                    if cell == "#":
                        self.set(x + col, y + row)
            x += 6

    def rectangle(self, x0, y0, x1, y1):
        for x in range(x0, x1 + 1):
            self.set(x, y0)
            self.set(x, y1)
        for y in range(y0, y1 + 1):
            self.set(x0, y)
            self.set(x1, y)

    def circle(self, cx, cy, r):
        for y in range(cy - r, cy + r + 1):
            for x in range(cx - r, cx + r + 1):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if (r - 0.5) ** 2 <= d <= (r + 0.5) ** 2:
                    self.set(x, y)

    def row_major(self):
        """Rows of whole bytes, leftmost pixel in the most significant bit."""
        out = bytearray()
        for y in range(self.height):
            for byte in range(self.width // 8):
                value = 0
                for bit in range(8):
                    if self.on[y][byte * 8 + bit]:
                        value |= 0x80 >> bit
                out.append(value)
        return bytes(out)

    def banded(self):
        """Column bytes in 8-row bands, bit 0 the top row of the band."""
        out = bytearray()
        for band in range(self.height // 8):
            for x in range(self.width):
                value = 0
                for bit in range(8):
                    if self.on[band * 8 + bit][x]:
                        value |= 1 << bit
                out.append(value)
        return bytes(out)


def text_bits(data):
    return "".join(format(b, "08b") for b in data).encode("ascii")


def nol_file(canvas, country, network):
    header = b"NOL" + bytes([0, 1, 0]) + struct.pack(
        "<HHHHHHH", country, network, canvas.width, canvas.height, 1, 1, 0x53)
    return header + text_bits(canvas.row_major())


def ngg_file(canvas):
    header = b"NGG" + bytes([0, 1, 0]) + struct.pack(
        "<HHHHH", canvas.width, canvas.height, 1, 1, 0x4A)
    return header + text_bits(canvas.row_major())


def chunk(name, data):
    return name + struct.pack(">H", len(data)) + data


def form_file(canvas):
    body = (chunk(b"VERS", b"Nokia Startup Logo Editor File Version 1.0")
            + chunk(b"MODL", b"6100")
            + chunk(b"NSLD", canvas.banded())
            + chunk(b"COMM", b""))
    return b"FORM" + struct.pack(">H", len(body)) + body


def operator_logo():
    c = Canvas(72, 14)
    c.rectangle(0, 0, 71, 13)
    c.text(18, 3, "PELKOR")
    for i in range(4):  # signal bars at the left
        for y in range(10 - 2 * i, 11):
            c.set(3 + 3 * i, y)
            c.set(4 + 3 * i, y)
    return c


def caller_group_logo():
    c = Canvas(72, 14)
    # Two heads and shoulders, then the group's name.
    for cx in (6, 15):
        c.circle(cx, 4, 3)
        for x in range(cx - 4, cx + 5):
            c.set(x, 12)
        for y in range(9, 13):
            c.set(cx - 4, y)
            c.set(cx + 4, y)
        for x in range(cx - 3, cx + 4):
            c.set(x, 9)
    c.text(28, 4, "FAMILY")
    return c


def startup_logo():
    c = Canvas(84, 48)
    c.rectangle(0, 0, 83, 47)
    c.rectangle(2, 2, 81, 45)
    c.circle(41, 17, 10)
    c.circle(41, 17, 6)
    c.text(15, 33, "PELKOR16")
    return c


def main():
    target = Path(sys.argv[1]) if len(sys.argv) > 1 else Path(__file__).resolve().parent
    (target / "operator.nol").write_bytes(nol_file(operator_logo(), 262, 1))
    (target / "caller_group.ngg").write_bytes(ngg_file(caller_group_logo()))
    (target / "startup.form").write_bytes(form_file(startup_logo()))


if __name__ == "__main__":
    main()
