"""Window test of our XCGUI.dll: the real UI package drawn by xcgui_host.exe,
clicked and typed into like a user would, its elements found by the names a
screen reader reads. Screenshots: $VARNEL_BUILD/screenshots/xcgui_*.png
"""
import unittest

from accessible import (CHECKED, FOCUSABLE, ROLE_ALERT, ROLE_BUTTON, ROLE_CHECK, ROLE_CLIENT, ROLE_LINK,
                        ROLE_PROGRESS, ROLE_STATIC, ROLE_TEXT, ReadWindow, ScreenReader, walk)
from harness import Program, count_near, near, pixel

BLUE = (0x50, 0x8A, 0xFF)
TEAL = (0x20, 0xD5, 0xB8)
WHITE = (255, 255, 255)
GREEN = (0x00, 0xCC, 0x65)
TRACK = (0xD2, 0xD2, 0xD2)

AGREE = "同意Varnel的用户协议"
LINK = "自定义安装"
# Window-relative places of what the pictures are checked for (content 582 x 432).
QUICK = (211, 318)          # inside 快速安装, 200 x 50 at (191, 293)
AGREE_BOX = (20, 388, 18, 25)
LINK_BOX = (480, 388, 82, 25)
POPUP_CARD = (421, 60)      # inside the first popup card, right of its text
POPUPS = (141, 0, 300, 432)


def edit_box(tree):
    return tree.of_role(ROLE_TEXT)[0][1]


