#!/usr/bin/python3
"""End-to-end: kavo-cli over a tree of names anybody could choose.

For every page written: it decodes as CP932 and parses as HTML, no element,
attribute or text exists that a name put there, and every picture address and
link address, decoded as a browser decodes it, resolves to the entry it names.

Usage: hostile_names_test.py KAVO_CLI [unittest options]
"""
import collections
import html.parser
import os
import pathlib
import re
import shutil
import stat
import subprocess
import sys
import tempfile
import unittest
import urllib.parse

KAVO_CLI = None
HERE = os.path.dirname(os.path.abspath(__file__))
with open(os.path.join(HERE, "..", "data", "pictures", "plain.png"), "rb") as f:
    PICTURE = f.read()

# Tags and attributes the writer itself puts on its pages.
PAGE_TAGS = {
    "html": set(), "head": set(), "title": set(), "br": set(), "tr": set(), "td": set(),
    "link": {"rev", "rel", "href"}, "meta": {"http-equiv", "content", "name"},
    "body": {"alink", "bgcolor", "link", "text", "vlink"}, "p": {"align"}, "a": {"href"},
    "img": {"src", "width", "height", "align", "border", "alt"}, "table": {"border", "align"},
}
FRAME_TAGS = dict(PAGE_TAGS)
FRAME_TAGS.update({
    "a": {"href", "target", "onclick"}, "b": set(), "center": set(), "dl": set(), "dt": set(),
    "font": {"color", "id", "size", "style"}, "frame": {"marginheight", "marginwidth", "name", "scrolling", "src"},
    "frameset": {"border", "cols", "frameborder", "framespacing", "rows"}, "noframes": set(),
    "script": {"language"}, "span": {"onclick", "style"}, "form": {"name", "action", "method", "onsubmit"},
    "input": {"type", "name", "value", "size", "maxlength", "onclick", "onchange"},
    "body": {"alink", "bgcolor", "leftmargin", "link", "text", "topmargin", "vlink", "background"},
})

# Entries of the main tree, relative to the chosen folder. Files hold a real
# PNG whatever their ending, so that sizes are read through every name.
FILES = [
    b'"><img src=x onerror=alert(1)>.jpg',
    b"it's 'quoted'.png",
    b"#1.gif",
    b"100%.bmp",
    b"%41%2F%2e%2e.jpg",
    b"what?.png",
    b"  both ends  .jpg",
    b".leading dot.png",
    b"a" * 251 + b".jpg",
    "写".encode() * 83 + b".jpg",
    b"caf\xe9.jpg",
    b"\xff\xfe.png",
    b"cut \xe6\x97.gif",
    "é à ü.jpg".encode(),
    "한국어.png".encode(),
    "😀 emoji.gif".encode(),
    "Ærø.bmp".encode(),
    b"line\nbreak.jpg",
    b"carriage\rreturn.png",
    b"tab\there.gif",
    b"ctrl\x01\x1f\x7f.bmp",
    b"back\\slash.jpg",
    b"semi;colon,comma=eq+plus.jpg",
    b"a & b.jpg",
    b"  trip  /in.jpg",
    b'<dir> "q" #?%/x.png',
    b"dir\x80\xfe/y.png",
    b"new\nline\tdir/z.gif",
    "ßü한😀 ".encode() + b"/w.bmp",
    b"b" * 255 + b"/long.png",
    b"Album.jpg/inside.png",
    b".hidden/h.jpg",
    b"kavo/images/ball1.gif",
    b"notes.txt",
    b"trailing.jpg ",
]
EMPTY_FILES = [b"empty.jpg"]
LINKS = {  # name: target
    b"link.jpg": b"it's 'quoted'.png",
    b"dangling.jpg": b"nowhere",
    b"dirlink.jpg": b"  trip  ",
}
ROOT_NAME = b"Root \"<b>\" & '#%? \xe9 " + "한😀".encode() + b" "

# Names that the markup leaves alone: `&` stays as written, so whatever the
# HTML parser reads as a character reference changes the address.
AMPERSAND_FILES = [b"a&amp;b.jpg", b"x&#65;.jpg", b"a&copy.jpg", b"&lt.png"]

