"""Compose one preview per screen, the way the game draws it, into tools/assets/work/.

Usage: preview.py <repo root>
"""
import os
import sys

import numpy as np
from PIL import Image, ImageDraw

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import FONT_REGULAR  # noqa: E402
from PIL import ImageFont  # noqa: E402

import board  # noqa: E402
import worldmap  # noqa: E402

STEMS = ["Irak", "Egypte", "Jamaique", "EtatsUnis", "France", "Russie", "Japon", "Australie"]
GOVS = ["Democratie", "Empire", "Communisme"]
NATION_ARGB = [0xFF000000, 0xFFFF7F00, 0xFF008000, 0xFF0000FF, 0xFFFFFFFF, 0xFFFF0000, 0xFFFFFF00, 0xFFFF00FF]


class Screen:
    def __init__(self, root):
        self.root = root
        self.canvas = Image.new("RGBA", (640, 480), (0, 0, 0, 255))
        self.cache = {}

    def load(self, rel, key=0):
        k = (rel, key)
        if k not in self.cache:
            img = Image.open(os.path.join(self.root, "Ressources", *rel.split("/"))).convert("RGBA")
            arr = np.asarray(img).copy()
            if key:
                rgb = ((key >> 16) & 255, (key >> 8) & 255, key & 255)
                m = np.all(arr[:, :, :3] == rgb, axis=2)
                arr[m] = (0, 0, 0, 0)
            self.cache[k] = Image.fromarray(arr)
        return self.cache[k]

    def draw(self, rel, x, y, colour=0xFFFFFFFF, sx=1.0, sy=1.0, key=0):
        img = self.load(rel, key)
        w, h = img.size
        nw, nh = max(1, int(round(w * sx))), max(1, int(round(h * sy)))
        img = img.resize((nw, nh), Image.NEAREST)
        arr = np.asarray(img, np.float32).copy()
        a, r, g, b = (colour >> 24) & 255, (colour >> 16) & 255, (colour >> 8) & 255, colour & 255
        arr[:, :, 0] *= r / 255
        arr[:, :, 1] *= g / 255
        arr[:, :, 2] *= b / 255
        arr[:, :, 3] *= a / 255
        layer = Image.new("RGBA", (640, 480), (0, 0, 0, 0))
        layer.paste(Image.fromarray(arr.astype(np.uint8)), (int(x), int(y)))
        self.canvas.alpha_composite(layer)

    def text(self, x, y, s, colour, shadow, idx, align=0):
        px = int(round((12 + 2 * idx) * 96 / 72 * 0.82))
        f = ImageFont.truetype(FONT_REGULAR, px)
        anchor = {0: "la", 1: "ma", 2: "ra"}[align]
        layer = Image.new("RGBA", (640, 480), (0, 0, 0, 0))
        d = ImageDraw.Draw(layer)
        a = (colour >> 24) & 255
        if shadow:
            d.text((x + shadow, y + shadow), s, font=f, fill=(0, 0, 0, a // 2), anchor=anchor)
        d.text((x, y), s, font=f, fill=((colour >> 16) & 255, (colour >> 8) & 255, colour & 255, a), anchor=anchor)
        self.canvas.alpha_composite(layer)

    def band(self, x0, top, iw, ih, lx, ly):
        lw, lh = self.load("Graphics/Fond/Light.png").size
        for (x, y, w, h) in ((x0, top, iw, ly - top), (x0, ly + lh, iw, ih - (ly - top + lh)),
                             (x0, ly, lx - x0, lh), (lx + lw, ly, iw - (lx - x0 + lw), lh)):
            if w > 0 and h > 0:
                self.draw("Graphics/Fond/Trans.png", x, y, 0x7FFFFFFF, w, h)
        self.draw("Graphics/Fond/Light.png", lx, ly, 0x7FFFFFFF)

    def cursor(self, x, y):
        self.draw("Graphics/Icones/Cursor.png", x - 16, y - 11, key=0xFF800080)

    def save(self, path):
        self.canvas.convert("RGB").save(path)


def size(scr, rel):
    return scr.load(rel).size


def menu(root):
    s = Screen(root)
    s.draw("Graphics/Fond/Background.jpg", 0, 0)
    s.text(620, 440, "v 3.00a", 0xFF102D19, 1, 2, 2)
    top = 180
    s.draw("Graphics/Fond/MenuCadre.png", 165, top, 0xCFFFFFFF, key=0xFFBD9C53)
    fw, fh = size(s, "Graphics/Fond/MenuCadre.png")
    lw, lh = size(s, "Graphics/Fond/Light.png")
    lx = 320 - lw // 2
    ly = int(top + 65 + 15 - lh // 2)
    s.band(172, top + 7, fw - 14, fh - 14, lx, ly)
    for i, (t, yy) in enumerate((("- jouer -", 25), ("- options -", 65), ("- crédits -", 105), ("- quitter -", 145))):
        s.text(320, top + yy, t, 0xFF132819 if i == 1 else 0x5F132819, 1, 3, 1)
    s.cursor(300, 265)
    return s


def options(root):
    s = Screen(root)
    s.draw("Graphics/Fond/Background.jpg", 0, 0)
    top = 180
    for i, vol in ((0, 70), (1, 100)):
        y = top + 90 * i
        s.draw("Graphics/Fond/MiniCadre.png", 185, y, 0xCFFFFFFF)
        colour = 0xFFFFFFFF if i == 0 else 0x5FFFFFFF
        s.draw("Graphics/Icones/%s.png" % ("Music" if i == 0 else "Volume"), 205, y + 15, colour, key=0xFF8C7B52)
        for k in range(10):
            f = 10 * k
            h = 0.2 + f * 0.8 * 0.01
            c = colour if f <= vol else (0x7FFFFFFF if i == 0 else 0x0FFFFFFF)
            s.draw("Graphics/Icones/Bar.png", 245 + 18 * k, int(y + 50 - 37 * h), c, 1.0, h)
    s.draw("Graphics/Fond/FlatCadre.png", 185, top + 180, 0xCFFFFFFF)
    s.text(310, top + 187, "- retour -", 0x5F102D19, 1, 3, 1)
    return s


def name_screen(root):
    s = Screen(root)
    s.draw("Graphics/Fond/Background.jpg", 0, 0)
    top = 180
    s.draw("Graphics/Fond/MiniCadre.png", 193, top, 0xCFFFFFFF)
    s.draw("Graphics/Fond/CadreMoyen.png", 193, top + 108, 0xCFFFFFFF, key=0xFFBD9C53)
    fw, fh = size(s, "Graphics/Fond/CadreMoyen.png")
    lw, lh = size(s, "Graphics/Fond/Light.png")
    lx = 321 - lw // 2
    ly = int(top + 25 + 108 + 15 - lh // 2)
    s.band(200, top + 115, fw - 14, fh - 14, lx, ly)
    s.text(223, top + 16, "Bismarck_", 0xFF102D19, 1, 4, 0)
    s.text(321, top + 134, "- jouer -", 0xFF102D19, 1, 3, 1)
    s.text(321, top + 181, "- retour -", 0x5F102D19, 1, 3, 1)
    return s


def browser(root):
    s = Screen(root)
    s.draw("Graphics/Fond/Background.jpg", 0, 0)
    top = 180
    s.draw("Graphics/Fond/Cadre.png", 400, top, 0xCFFFFFFF, key=0xFFBD9C53)
    fw, fh = size(s, "Graphics/Fond/Cadre.png")
    lw, lh = size(s, "Graphics/Fond/Light.png")
    s.band(407, top + 7, fw - 14, fh - 14, 496 - lw // 2, int(top + 124 + 15 - lh // 2))
    for t, yy, fi in (("- créer -", 43, 3), ("- @ 192.168.0.1 -", 84, 2), ("- rafraichir -", 125, 3), ("- retour -", 166, 3)):
        s.text(496, top + yy, t, 0xFF102D19 if yy == 125 else 0x5F102D19, 1, fi, 1)
    for i, (d, fc, tc) in enumerate(((1, 0x6FFFFFFF, 0x3F102D19), (0, 0xCFFFFFFF, 0xFF102D19), (1, 0x6FFFFFFF, 0x3F102D19))):
        y = top - 180 + 220 + (1 - i) * 70
        s.draw("Graphics/Fond/MiniCadre.png", 50, y, fc)
        s.text(150, y + 8, "Partie de Otto", tc, 1, 3, 1)
        s.text(150, y + 32, "3 joueur(s) sur 8", tc + 0x1C42, 1, 0, 1)
        s.text(287, y + 13, "v 3.00a", tc + 0x1C42, 1, 0, 2)
        s.text(287, y + 30, "(12 ms)", tc + 0x1C42, 1, 0, 2)
    s.cursor(500, 310)
    return s


def waiting(root):
    s = browser(root)
    s.draw("Graphics/Fond/MiniCadre.png", 195, 204)
    s.draw("Graphics/Icones/Network.png", 216, 222, key=0xFF8C7B52)
    s.text(257, 221, "Recherche...", 0xFF102D19, 1, 4, 0)
    return s


def lobby(root, chooser=None):
    s = Screen(root)
    s.draw("Graphics/Fond/NetMap.jpg", 0, 0)
    W, H = size(s, "Graphics/Fond/NetmapMenuDroit.png")
    lw, lh = size(s, "Graphics/Fond/Light.png")
    s.draw("Graphics/Fond/NetmapMenuDroit.png", 419, 344, 0xCFFFFFFF, key=0xFFBD9C53)
    h = 1
    lx = 419 + W // 2 - lw // 2
    ly = int(round(h + 383 - lh / 2))
    for (x, y, w, hh) in ((426, 351, W - 14, ly - 351), (426, ly + lh, W - 14, H + 351 - ly - lh - 14),
                          (426, ly, lx - 426, lh), (lx + lw, ly, W + 426 - lx - lw - 14, lh)):
        if w > 0 and hh > 0:
            s.draw("Graphics/Fond/Trans.png", x, y, 0x7FFFFFFF, w, hh)
    s.draw("Graphics/Fond/Light.png", lx, ly, 0x7FFFFFFF)
    s.text(516, 368, "- démarrer -", 0xCF102D19, 1, 2, 1)
    s.text(516, 403, "- retour -", 0x5F102D19, 1, 2, 1)
    GW, GH = size(s, "Graphics/Fond/NetmapMenuGauche.png")
    s.draw("Graphics/Fond/NetmapMenuGauche.png", 32, 344, 0xCFFFFFFF, key=0xFFBD9C53)
    s.draw("Graphics/Fond/Trans.png", 39, 351, 0x7FFFFFFF, GW - 14, GH - 14)
    s.text(100, 353, "Objectif:", 0xCF102D19, 0, 3, 1)
    s.draw("Graphics/Icones/Conquete.png", 66, 385, 0xCFFFFFFF, key=0xFFBF0000)
    s.text(111, 385, "Monde", 0xCF102D19, 0, 2)
    s.draw("Graphics/Icones/Espionner.png", 66, 414, 0x5FFF0000, key=0xFFBF0000)
    s.text(111, 414, "Personnalisé", 0x5F102D19, 0, 1)
    for x, t, al in ((46, "Nom", 0), (180, "Pays", 0), (280, "Gouvernement", 0), (443, "Etat", 0), (585, "Connexion", 2)):
        s.text(x, 27, t, 0xFF102D19, 0, 1, al)
    s.draw("Graphics/Fond/Barre.png", 31, 56)
    players = [("Otto", 4, 1, True), ("Victoria", 3, 0, True), ("Meiji", 6, 2, False), ("Ismaïl", 1, -1, False)]
    names = ["Irak", "Egypte", "Jamaïque", "Etat-Unis", "France", "Russie", "Japon", "Australie"]
    gnames = ["Démocratie", "Empire", "Communisme"]
    selected = 1
    for r, (nm, nat, gov, ready) in enumerate(players, 1):
        y = r * 30 + 33
        c = NATION_ARGB[nat]
        s.draw("Graphics/Fond/Actif.png", 36, y, 0x7FFFFFFF, key=0xFFFFFFFF)
        k = 0.5
        if r - 1 == selected:
            k = 0.75
            s.draw("Graphics/Fond/Actif.png", 36, y - 1, c & 0x7FFFFFFF, key=0xFFE6C886)
        if r == 1:
            s.draw("Graphics/Fond/Boutons.png", 176, 63, 0xCFFFFFFF, key=0xFF8C7B52)
            s.draw("Graphics/Fond/Boutons.png", 276, 63, 0x7FFFFFFF, 1.5, 1.0, key=0xFF8C7B52)
        tc = c & (0xCFFFFFFF if r == 1 else 0x7FFFFFFF)
        s.text(40, y, nm, tc, 1, 1)
        s.text(180, y, names[nat], tc, 1, 1)
        s.text(280, y, gnames[gov] if gov >= 0 else "En cours...", tc, 1, 1)
        s.draw("Graphics/Icones/%s.png" % ("Ready" if ready else "NotReady"), 450, r * 30 + 36, 0xCFFFFFFF, key=0xFF8C7B52)
        if r == 1:
            s.draw("Graphics/Icones/Server.png", 503, r * 30 + 35, 0xCFFFFFFF, key=0xFF8C7B52)
            s.draw("Graphics/Icones/Home.png", 543, r * 30 + 35, 0xCFFFFFFF, key=0xFF8C7B52)
        else:
            s.text(583, y, "%d ms" % (10 * r), tc, 1, 1, 2)
    for nat in range(8):
        px, py = worldmap.ANCHORS[nat][1]
        pw, ph = size(s, "Graphics/Icones/Point.png")
        k = 0.75 if nat == 3 else 0.5
        s.draw("Graphics/Icones/Point.png", round(px - pw * k * 0.5), round(py - ph * k * 0.5),
               NATION_ARGB[nat] & 0xCFFFFFFF, k, k, key=0xFF000000)
    nat, gov = 3, 0
    s.draw("Graphics/Pays/%s.png" % STEMS[nat], 238, 359, 0xCFFFFFFF, 1.32, 1.32)
    s.draw("Graphics/Personnage/%s.png" % STEMS[nat], 245, 366, 0xCFFFFFFF, 0.66, 0.66)
    s.draw("Graphics/Embleme/%s.png" % GOVS[gov], 345, 399, 0xCFFFFFFF, 0.66, 0.66, key=0xFFBF0000)
    if chooser == "nation":
        s.draw("Graphics/Fond/Country.jpg", 120, 90)
        cur = 2
        fw, _ = size(s, "Graphics/Pays/Irak.png")
        pw, ph = size(s, "Graphics/Personnage/Irak.png")
        s.draw("Graphics/Pays/%s.png" % STEMS[cur], 354 - fw, 295, 0xC0FFFFFF, 1.32, 1.32)
        px, py = worldmap.CHOOSER_POINTS[cur]
        t = 1.0
        X = round((pw / 2 + 360.6 - fw - px) * t + px)
        Y = round((ph / 2 + 301.6 - py) * t + py)
        X = round(X - pw * 0.5)
        Y = round(Y - ph * 0.5)
        s.draw("Graphics/Personnage/%s.png" % STEMS[cur], X, Y, 0xC0FFFFFF, 0.66, 0.66)
        for i, (px, py) in enumerate(worldmap.CHOOSER_POINTS):
            tx, ty = round(px - pw * 0.125), round(py - ph * 0.125)
            col = (0xFF000000 if i == cur else 0x7F000000) | (0xFF0000 if i in (3, 4) else 0xFFFFFF)
            s.draw("Graphics/Personnage/%s.png" % STEMS[i], tx, ty, col, 0.25, 0.25)
            if i == cur:
                mw, mh = size(s, "Graphics/Fond/MiniatCadre.png")
                s.draw("Graphics/Fond/MiniatCadre.png", round(tx - (mw - pw * 0.25) * 0.5),
                       round(ty - (mh - ph * 0.25) * 0.5) + 1, key=0xFFBF0000)
    if chooser == "gov":
        s.draw("Graphics/Fond/GovCadre.png", 120, 90)
        for i in range(3):
            s.draw("Graphics/Embleme/%s.jpg" % GOVS[i], 138, i * 94 + 105, 0xFFFFFFFF if i == 1 else 0x7FFFFFFF, 0.37, 0.37)
        g = 0xFF102D19
        s.text(365, 120, "Empire", g, 1, 4, 1)
        s.text(230, 160, "Description :", g, 0, 1)
        s.text(505, 162, "Détiens les armées les", g, 0, 0, 2)
        s.text(505, 180, "plus puissantes et les moins chers", g, 0, 0, 2)
        for j, (lab, val) in enumerate((("Armée :", "85 000"), ("Bateau :", "30 000"), ("Espionnage :", "80 000"),
                                        ("Revenu :", "+5%"), ("Contre-espionnage :", "5% - 40%"))):
            s.text(230, 220 + 26 * j, lab, g, 0, 1)
            s.text(505, 220 + 26 * j, val, g, 0, 1, 2)
        s.text(505, 350, "Scandale & Tir à vue", g, 0, 1, 2)
    s.cursor(300, 250)
    return s


def game(root, which):
    s = Screen(root)
    s.canvas = Image.new("RGBA", (640, 480), (0, 0, 0, 255))
    n = 4
    for i in range(n):
        t = (i + 1) * 1740 / n
        if t <= 245:
            x, y = int(320 + t), 50
        elif t <= 625:
            x, y = 565, int(50 + t - 245)
        elif t <= 1115:
            x, y = int(565 - (t - 625)), 430
        elif t <= 1495:
            x, y = 75, int(455 - (t - 1115))
        else:
            x, y = int(75 + t - 1495), 50
        nat, gov = (4, 6, 3, 5)[i], i % 3
        fw, fh = size(s, "Graphics/Pays/Irak.png")
        ew, eh = size(s, "Graphics/Embleme/Empire.png")
        s.draw("Graphics/Pays/%s.png" % STEMS[nat], x - fw // 2, y - fh // 2)
        s.draw("Graphics/Personnage/%s.png" % STEMS[nat], x - fw // 2 + 5, y - fh // 2 + 5, sx=0.5, sy=0.5)
        s.draw("Graphics/Embleme/%s.png" % GOVS[gov], x + fw // 2 - ew // 2 - 5, y + fh // 2 - eh // 2 - 5, sx=0.5, sy=0.5,
               key=0xFFBF0000)
        s.text(x, y + fh // 2 - 15, "Joueur %d" % (i + 1), 0xFFFF9F31, 1, 1, 1)
    g = 0xFF102D19
    fw, fh = size(s, "Graphics/Pays/Irak.png")
    if which == "objective":
        W, H = size(s, "Graphics/Fond/Objectif.png")
        x0, y0 = 320 - W // 2, 240 - H // 2
        s.draw("Graphics/Fond/Objectif.png", x0, y0)
        bw, bh = size(s, "Graphics/Fond/OK.png")
        s.draw("Graphics/Fond/OK.png", x0 + W // 2 - bw // 2, y0 + 263, key=0xFFBF0000)
        s.draw("Graphics/Fond/Close.png", x0 + 366, y0 + 9, 0x7FFFFFFF, key=0xFFBF0000)
        s.draw("Graphics/Fond/Fill.png", x0 + 105, y0 + 237, sx=int(64 * 0.01 * 278))
        s.draw("Graphics/Pays/France.png", x0 + 17, y0 + 49)
        s.draw("Graphics/Personnage/France.png", x0 + 22, y0 + 54, sx=0.5, sy=0.5)
        ew, eh = size(s, "Graphics/Embleme/Empire.png")
        s.draw("Graphics/Embleme/Empire.png", x0 + fw - ew // 2 + 12, y0 + fh - eh // 2 + 44, sx=0.5, sy=0.5, key=0xFFBF0000)
        s.text(x0 + fw + 27, y0 + 49, "Napoléon", g, 1, 5)
        s.text(x0 + fw + 27, y0 + 83, "Empereur des français", g, 0, 2)
        s.text(x0 + 13, y0 + 5, "Objectif :Conquête du monde", g, 0, 3)
        s.text(x0 + 21, y0 + 121, "          Conquérir tous les territoires", g, 0, 1)
        s.text(x0 + 21, y0 + 141, "du monde avant les autres nations.", g, 0, 1)
        s.text(x0 + 19, y0 + 234, "Réalisé :", g, 0, 1)
        s.text(x0 + 243, y0 + 235, "64 %", g, 0, 0, 1)
    elif which == "year":
        W, H = size(s, "Graphics/Fond/NewYear.jpg")
        y = 240 - H // 2
        s.draw("Graphics/Fond/NewYear.jpg", 320 - W // 2, y)
        s.text(320, H // 2 + y - 50, "1870", g, 3, 39, 1)
        bw, bh = size(s, "Graphics/Fond/OK.png")
        s.draw("Graphics/Fond/OK.png", 320 - bw // 2, H // 2 + y + 95, key=0xFFBF0000)
    else:
        W, H = size(s, "Graphics/Statistiques/Fond.png")
        x0, y0 = 320 - W // 2, 240 - H // 2
        tw, th = size(s, "Graphics/Statistiques/Tab.png")
        s.draw("Graphics/Statistiques/Fond.png", x0, y0)
        s.draw("Graphics/Statistiques/Tab.png", x0 + 36, y0 + 307)
        s.text(x0 + 36, y0 + 8, "Statistiques : Résumé", g, 0, 1)
        for k, t in enumerate(("Résumé", "Revenus", "Objectif", "Guerres")):
            s.text(x0 + 41 + tw * k, y0 + 308, t, g if k == 0 else 0xCF102D19, 0, 0)
        s.draw("Graphics/Pays/Russie.png", x0 + 30, y0 + 39, sx=1.3, sy=1.3)
        s.draw("Graphics/Personnage/Russie.png", x0 + 37, y0 + 46, 0xCFFFFFFF, 0.65, 0.65)
        ew, eh = size(s, "Graphics/Embleme/Empire.png")
        s.draw("Graphics/Embleme/Empire.png", int(fw * 1.32 + x0 + 30 - 7 - ew * 0.66), int(fh * 1.32 + y0 + 39 - 7 - eh * 0.66),
               0xCFFFFFFF, 0.66, 0.66, key=0xFFBF0000)
        s.text(x0 + 168, y0 + 34, "Alexandre", g, 0, 3)
        s.text(x0 + 168, y0 + 60, "Empereur des russes", g, 0, 1)
        s.text(x0 + 468, y0 + 34, "année 1870", g, 0, 2, 2)
        s.text(x0 + 168, y0 + 95, "Objectif :", g, 0, 1)
        s.text(x0 + 254, y0 + 97, "Conquête du monde (12%)", g, 0, 0)
        s.draw("Graphics/Statistiques/Up.png", x0 + 445, y0 + 97)
    return s


def board_owners(count=104, seed=3):
    """Some owner for every territory: nations in blocks, as after a few turns."""
    rng = np.random.RandomState(seed)
    return [int(v) for v in rng.randint(0, 8, count)]


def tinted_board(root, alpha=0.38):
    """The whole map with each territory tinted in its owner's colour."""
    carte = os.path.join(root, "Ressources", "Graphics", "Carte")
    pic = np.asarray(Image.open(os.path.join(carte, "Monde.jpg")).convert("RGB"), np.float32)
    lab = np.asarray(Image.open(os.path.join(carte, "Territoires.png")))
    owners = board_owners()
    colours = np.zeros((256, 3), np.float32)
    amount = np.zeros(256, np.float32)
    for t, o in enumerate(owners):
        argb = NATION_ARGB[o]
        colours[t] = ((argb >> 16) & 255, (argb >> 8) & 255, argb & 255)
        amount[t] = alpha
    a = amount[lab][:, :, None]
    out = pic * (1 - a) + colours[lab] * a
    return Image.fromarray(np.clip(out, 0, 255).astype(np.uint8))


def board_screen(root, view=(380, 100)):
    """A 640 x 480 view of the board: tinted map, markers, an order arrow, the ring, the bar, a panel."""
    s = Screen(root)
    vx, vy = view
    s.canvas.paste(tinted_board(root).crop((vx, vy, vx + 640, vy + 480)).convert("RGBA"), (0, 0))
    world = board.read_world(root)
    icons = ["Armee", "Reserve", "Fort", "Amelioration", "Bateau", "Capitale"]
    for i, t in enumerate(world):
        x, y = t["x"] - vx, t["y"] - vy
        if not (0 <= x < 640 and 40 <= y < 480):
            continue
        s.draw("Graphics/Carte/Armee.png", x - 8, y - 8, key=0xFFBF0000)
        extra = icons[1 + (i % 5)] if i % 3 == 0 else None
        if extra:
            s.draw("Graphics/Carte/%s.png" % extra, x + 8, y - 8, key=0xFFBF0000)
        s.text(x, y + 8, t["name"], 0xFF102D19, 0, 0, 1)
    # an order from Ukraine to Europe du Sud, and the selected territory
    (ax, ay), (bx, by) = (world[65]["x"] - vx, world[65]["y"] - vy), (world[66]["x"] - vx, world[66]["y"] - vy)
    arrow = s.load("Graphics/Carte/Fleche.png", 0xFFBF0000)
    length = int(np.hypot(bx - ax, by - ay))
    angle = np.degrees(np.arctan2(-(by - ay), bx - ax))
    arr = np.asarray(arrow.resize((length, 16), Image.NEAREST), np.float32).copy()
    arr[:, :, 0] *= 1.0
    arr[:, :, 1] *= 0.2
    arr[:, :, 2] *= 0.2
    rot = Image.fromarray(arr.astype(np.uint8)).rotate(angle, expand=True, resample=Image.BICUBIC)
    s.canvas.alpha_composite(rot, (int((ax + bx) / 2 - rot.width / 2), int((ay + by) / 2 - rot.height / 2)))
    s.draw("Graphics/Carte/Selection.png", world[64]["x"] - vx - 20, world[64]["y"] - vy - 20, 0xFFFFD040,
           key=0xFFBF0000)
    s.draw("Graphics/Carte/Barre.png", 0, 0)
    s.text(10, 8, "Printemps 1871", 0xFF102D19, 0, 2)
    s.text(222, 8, "Trésor : 12 400", 0xFF102D19, 0, 2)
    s.text(436, 8, "Armées : 14", 0xFF102D19, 0, 2)
    s.draw("Graphics/Carte/Panneau.png", 400, 290)
    s.text(515, 298, world[64]["name"], 0xFF102D19, 0, 3, 1)
    for k, line in enumerate(("Propriétaire : Russie", "Armées : 3", "Réserve : 1", "Fortifié")):
        s.text(414, 336 + 20 * k, line, 0xFF102D19, 0, 1)
    return s


def end_screen(root, victory):
    s = board_screen(root)
    name = "Victoire" if victory else "Defaite"
    s.draw("Graphics/Fond/Trans.png", 0, 0, 0x7FFFFFFF, 640, 480)
    s.draw("Graphics/Carte/%s.png" % name, 110, 90)
    s.text(320, 130, "Victoire !" if victory else "Défaite", 0xFF102D19, 1, 12, 1)
    s.text(320, 200, "La France domine le monde" if victory else "La Russie a conquis le monde", 0xFF102D19, 0, 2, 1)
    bw, bh = size(s, "Graphics/Fond/OK.png")
    s.draw("Graphics/Fond/OK.png", 320 - bw // 2, 90 + 300 - 40, key=0xFFBF0000)
    return s


def splash(root):
    s = Screen(root)
    s.canvas = Image.new("RGBA", (320, 240), (0, 0, 0, 255))
    img = s.load("Graphics/Fond/Splash.jpg")
    s.canvas.alpha_composite(img)
    d = ImageDraw.Draw(s.canvas)
    f = ImageFont.truetype(FONT_REGULAR, 13)
    for y, t in ((87, "Plein écran"), (107, "Texture carrées"), (126, "Voir la vitesse d'affichage"), (166, "Activer le son")):
        d.rectangle((80, y, 93, y + 14), fill=(255, 255, 255), outline=(0, 0, 0))
        d.text((96, y - 2), t, font=f, fill=(0, 0, 0))
    d.text((163, 215), "- jouer -", font=f, fill=(0, 0, 0), anchor="mm")
    s.canvas.alpha_composite(s.load("Graphics/Icones/Close.bmp"), (286, 11))
    return s


def title(root):
    s = Screen(root)
    s.draw("Graphics/Fond/Title.jpg", 0, 0)
    s.text(630, 450, "v 3.00a", 0xFFFF9F31, 1, 2, 2)
    return s


def main():
    root = sys.argv[1]
    out = os.path.join(root, "tools", "assets", "work")
    os.makedirs(out, exist_ok=True)
    shots = {
        "splash": splash(root), "title": title(root), "menu": menu(root), "options": options(root),
        "name": name_screen(root), "browser": browser(root), "waiting": waiting(root),
        "lobby": lobby(root), "lobby_nations": lobby(root, "nation"), "lobby_govs": lobby(root, "gov"),
        "game_objective": game(root, "objective"), "game_year": game(root, "year"), "game_stats": game(root, "stats"),
        "board": board_screen(root), "board_victory": end_screen(root, True), "board_defeat": end_screen(root, False),
    }
    for name, scr in shots.items():
        scr.save(os.path.join(out, "preview_%s.png" % name))
    tinted_board(root).save(os.path.join(out, "preview_board_owners.png"))
    print("previews in", out)


if __name__ == "__main__":
    main()
