"""The campaign board: the world map, its territory mask, markers and panels.

The map is drawn at the world table's own scale (1216 x 640): a territory's
(x, y) from src/game/Game.cpp is a pixel of Carte/Monde.jpg.  Regions are grown
from the territory points over a land mask, under the rules of the table:
non-neighbours never meet, inland territories keep away from the sea.
"""
import heapq
import math
import os
import re

import numpy as np
from PIL import Image, ImageDraw, ImageFilter

import worldmap
from common import (GOLD, GOLD_LIGHT, INK, INK_SOFT, KEY_RED, LAND, PARCHMENT, SEA, SEA_DEEP, compass,
                    flatten_keyed, font, opaque, panel, parchment, smooth_noise, supersample)

W, H = 1216, 640
SEA_INDEX = 255
HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.abspath(os.path.join(HERE, "..", "..", ".."))
WORLD_SOURCE = os.path.join("src", "game", "Game.cpp")
STRAITS_FILE = os.path.join("Ressources", "Graphics", "Carte", "Detroits.txt")


# ------------------------------------------------------------------ the world table
ROW = re.compile(r'\{\s*(\d+),\s*(\d+),\s*([01]),\s*\{([\d,\s]+)\},\s*((?:"[^"]*"\s*)+),\s*(\d)\s*\}')


def read_world(root=REPO):
    """The 104 rows of kWorld: dicts with x, y, coastal, nb (0-based indexes), name, continent."""
    with open(os.path.join(root, WORLD_SOURCE), encoding="cp1252") as f:
        text = f.read()
    start = text.index("kWorld[TerritoryCount]")
    body = text[start:text.index("};", start)]
    rows = []
    for m in ROW.finditer(body):
        x, y, coastal, nb, name, cont = m.groups()
        rows.append({
            "x": int(x), "y": int(y), "coastal": int(coastal) == 1,
            "nb": [int(v) - 1 for v in nb.split(",") if int(v)],
            "name": re.sub(r"\\x([0-9A-Fa-f]{2})", lambda e: chr(int(e.group(1), 16)),
                           "".join(re.findall(r'"([^"]*)"', name))),
            "continent": int(cont),
        })
    return rows


