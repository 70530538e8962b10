"""Moving between the pages, and the checks that stop an install before it
starts."""
import os
import time

from common import InstallerTest, main
from harness import count_near
from installer import (AGREEMENT, BACK, CUSTOM_INSTALL, INSTALL_NOW, QUICK_INSTALL, TEAL, installed_exactly, page,
                       popup_kind, replace_edit_text, unix_path, wait_for, wait_page)


class Navigation(InstallerTest):
    extra_folders = ("D:\\wt_nav", "D:\\my dir", "D:\\tools-x")

    def test_custom_page_back_and_edited_folder_reaches_quick_install(self):
        app, win = self.start()
        label_before = win.screenshot().crop((150, 355, 430, 380))
        win.click(*CUSTOM_INSTALL)
        wait_page(win, 2, name="page2")
        replace_edit_text(win, "D:\\wt_nav")
        win.click(*BACK)
        wait_page(win, 1)
        label_after = win.screenshot("page1-edited").crop((150, 355, 430, 380))
        self.assertNotEqual(list(label_before.getdata()), list(label_after.getdata()), "label shows the edit")
        win.click(*QUICK_INSTALL)
        wait_page(win, 4, timeout=30)
        self.assertTrue(installed_exactly(unix_path("D:\\wt_nav\\varnel")))

    def test_without_agreement_nothing_installs_and_a_notice_pops_up(self):
        app, win = self.start()
        before = win.screenshot()
        win.click(*AGREEMENT)
        unticked = wait_for(win, lambda i: count_near(i, (20, 388, 18, 25), TEAL, 40) == 0)
        win.click(*QUICK_INSTALL)
        img = wait_for(win, lambda i: popup_kind(i) is not None, name="agreement-popup")
        self.assertEqual(page(img), 1)
        self.assertIsNone(popup_kind(unticked))
        self.assertEqual(popup_kind(img), "success")  # the agreement notice uses the success skin
        self.assertNotEqual(list(before.getdata()), list(unticked.getdata()))
        time.sleep(1.5)
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))

    def test_invalid_locations_land_on_the_custom_page(self):
        app, win = self.start()
        for location in ("varnel", "1:\\x", "C:x", ""):
            if page(win.screenshot()) != 2:
                win.click(*CUSTOM_INSTALL)
                wait_page(win, 2)
            replace_edit_text(win, location)
            win.click(*BACK)
            wait_page(win, 1)
            win.click(*QUICK_INSTALL)  # the quick install lands on page 2 with the warning
            wait_page(win, 2)
            img = wait_for(win, lambda i: popup_kind(i) == "warning", name="invalid-location-popup")
            self.assertEqual(popup_kind(img), "warning", location)
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))

    def test_blank_or_hyphen_is_refused_with_the_error_box(self):
        app, win = self.start()
        win.click(*CUSTOM_INSTALL)
        wait_page(win, 2)
        for location in ("D:\\my dir", "D:\\tools-x"):
            replace_edit_text(win, location)
            win.click(*INSTALL_NOW)
            box = app.wait_window("异常", timeout=15, settle=0.5)
            box.screenshot("special-characters-box")
            self.answer(app, "异常", "Return")
            self.assertEqual(page(win.screenshot()), 2)
            self.assertFalse(os.path.exists(unix_path(location)))
        self.assertFalse(os.path.exists(unix_path("D:\\varnel")))


if __name__ == "__main__":
    main()
