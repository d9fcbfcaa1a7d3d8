"""Shared palette, textures, fonts and helpers for the picture generator.

Everything here is deterministic: every random texture takes an explicit seed.
"""
import math
import os

import numpy as np
from PIL import Image, ImageDraw, ImageFilter, ImageFont

FONT_DIR = "/usr/share/texmf/fonts/opentype/public/tex-gyre"
FONT_REGULAR = os.path.join(FONT_DIR, "texgyrepagella-regular.otf")
FONT_BOLD = os.path.join(FONT_DIR, "texgyrepagella-bold.otf")
FONT_ITALIC = os.path.join(FONT_DIR, "texgyrepagella-italic.otf")

# Palette of the 1870 look.
GREEN_TEXT = (0x10, 0x2D, 0x19)      # the game's dark green text
ORANGE = (0xFF, 0x9F, 0x31)          # notices
INK = (62, 40, 22)                   # dark sepia ink for outlines
INK_SOFT = (110, 78, 44)
GOLD = (176, 134, 58)
GOLD_LIGHT = (222, 186, 110)
PARCHMENT = (232, 214, 170)
PARCHMENT_DARK = (205, 178, 128)
SEA = (178, 196, 180)
SEA_DEEP = (150, 172, 160)
LAND = (226, 205, 155)
VEIL = (74, 56, 34)                  # Trans.png: the dimming veil

# Colour keys (RGB of the ARGB words the game passes to its loader).
KEY_FRAME = (0xBD, 0x9C, 0x53)
KEY_ICON = (0x8C, 0x7B, 0x52)
KEY_RED = (0xBF, 0x00, 0x00)
KEY_PURPLE = (0x80, 0x00, 0x80)
KEY_BLACK = (0x00, 0x00, 0x00)
KEY_WHITE = (0xFF, 0xFF, 0xFF)
KEY_ACTIF = (0xE6, 0xC8, 0x86)


def font(size, bold=False, italic=False):
    path = FONT_BOLD if bold else (FONT_ITALIC if italic else FONT_REGULAR)
    return ImageFont.truetype(path, size)