class XcguiWindow(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.app = Program("bin/xcgui_host.exe").start()
        cls.reader = ScreenReader("Varnel安装")
        cls.win = ReadWindow(cls.app.wait_window("Varnel安装", settle=0), cls.reader)
        cls.win.element(AGREE)

    @classmethod
    def tearDownClass(cls):
        cls.reader.kill()
        cls.app.kill()

    def clicks(self, name):
        return self.app.output().count("click " + name + "\n")

    def test_1_start_page_looks_as_designed(self):
        img = self.win.screenshot_when(lambda i: near(pixel(i, *QUICK), TEAL, 6), name="xcgui_page1")
        self.assertEqual(img.size, (582, 432))
        self.assertTrue(near(pixel(img, 30, 120), BLUE, 6), pixel(img, 30, 120))
        self.assertTrue(near(pixel(img, *QUICK), TEAL, 6), pixel(img, *QUICK))
        self.assertGreater(count_near(img, (250, 303, 82, 30), WHITE, 30), 40, "white button text")
        self.assertGreater(count_near(img, (15, 15, 160, 20), WHITE, 30), 40, "white title")
        self.assertGreater(count_near(img, (200, 60, 182, 140), WHITE, 30), 400, "header texts")
        self.assertGreater(count_near(img, AGREE_BOX, TEAL, 40), 10, "ticked agreement box")
        self.assertEqual(count_near(img, LINK_BOX, TEAL, 40), 0, "link not hovered yet")
        self.assertTrue(near(pixel(img, 300, 420), WHITE, 2), "page background")
        around = self.win.screenshot("xcgui_page1_shadow", margin=10)
        outside, edge = pixel(around, 1, 200), pixel(around, 8, 200)  # 9 px and 2 px left of the content
        if outside[0] > 40:  # the shadow only shows on a light desktop
            self.assertLess(edge[0], outside[0] - 10, (edge, outside))

    def test_1a_screen_reader_reads_page_1(self):
        tree = self.win.tree()
        self.assertIn("client\t%d\tVarnel安装" % ROLE_CLIENT, tree.lines)
        self.assertEqual(tree["关闭"].role, ROLE_BUTTON)
        self.assertEqual(tree["快速安装"].role, ROLE_BUTTON)
        self.assertEqual(tree["快速安装"].action, "按下")
        self.assertEqual(tree[AGREE].role, ROLE_CHECK)
        self.assertTrue(tree[AGREE].state & CHECKED and tree[AGREE].state & FOCUSABLE, hex(tree[AGREE].state))
        self.assertEqual(tree[LINK].role, ROLE_LINK)
        self.assertEqual(tree["VARNEL"].role, ROLE_STATIC)
        self.assertEqual(tree["Varnel - 安装程序(20241118)"].role, ROLE_STATIC)
        self.assertEqual(tree["C:\\varnel"].role, ROLE_STATIC)
        self.assertNotIn("返回", tree, "hidden pages are not exposed")
        self.assertNotIn("浏览", tree)
        # A press by the screen reader, and the change it is told of.
        out = walk("--do", AGREE, "--events", "1500").lines
        self.assertIn("event 800a %s\n" % AGREE, out)  # state change
        self.win.wait(lambda t: not t[AGREE].state & CHECKED, what="the box unticked")
        self.reader.press(AGREE)
        self.win.wait(lambda t: t[AGREE].state & CHECKED, what="the box ticked again")

    def test_2_link_turns_teal_under_the_mouse(self):
        self.win.hover(LINK)
        img = self.win.screenshot_when(lambda i: count_near(i, LINK_BOX, TEAL, 40) > 10, name="xcgui_link_hover")
        self.assertGreater(count_near(img, LINK_BOX, TEAL, 40), 10)
        self.win.away()
        self.win.screenshot_when(lambda i: count_near(i, LINK_BOX, TEAL, 40) == 0)

    def test_3_keyboard_press_with_agreement_unticked_pops_up(self):
        self.win.click_on(AGREE)
        self.app.wait_output("click 按钮_用户协议")
        self.win.away()
        self.win.wait(lambda t: not t[AGREE].state & CHECKED, what="the box unticked")
        img = self.win.screenshot_when(lambda i: count_near(i, AGREE_BOX, TEAL, 40) == 0, name="xcgui_unticked")
        self.assertEqual(count_near(img, AGREE_BOX, TEAL, 40), 0, "box drawn unticked")

        self.win.key("shift+Tab")  # from the clicked check box back to 快速安装
        self.win.key("Return")
        self.app.wait_output("agree 0")
        self.assertEqual(self.clicks("按钮_快速安装"), 1)
        tree = self.win.wait(lambda t: t.of_role(ROLE_ALERT), what="the notice")
        self.assertEqual([(name, c.description) for name, c in tree.of_role(ROLE_ALERT)],
                         [("同意用户协议方可继续安装。", "通知")])
        img = self.win.screenshot_when(lambda i: near(pixel(i, *POPUP_CARD), WHITE, 4), name="xcgui_popup")
        self.assertTrue(near(pixel(img, *POPUP_CARD), WHITE, 4), pixel(img, *POPUP_CARD))
        self.assertGreater(count_near(img, (141, 10, 300, 70), (0x21, 0xB5, 0x73), 30), 30, "success icon")
        self.win.wait(lambda t: not t.of_role(ROLE_ALERT), 6, "the notice to close by itself")
        img = self.win.screenshot_when(lambda i: near(pixel(i, *POPUP_CARD), BLUE, 6), name="xcgui_popup_gone")
        self.assertTrue(near(pixel(img, *POPUP_CARD), BLUE, 6), pixel(img, *POPUP_CARD))
        self.win.click_on(AGREE)
        self.win.wait(lambda t: t[AGREE].state & CHECKED, what="the box ticked again")

    def test_4_custom_page_edit_and_back(self):
        self.win.click_on(LINK)
        self.app.wait_output("click 按钮_自定义安装")
        tree = self.win.wait(lambda t: "立即安装" in t, what="page 2")
        img = self.win.screenshot_when(lambda i: near(pixel(i, 470, 396), TEAL, 6), name="xcgui_page2")
        self.assertTrue(near(pixel(img, 30, 200), BLUE, 6))
        self.assertTrue(near(pixel(img, 470, 396), TEAL, 6), "立即安装 teal")
        self.assertTrue(near(pixel(img, 372, 396), (0xEB, 0xEB, 0xEB), 6), "返回 light grey")
        self.assertEqual(tree["安装位置："].role, ROLE_STATIC)
        self.assertEqual((edit_box(tree).value, tree.of_role(ROLE_TEXT)[0][0]), ("C:\\varnel", "安装位置："),
                         "the edit box, named by the label above it")
        self.assertEqual(tree["浏览"].role, ROLE_BUTTON)
        self.assertEqual(tree["创建桌面图标"].role, ROLE_CHECK)

        out = walk("--do", "浏览", "--events", "2000").lines  # four popups, one per skin
        self.app.wait_output("click 按钮_浏览")
        for text in ["安装成功。", "安装位置无效。", "这是一条信息。", "出现错误。"]:
            self.assertIn("event 2 %s\n" % text, out)  # alerts
        img = self.win.screenshot_when(lambda i: count_near(i, POPUPS, (0xE5, 0x48, 0x4D), 20) > 30,
                                       name="xcgui_popups_stacked")
        for skin in [(0x21, 0xB5, 0x73), (0xF5, 0xA6, 0x23), (0x3D, 0x8B, 0xFF), (0xE5, 0x48, 0x4D)]:
            self.assertGreater(count_near(img, POPUPS, skin, 20), 30, skin)

        self.win.type_over(edit_box, "D:\\游戏\\varnel")
        self.win.screenshot("xcgui_page2_typed")
        self.win.click_on("返回")
        out = self.app.wait_output("edit ")
        self.assertIn("edit D:\\游戏\\varnel\n", out)
        tree = self.win.wait(lambda t: "快速安装" in t, what="page 1")
        self.assertIn("D:\\游戏\\varnel", tree, "the label shows the edit")

    def test_5_default_action_fires_once_and_shows_progress(self):
        before = self.clicks("按钮_快速安装")
        self.reader.press("快速安装")
        self.app.wait_output("agree 1")
        tree = self.win.wait(lambda t: t.of_role(ROLE_PROGRESS), what="the progress page")
        self.assertEqual(self.clicks("按钮_快速安装"), before + 1)
        self.assertEqual(tree["正在安装: varnel.exe"].role, ROLE_STATIC)
        self.assertEqual([c.value for _, c in tree.of_role(ROLE_PROGRESS)], ["40%"])
        self.assertNotIn("快速安装", tree)
        img = self.win.screenshot_when(lambda i: near(pixel(i, 100, 371), GREEN, 6), name="xcgui_page3")
        self.assertTrue(near(pixel(img, 100, 371), GREEN, 6), pixel(img, 100, 371))
        self.assertTrue(near(pixel(img, 500, 371), TRACK, 6), pixel(img, 500, 371))

    def test_6_close_button_ends_the_loop(self):
        self.win.click_on("关闭")
        self.assertEqual(self.app.wait_exit(), 0)
        self.assertTrue(self.app.output().endswith("exit\n"), self.app.output())


if __name__ == "__main__":
    unittest.main(verbosity=2)
