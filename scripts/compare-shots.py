#!/usr/bin/env python3
"""Compares two screenshots of the editor (Python standard library only).

  compare-shots.py A B [MEAN MAX_SHARE]

A and B are PNG (8-bit RGB or RGBA, not interlaced) or BMP (24/32-bit) files.
They match when they have the same size, the mean difference of all channels
is at most MEAN (default 2.0 of 255) and at most MAX_SHARE (default 0.01) of
the pixels differ by more than 16 in any channel. Prints the figures; exit 0
when they match, 1 otherwise, 2 on a file it cannot read.
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG file")
    pos, idat, width = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise ValueError("only 8-bit RGB/RGBA, not interlaced")
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * bpp
    rows, prev = [], bytearray(stride)
    for y in range(height):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = prev[i]
            c = prev[i - bpp] if i >= bpp else 0
            if f == 1:
                line[i] = (line[i] + a) & 0xFF
            elif f == 2:
                line[i] = (line[i] + b) & 0xFF
            elif f == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif f == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        prev = line
    return width, height, rows


def read_bmp(path):
    data = open(path, "rb").read()
    if data[:2] != b"BM":
        raise ValueError("not a BMP file")
    offset = struct.unpack("<I", data[10:14])[0]
    width, height, _, bits = struct.unpack("<iiHH", data[18:30])
    if bits not in (24, 32):
        raise ValueError("only 24/32-bit BMP")
    bpp = bits // 8
    stride = (width * bpp + 3) & ~3
    rows = []
    for y in range(abs(height)):
        src = y if height < 0 else abs(height) - 1 - y
        line = data[offset + src * stride:offset + src * stride + width * bpp]
        rows.append([(line[x * bpp + 2], line[x * bpp + 1], line[x * bpp]) for x in range(width)])
    return width, abs(height), rows


def read(path):
    return read_bmp(path) if path.lower().endswith(".bmp") else read_png(path)


def main(argv):
    if len(argv) not in (3, 5):
        print(__doc__, file=sys.stderr)
        return 2
    mean_limit = float(argv[3]) if len(argv) == 5 else 2.0
    share_limit = float(argv[4]) if len(argv) == 5 else 0.01
    try:
        wa, ha, a = read(argv[1])
        wb, hb, b = read(argv[2])
    except (OSError, ValueError, zlib.error) as e:
        print(f"compare-shots: {e}", file=sys.stderr)
        return 2
    if (wa, ha) != (wb, hb):
        print(f"sizes differ: {wa}x{ha} against {wb}x{hb}")
        return 1
    total, far = 0, 0
    for ra, rb in zip(a, b):
        for pa, pb in zip(ra, rb):
            d = [abs(x - y) for x, y in zip(pa, pb)]
            total += sum(d)
            far += max(d) > 16
    mean = total / (3.0 * wa * ha)
    share = far / float(wa * ha)
    print(f"{wa}x{ha}: mean difference {mean:.3f}, pixels off by more than 16: {share:.4f}")
    return 0 if mean <= mean_limit and share <= share_limit else 1


if __name__ == "__main__":
    sys.exit(main(sys.argv))