# One level of the deep tree; 25 of them make more than 4,096 bytes of path.
DEEP_LEVEL = b"d" * 200
DEEP_LEVELS = 25


def classify(name):
    """The classification rule: the last four bytes, ASCII case ignored."""
    ending = name[-4:].lower()
    if ending in (b".jpg", b"jpeg", b".jpe"):
        return "jpg"
    if ending == b".gif":
        return "gif"
    if ending in (b".bmp", b".png"):
        return ending[1:].decode()
    return None


def is_support(path):
    tail = path[-21:].lower()
    return any(tail == b"kavo/images/" + n + b".gif"
               for n in (b"ball1", b"logo1", b"next1", b"next2", b"next3", b"prev1", b"prev2", b"prev3", b"rect1"))


def open_dir(path):
    """Opens a folder one level at a time, so paths beyond PATH_MAX work."""
    fd = os.open(b"/", os.O_RDONLY | os.O_DIRECTORY)
    for part in path.strip(b"/").split(b"/"):
        if not part:
            continue
        try:
            nfd = os.open(part, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
        finally:
            os.close(fd)
        fd = nfd
    return fd


def lexists(path):
    parent, name = os.path.split(path.rstrip(b"/"))
    try:
        fd = open_dir(parent)
    except OSError:
        return False
    try:
        if not name:
            return True
        os.stat(name, dir_fd=fd, follow_symlinks=False)
        return True
    except OSError:
        return False
    finally:
        os.close(fd)


def list_dir(path):
    fd = open_dir(path)
    try:
        return [os.fsencode(n) for n in os.listdir(fd)]
    finally:
        os.close(fd)


def mode_is(path, test):
    """Whether the entry at the path, followed through links, passes `test`."""
    parent, name = os.path.split(path.rstrip(b"/"))
    try:
        fd = open_dir(parent)
    except OSError:
        return False
    try:
        return test(os.stat(name, dir_fd=fd).st_mode)
    except OSError:
        return False
    finally:
        os.close(fd)


def is_dir(path):
    return mode_is(path, stat.S_ISDIR)


def is_file(path):
    """A regular file, or a link that leads to one: only these are pictures."""
    return mode_is(path, stat.S_ISREG)


def expected_entries(root):
    """Every path the walk reaches that names a picture and is a file: folders
    in name order, each folder once, by the first way that reaches it."""
    found = collections.Counter()
    seen = set()

    def walk(folder):
        fd = open_dir(folder)
        st = os.fstat(fd)
        os.close(fd)
        if (st.st_dev, st.st_ino) in seen:
            return
        seen.add((st.st_dev, st.st_ino))
        names = sorted(list_dir(folder), key=lambda n: (n.upper(), n))
        for name in names:
            kind = classify(name)
            if kind and not (kind == "gif" and is_support(folder + b"/" + name)) and is_file(folder + b"/" + name):
                found[folder + b"/" + name] += 1
        for name in names:
            if not name.startswith(b".") and is_dir(folder + b"/" + name):
                walk(folder + b"/" + name)

    walk(root)
    return found


def make_file(root, relative, data):
    parent, name = os.path.split(relative)
    fd = open_dir(root)
    try:
        for part in parent.split(b"/") if parent else []:
            try:
                os.mkdir(part, dir_fd=fd)
            except FileExistsError:
                pass
            nfd = os.open(part, os.O_RDONLY | os.O_DIRECTORY, dir_fd=fd)
            os.close(fd)
            fd = nfd
        out = os.open(name, os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644, dir_fd=fd)
        os.write(out, data)
        os.close(out)
    finally:
        os.close(fd)


def browser_path(base_url, value):
    """The file a browser opens for an address: character references are already
    decoded by the parser; then the URL parser trims, drops tabs and line breaks,
    reads `\\` as `/`, resolves against the page and percent-decodes the path."""
    value = value.strip("".join(chr(c) for c in range(0x21)))
    value = re.sub("[\t\n\r]", "", value).replace("\\", "/")
    url = urllib.parse.urlsplit(urllib.parse.urljoin(base_url, value))
    if url.scheme != "file":
        return None, url
    return urllib.parse.unquote_to_bytes(url.path), url


class PageParser(html.parser.HTMLParser):
    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.tags = []
        self.text = []

    def handle_starttag(self, tag, attrs):
        self.tags.append((tag, attrs))

    def handle_startendtag(self, tag, attrs):
        self.tags.append((tag, attrs))

    def handle_data(self, data):
        self.text.append(data)


def drop_controls(text):
    # Python's parser drops references to C0/C1 controls that browsers keep.
    return "".join(c for c in text if not ((ord(c) < 0x20 and c not in "\t\n\r") or 0x7F <= ord(c) <= 0x9F))


def read_page(path):
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("cp932")  # strict: every byte must be CP932
    parser = PageParser()
    parser.feed(text)
    parser.close()
    return parser


class Catalogue:
    """A run of kavo-cli and what its pages say."""

    def __init__(self, test, root, args):
        self.test, self.root = test, root
        run = subprocess.run([KAVO_CLI, os.fsdecode(root)] + args, capture_output=True, timeout=300)
        test.assertEqual(run.returncode, 0, run.stderr.decode(errors="replace"))
        self.catalogue = root + b"/kavo"
        self.pages = sorted(n for n in os.listdir(self.catalogue) if re.fullmatch(rb"page\d{4,}\.html", n))
        self.placed = collections.Counter()  # picture path -> times placed
        self.links = []                       # (picture path, link path)

    def base(self, page):
        return pathlib.PurePosixPath(os.fsdecode(page)).as_uri()

    def check_markup(self, page, parser, allowed):
        for tag, attrs in parser.tags:
            self.test.assertIn(tag, allowed, f"{page!r}: element <{tag}>")
            for name, _ in attrs:
                self.test.assertIn(name, allowed[tag], f"{page!r}: attribute {name} on <{tag}>")

    def check_addresses(self, page, parser):
        """Every file address on a page leads to something that exists."""
        for tag, attrs in parser.tags:
            for name, value in attrs:
                if name in ("href", "src") and value is not None:
                    path, url = browser_path(self.base(page), value)
                    if path is None:
                        continue
                    self.test.assertFalse(url.query or url.fragment, f"{page!r}: {value!r} lost part of its name")
                    self.test.assertTrue(lexists(path), f"{page!r}: {value!r} leads to {path!r}, which is not there")

    def check_picture_pages(self, click):
        for number, name in enumerate(self.pages, 1):
            self.test.assertEqual(name, b"page%04d.html" % number, "pages are numbered without gaps")
            page = self.catalogue + b"/" + name
            parser = read_page(page)
            self.check_markup(page, parser, PAGE_TAGS)
            # Names go into attribute values only; text outside them is the writer's white space.
            self.test.assertEqual("".join(parser.text).strip(), "Kavo-Page%04d" % number,
                                  f"{page!r}: a name escaped into the text")
            self.check_addresses(page, parser)
            entries = 0
            link = None
            for tag, attrs in parser.tags:
                a = dict(attrs)
                if tag == "a":
                    link = a["href"]
                if tag != "img":
                    continue
                entries += 1
                path, _ = browser_path(self.base(page), a["src"])
                self.placed[path] += 1
                relative = path[len(self.root) + 1:]
                self.test.assertEqual(a["alt"], drop_controls("%03d : " % entries + relative.decode("utf-8", "replace")))
                if click != "no":
                    self.links.append((path, browser_path(self.base(page), link)[0]))
            self.test.assertGreater(entries, 0, "no page is empty")

    def check_frames(self):
        allowed = FRAME_TAGS
        files = [self.catalogue + b"/" + n for n in (b"index.html", b"frame1.html", b"frame2.html")]
        files.append(self.root + b"/index.html")
        texts = {}
        for page in files:
            parser = read_page(page)
            self.check_markup(page, parser, allowed)
            self.check_addresses(page, parser)
            texts[page] = parser
        # The frames and the summary count exactly the pages on disk.
        tree = texts[files[1]]
        listed = [dict(a)["href"] for t, a in tree.tags if t == "a" and dict(a).get("target") == "frame3"]
        self.test.assertEqual(listed, [p.decode() for p in self.pages])
        summary = [t.strip() for t in texts[files[3]].text if t.strip()]
        self.test.assertEqual(summary[summary.index("ページ数") + 1], str(len(self.pages)))
        shown = os.path.basename(self.root.rstrip(b"/")).decode("utf-8", "replace")
        self.test.assertEqual(summary[summary.index("検索フォルダ") + 1], shown.strip())
        alts = [dict(a).get("alt") for t, a in tree.tags if t == "img"]
        self.test.assertIn(shown + "フォルダの検索結果", alts)

    def check_no_temporary_files(self):
        for folder, _, names in os.walk(self.root):
            for n in names:
                self.test.assertNotIn(b".kavo-tmp-", n, folder)


class HostileNames(unittest.TestCase):
    def setUp(self):
        self.tmp = os.fsencode(tempfile.mkdtemp(prefix="kavo-hostile-"))
        self.addCleanup(shutil.rmtree, self.tmp)
        self.root = self.tmp + b"/" + ROOT_NAME
        os.mkdir(self.root)

    def make_tree(self, files):
        for relative in files:
            make_file(self.root, relative, PICTURE)

    def check_run(self, args, click):
        expected = expected_entries(self.root)
        cat = Catalogue(self, self.root, args)
        cat.check_picture_pages(click)
        cat.check_frames()
        cat.check_no_temporary_files()
        self.assertEqual(dict(cat.placed), dict(expected), "every picture once per way to a folder walked once")
        for picture, link in cat.links:
            target = picture if click == "view" else os.path.dirname(picture)
            self.assertEqual(link.rstrip(b"/"), target.rstrip(b"/"), f"link of {picture!r}")
        return cat

    def test_every_address_resolves_to_the_entry_it_names(self):
        self.make_tree(FILES)
        for name in EMPTY_FILES:
            make_file(self.root, name, b"")
        for name, target in LINKS.items():
            os.symlink(target, self.root + b"/" + name)
        cat = self.check_run(["--click=view", "--per-page=7"], "view")
        self.assertGreater(len(cat.pages), 3)
        # The walk met every kind named .jpg: a link to a file and an empty file are pictures,
        # a folder, a dangling link and a link to a folder are not; the folder behind the
        # link is walked once, under its own name, which comes first in the walk.
        for name in (b"link.jpg", b"empty.jpg", b"  trip  /in.jpg", b"Album.jpg/inside.png"):
            self.assertIn(self.root + b"/" + name, cat.placed)
        for name in (b"Album.jpg", b"dangling.jpg", b"dirlink.jpg"):
            self.assertNotIn(self.root + b"/" + name, cat.placed)
        self.assertNotIn(self.root + b"/dirlink.jpg/in.jpg", cat.placed)
        self.assertNotIn(self.root + b"/.hidden/h.jpg", cat.placed)
        # Again over the first catalogue, as folder links in a table.
        self.check_run(["--click=folder", "--table=3", "--per-page=5"], "folder")

    def test_ampersand_names(self):
        """Addresses encode `&` as %26 and texts as &amp;, so a name the parser
        would read as holding a character reference (a&amp;b.jpg, x&#65;.jpg,
        a&copy.jpg) resolves and shows as it is."""
        self.make_tree(AMPERSAND_FILES)
        self.check_run(["--click=view"], "view")

    def test_nesting_deeper_than_path_max(self):
        """Paths longer than PATH_MAX (4,096 bytes) are listed and linked like any other."""
        deep = b"/".join([DEEP_LEVEL] * DEEP_LEVELS)
        self.make_tree([b"top.png", b"/".join([DEEP_LEVEL] * 10) + b"/middle.png", deep + b"/bottom.png"])
        self.assertGreater(len(self.root) + len(deep), 4096)
        self.check_run(["--click=view"], "view")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    KAVO_CLI = sys.argv[1]
    unittest.main(argv=[sys.argv[0]] + sys.argv[2:], verbosity=2)
