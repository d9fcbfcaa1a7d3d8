"""Paint every picture of the game into Ressources/Graphics."""
import math
import os

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

import board
import worldmap
from common import (GOLD, GOLD_LIGHT, GREEN_TEXT, INK, INK_SOFT, KEY_ACTIF, KEY_BLACK, KEY_FRAME,
                    KEY_ICON, KEY_PURPLE, KEY_RED, KEY_WHITE, PARCHMENT, PARCHMENT_DARK, VEIL, compass,
                    flatten_keyed, font, opaque, over, panel, parchment, save, supersample,
                    text_centered)

STEMS = ["Irak", "Egypte", "Jamaique", "EtatsUnis", "France", "Russie", "Japon", "Australie"]
GOVS = ["Democratie", "Empire", "Communisme"]
NATION_COLOURS = [(0, 0, 0), (255, 127, 0), (0, 128, 0), (0, 0, 255), (255, 255, 255), (255, 0, 0),
                  (255, 255, 0), (255, 0, 255)]

G = "Graphics/"
OUT = {}


def put(rel, img):
    OUT[rel] = img


# ---------------------------------------------------------------- frames
def keyed_panel(w, h, seed, key=KEY_FRAME, **kw):
    return flatten_keyed(panel(w, h, seed, notch=kw.pop("notch", 9), **kw), key)


def square_panel(w, h, seed, **kw):
    """Opaque rectangular panel (for pictures loaded without a colour key)."""
    img = panel(w, h, seed, radius=0, notch=0, **kw)
    return opaque(img, (60, 40, 22))


def frames():
    put(G + "Fond/MenuCadre.png", keyed_panel(310, 196, 11))
    put(G + "Fond/Cadre.png", keyed_panel(192, 212, 12))
    put(G + "Fond/CadreMoyen.png", keyed_panel(256, 120, 13))
    put(G + "Fond/NetmapMenuGauche.png", keyed_panel(375, 112, 14))
    put(G + "Fond/NetmapMenuDroit.png", keyed_panel(194, 112, 15))
    put(G + "Fond/MiniCadre.png", square_panel(250, 56, 16))
    flat = parchment(250, 56, 17, base=PARCHMENT_DARK, strength=0.6)
    d = ImageDraw.Draw(flat)
    d.rectangle((0, 0, 249, 55), outline=INK, width=2)
    d.rectangle((4, 4, 245, 51), outline=GOLD, width=1)
    put(G + "Fond/FlatCadre.png", flat)
    put(G + "Fond/Trans.png", Image.new("RGB", (1, 1), VEIL))
    # the light band: a warm glow whose ends fade toward the veil colour
    w, h = 174, 30
    xs = np.linspace(-1, 1, w)
    ys = np.linspace(-1, 1, h)
    fx = np.clip(1.0 - np.abs(xs) ** 3, 0, 1)
    fy = np.clip(1.0 - np.abs(ys) ** 4, 0, 1)
    f = np.outer(fy, fx)[:, :, None]
    hi = np.array([255, 246, 214], np.float32)
    lo = np.array(VEIL, np.float32)
    put(G + "Fond/Light.png", Image.fromarray((lo + (hi - lo) * f).astype(np.uint8), "RGB"))
    # the bar under the lobby column titles
    bar = Image.new("RGB", (578, 6), GOLD)
    d = ImageDraw.Draw(bar)
    d.line((0, 0, 577, 0), fill=INK)
    d.line((0, 5, 577, 5), fill=INK)
    d.line((0, 2, 577, 2), fill=GOLD_LIGHT)
    for x in range(0, 578, 24):
        d.point((x + 12, 3), fill=INK_SOFT)
    put(G + "Fond/Barre.png", bar)
    # lobby row: white ring (transparent in the plain copy, tinted in the selected copy)
    # around a flat fill of the second key (transparent in the selected copy)
    actif = Image.new("RGB", (568, 30), KEY_ACTIF)
    ImageDraw.Draw(actif).rectangle((0, 0, 567, 29), outline=KEY_WHITE, width=2)
    put(G + "Fond/Actif.png", actif)
    # the local player's selector: a raised plate with a drop arrow
    def boutons(d, im, s):
        d.rounded_rectangle((s, s, 75 * s, 29 * s), radius=7 * s, fill=(214, 190, 136, 255),
                            outline=INK + (255,), width=2 * s)
        d.rounded_rectangle((3 * s, 3 * s, 73 * s, 27 * s), radius=5 * s, outline=GOLD_LIGHT + (255,), width=s)
        d.polygon([(62 * s, 12 * s), (70 * s, 12 * s), (66 * s, 18 * s)], fill=INK_SOFT + (255,))
    put(G + "Fond/Boutons.png", flatten_keyed(supersample(76, 30, 4, boutons), KEY_ICON))
    # highlight around a nation thumbnail (thumbnail 19 x 23 inside 27 x 31)
    mini = Image.new("RGBA", (27, 31), (0, 0, 0, 0))
    d = ImageDraw.Draw(mini)
    d.rectangle((0, 0, 26, 30), fill=INK + (255,))
    d.rectangle((1, 1, 25, 29), fill=(236, 196, 92, 255))
    d.rectangle((3, 3, 23, 27), fill=INK + (255,))
    d.rectangle((4, 4, 22, 26), fill=(0, 0, 0, 0))
    put(G + "Fond/MiniatCadre.png", flatten_keyed(mini, KEY_RED))


# ---------------------------------------------------------------- icons
def icon(size, key, painter, ss=4):
    return flatten_keyed(supersample(size, size, ss, painter), key)


