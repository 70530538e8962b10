"""Window test of our XCGUI.dll: the real UI package drawn by xcgui_host.exe,
clicked and typed into like a user would. Screenshots: $VARNEL_BUILD/screenshots/xcgui_*.png
"""
import time
import unittest

from accessible import CHECKED, FOCUSABLE, ROLE_BUTTON, ROLE_CHECK, ROLE_CLIENT, ROLE_LINK, ROLE_PROGRESS, ROLE_STATIC, ROLE_TEXT, walk
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

    def test_1a_screen_reader_reads_page_1(self):
        children, out = walk()
        self.assertIn("client\t%d\tVarnel安装" % ROLE_CLIENT, out)
        self.assertEqual(children["关闭"][0], ROLE_BUTTON)
        self.assertEqual(children["快速安装"][0], ROLE_BUTTON)
        self.assertEqual(children["快速安装"][3], "按下")
        role, _, state, _ = children["同意Varnel的用户协议"]
        self.assertEqual(role, ROLE_CHECK)
        self.assertTrue(state & CHECKED and state & FOCUSABLE, hex(state))
        self.assertEqual(children["自定义安装"][0], ROLE_LINK)
        self.assertEqual(children["VARNEL"][0], ROLE_STATIC)
        self.assertEqual(children["Varnel - 安装程序(20241118)"][0], ROLE_STATIC)
        self.assertEqual(children["C:\\varnel"][0], ROLE_STATIC)
        self.assertNotIn("返回", children, "hidden pages are not exposed")
        self.assertNotIn("浏览", children)
        # A press by the screen reader, and the change it is told of.
        _, out = walk("--do", "同意Varnel的用户协议", "--events", "1500")
        self.assertIn("event 800a 同意Varnel的用户协议\n", out)  # state change
        self.assertFalse(walk()[0]["同意Varnel的用户协议"][2] & CHECKED)
        walk("--do", "同意Varnel的用户协议")
        self.assertTrue(walk()[0]["同意Varnel的用户协议"][2] & CHECKED)

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

        _, out = walk("--do", "浏览", "--events", "2000")  # four popups, one per skin
        self.app.wait_output("click 按钮_浏览")
        for text in ["安装成功。", "安装位置无效。", "这是一条信息。", "出现错误。"]:
            self.assertIn("event 2 %s\n" % text, out)  # alerts
        img = self.screenshot_when("xcgui_popups_stacked",
                                   lambda i: count_near(i, (141, 0, 300, 432), (0xE5, 0x48, 0x4D), 20) > 30)
        for skin in [(0x21, 0xB5, 0x73), (0xF5, 0xA6, 0x23), (0x3D, 0x8B, 0xFF), (0xE5, 0x48, 0x4D)]:
            self.assertGreater(count_near(img, (141, 0, 300, 432), skin, 20), 30, skin)

        children, out = walk()
        self.assertEqual(children["安装位置："][0], ROLE_STATIC)
        self.assertIn("child\t%d\t安装位置：\tC:\\varnel\t" % ROLE_TEXT, out, "the edit box, named by the label above it")
        self.assertEqual(children["浏览"][0], ROLE_BUTTON)
        self.assertEqual(children["创建桌面图标"][0], ROLE_CHECK)

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

    def test_5_default_action_fires_once_and_shows_progress(self):
        before = self.clicks("按钮_快速安装")
        _, out = walk("--do", "快速安装")  # a screen reader's press
        self.assertIn("done 0\n", out)
        self.app.wait_output("agree 1")
        time.sleep(0.3)
        self.assertEqual(self.clicks("按钮_快速安装"), before + 1)
        img = self.screenshot_when("xcgui_page3", lambda i: near(pixel(i, 100, 371), GREEN, 6))
        self.assertTrue(near(pixel(img, 100, 371), GREEN, 6), pixel(img, 100, 371))
        self.assertTrue(near(pixel(img, 500, 371), TRACK, 6), pixel(img, 500, 371))
        children, _ = walk()
        self.assertEqual(children["正在安装: varnel.exe"][0], ROLE_STATIC)
        bars = [c for c in children.values() if c[0] == ROLE_PROGRESS]
        self.assertEqual([b[1] for b in bars], ["40%"])
        self.assertNotIn("快速安装", children)

    def test_6_close_button_ends_the_loop(self):
        self.win.click(*CLOSE)
        self.assertEqual(self.app.wait_exit(), 0)
        self.assertTrue(self.app.output().endswith("exit\n"), self.app.output())


if __name__ == "__main__":
    unittest.main(verbosity=2)
