#!/usr/bin/env python3
"""Draws the built-in 640 x 16 logo strip and prints it as the run-length
pairs (value, count) of picture/logo_strip.cpp.

The strip is one line of text in palette index 1 on index 0, from a small
5 x 7 font drawn here, each font pixel 2 x 2 screen pixels. The pairs are
taken row after row over the whole 10240-byte area; the format keeps them as
exactly 1267 pairs, so the longest background runs are split until the count
is reached.
"""
import sys

WIDTH, HEIGHT, PAIRS = 640, 16, 1267
TEXT = "THIS IMAGE WAS BUILT WITH MOZAIK32"

FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "W": ["10001", "10001", "10001", "10101", "10101", "11011", "10001"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
    "3": ["11110", "00001", "00001", "01110", "00001", "00001", "11110"],
    "2": ["01110", "10001", "00001", "00010", "00100", "01000", "11111"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "G": ["01110", "10001", "10000", "10111", "10001", "10001", "01111"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    " ": ["00000"] * 7,
}


def draw():
    pixels = [[0] * WIDTH for _ in range(HEIGHT)]
    advance = 6 * 2  # 5 columns and one blank, doubled
    left = (WIDTH - len(TEXT) * advance) // 2
    for n, ch in enumerate(TEXT):
        for fy, line in enumerate(FONT[ch]):
            for fx, bit in enumerate(line):
                if bit == "1":
                    for dy in range(2):
                        for dx in range(2):
                            pixels[1 + fy * 2 + dy][left + n * advance + fx * 2 + dx] = 1
    return [v for row in pixels for v in row]


def runs(flat):
    out = []
    for v in flat:
        if out and out[-1][0] == v and out[-1][1] < 255:
            out[-1][1] += 1
        else:
            out.append([v, 1])
    return out


def main():
    pairs = runs(draw())
    if len(pairs) > PAIRS:
        sys.exit(f"the strip needs {len(pairs)} pairs, more than {PAIRS}")
    while len(pairs) < PAIRS:
        i = max(range(len(pairs)), key=lambda k: pairs[k][1])
        v, n = pairs[i]
        if n < 2:
            sys.exit("no run left to split")
        pairs[i:i + 1] = [[v, n // 2], [v, n - n // 2]]
    assert sum(n for _, n in pairs) == WIDTH * HEIGHT
    flat = [b for pair in pairs for b in pair]
    for k in range(0, len(flat), 24):
        print("    " + ", ".join(str(b) for b in flat[k:k + 24]) + ",")


if __name__ == "__main__":
    main()