def icons():
    def music(d, im, s):
        k = s
        d.ellipse((5 * k, 20 * k, 14 * k, 28 * k), fill=INK + (255,))
        d.ellipse((18 * k, 17 * k, 27 * k, 25 * k), fill=INK + (255,))
        d.rectangle((12 * k, 5 * k, 14 * k, 24 * k), fill=INK + (255,))
        d.rectangle((25 * k, 3 * k, 27 * k, 21 * k), fill=INK + (255,))
        d.polygon([(12 * k, 5 * k), (27 * k, 2 * k), (27 * k, 7 * k), (12 * k, 10 * k)], fill=INK + (255,))
        d.ellipse((7 * k, 22 * k, 10 * k, 24 * k), fill=GOLD_LIGHT + (255,))
    put(G + "Icones/Music.png", icon(32, KEY_ICON, music))

    def volume(d, im, s):
        k = s
        d.polygon([(4 * k, 12 * k), (10 * k, 12 * k), (17 * k, 5 * k), (17 * k, 27 * k), (10 * k, 20 * k),
                   (4 * k, 20 * k)], fill=INK + (255,))
        for r in (6, 10, 14):
            d.arc((17 * k - r * k, 16 * k - r * k, 17 * k + r * k, 16 * k + r * k), -45, 45,
                  fill=INK + (255,), width=2 * k)
    put(G + "Icones/Volume.png", icon(32, KEY_ICON, volume))

    def network(d, im, s):
        k = s
        d.ellipse((3 * k, 3 * k, 29 * k, 29 * k), fill=(120, 160, 150, 255), outline=INK + (255,), width=2 * k)
        d.ellipse((10 * k, 3 * k, 22 * k, 29 * k), outline=INK + (255,), width=k)
        d.line((3 * k, 16 * k, 29 * k, 16 * k), fill=INK + (255,), width=k)
        d.line((6 * k, 9 * k, 26 * k, 9 * k), fill=INK + (255,), width=k)
        d.line((6 * k, 23 * k, 26 * k, 23 * k), fill=INK + (255,), width=k)
        d.polygon([(19 * k, 1 * k), (12 * k, 17 * k), (17 * k, 17 * k), (13 * k, 31 * k), (23 * k, 13 * k),
                   (18 * k, 13 * k), (23 * k, 1 * k)], fill=(240, 190, 60, 255), outline=INK + (255,))
    put(G + "Icones/Network.png", icon(32, KEY_ICON, network))

    def ready(d, im, s):
        k = s
        d.ellipse((1 * k, 1 * k, 23 * k, 23 * k), fill=(58, 128, 62, 255), outline=INK + (255,), width=2 * k)
        d.line([(6 * k, 12 * k), (10 * k, 17 * k), (18 * k, 7 * k)], fill=(240, 236, 210, 255), width=3 * k)
    put(G + "Icones/Ready.png", icon(24, KEY_ICON, ready))

    def notready(d, im, s):
        k = s
        d.ellipse((1 * k, 1 * k, 23 * k, 23 * k), fill=(168, 48, 36, 255), outline=INK + (255,), width=2 * k)
        d.line([(7 * k, 7 * k), (17 * k, 17 * k)], fill=(240, 236, 210, 255), width=3 * k)
        d.line([(17 * k, 7 * k), (7 * k, 17 * k)], fill=(240, 236, 210, 255), width=3 * k)
    put(G + "Icones/NotReady.png", icon(24, KEY_ICON, notready))

    def server(d, im, s):   # the host's crown
        k = s
        d.polygon([(2 * k, 8 * k), (7 * k, 13 * k), (12 * k, 4 * k), (17 * k, 13 * k), (22 * k, 8 * k),
                   (20 * k, 19 * k), (4 * k, 19 * k)], fill=(232, 184, 64, 255), outline=INK + (255,))
        d.rectangle((4 * k, 19 * k, 20 * k, 22 * k), fill=(200, 150, 50, 255), outline=INK + (255,))
        for cx in (2, 12, 22):
            d.ellipse(((cx - 1.6) * k, (3.4 if cx == 12 else 6.4) * k, (cx + 1.6) * k, (6.6 if cx == 12 else 9.6) * k),
                      fill=(190, 40, 40, 255))
    put(G + "Icones/Server.png", icon(24, KEY_ICON, server))

    def home(d, im, s):
        k = s
        d.polygon([(12 * k, 2 * k), (23 * k, 12 * k), (1 * k, 12 * k)], fill=(160, 60, 40, 255), outline=INK + (255,))
        d.rectangle((4 * k, 12 * k, 20 * k, 22 * k), fill=(236, 220, 180, 255), outline=INK + (255,))
        d.rectangle((10 * k, 15 * k, 14 * k, 22 * k), fill=INK_SOFT + (255,))
    put(G + "Icones/Home.png", icon(24, KEY_ICON, home))

    def point(d, im, s):     # white so that the nation colour tints it
        k = s
        d.ellipse((2 * k, 2 * k, 30 * k, 30 * k), fill=(90, 90, 90, 255))
        d.ellipse((4 * k, 4 * k, 28 * k, 28 * k), fill=(255, 255, 255, 255))
        d.ellipse((10 * k, 10 * k, 22 * k, 22 * k), fill=(200, 200, 200, 255))
        d.ellipse((13 * k, 13 * k, 19 * k, 19 * k), fill=(255, 255, 255, 255))
    put(G + "Icones/Point.png", icon(32, KEY_BLACK, point))

    def cursor(d, im, s):    # arrow with its tip at (16, 11)
        k = s
        pts = [(16, 11), (16, 28), (20, 24.5), (23, 31), (26, 29.8), (23, 23.3), (28, 23.3)]
        d.polygon([((x) * k, (y) * k) for x, y in pts], fill=(238, 206, 120, 255), outline=INK + (255,))
        d.line([(16 * k, 11 * k), (16 * k, 28 * k)], fill=INK + (255,), width=k)
        d.line([(16 * k, 11 * k), (28 * k, 23.3 * k)], fill=INK + (255,), width=k)
    cur = supersample(32, 32, 4, cursor)
    arr = np.asarray(cur).copy()
    arr[11, 16] = (70, 45, 25, 255)         # the hot spot pixel is always solid ink
    put(G + "Icones/Cursor.png", flatten_keyed(Image.fromarray(arr), KEY_PURPLE))

    def conquete(d, im, s):  # crossed swords
        k = s
        for a, b in (((4, 24), (24, 4)), ((24, 24), (4, 4))):
            d.line([(a[0] * k, a[1] * k), (b[0] * k, b[1] * k)], fill=(200, 200, 210, 255), width=3 * k)
            d.line([(a[0] * k, a[1] * k), (b[0] * k, b[1] * k)], fill=INK + (255,), width=k)
        d.line([(3 * k, 17 * k), (11 * k, 25 * k)], fill=(176, 134, 58, 255), width=3 * k)
        d.line([(17 * k, 25 * k), (25 * k, 17 * k)], fill=(176, 134, 58, 255), width=3 * k)
    put(G + "Icones/Conquete.png", icon(28, KEY_RED, conquete))

    def espion(d, im, s):    # an eye
        k = s
        d.ellipse((2 * k, 7 * k, 26 * k, 21 * k), fill=(245, 236, 210, 255), outline=INK + (255,), width=2 * k)
        d.ellipse((9 * k, 7 * k, 19 * k, 21 * k), fill=(70, 110, 90, 255))
        d.ellipse((12 * k, 11 * k, 16 * k, 17 * k), fill=(20, 20, 20, 255))
        d.ellipse((13 * k, 11 * k, 15 * k, 13 * k), fill=(250, 250, 250, 255))
    put(G + "Icones/Espionner.png", icon(28, KEY_RED, espion))

    # bar of the volume rows: bright so that the row colour tints it
    bar = Image.new("RGB", (12, 37), INK)
    arr = np.asarray(bar).copy()
    for x in range(1, 11):
        t = 1 - abs(x - 5.5) / 5.5
        arr[1:36, x] = (int(200 + 55 * t), int(190 + 60 * t), int(150 + 80 * t))
    put(G + "Icones/Bar.png", Image.fromarray(arr))

    # launcher close glyph (bottom-left pixel is the button's transparent colour)
    def close_glyph(d, im, s):
        k = s
        d.rectangle((0, 0, 24 * k, 24 * k), fill=PARCHMENT + (255,))
        d.ellipse((2 * k, 2 * k, 22 * k, 22 * k), fill=(150, 40, 30, 255), outline=INK + (255,), width=k)
        d.line([(8 * k, 8 * k), (16 * k, 16 * k)], fill=(245, 230, 200, 255), width=2 * k)
        d.line([(16 * k, 8 * k), (8 * k, 16 * k)], fill=(245, 230, 200, 255), width=2 * k)
    put(G + "Icones/Close.bmp", opaque(supersample(24, 24, 4, close_glyph)))


