#!/usr/bin/python3
"""Writes the extra seed pictures of fuzz_image_size into corpus/image_size.

The test pictures (tests/data/pictures) are seeds as well; these add the
variants they lack: a small EXIF-heavy JPEG, a JPEG with fill bytes and a
12-bit frame, GIF87a, a BMP with a version 5 header and a 1-bit BMP, and
pictures turned by their EXIF orientation: JPEGs in both byte orders and a PNG
with an eXIf chunk.
"""
import os
import struct
import zlib

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


def tiff(order, orientation):
    """A TIFF block whose IFD0 holds a few tags, the orientation among them, and links an IFD1."""
    e = "<" if order == b"II" else ">"
    entries = [(0x010F, 2, 4, b"Kavo"), (0x0112, 3, 1, struct.pack(e + "HH", orientation, 0)),
               (0x011A, 5, 1, struct.pack(e + "I", 0))]
    ifd1 = 8 + 2 + 12 * len(entries) + 4
    body = struct.pack(e + "H", len(entries))
    for tag, kind, count, value in entries:
        body += struct.pack(e + "HHI", tag, kind, count) + value
    body += struct.pack(e + "I", ifd1)
    body += struct.pack(e + "H", 1) + struct.pack(e + "HHIHH", 0x0112, 3, 1, 1, 0) + struct.pack(e + "I", 0)
    return order + struct.pack(e + "HI", 42, 8) + body


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


write("orientation6_ii.jpg", b"\xff\xd8" + segment(0xE1, b"Exif\0\0" + tiff(b"II", 6)) + frame(0xC0, 8, 40, 30)
      + b"\xff\xd9")
write("orientation8_mm.jpg", b"\xff\xd8" + segment(0xE0, b"JFIF\0\1\1\0\0\1\0\1\0\0")
      + segment(0xE1, b"Exif\0\0" + tiff(b"MM", 8)) + frame(0xC2, 8, 40, 30) + b"\xff\xd9")
ihdr = chunk(b"IHDR", struct.pack(">IIBBBBB", 3, 2, 8, 0, 0, 0, 0))
idat = chunk(b"IDAT", zlib.compress(bytes(8)))
write("exif_chunk.png", b"\x89PNG\r\n\x1a\n" + ihdr + chunk(b"eXIf", tiff(b"MM", 6)) + idat + chunk(b"IEND", b""))
