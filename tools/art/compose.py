"""Puts a figure together the way the window does: black is transparent,
parts are OR-ed, left halves are the right pictures mirrored."""
import os

from PIL import Image, ImageMath, ImageOps

import paint as P

SETS = [("Bunny", 28, 0, 156), ("Pops", 51, 0, 156), ("Man", 14, 0, 146), ("Child", 44, 65, 221),
        ("Horror", 48, 65, 221)]
FIGURE = (250, 280)


def load_set(folder):
    heads = [P.load_bmp(os.path.join(folder, "head1.bmp"))]
    bodies = [P.load_bmp(os.path.join(folder, "body%d.bmp" % i)) for i in range(1, 9)]
    legs = [P.load_bmp(os.path.join(folder, "leg%d.bmp" % i)) for i in range(1, 5)]
    return heads, bodies, legs


def _or(canvas, img, x, y):
    """canvas | img placed at (x, y), channel by channel (clipped to the canvas)."""
    region = Image.new("RGB", canvas.size, (0, 0, 0))
    region.paste(img, (x, y))
    out = [ImageMath.eval("convert(a | b, 'L')", a=a, b=b) for a, b in zip(canvas.split(), region.split())]
    return Image.merge("RGB", out)


def compose(parts, tops, pose):
    heads, bodies, legs = parts
    head_top, body_top, legs_top = tops
    h, lb, rb, ll, rl = pose
    w = FIGURE[0]
    c = w // 2
    out = Image.new("RGB", FIGURE, (0, 0, 0))
    if h >= 0:
        out = _or(out, heads[h], c - heads[h].width // 2, head_top)
    if lb >= 0:
        out = _or(out, ImageOps.mirror(bodies[lb]), c - bodies[lb].width, body_top)
    if rb >= 0:
        out = _or(out, bodies[rb], c, body_top)
    if ll >= 0:
        out = _or(out, ImageOps.mirror(legs[ll]), c - legs[ll].width, legs_top)
    if rl >= 0:
        out = _or(out, legs[rl], c, legs_top)
    return out


SHEET_POSES = [(0, 0, 0, 0, 0), (0, 0, 1, 0, 1), (0, 2, 2, 1, 1), (0, 3, 4, 0, 2), (0, 5, 5, 3, 0),
               (0, 6, 7, 0, 3), (0, 7, 7, 2, 0), (0, 1, 3, 1, 0)]


def contact_sheet(data_dir, name, tops, path):
    parts = load_set(os.path.join(data_dir, "dance", name))
    sheet = Image.new("RGB", (4 * FIGURE[0], 2 * FIGURE[1]), (40, 40, 40))
    for i, pose in enumerate(SHEET_POSES):
        fig = compose(parts, tops, pose)
        sheet.paste(fig, ((i % 4) * FIGURE[0], (i // 4) * FIGURE[1]))
    for x in range(1, 4):
        sheet.paste((90, 90, 90), (x * FIGURE[0], 0, x * FIGURE[0] + 1, sheet.height))
    sheet.paste((90, 90, 90), (0, FIGURE[1], sheet.width, FIGURE[1] + 1))
    sheet.save(path)