# ---------------------------------------------------------------- in-game small pieces
def game_pieces():
    def ok(d, im, s):
        k = s
        d.rounded_rectangle((0, 0, 79 * k, 27 * k), radius=9 * k, fill=(120, 62, 36, 255))
        d.rounded_rectangle((2 * k, 2 * k, 77 * k, 25 * k), radius=8 * k, fill=(214, 186, 120, 255),
                            outline=GOLD_LIGHT + (255,), width=k)
        d.text((40 * k, 14 * k), "OK", font=font(17 * k, bold=True), fill=GREEN_TEXT + (255,), anchor="mm")
    put(G + "Fond/OK.png", flatten_keyed(supersample(80, 28, 4, ok), KEY_RED))

    def close(d, im, s):
        k = s
        d.ellipse((0, 0, 23 * k, 23 * k), fill=(110, 30, 22, 255))
        d.ellipse((2 * k, 2 * k, 21 * k, 21 * k), fill=(176, 58, 40, 255))
        d.line([(7 * k, 7 * k), (16 * k, 16 * k)], fill=(245, 230, 200, 255), width=2 * k)
        d.line([(16 * k, 7 * k), (7 * k, 16 * k)], fill=(245, 230, 200, 255), width=2 * k)
    put(G + "Fond/Close.png", flatten_keyed(supersample(24, 24, 4, close), KEY_RED))

    fill = np.zeros((16, 1, 3), np.uint8)
    for y in range(16):
        t = y / 15
        fill[y, 0] = (int(90 + 80 * (1 - t)), int(140 + 70 * (1 - t)), int(60 + 30 * (1 - t)))
    fill[0, 0] = fill[15, 0] = (40, 70, 30)
    put(G + "Fond/Fill.png", Image.fromarray(fill))

    for name, up in (("Up", True), ("Down", False)):
        def arrow(d, im, s, up=up):
            k = s
            d.rectangle((0, 0, 16 * k, 16 * k), fill=PARCHMENT + (255,))
            d.rectangle((0, 0, 15.5 * k, 15.5 * k), outline=INK_SOFT + (255,), width=k)
            col = (40, 120, 50, 255) if up else (170, 45, 35, 255)
            pts = [(8, 2), (14, 10), (10, 10), (10, 14), (6, 14), (6, 10), (2, 10)]
            if not up:
                pts = [(x, 16 - y) for x, y in pts]
            d.polygon([(x * k, y * k) for x, y in pts], fill=col, outline=INK + (255,))
        put(G + "Statistiques/%s.png" % name, opaque(supersample(16, 16, 4, arrow)))

    tab = parchment(105, 22, 31, base=(245, 232, 196), strength=0.5)
    d = ImageDraw.Draw(tab)
    d.rectangle((0, 0, 104, 21), outline=INK, width=1)
    d.line((1, 1, 103, 1), fill=GOLD)
    put(G + "Statistiques/Tab.png", tab)

    stats = square_panel(500, 336, 32, ornaments=False)
    d = ImageDraw.Draw(stats)
    d.line((36, 28, 464, 28), fill=INK_SOFT)
    d.rectangle((27, 36, 30 + 140, 39 + 76), outline=INK_SOFT)        # flag plate (flag at 1.3)
    d.line((168, 88, 470, 88), fill=GOLD)
    for k in range(4):
        x = 36 + 105 * k
        d.rectangle((x, 307, x + 104, 328), outline=INK_SOFT, fill=(214, 192, 142))
    d.line((20, 306, 480, 306), fill=INK_SOFT)
    put(G + "Statistiques/Fond.png", stats)

    obj = square_panel(400, 305, 33, ornaments=False)
    d = ImageDraw.Draw(obj)
    d.line((13, 34, 360, 34), fill=INK_SOFT)
    d.rectangle((14, 46, 17 + 106 + 2, 49 + 56 + 2), outline=INK_SOFT)  # flag plate
    d.line((140, 112, 386, 112), fill=GOLD)
    d.rectangle((103, 235, 105 + 278 + 1, 237 + 16 + 1), fill=(120, 96, 62), outline=INK)
    put(G + "Fond/Objectif.png", obj)

    ny = square_panel(420, 280, 34)
    d = ImageDraw.Draw(ny)
    text_centered(d, (210, 36), "Nouvelle année", font(30, italic=True), GREEN_TEXT, shadow=(200, 180, 130))
    d.line((110, 60, 310, 60), fill=GOLD, width=2)
    for cx in (100, 320):
        d.ellipse((cx - 4, 56, cx + 4, 64), fill=GOLD, outline=INK_SOFT)
    # two laurel branches on either side of the year
    for side in (-1, 1):
        for j in range(8):
            a = math.radians(-70 + j * 20)
            cx = 210 + side * (120 + 28 * math.cos(a))
            cy = 150 + 62 * math.sin(a)
            d.line([(cx, cy), (cx + side * 10, cy - 6)], fill=(60, 80, 40), width=2)
            d.ellipse((cx + side * 6 - 8, cy - 10, cx + side * 6 + 8, cy - 3), fill=(110, 130, 70), outline=(60, 80, 40))
            d.ellipse((cx - side * 4 - 8, cy + 1, cx - side * 4 + 8, cy + 8), fill=(120, 140, 76), outline=(60, 80, 40))
        d.arc((210 - 150, 84, 210 + 150, 216), 110 if side < 0 else -70, 250 if side < 0 else 70, fill=(60, 80, 40), width=2)
    put(G + "Fond/NewYear.jpg", ny)


