"""The folder picker under Wine on the X display: choosing a folder by typing
its path, and cancelling. Drives platform_helper.exe's "pick" mode, which
calls PickFolder and writes the chosen text (GBK bytes) to a file."""
import os
import time
import unittest

from harness import BUILD, Program, screenshot, xdotool

TITLE = "选择安装目录"


class FolderPicker(unittest.TestCase):
    def start_picker(self, result_name, mode="pick", title=TITLE, extra=()):
        self.result = os.path.join(BUILD, result_name)
        if os.path.exists(self.result):
            os.remove(self.result)
        self.app = Program("bin/platform_helper.exe", mode, "D:\\" + result_name, *extra, name=result_name).start()
        self.addCleanup(self.app.kill)
        dialog = self.app.wait_window(title, timeout=30, settle=1.0)  # the dialog takes the keyboard focus
        xdotool("mousemove", "--window", dialog.id, 200, 10)
        return dialog

    def picked(self):
        self.assertEqual(self.app.wait_exit(timeout=60), 0)
        with open(self.result, "rb") as f:
            return f.read()

    def type_and_take(self, path):
        xdotool("type", "--delay", 40, path)
        xdotool("key", "Return")
        # Wine may open the typed folder first; a second Return then takes it.
        for _ in range(20):
            if self.app.proc.poll() is not None:
                return
            time.sleep(0.25)
        xdotool("key", "Return")

    def test_typed_folder_is_returned_without_trailing_backslash(self):
        os.makedirs(os.path.join(BUILD, "picktarget"), exist_ok=True)
        self.start_picker("pick-choose.bin")
        screenshot("folder-picker-typed")
        self.type_and_take("D:\\picktarget")
        self.assertEqual(self.picked(), b"D:\\picktarget")

    def test_drive_root_comes_back_with_its_backslash(self):
        self.start_picker("pick-root.bin")
        self.type_and_take("D:\\")
        self.assertEqual(self.picked(), b"D:\\")

    def test_escape_cancels_with_empty_text(self):
        self.start_picker("pick-cancel.bin")
        xdotool("key", "Escape")
        self.assertEqual(self.picked(), b"")

    def general_dialog(self, mode, title, name):
        folder = os.path.join(BUILD, "dialogstart")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, "a.txt"), "w") as f:
            f.write("a")
        self.start_picker("dialog-%s.txt" % mode, mode, title, ["D:\\dialogstart"])
        screenshot("file-dialog-%s" % mode)
        xdotool("type", "--delay", 40, name)  # relative: lands in the start folder
        xdotool("key", "Return")
        self.assertEqual(self.app.wait_exit(timeout=60), 0)
        with open(self.result, encoding="utf-8") as f:
            return f.read().split("\n")

    def test_open_dialog_with_start_folder_filters_and_encoding_box(self):
        lines = self.general_dialog("open", "varnel open test", "a.txt")
        self.assertEqual(lines[0], "1")
        self.assertEqual(lines[1], "D:\\dialogstart\\a.txt")
        self.assertEqual(lines[2], "3")  # the encoding chosen at the start

    def test_save_dialog_returns_the_new_name(self):
        lines = self.general_dialog("save", "varnel save test", "new.txt")
        self.assertEqual(lines[0], "1")
        self.assertEqual(lines[1], "D:\\dialogstart\\new.txt")
        self.assertEqual(lines[2], "3")


if __name__ == "__main__":
    unittest.main()
