#!/usr/bin/env python3
"""Rewrites resources/q8.ico: keeps its hand-made 16 and 32 px images as they
are and draws the 48 px (32-bit bitmap, for every Windows version) and 256 px
(PNG, for Explorer's large views) images from the same design, anti-aliased:
a white ring on blue with a yellow bar across its upper right.

The build does not run this; it is run by hand when the design changes, and
its output is committed. Only Python's standard library is needed:
    python3 resources/make_icon.py
"""
import math
import os
import struct
import zlib

ICO = os.path.join(os.path.dirname(os.path.abspath(__file__)), "q8.ico")

BLUE = (20, 60, 120)
WHITE = (250, 240, 240)
YELLOW = (250, 200, 40)


def colour_at(x, y):
    """The design's colour at a point, in units of the 32 px image."""
    if 8.5 <= x - y <= 21.5 and abs(x + y - 32) <= 2.5:
        return YELLOW
    if 6.8 <= math.hypot(x - 16, y - 16) <= 12.5:
        return WHITE
    return BLUE


def draw(size, samples=4):
    """Rows of (r, g, b) from the top, each pixel the mean of samples^2 points."""
    scale = 32.0 / size
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            total = [0, 0, 0]
            for sy in range(samples):
                for sx in range(samples):
                    c = colour_at((px + (sx + 0.5) / samples) * scale,
                                  (py + (sy + 0.5) / samples) * scale)
                    for i in range(3):
                        total[i] += c[i]
            row.append(tuple((t + samples * samples // 2) // (samples * samples) for t in total))
        rows.append(row)
    return rows


def bitmap_image(rows):
    """A 32-bit icon bitmap: header, BGRA rows from the bottom, an empty AND mask."""
    size = len(rows)
    pixels = b"".join(bytes((b, g, r, 255)) for row in reversed(rows) for (r, g, b) in row)
    mask = bytes(((size + 31) // 32 * 4) * size)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def png_image(rows):
    """An RGBA PNG, each row filtered with the filter that suits it best."""
    size = len(rows)
    stride = 4
    raw_rows = [bytes(v for (r, g, b) in row for v in (r, g, b, 255)) for row in rows]

    def paeth(a, b, c):
        p = a + b - c
        pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
        return a if pa <= pb and pa <= pc else b if pb <= pc else c

    data = b""
    previous = bytes(len(raw_rows[0]))
    for line in raw_rows:
        candidates = []
        for kind in range(5):
            out = bytearray([kind])
            for i, v in enumerate(line):
                a = line[i - stride] if i >= stride else 0
                b = previous[i]
                c = previous[i - stride] if i >= stride else 0
                predictor = (0, a, b, (a + b) // 2, paeth(a, b, c))[kind]
                out.append((v - predictor) & 0xFF)
            candidates.append(bytes(out))
        data += min(candidates, key=lambda f: sum(x if x < 128 else 256 - x for x in f[1:]))
        previous = line

    def chunk(kind, body):
        return (struct.pack(">I", len(body)) + kind + body +
                struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF))

    return (b"\x89PNG\r\n\x1a\n" +
            chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(data, 9)) + chunk(b"IEND", b""))


def main():
    with open(ICO, "rb") as f:
        old = f.read()
    _, _, count = struct.unpack_from("<HHH", old, 0)
    kept = {}
    for i in range(count):
        entry = old[6 + 16 * i:22 + 16 * i]
        width = entry[0] or 256
        length, offset = struct.unpack_from("<II", entry, 8)
        if width in (16, 32):
            kept[width] = (entry[:8], old[offset:offset + length])
    if sorted(kept) != [16, 32]:
        raise SystemExit("q8.ico has lost its 16 or 32 px image")

    images = [kept[16], kept[32],
              (struct.pack("<BBBBHH", 48, 48, 0, 0, 1, 32), bitmap_image(draw(48))),
              (struct.pack("<BBBBHH", 0, 0, 0, 0, 1, 32), png_image(draw(256)))]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for head, body in images:
        out += head + struct.pack("<II", len(body), offset)
        offset += len(body)
    out += b"".join(body for _, body in images)
    with open(ICO, "wb") as f:
        f.write(out)
    for (head, body) in images:
        print("%3d px  %5d bytes  %s" % (head[0] or 256, len(body),
                                         "PNG" if body[:4] == b"\x89PNG" else "bitmap"))


if __name__ == "__main__":
    main()