# ---------------------------------------------------------------- flags, portraits, emblems
def flag(i):
    w, h = 106, 56
    ss = 4
    W, H = w * ss, h * ss
    im = Image.new("RGB", (W, H), (255, 255, 255))
    d = ImageDraw.Draw(im)

    def hbands(cols):
        n = len(cols)
        for k, c in enumerate(cols):
            d.rectangle((0, H * k // n, W, H * (k + 1) // n), fill=c)

    def star(cx, cy, r, fill):
        pts = []
        for j in range(10):
            a = -math.pi / 2 + j * math.pi / 5
            rr = r if j % 2 == 0 else r * 0.42
            pts.append((cx + rr * math.cos(a), cy + rr * math.sin(a)))
        d.polygon(pts, fill=fill)

    def crescent(cx, cy, r, fill, bg):
        d.ellipse((cx - r, cy - r, cx + r, cy + r), fill=fill)
        d.ellipse((cx - r * 0.55, cy - r * 0.85, cx + r * 1.15, cy + r * 0.85), fill=bg)

    if i == 0:    # Irak: red, white and black with a green star of eight points
        hbands([(180, 30, 35), (245, 245, 240), (25, 25, 25)])
        pts = []
        for j in range(16):
            a = -math.pi / 2 + j * math.pi / 8
            rr = H * 0.14 if j % 2 == 0 else H * 0.07
            pts.append((W / 2 + rr * math.cos(a), H / 2 + rr * math.sin(a)))
        d.polygon(pts, fill=(30, 120, 60))
    elif i == 1:  # Egypte: red with three crescents and stars
        d.rectangle((0, 0, W, H), fill=(190, 30, 35))
        for cx, cy in ((0.3, 0.3), (0.6, 0.3), (0.45, 0.68)):
            crescent(W * cx, H * cy, H * 0.15, (245, 245, 240), (190, 30, 35))
            star(W * cx + H * 0.1, H * cy, H * 0.05, (245, 245, 240))
    elif i == 2:  # Jamaique: green and black with a gold saltire
        d.rectangle((0, 0, W, H), fill=(20, 120, 50))
        d.polygon([(0, 0), (W / 2, H / 2), (0, H)], fill=(25, 25, 25))
        d.polygon([(W, 0), (W / 2, H / 2), (W, H)], fill=(25, 25, 25))
        d.line([(0, 0), (W, H)], fill=(240, 190, 30), width=H // 7)
        d.line([(0, H), (W, 0)], fill=(240, 190, 30), width=H // 7)
    elif i == 3:  # Etats-Unis: thirteen stripes and a field of stars
        for k in range(13):
            d.rectangle((0, H * k / 13, W, H * (k + 1) / 13), fill=(178, 34, 52) if k % 2 == 0 else (245, 245, 240))
        d.rectangle((0, 0, W * 0.42, H * 7 / 13), fill=(40, 50, 110))
        for r in range(5):
            for c in range(7):
                star(W * 0.42 * (c + 0.5) / 7, H * 7 / 13 * (r + 0.5) / 5, H * 0.035, (245, 245, 240))
    elif i == 4:  # France: the tricolour
        for k, c in enumerate([(30, 50, 140), (245, 245, 240), (200, 30, 40)]):
            d.rectangle((W * k / 3, 0, W * (k + 1) / 3, H), fill=c)
    elif i == 5:  # Russie: the imperial black, gold and white
        hbands([(25, 25, 25), (235, 185, 40), (245, 245, 240)])
    elif i == 6:  # Japon: the red sun
        d.rectangle((0, 0, W, H), fill=(245, 245, 240))
        r = H * 0.3
        d.ellipse((W / 2 - r, H / 2 - r, W / 2 + r, H / 2 + r), fill=(190, 20, 40))
    elif i == 7:  # Australie: blue ensign with the Southern Cross
        d.rectangle((0, 0, W, H), fill=(30, 40, 110))
        d.rectangle((0, 0, W / 2, H / 2), fill=(30, 40, 110))
        d.line([(0, 0), (W / 2, H / 2)], fill=(245, 245, 240), width=H // 10)
        d.line([(0, H / 2), (W / 2, 0)], fill=(245, 245, 240), width=H // 10)
        d.line([(0, 0), (W / 2, H / 2)], fill=(200, 30, 40), width=H // 30)
        d.line([(0, H / 2), (W / 2, 0)], fill=(200, 30, 40), width=H // 30)
        d.rectangle((W / 4 - H / 20, 0, W / 4 + H / 20, H / 2), fill=(245, 245, 240))
        d.rectangle((0, H / 4 - H / 20, W / 2, H / 4 + H / 20), fill=(245, 245, 240))
        d.rectangle((W / 4 - H / 40, 0, W / 4 + H / 40, H / 2), fill=(200, 30, 40))
        d.rectangle((0, H / 4 - H / 40, W / 2, H / 4 + H / 40), fill=(200, 30, 40))
        for cx, cy, r in ((0.75, 0.2, 0.07), (0.62, 0.48, 0.07), (0.88, 0.42, 0.07), (0.75, 0.8, 0.08),
                          (0.8, 0.58, 0.04), (0.25, 0.75, 0.1)):
            star(W * cx, H * cy, H * r, (245, 245, 240))
    small = im.resize((w, h), Image.LANCZOS)
    # cloth shading: gentle folds and an aged varnish
    arr = np.asarray(small, np.float32)
    xs = np.arange(w)
    fold = (np.sin(xs / w * math.pi * 3.2 + 0.6) * 0.07 + 0.97)[None, :, None]
    arr = arr * fold
    arr = arr * 0.9 + np.array([235, 215, 170], np.float32) * 0.1
    small = Image.fromarray(np.clip(arr, 0, 255).astype(np.uint8))
    d = ImageDraw.Draw(small)
    d.rectangle((0, 0, w - 1, h - 1), outline=INK)
    return small


# portrait traits: (coat colour, skin, hair, hat kind, beard kind)
PORTRAITS = [
    ((40, 70, 50), (196, 150, 110), (40, 30, 25), "keffiyeh", "full"),
    ((120, 40, 40), (190, 140, 100), (30, 25, 20), "fez", "moustache"),
    ((40, 90, 60), (120, 80, 55), (30, 25, 20), "boater", "none"),
    ((30, 40, 80), (220, 180, 150), (90, 60, 40), "tophat", "chin"),
    ((30, 40, 100), (225, 185, 155), (60, 45, 30), "kepi", "imperial"),
    ((30, 30, 30), (225, 190, 160), (130, 100, 70), "papakha", "full"),
    ((60, 40, 70), (220, 190, 150), (20, 20, 20), "topknot", "none"),
    ((110, 90, 50), (215, 170, 130), (150, 110, 60), "slouch", "side"),
]


def portrait(i):
    coat, skin, hair, hat, beard = PORTRAITS[i]
    w, h = 76, 92
    ss = 4

    def paint(d, im, s):
        k = s
        # medallion background
        d.rectangle((0, 0, w * k, h * k), fill=(70, 46, 26))
        d.ellipse((2 * k, 2 * k, (w - 2) * k, (h - 2) * k), fill=(200, 170, 110))
        d.ellipse((4 * k, 4 * k, (w - 4) * k, (h - 4) * k), fill=(226, 208, 166))
        cx = w / 2
        # shoulders and coat
        d.ellipse(((cx - 32) * k, 66 * k, (cx + 32) * k, 118 * k), fill=coat)
        d.polygon([((cx - 7) * k, 66 * k), ((cx + 7) * k, 66 * k), (cx * k, 80 * k)], fill=(240, 236, 225))
        d.rectangle(((cx - 6) * k, 54 * k, (cx + 6) * k, 68 * k), fill=skin)
        # head
        d.ellipse(((cx - 13) * k, 26 * k, (cx + 13) * k, 60 * k), fill=skin)
        d.ellipse(((cx - 15) * k, 38 * k, (cx - 11) * k, 46 * k), fill=skin)
        d.ellipse(((cx + 11) * k, 38 * k, (cx + 15) * k, 46 * k), fill=skin)
        # hair
        d.chord(((cx - 14) * k, 24 * k, (cx + 14) * k, 50 * k), 180, 360, fill=hair)
        # eyes and brows
        for ex in (-6, 6):
            d.ellipse(((cx + ex - 1.6) * k, 40 * k, (cx + ex + 1.6) * k, 43 * k), fill=(30, 25, 20))
            d.line([((cx + ex - 3) * k, 37.5 * k), ((cx + ex + 3) * k, 37.5 * k)], fill=hair, width=k)
        d.line([(cx * k, 42 * k), ((cx - 1.5) * k, 48 * k), ((cx + 1) * k, 48.5 * k)], fill=(150, 100, 80), width=k)
        # beards
        if beard == "full":
            d.chord(((cx - 13) * k, 38 * k, (cx + 13) * k, 66 * k), 0, 180, fill=hair)
            d.ellipse(((cx - 4) * k, 51 * k, (cx + 4) * k, 54 * k), fill=(150, 90, 80))
        elif beard == "moustache":
            d.polygon([((cx - 8) * k, 52 * k), (cx * k, 50 * k), ((cx + 8) * k, 52 * k), (cx * k, 52.5 * k)], fill=hair)
        elif beard == "chin":
            d.chord(((cx - 10) * k, 50 * k, (cx + 10) * k, 66 * k), 0, 180, fill=hair)
            d.line([((cx - 3) * k, 53 * k), ((cx + 3) * k, 53 * k)], fill=(150, 90, 80), width=k)
        elif beard == "imperial":
            d.polygon([((cx - 10) * k, 50 * k), (cx * k, 49 * k), ((cx + 10) * k, 50 * k), (cx * k, 51.5 * k)], fill=hair)
            d.polygon([((cx - 2) * k, 54 * k), ((cx + 2) * k, 54 * k), (cx * k, 62 * k)], fill=hair)
        elif beard == "side":
            d.rectangle(((cx - 13) * k, 40 * k, (cx - 10) * k, 54 * k), fill=hair)
            d.rectangle(((cx + 10) * k, 40 * k, (cx + 13) * k, 54 * k), fill=hair)
            d.line([((cx - 3) * k, 53 * k), ((cx + 3) * k, 53 * k)], fill=(150, 90, 80), width=k)
        else:
            d.line([((cx - 3) * k, 53 * k), ((cx + 3) * k, 53 * k)], fill=(150, 90, 80), width=k)
        # headgear
        if hat == "keffiyeh":
            d.polygon([((cx - 17) * k, 36 * k), (cx * k, 22 * k), ((cx + 17) * k, 36 * k), ((cx + 19) * k, 68 * k),
                       ((cx + 12) * k, 66 * k), ((cx + 13) * k, 36 * k), ((cx - 13) * k, 36 * k), ((cx - 12) * k, 66 * k),
                       ((cx - 19) * k, 68 * k)], fill=(236, 232, 220))
            d.rectangle(((cx - 15) * k, 31 * k, (cx + 15) * k, 34 * k), fill=(30, 30, 30))
        elif hat == "fez":
            d.polygon([((cx - 11) * k, 34 * k), ((cx - 9) * k, 16 * k), ((cx + 9) * k, 16 * k), ((cx + 11) * k, 34 * k)],
                      fill=(170, 30, 30))
            d.line([(cx * k, 16 * k), ((cx + 10) * k, 26 * k)], fill=(30, 30, 30), width=k)
        elif hat == "boater":
            d.ellipse(((cx - 22) * k, 27 * k, (cx + 22) * k, 35 * k), fill=(220, 190, 110))
            d.rectangle(((cx - 13) * k, 18 * k, (cx + 13) * k, 31 * k), fill=(220, 190, 110))
            d.rectangle(((cx - 13) * k, 26 * k, (cx + 13) * k, 29 * k), fill=(40, 90, 60))
        elif hat == "tophat":
            d.ellipse(((cx - 20) * k, 27 * k, (cx + 20) * k, 34 * k), fill=(25, 25, 25))
            d.rectangle(((cx - 12) * k, 4 * k, (cx + 12) * k, 31 * k), fill=(25, 25, 25))
            d.rectangle(((cx - 12) * k, 25 * k, (cx + 12) * k, 28 * k), fill=(90, 70, 50))
        elif hat == "kepi":
            d.polygon([((cx - 13) * k, 33 * k), ((cx - 11) * k, 17 * k), ((cx + 11) * k, 19 * k), ((cx + 13) * k, 33 * k)],
                      fill=(160, 30, 40))
            d.rectangle(((cx - 13) * k, 28 * k, (cx + 13) * k, 33 * k), fill=(30, 40, 100))
            d.chord(((cx - 14) * k, 30 * k, (cx + 16) * k, 38 * k), 0, 180, fill=(20, 20, 20))
        elif hat == "papakha":
            d.rounded_rectangle(((cx - 15) * k, 12 * k, (cx + 15) * k, 34 * k), radius=6 * k, fill=(50, 40, 35))
            for j in range(8):
                d.arc(((cx - 14 + j * 3.5) * k, 14 * k, (cx - 10 + j * 3.5) * k, 32 * k), 0, 360, fill=(80, 65, 55))
        elif hat == "topknot":
            d.chord(((cx - 13) * k, 24 * k, (cx + 13) * k, 44 * k), 180, 360, fill=(20, 20, 20))
            d.rounded_rectangle(((cx - 3) * k, 16 * k, (cx + 3) * k, 28 * k), radius=2 * k, fill=(20, 20, 20))
        elif hat == "slouch":
            d.chord(((cx - 24) * k, 24 * k, (cx + 24) * k, 38 * k), 180, 360, fill=(150, 120, 80))
            d.rounded_rectangle(((cx - 13) * k, 14 * k, (cx + 13) * k, 32 * k), radius=5 * k, fill=(150, 120, 80))
            d.polygon([((cx + 6) * k, 24 * k), ((cx + 24) * k, 14 * k), ((cx + 24) * k, 31 * k)], fill=(130, 100, 65))
            d.rectangle(((cx - 13) * k, 27 * k, (cx + 13) * k, 30 * k), fill=(70, 50, 30))
        # coat details: buttons / collar in the nation's accent
        acc = NATION_COLOURS[i]
        d.line([((cx - 14) * k, 78 * k), ((cx - 4) * k, 70 * k)], fill=acc, width=2 * k)
        d.ellipse(((cx - 1.5) * k, 82 * k, (cx + 1.5) * k, 85 * k), fill=GOLD_LIGHT)

    img = supersample(w, h, ss, paint, mode="RGB")
    # sepia print tone, then a thin ink frame
    arr = np.asarray(img, np.float32)
    grey = arr.mean(axis=2, keepdims=True)
    arr = arr * 0.7 + grey * np.array([1.08, 0.98, 0.8]) * 0.3
    img = Image.fromarray(np.clip(arr, 0, 255).astype(np.uint8))
    ImageDraw.Draw(img).rectangle((0, 0, w - 1, h - 1), outline=INK)
    return img


def emblem_art(g, size, ss=4):
    """A government emblem on a round medallion (RGBA, transparent outside)."""
    def paint(d, im, s):
        S = size * s
        c = S / 2
        bgs = [(40, 70, 140), (90, 30, 90), (150, 25, 25)]
        d.ellipse((0, 0, S - 1, S - 1), fill=(120, 84, 30, 255))
        d.ellipse((S * 0.05, S * 0.05, S * 0.95, S * 0.95), fill=(226, 186, 96, 255))
        d.ellipse((S * 0.1, S * 0.1, S * 0.9, S * 0.9), fill=bgs[g] + (255,))
        light = (242, 226, 180, 255)
        if g == 0:   # balance of justice
            d.line([(c, S * 0.25), (c, S * 0.72)], fill=light, width=int(S * 0.04) + 1)
            d.line([(S * 0.27, S * 0.33), (S * 0.73, S * 0.33)], fill=light, width=int(S * 0.035) + 1)
            for px in (S * 0.3, S * 0.7):
                d.line([(px, S * 0.33), (px - S * 0.08, S * 0.52)], fill=light, width=max(1, int(S * 0.015)))
                d.line([(px, S * 0.33), (px + S * 0.08, S * 0.52)], fill=light, width=max(1, int(S * 0.015)))
                d.chord((px - S * 0.11, S * 0.44, px + S * 0.11, S * 0.6), 0, 180, fill=light)
            d.rectangle((c - S * 0.12, S * 0.7, c + S * 0.12, S * 0.75), fill=light)
            d.ellipse((c - S * 0.03, S * 0.22, c + S * 0.03, S * 0.28), fill=light)
        elif g == 1:  # imperial crown
            gold = (240, 196, 70, 255)
            d.polygon([(S * 0.25, S * 0.35), (S * 0.37, S * 0.52), (c, S * 0.28), (S * 0.63, S * 0.52),
                       (S * 0.75, S * 0.35), (S * 0.7, S * 0.66), (S * 0.3, S * 0.66)], fill=gold)
            d.rectangle((S * 0.3, S * 0.66, S * 0.7, S * 0.74), fill=gold)
            for px, py in ((0.25, 0.33), (0.5, 0.26), (0.75, 0.33)):
                d.ellipse((S * (px - 0.04), S * (py - 0.04), S * (px + 0.04), S * (py + 0.04)), fill=light)
            d.ellipse((c - S * 0.04, S * 0.66, c + S * 0.04, S * 0.74), fill=(190, 40, 40, 255))
        else:        # star over a cogwheel
            for j in range(12):
                a = j * math.pi / 6
                d.polygon([(c + S * 0.33 * math.cos(a - 0.13), c + S * 0.33 * math.sin(a - 0.13)),
                           (c + S * 0.4 * math.cos(a - 0.09), c + S * 0.4 * math.sin(a - 0.09)),
                           (c + S * 0.4 * math.cos(a + 0.09), c + S * 0.4 * math.sin(a + 0.09)),
                           (c + S * 0.33 * math.cos(a + 0.13), c + S * 0.33 * math.sin(a + 0.13))], fill=light)
            d.ellipse((c - S * 0.34, c - S * 0.34, c + S * 0.34, c + S * 0.34), outline=light, width=int(S * 0.05))
            pts = []
            for j in range(10):
                a = -math.pi / 2 + j * math.pi / 5
                r = S * 0.25 if j % 2 == 0 else S * 0.1
                pts.append((c + r * math.cos(a), c + r * math.sin(a)))
            d.polygon(pts, fill=(240, 196, 70, 255))
    return supersample(size, size, ss, paint)


def nations_and_govs():
    for i, s in enumerate(STEMS):
        put(G + "Pays/%s.png" % s, flag(i))
        put(G + "Personnage/%s.png" % s, portrait(i))
    for g, name in enumerate(GOVS):
        put(G + "Embleme/%s.png" % name, flatten_keyed(emblem_art(g, 40, 8), KEY_RED))
        card = parchment(222, 222, 40 + g, base=PARCHMENT)
        d = ImageDraw.Draw(card)
        d.rectangle((0, 0, 221, 221), outline=INK, width=4)
        d.rectangle((8, 8, 213, 213), outline=GOLD, width=2)
        card = over(card, emblem_art(g, 190, 3), (16, 16))
        put(G + "Embleme/%s.jpg" % name, card)


# ---------------------------------------------------------------- big pictures
def netmap():
    img = parchment(640, 480, 50, base=(214, 192, 146), vignette=0.6)
    chart, _ = worldmap.render_chart((640, 480), worldmap.geo_to_map, seed=51)
    # keep the chart inside a neat line around the whole world
    x0, y0, x1, y1 = 92, 96, 500, 372
    mask = Image.new("L", (640, 480), 0)
    ImageDraw.Draw(mask).rectangle((x0, y0, x1, y1), fill=255)
    img.paste(chart.convert("RGB"), (0, 0), mask)
    d = ImageDraw.Draw(img)
    d.rectangle((x0 - 1, y0 - 1, x1 + 1, y1 + 1), outline=INK, width=2)
    d.rectangle((x0 - 6, y0 - 6, x1 + 6, y1 + 6), outline=INK_SOFT, width=1)
    for x in range(x0, x1, 20):
        d.rectangle((x, y0 - 5, x + 10, y0 - 2), fill=INK_SOFT)
        d.rectangle((x, y1 + 2, x + 10, y1 + 5), fill=INK_SOFT)
    compass(d, 570, 170, 46)
    text_centered(d, (570, 250), "Orbis", font(22, italic=True), INK)
    text_centered(d, (570, 274), "Terrarum", font(22, italic=True), INK)
    text_centered(d, (570, 300), "MDCCCLXX", font(16), INK_SOFT)
    text_centered(d, (46, 240), "Océan", font(16, italic=True), INK_SOFT)
    put(G + "Fond/NetMap.jpg", img)


def country_panel():
    w, h = 400, 300
    base = panel(w, h, 60, radius=0)
    base = opaque(base, (60, 40, 22))
    off = (120, 90)
    tint = {i: NATION_COLOURS[i] + (70,) for i in range(8)}
    tint[0] = (60, 60, 60, 70)
    tint[4] = (70, 90, 190, 60)
    chart, _ = worldmap.render_chart((w, h), lambda p: worldmap.geo_to_chooser(p) - np.array(off), seed=61,
                                     nation_tint=tint)
    mask = Image.new("L", (w, h), 0)
    ImageDraw.Draw(mask).rectangle((14, 46, w - 15, h - 15), fill=255)
    base.paste(chart.convert("RGB"), (0, 0), mask)
    d = ImageDraw.Draw(base)
    d.rectangle((13, 45, w - 14, h - 14), outline=INK, width=1)
    text_centered(d, (200, 26), "Choisissez votre nation", font(22, italic=True), GREEN_TEXT)
    put(G + "Fond/Country.jpg", base)


def gov_panel():
    img = square_panel(400, 300, 70)
    d = ImageDraw.Draw(img)
    for i in range(3):
        y = i * 94 + 15
        d.rectangle((14, y - 4, 18 + 82 + 3, y + 82 + 3), fill=(120, 90, 50), outline=INK)
    d.line((112, 12, 112, 288), fill=INK_SOFT)
    d.line((140, 62, 385, 62), fill=GOLD, width=2)
    d.line((140, 122, 385, 122), fill=GOLD, width=1)
    put(G + "Fond/GovCadre.png", img)


def title_art(w, h, seed, title_size, with_title=True):
    img = parchment(w, h, seed, base=(222, 200, 154), vignette=0.8)
    chart, _ = worldmap.render_chart((w, h), lambda p: (worldmap.geo_to_map(p) - 296) * 1.25 + np.array([320, 300]),
                                     seed=seed + 1)
    faded = Image.blend(img, chart.convert("RGB"), 0.35)
    return faded


def backgrounds():
    bg = title_art(640, 480, 80, 0)
    d = ImageDraw.Draw(bg)
    d.rectangle((6, 6, 633, 473), outline=INK_SOFT, width=2)
    d.rectangle((11, 11, 628, 468), outline=GOLD, width=1)
    text_centered(d, (320, 70), "Torvane", font(72, bold=True), GREEN_TEXT, shadow=(170, 140, 90))
    text_centered(d, (320, 122), "— la conquête du monde, 1870 —", font(20, italic=True), INK)
    compass(d, 70, 400, 40)
    put(G + "Fond/Background.jpg", bg)

    t = title_art(640, 480, 90, 0)
    d = ImageDraw.Draw(t)
    d.rectangle((6, 6, 633, 473), outline=INK, width=3)
    d.rectangle((13, 13, 626, 466), outline=GOLD, width=2)
    text_centered(d, (320, 180), "TORVANE", font(110, bold=True), GREEN_TEXT, shadow=(160, 130, 80))
    d.line((150, 250, 490, 250), fill=GOLD, width=2)
    text_centered(d, (320, 285), "Le monde en l'an de grâce 1870", font(28, italic=True), INK)
    text_centered(d, (320, 400), "Quillmere", font(22), INK_SOFT)
    compass(d, 560, 90, 40)
    # a dark plaque under the orange version number drawn at the bottom right
    d.rounded_rectangle((548, 443, 638, 476), radius=6, fill=(58, 40, 24), outline=GOLD)
    put(G + "Fond/Title.jpg", t)

    sp = parchment(320, 240, 95, base=(232, 214, 170), vignette=0.7)
    d = ImageDraw.Draw(sp)
    d.rectangle((0, 0, 319, 239), outline=INK, width=2)
    d.rectangle((5, 5, 314, 234), outline=GOLD, width=1)
    text_centered(d, (160, 40), "Torvane", font(44, bold=True), GREEN_TEXT, shadow=(180, 150, 100))
    text_centered(d, (160, 70), "la conquête du monde, 1870", font(14, italic=True), INK)
    d.rectangle((70, 80, 250, 188), outline=INK_SOFT, width=1)
    d.rectangle((118, 200, 209, 230), outline=INK_SOFT, width=1)
    put(G + "Fond/Splash.jpg", sp)


def make_all(repo=board.REPO):
    OUT.clear()
    frames()
    icons()
    game_pieces()
    nations_and_govs()
    netmap()
    country_panel()
    gov_panel()
    backgrounds()
    OUT.update(board.make_all(repo))
    return dict(OUT)


def write_all(root):
    """Write every picture under `root` (the Ressources folder of a checkout)."""
    pics = make_all(os.path.dirname(os.path.abspath(root)))
    for rel, img in sorted(pics.items()):
        save(img, root, rel)
    return pics
