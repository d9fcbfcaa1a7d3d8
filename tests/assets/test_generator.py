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


def flood_pieces(mask, eight):
    """Reference labelling by plain flood fill: number of pieces."""
    h, w = mask.shape
    seen = np.zeros_like(mask)
    steps = [(0, 1), (1, 0), (0, -1), (-1, 0)] + ([(1, 1), (1, -1), (-1, 1), (-1, -1)] if eight else [])
    n = 0
    for y in range(h):
        for x in range(w):
            if mask[y, x] and not seen[y, x]:
                n += 1
                seen[y, x] = True
                stack = [(y, x)]
                while stack:
                    cy, cx = stack.pop()
                    for dy, dx in steps:
                        yy, xx = cy + dy, cx + dx
                        if 0 <= yy < h and 0 <= xx < w and mask[yy, xx] and not seen[yy, xx]:
                            seen[yy, xx] = True
                            stack.append((yy, xx))
    return n


def toy_world(points, neighbours, coastal):
    return [{"x": x, "y": y, "coastal": c, "nb": sorted(nb), "name": "t%d" % i, "continent": 0}
            for i, ((x, y), nb, c) in enumerate(zip(points, neighbours, coastal))]


class BoardTable(unittest.TestCase):
    def test_world_table(self):
        import board
        world = board.read_world(ROOT)
        self.assertEqual(len(world), 104)
        for i, t in enumerate(world):
            for j in t["nb"]:
                self.assertIn(i, world[j]["nb"], "%d lists %d but not the other way" % (i, j))
            self.assertTrue(39 <= t["x"] <= 1177 and 31 <= t["y"] <= 596)
        inland = [i for i, t in enumerate(world) if not t["coastal"]]
        self.assertEqual(inland, [5, 9, 14, 25, 28, 29, 33, 42, 45, 50, 59, 60, 62, 75, 76, 77, 78, 81, 82, 83,
                                  87, 88, 89])
        self.assertEqual([i for i, t in enumerate(world) if not t["nb"]], [22, 71, 72, 73, 96, 97, 98])
        self.assertEqual(world[6]["name"], "C\u00f4te Ouest")
        self.assertEqual(world[98]["name"], "Nvlle Guin\u00e9e")

    def test_straits_join_neighbours(self):
        import board
        world = board.read_world(ROOT)
        straits = board.read_straits(ROOT)
        self.assertTrue(straits)
        for a, b in straits:
            self.assertLess(a, b)
            self.assertIn(b, world[a]["nb"])


class BoardPieces(unittest.TestCase):
    def test_components_match_a_flood_fill(self):
        import board
        rng = np.random.RandomState(4)
        for _ in range(150):
            m = rng.rand(rng.randint(1, 14), rng.randint(1, 14)) < rng.rand()
            for eight in (False, True):
                lab, n = board.components(m, eight)
                self.assertEqual(n, flood_pieces(m, eight))
                self.assertTrue(((lab >= 0) == m).all())
                for k in range(n):
                    self.assertEqual(flood_pieces(lab == k, eight), 1)

    def test_sea_distance(self):
        import board
        land = np.ones((9, 9), bool)
        land[4, 0] = False
        d = board.sea_distance(land, 5)
        self.assertEqual(d[4, 0], 0)
        self.assertEqual(d[4, 1], 1)
        self.assertEqual(d[2, 2], 2)
        self.assertEqual(d[4, 8], 5)        # capped


class BoardGrowth(unittest.TestCase):
    def test_non_neighbours_never_meet(self):
        import board
        # A and C sit low on a block of land; B, their common neighbour, sits high
        world = toy_world([(6, 30), (30, 4), (54, 30)], [{1}, {0, 2}, {1}], [True] * 3)
        land = np.zeros((40, 62), bool)
        land[2:38, 2:60] = True
        lab = board.grow(world, land, np.full(land.shape, -1, np.int16), warp_amp=(0.0, 0.0))
        a, c = lab == 0, lab == 2
        grown = np.zeros_like(a)
        for dy in (-1, 0, 1):
            for dx in (-1, 0, 1):
                grown |= np.roll(np.roll(a, dy, 0), dx, 1)
        self.assertFalse((grown & c).any(), "A and C touch")
        self.assertTrue(((lab[:, :-1] == 1) & (lab[:, 1:] == 0)).any() or ((lab[:, :-1] == 0) & (lab[:, 1:] == 1)).any())
        self.assertEqual(lab[30, 6], 0)
        self.assertEqual(lab[30, 54], 2)

    def test_inland_keeps_off_the_sea(self):
        import board
        world = toy_world([(20, 20), (20, 4)], [{1}, {0}], [False, True])
        land = np.zeros((40, 40), bool)
        land[1:39, 1:39] = True
        lab = board.grow(world, land, np.full(land.shape, -1, np.int16), warp_amp=(0.0, 0.0))
        ys, xs = np.nonzero(lab == 0)
        self.assertTrue(len(ys))
        # three rows of land at least between the inland territory and the water all round
        self.assertGreaterEqual(min(ys.min() - 1, xs.min() - 1, 38 - ys.max(), 38 - xs.max()), 3)

    def test_gaps_go_to_a_common_neighbour_or_the_sea(self):
        import board
        world = toy_world([(1, 1), (5, 1), (3, 5)], [{2}, {2}, {0, 1}], [True, True, True])
        land = np.ones((7, 7), bool)
        lab = np.full((7, 7), -1, np.int32)
        lab[:, :3], lab[:, 4:] = 0, 1
        lab[5:, :] = 2
        lab[:5, 3] = -1                      # a strip between 0 and 1, which are not neighbours
        out = board.settle_gaps(world, lab.copy(), land)
        self.assertTrue((out[:5, 3] == 2).all())
        world[2]["nb"] = [0]                 # now nobody may hold the strip: it becomes water
        world[1]["nb"] = []
        land2 = land.copy()
        out = board.settle_gaps(world, lab.copy(), land2)
        self.assertFalse(land2[:5, 3].any())


