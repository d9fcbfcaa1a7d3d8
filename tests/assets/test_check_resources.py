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
    from PIL import Image
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


class BrokenResources(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="torvane-res-")
        shutil.copytree(os.path.join(ROOT, "Ressources"), os.path.join(self.tmp, "Ressources"))
        os.makedirs(os.path.join(self.tmp, "tools", "assets"))
        shutil.copy(os.path.join(ROOT, "tools", "assets", "manifest.tsv"), os.path.join(self.tmp, "tools", "assets"))

    def tearDown(self):
        shutil.rmtree(self.tmp)

    def res(self, *parts):
        return os.path.join(self.tmp, "Ressources", *parts)

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


if __name__ == "__main__":
    if len(sys.argv) < 2:
        print(__doc__, file=sys.stderr)
        sys.exit(2)
    ROOT = os.path.abspath(sys.argv.pop(1))
    unittest.main(verbosity=1)
