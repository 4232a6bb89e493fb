#!/usr/bin/env python3
"""Builds the program's .ico from its pixel maps (res/icon.txt).
Usage: make-icon.py icon.txt out.ico"""

import struct
import sys

VGA = [0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0xC0C0C0,
       0x808080, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF]
MONO = {"0": 0, "f": 1}


def read_images(path):
    images, current = [], None
    for line in open(path, encoding="utf-8"):
        line = line.rstrip("\n")
        if not line or line.startswith("#"):
            continue
        if line.startswith("image "):
            width, height, colours = map(int, line.split()[1:])
            current = {"width": width, "height": height, "colours": colours, "rows": []}
            images.append(current)
        else:
            current["rows"].append(line)
    for image in images:
        rows = image["rows"]
        if len(rows) != image["height"] or any(len(r) != image["width"] for r in rows):
            sys.exit("icon.txt: a picture does not match its size")
    return images


def packed_rows(rows, bits, value):
    """Bottom-up rows of bits-per-pixel values, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(rows):
        acc, count, line = 0, 0, bytearray()
        for ch in row:
            acc = (acc << bits) | value(ch)
            count += bits
            if count == 8:
                line.append(acc)
                acc, count = 0, 0
        if count:
            line.append(acc << (8 - count))
        line += bytes(-len(line) % 4)
        out += line
    return bytes(out)


def image_data(image):
    colours = image["colours"]
    bits = 1 if colours == 2 else 4
    if colours == 2:
        palette = [0x000000, 0xFFFFFF]
        index = lambda ch: 0 if ch == "." else MONO[ch]
    else:
        palette = VGA
        index = lambda ch: 0 if ch == "." else int(ch, 16)
    xor = packed_rows(image["rows"], bits, index)
    mask = packed_rows(image["rows"], 1, lambda ch: 1 if ch == "." else 0)
    header = struct.pack("<IiiHHIIiiII", 40, image["width"], image["height"] * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    rgb = b"".join(struct.pack("<BBBB", c & 0xFF, (c >> 8) & 0xFF, c >> 16, 0) for c in palette)
    return header + rgb + xor + mask, bits


def main():
    images = read_images(sys.argv[1])
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, blobs = b"", b""
    for image in images:
        data, bits = image_data(image)
        entries += struct.pack("<BBBBHHII", image["width"] % 256, image["height"] % 256,
                               image["colours"], 0, 1, bits, len(data), offset)
        blobs += data
        offset += len(data)
    with open(sys.argv[2], "wb") as out:
        out.write(directory + entries + blobs)


if __name__ == "__main__":
    main()
