#!/bin/sh
# Writes the test pictures of the pixel-size reader into this folder.
# Every size is odd and width differs from height, so a swapped or
# misread field shows. The expected sizes are listed in image_size_test.cpp.
# Needs: imagemagick (convert), python3.
set -eu
cd "$(dirname "$0")"

draw() {  # width height output...
    w=$1 h=$2
    shift 2
    convert -size "${w}x${h}" gradient:'#3060c0-#f0d040' \
        -fill '#c03030' -draw "rectangle 2,2 $((w / 2)),$((h / 2))" -strip "$@"
}

draw 33 17 -quality 85 baseline.jpg
draw 45 29 -quality 85 -interlace Plane progressive.jpg
draw 37 21 -quality 85 exif_base.jpg
draw 31 19 PNG24:plain.png
draw 27 43 -interlace PNG PNG24:interlaced.png
draw 41 23 -colors 16 GIF:plain.gif
draw 29 47 -colors 16 -interlace GIF GIF:interlaced.gif
draw 39 15 -colors 8 PNG8:palette.png

python3 - <<'PY'
import random
import struct


def bmp_pixels(width, height):
    # 24-bit rows padded to four bytes; the colours do not matter.
    row = bytes((x * 7) & 0xFF for x in range(width * 3))
    row += b"\0" * ((4 - len(row) % 4) % 4)
    return row * height


def bmp_info(width, height):
    # BITMAPFILEHEADER + BITMAPINFOHEADER (40 bytes); a negative height is top-down.
    pixels = bmp_pixels(width, abs(height))
    header = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels


def bmp_core(width, height):
    # OS/2 BITMAPCOREHEADER: 12 bytes, 16-bit width and height.
    pixels = bmp_pixels(width, height)
    header = struct.pack("<IHHHH", 12, width, height, 1, 24)
    return b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0, 14 + len(header)) + header + pixels


with open("bottom_up.bmp", "wb") as f:
    f.write(bmp_info(35, 13))
with open("top_down.bmp", "wb") as f:
    f.write(bmp_info(23, -11))
with open("os2.bmp", "wb") as f:
    f.write(bmp_core(19, 7))

# A camera-like APP1 block of about 62 KB right after SOI, before the frame header.
with open("exif_base.jpg", "rb") as f:
    jpeg = f.read()
payload = b"Exif\0\0II*\0\x08\0\0\0" + bytes(i % 251 for i in range(62000))
app1 = b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload
large = jpeg[:2] + app1 + jpeg[2:]
with open("exif_large.jpg", "wb") as f:
    f.write(large)

# Corrupt files.
with open("truncated.jpg", "wb") as f:
    f.write(large[:3000])  # ends inside the APP1 block
open("empty.jpg", "wb").close()
with open("random.png", "wb") as f:
    f.write(random.Random(7).randbytes(600))
with open("plain.gif", "rb") as f:
    gif = f.read()
with open("truncated.gif", "wb") as f:
    f.write(gif[:8])  # signature and width only
PY
rm -f exif_base.jpg

# Thumbnail sources: halves of two colours, so a turn or a mirror shows.
convert -size 20x20 xc:'#ff0000' -size 20x20 xc:'#0000ff' +append -quality 95 halves.jpg
convert -size 20x20 xc:none -size 20x20 xc:black +append PNG32:alpha.png
convert -size 40x20 xc:'#ff0000' -size 40x20 xc:'#00ff00' -set delay 10 -loop 0 animated.gif
python3 - <<'PY'
import struct
import zlib

with open("halves.jpg", "rb") as f:
    jpeg = f.read()
# EXIF orientation 6: IFD0 with one SHORT entry.
tiff = b"II*\0" + struct.pack("<IHHHIHHI", 8, 1, 0x0112, 3, 1, 6, 0, 0)
app1 = b"\xff\xe1" + struct.pack(">H", len(tiff) + 8) + b"Exif\0\0" + tiff
# A colour profile the maker must carry over byte for byte (its contents are not read).
profile = bytes(range(256)) * 2
app2 = b"\xff\xe2" + struct.pack(">H", len(profile) + 16) + b"ICC_PROFILE\0\x01\x01" + profile
with open("turned6.jpg", "wb") as f:
    f.write(jpeg[:2] + app1 + app2 + jpeg[2:])


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


# The same colour profile in a PNG's iCCP chunk, right after IHDR.
with open("plain.png", "rb") as f:
    plain = f.read()
iccp = chunk(b"iCCP", b"test\0\0" + zlib.compress(profile))
with open("profile.png", "wb") as f:
    f.write(plain[:33] + iccp + plain[33:])

# A header that claims 100000 x 100000 pixels, with a few bytes of image data.
with open("huge.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 100000, 100000, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))

# One that claims 20000 x 20000, under the sides the size readers believe but over any decode limit.
with open("claims_20000.png", "wb") as f:
    f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", 20000, 20000, 8, 2, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(b"\0" * 64)) + chunk(b"IEND", b""))
PY
rm -f halves.jpg
