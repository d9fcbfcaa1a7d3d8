#!/usr/bin/python3
"""Shows that check_resources.py catches broken resources: each case breaks a copy
of the real Ressources/ folder in one way and expects the matching complaint.

Usage: test_check_resources.py <repo root>
"""
import io
import os
import shutil
import sys
import tempfile
import unittest
import wave
from contextlib import redirect_stderr, redirect_stdout

try:
    import numpy as np
    from PIL import Image, ImageFilter
except ImportError:
    if sys.executable != "/usr/bin/python3" and os.path.exists("/usr/bin/python3"):
        os.execv("/usr/bin/python3", ["/usr/bin/python3"] + sys.argv)
    raise

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_resources  # noqa: E402

ROOT = None


def run_checker(root):
    check_resources.PROBLEMS.clear()
    out, err = io.StringIO(), io.StringIO()
    with redirect_stdout(out), redirect_stderr(err):
        rc = check_resources.main(["check_resources.py", root])
    return rc, err.getvalue()


class CopyOfResources(unittest.TestCase):
    """A scratch copy of Ressources/, the manifest and the world table."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="torvane-res-")
        shutil.copytree(os.path.join(ROOT, "Ressources"), os.path.join(self.tmp, "Ressources"))
        os.makedirs(os.path.join(self.tmp, "tools", "assets"))
        shutil.copy(os.path.join(ROOT, "tools", "assets", "manifest.tsv"), os.path.join(self.tmp, "tools", "assets"))
        os.makedirs(os.path.join(self.tmp, "src", "game"))
        shutil.copy(os.path.join(ROOT, "src", "game", "Game.cpp"), os.path.join(self.tmp, "src", "game"))
        shutil.copytree(os.path.join(ROOT, "packaging", "linux", "icons"),
                        os.path.join(self.tmp, "packaging", "linux", "icons"))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def res(self, *parts):
        return os.path.join(self.tmp, "Ressources", *parts)


class BrokenResources(CopyOfResources):
    def test_intact_copy_passes(self):
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 0, err)

    def test_wrong_size(self):
        p = self.res("Graphics", "Fond", "Light.png")
        Image.open(p).resize((170, 30)).save(p)
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 1)
        self.assertIn("Light.png: size 170x30, expected 174x30", err)

    def test_missing_file(self):
        os.remove(self.res("Sounds", "Pays", "Amerique.wav"))
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 1)
        self.assertIn("Amerique.wav: no such file", err)

    def test_folder_case_does_not_matter_but_existence_does(self):
        os.rename(self.res("Graphics", "Statistiques"), self.res("Graphics", "STATISTIQUES"))
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 0, err)
        os.remove(self.res("Graphics", "STATISTIQUES", "Up.png"))
        rc, err = run_checker(self.tmp)
        self.assertIn("Statistiques\\Up.png: no such file", err)

    def test_key_colour_hole_inside_a_frame(self):
        p = self.res("Graphics", "Fond", "MenuCadre.png")
        a = np.asarray(Image.open(p).convert("RGB")).copy()
        a[100, 150] = (0xBD, 0x9C, 0x53)
        Image.fromarray(a).save(p)
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 1)
        self.assertIn("isolated pixels of key 0xFFBD9C53", err)
        self.assertIn("MenuCadre.png: key colour inside the 7-pixel interior", err)

    def test_keyed_picture_without_its_key(self):
        p = self.res("Graphics", "Icones", "Cursor.png")
        a = np.asarray(Image.open(p).convert("RGB")).copy()
        a[np.all(a == (0x80, 0, 0x80), axis=2)] = (0x81, 0, 0x80)
        Image.fromarray(a).save(p)
        rc, err = run_checker(self.tmp)
        self.assertIn("Cursor.png: colour key 0xFF800080 does not occur", err)

    def test_transparent_png_is_refused(self):
        p = self.res("Graphics", "Pays", "France.png")
        Image.open(p).convert("RGBA").save(p)        # still opaque: accepted
        self.assertEqual(run_checker(self.tmp)[0], 0)
        im = Image.open(p).convert("RGBA")
        im.putpixel((3, 3), (0, 0, 0, 0))
        im.save(p)
        rc, err = run_checker(self.tmp)
        self.assertIn("France.png: has transparent pixels", err)

    def test_broken_icon(self):
        icons = os.path.join(self.tmp, "packaging", "linux", "icons", "hicolor")
        png = os.path.join(icons, "32x32", "apps", "org.quillmere.Torvane.png")
        Image.open(png).resize((30, 30)).save(png)
        svg = os.path.join(icons, "scalable", "apps", "org.quillmere.Torvane.svg")
        with open(svg, encoding="utf-8") as f:
            text = f.read()
        with open(svg, "w", encoding="utf-8") as f:
            f.write(text.replace("<title>", '<script>alert(1)</script>'
                                 '<image href="https://example.org/a.png"/><title>'))
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 1)
        self.assertIn("32x32/apps/org.quillmere.Torvane.png: size 30x30, expected 32x32", err)
        self.assertIn("org.quillmere.Torvane.svg: holds a <script>", err)
        self.assertIn("org.quillmere.Torvane.svg: <image> refers outside the file", err)

    def test_silent_sound(self):
        p = self.res("Sounds", "hit.wav")
        with wave.open(p, "wb") as w:
            w.setnchannels(1)
            w.setsampwidth(2)
            w.setframerate(22050)
            w.writeframes(b"\0\0" * 4000)
        rc, err = run_checker(self.tmp)
        self.assertIn("hit.wav: silent", err)

    def test_map_point_on_the_sea(self):
        p = self.res("Graphics", "Fond", "NetMap.jpg")
        im = Image.open(p).convert("RGB")
        for dx in range(-6, 7):
            for dy in range(-6, 7):
                im.putpixel((449 + dx, 199 + dy), (170, 195, 180))
        im.save(p, quality=95)
        rc, err = run_checker(self.tmp)
        self.assertIn("nation 6's point (449, 199) is not on land", err)

    def test_source_literals_must_be_listed(self):
        src = os.path.join(self.tmp, "src", "states")
        os.makedirs(src)
        with open(os.path.join(src, "Statemenu.cpp"), "w") as f:
            f.write('auto a = "..\\\\Ressources\\\\GRAPHICS\\\\Fond\\\\Background.jpg";\n'
                    'auto b = std::string("..\\\\Ressources\\\\Graphics\\\\Pays\\\\") + stem + ".png";\n')
        self.assertEqual(run_checker(self.tmp)[0], 0)
        with open(os.path.join(src, "Stategame.cpp"), "w") as f:
            f.write('auto c = "..\\\\Ressources\\\\Graphics\\\\Fond\\\\Missing.png";\n'
                    'auto d = "..\\\\Ressources\\\\Nowhere\\\\";\n')
        rc, err = run_checker(self.tmp)
        self.assertIn("src/ loads ..\\Ressources\\Graphics\\Fond\\Missing.png", err)
        self.assertIn("src/ names ..\\Ressources\\Nowhere\\", err)

    def test_unlisted_file(self):
        Image.new("RGB", (4, 4), (1, 2, 3)).save(self.res("Graphics", "Fond", "Extra.png"))
        rc, err = run_checker(self.tmp)
        self.assertIn("Extra.png: not in the manifest", err)

    def test_short_music(self):
        p = self.res("Music", "Music.wma")
        with open(p, "rb") as f:
            data = bytearray(f.read())
        i = data.find(check_resources.ASF_FILE_PROPERTIES)
        off = i + 24 + 16 + 8 + 8 + 8
        data[off:off + 8] = (60 * 10 ** 7).to_bytes(8, "little")
        with open(p, "wb") as f:
            f.write(bytes(data))
        rc, err = run_checker(self.tmp)
        self.assertIn("Music.wma: lasts", err)


class BrokenBoard(CopyOfResources):
    """The campaign board: Carte/Monde.jpg, Carte/Territoires.png, Carte/Detroits.txt."""

    def carte(self, name):
        return self.res("Graphics", "Carte", name)

    def mask(self):
        return np.asarray(Image.open(self.carte("Territoires.png"))).copy()

    def save_mask(self, lab):
        Image.fromarray(lab.astype(np.uint8), "L").save(self.carte("Territoires.png"))

    def picture(self):
        return np.asarray(Image.open(self.carte("Monde.jpg")).convert("RGB")).copy()

    def save_picture(self, rgb):
        Image.fromarray(rgb).save(self.carte("Monde.jpg"), quality=92)

    def add_straits(self, *lines):
        with open(self.carte("Detroits.txt"), "a") as f:
            f.write("\n".join(lines) + "\n")

    def test_mask_must_be_greyscale_at_board_size(self):
        Image.open(self.carte("Territoires.png")).convert("RGB").save(self.carte("Territoires.png"))
        rc, err = run_checker(self.tmp)
        self.assertIn("Territoires.png: must be 1216 x 640 8-bit greyscale, is RGB", err)
        self.save_mask(np.zeros((600, 1216)))
        rc, err = run_checker(self.tmp)
        self.assertIn("Territoires.png: must be 1216 x 640 8-bit greyscale, is L 1216 x 600", err)

    def test_map_size(self):
        Image.open(self.carte("Monde.jpg")).resize((1200, 640)).save(self.carte("Monde.jpg"))
        rc, err = run_checker(self.tmp)
        self.assertIn("Monde.jpg: size 1200x640, expected 1216x640", err)
        self.assertIn("Monde.jpg: must be 1216 x 640", err)

    def test_mask_values_are_territories_or_sea(self):
        lab = self.mask()
        lab[300:303, 620:623] = 150
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("Territoires.png: values [150] are neither a territory (0..103) nor the sea (255)", err)

    def test_point_outside_its_region(self):
        lab = self.mask()
        self.assertEqual(lab[288, 614], 50)
        lab[286:291, 612:617] = 48            # Libye takes the ground under Mali's point
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("50 Mali: its point (614, 288) lies outside its region", err)

    def test_region_in_two_pieces_on_land(self):
        lab = self.mask()
        self.assertTrue((lab[430:436, 352:358] == 25).all())
        lab[430:436, 352:358] = 29            # a piece of Mato Grosso inside Amazonie
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("29 Mato Grosso: is not one piece (a detached part lies on land)", err)

    def test_islands_of_a_territory(self):
        lab = self.mask()
        self.assertTrue((lab[260:330, 470:540] == 255).all())
        lab[292:296, 482:486] = 71            # a small island of Royaume Uni, out at sea: allowed
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertEqual(rc, 0, err)
        lab[262:328, 472:538] = 71            # ... but not larger than the piece under its point
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("71 Royaume Uni: its point is not on its largest piece", err)

    def test_neighbours_apart_need_a_strait(self):
        with open(self.carte("Detroits.txt")) as f:
            lines = [ln for ln in f if ln.split("#")[0].split() != ["7", "12"]]
        with open(self.carte("Detroits.txt"), "w") as f:
            f.writelines(lines)
        rc, err = run_checker(self.tmp)
        self.assertIn("7 Barren Lands: neighbour 12 Terre de Baffin neither shares a border nor is across a listed strait",
                      err)

    def test_non_neighbours_must_not_touch(self):
        lab = self.mask()
        lab[lab == 9] = 5                     # Gde Plaines swallows Montana and meets Texas
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("5 Gde Plaines and 10 Texas share a border but are not neighbours", err)

    def test_inland_territory_on_the_sea(self):
        lab = self.mask()
        self.assertTrue((lab[292:296, 610:614] == 50).all())
        lab[292:296, 610:614] = 255           # a lake in Mali
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("50 Mali: inland, but touches the sea", err)

    def test_coastal_territory_away_from_the_sea(self):
        lab = self.mask()
        sea = Image.fromarray(((lab == 255) * 255).astype(np.uint8)).filter(ImageFilter.MaxFilter(7))
        shore = (lab == 30) & (np.asarray(sea) > 0)
        self.assertTrue(shore.any())
        lab[shore] = 26                       # Perou takes the coast of Chili
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertIn("30 Chili: coastal, but touches no sea", err)

    def test_strait_list_rules(self):
        self.add_straits("22 23", "5 7", "12 twelve", "3 104")
        rc, err = run_checker(self.tmp)
        self.assertIn("strait 22-23 (Jama\xefque / Colombie) joins territories that are not neighbours", err)
        self.assertIn("strait 5-7 joins territories that already share a border", err)
        self.assertIn("expected two territory indexes", err)
        self.assertIn("3 104 is not a pair of territories", err)

    def test_strait_across_too_much_water(self):
        lab = self.mask()
        baffin = lab == 12
        baffin[:, 292:] = False
        lab[baffin] = 255                     # Baffin shrinks away from Barren Lands
        self.save_mask(lab)
        rc, err = run_checker(self.tmp)
        self.assertRegex(err, r"strait 7-12 \(Barren Lands / Terre de Baffin\) spans \d+ pixels of water, over 40")

    def test_strait_must_be_drawn(self):
        lab, rgb = self.mask(), self.picture()
        water = rgb[560, 700].copy()
        box = np.zeros(lab.shape, bool)
        box[20:56, 228:258] = True
        rgb[box & (lab == 255)] = water       # wash out the dashes between Barren Lands and Baffin
        self.save_picture(rgb)
        rc, err = run_checker(self.tmp)
        self.assertIn("strait 7-12 (Barren Lands / Terre de Baffin) is not drawn across the water", err)

    def test_picture_must_match_the_mask(self):
        self.save_mask(np.roll(self.mask(), 5, axis=1))
        rc, err = run_checker(self.tmp)
        self.assertIn("Monde.jpg: no dark line where Territoires.png has borders", err)
        self.assertIn("Monde.jpg: no dark line along the coasts of Territoires.png", err)

    def test_land_and_sea_must_match(self):
        self.save_picture(self.picture()[::-1].copy())
        rc, err = run_checker(self.tmp)
        self.assertIn("Monde.jpg: the land of Territoires.png is not parchment in the picture", err)
        self.assertIn("Monde.jpg: the sea of Territoires.png is not water in the picture", err)

    def test_no_borders_inside_territories(self):
        rgb = self.picture()
        rgb[::12, :] = (60, 40, 20)           # lines the mask knows nothing about
        self.save_picture(rgb)
        rc, err = run_checker(self.tmp)
        self.assertIn("Monde.jpg: dark lines inside the territories of Territoires.png", err)

    def test_board_needs_the_world_table(self):
        os.remove(os.path.join(self.tmp, "src", "game", "Game.cpp"))
        rc, err = run_checker(self.tmp)
        self.assertIn("src/game/Game.cpp: the world table of 104 territories cannot be read", err)

    def test_world_table_is_read(self):
        world = check_resources.read_world(self.tmp)
        self.assertEqual(len(world), 104)
        self.assertEqual(world[14][:3], (284, 203, False))
        self.assertEqual(world[14][3], {8, 9, 10, 13, 15})
        self.assertEqual(sorted(i for i, t in enumerate(world) if not t[3]), [22, 71, 72, 73, 96, 97, 98])


class BoardHelpers(unittest.TestCase):
    """The checker's own piece counting and neighbourhood tests, against slow references."""

    def test_pieces_match_a_flood_fill(self):
        rng = np.random.RandomState(7)
        for _ in range(200):
            lab = rng.randint(0, 3, (rng.randint(1, 12), rng.randint(1, 12))).astype(np.uint8)
            pid, values = check_resources.pieces(lab)
            h, w = lab.shape
            seen = np.zeros(lab.shape, bool)
            count = 0
            for y in range(h):
                for x in range(w):
                    if seen[y, x]:
                        continue
                    count += 1
                    stack = [(y, x)]
                    seen[y, x] = True
                    while stack:
                        cy, cx = stack.pop()
                        self.assertEqual(pid[cy, cx], pid[y, x])
                        for yy, xx in ((cy - 1, cx), (cy + 1, cx), (cy, cx - 1), (cy, cx + 1)):
                            if 0 <= yy < h and 0 <= xx < w and not seen[yy, xx] and lab[yy, xx] == lab[y, x]:
                                seen[yy, xx] = True
                                stack.append((yy, xx))
            self.assertEqual(len(values), count)
            for k, v in enumerate(values):
                self.assertTrue((lab[pid == k] == v).all())

    def test_uniform_within_matches_a_direct_look(self):
        rng = np.random.RandomState(8)
        for _ in range(60):
            lab = (rng.rand(rng.randint(1, 15), rng.randint(1, 15)) < 0.15).astype(np.uint8)
            for r in (1, 2, 3):
                got = check_resources.uniform_within(lab, r)
                h, w = lab.shape
                for y in range(h):
                    for x in range(w):
                        win = lab[max(0, y - r):y + r + 1, max(0, x - r):x + r + 1]
                        self.assertEqual(bool(got[y, x]), bool((win == win.flat[0]).all()))

    def test_touching_is_four_way(self):
        lab = np.array([[1, 2], [3, 1]], np.uint8)
        self.assertEqual(check_resources.touching(lab), {(1, 2), (1, 3)})


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    ROOT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
