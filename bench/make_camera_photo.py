"""Writes a camera-like JPEG file: a real 4000 x 3000 encoding by cjpeg whose
JFIF header is replaced by an Exif APP1 segment holding a JFIF thumbnail, as
cameras and phones write them. Usage: make_camera_photo.py OUT.jpg"""
import os
import struct
import subprocess
import sys
import tempfile


def encode(width, height, amplitude, quality):
    """A JPEG from cjpeg of a gradient with noise of the given amplitude."""
    noise = os.urandom(width * height * 3).translate(bytes(
        (b % amplitude) + 128 - amplitude // 2 for b in range(256)))
    with tempfile.NamedTemporaryFile(suffix=".ppm") as ppm:
        ppm.write(b"P6 %d %d 255\n" % (width, height) + noise)
        ppm.flush()
        return subprocess.run(["cjpeg", "-quality", str(quality), ppm.name],
                              stdout=subprocess.PIPE, check=True).stdout


def segments_after_app0(jpeg):
    """The file behind SOI without its JFIF APP0 segment."""
    assert jpeg[:4] == b"\xFF\xD8\xFF\xE0"
    length = struct.unpack(">H", jpeg[4:6])[0]
    return jpeg[4 + length:]


def exif_app1(thumbnail):
    """Exif: IFD0 with the resolution tags, IFD1 pointing at the thumbnail."""
    def entry(tag, kind, count, value):
        return struct.pack("<HHII", tag, kind, count, value)
    ifd0_offset = 8
    ifd0_entries = 3
    ifd0_size = 2 + 12 * ifd0_entries + 4
    rationals = ifd0_offset + ifd0_size
    ifd1_offset = rationals + 16
    ifd1_size = 2 + 12 * 2 + 4
    thumb_offset = ifd1_offset + ifd1_size
    tiff = b"II*\x00" + struct.pack("<I", ifd0_offset)
    tiff += struct.pack("<H", ifd0_entries)
    tiff += entry(0x011A, 5, 1, rationals)      # XResolution
    tiff += entry(0x011B, 5, 1, rationals + 8)  # YResolution
    tiff += entry(0x0128, 3, 1, 2)              # ResolutionUnit: inches
    tiff += struct.pack("<I", ifd1_offset)
    tiff += struct.pack("<IIII", 72, 1, 72, 1)
    tiff += struct.pack("<H", 2)
    tiff += entry(0x0201, 4, 1, thumb_offset)     # JPEGInterchangeFormat
    tiff += entry(0x0202, 4, 1, len(thumbnail))   # JPEGInterchangeFormatLength
    tiff += struct.pack("<I", 0)
    payload = b"Exif\x00\x00" + tiff + thumbnail
    return b"\xFF\xE1" + struct.pack(">H", 2 + len(payload)) + payload


def main():
    photo = encode(4000, 3000, 40, 90)
    thumbnail = encode(160, 120, 40, 75)  # keeps its JFIF header
    with open(sys.argv[1], "wb") as out:
        out.write(b"\xFF\xD8" + exif_app1(thumbnail) + segments_after_app0(photo))


main()
