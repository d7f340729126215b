#!/usr/bin/env python3
"""Generates a benchmark tree of folders, real small pictures and other files.

The default tree has 100,000 entries in 1,001 folders (the chosen folder and
1,000 below it); 30 % of the entries are pictures of the four types, the rest
are text, markup and other files. An entry is anything listed in a folder,
files and subfolders alike, so entries = files + folders - 1.

Pictures are valid files: PNG, GIF and BMP are written here; JPEGs are patched
from the baseline and progressive templates in templates/ (see
templates/make_templates.sh), some with a large EXIF block (holding its own
thumbnail JPEG) and an ICC block before the frame header, so the frame header
of those lies 8 KB to 120 KB into the file.

A manifest DEST.json beside the tree records the counts; it is written last, so
a tree without it is incomplete. Standard library only.
"""

import argparse
import json
import os
import random
import struct
import sys
import time
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
TEMPLATES = os.path.join(HERE, "templates")

# ---------------------------------------------------------------- JPEG

SOF_MARKERS = {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF}


def jpeg_segments(data):
    """Returns (offset of the SOF segment, offset and length of a leading APP0)."""
    if data[:2] != b"\xff\xd8":
        raise ValueError("not a JPEG")
    i = 2
    app0 = None
    while i + 4 <= len(data):
        if data[i] != 0xFF:
            raise ValueError("bad marker at %d" % i)
        marker = data[i + 1]
        length = struct.unpack(">H", data[i + 2:i + 4])[0]
        if marker == 0xE0 and app0 is None:
            app0 = (i, length + 2)
        if marker in SOF_MARKERS:
            return i, app0
        if marker == 0xDA:
            break
        i += 2 + length
    raise ValueError("no frame header")


class JpegTemplate:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        sof, app0 = jpeg_segments(self.data)
        self.sof = sof
        self.height, self.width = struct.unpack(">HH", self.data[sof + 5:sof + 9])
        # Everything after SOI and JFIF APP0, to put an EXIF block in front of.
        start = app0[0] + app0[1] if app0 and app0[0] == 2 else 2
        self.body_offset = start
        self.progressive = self.data[sof + 1] == 0xC2

    def make(self, width, height, prefix=b""):
        """The template with its frame size set and `prefix` segments after SOI.

        The templates use 1x1 sampling, so a size within the same count of
        8-pixel blocks keeps the coded data exact: a decoder only crops.
        """
        assert (width + 7) // 8 == (self.width + 7) // 8 and (height + 7) // 8 == (self.height + 7) // 8
        body = bytearray(self.data[self.body_offset:])
        sof = self.sof - self.body_offset
        struct.pack_into(">HH", body, sof + 5, height, width)
        return b"\xff\xd8" + prefix + bytes(body)


def exif_block(size, thumbnail, rng):
    """An APP1 EXIF segment of `size` bytes in all: a little TIFF with IFD0
    (orientation and a maker note of filler) and IFD1 pointing at a thumbnail
    JPEG, whose own frame header a marker scanner would trip over."""
    size = min(size, 65537)
    payload_len = size - 4  # marker and length field
    tiff_len = payload_len - 6  # "Exif\0\0"
    ifd0 = 8
    ifd0_len = 2 + 2 * 12 + 4
    ifd1 = ifd0 + ifd0_len
    ifd1_len = 2 + 3 * 12 + 4
    thumb = ifd1 + ifd1_len
    note = thumb + len(thumbnail)
    note_len = tiff_len - note
    assert note_len > 0
    t = bytearray(b"II*\x00" + struct.pack("<I", ifd0))
    t += struct.pack("<H", 2)
    t += struct.pack("<HHII", 0x0112, 3, 1, 1)  # Orientation = 1
    t += struct.pack("<HHII", 0x927C, 7, note_len, note)  # MakerNote
    t += struct.pack("<I", ifd1)
    t += struct.pack("<H", 3)
    t += struct.pack("<HHII", 0x0103, 3, 1, 6)  # Compression = JPEG
    t += struct.pack("<HHII", 0x0201, 4, 1, thumb)
    t += struct.pack("<HHII", 0x0202, 4, 1, len(thumbnail))
    t += struct.pack("<I", 0)
    t += thumbnail
    t += rng.randbytes(note_len)
    assert len(t) == tiff_len
    return b"\xff\xe1" + struct.pack(">H", payload_len + 2) + b"Exif\x00\x00" + bytes(t)


