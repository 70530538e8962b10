"""The installer's browse button on the custom-install page, through Wine's
real folder dialog: cancelling leaves the edit box as it was; choosing a
folder puts <folder>\\varnel into it, which the install then uses."""
import os
import shutil
import unittest

from accessible import ReadWindow, ScreenReader
from harness import BUILD, Program, xdotool
from installer import BROWSE, CUSTOM_INSTALL, INSTALL_NOW, LINK, RECORD, TITLE, edit_box, wait_page
from shell_link import read_link

PICKER = "选择安装目录"


class Browse(unittest.TestCase):
    def setUp(self):
        self.saved = {}
        for path in (RECORD, LINK):
            if os.path.exists(path):
                with open(path, "rb") as f:
                    self.saved[path] = f.read()
                os.remove(path)
        self.target = os.path.join(BUILD, "browsepick")
        shutil.rmtree(self.target, ignore_errors=True)
        os.makedirs(self.target)
        self.app = Program("bin/VarnelSetup.exe", name="browse-window").start()
        self.reader = ScreenReader(TITLE)
        self.win = ReadWindow(self.app.wait_window(TITLE, timeout=40, settle=0), self.reader)

    def tearDown(self):
        self.reader.kill()
        self.app.kill()
        xdotool("keyup", "Escape", "Return", check=False)
        for path in (RECORD, LINK):
            if os.path.exists(path):
                os.remove(path)
            if path in self.saved:
                with open(path, "wb") as f:
                    f.write(self.saved[path])
        shutil.rmtree(self.target, ignore_errors=True)

    def open_dialog(self):
        self.win.click_on(BROWSE)
        dialog = self.app.wait_window(PICKER, timeout=30, settle=1.0)
        xdotool("mousemove", "--window", dialog.id, 200, 10)
        return dialog

    def wait_dialog_closed(self, dialog):
        return self.app.wait_gone(dialog, timeout=4)

    def test_cancel_keeps_and_choice_sets_the_install_directory(self):
        self.win.click_on(CUSTOM_INSTALL)
        before = edit_box(wait_page(self.win, 2, name="browse-before")).value
        self.assertEqual(before, "D:\\varnel")

        dialog = self.open_dialog()
        xdotool("key", "Escape")
        self.assertTrue(self.wait_dialog_closed(dialog))
        # The picker is modal: once it is gone, its answer has been handled.
        self.assertEqual(edit_box(self.win.tree()).value, before, "cancelling changed the edit box")

        dialog = self.open_dialog()
        xdotool("type", "--delay", 40, "D:\\browsepick")
        xdotool("key", "Return")
        if not self.wait_dialog_closed(dialog):
            xdotool("key", "Return")  # Wine may open the typed folder first
            self.assertTrue(self.wait_dialog_closed(dialog))
        self.win.wait(lambda t: edit_box(t).value == "D:\\browsepick\\varnel", 10, "the choice in the edit box")
        self.win.screenshot("browse-chosen")

        # The install takes the directory from the edit box.
        self.win.click_on(INSTALL_NOW)
        wait_page(self.win, 4, timeout=60)
        with open(RECORD, "rb") as f:
            self.assertEqual(f.read(), b"D:\\browsepick\\varnel")
        self.assertTrue(os.path.isdir(os.path.join(self.target, "varnel")))

        # The desktop link (its box is ticked), read on the Linux side.
        link = read_link(LINK)
        self.assertEqual(link.get("description"), "Varnel")
        self.assertEqual(link.get("working_dir"), "D:\\browsepick\\varnel")
        self.assertEqual(link["show"], 1)
        self.assertEqual(link["hotkey"], 0)
        self.assertNotIn("arguments", link)
        self.assertNotIn("icon", link)
        self.assertEqual(link.get("base_path", "").lower(), "d:\\browsepick\\varnel\\varnel.exe")


if __name__ == "__main__":
    unittest.main()
