"""The window's backdrop, its picture buttons (normal and pressed) and the
application icon."""
import math
import os

from PIL import Image, ImageChops, ImageFilter, ImageOps

import paint as P

CLIENT = (540, 474)
LYRICS = (10, 80, 260, 360)
FIGURE = (275, 80, 525, 360)
LISTS = [(90, 15, 260, 39), (90, 45, 260, 69)]

# name: (width, height); the window places them by its own rectangles
BUTTONS = {
    "quit": (65, 60),
    "generate": (160, 38),
    "play": (170, 38),
    "save": (160, 38),
    "help": (160, 38),
    "configuration": (170, 38),
    "load": (170, 38),
}
BUTTON_PLACES = {
    "quit": (10, 10), "help": (370, 426), "configuration": (190, 426), "save": (370, 367),
    "generate": (20, 367), "play": (190, 367), "load": (15, 426),
}

FONT_PATHS = ["/usr/share/fonts/opentype/ipafont-gothic/ipag.ttf", "/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf"]


def gradient(size, top, bottom, horizontal=False):
    w, h = size
    g = Image.linear_gradient("L").resize((w, h) if not horizontal else (h, w))
    if horizontal:
        g = g.rotate(90, expand=True).transpose(Image.FLIP_LEFT_RIGHT)
    return ImageOps.colorize(g, top, bottom)


def glow(img, cx, cy, rx, ry, colour, strength):
    """Adds a soft coloured light (screen blend) centred at cx, cy."""
    m = Image.new("L", img.size, 0)
    P.draw(m).ellipse([cx - rx, cy - ry, cx + rx, cy + ry], fill=strength)
    m = m.filter(ImageFilter.GaussianBlur(max(rx, ry) * 0.45))
    light = ImageChops.multiply(Image.new("RGB", img.size, colour), Image.merge("RGB", (m, m, m)))
    return ImageChops.screen(img, light)


def font(size):
    from PIL import ImageFont
    for path in FONT_PATHS:
        if os.path.exists(path):
            return ImageFont.truetype(path, size)
    return None


