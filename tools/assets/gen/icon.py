"""The application icon: a globe in a gold-rimmed badge over two crossed sabres.

The SVG is written here from plain geometry: the continents are the chart's own
coastlines (worldmap.py) seen on an orthographic globe. rsvg-convert paints the
PNG sizes; 16 and 32 pixels are painted from a simpler drawing whose strokes are
sized in pixels of the target, so that they stay crisp. Every PNG is re-saved
without metadata, so that reruns are byte-identical.

Usage: icon.py <repo root>
"""
import io
import math
import os
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from common import GOLD, GOLD_LIGHT, GREEN_TEXT, INK, INK_SOFT, PARCHMENT, SEA, SEA_DEEP  # noqa: E402
import worldmap  # noqa: E402
from PIL import Image  # noqa: E402

APP_ID = "org.quillmere.Torvane"
ICON_DIR = "packaging/linux/icons/hicolor"
SIZES = (16, 32, 48, 64, 128, 256)
SMALL = (16, 32)             # painted from the simpler drawing
VIEW = 256                   # the drawing's square viewBox
C = VIEW / 2

# The globe is seen from above the eastern Atlantic, a little north of the equator.
VIEW_LON, VIEW_LAT = -5.0, 22.0


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def hexc(c):
    return "#%02x%02x%02x" % c


# The chart's sea is too pale to hold against parchment at 16 pixels: the globe's
# sea leans towards the game's dark green.
SEA_ICON = mix(SEA_DEEP, GREEN_TEXT, 0.42)
SEA_LIGHT = mix(SEA, SEA_DEEP, 0.2)
GOLD_DARK = mix(GOLD, INK, 0.35)
STEEL = mix(SEA, (255, 255, 255), 0.45)
STEEL_DARK = mix(SEA_DEEP, INK, 0.3)

LANDS = ([worldmap.NORTH_AMERICA, worldmap.SOUTH_AMERICA, worldmap.GREENLAND, worldmap.EURASIA,
          worldmap.AFRICA, worldmap.AUSTRALIA, worldmap.JAPAN] + list(worldmap.ISLANDS))
BIG_LANDS = [worldmap.NORTH_AMERICA, worldmap.SOUTH_AMERICA, worldmap.GREENLAND, worldmap.EURASIA,
             worldmap.AFRICA, worldmap.ISLANDS[0], worldmap.ISLANDS[1]]


# ------------------------------------------------------------------ the globe's geometry
def ortho(lon, lat):
    """Orthographic projection: unit-disc (x, y) with y up, and whether the point faces us."""
    l0, p0 = math.radians(VIEW_LON), math.radians(VIEW_LAT)
    lam, phi = math.radians(lon), math.radians(lat)
    x = math.cos(phi) * math.sin(lam - l0)
    y = math.cos(p0) * math.sin(phi) - math.sin(p0) * math.cos(phi) * math.cos(lam - l0)
    front = math.sin(p0) * math.sin(phi) + math.cos(p0) * math.cos(phi) * math.cos(lam - l0)
    return x, y, front > 0


def on_disc(x, y, r):
    return (C + r * x, C - r * y)


def land_outline(poly, r, step):
    """A coastline on the globe of radius r; the far side is folded onto the rim,
    so that a land mass half round the globe ends along the horizon."""
    pts, seen = [], False
    for lon, lat in worldmap.densify(poly, step):
        x, y, front = ortho(lon, lat)
        if front:
            seen = True
        else:
            d = math.hypot(x, y) or 1.0
            x, y = x / d, y / d
        pts.append(on_disc(x, y, r))
    return pts if seen else None


def graticule(r, lons, lats):
    """Meridians and parallels of the facing half, as runs of points."""
    lines = [[(lon, lat) for lat in range(-90, 91, 2)] for lon in lons]
    lines += [[(lon, lat) for lon in range(-180, 181, 2)] for lat in lats]
    runs = []
    for line in lines:
        run = []
        for lon, lat in line:
            x, y, front = ortho(lon, lat)
            if front:
                run.append(on_disc(x, y, r))
            elif run:
                runs.append(run)
                run = []
        if len(run) > 1:
            runs.append(run)
    return [run for run in runs if len(run) > 1]


def path_d(pts, closed):
    d = "M" + " L".join("%.1f,%.1f" % p for p in pts)
    return d + " Z" if closed else d


# ------------------------------------------------------------------ SVG pieces
def circle(r, fill="none", stroke=None, width=0, extra=""):
    s = '<circle cx="%g" cy="%g" r="%g" fill="%s"' % (C, C, r, fill)
    if stroke:
        s += ' stroke="%s" stroke-width="%g"' % (stroke, width)
    return s + extra + "/>"


