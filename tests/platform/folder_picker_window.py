"""The folder picker under Wine on the X display: choosing a folder by typing
its path, and cancelling. Drives platform_helper.exe's "pick" mode, which
calls PickFolder and writes the chosen text (GBK bytes) to a file."""
import os
import subprocess
import time
import unittest

BUILD = os.environ["VARNEL_BUILD"]
HELPER = os.path.join(BUILD, "bin", "platform_helper.exe")
TITLE = "选择安装目录"
XDO_ENV = dict(os.environ, LC_ALL="C.UTF-8")


def xdotool(*args):
    return subprocess.run(["xdotool", *args], env=XDO_ENV, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True).stdout


def find_window(title, timeout=30):
    """Window id of a visible window with exactly this title (xdotool's own
    name search cannot match Chinese without the glibc locale)."""
    deadline = time.time() + timeout
    while time.time() < deadline:
        for wid in xdotool("search", "--onlyvisible", "--name", ".").split():
            if xdotool("getwindowname", wid).strip() == title:
                return wid
        time.sleep(0.25)
    return None


def screenshot(name):
    path = os.path.join(BUILD, "screenshots")
    os.makedirs(path, exist_ok=True)
    subprocess.run(["import", "-window", "root", os.path.join(path, name)],
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


class FolderPicker(unittest.TestCase):
    def start_picker(self, result_name, mode="pick", title=TITLE, extra=()):
        self.result = os.path.join(BUILD, result_name)
        if os.path.exists(self.result):
            os.remove(self.result)
        self.log = open(os.path.join(BUILD, result_name + ".log"), "wb")
        self.process = subprocess.Popen(["wine", HELPER, mode, "D:\\" + result_name, *extra],
                                        stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        self.addCleanup(self.stop_picker)
        wid = find_window(title)
        self.assertIsNotNone(wid, "the dialog titled %s did not appear" % title)
        time.sleep(1.0)  # let the dialog take the keyboard focus
        return wid

    def stop_picker(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.log.close()
        xdotool("keyup", "Escape", "Return")

    def picked(self):
        self.assertEqual(self.process.wait(timeout=60), 0)
        with open(self.result, "rb") as f:
            return f.read()

    def test_typed_folder_is_returned_without_trailing_backslash(self):
        target = os.path.join(BUILD, "picktarget")
        os.makedirs(target, exist_ok=True)
        wid = self.start_picker("pick-choose.bin")
        xdotool("mousemove", "--window", wid, "200", "10")
        xdotool("type", "--delay", "40", "D:\\picktarget")
        screenshot("folder-picker-typed.png")
        xdotool("key", "Return")
        # Wine may open the typed folder first; a second Return then takes it.
        for _ in range(20):
            if self.process.poll() is not None:
                break
            time.sleep(0.25)
        if self.process.poll() is None:
            xdotool("key", "Return")
        self.assertEqual(self.picked(), b"D:\\picktarget")

    def test_drive_root_comes_back_with_its_backslash(self):
        wid = self.start_picker("pick-root.bin")
        xdotool("mousemove", "--window", wid, "200", "10")
        xdotool("type", "--delay", "40", "D:\\")
        xdotool("key", "Return")
        for _ in range(20):
            if self.process.poll() is not None:
                break
            time.sleep(0.25)
        if self.process.poll() is None:
            xdotool("key", "Return")
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
        wid = self.start_picker("dialog-%s.txt" % mode, mode, title, ["D:\\dialogstart"])
        screenshot("file-dialog-%s.png" % mode)
        xdotool("mousemove", "--window", wid, "200", "10")
        xdotool("type", "--delay", "40", name)  # relative: lands in the start folder
        xdotool("key", "Return")
        self.assertEqual(self.process.wait(timeout=60), 0)
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
