#!/usr/bin/python3
"""Writes the extra seed pictures of fuzz_image_size into corpus/image_size.

The test pictures (tests/data/pictures) are seeds as well; these add the
variants they lack: a small EXIF-heavy JPEG, a JPEG with fill bytes and a
12-bit frame, GIF87a, a BMP with a version 5 header and a 1-bit BMP.
"""
import os
import struct

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "image_size")


def segment(marker, body):
    return b"\xff" + bytes([marker]) + struct.pack(">H", len(body) + 2) + body


def frame(sof, precision, width, height):
    body = struct.pack(">BHHB", precision, height, width, 1) + b"\x01\x11\x00"
    return segment(sof, body)


def write(name, data):
    with open(os.path.join(here, name), "wb") as f:
        f.write(data)


os.makedirs(here, exist_ok=True)
exif = b"Exif\0\0" + b"MM\0*\0\0\0\x08" + bytes(range(256)) * 12
write("exif_small.jpg", b"\xff\xd8" + segment(0xE1, exif) + segment(0xDB, bytes(65)) + frame(0xC0, 8, 123, 45)
      + b"\xff\xd9")
write("fill_bytes.jpg", b"\xff\xd8\xff\xff\xff" + segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0") + b"\0\0"
      + frame(0xC1, 12, 7, 300) + b"\xff\xd9")
write("progressive_sof2.jpg", b"\xff\xd8" + segment(0xC4, bytes(30)) + frame(0xC2, 8, 640, 480) + b"\xff\xda")
gif = b"GIF87a" + struct.pack("<HHBBB", 19, 11, 0x80, 0, 0) + bytes(6) + b",\0\0\0\0" + struct.pack("<HH", 19, 11)
write("gif87a.gif", gif + b"\0\x02\x02\x44\x01\0;")
v5 = struct.pack("<IiiHHIIiiII", 124, 21, -13, 1, 32, 3, 21 * 13 * 4, 2835, 2835, 0, 0) + bytes(124 - 40)
write("v5_top_down.bmp", b"BM" + struct.pack("<IHHI", 14 + 124 + 8, 0, 0, 14 + 124) + v5 + bytes(8))
mono = struct.pack("<IiiHHIIiiII", 40, 9, 5, 1, 1, 0, 20, 0, 0, 2, 0) + bytes(8)
write("mono.bmp", b"BM" + struct.pack("<IHHI", 14 + 48 + 20, 0, 0, 14 + 48) + mono + bytes(20))