def icc_block(size, rng):
    """An APP2 segment shaped like one chunk of an ICC profile."""
    size = min(size, 65537)
    data_len = size - 4 - 14
    return (b"\xff\xe2" + struct.pack(">H", size - 2) + b"ICC_PROFILE\x00\x01\x01" + rng.randbytes(data_len))


# ---------------------------------------------------------------- PNG

ADAM7 = ((0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2))


def png_chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def make_png(w, h, rng):
    color_type = rng.choice((0, 2, 2, 3, 6))
    channels = {0: 1, 2: 3, 3: 1, 6: 4}[color_type]
    interlace = 1 if rng.random() < 0.25 else 0
    a, b, c = rng.randrange(1, 9), rng.randrange(1, 9), rng.randrange(256)

    def pixel(x, y):
        v = (x * a + y * b + c) & 0xFF
        if color_type == 3:
            return bytes((v & 0x3F,))
        return bytes(((v + k * 85) & 0xFF for k in range(channels - (color_type == 6)))) + (
            b"\xff" if color_type == 6 else b"")

    raw = bytearray()
    passes = ADAM7 if interlace else ((0, 0, 1, 1),)
    for x0, y0, dx, dy in passes:
        xs = range(x0, w, dx)
        if not xs:
            continue
        for y in range(y0, h, dy):
            raw.append(0)  # filter: none
            for x in xs:
                raw += pixel(x, y)
    out = bytearray(b"\x89PNG\r\n\x1a\n")
    out += png_chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, color_type, 0, 0, interlace))
    if rng.random() < 0.5:
        out += png_chunk(b"pHYs", struct.pack(">IIB", 2835, 2835, 1))
    if color_type == 3:
        out += png_chunk(b"PLTE", bytes((i * 4) & 0xFF for i in range(64) for _ in range(3)))
    compressed = zlib.compress(bytes(raw), 6)
    if rng.random() < 0.3 and len(compressed) > 2:
        half = len(compressed) // 2
        out += png_chunk(b"IDAT", compressed[:half]) + png_chunk(b"IDAT", compressed[half:])
    else:
        out += png_chunk(b"IDAT", compressed)
    out += png_chunk(b"IEND", b"")
    return bytes(out)


# ---------------------------------------------------------------- GIF


def lzw_9bit(pixels):
    """LZW data at code size 8 that never grows the code table past 9 bits:
    a clear code every 250 literals keeps every code 9 bits wide."""
    clear, end = 256, 257
    codes = []
    for i in range(0, len(pixels), 250):
        codes.append(clear)
        codes.extend(pixels[i:i + 250])
    codes.append(end)
    out = bytearray()
    acc = bits = 0
    for code in codes:
        acc |= code << bits
        bits += 9
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        out.append(len(part))
        out += part
    out.append(0)
    return bytes(out)


def make_gif(w, h, rng):
    v89 = rng.random() < 0.7
    out = bytearray(b"GIF89a" if v89 else b"GIF87a")
    out += struct.pack("<HHBBB", w, h, 0xF7, 0, 0)  # global table of 256 colours
    out += bytes((i * 7 + k * 60) & 0xFF for i in range(256) for k in range(3))
    if v89:
        out += b"\x21\xf9\x04\x00\x0a\x00\x00\x00"  # graphic control
        if rng.random() < 0.3:
            out += b"\x21\xfe" + sub_blocks(b"made for the benchmark")
    interlaced = rng.random() < 0.2
    out += b"\x2c" + struct.pack("<HHHHB", 0, 0, w, h, 0x40 if interlaced else 0)
    a, b = rng.randrange(1, 7), rng.randrange(1, 7)
    pixels = [(x * a + y * b) & 0xFF for y in range(h) for x in range(w)]
    out += b"\x08" + sub_blocks(lzw_9bit(pixels))
    out += b"\x3b"
    return bytes(out)