class BoardSettling(unittest.TestCase):
    """Parting near four-way corners, smoothing, and pieces cut off on land."""

    def four_way(self):
        # four wedges round the middle of a square: A left, B right (neighbours), C top and
        # D bottom (not neighbours), C and D meeting at the middle only
        world = toy_world([(3, 20), (37, 20), (20, 3), (20, 37)],
                          [{1, 2, 3}, {0, 2, 3}, {0, 1}, {0, 1}], [True] * 4)
        yy, xx = np.mgrid[0:41, 0:41]
        dx, dy = xx - 20, yy - 20
        lab = np.where(np.abs(dx) < -dy, 2, np.where(np.abs(dx) < dy, 3, np.where(dx < 0, 0, 1))).astype(np.int32)
        return world, lab, np.ones(lab.shape, bool)

    def test_close_pairs_finds_the_pinch(self):
        import board
        world, lab, land = self.four_way()
        spots = board.close_pairs(world, lab, land, 5)
        self.assertEqual(sorted(spots), [(2, 3)])
        y, x = np.mean(spots[(2, 3)], axis=0)
        self.assertLess(abs(y - 20) + abs(x - 20), 3)

    def test_parting_opens_a_border_between_the_neighbours(self):
        import board
        world, lab, land = self.four_way()
        before = board.contacts(lab).get((0, 1), 0)
        out = board.part_junctions(world, lab.copy(), land, gap=5)
        self.assertEqual(board.close_pairs(world, out, land, 5), {})
        self.assertGreater(board.contacts(out).get((0, 1), 0), before + 4)
        for t in world:
            self.assertEqual(out[t["y"], t["x"]], world.index(t))

    def test_corner_pairs_are_left_alone(self):
        import board
        self.assertIn((13, 15), board.corner_pairs())
        self.assertIn((56, 57), board.corner_pairs())

    def test_smoothing_takes_off_teeth_the_table_allows(self):
        import board
        world = toy_world([(2, 2), (12, 2), (7, 9)], [{1, 2}, {0, 2}, {0, 1}], [True] * 3)
        lab = np.zeros((12, 16), np.int32)
        lab[:, 8:] = 1
        lab[5, 8] = 0                          # a tooth of A into B
        land = np.ones(lab.shape, bool)
        out = board.smooth_borders(world, lab.copy(), land, passes=1)
        self.assertEqual(out[5, 8], 1)
        self.assertTrue((out[:, :8] == 0).all() and (out[:, 9:] == 1).all())
        # when B may not border A, a tooth of C between them stays: taking it would put B
        # next to A
        lab[5, 8] = 2
        world[0]["nb"], world[1]["nb"], world[2]["nb"] = [2], [2], [0, 1]
        out = board.smooth_borders(world, lab.copy(), land, passes=1)
        self.assertEqual(out[5, 8], 2)

    def test_cut_off_pieces_rejoin_a_neighbour(self):
        import board
        world = toy_world([(2, 2), (12, 2)], [{1}, {0}], [True, True])
        lab = np.zeros((10, 16), np.int32)
        lab[:, 8:] = 1
        lab[4:6, 12:14] = 0                    # a piece of A inside B
        out = board.drop_detached(world, lab.copy(), np.ones(lab.shape, bool))
        self.assertTrue((out[:, 8:] == 1).all())
        self.assertTrue((out[:, :8] == 0).all())


