#!/usr/bin/python3
"""Checks the committed game resources against tools/assets/manifest.tsv, and the
application icon under packaging/linux/icons/.

Usage: check_resources.py <repo root>
Exits 0 when everything holds, 1 with one line per problem otherwise.
"""
import os
import re
import struct
import sys
import wave
import xml.etree.ElementTree as ET

try:
    import numpy as np
    from PIL import Image
except ImportError:  # a Python without Debian's python3-pil: retry with the system one
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    print("check_resources: python3-pil and python3-numpy are required", file=sys.stderr)
    sys.exit(2)

PROBLEMS = []


def problem(msg):
    PROBLEMS.append(msg)


# ------------------------------------------------------------------ manifest and paths
def read_manifest(root):
    rows = []
    path = os.path.join(root, "tools", "assets", "manifest.tsv")
    with open(path, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.rstrip("\n")
            if not line or line.startswith("#"):
                continue
            cols = line.split("\t")
            if len(cols) != 4:
                problem("manifest line %d: expected 4 tab-separated columns" % n)
                continue
            game_path, w, h, keys = cols
            rows.append({
                "path": game_path,
                "w": None if w == "-" else int(w),
                "h": None if h == "-" else int(h),
                "keys": [] if keys in ("0", "-") else [int(k, 16) for k in keys.split(",")],
                "picture": keys != "-",
            })
    return rows


def resolve(root, game_path):
    """Resolve a game path ("..\\Ressources\\X\\y.png") under <root>/Ressources without regard to case.

    Returns the real path, or None when a component is missing or ambiguous.
    """
    parts = game_path.split("\\")
    if parts[0] != ".." or len(parts) < 3:
        return None
    cur = root
    for comp in parts[1:]:
        try:
            entries = os.listdir(cur)
        except OSError:
            return None
        matches = [e for e in entries if e.lower() == comp.lower()]
        if len(matches) != 1:
            return None
        cur = os.path.join(cur, matches[0])
    return cur


# ------------------------------------------------------------------ pictures
FORMAT_OF = {".jpg": "JPEG", ".jpeg": "JPEG", ".png": "PNG", ".bmp": "BMP"}


def key_rgb(key):
    return ((key >> 16) & 255, (key >> 8) & 255, key & 255)


def stray_key_pixels(mask):
    """Key pixels that have no key-coloured 4-neighbour and do not touch the border:
    the signature of an anti-aliasing accident that punches a hole in a picture."""
    if mask.shape[0] < 3 or mask.shape[1] < 3:
        return 0
    inner = mask[1:-1, 1:-1]
    nb = (mask[:-2, 1:-1].astype(int) + mask[2:, 1:-1] + mask[1:-1, :-2] + mask[1:-1, 2:])
    return int((inner & (nb == 0)).sum())


def check_picture(row, real):
    name = row["path"]
    ext = os.path.splitext(real)[1].lower()
    try:
        img = Image.open(real)
        img.load()
    except Exception as e:  # noqa: BLE001
        problem("%s: does not decode (%s)" % (name, e))
        return None
    if FORMAT_OF.get(ext) != img.format:
        problem("%s: file is %s, its name says %s" % (name, img.format, ext))
    if img.size != (row["w"], row["h"]):
        problem("%s: size %dx%d, expected %dx%d" % (name, img.size[0], img.size[1], row["w"], row["h"]))
    if img.mode in ("RGBA", "LA") or "transparency" in img.info:
        alpha = np.asarray(img.convert("RGBA"))[:, :, 3]
        if (alpha < 255).any():
            problem("%s: has transparent pixels; shapes must come from the colour key or be opaque" % name)
    rgb = np.asarray(img.convert("RGB"))
    total = rgb.shape[0] * rgb.shape[1]
    keyed = np.zeros(rgb.shape[:2], bool)
    for key in row["keys"]:
        m = np.all(rgb == np.array(key_rgb(key), np.uint8), axis=2)
        keyed |= m
        if not m.any():
            problem("%s: colour key 0x%08X does not occur in the picture" % (name, key))
        stray = stray_key_pixels(m)
        if stray:
            problem("%s: %d isolated pixels of key 0x%08X inside the picture" % (name, stray, key))
        if ext in (".jpg", ".jpeg"):
            problem("%s: a colour-keyed picture must not be a JPEG" % name)
    if row["keys"] and len(row["keys"]) == 1 and keyed.sum() == total:
        problem("%s: the picture is nothing but its colour key" % name)
    if not row["keys"] and total > 4 and rgb.reshape(-1, 3).std(axis=0).max() < 1.0 and row["w"] > 1 and row["h"] > 1:
        problem("%s: the picture is a flat colour" % name)
    return rgb


def check_picture_rules(pics):
    """Rules that follow from how the screens draw particular pictures."""
    def get(suffix):
        for k, v in pics.items():
            if k.lower().endswith(suffix.lower()):
                return v
        problem("picture %s missing for a layout rule" % suffix)
        return None

    cur = get("Icones\\Cursor.png")
    if cur is not None and tuple(cur[11, 16]) == (0x80, 0x00, 0x80):
        problem("Cursor.png: the hot spot (16, 11) is transparent")
    # frames whose interior is dimmed in 7-pixel-inset rectangles must be solid inside
    for frame in ("MenuCadre.png", "Cadre.png", "CadreMoyen.png", "NetmapMenuGauche.png", "NetmapMenuDroit.png"):
        a = get("Fond\\" + frame)
        if a is not None:
            inner = a[7:-7, 7:-7]
            if np.all(inner == np.array((0xBD, 0x9C, 0x53), np.uint8), axis=2).any():
                problem("%s: key colour inside the 7-pixel interior" % frame)
    act = get("Fond\\Actif.png")
    if act is not None:
        colours = {tuple(c) for c in np.unique(act.reshape(-1, 3), axis=0)}
        if colours != {(255, 255, 255), (0xE6, 0xC8, 0x86)}:
            problem("Actif.png: must hold exactly its two key colours, found %d colours" % len(colours))
    # the lobby map: each nation's mark must fall on land (tan), not on the sea
    netmap = get("Fond\\NetMap.jpg")
    points = [(342, 203), (322, 212), (206, 221), (213, 177), (297, 180), (433, 129), (449, 199), (448, 291)]
    if netmap is not None:
        for i, (x, y) in enumerate(points):
            r, g, b = netmap[y - 1:y + 2, x - 1:x + 2].reshape(-1, 3).astype(int).mean(axis=0)
            if not (r - b > 35 and r >= g):
                problem("NetMap.jpg: nation %d's point (%d, %d) is not on land (colour %d,%d,%d)" % (i, x, y, r, g, b))
    country = get("Fond\\Country.jpg")
    chooser = [(355, 228), (337, 236), (238, 245), (242, 209), (314, 209), (434, 166), (448, 221), (446, 308)]
    if country is not None:
        sea = country[184 - 3:184 + 4, 64 - 3:64 + 4].reshape(-1, 3).astype(int).mean(axis=0)
        for i, (x, y) in enumerate(chooser):
            c = country[y - 90 - 1:y - 90 + 2, x - 120 - 1:x - 120 + 2].reshape(-1, 3).astype(int).mean(axis=0)
            if np.linalg.norm(c - sea) < 25:
                problem("Country.jpg: chooser point %d (%d, %d) looks like open sea" % (i, x, y))


# ------------------------------------------------------------------ sounds, music, film
def check_wav(row, real):
    name = row["path"]
    try:
        with wave.open(real, "rb") as w:
            ch, width, rate, n = w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes()
            data = w.readframes(n)
    except Exception as e:  # noqa: BLE001
        problem("%s: not a readable PCM WAV (%s)" % (name, e))
        return
    if width != 2:
        problem("%s: %d-bit samples, expected 16-bit" % (name, width * 8))
        return
    if rate not in (22050, 44100):
        problem("%s: %d Hz, expected 22050 or 44100" % (name, rate))
    if ch not in (1, 2):
        problem("%s: %d channels" % (name, ch))
    s = np.frombuffer(data, "<i2").astype(float) / 32768.0
    dur = n / float(rate)
    if not 0.03 <= dur <= 5.0:
        problem("%s: lasts %.2f s, expected a short effect" % (name, dur))
    rms = float(np.sqrt((s ** 2).mean())) if len(s) else 0.0
    if rms < 0.01:
        problem("%s: silent (RMS %.4f)" % (name, rms))
    if len(s) and (np.abs(s) > 0.999).mean() > 0.01:
        problem("%s: clipped" % name)


ASF_HEADER = bytes.fromhex("3026B2758E66CF11A6D900AA0062CE6C")
ASF_FILE_PROPERTIES = bytes.fromhex("A1DCAB8C47A9CF118EE400C00C205365")
ASF_STREAM_PROPERTIES = bytes.fromhex("9107DCB7B7A9CF118EE600C00C205365")
ASF_AUDIO_MEDIA = bytes.fromhex("409E69F84D5BCF11A8FD00805F5C442B")


def check_wma(row, real):
    name = row["path"]
    with open(real, "rb") as f:
        data = f.read()
    if not data.startswith(ASF_HEADER):
        problem("%s: not an ASF file" % name)
        return
    i = data.find(ASF_FILE_PROPERTIES)
    if i < 0:
        problem("%s: no ASF file properties" % name)
        return
    play_duration, _send, preroll = struct.unpack_from("<QQQ", data, i + 24 + 16 + 8 + 8 + 8)
    seconds = play_duration / 1e7 - preroll / 1000.0
    if seconds < 120:
        problem("%s: lasts %.1f s, at least two minutes expected" % (name, seconds))
    j = data.find(ASF_STREAM_PROPERTIES)
    if j < 0 or data[j + 24:j + 40] != ASF_AUDIO_MEDIA:
        problem("%s: no audio stream" % name)
        return
    # type-specific data: WAVEFORMATEX, wFormatTag 0x0161 is Windows Media Audio 2
    fmt = struct.unpack_from("<H", data, j + 24 + 16 + 16 + 8 + 4 + 4 + 2 + 4)[0]
    if fmt != 0x0161:
        problem("%s: audio format tag 0x%04X, expected WMA v2 (0x0161)" % (name, fmt))


def check_avi(row, real):
    name = row["path"]
    with open(real, "rb") as f:
        data = f.read()
    if data[:4] != b"RIFF" or data[8:12] != b"AVI ":
        problem("%s: not an AVI file" % name)
        return
    i = data.find(b"avih")
    if i < 0:
        problem("%s: no AVI main header" % name)
        return
    usec, _rate, _pad, _flags, frames, _init, streams, _buf, w, h = struct.unpack_from("<10I", data, i + 8)
    seconds = usec * frames / 1e6
    if (w, h) != (row["w"], row["h"]):
        problem("%s: %dx%d, expected %dx%d" % (name, w, h, row["w"], row["h"]))
    if not 5.0 <= seconds <= 10.0:
        problem("%s: lasts %.1f s, expected 5 to 10 s" % (name, seconds))
    kinds = {m.group(1) for m in re.finditer(rb"strh....(vids|auds)", data, re.S)}
    if streams < 2 or kinds != {b"vids", b"auds"}:
        problem("%s: needs one video and one audio stream" % name)


# ------------------------------------------------------------------ sources
LITERAL = re.compile(r'"((?:\.\.\\\\Ressources\\\\)(?:[^"\\]|\\\\)*)"')


def source_paths(root):
    """Every string literal in src/ that starts with ..\\Ressources\\, unescaped."""
    found = set()
    src = os.path.join(root, "src")
    for dirpath, _dirs, files in os.walk(src):
        for f in files:
            if not f.endswith((".cpp", ".cc", ".cxx", ".h", ".hpp", ".hh", ".inl")):
                continue
            with open(os.path.join(dirpath, f), encoding="utf-8", errors="replace") as fh:
                text = fh.read()
            for m in LITERAL.finditer(text):
                found.add(m.group(1).replace("\\\\", "\\"))
    return found


def check_font(row, real):
    with open(real, "rb") as f:
        head = f.read(4)
    if head not in (b"OTTO", b"\x00\x01\x00\x00", b"true"):
        problem("%s: not an OpenType or TrueType font" % row["path"])


def check_sources(root, rows):
    listed = [r["path"].lower() for r in rows]
    for lit in sorted(source_paths(root)):
        low = lit.lower()
        if low.endswith("\\") or not os.path.splitext(low)[1]:
            # a folder prefix to which the code appends a name: some listed file must live there
            if not any(p.startswith(low) for p in listed):
                problem("src/ names %s, but no listed resource lives under it" % lit)
        elif low not in listed:
            problem("src/ loads %s, which the manifest does not list" % lit)


def check_no_strays(root, rows, resolved):
    known = {os.path.normcase(os.path.realpath(p)) for p in resolved if p}
    base = os.path.join(root, "Ressources")
    for dirpath, _dirs, files in os.walk(base):
        rel = os.path.relpath(dirpath, base)
        if rel.split(os.sep)[0] == "Fonts":
            continue
        for f in files:
            p = os.path.join(dirpath, f)
            if rel == "." and f == "LICENSE":
                continue
            if os.path.normcase(os.path.realpath(p)) not in known:
                problem("Ressources/%s: not in the manifest" % os.path.relpath(p, base))
    fonts = os.path.join(base, "Fonts")
    for f in ("texgyrepagella-regular.otf", "GUST-FONT-LICENSE.txt"):
        if not os.path.isfile(os.path.join(fonts, f)):
            problem("Ressources/Fonts/%s is missing" % f)
    if not os.path.isfile(os.path.join(base, "LICENSE")):
        problem("Ressources/LICENSE is missing")


# ------------------------------------------------------------------ the campaign board
BOARD_MAP = "..\\Ressources\\Graphics\\Carte\\Monde.jpg"
BOARD_MASK = "..\\Ressources\\Graphics\\Carte\\Territoires.png"
BOARD_STRAITS = "..\\Ressources\\Graphics\\Carte\\Detroits.txt"
BOARD_SIZE = (1216, 640)
TERRITORIES = 104
SEA = 255
MAX_STRAIT = 40          # a strait crosses at most this many pixels of water
WORLD_ROW = re.compile(r'\{\s*(\d+),\s*(\d+),\s*([01]),\s*\{([\d,\s]+)\},\s*((?:"[^"]*"\s*)+),\s*(\d)\s*\}')


def read_world(root):
    """The world table of src/game/Game.cpp: [(x, y, coastal, set of neighbours, name)], or None."""
    path = os.path.join(root, "src", "game", "Game.cpp")
    try:
        with open(path, encoding="cp1252") as f:
            text = f.read()
        start = text.index("kWorld[TerritoryCount]")
    except (OSError, ValueError):
        return None
    body = text[start:text.index("};", start)]
    world = []
    for m in WORLD_ROW.finditer(body):
        x, y, coastal, nb, name, _ = m.groups()
        name = "".join(re.findall(r'"([^"]*)"', name))
        name = re.sub(r"\\x([0-9A-Fa-f]{2})", lambda e: chr(int(e.group(1), 16)), name)
        world.append((int(x), int(y), coastal == "1", {int(v) - 1 for v in nb.split(",") if int(v)}, name))
    return world


def read_straits(real):
    """Pairs (a, b), a < b, from the strait list; malformed lines are reported."""
    pairs = []
    with open(real, encoding="utf-8") as f:
        for n, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            cols = line.split()
            if len(cols) != 2 or not all(c.isdigit() for c in cols):
                problem("Detroits.txt line %d: expected two territory indexes" % n)
                continue
            a, b = sorted(int(c) for c in cols)
            if b >= TERRITORIES or a == b:
                problem("Detroits.txt line %d: %d %d is not a pair of territories" % (n, a, b))
            elif (a, b) in pairs:
                problem("Detroits.txt line %d: strait %d-%d listed twice" % (n, a, b))
            else:
                pairs.append((a, b))
    return pairs


def pieces(lab):
    """4-connected pieces of equal value: (piece id per pixel, value of each piece).

    Works on horizontal runs of equal value, joined where runs of the same value in
    consecutive rows overlap."""
    h, w = lab.shape
    runs = []                     # per row: arrays of (start, end inclusive, value, run index)
    parent = []
    for y in range(h):
        row = lab[y]
        starts = np.flatnonzero(np.r_[True, row[1:] != row[:-1]])
        ends = np.r_[starts[1:] - 1, w - 1]
        first = len(parent)
        parent.extend(range(first, first + len(starts)))
        runs.append((starts.tolist(), ends.tolist(), row[starts].tolist(), first))

    def find(k):
        while parent[k] != k:
            parent[k] = parent[parent[k]]
            k = parent[k]
        return k
    for y in range(1, h):
        s0, e0, v0, f0 = runs[y - 1]
        s1, e1, v1, f1 = runs[y]
        i = j = 0
        while i < len(s0) and j < len(s1):
            if v0[i] == v1[j] and s0[i] <= e1[j] and s1[j] <= e0[i]:
                a, b = find(f0 + i), find(f1 + j)
                if a != b:
                    parent[max(a, b)] = min(a, b)
            if e0[i] < e1[j]:
                i += 1
            else:
                j += 1
    pid = np.empty((h, w), np.int64)
    ids, values = {}, []
    for y in range(h):
        s0, e0, v0, f0 = runs[y]
        for k in range(len(s0)):
            root = find(f0 + k)
            if root not in ids:
                ids[root] = len(values)
                values.append(v0[k])
            pid[y, s0[k]:e0[k] + 1] = ids[root]
    return pid, values


def touching(lab):
    """Set of (a, b), a < b, of values with 4-adjacent pixels."""
    out = set()
    for a, b in ((lab[:, :-1], lab[:, 1:]), (lab[:-1, :], lab[1:, :])):
        m = a != b
        pairs = np.stack([np.minimum(a[m], b[m]), np.maximum(a[m], b[m])], axis=1)
        out |= {tuple(p) for p in np.unique(pairs, axis=0).tolist()}
    return out


def edge_pixels(lab, kind):
    """Pixels on either side of a border between two territories ("border"), or the
    land pixels beside the sea ("coast")."""
    out = np.zeros(lab.shape, bool)
    for a, b, sa, sb in ((lab[:, :-1], lab[:, 1:], np.s_[:, :-1], np.s_[:, 1:]),
                         (lab[:-1, :], lab[1:, :], np.s_[:-1, :], np.s_[1:, :])):
        if kind == "border":
            m = (a != b) & (a != SEA) & (b != SEA)
            out[sa] |= m
            out[sb] |= m
        else:
            out[sa] |= (a != SEA) & (b == SEA)
            out[sb] |= (b != SEA) & (a == SEA)
    return out


def window_any(m, y0, y1, x0, x1):
    """For each pixel q: is any m[y, x] true with y in q.y + [y0, y1], x in q.x + [x0, x1]?"""
    h, w = m.shape
    ii = np.zeros((h + 1, w + 1), np.int64)
    ii[1:, 1:] = np.cumsum(np.cumsum(m, axis=0), axis=1)
    ys, xs = np.arange(h), np.arange(w)
    top, bottom = np.clip(ys + y0, 0, h), np.clip(ys + y1 + 1, 0, h)
    left, right = np.clip(xs + x0, 0, w), np.clip(xs + x1 + 1, 0, w)
    total = (ii[bottom][:, right] - ii[top][:, right] - ii[bottom][:, left] + ii[top][:, left])
    return total > 0


def uniform_within(lab, r):
    """Pixels whose (2r+1)-square neighbourhood holds a single value."""
    across = np.zeros(lab.shape, bool)
    across[:, :-1] = lab[:, 1:] != lab[:, :-1]          # pixel and the one to its right differ
    down = np.zeros(lab.shape, bool)
    down[:-1, :] = lab[1:, :] != lab[:-1, :]            # pixel and the one below differ
    return ~(window_any(across, -r, r, -r, r - 1) | window_any(down, -r, r - 1, -r, r))


def shore_points(lab, i):
    m = lab == i
    sea = np.pad(lab == SEA, 1, constant_values=False)
    near = sea[:-2, 1:-1] | sea[2:, 1:-1] | sea[1:-1, :-2] | sea[1:-1, 2:]
    return np.argwhere(m & near)[:, ::-1].astype(np.int64)


def check_strait(a, b, lab, pic, world):
    """A strait must join two neighbours that do not already share a border, across a
    short stretch of water, and be drawn: dark ink on the water between them."""
    name = "strait %d-%d (%s / %s)" % (a, b, world[a][4], world[b][4])
    if b not in world[a][3]:
        problem("Detroits.txt: %s joins territories that are not neighbours" % name)
        return
    pa, pb = shore_points(lab, a), shore_points(lab, b)
    if not len(pa) or not len(pb):
        problem("Detroits.txt: %s: a territory without a shore" % name)
        return
    d2 = ((pa[:, None, :] - pb[None, :, :]) ** 2).sum(-1)
    i, j = divmod(int(np.argmin(d2)), d2.shape[1])
    gap = float(np.sqrt(d2[i, j]))
    if gap > MAX_STRAIT:
        problem("Detroits.txt: %s spans %.0f pixels of water, over %d" % (name, gap, MAX_STRAIT))
        return
    # the water between: sea pixels off the shore whose distances to both sides add up
    # to little more than the gap
    (xa, ya), (xb, yb) = pa[i], pb[j]
    x0, x1 = max(0, min(xa, xb) - 30), min(lab.shape[1], max(xa, xb) + 31)
    y0, y1 = max(0, min(ya, yb) - 30), min(lab.shape[0], max(ya, yb) + 31)
    ys, xs = np.mgrid[y0:y1, x0:x1]
    cells = np.stack([xs.ravel(), ys.ravel()], axis=1)
    da = np.sqrt(((cells[:, None, :] - pa[None, :, :]) ** 2).sum(-1)).min(1)
    db = np.sqrt(((cells[:, None, :] - pb[None, :, :]) ** 2).sum(-1)).min(1)
    open_sea = uniform_within(lab, 1)[y0:y1, x0:x1].ravel() & (lab[y0:y1, x0:x1].ravel() == SEA)
    corridor = open_sea & (da + db <= gap + 6)
    ink = pic[y0:y1, x0:x1].reshape(-1, 3).astype(int).mean(axis=1) < 100
    if (ink & corridor).sum() < max(3, gap / 3):
        problem("Monde.jpg: %s is not drawn across the water" % name)


def check_board(root, rows, pics):
    """The world map and its territory mask against the world table of the game."""
    real = {r["path"].lower(): resolve(root, r["path"]) for r in rows}
    paths = [real.get(p.lower()) for p in (BOARD_MAP, BOARD_MASK, BOARD_STRAITS)]
    if not all(p and os.path.isfile(p) for p in paths):
        problem("the campaign board needs Monde.jpg, Territoires.png and Detroits.txt in the manifest")
        return
    world = read_world(root)
    if world is None or len(world) != TERRITORIES:
        problem("src/game/Game.cpp: the world table of %d territories cannot be read" % TERRITORIES)
        return
    straits = read_straits(paths[2])
    mask = Image.open(paths[1])
    if mask.mode != "L" or mask.size != BOARD_SIZE:
        problem("Territoires.png: must be %d x %d 8-bit greyscale, is %s %d x %d"
                % (BOARD_SIZE + (mask.mode,) + mask.size))
        return
    pic = pics.get(BOARD_MAP)
    if pic is None or pic.shape[:2] != BOARD_SIZE[::-1]:
        problem("Monde.jpg: must be %d x %d" % BOARD_SIZE)
        return
    lab = np.asarray(mask)
    stray = sorted(set(np.unique(lab).tolist()) - set(range(TERRITORIES)) - {SEA})
    if stray:
        problem("Territoires.png: values %s are neither a territory (0..%d) nor the sea (%d)"
                % (stray[:5], TERRITORIES - 1, SEA))
        return
    pid, values = pieces(lab)
    sizes = np.bincount(pid.ravel())
    touch = touching(lab)
    on_sea = {a for a, b in touch if b == SEA}
    for i, (x, y, coastal, nb, name) in enumerate(world):
        tag = "Territoires.png: %d %s" % (i, name)
        if lab[y, x] != i:
            problem("%s: its point (%d, %d) lies outside its region" % (tag, x, y))
            continue
        mine = [k for k, v in enumerate(values) if v == i]
        own = pid[y, x]
        if len(mine) > 1:
            # an island of a territory: allowed when it touches only the sea and the
            # piece holding the point is the largest
            if sizes[own] < max(sizes[k] for k in mine):
                problem("%s: its point is not on its largest piece" % tag)
            for k in mine:
                if k == own:
                    continue
                piece = pid == k
                ring = np.zeros_like(piece)
                ring[:, :-1] |= piece[:, 1:]
                ring[:, 1:] |= piece[:, :-1]
                ring[:-1, :] |= piece[1:, :]
                ring[1:, :] |= piece[:-1, :]
                if (lab[ring & ~piece] != SEA).any():
                    problem("%s: is not one piece (a detached part lies on land)" % tag)
                    break
        if coastal and i not in on_sea:
            problem("%s: coastal, but touches no sea" % tag)
        if not coastal and i in on_sea:
            problem("%s: inland, but touches the sea" % tag)
        for j in sorted(nb):
            if j > i and (i, j) not in touch and (i, j) not in straits:
                problem("%s: neighbour %d %s neither shares a border nor is across a listed strait"
                        % (tag, j, world[j][4]))
    for a, b in sorted(touch):
        if b < TERRITORIES and b not in world[a][3]:
            problem("Territoires.png: %d %s and %d %s share a border but are not neighbours"
                    % (a, world[a][4], b, world[b][4]))
    for a, b in straits:
        if (a, b) in touch:
            problem("Detroits.txt: strait %d-%d joins territories that already share a border" % (a, b))
        else:
            check_strait(a, b, lab, pic, world)
    # the picture draws what the mask says: parchment land, sea water, dark borders and coasts
    rgb = pic.astype(int)
    warm = rgb[:, :, 0] - rgb[:, :, 2]
    lum = rgb.mean(axis=2)
    land_in = uniform_within(lab, 3) & (lab != SEA)
    sea_in = uniform_within(lab, 4) & (lab == SEA)
    if (warm[land_in] > 35).mean() < 0.97:
        problem("Monde.jpg: the land of Territoires.png is not parchment in the picture")
    if (warm[sea_in] < 25).mean() < 0.90:
        problem("Monde.jpg: the sea of Territoires.png is not water in the picture")
    paper = lum[land_in].mean()
    if lum[edge_pixels(lab, "border")].mean() > paper - 50:
        problem("Monde.jpg: no dark line where Territoires.png has borders")
    if lum[edge_pixels(lab, "coast")].mean() > paper - 50:
        problem("Monde.jpg: no dark line along the coasts of Territoires.png")
    if (lum[land_in] < 110).mean() > 0.01:
        problem("Monde.jpg: dark lines inside the territories of Territoires.png")


# ------------------------------------------------------------------ the application icon
ICON_DIR = "packaging/linux/icons/hicolor"
ICON_NAME = "org.quillmere.Torvane"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
OUTSIDE_URL = re.compile(r"url\(\s*['\"]?(?!#)")


def check_icon_png(root, size):
    rel = "%s/%dx%d/apps/%s.png" % (ICON_DIR, size, size, ICON_NAME)
    path = os.path.join(root, *rel.split("/"))
    if not os.path.isfile(path):
        problem("%s: no such file" % rel)
        return
    try:
        img = Image.open(path)
        img.load()
    except Exception as e:  # noqa: BLE001
        problem("%s: does not decode (%s)" % (rel, e))
        return
    if img.format != "PNG":
        problem("%s: file is %s, not PNG" % (rel, img.format))
    if img.size != (size, size):
        problem("%s: size %dx%d, expected %dx%d" % (rel, img.size[0], img.size[1], size, size))
    if img.mode != "RGBA":
        problem("%s: mode %s, expected RGBA" % (rel, img.mode))
        return
    alpha = np.asarray(img)[:, :, 3]
    k = max(1, min(img.size) // 32)
    if alpha[:k, :k].any() or alpha[:k, -k:].any() or alpha[-k:, :k].any() or alpha[-k:, -k:].any():
        problem("%s: the corners are not transparent" % rel)
    cover = (alpha >= 128).mean()
    if not 0.30 <= cover <= 0.95:
        problem("%s: %.0f %% opaque, expected 30 to 95 %%" % (rel, 100 * cover))


def check_icon_svg(root):
    rel = "%s/scalable/apps/%s.svg" % (ICON_DIR, ICON_NAME)
    path = os.path.join(root, *rel.split("/"))
    if not os.path.isfile(path):
        problem("%s: no such file" % rel)
        return
    try:
        svg = ET.parse(path).getroot()
    except ET.ParseError as e:
        problem("%s: not XML (%s)" % (rel, e))
        return
    if svg.tag != "{http://www.w3.org/2000/svg}svg":
        problem("%s: the root is %s, not an SVG element" % (rel, svg.tag))
    box = svg.get("viewBox", "").replace(",", " ").split()
    try:
        w, h = float(box[2]), float(box[3])
    except (IndexError, ValueError):
        w = h = 0
    if len(box) != 4 or w <= 0 or w != h:
        problem("%s: viewBox %r is not square" % (rel, svg.get("viewBox")))
    for el in svg.iter():
        tag = el.tag.rsplit("}", 1)[-1]
        if tag in ("script", "image", "foreignObject"):
            problem("%s: holds a <%s>" % (rel, tag))
        for name, value in el.attrib.items():
            name = name.rsplit("}", 1)[-1]
            if name.startswith("on"):
                problem("%s: <%s> has a script handler %s" % (rel, tag, name))
            if (name == "href" and not value.startswith("#")) or OUTSIDE_URL.search(value):
                problem("%s: <%s> refers outside the file (%s)" % (rel, tag, value))
        if el.text and OUTSIDE_URL.search(el.text):
            problem("%s: <%s> refers outside the file" % (rel, tag))


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    root = os.path.abspath(argv[1])
    rows = read_manifest(root)
    if not rows:
        problem("manifest is empty")
    pics = {}
    resolved = []
    for row in rows:
        real = resolve(root, row["path"])
        resolved.append(real)
        if real is None or not os.path.isfile(real):
            problem("%s: no such file under Ressources/" % row["path"])
            continue
        ext = os.path.splitext(real)[1].lower()
        if ext == ".wav":
            check_wav(row, real)
        elif ext == ".wma":
            check_wma(row, real)
        elif ext == ".avi":
            check_avi(row, real)
        elif ext in (".otf", ".ttf"):
            check_font(row, real)
        elif ext == ".txt":
            pass                                  # data files, read by the checks that use them
        elif row["picture"]:
            rgb = check_picture(row, real)
            if rgb is not None:
                pics[row["path"]] = rgb
        else:
            problem("%s: unknown kind of resource" % row["path"])
    if pics:
        check_picture_rules(pics)
    check_board(root, rows, pics)
    check_sources(root, rows)
    check_no_strays(root, rows, resolved)
    for size in ICON_SIZES:
        check_icon_png(root, size)
    check_icon_svg(root)
    total = sum(os.path.getsize(os.path.join(d, f)) for d, _, fs in os.walk(os.path.join(root, "Ressources")) for f in fs)
    if total > 15 * 1024 * 1024:
        problem("Ressources/ weighs %.1f MB, over the 15 MB budget" % (total / 1048576.0))
    if PROBLEMS:
        for p in PROBLEMS:
            print("check_resources: " + p, file=sys.stderr)
        print("check_resources: %d problem(s)" % len(PROBLEMS), file=sys.stderr)
        return 1
    print("check_resources: %d resources OK (%.1f MB)" % (len(rows), total / 1048576.0))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