# ---------------------------------------------------------------- BMP


def make_bmp(w, h, rng):
    kind = rng.choice(("info24", "info24", "topdown24", "info8", "core24", "v4_24"))
    bpp = 8 if kind == "info8" else 24
    row = ((w * bpp + 31) // 32) * 4
    a, b = rng.randrange(1, 9), rng.randrange(1, 9)
    pixels = bytearray()
    for y in range(h):
        line = bytearray()
        for x in range(w):
            v = (x * a + y * b) & 0xFF
            line += bytes((v,)) if bpp == 8 else bytes((v, 255 - v, (v * 3) & 0xFF))
        pixels += line + b"\x00" * (row - len(line))
    if kind == "core24":
        header = struct.pack("<IHHHH", 12, w, h, 1, 24)
        palette = b""
    else:
        size = 108 if kind == "v4_24" else 40
        height = -h if kind == "topdown24" else h
        header = struct.pack("<IiiHHIIiiII", size, w, height, 1, bpp, 0, len(pixels), 2835, 2835,
                             256 if bpp == 8 else 0, 0)
        header += b"\x00" * (size - 40)
        palette = bytes(c for i in range(256) for c in (i, i, i, 0)) if bpp == 8 else b""
    offset = 14 + len(header) + len(palette)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + palette + bytes(pixels)


# ---------------------------------------------------------------- names

FOLDER_NAMES = [
    "{y}", "{y}-{m:02d}", "{y}-{m:02d} Okinawa", "{y} Summer", "Holiday Photos {n}", "写真", "写真 {y}",
    "家族旅行 {y}", "運動会", "卒業式 {y}", "Scans", "DCIM", "{n}CANON", "{n}NIKON", "Wedding & Party",
    "Misc", "Album {n}", "Kids", "お気に入り", "Screenshots", "Birthday {y}", "Café trip", "New Folder",
    "Backup {y}-{m:02d}-{d:02d}", "RAW", "Edited", "Mom's camera", "Tokyo 東京", "Garden", "Work",
]

PICTURE_NAMES = [
    "IMG_{n:04d}", "IMG_{n:04d}", "DSC{n:05d}", "DSCN{n:04d}", "P{y}{m:02d}{d:02d}_{n:04d}", "写真 {n}",
    "スクリーンショット {y}-{m:02d}-{d:02d} {h}.{mi:02d}.{s:02d}", "Holiday Photo ({n})", "family_{n}",
    "Scan {n:03d}", "アニメ{n}", "Café menu {n}", "My Picture #{n}", "Mom's birthday {n}", "image{n}",
    "Photo {y}-{m:02d}-{d:02d} {n}", "thumb_{n}", "WEDDING {n:03d}", "さくら {n}", "Beach & Sun {n}",
]

OTHER_NAMES = [
    "notes {n}", "README", "memo_{n}", "レシピ {n}", "Invoice {y}-{m:02d}", "report {n}", "index{n}",
    "Letter to Grandma", "video_{n:04d}", "backup{n}", "Thumbs", "desktop", "旅行の予定 {n}", "List #{n}",
]

# Endings of pictures by type, with the JPEG variants the classification accepts.
PICTURE_EXT = {
    "jpg": [".jpg", ".JPG", ".jpg", ".JPG", ".jpeg", ".JPEG", ".jpe", ".Jpg"],
    "png": [".png", ".PNG"],
    "gif": [".gif", ".GIF"],
    "bmp": [".bmp", ".BMP"],
}
OTHER_EXT = [".txt", ".txt", ".html", ".htm", ".doc", ".pdf", ".mp4", ".MOV", ".zip", ".xml", ".db", ".ini",
             ".tif", ".heic", ".webp", ".jfif", ".CR2", ".json", ".jpeg.txt", ".mp3", ""]


def render(pattern, rng):
    return pattern.format(n=rng.randrange(1, 10000), y=rng.randrange(1998, 2025), m=rng.randrange(1, 13),
                          d=rng.randrange(1, 29), h=rng.randrange(0, 24), mi=rng.randrange(60), s=rng.randrange(60))


def unique(name, ext, used):
    """Makes `name + ext` unique in its folder, ignoring letter case so the tree
    also copies onto a file system that ignores it."""
    candidate = name + ext
    k = 2
    while candidate.lower() in used:
        candidate = "%s (%d)%s" % (name, k, ext)
        k += 1
    used.add(candidate.lower())
    return candidate


# ---------------------------------------------------------------- the tree


def plan_folders(count, big_folders, big_size, files, rng):
    """Parents of folders 1..count-1 (folder 0 is the root) and the number of
    files in each folder."""
    parents = [-1]
    for i in range(1, count):
        hi = i // 8
        parents.append(rng.randrange(max(0, hi - 2), hi + 1))
    has_child = set(parents[1:])
    leaves = [i for i in range(1, count) if i not in has_child]
    if big_folders > len(leaves):
        sys.exit("make_tree: not enough folders for %d big folders" % big_folders)
    big = set(rng.sample(leaves, big_folders))
    per_folder = [0] * count
    rest = files - big_size * len(big)
    if rest < 0:
        sys.exit("make_tree: the big folders need more entries than --entries gives")
    for i in big:
        per_folder[i] = big_size
    small = [i for i in range(count) if i not in big]
    if small:
        weights = [rng.expovariate(1.0) + 0.05 for _ in small]
        total = sum(weights)
        shares = [int(rest * w / total) for w in weights]
        for k in range(rest - sum(shares)):
            shares[k % len(shares)] += 1
        for i, share in zip(small, shares):
            per_folder[i] = share
    elif rest:
        sys.exit("make_tree: no folder left for the remaining entries")
    return parents, per_folder


class PictureMaker:
    def __init__(self, rng):
        self.rng = rng
        names = sorted(os.listdir(TEMPLATES))
        self.baseline = [JpegTemplate(os.path.join(TEMPLATES, n)) for n in names if n.startswith("baseline-")]
        self.progressive = [JpegTemplate(os.path.join(TEMPLATES, n)) for n in names if n.startswith("progressive-")]
        if not self.baseline or not self.progressive:
            sys.exit("make_tree: JPEG templates missing in " + TEMPLATES)
        thumb = min(self.baseline, key=lambda t: len(t.data))
        thumbnail = thumb.make(thumb.width, thumb.height)
        # A few EXIF and ICC blocks, shared by many files.
        self.exif = [exif_block(rng.randrange(8 * 1024, 65 * 1024), thumbnail, rng) for _ in range(12)]
        self.icc = [icc_block(rng.randrange(3 * 1024, 60 * 1024), rng) for _ in range(4)]
        # Pools of PNG, GIF and BMP files of varied sizes.
        size = lambda: (rng.randrange(8, 129), rng.randrange(8, 97))
        self.pool = {
            "png": [make_png(*size(), rng) for _ in range(97)],
            "gif": [make_gif(*size(), rng) for _ in range(61)],
            "bmp": [make_bmp(*size(), rng) for _ in range(53)],
        }

    def jpeg(self):
        rng = self.rng
        template = rng.choice(self.progressive if rng.random() < 0.3 else self.baseline)
        prefix = b""
        if rng.random() < 0.2:  # one in five carries camera metadata
            prefix = rng.choice(self.exif)
            if rng.random() < 0.4:
                prefix += rng.choice(self.icc)
        w = template.width - rng.randrange(8)
        h = template.height - rng.randrange(8)
        return template.make(w, h, prefix)

    def make(self, kind):
        return self.jpeg() if kind == "jpg" else self.rng.choice(self.pool[kind])


def other_blob(rng):
    text = "".join("line %d of a note that is not a picture\n" % i for i in range(80)).encode()
    html = ("<html><head><title>page</title></head><body>%s</body></html>\n" % ("<p>text</p>" * 100)).encode()
    return [b"", text, html, rng.randbytes(4096)]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("dest", help="folder to create (must not exist or be empty)")
    ap.add_argument("--entries", type=int, default=100_000, help="entries below the root, files and folders")
    ap.add_argument("--folders", type=int, default=1_001, help="folders including the root")
    ap.add_argument("--pictures-ratio", type=float, default=0.3, help="share of the entries that are pictures")
    ap.add_argument("--big-folders", type=int, default=0, help="number of huge leaf folders")
    ap.add_argument("--big-size", type=int, default=50_000, help="entries in each huge folder")
    ap.add_argument("--seed", type=int, default=1)
    args = ap.parse_args()

    files = args.entries - (args.folders - 1)
    if args.folders < 1 or files < 0:
        sys.exit("make_tree: --entries must be at least --folders - 1")
    pictures = min(files, round(args.entries * args.pictures_ratio))
    dest = os.path.abspath(args.dest)
    if os.path.exists(dest) and os.listdir(dest):
        sys.exit("make_tree: %s exists and is not empty" % dest)
    manifest_path = dest.rstrip("/") + ".json"
    if os.path.exists(manifest_path):
        os.remove(manifest_path)

    rng = random.Random(args.seed)
    started = time.monotonic()
    parents, per_folder = plan_folders(args.folders, args.big_folders, args.big_size, files, rng)
    maker = PictureMaker(rng)
    blobs = other_blob(rng)

    # Folders first, so every parent exists.
    os.makedirs(dest, exist_ok=True)
    paths = [dest]
    used = [set() for _ in range(args.folders)]
    for i in range(1, args.folders):
        name = unique(render(rng.choice(FOLDER_NAMES), rng), "", used[parents[i]])
        paths.append(os.path.join(paths[parents[i]], name))
        os.mkdir(paths[i])
    # The root never holds the names a catalogue writes, so runs can clean up after themselves.
    used[0].update(("kavo", "index.html"))

    counts = {"jpg": 0, "gif": 0, "bmp": 0, "png": 0}
    kinds = ["jpg"] * 60 + ["png"] * 20 + ["gif"] * 10 + ["bmp"] * 10
    left_files, left_pictures, written = files, pictures, 0
    flags = os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0)
    for i in range(args.folders):
        fd = os.open(paths[i], os.O_RDONLY | getattr(os, "O_DIRECTORY", 0))
        try:
            for _ in range(per_folder[i]):
                # Exactly `pictures` of the files are pictures, spread evenly at random.
                if rng.random() * left_files < left_pictures:
                    kind = rng.choice(kinds)
                    counts[kind] += 1
                    left_pictures -= 1
                    name = unique(render(rng.choice(PICTURE_NAMES), rng), rng.choice(PICTURE_EXT[kind]), used[i])
                    data = maker.make(kind)
                else:
                    name = unique(render(rng.choice(OTHER_NAMES), rng), rng.choice(OTHER_EXT), used[i])
                    blob = rng.choice(blobs)
                    data = blob[:rng.randrange(len(blob) + 1)]
                left_files -= 1
                out = os.open(name, flags, 0o644, dir_fd=fd)
                try:
                    os.write(out, data)
                finally:
                    os.close(out)
                written += 1
                if written % 100_000 == 0:
                    print("make_tree: %d of %d files" % (written, files), file=sys.stderr)
        finally:
            os.close(fd)
        used[i] = None  # names are needed only while their folder is filled

    manifest = {
        "entries": args.entries, "folders": args.folders, "files": files, "pictures": pictures, "types": counts,
        "big_folders": args.big_folders, "big_size": args.big_size, "seed": args.seed,
        "seconds": round(time.monotonic() - started, 1),
    }
    with open(manifest_path, "w") as f:
        json.dump(manifest, f, indent=1)
        f.write("\n")
    print("make_tree: %s: %d entries, %d folders, %d pictures (%s) in %.1f s" %
          (dest, args.entries, args.folders, pictures, ", ".join("%s %d" % kv for kv in counts.items()),
           manifest["seconds"]), file=sys.stderr)


if __name__ == "__main__":
    main()
