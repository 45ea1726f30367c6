"""Small painting kit shared by the artwork generators.

Everything is drawn at SCALE times the final size on hard-edged masks and
reduced at the end, which gives the anti-aliasing. Shapes are shaded by
blurring their own mask (lit from above, darker towards the rims), so no
shape needs hand-made gradients.
"""
import struct

from PIL import Image, ImageChops, ImageDraw, ImageFilter

SCALE = 4


def mask(size):
    return Image.new("L", size, 0)


def draw(m):
    return ImageDraw.Draw(m)


def s(v):
    return v * SCALE


def pts(points):
    return [(x * SCALE, y * SCALE) for x, y in points]


def ellipse(m, cx, cy, rx, ry, fill=255):
    draw(m).ellipse([s(cx - rx), s(cy - ry), s(cx + rx), s(cy + ry)], fill=fill)
    return m


def circle(m, cx, cy, r, fill=255):
    return ellipse(m, cx, cy, r, r, fill)


def polygon(m, points, fill=255):
    draw(m).polygon(pts(points), fill=fill)
    return m


def rect(m, x0, y0, x1, y1, radius=0, fill=255):
    d = draw(m)
    if radius:
        d.rounded_rectangle([s(x0), s(y0), s(x1), s(y1)], radius=s(radius), fill=fill)
    else:
        d.rectangle([s(x0), s(y0), s(x1), s(y1)], fill=fill)
    return m


def line(m, points, width, fill=255):
    """A polyline of constant width with round joints and ends."""
    d = draw(m)
    d.line(pts(points), fill=fill, width=max(1, round(s(width))), joint="curve")
    r = width / 2
    for x, y in (points[0], points[-1]):
        d.ellipse([s(x - r), s(y - r), s(x + r), s(y + r)], fill=fill)
    return m


def limb(m, joints, fill=255):
    """A tapered tube through (x, y, radius) joints."""
    d = draw(m)
    for (x0, y0, r0), (x1, y1, r1) in zip(joints, joints[1:]):
        dx, dy = x1 - x0, y1 - y0
        n = (dx * dx + dy * dy) ** 0.5 or 1.0
        px, py = -dy / n, dx / n
        d.polygon(pts([(x0 + px * r0, y0 + py * r0), (x1 + px * r1, y1 + py * r1),
                       (x1 - px * r1, y1 - py * r1), (x0 - px * r0, y0 - py * r0)]), fill=fill)
    for x, y, r in joints:
        d.ellipse([s(x - r), s(y - r), s(x + r), s(y + r)], fill=fill)
    return m


def arc(m, cx, cy, rx, ry, start, end, width, fill=255):
    draw(m).arc([s(cx - rx), s(cy - ry), s(cx + rx), s(cy + ry)], start, end, fill=fill,
                width=max(1, round(s(width))))
    return m


def intersect(a, b):
    return ImageChops.multiply(a, b)


def union(a, b):
    return ImageChops.lighter(a, b)


def subtract(a, b):
    return ImageChops.subtract(a, b)


def dilate(m, px):
    k = 2 * round(px * SCALE) + 1
    return m.filter(ImageFilter.MaxFilter(k)) if k > 1 else m


def _shifted(img, dy):
    out = Image.new(img.mode, img.size, 0)
    if dy >= 0:
        out.paste(img.crop((0, dy, img.width, img.height)), (0, 0))
    else:
        out.paste(img.crop((0, 0, img.width, img.height + dy)), (0, -dy))
    return out


def _shade_map(m, soft, lo, hi):
    """0..255 brightness: high inside and towards the top, low at the rims and bottom."""
    r = max(1, soft * SCALE)
    blur = m.filter(ImageFilter.GaussianBlur(r))
    below = _shifted(blur, round(r * 0.9))
    rim = m.filter(ImageFilter.GaussianBlur(r * 0.45))
    combo = Image.blend(below, rim, 0.45)
    # stretch so that the middle of a shape reaches full brightness
    return combo.point(lambda v: round(255 * (lo + (hi - lo) * min(1.0, v / 215.0))))


