#!/usr/bin/env python3
"""Checks the shipped images and pages: what the window's layout and the top buttons rely on.

    check-resources.py [SOURCE_DIR]     (default: the repository this file lies in)

Images: every file drui.qrc lists exists, has the size the layouts derive widget sizes from, and
is a PNG with an alpha channel and transparent corners; logo.ico holds 16, 32 and 48 px; the
desktop icon exists at every hicolor size and as SVG; when the real ImageMagick is installed, the
committed images and icons are what make-images.sh draws now.
Desktop files: the metainfo's newest release is the program's version.
Pages: the pages the top buttons open exist, load nothing from outside (no scripts, style sheets,
images or fonts from elsewhere), every link between them reaches an existing page and anchor, their
tags are balanced, and the version they show is the program's.
Exits 0 when all holds, 1 with one line per fault otherwise.
"""
import html.parser
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import zlib

SRC = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", ".."))
RES = os.path.join(SRC, "src", "resources")
faults = []

# The layouts take widget sizes from these: the home tiles are as big as their images, the top
# buttons are the image size / 2.5.
SIZES = {"rec.png": (128, 128), "edit.png": (128, 128), "cut_main.png": (128, 128), "folder.png": (48, 37)}
DEFAULT_SIZE = (48, 48)
ICO_SIZES = {16, 32, 48}
ICON_NAME = "org.vistrel.Vistrel"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)


def expected_size(rel):
    """The size a listed image must have: an icon's from its hicolor folder (NxN), else by name."""
    hicolor = re.search(r"/(\d+)x(\d+)/apps/", rel)
    if hicolor:
        return int(hicolor.group(1)), int(hicolor.group(2))
    return SIZES.get(os.path.basename(rel), DEFAULT_SIZE)


