#!/usr/bin/python3
"""Checks the artwork, the desktop entry and the manual in the data folder.

    /usr/bin/python3 tools/art/check_art.py [--data DIR] [--preview DIR]

Reads the bitmaps with its own parser (the format the program reads), puts
figures together with the window's rule (mirror, OR, black is transparent)
and looks for what would show on screen: a missing or misshapen file, a
body half that does not meet its mirror at the centre line, a pose whose
legs or arms float free of the body (the legs hide under the torso, so they
are judged by the whole figure being connected), dim fringe pixels that would show as a dark halo, button
pictures that do not fit their rectangles. Exits 1 with one line per fault.
"""
import argparse
import html.parser
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)

try:
    from PIL import Image, ImageChops  # noqa: E402
except ImportError:
    sys.exit("check_art: needs Pillow for /usr/bin/python3 (Debian package python3-pil, see scripts/setup)")

import compose  # noqa: E402

BUTTON_SIZES = {"quit": (65, 60), "generate": (160, 38), "play": (170, 38), "save": (160, 38), "help": (160, 38),
                "configuration": (170, 38), "load": (170, 38)}
FIG_W, FIG_H = compose.FIGURE
FEET_LIMIT = 268
OVERLAP_SLACK = 4  # touching anti-aliased rims may share a pixel or two
DIM = 10  # a visible pixel darker than this is fringe that thresholding should have removed

faults = []


def fault(msg):
    faults.append(msg)


def bmp_header(path):
    """Validates the file as a 24-bit uncompressed bottom-up Windows bitmap; returns (w, h)."""
    with open(path, "rb") as f:
        raw = f.read()
    if len(raw) < 54 or raw[:2] != b"BM":
        fault("%s: not a Windows bitmap" % path)
        return None
    size, offset = struct.unpack_from("<I4xI", raw, 2)
    hsize, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", raw, 14)
    if size != len(raw):
        fault("%s: header says %d bytes, file has %d" % (path, size, len(raw)))
    if hsize != 40 or planes != 1 or bits != 24 or comp != 0:
        fault("%s: want BITMAPINFOHEADER, 24 bits, uncompressed (got %d, %d, %d)" % (path, hsize, bits, comp))
        return None
    if h <= 0:
        fault("%s: not bottom-up" % path)
        return None
    if offset + ((w * 3 + 3) & ~3) * h != len(raw):
        fault("%s: pixel data does not match %dx%d" % (path, w, h))
        return None
    return w, h


def lum_values(img):
    return list(img.convert("L").getdata())


def check_clean(path, img):
    """Background exactly black: no dim fringe pixels, and mostly black overall."""
    lum = lum_values(img)
    dim = sum(1 for v in lum if 0 < v < DIM)
    rgb = img.getdata()
    # a pixel of luminance 0 that is not (0,0,0) would be faintly coloured on screen
    tinted = sum(1 for v, p in zip(lum, rgb) if v == 0 and p != (0, 0, 0))
    if dim or tinted:
        fault("%s: %d dim and %d tinted pixels that should be pure black" % (path, dim, tinted))
    if not any(lum):
        fault("%s: picture is empty" % path)


def column_run(img, x):
    """Longest run of non-black pixels down column x."""
    best = run = 0
    for y in range(img.height):
        if img.getpixel((x, y)) != (0, 0, 0):
            run += 1
            best = max(best, run)
        else:
            run = 0
    return best


def connected_share(img, seed):
    """Share of the non-black pixels 8-connected to seed."""
    w, h = img.size
    data = img.tobytes()
    lit = bytearray(1 if data[i] | data[i + 1] | data[i + 2] else 0 for i in range(0, len(data), 3))
    total = sum(lit)
    sx, sy = seed
    if not lit[sy * w + sx]:
        return 0.0
    seen = bytearray(w * h)
    stack = [sy * w + sx]
    seen[sy * w + sx] = 1
    count = 0
    while stack:
        i = stack.pop()
        count += 1
        x, y = i % w, i // w
        for dy in (-1, 0, 1):
            yy = y + dy
            if yy < 0 or yy >= h:
                continue
            for dx in (-1, 0, 1):
                xx = x + dx
                if 0 <= xx < w:
                    j = yy * w + xx
                    if lit[j] and not seen[j]:
                        seen[j] = 1
                        stack.append(j)
    return count / total


def place_mask(img, x, y):
    """Where img lights pixels of the figure area when drawn at (x, y)."""
    m = Image.new("L", compose.FIGURE, 0)
    m.paste(img.convert("L").point(lambda v: 255 if v else 0), (x, y))
    return m


def torso_seed(fig, y):
    x = FIG_W // 2
    while y > 0 and fig.getpixel((x, y)) == (0, 0, 0):
        y -= 1
    return x, y


