#!/usr/bin/env python3
"""Makes phone-sized JPEG photos for the thumbnail benchmark: 4608x1976,
photo-like content (smooth fields with grain), quality 90, every fourth one
marked with EXIF orientation 6 (taken with the phone turned).

Usage: make_photos.py OUTDIR [--count 50]   (needs ImageMagick's convert)
"""
import argparse
import os
import struct
import subprocess


def exif_orientation_segment(orientation):
    # TIFF header (little endian), IFD0 with one entry: tag 0x0112, SHORT, count 1.
    ifd = struct.pack("<H", 1) + struct.pack("<HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack("<I", 0)
    tiff = b"II*\x00" + struct.pack("<I", 8) + ifd
    body = b"Exif\x00\x00" + tiff
    return b"\xff\xe1" + struct.pack(">H", len(body) + 2) + body


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("outdir")
    parser.add_argument("--count", type=int, default=50)
    args = parser.parse_args()
    os.makedirs(args.outdir, exist_ok=True)
    for i in range(args.count):
        path = os.path.join(args.outdir, "IMG_%04d.jpg" % (i + 1))
        if os.path.exists(path):
            continue
        # A small plasma enlarged gives broad shapes; the noise gives a camera's grain and bytes.
        subprocess.run(["convert", "-seed", str(1000 + i), "-size", "576x247", "plasma:fractal", "-blur", "0x1",
                        "-resize", "4608x1976!", "-attenuate", "0.4", "+noise", "Gaussian",
                        "-sampling-factor", "2x2", "-quality", "90", path], check=True)
        if i % 4 == 1:
            with open(path, "rb") as f:
                data = f.read()
            with open(path, "wb") as f:
                f.write(data[:2] + exif_orientation_segment(6) + data[2:])


if __name__ == "__main__":
    main()