class Board(unittest.TestCase):
    """The board as the generator makes it, once for the whole class."""

    @classmethod
    def setUpClass(cls):
        import board
        cls.world = board.read_world(ROOT)
        cls.straits = board.read_straits(ROOT)
        cls.lab = board.regions(cls.world)

    def test_the_table_holds(self):
        import board
        self.assertEqual(board.validate(self.world, self.lab, self.straits), [])

    def test_validate_notices_faults(self):
        import board
        lab = self.lab.copy()
        lab[lab == 9] = 5
        problems = board.validate(self.world, lab, self.straits)
        self.assertIn("5-10 Gde Plaines / Texas: touch without being neighbours", problems)
        self.assertIn("9 Montana: its point is not in its region", problems)
        self.assertIn("7-12 Barren Lands / Terre de Baffin: neighbours apart",
                      board.validate(self.world, self.lab, [s for s in self.straits if s != (7, 12)]))

    def test_committed_mask_is_the_generated_one(self):
        path = os.path.join(ROOT, "Ressources", "Graphics", "Carte", "Territoires.png")
        self.assertTrue((np.asarray(Image.open(path)) == self.lab).all(), "run tools/assets/make-assets pictures")

    def test_corners_meet_at_a_point(self):
        import board
        for (cx, cy), _, _, quads in board.CORNERS:
            # clockwise from the pixel south-east of the corner
            block = [self.lab[cy, cx], self.lab[cy, cx - 1], self.lab[cy - 1, cx - 1], self.lab[cy - 1, cx]]
            want = [board.SEA_INDEX if q is None else q for q in quads]
            self.assertEqual([int(v) for v in block], want)

    def test_straits_are_drawn_between_clear_shores(self):
        import board
        for a, b in self.straits:
            (xa, ya), (xb, yb) = board.strait_ends(self.lab, a, b)
            self.assertEqual((self.lab[ya, xa], self.lab[yb, xb]), (a, b))
            n = int(max(abs(xb - xa), abs(yb - ya)))
            inside = [self.lab[int(round(ya + (yb - ya) * k / n)), int(round(xa + (xb - xa) * k / n))]
                      for k in range(2, n - 1)]
            self.assertTrue(all(v == board.SEA_INDEX for v in inside), "strait %d-%d crosses land" % (a, b))
            for (x, y), own in (((xa, ya), a), ((xb, yb), b)):
                win = self.lab[y - 5:y + 6, x - 5:x + 6]
                self.assertTrue(np.isin(win, [own, board.SEA_INDEX]).all(), "strait %d-%d lands on a border" % (a, b))


class BoardPieces16(unittest.TestCase):
    def outline_ok(self, img):
        a = np.asarray(img).astype(int)
        key = np.all(a == (0xBF, 0, 0), axis=2)
        kp = np.pad(key, 1, constant_values=True)
        edge = ~key & (kp[:-2, 1:-1] | kp[2:, 1:-1] | kp[1:-1, :-2] | kp[1:-1, 2:])
        return key, edge, a.mean(axis=2)

    def test_markers_have_a_dark_outline(self):
        import board
        for painter in (board.army, board.reserve, board.fort, board.improvement, board.boat, board.capital):
            img = board.marker(16, painter)
            key, edge, lum = self.outline_ok(img)
            self.assertEqual(img.size, (16, 16))
            self.assertTrue(key[0].all() or key[:, 0].all() or key[-1].all(), painter.__name__)
            self.assertGreater(edge.sum(), 20, painter.__name__)
            self.assertTrue((lum[edge] < 110).all(), "%s: light pixels on its rim" % painter.__name__)

    def test_tinted_pieces_are_white_inside(self):
        import board
        for img, size in ((board.arrow(), (64, 16)), (board.ring(), (40, 40))):
            key, edge, lum = self.outline_ok(img)
            self.assertEqual(img.size, size)
            self.assertTrue((lum[edge] < 110).all())
            self.assertGreater((lum[~key & ~edge] > 200).mean(), 0.6)
        key, _, _ = self.outline_ok(board.arrow())
        body = (~key).sum(axis=0)
        self.assertGreater(body[44:50].max(), body[10:40].max(), "the head is on the right")
        self.assertLessEqual(body[62:].max(), 4, "the head ends in a point")
        key, _, _ = self.outline_ok(board.ring())
        self.assertTrue(key[20, 20] and key[0, 0] and not key[20, 1])

    def test_end_panels_leave_the_button_strip_plain(self):
        import board
        from PIL import ImageFilter
        for victory in (True, False):
            img = board.end_panel(victory).convert("L")
            self.assertEqual(img.size, (420, 300))
            a = np.asarray(img, float)
            smooth = np.asarray(img.filter(ImageFilter.GaussianBlur(6)), float)
            self.assertLess(np.abs(a - smooth)[250:280, 30:390].max(), 30)
            self.assertGreater(np.abs(a - smooth)[20:240, 30:390].max(), 60, "no ornament at all")


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    ROOT = os.path.abspath(sys.argv.pop(1))
    setup_path()
    unittest.main(verbosity=1)
