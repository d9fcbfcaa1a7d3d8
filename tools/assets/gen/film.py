"""Frames of the maker's intro film: a quill signs "Quillmere" over a world chart."""
import math
import os

import numpy as np
from PIL import Image, ImageDraw

import worldmap
from common import GOLD, GREEN_TEXT, INK, font, parchment, text_centered

FPS = 25
SECONDS = 8
W, H = 640, 480


def base_picture():
    paper = parchment(W, H, 200, base=(226, 206, 160), vignette=0.9)
    chart, _ = worldmap.render_chart((W, H), lambda p: (worldmap.geo_to_map(p) - 296) * 1.45 + np.array([320, 330]),
                                     seed=201)
    return Image.blend(paper, chart.convert("RGB"), 0.28)


def title_layer():
    layer = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    d = ImageDraw.Draw(layer)
    text_centered(d, (320, 210), "Quillmere", font(84, italic=True), GREEN_TEXT + (255,), shadow=(120, 90, 50, 160))
    d.line((170, 262, 470, 262), fill=GOLD + (255,), width=2)
    text_centered(d, (320, 292), "présente", font(26, italic=True), INK + (255,))
    return layer


def quill(d, x, y):
    # the feather trails up and to the right of the nib at (x, y)
    d.polygon([(x, y), (x + 10, y - 14), (x + 60, y - 80), (x + 70, y - 76), (x + 22, y - 8)],
              fill=(245, 240, 228), outline=INK)
    d.line([(x, y), (x + 66, y - 78)], fill=INK, width=2)
    d.polygon([(x, y), (x + 4, y - 9), (x + 9, y - 5)], fill=(40, 30, 20))


def render_frames(root, out_dir):
    base = base_picture()
    title = title_layer()
    alpha = np.asarray(title)[:, :, 3].astype(np.float32)
    cols = np.where(alpha.max(axis=0) > 0)[0]
    x0, x1 = int(cols.min()), int(cols.max())
    n = FPS * SECONDS
    for i in range(n):
        t = i / FPS
        frame = base.copy().convert("RGBA")
        # the signature is revealed from left to right between 1.0 s and 4.0 s
        p = min(1.0, max(0.0, (t - 1.0) / 3.0))
        reveal = int(x0 + (x1 - x0 + 1) * p)
        if reveal > x0:
            part = title.copy()
            arr = np.asarray(part).copy()
            arr[:, reveal:, 3] = 0
            frame.alpha_composite(Image.fromarray(arr))
        d = ImageDraw.Draw(frame)
        if 0.8 < t < 4.4:
            wob = math.sin(t * 19) * 10
            quill(d, min(reveal, x1), 230 + wob)
        frame = frame.convert("RGB")
        # fade in from black over 1 s and out over the last 1.2 s
        level = min(1.0, t / 1.0, max(0.0, (SECONDS - t) / 1.2))
        if level < 1.0:
            frame = Image.blend(Image.new("RGB", (W, H), (0, 0, 0)), frame, level)
        frame.save(os.path.join(out_dir, "f%04d.png" % i), compress_level=1)