def sabre(flip):
    """One sabre on the square's diagonal: hilt in a lower corner, point in the
    opposite upper one; `flip` mirrors it left to right."""
    def at(u, v):
        # u runs from the pommel along the diagonal, v across it (positive: outward curve)
        k = 1 / math.sqrt(2)
        x, y = 12 + u * k + v * k, 244 - u * k + v * k
        return (VIEW - x, y) if flip else (x, y)

    length = 330.0
    blade_from = 52.0

    def spine(u):                     # the blade's curve: a sagitta of 10 units
        t = (u - blade_from) / (length - blade_from)
        return 10 * (t * t)

    n = 24
    us = [blade_from + (length - blade_from) * i / n for i in range(n)]
    back = [at(u, spine(u) + 7) for u in us]
    edge = [at(u, spine(u) - 7 + 5 * (i / n) ** 3) for i, u in enumerate(us)]   # narrows to the point
    blade = back + [at(length, spine(length) + 1)] + edge[::-1]
    fuller = [at(u, spine(u) + 1.5) for u in
              (blade_from + 4 + (length - blade_from - 40) * i / n for i in range(n + 1))]
    grip = [at(16, 6), at(44, 7.5), at(44, -7.5), at(16, -6)]
    guard = [at(43, 18), at(53, 18), at(53, -18), at(43, -18)]
    bow = "M%.1f,%.1f C%.1f,%.1f %.1f,%.1f %.1f,%.1f" % (at(46, -17) + at(30, -21) + at(14, -14) + at(9, -6))
    out = [
        '<path d="%s" fill="%s" stroke="%s" stroke-width="4" stroke-linejoin="round"/>'
        % (path_d(blade, True), hexc(STEEL), hexc(INK)),
        '<path d="%s" fill="none" stroke="%s" stroke-width="1.6" stroke-linecap="round"/>'
        % (path_d(fuller, False), hexc(STEEL_DARK)),
        '<path d="%s" fill="none" stroke="%s" stroke-width="10" stroke-linecap="round"/>' % (bow, hexc(INK)),
        '<path d="%s" fill="none" stroke="%s" stroke-width="4.5" stroke-linecap="round"/>' % (bow, hexc(GOLD)),
        '<path d="%s" fill="%s" stroke="%s" stroke-width="3" stroke-linejoin="round"/>'
        % (path_d(grip, True), hexc(INK_SOFT), hexc(INK)),
    ]
    for u in (22, 29, 36):            # the grip's wire binding
        a, b = at(u, 6.5), at(u + 3, -6.5)
        out.append('<line x1="%.1f" y1="%.1f" x2="%.1f" y2="%.1f" stroke="%s" stroke-width="2"/>'
                   % (a + b + (hexc(GOLD_LIGHT),)))
    px, py = at(11, 0)
    out += [
        '<path d="%s" fill="%s" stroke="%s" stroke-width="3" stroke-linejoin="round"/>'
        % (path_d(guard, True), hexc(GOLD), hexc(INK)),
        '<circle cx="%.1f" cy="%.1f" r="8.5" fill="%s" stroke="%s" stroke-width="3"/>'
        % (px, py, hexc(GOLD), hexc(INK)),
    ]
    return out


def defs():
    return [
        "<defs>",
        '<radialGradient id="sea" cx="0.38" cy="0.34" r="0.72">'
        '<stop offset="0" stop-color="%s"/><stop offset="1" stop-color="%s"/></radialGradient>'
        % (hexc(SEA_LIGHT), hexc(SEA_ICON)),
        '<radialGradient id="shade" cx="0.36" cy="0.32" r="0.78">'
        '<stop offset="0.55" stop-color="%s" stop-opacity="0"/>'
        '<stop offset="1" stop-color="%s" stop-opacity="0.55"/></radialGradient>' % (hexc(INK), hexc(INK)),
        '<linearGradient id="rim" x1="0.15" y1="0.1" x2="0.85" y2="0.9">'
        '<stop offset="0" stop-color="%s"/><stop offset="0.5" stop-color="%s"/>'
        '<stop offset="1" stop-color="%s"/></linearGradient>' % (hexc(GOLD_LIGHT), hexc(GOLD), hexc(GOLD_DARK)),
        "</defs>",
    ]


