#!/usr/bin/env python3
"""Writes the sample files of samples/: small real JPEG images (a grey
pattern of flat 8x8 blocks, baseline, decodable by any reader) with the pixel
densities each sample shows off. Run it again after a change here; the
output is the same byte for byte."""

import os
import struct
import sys

# JPEG's standard luminance DC table (ITU T.81, Annex K.3).
DC_BITS = [0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0]
DC_VALUES = list(range(12))
# The blocks are flat: the only AC symbol is end-of-block, coded "0".
AC_BITS = [1] + [0] * 15
AC_VALUES = [0x00]


def segment(marker, payload):
    return struct.pack(">BBH", 0xFF, marker, len(payload) + 2) + payload


def canonical_codes(bits, values):
    codes, code, k = {}, 0, 0
    for length in range(1, 17):
        for _ in range(bits[length - 1]):
            codes[values[k]] = (code, length)
            code += 1
            k += 1
        code <<= 1
    return codes


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.count = 0

    def write(self, value, length):
        for i in range(length - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.count += 1
            if self.count == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0x00)  # byte stuffing
                self.acc = self.count = 0

    def flush(self):
        while self.count:
            self.write(1, 1)
        return bytes(self.out)


def pattern(bx, by, blocks):
    """A grey 'Q' on a light ground, one level per 8x8 block."""
    cx = cy = (blocks - 1) / 2
    r = ((bx - cx) ** 2 + (by - cy) ** 2) ** 0.5
    ring = abs(r - blocks * 0.32) < 0.9
    tail = bx > by and bx - by <= 1 and bx > blocks * 0.55
    return 40 if ring or tail else 215


def entropy_data(blocks):
    dc_codes = canonical_codes(DC_BITS, DC_VALUES)
    writer = BitWriter()
    previous = 0
    for by in range(blocks):
        for bx in range(blocks):
            dc = (pattern(bx, by, blocks) - 128) * 8  # quantiser 1, flat block
            diff = dc - previous
            previous = dc
            size = abs(diff).bit_length()
            code, length = dc_codes[size]
            writer.write(code, length)
            if size:
                writer.write(diff if diff > 0 else diff + (1 << size) - 1, size)
            writer.write(0, 1)  # end of block
    return writer.flush()


def jpeg(x_density, y_density, with_jfif=True, app1=b""):
    blocks = 8
    side = blocks * 8
    parts = [b"\xFF\xD8"]
    if with_jfif:
        parts.append(segment(0xE0, b"JFIF\x00\x01\x01\x01" +
                             struct.pack(">HH", x_density, y_density) + b"\x00\x00"))
    if app1:
        parts.append(segment(0xE1, app1))
    parts.append(segment(0xDB, b"\x00" + b"\x01" * 64))
    parts.append(segment(0xC0, struct.pack(">BHHB", 8, side, side, 1) + b"\x01\x11\x00"))
    parts.append(segment(0xC4, b"\x00" + bytes(DC_BITS) + bytes(DC_VALUES)))
    parts.append(segment(0xC4, b"\x10" + bytes(AC_BITS) + bytes(AC_VALUES)))
    parts.append(segment(0xDA, b"\x01\x01\x00\x00\x3F\x00"))
    parts.append(entropy_data(blocks))
    parts.append(b"\xFF\xD9")
    return b"".join(parts)


def macbinary(data, name=b"macbinary.jpg"):
    header = bytearray(128)
    header[1] = len(name)
    header[2:2 + len(name)] = name
    header[65:73] = b"JPEGprvw"
    struct.pack_into(">I", header, 83, len(data))
    return bytes(header) + data + b"\x00" * (-len(data) % 128)


# A camera-style file with Exif and no JFIF header, whose maker note holds
# a JFIF look-alike (FF E0, a length, "ABCDE"): never taken for a density field.
EXIF_WITH_FF_E0 = (b"Exif\x00\x00MM\x00\x2A\x00\x00\x00\x08\x00\x00\x00\x00\x00\x00" +
                   b"maker note: \xFF\xE0\x00\x10ABCDE\x01\x01\x00\x00\x48\x00\x60")

SAMPLES = {
    "unequal-x-smaller.jpg": jpeg(72, 96),
    "unequal-y-smaller.jpg": jpeg(300, 150),
    "equal.jpg": jpeg(96, 96),
    "macbinary.jpg": macbinary(jpeg(180, 360)),
    "camera-exif-only.jpg": jpeg(0, 0, with_jfif=False, app1=EXIF_WITH_FF_E0),
    "not-a-jpeg.jpg": b"This file is named .jpg but holds text, not a JPEG image.\n",
}


def main():
    folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "..", "samples")
    os.makedirs(folder, exist_ok=True)
    for name, data in SAMPLES.items():
        with open(os.path.join(folder, name), "wb") as out:
            out.write(data)


if __name__ == "__main__":
    main()