def read_straits(root=REPO):
    """Pairs (a, b), a < b, of land neighbours joined across water."""
    pairs = []
    with open(os.path.join(root, STRAITS_FILE), encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                a, b = (int(v) for v in line.split())
                pairs.append((min(a, b), max(a, b)))
    return pairs


# ------------------------------------------------------------------ the chart at board scale
# Geographic anchors (lon, lat) of some territories; the chart projection is fitted so
# that each falls on its territory's point.
ANCHORS = {
    0: (-152, 64), 1: (-135, 63), 2: (-118, 55), 3: (-110, 71), 4: (-110, 61), 5: (-100, 52), 6: (-122, 45),
    7: (-98, 65), 8: (-85, 50), 10: (-98, 31), 11: (-120, 36), 12: (-72, 68), 13: (-74, 42), 14: (-85, 37),
    15: (-82, 29), 16: (-102, 22), 17: (-70, 52), 19: (-42, 72), 21: (-90, 15), 22: (-77.3, 18.1), 23: (-74, 5),
    26: (-76, -10), 27: (-40, -7), 34: (-56, -33), 35: (-68, -45), 36: (25, -30), 37: (17, -22), 43: (46, 6),
    47: (30, 26), 49: (-5, 7), 51: (-3, 32), 52: (-12, 20), 61: (78, 20), 63: (60, 62), 64: (24, 56),
    67: (15, 64), 69: (2.5, 47), 70: (-4, 40), 71: (-2, 54), 72: (-19, 65), 73: (46.5, -19), 85: (113, 30),
    91: (120, 64), 93: (135, 47), 95: (160, 57), 96: (138, 36), 97: (113, 0), 98: (142, -5), 99: (118, -30),
    102: (147, -33),
}


def chart_projection(world):
    keys = sorted(ANCHORS)
    return worldmap.Warp([ANCHORS[k] for k in keys], [(world[k]["x"], world[k]["y"]) for k in keys], sigma=60.0)


I = worldmap.ISLANDS
# Coastlines taken from the chart (islands: Madagascar, Iceland, Borneo, New Guinea);
# where the chart cannot hold the table's points the coast is redrawn at board scale
# (EDITS, PIXEL_ISLANDS).
GEO_LAND = [worldmap.NORTH_AMERICA, worldmap.SOUTH_AMERICA, worldmap.EURASIA, worldmap.AFRICA, worldmap.JAMAICA,
            I[0], I[3], I[6], I[9]]
# Islands that belong to a territory without holding its point: (outline, territory).
# Sumatra, Java, Celebes and the Philippines go with Indonesia (on Borneo), Formosa with
# China, Ceylon with India.
GEO_ISLANDS = [(I[5], 97), (I[7], 97), (I[8], 97), (I[10], 97), (I[11], 85), (I[12], 61)]

# Board-scale edits, applied in order: ("sea" | "land", outline in board pixels).
EDITS = [
    # the American Arctic, redrawn
    ("sea", [(0, 0), (552, 0), (552, 100), (520, 100), (520, 140), (430, 150), (0, 150)]),
    ("land", [(159, 153), (156, 150), (150, 140), (140, 128), (128, 118), (110, 112), (90, 110), (70, 112),
              (50, 115), (35, 118), (20, 122), (8, 118), (6, 105), (12, 95), (8, 85), (14, 75), (30, 70),
              (50, 68), (70, 72), (88, 78), (104, 86), (120, 92), (140, 95), (160, 95), (176, 94), (190, 92),
              (192, 78), (190, 62), (192, 46), (198, 32), (206, 27), (218, 27), (228, 32), (234, 40),
              (232, 55), (234, 70), (230, 85), (232, 100), (236, 112), (244, 120), (256, 124), (270, 126),
              (284, 124), (296, 126), (300, 134), (303, 145), (307, 150), (312, 145), (313, 132), (312, 118),
              (314, 100), (316, 88), (326, 82), (340, 80), (352, 84), (362, 92), (372, 104), (382, 116),
              (390, 128), (394, 138), (388, 146), (376, 150), (365, 152), (352, 153)]),
    ("land", [(96, 62), (102, 54), (116, 48), (140, 45), (162, 47), (175, 54), (180, 66), (177, 76),
              (168, 80), (150, 79), (128, 77), (108, 72)]),                                   # Victoria
    ("land", [(250, 40), (250, 30), (262, 18), (285, 12), (310, 10), (335, 14), (348, 24), (344, 36),
              (330, 46), (312, 56), (292, 60), (272, 58), (258, 50)]),                        # Baffin
    ("land", [(368, 30), (372, 14), (395, 8), (430, 6), (470, 8), (505, 10), (530, 16), (545, 28), (548, 40),
              (540, 62), (528, 82), (505, 92), (480, 96), (460, 108), (452, 124), (440, 116), (420, 104),
              (400, 86), (385, 64), (372, 46)]),                                               # Greenland
    # Great Britain and Iberia, redrawn with room for the Channel and Gibraltar
    ("land", [(588, 120), (596, 117), (600, 124), (598, 134), (604, 142), (608, 152), (610, 162), (608, 170),
              (600, 174), (590, 176), (594, 168), (590, 160), (586, 150), (588, 140), (585, 130)]),
    ("sea", [(570, 200), (640, 200), (640, 244), (570, 244)]),
    ("land", [(606, 203), (612, 199), (630, 199), (640, 197), (640, 200), (630, 202), (622, 206), (624, 212),
              (626, 218), (620, 226), (614, 233), (606, 238), (596, 240), (586, 238), (580, 232), (578, 222),
              (580, 212), (588, 207), (598, 205)]),
    # the Brazilian bulge under Campos
    ("land", [(445, 465), (456, 470), (462, 485), (459, 497), (448, 500)]),
    # the Gulf of California filled: Baja is too thin to hold at this scale
    ("land", [(195, 240), (201, 245), (207, 258), (212, 270), (214, 278), (208, 278), (200, 266), (194, 250)]),
    # a bay between Etats-Unis and Floride, up to Kentucky's corner
    ("sea", [(302, 206), (311, 202), (318, 199), (324, 200), (322, 212), (312, 216), (307, 214)]),
    # the Adriatic
    ("sea", [(672, 207), (678, 209), (686, 215), (692, 221), (690, 225), (680, 219), (674, 213)]),
    # the Black Sea and the eastern Mediterranean, redrawn; no Caspian
    ("land", [(640, 178), (800, 178), (800, 256), (640, 256)]),
    ("sea", [(640, 197), (648, 204), (660, 214), (670, 222), (676, 232), (684, 228), (688, 220), (694, 214),
             (698, 206), (699, 198), (706, 199), (707, 207), (709, 216), (714, 225), (724, 228), (736, 228),
             (737, 238), (734, 248), (731, 251), (700, 251), (690, 249), (660, 250), (640, 243)]),
    ("sea", [(699, 198), (697, 191), (703, 186), (716, 183), (724, 186), (736, 183), (749, 186), (757, 192),
             (754, 200), (743, 204), (727, 205), (713, 202), (706, 199)]),
    # a small Caspian between Georgia and Iran, its eastern tip at Uzbekistan's corner
    ("sea", [(786, 207), (780, 203), (770, 201), (760, 202), (752, 206), (750, 212), (754, 218), (764, 222),
             (776, 220), (784, 212)]),
    # the straits of Bab-el-Mandeb and Hormuz opened, the Bay of Bengal reaching the delta
    ("sea", [(752, 336), (766, 338), (776, 344), (770, 350), (756, 348)]),
    ("sea", [(800, 274), (812, 270), (822, 282), (814, 288), (804, 284)]),
    ("sea", [(912, 318), (918, 308), (924, 300), (930, 296), (936, 298), (940, 306), (944, 316), (946, 330),
             (930, 335)]),
    # Novaya Zemlya joined to the mainland
    ("land", [(775, 66), (775, 62), (778, 48), (786, 36), (798, 28), (812, 26), (824, 32), (828, 44), (826, 58),
              (826, 66)]),
    # north-east Asia, redrawn: the Sea of Okhotsk, Kamchatka, Korea and the Yellow Sea
    ("sea", [(1030, 0), (1216, 0), (1216, 262), (1030, 262)]),
    ("land", [(1028, 30), (1030, 22), (1060, 20), (1090, 18), (1120, 22), (1150, 26), (1175, 30), (1200, 36),
              (1208, 45), (1206, 60), (1200, 75), (1196, 95), (1190, 115), (1182, 135), (1176, 146), (1170, 136),
              (1166, 116), (1162, 100), (1156, 92), (1140, 90), (1120, 92), (1100, 95), (1085, 96), (1068, 100),
              (1058, 110), (1054, 122), (1056, 134), (1062, 142), (1070, 150), (1080, 158), (1084, 164),
              (1085, 171), (1081, 179), (1075, 187), (1070, 194), (1066, 198), (1068, 208), (1066, 218),
              (1060, 226), (1054, 222), (1050, 212), (1046, 204), (1040, 200), (1028, 200)]),
    ("sea", [(1042, 199), (1030, 204), (1018, 210), (1006, 216), (996, 221), (988, 226), (990, 232), (1000, 236),
             (1010, 238), (1018, 242), (1024, 250), (1030, 256), (1042, 256)]),
    # Australia, redrawn
    ("sea", [(1000, 410), (1170, 410), (1170, 600), (1000, 600)]),
    ("land", [(1020, 470), (1030, 455), (1045, 448), (1055, 440), (1065, 446), (1078, 442), (1090, 450),
              (1095, 462), (1102, 470), (1106, 460), (1108, 445), (1112, 432), (1118, 445), (1124, 460),
              (1134, 470), (1142, 482), (1150, 495), (1156, 510), (1158, 530), (1154, 548), (1148, 562),
              (1140, 572), (1128, 576), (1116, 572), (1104, 566), (1094, 562), (1086, 560), (1078, 560),
              (1070, 556), (1062, 548), (1052, 545), (1040, 544), (1028, 546), (1018, 540), (1012, 528),
              (1010, 512), (1012, 495), (1016, 480)]),
]
# Islands drawn at board scale: (outline, territory).
PIXEL_ISLANDS = [
    ([(568, 150), (576, 145), (580, 152), (578, 164), (570, 168), (565, 160)], 71),        # Ireland
    ([(1089, 166), (1093, 160), (1099, 155), (1106, 149), (1112, 142), (1118, 136), (1124, 132), (1128, 136),
      (1124, 146), (1118, 156), (1111, 165), (1106, 174), (1102, 184), (1098, 194), (1092, 199), (1090, 193),
      (1093, 184), (1091, 176), (1088.5, 171)], 96),                                          # Japan
    ([(1105, 585), (1118, 583), (1116, 596), (1106, 597)], 102),                             # Tasmania
]
# Corners where an inland territory sits between two coastal ones that are not
# neighbours: the sea reaches the corner point, and the four meet there only at the
# point.  (corner, radius, turn in degrees, labels of the four right-angled sectors
# around the corner, clockwise from the one that holds the pixel south-east of the
# corner; None is the sea).  Turning the sectors by less than 45 degrees keeps each
# of the four pixels around the corner in its own sector, and opposite sectors
# never 4-touch.
CORNERS = [
    ((302, 206), 10, -25, (None, 15, 14, 13)),      # an inlet, Floride, Kentucky, Etats-Unis
    ((786, 207), 9, 40, (56, None, 57, 59)),        # Iran, the Caspian, Georgie, Ouzbekistan
]
# Sea pieces smaller than this, cut off from the rest, are filled in.
LAKE_MIN = 80
# A clear band of sea along the edges of the board.
MARGIN = 6


def raster(polys, ss=3):
    """Rasterise board-pixel outlines with `ss`-times supersampling; returns a bool mask."""
    m = Image.new("L", (W * ss, H * ss), 0)
    d = ImageDraw.Draw(m)
    for poly in polys:
        d.polygon([(x * ss, y * ss) for x, y in poly], fill=255)
    return np.asarray(m.resize((W, H), Image.BILINEAR)) >= 128


def build_land(world):
    """The land mask and the forced owner of island pieces (-1 where growth decides)."""
    proj = chart_projection(world)
    land = raster([worldmap.project(p, proj, 1) for p in GEO_LAND])
    for kind, poly in EDITS:
        m = raster([poly])
        land = (land | m) if kind == "land" else (land & ~m)
    owner = np.full((H, W), -1, np.int16)
    for poly, t in [(worldmap.project(p, proj, 1), t) for p, t in GEO_ISLANDS] + PIXEL_ISLANDS:
        m = raster([poly]) & ~land
        owner[m] = t
        land |= m
    for (cx, cy), r, turn, quads in CORNERS:
        for y in range(cy - r, cy + r):
            for x in range(cx - r, cx + r):
                dx, dy = x + 0.5 - cx, y + 0.5 - cy
                if dx * dx + dy * dy > r * r:
                    continue
                q = int(((math.degrees(math.atan2(dy, dx)) - turn) % 360.0) // 90)
                if quads[q] is None:
                    land[y, x] = False
                    owner[y, x] = -1
                else:
                    land[y, x] = True
                    owner[y, x] = quads[q]
    land[:MARGIN] = land[-MARGIN:] = False
    land[:, :MARGIN] = land[:, -MARGIN:] = False
    owner[~land] = -1
    return land, owner


def pieces(lab, eight=False):
    """Connected pieces of equal value (4- or 8-connected): (piece id per pixel, value of
    each piece).  Horizontal runs of one value are joined where runs of the same value in
    consecutive rows overlap (or touch at a corner, when `eight`)."""
    h, w = lab.shape
    reach = 1 if eight else 0
    rows, parent = [], []
    for y in range(h):
        row = lab[y]
        starts = np.flatnonzero(np.r_[True, row[1:] != row[:-1]])
        ends = np.r_[starts[1:] - 1, w - 1]
        rows.append((starts.tolist(), ends.tolist(), row[starts].tolist(), len(parent)))
        parent.extend(range(len(parent), len(parent) + len(starts)))

    def find(k):
        while parent[k] != k:
            parent[k] = parent[parent[k]]
            k = parent[k]
        return k
    for y in range(1, h):
        s0, e0, v0, f0 = rows[y - 1]
        s1, e1, v1, f1 = rows[y]
        i0 = 0
        for j in range(len(s1)):
            while i0 < len(s0) and e0[i0] < s1[j] - reach:
                i0 += 1
            i = i0
            while i < len(s0) and s0[i] <= e1[j] + reach:
                if v0[i] == v1[j]:
                    a, b = find(f0 + i), find(f1 + j)
                    if a != b:
                        parent[max(a, b)] = min(a, b)
                i += 1
    pid = np.empty((h, w), np.int64)
    ids, values = {}, []
    for y in range(h):
        s0, e0, v0, f0 = rows[y]
        for k in range(len(s0)):
            root = find(f0 + k)
            if root not in ids:
                ids[root] = len(values)
                values.append(v0[k])
            pid[y, s0[k]:e0[k] + 1] = ids[root]
    return pid, values


def components(mask, eight=False):
    """Connected pieces of a bool mask: (labels with -1 outside, count)."""
    pid, values = pieces(mask, eight)
    keep = np.array(values, bool)
    renum = np.full(len(values), -1, np.int64)
    renum[keep] = np.arange(int(keep.sum()))
    return renum[pid], int(keep.sum())


# ------------------------------------------------------------------ regions
# More seeds for territories whose shape must reach past a neighbour's point.
EXTRA_SEEDS = {
    7: [(226, 96), (230, 116)],           # Barren Lands along Hudson Bay, down to the plains and Ontario
    62: [(800, 104), (800, 84)],          # Kazakhstan north to Novaya Zemlya
    56: [(775, 232)],                     # Iran west under the Caspian to Irak
    58: [(922, 286)],                     # Pakistan over the Ganges delta, between India and Siam
}
SEPARATION = 5       # territories that are not neighbours stay this far apart on land
NEAR_SEA = 3          # inland territories keep this many pixels away from the sea
COAST_BAND = 12       # ... and pay extra to come closer than this,
COAST_COST = 2.0      # this much per pixel, so coastal neighbours hold the shore


def seeds_of(world):
    return [[(t["x"], t["y"])] + EXTRA_SEEDS.get(i, []) for i, t in enumerate(world)]


def sea_distance(land, limit):
    """Chessboard distance from each pixel to the nearest sea pixel, capped at `limit`."""
    dist = np.full(land.shape, limit, np.int32)
    reach = ~land
    img = Image.fromarray(reach.astype(np.uint8) * 255)
    for k in range(limit):
        dist[reach & (dist == limit)] = k
        img = img.filter(ImageFilter.MaxFilter(3))
        reach = np.asarray(img) > 0
    return dist


def grow(world, land, owner, seed=5, warp_amp=(9.0, 3.0)):
    """Grow every territory from its seeds over the land, nearest first.

    The distance is measured in noise-warped coordinates so that borders wander.
    A pixel is refused to a territory when one of its eight neighbours belongs to a
    territory that is not its neighbour in the table, and to an inland territory
    when it lies within NEAR_SEA pixels of the sea.  Refused pixels stay -1.
    """
    h, w = land.shape
    nx = (smooth_noise(w, h, 40, seed) - 0.5) * 2 * warp_amp[0] + \
        (smooth_noise(w, h, 11, seed + 1) - 0.5) * 2 * warp_amp[1]
    ny = (smooth_noise(w, h, 40, seed + 2) - 0.5) * 2 * warp_amp[0] + \
        (smooth_noise(w, h, 11, seed + 3) - 0.5) * 2 * warp_amp[1]
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float64)
    wx = (xx + nx).ravel().tolist()
    wy = (yy + ny).ravel().tolist()
    near = np.asarray(Image.fromarray((~land).astype(np.uint8) * 255).filter(
        ImageFilter.MaxFilter(2 * NEAR_SEA + 1))) > 0
    shore = (np.maximum(0, COAST_BAND - sea_distance(land, COAST_BAND)) * COAST_COST).ravel().tolist()
    free = land & (owner < 0)
    open_any = free.ravel().tolist()
    open_inland = (free & ~near).ravel().tolist()
    lab = owner.astype(np.int32).ravel().tolist()
    inland = [not t["coastal"] for t in world]
    allowed = [set(t["nb"]) | {i, -1} for i, t in enumerate(world)]
    seeds = seeds_of(world)
    heap = [(0.0, y * w + x, t) for t, pts in enumerate(seeds) for (x, y) in pts]
    heapq.heapify(heap)
    push, pop, sqrt = heapq.heappush, heapq.heappop, math.sqrt
    while heap:
        _, p, t = pop(heap)
        if lab[p] >= 0 or not (open_inland[p] if inland[t] else open_any[p]):
            continue
        al = allowed[t]
        if (lab[p - 1] not in al or lab[p + 1] not in al or lab[p - w] not in al or lab[p + w] not in al or
                lab[p - w - 1] not in al or lab[p - w + 1] not in al or lab[p + w - 1] not in al or
                lab[p + w + 1] not in al):
            continue
        lab[p] = t
        sp = seeds[t]
        for q in (p - 1, p + 1, p - w, p + w):
            if lab[q] < 0 and open_any[q]:
                qx, qy = wx[q], wy[q]
                d = min(sqrt((qx - sx) ** 2 + (qy - sy) ** 2) for sx, sy in sp)
                if inland[t]:
                    d += shore[q]
                push(heap, (d, q, t))
    return np.array(lab, np.int32).reshape(h, w)


def settle_gaps(world, lab, land):
    """Give each piece of land that growth left unclaimed to a territory that may hold
    it, or to the sea when only coastal territories surround it."""
    gaps, k = components(land & (lab < 0))
    if not k:
        return lab
    allowed = [set(t["nb"]) | {i} for i, t in enumerate(world)]
    for g in range(k):
        piece = gaps == g
        ring = ring_around(piece)
        around = lab[ring]
        owners = sorted(set(around[around >= 0].tolist()))
        on_sea = bool((~land[ring]).any())
        fits = [t for t in owners if set(owners) <= allowed[t] and (world[t]["coastal"] or not on_sea)]
        if fits:
            lab[piece] = max(fits, key=lambda t: int((around == t).sum()))
        elif all(world[t]["coastal"] for t in owners):
            land[piece] = False
        else:
            raise ValueError("land at %s between %s cannot be settled" % (np.argwhere(piece)[0][::-1], owners))
    return lab


def corner_pairs():
    """Pairs of territories that meet only at the point of a corner, across the sea."""
    out = set()
    for _, _, _, quads in CORNERS:
        for a, b in ((quads[0], quads[2]), (quads[1], quads[3])):
            if a is not None and b is not None:
                out.add((min(a, b), max(a, b)))
    return out


def close_pairs(world, lab, land, gap):
    """{(c, d): [(y, x), ...]}: spots where territories c < d that are not neighbours come
    closer than `gap` pixels with land between them."""
    n = len(world)
    apart = np.ones((256, 256), bool)
    for i, t in enumerate(world):
        apart[i, i] = False
        apart[i, t["nb"]] = False
    apart[n:, :] = apart[:, n:] = False
    h, w = lab.shape
    found = {}
    for dy in range(0, gap):
        for dx in range(-gap + 1, gap):
            if dy * dy + dx * dx >= gap * gap or (dy == 0 and dx <= 0):
                continue
            ya, yb = slice(0, h - dy), slice(dy, h)
            xa, xb = slice(max(0, -dx), w - max(0, dx)), slice(max(0, dx), w + min(0, dx))
            a, b = lab[ya, xa], lab[yb, xb]
            my, mx = dy // 2, (dx // 2 if dx >= 0 else -((-dx) // 2))
            mid = land[my:my + a.shape[0], max(0, -dx) + mx:max(0, -dx) + mx + a.shape[1]]
            hit = apart[a, b] & mid
            if not hit.any():
                continue
            ys, xs = np.nonzero(hit)
            for c, d, y, x in zip(a[hit].tolist(), b[hit].tolist(), (ys + my).tolist(),
                                  (xs + max(0, -dx) + mx).tolist()):
                found.setdefault((min(c, d), max(c, d)), []).append((y, x))
    return found


def part_junctions(world, lab, land, gap=SEPARATION):
    """Where two territories that are not neighbours come within `gap` pixels over land
    (nearly a four-way corner), hand the ground around the spot to the territories that
    neighbour them both, so that players see which pair shares the border."""
    nb = [set(t["nb"]) for t in world]
    skip = corner_pairs()
    for _ in range(6):
        spots = {k: v for k, v in close_pairs(world, lab, land, gap).items() if k not in skip}
        if not spots:
            break
        for (c, d), where in sorted(spots.items()):
            common = sorted(nb[c] & nb[d])
            cy, cx = np.mean(where, axis=0).round().astype(int)
            r = gap + 2
            y0, y1, x0, x1 = max(0, cy - r), min(H, cy + r + 1), max(0, cx - r), min(W, cx + r + 1)
            win = lab[y0:y1, x0:x1]
            yy, xx = np.mgrid[y0:y1, x0:x1]
            take = ((yy - cy) ** 2 + (xx - cx) ** 2 <= r * r) & ((win == c) | (win == d))
            helpers = np.isin(win, common)
            if not common or not helpers.any() or not take.any():
                continue
            hy, hx = np.nonzero(helpers)
            ty, tx = np.nonzero(take)
            nearest = ((ty[:, None] - hy[None, :]) ** 2 + (tx[:, None] - hx[None, :]) ** 2).argmin(1)
            win[ty, tx] = win[hy[nearest], hx[nearest]]
        lab = drop_detached(world, lab, land)
    return lab


def drop_detached(world, lab, land):
    """Pieces of a territory cut off from its point on land go back to the growth's
    gap rules (islands of a territory stay)."""
    pid, values = pieces(lab)
    own = {int(pid[t["y"], t["x"]]) for t in world}
    loose = np.zeros(lab.shape, bool)
    for k, v in enumerate(values):
        if 0 <= v < len(world) and k not in own:
            piece = pid == k
            if not island_piece(np.where(land, lab, SEA_INDEX), piece, v):
                loose |= piece
    if loose.any():
        lab = lab.copy()
        lab[loose] = -1
        lab = settle_gaps(world, lab, land)
    return lab


def smooth_borders(world, lab, land, passes=3):
    """Take off the single-pixel teeth and notches that growth and parting leave: a land
    pixel with at most three of its own kind around it joins the kind that holds five or
    more of its eight neighbours, when the table allows it there.  Points and corners stay."""
    n = len(world)
    allowed = np.zeros((257, 257), bool)               # [new label + 1, neighbour label + 1]
    allowed[:, 0] = True                               # -1: sea, checked separately
    for i, t in enumerate(world):
        allowed[i + 1, i + 1] = True
        for j in t["nb"]:
            allowed[i + 1, j + 1] = True
    coastal = np.array([t["coastal"] for t in world] + [False] * (256 - n))
    fixed = ~land.copy()
    for t in world:
        fixed[t["y"], t["x"]] = True
    for (cx, cy), r, _, _ in CORNERS:
        fixed[max(0, cy - r - 2):cy + r + 2, max(0, cx - r - 2):cx + r + 2] = True
    h, w = lab.shape
    checker = (np.add.outer(np.arange(h), np.arange(w)) % 2).astype(bool)
    for _ in range(passes):
        for half in (False, True):
            pad = np.pad(lab, 1, constant_values=-1)
            around = [pad[1 + dy:1 + dy + h, 1 + dx:1 + dx + w] for dy in (-1, 0, 1) for dx in (-1, 0, 1)
                      if dy or dx]
            own = sum((a == lab).astype(np.int32) for a in around)
            best = np.full(lab.shape, -1, np.int32)
            best_count = np.zeros(lab.shape, np.int32)
            for cand in around:
                count = sum((a == cand).astype(np.int32) for a in around)
                better = (count > best_count) & (cand >= 0)
                best[better] = cand[better]
                best_count[better] = count[better]
            change = (checker == half) & ~fixed & (own <= 3) & (best_count >= 5) & (best >= 0) & (best != lab)
            four = [pad[1 + dy:1 + dy + h, 1 + dx:1 + dx + w] for dy, dx in ((-1, 0), (1, 0), (0, -1), (0, 1))]
            for nb_ in four:
                change &= allowed[best + 1, nb_ + 1]
                change &= (nb_ >= 0) | coastal[np.maximum(best, 0)]
            lab = np.where(change, best, lab)
    return lab


def regions(world):
    """The territory index of every board pixel, SEA_INDEX on the sea (uint8)."""
    land, owner = build_land(world)
    pieces, n = components(land, eight=True)
    keep = np.zeros(n, bool)
    for pts in seeds_of(world):
        for x, y in pts:
            if pieces[y, x] >= 0:
                keep[pieces[y, x]] = True
    keep[np.unique(pieces[owner >= 0])] = True
    land &= keep[pieces] & (pieces >= 0)
    lakes, k = components(~land)
    if k > 1:
        sizes = np.bincount(lakes[lakes >= 0])
        for p in range(k):
            if sizes[p] < LAKE_MIN:
                land[lakes == p] = True
    lab = grow(world, land, owner)
    lab = settle_gaps(world, lab, land)
    lab = part_junctions(world, lab, land)
    lab = smooth_borders(world, lab, land)
    lab = drop_detached(world, lab, land)
    lab[~land] = SEA_INDEX
    return lab.astype(np.uint8)


def contacts(lab):
    """{(a, b): count} of 4-adjacent pixel pairs with different labels (a < b)."""
    out = {}
    for a, b in ((lab[:, :-1], lab[:, 1:]), (lab[:-1, :], lab[1:, :])):
        m = a != b
        pairs = np.stack([np.minimum(a[m], b[m]), np.maximum(a[m], b[m])], axis=1)
        keys, counts = np.unique(pairs, axis=0, return_counts=True)
        for (u, v), c in zip(keys.tolist(), counts.tolist()):
            out[(u, v)] = out.get((u, v), 0) + c
    return out


def validate(world, lab, straits):
    """Every rule the checker applies to the mask, as a list of complaints."""
    out = []
    n = len(world)
    c = contacts(lab)
    touch = {k for k in c if k[1] < n}
    sea_of = {k[0] for k in c if k[1] == SEA_INDEX and k[0] < n}
    pid, values = pieces(lab)
    sizes = np.bincount(pid.ravel())
    for i, t in enumerate(world):
        if lab[t["y"], t["x"]] != i:
            out.append("%d %s: its point is not in its region" % (i, t["name"]))
        mine = [k for k, v in enumerate(values) if v == i]
        if len(mine) > 1:
            own = pid[t["y"], t["x"]]
            if sizes[own] != max(sizes[k] for k in mine):
                out.append("%d %s: its point is not on its largest piece" % (i, t["name"]))
            for k in mine:
                if k != own and not island_piece(lab, pid == k, i):
                    out.append("%d %s: a detached piece touches land" % (i, t["name"]))
        if t["coastal"] and i not in sea_of:
            out.append("%d %s: coastal but away from the sea" % (i, t["name"]))
        if not t["coastal"] and i in sea_of:
            out.append("%d %s: inland but on the sea" % (i, t["name"]))
        for j in t["nb"]:
            if j > i and (i, j) not in touch and (i, j) not in straits:
                out.append("%d-%d %s / %s: neighbours apart" % (i, j, t["name"], world[j]["name"]))
    for (i, j) in sorted(touch):
        if j not in world[i]["nb"]:
            out.append("%d-%d %s / %s: touch without being neighbours" % (i, j, world[i]["name"], world[j]["name"]))
    for (i, j) in straits:
        if j not in world[i]["nb"]:
            out.append("strait %d-%d joins territories that are not neighbours" % (i, j))
    return out


def ring_around(piece):
    """The pixels outside `piece` that are 4-neighbours of it."""
    ring = np.zeros_like(piece)
    ring[:, :-1] |= piece[:, 1:]
    ring[:, 1:] |= piece[:, :-1]
    ring[:-1, :] |= piece[1:, :]
    ring[1:, :] |= piece[:-1, :]
    return ring & ~piece


def island_piece(lab, piece, i):
    """True when the 4-neighbours of `piece` outside it are all sea."""
    return bool((lab[ring_around(piece)] == SEA_INDEX).all())


# ------------------------------------------------------------------ the map picture
def strait_ends(lab, a, b, clear=6):
    """Where a strait between territories a and b is drawn: the closest pair of their
    shore pixels among those at least `clear` pixels from any other territory, so that
    a strait never lands on a border.  Returns ((xa, ya), (xb, yb))."""
    ys, xs = np.nonzero((lab == a) | (lab == b))
    x0, y0 = max(0, xs.min() - 2 * clear), max(0, ys.min() - 2 * clear)
    box = lab[y0:ys.max() + 2 * clear + 1, x0:xs.max() + 2 * clear + 1]
    land = box != SEA_INDEX
    sea = np.pad(~land, 1, constant_values=False)
    near_sea = sea[:-2, 1:-1] | sea[2:, 1:-1] | sea[1:-1, :-2] | sea[1:-1, 2:]

    def shore(i):
        others = Image.fromarray((land & (box != i)).astype(np.uint8) * 255)
        for _ in range(clear):
            others = others.filter(ImageFilter.MaxFilter(3))
        pts = np.argwhere((box == i) & near_sea & ~(np.asarray(others) > 0))
        if not len(pts):
            pts = np.argwhere((box == i) & near_sea)
        return pts[:, ::-1].astype(np.int64) + (x0, y0)
    pa, pb = shore(a), shore(b)
    d2 = ((pa[:, None, :] - pb[None, :, :]) ** 2).sum(-1)
    i, j = divmod(int(np.argmin(d2)), d2.shape[1])
    return tuple(pa[i].tolist()), tuple(pb[j].tolist())


def blend(base, colour, alpha):
    """base: float HxWx3; alpha: HxW in 0..1."""
    a = np.clip(alpha, 0, 1)[:, :, None]
    return base * (1 - a) + np.array(colour, np.float32) * a


def render_map(world, lab, straits, seed=120):
    """Monde.jpg from the mask: every border and coast drawn is an edge of the mask."""
    land = lab != SEA_INDEX
    landf = land.astype(np.float32)
    sea = np.asarray(parchment(W, H, seed, base=SEA, strength=0.8, vignette=0.12), np.float32)
    paper = np.asarray(parchment(W, H, seed + 1, base=LAND, strength=1.0, vignette=0.12), np.float32)
    # darker water hugging the coast, and two faint water lines following it
    soft = np.asarray(Image.fromarray((landf * 255).astype(np.uint8)).filter(ImageFilter.GaussianBlur(4)),
                      np.float32) / 255.0
    sea = blend(sea, SEA_DEEP, 0.7 * np.minimum(1.0, soft * 1.3))
    for level, strength in ((0.14, 0.3), (0.03, 0.22)):
        sea = blend(sea, INK_SOFT, strength * np.exp(-((soft - level) / (level * 0.22)) ** 2))
    img = np.where(land[:, :, None], paper, sea)
    # a faint graticule and the rhumb lines of the rose, on the sea only
    over = Image.new("L", (W * 2, H * 2), 0)
    d = ImageDraw.Draw(over)
    proj = chart_projection(world)
    for line in worldmap.graticule(proj, 2, (0, 0)):
        for i in range(0, len(line) - 1, 2):
            d.line([line[i], line[i + 1]], fill=110, width=2)
    rose = ROSE
    for k in range(32):                     # the rose's rhumb lines
        a = k * math.pi / 16
        d.line([(rose[0] * 2, rose[1] * 2), ((rose[0] + 1400 * math.cos(a)) * 2, (rose[1] + 1400 * math.sin(a)) * 2)],
               fill=70 if k % 2 else 120, width=1)
    over = np.asarray(over.resize((W, H), Image.LANCZOS), np.float32) / 255.0
    img = blend(img, INK_SOFT, over * 0.5 * (soft < 0.02))
    # a little shade inside the shore
    inner = np.asarray(Image.fromarray((landf * 255).astype(np.uint8)).filter(ImageFilter.GaussianBlur(2.5)),
                       np.float32) / 255.0
    img = blend(img, (150, 112, 62), 0.35 * (1 - inner) * landf)
    img = hills(img, lab, world)
    # ink on both pixels of each differing pair: lighter between territories, dark on the coast
    border = np.zeros((H, W), np.float32)
    coast = np.zeros((H, W), np.float32)
    for a, b, sl_a, sl_b in ((lab[:, :-1], lab[:, 1:], np.s_[:, :-1], np.s_[:, 1:]),
                             (lab[:-1, :], lab[1:, :], np.s_[:-1, :], np.s_[1:, :])):
        diff = (a != b)
        both_land = diff & (a != SEA_INDEX) & (b != SEA_INDEX)
        shore = diff & ~both_land
        border[sl_a] = np.maximum(border[sl_a], both_land * 0.62)
        border[sl_b] = np.maximum(border[sl_b], both_land * 0.62)
        coast[sl_a] = np.maximum(coast[sl_a], shore * np.where(a != SEA_INDEX, 0.95, 0.4))
        coast[sl_b] = np.maximum(coast[sl_b], shore * np.where(b != SEA_INDEX, 0.95, 0.4))
    img = blend(img, INK, np.maximum(border, coast))
    pic = Image.fromarray(np.clip(img, 0, 255).astype(np.uint8), "RGB")
    d = ImageDraw.Draw(pic)
    for a, b in straits:
        dashed(d, *strait_ends(lab, a, b))
    decorate(pic)
    return pic


ROSE = (176, 470)


def dashed(d, p, q, dash=3.0, gap=2.0):
    """A strait: ink dashes across the water with a dot on each shore."""
    (x0, y0), (x1, y1) = p, q
    length = math.hypot(x1 - x0, y1 - y0)
    ux, uy = (x1 - x0) / length, (y1 - y0) / length
    t = 1.5
    while t < length - 1.5:
        e = min(t + dash, length - 1.5)
        d.line([(x0 + ux * t, y0 + uy * t), (x0 + ux * e, y0 + uy * e)], fill=INK, width=2)
        t = e + gap
    for x, y in (p, q):
        d.ellipse((x - 1.5, y - 1.5, x + 1.5, y + 1.5), fill=INK)


HILLY = [2, 26, 30, 44, 63, 77, 78, 83, 87, 88, 69, 66, 95]


def hills(img, lab, world, seed=121):
    """A few small hill marks inside mountain territories, clear of points and borders."""
    rng = np.random.RandomState(seed)
    pts = np.array([(t["x"], t["y"]) for t in world], float)
    layer = Image.new("L", (W * 3, H * 3), 0)
    d = ImageDraw.Draw(layer)
    for i in HILLY:
        inside = np.argwhere(lab == i)
        placed = []
        for _ in range(200):
            if len(placed) >= 4:
                break
            y, x = inside[rng.randint(len(inside))]
            if x < 6 or y < 6 or x >= W - 6 or y >= H - 6:
                continue
            if (lab[y - 5:y + 3, x - 6:x + 7] != i).any():
                continue
            if (((pts - (x, y)) ** 2).sum(1) < 16 ** 2).any():
                continue
            if any((x - px) ** 2 + (y - py) ** 2 < 11 ** 2 for px, py in placed):
                continue
            placed.append((x, y))
            s = 3
            d.line([((x - 5) * s, (y + 2) * s), (x * s, (y - 3) * s), ((x + 5) * s, (y + 2) * s)], fill=255, width=s)
            d.line([(x * s, (y - 3) * s), ((x + 2) * s, (y + 2) * s)], fill=150, width=s)
    m = np.asarray(layer.resize((W, H), Image.LANCZOS), np.float32) / 255.0
    return blend(img, INK_SOFT, m * 0.7)


SHIP = (540, 522)


def ship(pic, x0, y0, ss=4):
    """A three-master drawn in ink, about 44 x 36, with its wake."""
    w, h = 46, 38

    def paint(d, im, s):
        ink, sail = INK + (255,), (236, 222, 186, 255)
        d.polygon([(4 * s, 26 * s), (42 * s, 26 * s), (37 * s, 32 * s), (9 * s, 32 * s)], fill=(120, 80, 44, 255),
                  outline=ink)
        d.line([(7 * s, 28.5 * s), (39 * s, 28.5 * s)], fill=ink, width=s)
        for mx, top in ((14, 6), (23, 2), (32, 7)):
            d.line([(mx * s, top * s), (mx * s, 26 * s)], fill=ink, width=s)
            for y0_, y1_, half in ((top + 3, top + 10, 6), (top + 11, top + 18, 7)):
                d.polygon([((mx - half) * s, y0_ * s), ((mx + half) * s, y0_ * s), ((mx + half - 1) * s, y1_ * s),
                           ((mx - half + 1) * s, y1_ * s)], fill=sail, outline=ink)
        d.polygon([(23 * s, 2 * s), (30 * s, 3.5 * s), (23 * s, 5 * s)], fill=(176, 40, 36, 255))
        d.line([(32 * s, 14 * s), (44 * s, 25 * s)], fill=ink, width=s)
        for k, y in enumerate((34, 36.5)):
            d.arc((2 * s, (y - 2) * s, 14 * s, (y + 2) * s), 200, 340, fill=ink, width=s)
            d.arc((30 * s, (y - 2) * s, 44 * s, (y + 2) * s), 200, 340, fill=ink, width=s)
    layer = supersample(w, h, ss, paint)
    pic.paste(layer.convert("RGB"), (x0, y0), layer)


def decorate(pic):
    ship(pic, *SHIP)
    d = ImageDraw.Draw(pic)
    compass(d, ROSE[0], ROSE[1], 34)
    # the cartouche
    x0, y0, x1, y1 = 60, 560, 290, 612
    d.rectangle((x0, y0, x1, y1), fill=(230, 212, 166), outline=INK, width=2)
    d.rectangle((x0 + 4, y0 + 4, x1 - 4, y1 - 4), outline=GOLD, width=1)
    d.text(((x0 + x1) / 2, y0 + 20), "Orbis Terrarum", font=font(20, italic=True), fill=INK, anchor="mm")
    d.text(((x0 + x1) / 2, y0 + 40), "MDCCCLXX", font=font(13), fill=INK_SOFT, anchor="mm")
    # the frame: ink lines with a chequered degree band between them
    d.rectangle((0, 0, W - 1, H - 1), outline=INK, width=1)
    d.rectangle((4, 4, W - 5, H - 5), outline=INK, width=1)
    for x in range(0, W, 24):
        d.rectangle((x, 1, x + 11, 3), fill=INK_SOFT)
        d.rectangle((x + 12, H - 4, x + 23, H - 2), fill=INK_SOFT)
    for y in range(0, H, 24):
        d.rectangle((1, y + 12, 3, y + 23), fill=INK_SOFT)
        d.rectangle((W - 4, y, W - 2, y + 11), fill=INK_SOFT)


# ------------------------------------------------------------------ markers
C = "Graphics/Carte/"
OUTLINE = INK + (255,)


def marker(size, painter, ss=8):
    """A small keyed marker: painted `ss` times larger with 1-pixel ink outlines, shrunk,
    then cut on the colour key."""
    return flatten_keyed(supersample(size, size, ss, painter), KEY_RED)


def poly(d, pts, s, fill, outline=OUTLINE):
    d.polygon([(x * s, y * s) for x, y in pts], fill=fill, outline=None)
    d.line([(x * s, y * s) for x, y in pts + [pts[0]]], fill=outline, width=s, joint="curve")


def army(d, im, s):
    """A line infantryman: shako, red coat, musket with bayonet."""
    coat, trousers, skin = (196, 40, 32, 255), (40, 52, 96, 255), (236, 196, 150, 255)
    poly(d, [(10.6, 0.8), (11.8, 0.8), (11.8, 12.5), (10.6, 12.5)], s, (120, 80, 40, 255))       # musket
    poly(d, [(4.6, 1.2), (9.4, 1.2), (9.8, 4.6), (4.2, 4.6)], s, (30, 30, 36, 255))               # shako
    poly(d, [(5, 4.6), (9, 4.6), (9, 7.2), (5, 7.2)], s, skin)                                     # face
    poly(d, [(3.6, 7.2), (10.4, 7.2), (11.2, 10.8), (10.4, 11.4), (3.6, 11.4), (2.8, 10.8)], s, coat)
    poly(d, [(4.2, 11.4), (6.8, 11.4), (6.8, 15), (4.2, 15)], s, trousers)
    poly(d, [(7.2, 11.4), (9.8, 11.4), (9.8, 15), (7.2, 15)], s, trousers)
    d.line([(5.2 * s, 8.2 * s), (8.8 * s, 10.6 * s)], fill=(245, 240, 228, 255), width=s)          # cross belt
    d.ellipse((5.8 * s, 1.6 * s, 8.2 * s, 3.2 * s), fill=(214, 176, 70, 255))                      # badge


def reserve(d, im, s):
    """A bell tent with its pennant: troops held back in camp."""
    poly(d, [(7.5, 2.2), (14.6, 14.4), (0.4, 14.4)], s, (238, 228, 200, 255))
    poly(d, [(7.5, 7.2), (10.2, 14.4), (4.8, 14.4)], s, (92, 70, 44, 255))
    d.line([(7.5 * s, 0.4 * s), (7.5 * s, 3 * s)], fill=OUTLINE, width=s)
    poly(d, [(7.9, 0.3), (12.6, 1.3), (7.9, 2.6)], s, (196, 40, 32, 255))
    d.line([(3.4 * s, 9.6 * s), (11.6 * s, 9.6 * s)], fill=(150, 130, 96, 255), width=s)


def fort(d, im, s):
    """A stone tower with crenels and a gate."""
    stone, dark = (176, 170, 160, 255), (50, 40, 30, 255)
    poly(d, [(1.2, 3.2), (3.6, 3.2), (3.6, 5), (5.8, 5), (5.8, 3.2), (9.2, 3.2), (9.2, 5), (11.4, 5),
             (11.4, 3.2), (13.8, 3.2), (13.8, 7.6), (12.6, 7.6), (12.6, 14.6), (2.4, 14.6), (2.4, 7.6),
             (1.2, 7.6)], s, stone)
    d.line([(2.4 * s, 7.6 * s), (12.6 * s, 7.6 * s)], fill=OUTLINE, width=s)
    d.chord((5.4 * s, 9.2 * s, 9.6 * s, 17.8 * s), 180, 360, fill=dark)
    d.rectangle((5.4 * s, 13.4 * s, 9.6 * s, 14.6 * s), fill=dark)
    d.line([(3.4 * s, 11 * s), (4.6 * s, 11 * s)], fill=(120, 112, 100, 255), width=s)
    d.line([(10.4 * s, 10 * s), (11.6 * s, 10 * s)], fill=(120, 112, 100, 255), width=s)


def improvement(d, im, s):
    """A gold cogwheel."""
    c, teeth = 7.5, []
    for k in range(16):
        a = k * math.pi / 8 + math.pi / 16
        r = 7.1 if k % 2 == 0 else 5.2
        for da in (-0.17, 0.17):
            teeth.append((c + r * math.cos(a + da), c + r * math.sin(a + da)))
    poly(d, teeth, s, (226, 178, 62, 255))
    d.ellipse(((c - 2.3) * s, (c - 2.3) * s, (c + 2.3) * s, (c + 2.3) * s), fill=(120, 84, 30, 255),
              outline=OUTLINE, width=s)
    d.ellipse(((c - 3.9) * s, (c - 3.9) * s, (c + 3.9) * s, (c + 3.9) * s), outline=(250, 222, 140, 255), width=s)


def boat(d, im, s):
    """A two-masted ship under sail."""
    poly(d, [(0.4, 10.2), (14.6, 10.2), (12.2, 14.4), (2.4, 14.4)], s, (120, 74, 36, 255))
    d.line([(1.6 * s, 11.8 * s), (13.4 * s, 11.8 * s)], fill=(214, 176, 70, 255), width=s)
    poly(d, [(4.6, 1), (4.6, 9.2), (1, 9.2)], s, (246, 240, 222, 255))
    poly(d, [(6, 0.6), (11.4, 3.4), (13.2, 9.2), (6, 9.2)], s, (246, 240, 222, 255))
    poly(d, [(5.2, 0.2), (6, 0.2), (6, 10.2), (5.2, 10.2)], s, (70, 48, 26, 255), outline=(70, 48, 26, 255))


def capital(d, im, s):
    """A crown with three points and a red stone."""
    gold = (238, 190, 56, 255)
    poly(d, [(0.8, 4.2), (4.4, 8.2), (7.5, 1.6), (10.6, 8.2), (14.2, 4.2), (13, 11.6), (2, 11.6)], s, gold)
    poly(d, [(2, 11.6), (13, 11.6), (13, 14.2), (2, 14.2)], s, (206, 150, 44, 255))
    for cx, cy in ((0.9, 3.6), (7.5, 1.1), (14.1, 3.6)):
        d.ellipse(((cx - 1.1) * s, (cy - 1.1) * s, (cx + 1.1) * s, (cy + 1.1) * s), fill=(250, 236, 200, 255),
                  outline=OUTLINE, width=s)
    d.ellipse((6.1 * s, 11.4 * s, 8.9 * s, 14.2 * s), fill=(190, 36, 36, 255))


def arrow():
    """The order arrow: white so that the game tints it, pointing right, 64 x 16."""
    def paint(d, im, s):
        pts = [(0.6, 5.2), (45.5, 5.2), (44, 0.8), (63.2, 8), (44, 15.2), (45.5, 10.8), (0.6, 10.8), (3.4, 8)]
        poly(d, pts, s, (255, 255, 255, 255))
        d.line([(x * s, y * s) for x, y in pts + [pts[0]]], fill=OUTLINE, width=int(1.4 * s), joint="curve")
        d.line([(4 * s, 9.6 * s), (46 * s, 9.6 * s)], fill=(222, 222, 222, 255), width=s)
    return flatten_keyed(supersample(64, 16, 8, paint), KEY_RED)


def ring():
    """The selection ring: white so that the game tints it, 40 x 40."""
    def paint(d, im, s):
        c = 20 * s
        for r, col in ((19.6, OUTLINE), (18.3, (255, 255, 255, 255)), (15.0, OUTLINE), (13.6, (0, 0, 0, 0))):
            d.ellipse((c - r * s, c - r * s, c + r * s, c + r * s), fill=col)
        for k in range(4):
            a = k * math.pi / 2 + math.pi / 4
            x, y = 20 + 17 * math.cos(a), 20 + 17 * math.sin(a)
            d.ellipse(((x - 1) * s, (y - 1) * s, (x + 1) * s, (y + 1) * s), fill=(200, 200, 200, 255))
    return flatten_keyed(supersample(40, 40, 8, paint), KEY_RED)


# ------------------------------------------------------------------ bar and panels
def top_bar():
    """The strip across the top of the board, 640 x 40: text sits in the upper 32 pixels."""
    w, h = 640, 40
    bar = parchment(w, h, 130, base=PARCHMENT, strength=0.7, vignette=0.1)
    d = ImageDraw.Draw(bar)
    d.line((0, 0, w - 1, 0), fill=INK_SOFT)
    d.rectangle((0, 33, w - 1, 39), fill=(150, 112, 60))
    d.line((0, 32, w - 1, 32), fill=INK)
    d.line((0, 34, w - 1, 34), fill=GOLD_LIGHT)
    d.line((0, 39, w - 1, 39), fill=INK)
    for x in range(8, w, 16):
        d.polygon([(x, 34), (x + 3, 36.5), (x, 39), (x - 3, 36.5)], fill=GOLD, outline=INK)
    for x in (212, 426):
        d.line((x, 5, x, 28), fill=INK_SOFT)
        d.ellipse((x - 2, 2, x + 2, 6), fill=GOLD, outline=INK_SOFT)
    return bar


def info_panel():
    """The panel behind the hover information and the order lists, 230 x 180."""
    img = opaque(panel(230, 180, 131, radius=0, notch=0, ornaments=False), (60, 40, 22))
    d = ImageDraw.Draw(img)
    d.line((16, 30, 213, 30), fill=GOLD)
    for x in (12, 217):
        d.polygon([(x, 26), (x + 4, 30), (x, 34), (x - 4, 30)], fill=GOLD, outline=INK_SOFT)
    return img


def leaf(d, x, y, angle, length, width, fill, outline):
    """A pointed leaf from (x, y) along `angle` (radians)."""
    ux, uy = math.cos(angle), math.sin(angle)
    vx, vy = -uy, ux
    pts = []
    for k in range(9):
        t = k / 8
        b = math.sin(math.pi * t) * width / 2
        pts.append((x + ux * length * t + vx * b, y + uy * length * t + vy * b))
    for k in range(7, 0, -1):
        t = k / 8
        b = math.sin(math.pi * t) * width / 2
        pts.append((x + ux * length * t - vx * b, y + uy * length * t - vy * b))
    d.polygon(pts, fill=fill, outline=outline)


def laurel(d, pts, s, leaf_fill=(104, 136, 62, 255), light=(150, 176, 96, 255), vein=(48, 70, 30, 255)):
    """A laurel branch along a polyline of points (in 1/s pixels), leaves in pairs."""
    d.line([(x * s, y * s) for x, y in pts], fill=vein, width=2 * s)
    for k in range(1, len(pts)):
        (x0, y0), (x1, y1) = pts[k - 1], pts[k]
        a = math.atan2(y1 - y0, x1 - x0)
        for side in (-1, 1):
            leaf(d, x0 * s, y0 * s, a + side * 0.8, 12 * s, 5 * s, leaf_fill if side < 0 else light, vein)
    x, y = pts[-1]
    a = math.atan2(y - pts[-2][1], x - pts[-2][0])
    leaf(d, x * s, y * s, a, 14 * s, 6 * s, leaf_fill, vein)


def end_panel(victory):
    """Victoire.png / Defaite.png, 420 x 300: the title and the winners go in the upper
    and middle part; the lower 50 pixels stay plain for the OK button."""
    w, h = 420, 300
    if victory:
        img = opaque(panel(w, h, 132, radius=0, notch=0, ornaments=False), (60, 40, 22))
        d = ImageDraw.Draw(img)
        d.rectangle((11, 11, w - 12, h - 12), outline=GOLD, width=2)
        d.rectangle((15, 15, w - 16, h - 16), outline=GOLD_LIGHT, width=1)
        for x, y in ((11, 11), (w - 12, 11), (11, h - 12), (w - 12, h - 12)):
            d.polygon([(x, y - 6), (x + 6, y), (x, y + 6), (x - 6, y)], fill=GOLD_LIGHT, outline=INK_SOFT)

        def wreath(dd, im, s):
            # two branches rising from a bow under the middle, up both sides
            for side in (-1, 1):
                pts = []
                for k in range(19):
                    a = math.radians(100 + 8.6 * k)
                    pts.append((210 - side * 176 * math.cos(a), 124 + 100 * math.sin(a)))
                laurel(dd, pts[::-1], s)
            y = 222
            for side in (-1, 1):
                dd.polygon([(210 * s, y * s), ((210 + side * 22) * s, (y - 10) * s), ((210 + side * 24) * s, (y + 6) * s)],
                           fill=(196, 52, 44, 255), outline=OUTLINE)
                dd.polygon([(210 * s, (y + 2) * s), ((210 + side * 12) * s, (y + 18) * s),
                            ((210 + side * 5) * s, (y + 19) * s)], fill=(196, 52, 44, 255), outline=OUTLINE)
            dd.ellipse((203 * s, (y - 5) * s, 217 * s, (y + 5) * s), fill=(176, 40, 36, 255), outline=OUTLINE, width=s)
            capital_big(dd, s, 195, 20)
        layer = supersample(w, h, 3, wreath)
        img.paste(layer.convert("RGB"), (0, 0), layer)
        d.line((130, 92, 290, 92), fill=GOLD, width=2)
        for x in (120, 300):
            d.ellipse((x - 4, 88, x + 4, 96), fill=GOLD_LIGHT, outline=INK_SOFT)
    else:
        grey, rule = (168, 158, 138), (86, 78, 68)
        img = opaque(panel(w, h, 133, radius=0, notch=0, base=grey, ornaments=False, border=(36, 30, 26),
                           gold=(110, 102, 88)), (40, 34, 30))
        arr = np.asarray(img, np.float32)
        yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
        shade = np.clip(((xx - w / 2) / (w / 2)) ** 2 + ((yy - h / 2) / (h / 2)) ** 2, 0, 1.6) * 22
        img = Image.fromarray(np.clip(arr - shade[:, :, None], 0, 255).astype(np.uint8))
        d = ImageDraw.Draw(img)
        d.rectangle((11, 11, w - 12, h - 12), outline=rule, width=1)
        d.line((130, 92, 290, 92), fill=rule, width=1)

        def mourning(dd, im, s):
            broken_sword(dd, s, 154, 14, 0.7)
            for x0, mirror in ((24, 1), (w - 24, -1)):
                lowered_flag(dd, s, x0, 236, mirror)
        layer = supersample(w, h, 3, mourning)
        img.paste(layer.convert("RGB"), (0, 0), layer)
    return img


def capital_big(d, s, x0, y0):
    """A crown about 30 x 22 with its top-left at (x0, y0)."""
    gold = (238, 190, 56, 255)

    def P(x, y):
        return ((x0 + x) * s, (y0 + y) * s)
    pts = [(2, 6), (8, 13), (15, 2), (22, 13), (28, 6), (26, 18), (4, 18)]
    d.polygon([P(x, y) for x, y in pts], fill=gold)
    d.line([P(x, y) for x, y in pts + [pts[0]]], fill=OUTLINE, width=s)
    d.rectangle(P(4, 18) + P(26, 21), fill=(206, 150, 44, 255), outline=OUTLINE, width=s)
    for cx, cy in ((2, 5), (15, 2), (28, 5)):
        d.ellipse(P(cx - 1.8, cy - 1.8) + P(cx + 1.8, cy + 1.8), fill=(250, 236, 200, 255), outline=OUTLINE, width=s)
    d.ellipse(P(13, 14) + P(17, 18), fill=(190, 36, 36, 255))


def broken_sword(d, s, x0, y0, k=1.0):
    """A sword broken in two, about 160 x 34 times k, top-left at (x0, y0)."""
    steel, edge, dark = (178, 178, 184, 255), (130, 130, 138, 255), (40, 34, 30, 255)

    def P(x, y):
        return ((x0 + k * x) * s, (y0 + k * (y - 6)) * s)
    d.ellipse(P(0, 14) + P(9, 23), fill=(150, 120, 60, 255), outline=dark, width=s)            # pommel
    d.rectangle(P(8, 16) + P(26, 21), fill=(92, 60, 34, 255), outline=dark, width=s)           # grip
    d.polygon([P(26, 6), P(31, 6), P(31, 31), P(26, 31)], fill=(150, 120, 60, 255), outline=dark)  # guard
    d.polygon([P(31, 15), P(74, 15), P(77, 17), P(72, 19), P(76, 21), P(31, 22)], fill=steel, outline=dark)
    d.line([P(33, 18.5), P(72, 18.5)], fill=edge, width=s)
    d.polygon([P(86, 22), P(90, 19.5), P(88, 18), P(150, 27), P(158, 31), P(150, 33), P(87, 29)],
              fill=steel, outline=dark)                                                         # the point, fallen
    d.line([P(92, 24.5), P(148, 30)], fill=edge, width=s)


def lowered_flag(d, s, x0, y0, mirror):
    """A flag hanging from a pole leant low, its foot at (x0, y0)."""
    def P(x, y):
        return ((x0 + mirror * x) * s, (y0 - y) * s)
    d.line([P(0, 0), P(34, 150)], fill=(86, 62, 40, 255), width=3 * s)
    cloth = [P(32, 141), P(36, 108), P(33, 92), P(28, 84), P(24, 96), P(26, 118), P(25, 135)]
    d.polygon(cloth, fill=(70, 74, 88, 255), outline=(30, 28, 30, 255))
    d.line([P(30, 132), P(31, 104)], fill=(96, 100, 114, 255), width=s)


# ------------------------------------------------------------------ everything
def make_all(repo=REPO):
    """{path under Ressources: picture} for the campaign board."""
    world = read_world(repo)
    straits = read_straits(repo)
    lab = regions(world)
    problems = validate(world, lab, straits)
    if problems:
        raise ValueError("the board breaks the world table:\n  " + "\n  ".join(problems))
    out = {
        C + "Monde.jpg": render_map(world, lab, straits),
        C + "Territoires.png": Image.fromarray(lab, "L"),
        C + "Fleche.png": arrow(),
        C + "Selection.png": ring(),
        C + "Barre.png": top_bar(),
        C + "Panneau.png": info_panel(),
        C + "Victoire.png": end_panel(True),
        C + "Defaite.png": end_panel(False),
    }
    for name, painter in (("Armee", army), ("Reserve", reserve), ("Fort", fort), ("Amelioration", improvement),
                          ("Bateau", boat), ("Capitale", capital)):
        out[C + name + ".png"] = marker(16, painter)
    return out