def scaled(colour, k):
    return tuple(max(0, min(255, round(c * k))) for c in colour)


def fill(canvas, m, colour, soft=6, lo=0.55, hi=1.0, outline=None, outline_width=0.8, flat=False):
    """Paints mask m in colour, shaded, with an optional darker rim line."""
    box = m.getbbox()
    if not box:
        return
    pad = round((soft * 3 + outline_width + 2) * SCALE)
    box = (max(0, box[0] - pad), max(0, box[1] - pad), min(m.width, box[2] + pad), min(m.height, box[3] + pad))
    sub = m.crop(box)
    if outline is not None:
        ring = dilate(sub, outline_width)
        canvas.paste(Image.new("RGB", sub.size, outline), box[:2], ring)
    if flat:
        canvas.paste(Image.new("RGB", sub.size, colour), box[:2], sub)
        return
    shade = _shade_map(sub, soft, lo, hi)
    painted = ImageChops.multiply(Image.new("RGB", sub.size, colour), Image.merge("RGB", (shade, shade, shade)))
    canvas.paste(painted, box[:2], sub)


def shine(canvas, m, strength=110, soft=2.5):
    """A soft white highlight inside mask m (screen blend)."""
    box = m.getbbox()
    if not box:
        return
    pad = round(soft * 3 * SCALE)
    box = (max(0, box[0] - pad), max(0, box[1] - pad), min(m.width, box[2] + pad), min(m.height, box[3] + pad))
    sub = m.crop(box).filter(ImageFilter.GaussianBlur(soft * SCALE)).point(lambda v: v * strength // 255)
    region = canvas.crop(box)
    light = Image.merge("RGB", (sub, sub, sub))
    canvas.paste(ImageChops.screen(region, light), box[:2])


def reduce(canvas, black_below=14):
    """Final size; very dark pixels become exactly black (black is transparent)."""
    small = canvas.reduce(SCALE)
    if black_below:
        lum = small.convert("L").point(lambda v: 255 if v >= black_below else 0)
        black = Image.new("RGB", small.size, (0, 0, 0))
        small = Image.composite(small, black, lum)
    return small


def save_bmp(img, path):
    """24-bit uncompressed bottom-up Windows bitmap."""
    img = img.convert("RGB")
    w, h = img.size
    row = (w * 3 + 3) & ~3
    data = img.tobytes()
    rows = []
    for y in range(h - 1, -1, -1):
        line_bytes = bytearray(data[y * w * 3:(y + 1) * w * 3])
        line_bytes[0::3], line_bytes[2::3] = line_bytes[2::3], line_bytes[0::3]  # RGB -> BGR
        rows.append(bytes(line_bytes) + b"\0" * (row - w * 3))
    pixels = b"".join(rows)
    header = struct.pack("<2sIHHI", b"BM", 54 + len(pixels), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def load_bmp(path):
    """Reads back a 24-bit bottom-up bitmap written by save_bmp (for checks)."""
    with open(path, "rb") as f:
        raw = f.read()
    magic, _size, _r1, _r2, offset = struct.unpack_from("<2sIHHI", raw, 0)
    hsize, w, h, planes, bits, comp = struct.unpack_from("<IiiHHI", raw, 14)
    if magic != b"BM" or hsize < 40 or planes != 1 or bits != 24 or comp != 0 or h <= 0:
        raise ValueError("%s: not a 24-bit uncompressed bottom-up bitmap" % path)
    row = (w * 3 + 3) & ~3
    if offset + row * h > len(raw):
        raise ValueError("%s: pixel data cut short" % path)
    out = bytearray()
    for y in range(h - 1, -1, -1):
        line_bytes = bytearray(raw[offset + y * row:offset + y * row + w * 3])
        line_bytes[0::3], line_bytes[2::3] = line_bytes[2::3], line_bytes[0::3]
        out += line_bytes
    return Image.frombytes("RGB", (w, h), bytes(out))