def read_png(path):
    """Returns (width, height, colour type, rows of RGBA or other pixels as bytes) of an 8-bit PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, ihdr = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            ihdr = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    width, height, depth, ctype, _, _, interlace = ihdr
    if depth != 8 or ctype != 6 or interlace:
        return width, height, ctype, None
    raw, bpp, stride = zlib.decompress(idat), 4, width * 4
    rows, prev, i = [], bytearray(stride), 0
    for _ in range(height):
        ftype, line = raw[i], bytearray(raw[i + 1:i + 1 + stride])
        i += 1 + stride
        for x in range(stride):
            a = line[x - bpp] if x >= bpp else 0
            b, c = prev[x], (prev[x - bpp] if x >= bpp else 0)
            if ftype == 1:
                line[x] = (line[x] + a) & 255
            elif ftype == 2:
                line[x] = (line[x] + b) & 255
            elif ftype == 3:
                line[x] = (line[x] + (a + b) // 2) & 255
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[x] = (line[x] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append(bytes(line))
        prev = line
    return width, height, ctype, rows


def check_images():
    with open(os.path.join(RES, "drui.qrc"), encoding="utf-8") as f:
        files = re.findall(r"<file[^>]*>([^<]+)</file>", f.read())
    if not files:
        faults.append("drui.qrc lists no files")
    for rel in files:
        path, name = os.path.join(RES, rel), os.path.basename(rel)
        if not os.path.isfile(path):
            faults.append(f"{rel}: listed in drui.qrc but missing")
        elif name.endswith(".ico"):
            check_ico(path, rel)
        else:
            check_png(path, rel, expected_size(rel))
    for size in ICON_SIZES:
        rel = f"icons/hicolor/{size}x{size}/apps/{ICON_NAME}.png"
        if not os.path.isfile(os.path.join(RES, rel)):
            faults.append(f"{rel}: the desktop icon is missing at {size} px")
        elif rel not in files:
            check_png(os.path.join(RES, rel), rel, (size, size))
    svg = os.path.join(RES, "icons", "hicolor", "scalable", "apps", ICON_NAME + ".svg")
    if not os.path.isfile(svg) or "<svg" not in open(svg, encoding="utf-8").read():
        faults.append(f"icons/hicolor/scalable/apps/{ICON_NAME}.svg: the scalable icon is missing")


def check_png(path, rel, size):
    try:
        w, h, ctype, rows = read_png(path)
    except (ValueError, TypeError, zlib.error, struct.error) as e:
        faults.append(f"{rel}: unreadable PNG ({e})")
        return
    if (w, h) != size:
        faults.append(f"{rel}: {w}x{h}, the layout needs {size[0]}x{size[1]}")
    if rows is None:
        faults.append(f"{rel}: not 8-bit RGBA (colour type {ctype}); icons need an alpha channel")
        return
    corners = [rows[0][3], rows[0][-1], rows[-1][3], rows[-1][-1]]
    if any(corners):
        faults.append(f"{rel}: corners are not transparent, the image would show a box on its background")


def check_ico(path, rel):
    with open(path, "rb") as f:
        data = f.read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if reserved != 0 or kind != 1:
        faults.append(f"{rel}: not an icon file")
        return
    sizes = {data[6 + 16 * i] or 256 for i in range(count)}
    if not ICO_SIZES <= sizes:
        faults.append(f"{rel}: holds {sorted(sizes)} px, needs {sorted(ICO_SIZES)}")


def check_images_match_script():
    convert, compare = "/usr/bin/convert", "/usr/bin/compare"
    if not (os.path.exists(convert) and os.path.exists(compare)):
        print("note: ImageMagick not installed, images not compared with make-images.sh")
        return
    image_dir = os.path.join(RES, "image")
    with tempfile.TemporaryDirectory() as tmp:
        icons = os.path.join(tmp, "icons", "hicolor")
        env = dict(os.environ, VISTREL_IMAGE_OUT=tmp, VISTREL_ICON_OUT=icons)
        run = subprocess.run([os.path.join(image_dir, "make-images.sh")], env=env, capture_output=True, text=True)
        if run.returncode != 0:
            faults.append(f"make-images.sh failed: {run.stderr.strip()}")
            return
        drawn = [(f"image/{n}", os.path.join(tmp, n)) for n in os.listdir(tmp) if n.endswith(".png")]
        for folder, _, names in os.walk(icons):
            drawn += [(os.path.relpath(os.path.join(folder, n), tmp), os.path.join(folder, n)) for n in names]
        for rel, made in sorted(drawn):
            committed = os.path.join(RES, rel)
            if not os.path.isfile(committed):
                faults.append(f"{rel}: drawn by make-images.sh but not committed")
                continue
            if rel.endswith(".svg"):
                if open(made, encoding="utf-8").read() != open(committed, encoding="utf-8").read():
                    faults.append(f"{rel}: differs from what make-images.sh writes; run the script and commit it")
                continue
            # A little fuzz: another ImageMagick build may round edges differently.
            cmp = subprocess.run([compare, "-metric", "AE", "-fuzz", "3%", committed, made, "null:"],
                                 capture_output=True, text=True)
            differing = cmp.stderr.strip().split()[0] if cmp.stderr.strip() else "?"
            if cmp.returncode != 0 or differing not in ("0", "0.0"):
                faults.append(f"{rel}: differs from what make-images.sh draws ({differing} px); "
                              "run the script and commit its output")


class PageParser(html.parser.HTMLParser):
    VOID = {"meta", "br", "img", "input", "link", "hr", "rect", "circle", "polygon", "path", "source"}

    def __init__(self):
        super().__init__()
        self.ids, self.links, self.stack, self.errors, self.text = set(), [], [], [], []
        self.unbalanced = False

    def handle_starttag(self, tag, attrs):
        attrs = dict(attrs)
        if "id" in attrs:
            self.ids.add(attrs["id"])
        if tag == "a" and "href" in attrs:
            self.links.append(attrs["href"])
        if tag in ("script", "link", "img", "iframe", "object", "embed") or "src" in attrs:
            self.errors.append(f"<{tag}> loads or embeds a resource")
        if tag not in self.VOID:
            self.stack.append((tag, self.getpos()[0]))

    def handle_startendtag(self, tag, attrs):
        self.handle_starttag(tag, attrs)
        if tag not in self.VOID:
            self.stack.pop()

    def handle_endtag(self, tag):
        if tag in self.VOID or self.unbalanced:
            return
        if not self.stack or self.stack[-1][0] != tag:
            # Everything after the first mismatch would be reported again: one fault is enough.
            opened = self.stack[-1] if self.stack else ("nothing", 0)
            self.errors.append(f"</{tag}> at line {self.getpos()[0]} closes <{opened[0]}> of line {opened[1]}")
            self.unbalanced = True
            return
        self.stack.pop()

    def handle_data(self, data):
        self.text.append(data)


def check_pages():
    with open(os.path.join(SRC, "src", "app", "URLConfig.h"), encoding="utf-8") as f:
        pages = re.findall(r'"doc/([^"]+\.html)"', f.read())
    with open(os.path.join(SRC, "src", "app", "Style.cpp"), encoding="utf-8") as f:
        version = re.search(r'Version_label\s*=\s*QStringLiteral\("Version ([^"]+)"\)', f.read())
    version = version.group(1) if version else None
    if not pages:
        faults.append("URLConfig.h names no shipped page")
    doc = os.path.join(RES, "doc")
    parsed = {}
    for name in sorted(set(pages) | {n for n in os.listdir(doc) if n.endswith(".html")}):
        path = os.path.join(doc, name)
        if not os.path.isfile(path):
            faults.append(f"doc/{name}: opened by a top button but missing")
            continue
        with open(path, encoding="utf-8") as f:
            source = f.read()
        parser = PageParser()
        parser.feed(source)
        parser.close()
        parsed[name] = parser
        faults.extend(f"doc/{name}: {e}" for e in parser.errors)
        if not parser.unbalanced:
            faults.extend(f"doc/{name}: <{t}> of line {line} never closed" for t, line in parser.stack)
        if re.search(r"url\s*\(|@import|@font-face", source, re.I):
            faults.append(f"doc/{name}: style sheet loads from outside")
        if version and f"Version {version}" not in "".join(parser.text):
            faults.append(f"doc/{name}: does not show the program's version ({version})")
    for name, parser in parsed.items():
        for href in parser.links:
            if re.match(r"[a-z]+:", href):
                continue
            target, _, anchor = href.partition("#")
            target = target or name
            if target not in parsed:
                faults.append(f"doc/{name}: link {href} leads to a missing page")
            elif anchor and anchor not in parsed[target].ids:
                faults.append(f"doc/{name}: link {href} leads to a missing anchor")


def check_metainfo():
    with open(os.path.join(SRC, "src", "app", "Style.cpp"), encoding="utf-8") as f:
        version = re.search(r'Version_label\s*=\s*QStringLiteral\("Version ([^"]+)"\)', f.read())
    with open(os.path.join(RES, "desktop", ICON_NAME + ".metainfo.xml"), encoding="utf-8") as f:
        release = re.search(r'<release\s+version="([^"]+)"', f.read())
    if version and (not release or release.group(1) != version.group(1)):
        faults.append(f"desktop/{ICON_NAME}.metainfo.xml: newest release is not the program's version "
                      f"({version.group(1)})")


check_images()
check_images_match_script()
check_pages()
check_metainfo()
for fault in faults:
    print("FAIL:", fault)
print("resources: ok" if not faults else f"resources: {len(faults)} fault(s)")
sys.exit(1 if faults else 0)
