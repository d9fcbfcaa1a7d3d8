#!/usr/bin/python3
"""Unit tests of the asset generator's building blocks (tools/assets/gen).

Usage: test_generator.py <repo root>
"""
import os
import sys
import unittest

try:
    import numpy as np
    from PIL import Image
except ImportError:
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

ROOT = None


def setup_path():
    sys.path.insert(0, os.path.join(ROOT, "tools", "assets", "gen"))


class FlattenKeyed(unittest.TestCase):
    def test_transparent_becomes_key_and_visible_key_is_nudged(self):
        import common
        key = common.KEY_FRAME
        img = Image.new("RGBA", (4, 1), (0, 0, 0, 0))
        img.putpixel((1, 0), key + (255,))          # visible pixel that equals the key
        img.putpixel((2, 0), (10, 20, 30, 200))     # ordinary visible pixel
        img.putpixel((3, 0), (10, 20, 30, 100))     # mostly transparent: becomes key
        out = np.asarray(common.flatten_keyed(img, key))
        self.assertEqual(tuple(out[0, 0]), key)
        self.assertNotEqual(tuple(out[0, 1]), key)
        self.assertEqual(np.abs(out[0, 1].astype(int) - np.array(key)).sum(), 1)
        self.assertEqual(tuple(out[0, 2]), (10, 20, 30))
        self.assertEqual(tuple(out[0, 3]), key)

    def test_white_key_nudges_downwards(self):
        import common
        img = Image.new("RGBA", (1, 1), (255, 255, 255, 255))
        out = np.asarray(common.flatten_keyed(img, common.KEY_WHITE))
        self.assertEqual(tuple(out[0, 0]), (255, 255, 254))


class Textures(unittest.TestCase):
    def test_parchment_is_repeatable_and_seed_dependent(self):
        import common
        a = np.asarray(common.parchment(40, 30, 5))
        b = np.asarray(common.parchment(40, 30, 5))
        c = np.asarray(common.parchment(40, 30, 6))
        self.assertTrue((a == b).all())
        self.assertFalse((a == c).all())

    def test_panel_interior_is_opaque(self):
        import common
        p = np.asarray(common.panel(120, 80, 3, notch=9))
        self.assertTrue((p[7:-7, 7:-7, 3] == 255).all())
        self.assertEqual(p[0, 0, 3], 0)


class Chart(unittest.TestCase):
    def test_anchors_land_exactly_on_the_lobby_points(self):
        import worldmap
        got = worldmap.geo_to_map([a for a, _ in worldmap.ANCHORS])
        want = np.array([b for _, b in worldmap.ANCHORS], float)
        self.assertLess(np.abs(got - want).max(), 0.01)

    def test_anchors_land_exactly_on_the_chooser_points(self):
        import worldmap
        got = worldmap.geo_to_chooser([a for a, _ in worldmap.ANCHORS])
        self.assertLess(np.abs(got - np.array(worldmap.CHOOSER_POINTS, float)).max(), 0.01)

    def test_each_point_lies_inside_its_own_nation_only(self):
        import worldmap
        for i, (_, (x, y)) in enumerate(worldmap.ANCHORS):
            for j in range(8):
                inside = worldmap.point_in_nation(j, x, y, worldmap.geo_to_map)
                self.assertEqual(inside, i == j, "point of nation %d vs area of nation %d" % (i, j))

    def test_projection_keeps_west_to_east_order(self):
        import worldmap
        lons = np.arange(-180, 181, 10.0)
        for lat in (-40, 0, 30, 60):
            xs = worldmap.geo_to_map([(lo, lat) for lo in lons])[:, 0]
            self.assertTrue((np.diff(xs) > 0).all(), "fold at latitude %d" % lat)
        lats = np.arange(-60, 81, 10.0)
        for lon in (-90, 0, 45, 140):
            ys = worldmap.geo_to_map([(lon, la) for la in lats])[:, 1]
            self.assertTrue((np.diff(ys) < 0).all(), "fold at longitude %d" % lon)


class Audio(unittest.TestCase):
    def test_note_names(self):
        import audio
        self.assertEqual(audio.midi("A4"), 69)
        self.assertEqual(audio.midi("C4"), 60)
        self.assertEqual(audio.midi("F#5"), 78)
        self.assertEqual(audio.midi("Bb3"), 58)
        self.assertAlmostEqual(audio.freq(81), 880.0)

    def test_every_melody_bar_fills_its_metre(self):
        import audio
        for name, bars, beats in (("waltz A", audio.WALTZ_A, 3), ("waltz B", audio.WALTZ_B, 3),
                                  ("march", audio.MARCH, 4)):
            for k, (chord, melody) in enumerate(bars):
                self.assertIn(chord, audio.CHORDS)
                self.assertEqual(sum(b for _, b in melody), beats, "%s bar %d" % (name, k + 1))

    def test_effects_are_short_and_audible(self):
        import audio
        for fx in (audio.hit(), audio.paper_slide(True), audio.paper_slide(False), audio.search(), audio.failed()):
            self.assertLess(len(fx) / audio.RATE, 2.0)
            self.assertGreater(np.sqrt((fx ** 2).mean()), 0.02)
            self.assertLessEqual(np.abs(fx).max(), 1.0)


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    ROOT = os.path.abspath(sys.argv.pop(1))
    setup_path()
    unittest.main(verbosity=1)
