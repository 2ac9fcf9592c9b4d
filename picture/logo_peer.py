#!/usr/bin/python3
"""Independent bitmap peer for the logo tests, on Python's PIL.

  make8   OUT W H N PATTERN [DARK]  8-bit palette bitmap written by PIL with an
                                    N-entry palette (PIL stores N as the colour count)
  make4   OUT W H N PATTERN [DARK]  4-bit bitmap with a 16-entry palette, written
                                    here (PIL cannot write 4-bit) and checked by
                                    reading it back through PIL; row padding and
                                    the spare nibble of odd widths hold 0xE
  make24  OUT W H                   24-bit bitmap written by PIL
  makerle OUT W H                   8-bit run-length coded bitmap, checked through PIL
  dump    FILE                      "W H MODE", then the RGB bytes in hex, then the
                                    palette indices in hex ("-" when not indexed)

PATTERN is "random:SEED" (indices drawn at random below N) or "ramp" (index
(y * W + x) mod N). Palette colours are distinct and light (each component 64
or more) unless DARK names an entry that becomes red 30, green 20, blue 10.
"""
import random
import struct
import sys

from PIL import Image


def palette_colours(n, seed, dark):
    rnd = random.Random(seed * 7919 + n)
    seen, out = set(), []
    while len(out) < n:
        c = (rnd.randrange(64, 256), rnd.randrange(64, 256), rnd.randrange(64, 256))
        if c not in seen:
            seen.add(c)
            out.append(c)
    if dark is not None:
        out[dark] = (30, 20, 10)
    return out


def indices(w, h, n, pattern):
    if pattern == "ramp":
        return [[(y * w + x) % n for x in range(w)] for y in range(h)]
    seed = int(pattern.split(":")[1])
    rnd = random.Random(seed)
    return [[rnd.randrange(n) for _ in range(w)] for _ in range(h)]


def seed_of(pattern):
    return int(pattern.split(":")[1]) if ":" in pattern else 1


def make8(out, w, h, n, pattern, dark=None):
    im = Image.new("P", (w, h))
    flat = []
    for c in palette_colours(n, seed_of(pattern), dark):
        flat.extend(c)
    im.putpalette(flat)
    im.putdata([i for row in indices(w, h, n, pattern) for i in row])
    im.save(out, "BMP")


def bmp_header(w, h, bits, colours, image_bytes, compression=0):
    offset = 14 + 40 + colours * 4
    return (b"BM" + struct.pack("<IHHI", offset + image_bytes, 0, 0, offset)
            + struct.pack("<IiiHHIIiiII", 40, w, h, 1, bits, compression, image_bytes,
                          3780, 3780, colours, 0))


def make4(out, w, h, n, pattern, dark=None):
    cols = palette_colours(16, seed_of(pattern), dark)
    pix = indices(w, h, n, pattern)
    stride = ((w * 4 + 31) // 32) * 4
    rows = b""
    for y in range(h - 1, -1, -1):
        row = bytearray([0xEE] * stride)
        for x in range(w):
            b = row[x // 2]
            row[x // 2] = (b & 0x0F) | (pix[y][x] << 4) if x % 2 == 0 else (b & 0xF0) | pix[y][x]
        rows += bytes(row)
    pal = b"".join(bytes((b, g, r, 0)) for r, g, b in cols)
    with open(out, "wb") as f:
        f.write(bmp_header(w, h, 4, 16, len(rows)) + pal + rows)
    im = Image.open(out)
    im.load()
    if im.size != (w, h) or list(im.getdata()) != [i for row in pix for i in row]:
        sys.exit("PIL reads the 4-bit bitmap differently")


def make24(out, w, h):
    im = Image.new("RGB", (w, h), (200, 100, 50))
    im.save(out, "BMP")


def makerle(out, w, h):
    # Each row one run of index (y mod 4), then end of line; end of bitmap last.
    data = b""
    for y in range(h):
        data += bytes((w, y % 4, 0, 0))
    data += b"\x00\x01"
    pal = b"".join(bytes((i, 255 - i, i // 2, 0)) for i in range(256))
    with open(out, "wb") as f:
        f.write(bmp_header(w, h, 8, 256, len(data), compression=1) + pal + data)
    im = Image.open(out)
    im.load()
    if im.size != (w, h):
        sys.exit("PIL reads the run-length bitmap differently")


def dump(path):
    im = Image.open(path)
    im.load()
    print(im.size[0], im.size[1], im.mode)
    print(im.convert("RGB").tobytes().hex())
    print(bytes(im.getdata()).hex() if im.mode == "P" else "-")


def main(argv):
    cmd, args = argv[1], argv[2:]
    if cmd == "dump":
        dump(args[0])
    elif cmd in ("make8", "make4"):
        out, w, h, n, pattern = args[0], int(args[1]), int(args[2]), int(args[3]), args[4]
        dark = int(args[5]) if len(args) > 5 else None
        (make8 if cmd == "make8" else make4)(out, w, h, n, pattern, dark)
    elif cmd == "make24":
        make24(args[0], int(args[1]), int(args[2]))
    elif cmd == "makerle":
        makerle(args[0], int(args[1]), int(args[2]))
    else:
        sys.exit("unknown command " + cmd)


if __name__ == "__main__":
    main(sys.argv)
