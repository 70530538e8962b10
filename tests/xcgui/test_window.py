"""Window test of our XCGUI.dll: the real UI package drawn by xcgui_host.exe,
clicked and typed into like a user would. Screenshots: $VARNEL_BUILD/screenshots/xcgui_*.png
"""
import time
import unittest

from harness import Program, count_near, near, pixel

BLUE = (0x50, 0x8A, 0xFF)
TEAL = (0x20, 0xD5, 0xB8)
WHITE = (255, 255, 255)
GREEN = (0x00, 0xCC, 0x65)
TRACK = (0xD2, 0xD2, 0xD2)

# Window-relative points of the installer layout (content 582 x 432).
QUICK = (291, 318)          # 快速安装, 200 x 50 at (191, 293)
AGREE_BOX = (28, 400)       # the agreement check box
LINK = (530, 400)           # 自定义安装
CLOSE = (556, 25)
EDIT = (100, 336)           # page 2 edit box
BROWSE = (519, 336)
BACK = (410, 396)           # 返回
POPUP_CARD = (421, 60)      # inside the first popup card, right of its text


class XcguiWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Program("bin/xcgui_host.exe").start()
        cls.win = cls.app.wait_window("Varnel安装", settle=1.0)

    @classmethod
    def tearDownClass(cls):
        cls.app.kill()

    def screenshot_when(self, name, ready, timeout=5.0):
        """A screenshot once ready(img) holds (a repaint may lag behind an
        input on a busy machine); the last one when it never does."""
        end = time.time() + timeout
        img = self.win.screenshot()
        while not ready(img) and time.time() < end:
            time.sleep(0.1)
            img = self.win.screenshot()
        if name:
            self.win.screenshot(name)
        return img

    def clicks(self, name):
        return self.app.output().count("click " + name + "\n")

    def test_1_start_page_looks_as_designed(self):
        img = self.win.screenshot("xcgui_page1")
        self.assertEqual(img.size, (582, 432))
        self.assertTrue(near(pixel(img, 30, 120), BLUE, 6), pixel(img, 30, 120))
        self.assertTrue(near(pixel(img, 211, 318), TEAL, 6), pixel(img, 211, 318))
        self.assertGreater(count_near(img, (250, 303, 82, 30), WHITE, 30), 40, "white button text")
        self.assertGreater(count_near(img, (15, 15, 160, 20), WHITE, 30), 40, "white title")
        self.assertGreater(count_near(img, (200, 60, 182, 140), WHITE, 30), 400, "header texts")
        self.assertGreater(count_near(img, (20, 388, 18, 25), TEAL, 40), 10, "ticked agreement box")
        self.assertEqual(count_near(img, (480, 388, 82, 25), TEAL, 40), 0, "link not hovered yet")
        self.assertTrue(near(pixel(img, 300, 420), WHITE, 2), "page background")
        around = self.win.screenshot("xcgui_page1_shadow", margin=10)
        outside, edge = pixel(around, 1, 200), pixel(around, 8, 200)  # 9 px and 2 px left of the content
        if outside[0] > 40:  # the shadow only shows on a light desktop
            self.assertLess(edge[0], outside[0] - 10, (edge, outside))

    def test_2_link_turns_teal_under_the_mouse(self):
        self.win.move(*LINK)
        img = self.screenshot_when("xcgui_link_hover", lambda i: count_near(i, (480, 388, 82, 25), TEAL, 40) > 10)
        self.assertGreater(count_near(img, (480, 388, 82, 25), TEAL, 40), 10)
        self.win.move(300, 150)
        time.sleep(0.3)

    def test_3_keyboard_press_with_agreement_unticked_pops_up(self):
        self.win.click(*AGREE_BOX)
        self.app.wait_output("click 按钮_用户协议")
        self.win.move(300, 150)
        img = self.screenshot_when("xcgui_unticked", lambda i: count_near(i, (20, 388, 18, 25), TEAL, 40) == 0)
        self.assertEqual(count_near(img, (20, 388, 18, 25), TEAL, 40), 0, "box unticked")

        self.win.key("shift+Tab")  # from the clicked check box back to 快速安装
        self.win.key("Return")
        self.app.wait_output("agree 0")
        self.assertEqual(self.clicks("按钮_快速安装"), 1)
        img = self.screenshot_when("xcgui_popup", lambda i: near(pixel(i, *POPUP_CARD), WHITE, 4))
        self.assertTrue(near(pixel(img, *POPUP_CARD), WHITE, 4), pixel(img, *POPUP_CARD))
        self.assertGreater(count_near(img, (141, 10, 300, 70), (0x21, 0xB5, 0x73), 30), 30, "success icon")
        time.sleep(3.0)  # closes by itself
        img = self.screenshot_when("xcgui_popup_gone", lambda i: near(pixel(i, *POPUP_CARD), BLUE, 6))
        self.assertTrue(near(pixel(img, *POPUP_CARD), BLUE, 6), pixel(img, *POPUP_CARD))
        self.win.click(*AGREE_BOX)  # ticked again

    def test_4_custom_page_edit_and_back(self):
        self.win.click(*LINK)
        self.app.wait_output("click 按钮_自定义安装")
        img = self.screenshot_when("xcgui_page2", lambda i: near(pixel(i, 470, 396), TEAL, 6))
        self.assertTrue(near(pixel(img, 30, 200), BLUE, 6))
        self.assertTrue(near(pixel(img, 470, 396), TEAL, 6), "立即安装 teal")
        self.assertTrue(near(pixel(img, 372, 396), (0xEB, 0xEB, 0xEB), 6), "返回 light grey")

        self.win.click(*BROWSE)  # four popups, one per skin
        self.app.wait_output("click 按钮_浏览")
        img = self.screenshot_when("xcgui_popups_stacked",
                                   lambda i: count_near(i, (141, 0, 300, 432), (0xE5, 0x48, 0x4D), 20) > 30)
        for skin in [(0x21, 0xB5, 0x73), (0xF5, 0xA6, 0x23), (0x3D, 0x8B, 0xFF), (0xE5, 0x48, 0x4D)]:
            self.assertGreater(count_near(img, (141, 0, 300, 432), skin, 20), 30, skin)

        self.win.click(*EDIT)
        self.win.key("ctrl+a", "BackSpace")
        self.win.type("D:\\游戏\\varnel")
        time.sleep(0.3)
        self.win.screenshot("xcgui_page2_typed")
        self.win.click(*BACK)
        out = self.app.wait_output("edit ")
        self.assertIn("edit D:\\游戏\\varnel\n", out)
        img = self.screenshot_when("xcgui_page1_edited", lambda i: near(pixel(i, 211, 318), TEAL, 6))
        self.assertTrue(near(pixel(img, 211, 318), TEAL, 6), "back on page 1")

    def test_5_click_fires_once_and_shows_progress(self):
        before = self.clicks("按钮_快速安装")
        self.win.click(*QUICK)
        self.app.wait_output("agree 1")
        time.sleep(0.3)
        self.assertEqual(self.clicks("按钮_快速安装"), before + 1)
        img = self.screenshot_when("xcgui_page3", lambda i: near(pixel(i, 100, 371), GREEN, 6))
        self.assertTrue(near(pixel(img, 100, 371), GREEN, 6), pixel(img, 100, 371))
        self.assertTrue(near(pixel(img, 500, 371), TRACK, 6), pixel(img, 500, 371))

    def test_6_close_button_ends_the_loop(self):
        self.win.click(*CLOSE)
        self.assertEqual(self.app.wait_exit(), 0)
        self.assertTrue(self.app.output().endswith("exit\n"), self.app.output())


if __name__ == "__main__":
    unittest.main(verbosity=2)