def background():
    w, h = CLIENT
    img = gradient(CLIENT, (26, 22, 64), (88, 30, 84))
    # spotlights from above, falling on the figure's stage and the lyric sheet
    for cx, colour, k in ((400, (255, 230, 170), 120), (135, (170, 200, 255), 70)):
        cone = Image.new("L", CLIENT, 0)
        P.draw(cone).polygon([(cx - 12, -10), (cx + 12, -10), (cx + 150, 372), (cx - 150, 372)], fill=k)
        cone = cone.filter(ImageFilter.GaussianBlur(22))
        light = ImageChops.multiply(Image.new("RGB", CLIENT, colour), Image.merge("RGB", (cone, cone, cone)))
        img = ImageChops.screen(img, light)
    img = glow(img, 400, 372, 150, 18, (255, 200, 140), 150)
    # the stage floor behind the buttons: boards in perspective
    floor = gradient((w, h - 372), (92, 48, 40), (40, 20, 26))
    img.paste(floor, (0, 372))
    d = P.draw(img)
    for i in range(-9, 10):
        x0 = w / 2 + i * 34
        x1 = w / 2 + i * 80
        d.line([(x0, 372), (x1, h)], fill=(58, 30, 30), width=1)
    for y in (388, 410, 440):
        d.line([(0, y), (w, y)], fill=(66, 34, 34), width=1)
    d.rectangle([0, 366, w, 371], fill=(150, 100, 60))
    d.line([(0, 366), (w, 366)], fill=(220, 170, 110))
    d.line([(0, 372), (w, 372)], fill=(40, 20, 16))
    # little notes drifting over the curtain
    f = font(22)
    if f:
        for x, y, ch, a in ((280, 28, "\u266a", 70), (315, 52, "\u266b", 50), (505, 30, "\u266a", 60),
                            (268, 62, "\u266b", 35)):
            d.text((x, y), ch, font=f, fill=(200 * a // 100, 170 * a // 100, 255 * a // 100))
        title = font(30)
        d.text((349, 26), "Harmolin", font=title, fill=(30, 14, 40))
        d.text((347, 24), "Harmolin", font=title, fill=(255, 226, 140))
    # frames around the lyric sheet and the stage
    for x0, y0, x1, y1 in (LYRICS, FIGURE) + tuple(LISTS):
        d.rounded_rectangle([x0 - 4, y0 - 4, x1 + 3, y1 + 3], radius=5, fill=(20, 14, 30), outline=(200, 170, 110))
        d.rounded_rectangle([x0 - 2, y0 - 2, x1 + 1, y1 + 1], radius=3, outline=(70, 50, 60))
    d.rectangle([FIGURE[0], FIGURE[1], FIGURE[2] - 1, FIGURE[3] - 1], fill=(0, 0, 0))
    d.rectangle([LYRICS[0], LYRICS[1], LYRICS[2] - 1, LYRICS[3] - 1], fill=(255, 255, 255))
    return img


# --- button faces and their icons ---------------------------------------------

FACE_TOP, FACE_BOTTOM = (252, 252, 236), (206, 226, 196)
PRESSED_TOP, PRESSED_BOTTOM = (168, 190, 160), (214, 226, 200)


def face(size, pressed):
    """A rounded, bevelled button face at SCALE times size."""
    w, h = size
    S = P.SCALE
    big = (w * S, h * S)
    img = Image.new("RGB", big, (0, 0, 0))
    outer = P.mask(big)
    P.draw(outer).rounded_rectangle([0, 0, big[0] - 1, big[1] - 1], radius=8 * S, fill=255)
    img.paste(Image.new("RGB", big, (60, 90, 50)), (0, 0), outer)
    inset = (2 if pressed else 1) * S
    inner = P.mask(big)
    P.draw(inner).rounded_rectangle([inset, inset, big[0] - 1 - S, big[1] - 1 - S], radius=7 * S, fill=255)
    top, bottom = (PRESSED_TOP, PRESSED_BOTTOM) if pressed else (FACE_TOP, FACE_BOTTOM)
    img.paste(gradient(big, top, bottom), (0, 0), inner)
    # bevel: light along the top of a raised face, shadow along the top of a pushed one
    band = P.mask(big)
    P.draw(band).rounded_rectangle([inset + S, inset + S, big[0] - 2 * S, big[1] // 2], radius=6 * S, fill=255)
    band = band.filter(ImageFilter.GaussianBlur(2 * S))
    if pressed:
        shadow = ImageChops.subtract(inner, ImageChops.offset(inner, 0, 3 * S)).filter(ImageFilter.GaussianBlur(S))
        img.paste(Image.new("RGB", big, (90, 110, 80)), (0, 0), shadow.point(lambda v: v * 6 // 10))
    else:
        gloss = band.point(lambda v: v * 45 // 100)
        img.paste(Image.new("RGB", big, (255, 255, 255)), (0, 0), gloss)
        rim = ImageChops.subtract(inner, ImageChops.offset(inner, 0, -2 * S))
        img.paste(Image.new("RGB", big, (150, 170, 130)), (0, 0), rim)
    return img


def icon_generate(cv, x, y, k):
    # a beamed pair of notes with a sparkle
    m = P.mask(cv.size)
    P.ellipse(m, x + 4, y + 13, 3.6 * k, 2.8 * k)
    P.ellipse(m, x + 14, y + 11, 3.6 * k, 2.8 * k)
    P.line(m, [(x + 7.2, y + 13), (x + 7.2, y - 1)], 1.6)
    P.line(m, [(x + 17.2, y + 11), (x + 17.2, y - 3)], 1.6)
    P.polygon(m, [(x + 6.4, y - 2), (x + 18, y - 5), (x + 18, y - 1.5), (x + 6.4, y + 1.5)])
    P.fill(cv, m, (40, 90, 200), soft=1.5, outline=(20, 40, 90))
    star = P.polygon(P.mask(cv.size), [(x + 22, y - 8), (x + 23.2, y - 4.5), (x + 26.5, y - 3.5), (x + 23.2, y - 2.5),
                                       (x + 22, y + 1), (x + 20.8, y - 2.5), (x + 17.5, y - 3.5), (x + 20.8, y - 4.5)])
    P.fill(cv, star, (250, 190, 30), soft=1, outline=(150, 100, 10))


def icon_play(cv, x, y, k):
    m = P.polygon(P.mask(cv.size), [(x + 3, y - 8), (x + 20, y + 2), (x + 3, y + 12)])
    P.fill(cv, m, (40, 170, 60), soft=2, outline=(20, 80, 30))


def icon_save(cv, x, y, k):
    m = P.rect(P.mask(cv.size), x + 1, y - 8, x + 21, y + 12, radius=2)
    P.fill(cv, m, (50, 90, 180), soft=2, outline=(20, 40, 90))
    P.fill(cv, P.rect(P.mask(cv.size), x + 5, y - 8, x + 17, y - 1), (220, 225, 235), soft=1, lo=0.8)
    P.fill(cv, P.rect(P.mask(cv.size), x + 13, y - 6.5, x + 15.5, y - 2.5), (50, 90, 180), flat=True)
    P.fill(cv, P.rect(P.mask(cv.size), x + 4.5, y + 3, x + 17.5, y + 12), (250, 250, 250), soft=1, lo=0.85)


def icon_help(cv, x, y, k):
    P.fill(cv, P.circle(P.mask(cv.size), x + 11, y + 2, 10.5), (40, 120, 210), soft=2.5, outline=(20, 50, 100))
    m = P.arc(P.mask(cv.size), x + 11, y - 1.5, 4.2, 4.2, 180, 400, 2.4)
    P.line(m, [(x + 12.6, y + 2.6), (x + 11, y + 4), (x + 11, y + 5.5)], 2.4)
    P.circle(m, x + 11, y + 9, 1.6)
    P.fill(cv, m, (255, 255, 255), flat=True)


def icon_configuration(cv, x, y, k):
    # its caption has the fewest leading spaces: the gear stays small and far left
    cx, cy = x + 6, y + 2
    m = P.circle(P.mask(cv.size), cx, cy, 6.2)
    for i in range(8):
        a = math.radians(i * 45 + 22.5)
        P.line(m, [(cx, cy), (cx + math.cos(a) * 8.3, cy + math.sin(a) * 8.3)], 3.6)
    m = P.subtract(m, P.circle(P.mask(cv.size), cx, cy, 2.6))
    P.fill(cv, m, (120, 130, 150), soft=2, outline=(50, 55, 70))


def icon_load(cv, x, y, k):
    back = P.polygon(P.mask(cv.size), [(x, y - 7), (x + 8, y - 7), (x + 10, y - 4), (x + 22, y - 4), (x + 22, y + 11),
                                        (x, y + 11)])
    P.fill(cv, back, (210, 150, 40), soft=2, outline=(120, 80, 10))
    front = P.polygon(P.mask(cv.size), [(x + 3, y - 1), (x + 25, y - 1), (x + 22, y + 11), (x, y + 11)])
    P.fill(cv, front, (250, 200, 70), soft=2, outline=(140, 95, 15))


ICONS = {"generate": icon_generate, "play": icon_play, "save": icon_save, "help": icon_help,
         "configuration": icon_configuration, "load": icon_load}


def button(name, pressed):
    size = BUTTONS[name]
    if name == "quit":
        return quit_button(pressed)
    cv = face(size, pressed)
    shift = 1 if pressed else 0
    # the caption is centred on y = 15 by the window; the icon sits left of it
    ICONS[name](cv, (4 if name == "generate" else 8) + shift, 15 + shift, 1.0)
    return on_backdrop(name, cv)


def quit_button(pressed):
    w, h = BUTTONS["quit"]
    big = (w * P.SCALE, h * P.SCALE)
    cv = face((w, h), pressed)
    cx, cy = w / 2 + (1 if pressed else 0), h / 2 + (1 if pressed else 0)
    disc = P.circle(P.mask(big), cx, cy, 21)
    P.fill(cv, disc, (200, 40, 40) if not pressed else (150, 26, 26), soft=6, lo=0.55, outline=(90, 10, 10))
    if not pressed:
        P.shine(cv, P.ellipse(P.mask(big), cx - 2, cy - 11, 11, 5), 120, 2.5)
    sym = P.arc(P.mask(big), cx, cy + 1, 11, 11, 300, 600, 3.6)
    sym = P.subtract(sym, P.rect(P.mask(big), cx - 5, cy - 13, cx + 5, cy - 4))
    P.line(sym, [(cx, cy - 13), (cx, cy - 1)], 3.6)
    P.fill(cv, sym, (255, 255, 255) if not pressed else (220, 200, 200), soft=1, lo=0.85)
    return on_backdrop("quit", cv)


_backdrop = None


def on_backdrop(name, big):
    """The reduced button with the backdrop showing in its rounded corners,
    since the window blits button pictures whole."""
    global _backdrop
    if _backdrop is None:
        _backdrop = background()
    w, h = BUTTONS[name]
    x, y = BUTTON_PLACES[name]
    shape = P.mask(big.size)
    P.draw(shape).rounded_rectangle([0, 0, big.width - 1, big.height - 1], radius=8 * P.SCALE, fill=255)
    return Image.composite(big.reduce(P.SCALE), _backdrop.crop((x, y, x + w, y + h)), shape.reduce(P.SCALE))


def app_icon(size=256):
    big = (256 * P.SCALE, 256 * P.SCALE)
    cv = Image.new("RGBA", big, (0, 0, 0, 0))
    base = gradient(big, (255, 120, 180), (110, 50, 190))
    shape = P.rect(P.mask(big), 8, 8, 248, 248, radius=52)
    cv.paste(base, (0, 0), shape)
    rgb = cv.convert("RGB")
    rgb = glow(rgb, 90 * P.SCALE, 70 * P.SCALE, 120 * P.SCALE, 70 * P.SCALE, (255, 255, 255), 90)
    # two beamed notes
    m = P.mask(big)
    P.ellipse(m, 82, 182, 26, 20)
    P.ellipse(m, 170, 166, 26, 20)
    P.line(m, [(104, 180), (104, 72)], 12)
    P.line(m, [(192, 164), (192, 56)], 12)
    P.polygon(m, [(98, 66), (198, 40), (198, 70), (98, 96)])
    P.fill(rgb, P.dilate(m, 2), (80, 20, 90), flat=True)
    P.fill(rgb, m, (255, 255, 255), soft=10, lo=0.82)
    # staff lines behind the notes
    staff = P.mask(big)
    for y in (96, 122, 148, 174, 200):
        P.line(staff, [(28, y), (228, y)], 2.5)
    staff = P.subtract(staff, P.dilate(m, 2))
    P.fill(rgb, staff, (255, 200, 235), flat=True)
    star = P.polygon(P.mask(big), [(214, 118), (221, 138), (242, 142), (221, 147), (214, 168), (207, 147), (186, 142),
                                   (207, 138)])
    P.fill(rgb, star, (255, 220, 60), soft=4, outline=(150, 90, 20), outline_width=1.5)
    out = rgb.convert("RGBA")
    out.putalpha(shape)
    out = out.reduce(P.SCALE)
    if size != 256:
        out = out.resize((size, size), Image.LANCZOS)
    return out


def write_window_art(data_dir):
    folder = os.path.join(data_dir, "art")
    os.makedirs(folder, exist_ok=True)
    background().save(os.path.join(folder, "background.png"), optimize=True)
    for name in BUTTONS:
        button(name, False).save(os.path.join(folder, name + ".png"), optimize=True)
        button(name, True).save(os.path.join(folder, name + "_pressed.png"), optimize=True)
    app_icon(256).save(os.path.join(folder, "harmolin.png"), optimize=True)
    app_icon(64).save(os.path.join(folder, "harmolin-64.png"), optimize=True)


SAMPLE_LYRIC = ["ほしのふるよるに", "きみとうたおう", "ゆめのつづきを", "てをつないで", "あしたへはしる",
                "ひかりのなかで", "そっとわらった"]


def window_picture(data_dir, figure=None, pressed=("play",)):
    """The client area as the window shows it: captions in the window's green,
    the lists and a lyric filled in, the figure on its stage."""
    folder = os.path.join(data_dir, "art")
    img = Image.open(os.path.join(folder, "background.png")).convert("RGB")
    captions = {"help": "         H e l p", "configuration": "     Configration", "save": "         S a v e",
                "generate": "       Generate", "play": "          S t o p", "load": "          L o a d"}
    f = font(13)
    d = P.draw(img)
    for name, (x, y) in BUTTON_PLACES.items():
        down = name in pressed
        img.paste(Image.open(os.path.join(folder, name + ("_pressed" if down else "") + ".png")).convert("RGB"),
                  (x, y))
        if name in captions and f:
            colour = (0, 100, 0) if name == "play" else (100, 100, 50)
            d.text((x + 2, y + 15), captions[name], font=f, fill=colour, anchor="lm")
    for (x0, y0, x1, y1), text in zip(LISTS, ("Young Pops", "Evening Girls")):
        d.rectangle([x0, y0, x1 - 1, y1 - 1], fill=(255, 255, 255), outline=(120, 120, 120))
        d.rectangle([x1 - 18, y0 + 1, x1 - 2, y1 - 2], fill=(225, 225, 225))
        d.polygon([(x1 - 14, y0 + 9), (x1 - 6, y0 + 9), (x1 - 10, y0 + 14)], fill=(60, 60, 60))
        if f:
            d.text((x0 + 5, (y0 + y1) // 2), text, font=f, fill=(0, 0, 0), anchor="lm")
    if f:
        for i, line in enumerate(SAMPLE_LYRIC):
            d.text((LYRICS[0] + 4, LYRICS[1] + 4 + i * 17), line, font=f, fill=(0, 0, 0))
    if figure is not None:
        img.paste(figure, FIGURE[:2])
    return img


def preview(data_dir, path):
    window_picture(data_dir).save(path)
