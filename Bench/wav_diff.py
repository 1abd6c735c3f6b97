#!/usr/bin/env python3
"""Sample-by-sample comparison of two renders written as 32-bit float WAV
(tamblor-render --bits float): the number of samples that differ and the
largest difference in dB below full scale.

    Bench/wav_diff.py before.wav after.wav
"""

import array
import math
import struct
import sys


def read_float_wav(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"wav_diff: {path} is not a WAV file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        cid, size = data[pos:pos + 4], struct.unpack_from("<I", data, pos + 4)[0]
        body = data[pos + 8:pos + 8 + size]
        if cid == b"fmt ":
            tag, channels, rate, _, _, bits = struct.unpack_from("<HHIIHH", body)
            fmt = (tag, channels, rate, bits)
        elif cid == b"data":
            samples = array.array("f")
            samples.frombytes(body[:len(body) // 4 * 4])
        pos += 8 + size + (size & 1)
    if not fmt or samples is None or fmt[3] != 32 or fmt[0] not in (3, 0xFFFE):
        sys.exit(f"wav_diff: {path} is not 32-bit float")
    return fmt, samples


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    (fa, a), (fb, b) = read_float_wav(sys.argv[1]), read_float_wav(sys.argv[2])
    if fa != fb or len(a) != len(b):
        sys.exit(f"wav_diff: the files differ in format or length ({fa} {len(a)} / {fb} {len(b)})")
    differing, worst = 0, 0.0
    for x, y in zip(a, b):
        if x != y:
            differing += 1
            worst = max(worst, abs(x - y))
    level = "-inf" if worst == 0 else f"{20 * math.log10(worst):.1f}"
    print(f"{len(a)} samples, {differing} differ, largest difference {level} dBFS")
    return 0 if differing == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