def check_dance(data):
    for name, head_top, body_top, legs_top in compose.SETS:
        folder = os.path.join(data, "dance", name)
        files = ["head1.bmp"] + ["body%d.bmp" % i for i in range(1, 9)] + ["leg%d.bmp" % i for i in range(1, 5)]
        sizes = {}
        for f in files:
            path = os.path.join(folder, f)
            if not os.path.isfile(path):
                fault("%s: missing" % path)
                continue
            sizes[f] = bmp_header(path)
        if len(sizes) != len(files) or None in sizes.values():
            continue
        heads, bodies, legs = compose.load_set(folder)
        for f, img in zip(files, heads + bodies + legs):
            check_clean(os.path.join(folder, f), img)
        hw, hh = sizes["head1.bmp"]
        if hw > FIG_W or head_top + hh > FIG_H:
            fault("%s: head %dx%d does not fit at y=%d" % (name, hw, hh, head_top))
        for part, top, count in (("body", body_top, 8), ("leg", legs_top, 4)):
            dims = {sizes["%s%d.bmp" % (part, i)] for i in range(1, count + 1)}
            if len(dims) != 1:
                fault("%s: %s pictures differ in size %s" % (name, part, sorted(dims)))
            for w, h in dims:
                if w > FIG_W // 2:
                    fault("%s: %s half is %d wide, more than %d" % (name, part, w, FIG_W // 2))
                if top + h > FIG_H:
                    fault("%s: %s pictures run past the figure's bottom" % (name, part))
                if part == "leg" and top + h > FEET_LIMIT:
                    fault("%s: feet end at y=%d, below %d" % (name, top + h, FEET_LIMIT))
        # every body half carries the torso along the centre line, so any two halves meet
        for i, img in enumerate(bodies, 1):
            if column_run(img, 0) < 20:
                fault("%s: body%d.bmp does not reach the centre line" % (name, i))
        # any combination is one figure: everything is connected to the torso
        broken = []
        for lb in range(8):
            for rb in (lb, (lb + 3) % 8):
                for ll in range(4):
                    rl = (ll + 1) % 4
                    fig = compose.compose((heads, bodies, legs), (head_top, body_top, legs_top), (0, lb, rb, ll, rl))
                    seed = torso_seed(fig, legs_top - 8)
                    share = connected_share(fig, seed)
                    if share < 0.995:
                        broken.append("(0,%d,%d,%d,%d) %.1f%%" % (lb, rb, ll, rl, share * 100))
        if broken:
            fault("%s: %d poses fall apart (share of the figure connected to the torso), first %s" %
                  (name, len(broken), broken[0]))
        # OR-ing has no depth: an arm over a leg would mix their colours
        leg_masks = [place_mask(g, FIG_W // 2, legs_top) for g in legs]
        for i, b in enumerate(bodies, 1):
            bm = place_mask(b, FIG_W // 2, body_top)
            for j, lm in enumerate(leg_masks, 1):
                both = ImageChops.multiply(bm, lm).histogram()[255]
                if both > OVERLAP_SLACK:
                    fault("%s: body%d.bmp and leg%d.bmp overlap in %d pixels" % (name, i, j, both))
        hm = place_mask(heads[0], FIG_W // 2 - heads[0].width // 2, head_top)
        for i, b in enumerate(bodies, 1):
            both = ImageChops.multiply(hm, place_mask(b, FIG_W // 2, body_top)).histogram()[255]
            if both > OVERLAP_SLACK:
                fault("%s: head1.bmp and body%d.bmp overlap in %d pixels" % (name, i, both))
        # any left half meets any right half: the centre column is the same in every pose
        for part, pics in (("body", bodies), ("leg", legs)):
            first = [pics[0].getpixel((0, y)) for y in range(pics[0].height)]
            for i, img in enumerate(pics[1:], 2):
                differ = sum(1 for y in range(img.height) if img.getpixel((0, y)) != first[y])
                if differ > 2:
                    fault("%s: %s%d.bmp differs from %s1.bmp at the centre line in %d rows" %
                          (name, part, i, part, differ))


def check_png(path, size):
    if not os.path.isfile(path):
        fault("%s: missing" % path)
        return None
    with open(path, "rb") as f:
        if f.read(8) != b"\x89PNG\r\n\x1a\n":
            fault("%s: not a PNG file" % path)
            return None
    img = Image.open(path)
    if img.size != size:
        fault("%s: %dx%d, want %dx%d" % (path, img.size[0], img.size[1], size[0], size[1]))
    return img


def mean_lum(img):
    lum = lum_values(img.convert("RGB"))
    return sum(lum) / len(lum)


def check_window_art(data):
    art = os.path.join(data, "art")
    check_png(os.path.join(art, "background.png"), (540, 474))
    for name, size in BUTTON_SIZES.items():
        normal = check_png(os.path.join(art, name + ".png"), size)
        pressed = check_png(os.path.join(art, name + "_pressed.png"), size)
        if normal is None or pressed is None:
            continue
        if mean_lum(pressed) >= mean_lum(normal):
            fault("%s: the pressed picture is not darker than the normal one" % name)
        if name != "quit":
            # the window writes the caption in dark green from x = 40 on: the face must be light there
            strip = normal.convert("RGB").crop((40, 8, size[0] - 8, 24))
            if mean_lum(strip) < 170:
                fault("%s: face too dark for the dark green caption" % name)
    for f, size in (("harmolin.png", (256, 256)), ("harmolin-64.png", (64, 64))):
        img = check_png(os.path.join(art, f), size)
        if img is not None and img.mode != "RGBA":
            fault("%s: icon without transparency" % f)


class HtmlChecker(html.parser.HTMLParser):
    VOID = {"area", "base", "br", "col", "embed", "hr", "img", "input", "link", "meta", "source", "track", "wbr"}

    def __init__(self):
        super().__init__()
        self.stack = []
        self.seen = set()
        self.links = []
        self.problems = []

    def handle_starttag(self, tag, attrs):
        self.seen.add(tag)
        a = dict(attrs)
        for key in ("src", "href"):
            if key in a:
                self.links.append(a[key])
        if tag not in self.VOID:
            self.stack.append(tag)

    def handle_endtag(self, tag):
        # optional end tags of HTML5 (li, p, td...) are not used in the manual: every element is closed
        if not self.stack or self.stack[-1] != tag:
            self.problems.append("unbalanced </%s> at line %d" % (tag, self.getpos()[0]))
        else:
            self.stack.pop()


def check_manual(data):
    folder = os.path.join(data, "manual")
    path = os.path.join(folder, "index.html")
    if not os.path.isfile(path):
        fault("%s: missing" % path)
        return
    raw = open(path, "rb").read()
    try:
        text = raw.decode("utf-8")
    except UnicodeDecodeError as e:
        fault("%s: not UTF-8 (%s)" % (path, e))
        return
    if not text.lstrip().lower().startswith("<!doctype html>"):
        fault("%s: no HTML5 doctype" % path)
    parser = HtmlChecker()
    parser.feed(text)
    parser.close()
    for p in parser.problems:
        fault("%s: %s" % (path, p))
    if parser.stack:
        fault("%s: unclosed %s" % (path, parser.stack))
    for tag in ("html", "head", "title", "body", "h1"):
        if tag not in parser.seen:
            fault("%s: no <%s>" % (path, tag))
    if 'charset="utf-8"' not in text.lower():
        fault("%s: no UTF-8 charset declaration" % path)
    for link in parser.links:
        if "://" in link or link.startswith("#") or link.startswith("mailto:"):
            continue
        if not os.path.exists(os.path.normpath(os.path.join(folder, link.split("#")[0]))):
            fault("%s: broken link %s" % (path, link))
    for words in ("MIDIファイル読込", "temp_znr.mid", "temp_dv.mid", "temp_plsv.mid", "temp_pl.mid", "setup.ini",
                  "Auto Adjust", "Link to Guide Melody", "Show Lyric", "harmolin generate"):
        if words not in text:
            fault("%s: says nothing of %s" % (path, words))


def check_desktop(data):
    path = os.path.join(data, "harmolin.desktop")
    if not os.path.isfile(path):
        fault("%s: missing" % path)
        return
    lines = open(path, encoding="utf-8").read().splitlines()
    if not lines or lines[0] != "[Desktop Entry]":
        fault("%s: first line must be [Desktop Entry]" % path)
    keys = dict(l.split("=", 1) for l in lines if "=" in l and not l.startswith("#"))
    want = {"Type": "Application", "Name": "Harmolin", "Exec": "harmolin-gui", "Icon": "harmolin",
            "Categories": "AudioVideo;Audio;Music;"}
    for k, v in want.items():
        if keys.get(k) != v:
            fault("%s: %s should be %s" % (path, k, v))
    if "Comment" not in keys or "Comment[ja]" not in keys:
        fault("%s: needs Comment and Comment[ja]" % path)


def main():
    parser = argparse.ArgumentParser(description="check the artwork, desktop entry and manual")
    parser.add_argument("--data", default=os.path.join(HERE, "..", "..", "data"))
    parser.add_argument("--preview", help="also write contact sheets of the dance sets here")
    args = parser.parse_args()
    data = os.path.abspath(args.data)
    check_dance(data)
    check_window_art(data)
    check_desktop(data)
    check_manual(data)
    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        for name, *tops in compose.SETS:
            if os.path.isfile(os.path.join(data, "dance", name, "leg4.bmp")):
                compose.contact_sheet(data, name, tops, os.path.join(args.preview, name + ".png"))
    for f in faults:
        print("check_art:", f)
    print("check_art: %s (%d faults)" % ("ok" if not faults else "FAILED", len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