def full_svg():
    """The scalable icon: every line of the emblem."""
    r_out, r_gold, r_ring, r_globe = 121, 115, 101, 96
    body = defs()
    body += sabre(False) + sabre(True)
    body += [
        circle(r_out, hexc(INK)),
        circle(r_gold, "url(#rim)"),
        circle(r_gold - 3, "none", hexc(GOLD_LIGHT), 1.5, ' stroke-opacity="0.7"'),
    ]
    for i in range(24):               # studs round the rim
        a = 2 * math.pi * i / 24
        x, y = C + 108 * math.sin(a), C - 108 * math.cos(a)
        body.append('<circle cx="%.1f" cy="%.1f" r="%g" fill="%s" stroke="%s" stroke-width="1.4"/>'
                    % (x, y, 3.2 if i % 6 == 0 else 2.2, hexc(GOLD_LIGHT), hexc(GOLD_DARK)))
    body += [circle(r_ring, hexc(INK)), circle(r_globe, "url(#sea)")]
    for poly in LANDS:
        pts = land_outline(poly, r_globe, 1.0)
        if pts:
            body.append('<path d="%s" fill="%s" stroke="%s" stroke-width="1.8" stroke-linejoin="round"/>'
                        % (path_d(pts, True), hexc(PARCHMENT), hexc(INK)))
    for poly in worldmap.INLAND_SEAS:
        pts = land_outline(poly, r_globe, 1.0)
        if pts:
            body.append('<path d="%s" fill="%s" stroke="%s" stroke-width="1.2"/>'
                        % (path_d(pts, True), hexc(SEA_ICON), hexc(INK)))
    runs = graticule(r_globe, range(-180, 180, 30), (-60, -30, 30, 60))
    body.append('<path d="%s" fill="none" stroke="%s" stroke-width="1.2" stroke-opacity="0.6"/>'
                % (" ".join(path_d(run, False) for run in runs), hexc(INK)))
    equator = graticule(r_globe, (), (0,))
    body.append('<path d="%s" fill="none" stroke="%s" stroke-width="2.2" stroke-opacity="0.75"/>'
                % (" ".join(path_d(run, False) for run in equator), hexc(INK)))
    body += [
        circle(r_globe, "url(#shade)"),
        '<ellipse cx="%g" cy="%g" rx="26" ry="15" fill="#ffffff" fill-opacity="0.22" '
        'transform="rotate(-35 %g %g)"/>' % (C - 40, C - 50, C - 40, C - 50),
        circle(r_globe, "none", hexc(INK), 3),
    ]
    return document(body)


def small_svg(size):
    """The same emblem for a few pixels: no sabres, no studs, a coarse globe, and
    strokes measured in pixels of `size`."""
    px = VIEW / size
    outline = px * (1.0 if size <= 16 else 1.5)
    rim = px * (1.4 if size <= 16 else 2.4)
    ring = px * (0.7 if size <= 16 else 1.0)
    r_out = C - 0.2 * px
    r_gold = r_out - outline
    r_ring = r_gold - rim
    r_globe = r_ring - ring
    body = defs() + [circle(r_out, hexc(INK)), circle(r_gold, "url(#rim)"), circle(r_ring, hexc(INK)),
                     circle(r_globe, hexc(SEA_ICON))]
    for poly in BIG_LANDS if size <= 16 else LANDS[:7] + BIG_LANDS[5:]:
        pts = land_outline(poly, r_globe, 4.0)
        if pts:
            body.append('<path d="%s" fill="%s"/>' % (path_d(pts, True), hexc(PARCHMENT)))
    if size > 16:                     # at 16 pixels any line would only blur the land
        lines = graticule(r_globe, (VIEW_LON - 50, VIEW_LON + 50), (0,))
        body.append('<path d="%s" fill="none" stroke="%s" stroke-width="%g" stroke-opacity="0.6"/>'
                    % (" ".join(path_d(run, False) for run in lines), hexc(INK), px * 0.8))
    body.append(circle(r_globe, "url(#shade)"))
    return document(body)


def document(body):
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<svg xmlns="http://www.w3.org/2000/svg" version="1.1" width="%d" height="%d" viewBox="0 0 %d %d">\n'
            '<title>Torvane</title>\n%s\n</svg>\n' % (VIEW, VIEW, VIEW, VIEW, "\n".join(body)))


# ------------------------------------------------------------------ writing
def render(svg, size):
    """Paint an SVG at size x size; returns an RGBA picture."""
    out = subprocess.run(["rsvg-convert", "--width", str(size), "--height", str(size), "--format", "png"],
                         input=svg.encode("utf-8"), stdout=subprocess.PIPE, check=True).stdout
    img = Image.open(io.BytesIO(out))
    img.load()
    return img.convert("RGBA")


def write_all(root):
    written = []
    svg = full_svg()
    path = os.path.join(root, ICON_DIR, "scalable", "apps", APP_ID + ".svg")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "w", encoding="utf-8", newline="\n") as f:
        f.write(svg)
    written.append(path)
    for size in SIZES:
        img = render(small_svg(size) if size in SMALL else svg, size)
        path = os.path.join(root, ICON_DIR, "%dx%d" % (size, size), "apps", APP_ID + ".png")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        img.save(path, "PNG", optimize=False, compress_level=9)   # no text, time or gamma chunks
        written.append(path)
    return written


def main():
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    for path in write_all(sys.argv[1]):
        print("icon: " + os.path.relpath(path, sys.argv[1]))


if __name__ == "__main__":
    main()
