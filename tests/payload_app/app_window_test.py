"""varnel.exe draws its window with the XCGUI.dll beside it and falls back to
its plain window when that library is missing or cannot be loaded."""
import os
import shutil
import time
import unittest

from accessible import ROLE_STATIC, ReadWindow, ScreenReader
from harness import BUILD, Program, count_near, near, pixel, xdotool

APP = os.path.join(BUILD, "payload", "varnel.exe")
LIBRARY = os.path.join(BUILD, "bin", "XCGUI.dll")
PLACE = os.path.join(BUILD, "payload_app")

HEADER_BLUE = (0x50, 0x8A, 0xFF)  # the library window's header (resource.res)
PLAIN_BLUE = (0x1E, 0x6F, 0xD9)   # the plain window's band
WHITE = (0xFF, 0xFF, 0xFF)
INK = (0x33, 0x33, 0x33)


def folder(name, library):
    """A fresh folder under the build holding varnel.exe, and XCGUI.dll when
    library is given (True: the built one; bytes: a file of those bytes)."""
    path = os.path.join(PLACE, name)
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    shutil.copy(APP, path)
    if library is True:
        shutil.copy(LIBRARY, path)
    elif library is not None:
        with open(os.path.join(path, "XCGUI.dll"), "wb") as f:
            f.write(library)
    return path


class AppWindow(unittest.TestCase):
    def start(self, path, cwd=None):
        app = Program(os.path.join(path, "varnel.exe"), cwd=cwd, name="varnel-" + os.path.basename(path))
        self.addCleanup(app.kill)
        app.start()
        return app, app.wait_window("Varnel", timeout=30, settle=1.0)

    def test_library_window_shows_name_version_and_folder_and_closes(self):
        path = folder("skinned", True)
        app, win = self.start(path)
        reader = ScreenReader("Varnel")
        self.addCleanup(reader.kill)
        win = ReadWindow(win, reader)
        tree = win.wait(lambda t: len(t) > 0, what="the window's texts")
        texts = [name for name, _ in tree.of_role(ROLE_STATIC)]
        self.assertEqual(len(texts), 3, tree)
        self.assertEqual(texts[0], "Varnel")
        self.assertRegex(texts[1], r"^版本 \d+(\.\d+){3}$")
        self.assertEqual(texts[2], "运行位置：D:\\payload_app\\skinned")
        img = win.screenshot("payload-app-skinned")
        self.assertEqual(img.size, (442, 222), "the layout's content size (452 x 232 less the shadow)")
        self.assertTrue(near(pixel(img, 8, 8), HEADER_BLUE), pixel(img, 8, 8))
        self.assertTrue(near(pixel(img, 220, 105), HEADER_BLUE), pixel(img, 220, 105))
        self.assertTrue(near(pixel(img, 8, 215), WHITE), pixel(img, 8, 215))
        self.assertGreater(count_near(img, (0, 0, 442, 110), HEADER_BLUE), 0.8 * 442 * 110)
        self.assertGreater(count_near(img, (20, 40, 200, 60), WHITE, 40), 80, "the white header line")
        self.assertGreater(count_near(img, (400, 4, 32, 32), WHITE, 40), 8, "the close cross")
        # Two lines of ink in the body; the folder line is the longer one.
        version = count_near(img, (20, 120, 400, 40), INK, 60)
        location = count_near(img, (20, 160, 400, 40), INK, 60)
        self.assertGreater(version, 40)
        self.assertGreater(location, version)
        win.click_on("关闭")
        self.assertEqual(app.wait_exit(), 0)
        self.assertTrue(app.wait_gone(win))

    def test_plain_window_without_a_usable_library_beside_it(self):
        # Missing: the built library sits in the working folder only, where
        # a load by bare name would find it. Damaged: not an image at all.
        cases = (("missing", None, os.path.join(PLACE, "skinned-cwd")),
                 ("damaged", b"not a library\r\n" * 64, None))
        for name, library, cwd in cases:
            with self.subTest(name):
                if cwd:
                    folder(os.path.basename(cwd), True)
                app, win = self.start(folder("plain-" + name, library), cwd=cwd)
                img = win.screenshot("payload-app-plain-" + name)
                self.assertNotEqual(img.size, (442, 222))
                self.assertGreater(count_near(img, (0, 0, img.size[0], img.size[1]), PLAIN_BLUE), 20000)
                self.assertLess(count_near(img, (0, 0, img.size[0], img.size[1]), HEADER_BLUE, 8), 200)
                xdotool("windowactivate", "--sync", win.id, check=False)
                time.sleep(0.2)
                win.key("Escape")
                self.assertEqual(app.wait_exit(), 0)


if __name__ == "__main__":
    unittest.main(verbosity=2)