def smooth_noise(w, h, cell, seed):
    """Value noise in 0..1: a random grid of `cell`-pixel cells, bicubically enlarged."""
    rng = np.random.RandomState(seed)
    gw, gh = max(2, w // cell + 2), max(2, h // cell + 2)
    grid = (rng.rand(gh, gw) * 255).astype(np.uint8)
    img = Image.fromarray(grid, "L").resize((gw * cell, gh * cell), Image.BICUBIC)
    return np.asarray(img, dtype=np.float32)[:h, :w] / 255.0


def parchment(w, h, seed, base=PARCHMENT, strength=1.0, vignette=0.35):
    """An aged-paper texture as an RGB image."""
    n1 = smooth_noise(w, h, 48, seed)
    n2 = smooth_noise(w, h, 12, seed + 1)
    rng = np.random.RandomState(seed + 2)
    grain = rng.rand(h, w).astype(np.float32)
    shade = (n1 - 0.5) * 34 + (n2 - 0.5) * 14 + (grain - 0.5) * 8
    shade *= strength
    yy, xx = np.mgrid[0:h, 0:w].astype(np.float32)
    dx = (xx - (w - 1) / 2) / max(1.0, w / 2)
    dy = (yy - (h - 1) / 2) / max(1.0, h / 2)
    vig = np.clip(dx * dx + dy * dy, 0, 2) * 26 * vignette
    arr = np.zeros((h, w, 3), np.float32)
    # brown-ish darkening: red falls slowest, blue fastest
    for c, k in enumerate((0.8, 0.95, 1.2)):
        arr[:, :, c] = base[c] + shade * k - vig * k
    return Image.fromarray(np.clip(arr, 0, 255).astype(np.uint8), "RGB")


def flatten_keyed(rgba, key, alpha_cut=128):
    """Turn an RGBA drawing into an RGB picture for a colour-keyed load.

    Pixels with alpha below `alpha_cut` become exactly `key`; visible pixels that
    happen to equal `key` are nudged by one step so that nothing visible vanishes.
    """
    arr = np.asarray(rgba.convert("RGBA")).copy()
    rgb = arr[:, :, :3].astype(np.int16)
    transparent = arr[:, :, 3] < alpha_cut
    key_a = np.array(key, np.int16)
    clash = np.all(rgb == key_a, axis=2) & ~transparent
    if clash.any():
        # move the blue (or red when blue is at its limit) channel by one
        b = rgb[:, :, 2]
        b[clash] = np.where(b[clash] < 255, b[clash] + 1, b[clash] - 1)
    rgb[transparent] = key_a
    return Image.fromarray(rgb.astype(np.uint8), "RGB")


def assert_no_key(img, key):
    arr = np.asarray(img.convert("RGB"))
    assert not np.all(arr == np.array(key, np.uint8), axis=2).any(), "key colour inside picture"


def over(dst_rgb, src_rgba, pos=(0, 0)):
    """Alpha-composite an RGBA picture onto an RGB one, returning RGB."""
    base = dst_rgb.convert("RGBA")
    base.alpha_composite(src_rgba.convert("RGBA"), pos)
    return base.convert("RGB")


def supersample(w, h, factor, painter, mode="RGBA"):
    """Let `painter(draw, image, s)` paint at `factor` times the size, then shrink."""
    big = Image.new(mode, (w * factor, h * factor), (0, 0, 0, 0) if mode == "RGBA" else (0, 0, 0))
    draw = ImageDraw.Draw(big)
    painter(draw, big, factor)
    return big.resize((w, h), Image.LANCZOS)


def text_centered(draw, xy, text, fnt, fill, shadow=None, anchor="mm"):
    x, y = xy
    if shadow:
        draw.text((x + 1, y + 1), text, font=fnt, fill=shadow, anchor=anchor)
    draw.text((x, y), text, font=fnt, fill=fill, anchor=anchor)


def rounded_mask(w, h, radius, notch=0):
    """Binary mask (mode L) of a rounded rectangle, optionally with notched corners."""
    m = Image.new("L", (w, h), 0)
    d = ImageDraw.Draw(m)
    d.rounded_rectangle((0, 0, w - 1, h - 1), radius=radius, fill=255)
    if notch:
        for cx, cy in ((0, 0), (w - 1, 0), (0, h - 1), (w - 1, h - 1)):
            d.ellipse((cx - notch, cy - notch, cx + notch, cy + notch), fill=0)
    return m


def panel(w, h, seed, radius=10, notch=0, base=PARCHMENT, interior_line=7, ornaments=True,
          border=INK, gold=GOLD):
    """A parchment panel as RGBA: transparent outside its (binary) outline.

    The interior edge line sits `interior_line` pixels inside, so that the
    game's 7-pixel insets meet a drawn line.
    """
    mask = rounded_mask(w, h, radius, notch)
    paper = parchment(w, h, seed, base=base).convert("RGBA")
    img = Image.new("RGBA", (w, h), (0, 0, 0, 0))
    img.paste(paper, (0, 0), mask)
    d = ImageDraw.Draw(img)
    # outer dark border following the outline
    edge = mask.filter(ImageFilter.MinFilter(5))
    border_img = Image.new("RGBA", (w, h), border + (255,))
    outer = Image.fromarray(((np.asarray(mask) > 0) & (np.asarray(edge) == 0)).astype(np.uint8) * 255, "L")
    img.paste(border_img, (0, 0), outer)
    # gold inner line and the interior edge line
    r2 = max(0, radius - 4)
    d.rounded_rectangle((4, 4, w - 5, h - 5), radius=r2, outline=gold + (255,), width=1)
    if interior_line:
        k = interior_line - 1
        d.rectangle((k, k, w - 1 - k, h - 1 - k), outline=INK_SOFT + (255,), width=1)
    if ornaments and w > 60 and h > 40:
        for cx, cy in ((interior_line + 6, interior_line + 6), (w - interior_line - 7, interior_line + 6),
                       (interior_line + 6, h - interior_line - 7), (w - interior_line - 7, h - interior_line - 7)):
            d.polygon([(cx, cy - 4), (cx + 4, cy), (cx, cy + 4), (cx - 4, cy)], fill=gold + (255,),
                      outline=INK_SOFT + (255,))
    return img


def compass(d, cx, cy, r, col=INK, fill2=GOLD):
    for j in range(8):
        a = j * math.pi / 4
        rr = r if j % 2 == 0 else r * 0.6
        tip = (cx + rr * math.sin(a), cy - rr * math.cos(a))
        l = (cx + r * 0.14 * math.sin(a - math.pi / 2), cy - r * 0.14 * math.cos(a - math.pi / 2))
        rt = (cx + r * 0.14 * math.sin(a + math.pi / 2), cy - r * 0.14 * math.cos(a + math.pi / 2))
        d.polygon([tip, l, (cx, cy)], fill=col)
        d.polygon([tip, rt, (cx, cy)], fill=fill2)
    d.ellipse((cx - r * 0.75, cy - r * 0.75, cx + r * 0.75, cy + r * 0.75), outline=col)
    d.text((cx, cy - r - 2), "N", font=font(max(10, int(r * 0.35)), bold=True), fill=col, anchor="md")


def opaque(img, bg=(0, 0, 0)):
    if img.mode == "RGB":
        return img
    base = Image.new("RGB", img.size, bg)
    base.paste(img, (0, 0), img)
    return base


def save(img, root, rel, **kw):
    """Save a picture under the resource root; `rel` uses forward slashes."""
    path = os.path.join(root, *rel.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    ext = os.path.splitext(path)[1].lower()
    if ext in (".jpg", ".jpeg"):
        img.convert("RGB").save(path, "JPEG", quality=kw.get("quality", 88), optimize=False,
                                subsampling=kw.get("subsampling", 0))
    elif ext == ".png":
        img.save(path, "PNG", optimize=False, compress_level=9)
    elif ext == ".bmp":
        img.convert("RGB").save(path, "BMP")
    else:
        raise ValueError(rel)
    return path
