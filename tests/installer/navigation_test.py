"""Moving between the pages, and the checks that stop an install before it
starts."""
import os

from accessible import CHECKED
from common import InstallerTest, main
from installer import (AGREEMENT, BACK, CUSTOM_INSTALL, INSTALL_NOW, QUICK_INSTALL, alerts, installed_exactly, page,
                       popup_kind, replace_edit_text, unix_path, wait_page)


class Navigation(InstallerTest):
    extra_folders = ("D:\\wt_nav", "D:\\my dir", "D:\\tools-x")

    def test_custom_page_back_and_edited_folder_reaches_quick_install(self):
        app, win = self.start()
        self.assertIn("D:\\varnel", win.tree(), "the proposed folder")
        win.click_on(CUSTOM_INSTALL)
        wait_page(win, 2, name="page2")
        replace_edit_text(win, "D:\\wt_nav")
        win.click_on(BACK)
        tree = wait_page(win, 1, name="page1-edited")
        self.assertIn("D:\\wt_nav", tree, "the first page shows the edited folder")
        self.assertNotIn("D:\\varnel", tree)
        win.click_on(QUICK_INSTALL)
        wait_page(win, 4, timeout=30)
        self.assertTrue(installed_exactly(unix_path("D:\\wt_nav\\varnel")))

    def test_without_agreement_nothing_installs_and_a_notice_pops_up(self):
        app, win = self.start()
        win.click_on(AGREEMENT)
        win.wait(lambda t: not t[AGREEMENT].state & CHECKED, what="the agreement unticked")
        win.click_on(QUICK_INSTALL)
        tree = win.wait(lambda t: alerts(t), what="a notice")
        self.assertEqual(alerts(tree), ["同意用户协议方可继续安装。"])
        self.assertEqual(page(tree), 1)
        img = win.screenshot_when(lambda i: popup_kind(i) is not None, name="agreement-popup")
        self.assertEqual(popup_kind(img), "success")  # the agreement notice uses the success skin
        # The click has been answered: nothing was begun.
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))

    def test_invalid_locations_land_on_the_custom_page(self):
        app, win = self.start()
        for location in ("varnel", "1:\\x", "C:x", ""):
            if page(win.tree()) != 2:
                win.click_on(CUSTOM_INSTALL)
                wait_page(win, 2)
            replace_edit_text(win, location)
            win.click_on(BACK)
            wait_page(win, 1)
            win.click_on(QUICK_INSTALL)  # the quick install lands on page 2 with the warning
            win.wait(lambda t: page(t) == 2 and "安装位置无效。" in alerts(t), what="the warning on page 2")
            img = win.screenshot_when(lambda i: popup_kind(i) == "warning", name="invalid-location-popup")
            self.assertEqual(popup_kind(img), "warning", location)
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))

    def test_blank_or_hyphen_is_refused_with_the_error_box(self):
        app, win = self.start()
        win.click_on(CUSTOM_INSTALL)
        wait_page(win, 2)
        for location in ("D:\\my dir", "D:\\tools-x"):
            replace_edit_text(win, location)
            win.click_on(INSTALL_NOW)
            box = app.wait_window("异常", timeout=15, settle=0.5)
            box.screenshot("special-characters-box")
            self.answer(app, "异常", "Return")
            self.assertEqual(page(win.tree()), 2)
            self.assertFalse(os.path.exists(unix_path(location)))
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))


if __name__ == "__main__":
    main()
