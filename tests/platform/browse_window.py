"""The installer's browse button on the custom-install page, through Wine's
real folder dialog: cancelling leaves the edit box as it was; choosing a
folder puts <folder>\\varnel into it, which the install then uses."""
import os
import subprocess
import time
import unittest

from shell_link import read_link  # tests/window is on PYTHONPATH

BUILD = os.environ["VARNEL_BUILD"]
SETUP = os.path.join(BUILD, "bin", "VarnelSetup.exe")
XDO_ENV = dict(os.environ, LC_ALL="C.UTF-8")
USER = os.path.join(BUILD, "wineprefix", "drive_c", "users", os.environ.get("USER") or "root")
RECORD = os.path.join(USER, "Documents", "varnel_install_path.txt")
LINK = os.path.join(USER, "Desktop", "Varnel.lnk")

# Window-relative points of the layout (the window is 582 x 432 without its shadow).
CUSTOM_LINK = (528, 401)
BROWSE = (519, 336)
INSTALL = (508, 396)
EDIT_BOX = (25, 320, 450, 24)  # x, y, w, h


def xdotool(*args):
    return subprocess.run(["xdotool", *map(str, args)], env=XDO_ENV, stdin=subprocess.DEVNULL,
                          capture_output=True, text=True).stdout


def find_window(title, timeout=30):
    deadline = time.time() + timeout
    while time.time() < deadline:
        for wid in xdotool("search", "--onlyvisible", "--name", ".").split():
            if xdotool("getwindowname", wid).strip() == title:
                return wid
        time.sleep(0.25)
    return None


def window_origin(wid):
    values = dict(line.split("=", 1) for line in xdotool("getwindowgeometry", "--shell", wid).split() if "=" in line)
    return int(values["X"]), int(values["Y"])


def grab(name, box=None):
    """Screenshot (PNG bytes) of the screen or of box = (x, y, w, h)."""
    os.makedirs(os.path.join(BUILD, "screenshots"), exist_ok=True)
    path = os.path.join(BUILD, "screenshots", name + ".png")
    args = ["import", "-window", "root"]
    if box:
        args += ["-crop", "%dx%d+%d+%d" % (box[2], box[3], box[0], box[1])]
    subprocess.run(args + [path], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    rgb = subprocess.run(["convert", path, "rgb:-"], stdin=subprocess.DEVNULL, capture_output=True).stdout
    return rgb


class Browse(unittest.TestCase):
    def setUp(self):
        self.saved = {}
        for path in (RECORD, LINK):
            if os.path.exists(path):
                with open(path, "rb") as f:
                    self.saved[path] = f.read()
                os.remove(path)
        self.target = os.path.join(BUILD, "browsepick")
        subprocess.run(["rm", "-rf", self.target])
        os.makedirs(self.target)
        self.log = open(os.path.join(BUILD, "browse-window.log"), "wb")
        self.process = subprocess.Popen(["wine", SETUP], cwd=os.path.dirname(SETUP), stdin=subprocess.DEVNULL,
                                        stdout=self.log, stderr=self.log)
        self.window = find_window("Varnel安装")
        self.assertIsNotNone(self.window)
        time.sleep(1.5)
        self.origin = window_origin(self.window)

    def tearDown(self):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait()
        self.log.close()
        xdotool("keyup", "Escape", "Return")
        for path in (RECORD, LINK):
            if os.path.exists(path):
                os.remove(path)
            if path in self.saved:
                with open(path, "wb") as f:
                    f.write(self.saved[path])
        subprocess.run(["rm", "-rf", self.target])

    def click(self, point):
        x, y = self.origin[0] + point[0], self.origin[1] + point[1]
        xdotool("mousemove", "--sync", x, y)
        time.sleep(0.1)
        xdotool("mousedown", 1)
        time.sleep(0.05)
        xdotool("mouseup", 1)
        time.sleep(0.5)

    def edit_box(self, name):
        x, y, w, h = EDIT_BOX
        return grab(name, (self.origin[0] + x, self.origin[1] + y, w, h))

    def open_dialog(self):
        self.click(BROWSE)
        dialog = find_window("选择安装目录")
        self.assertIsNotNone(dialog, "the browse button opened no folder dialog")
        time.sleep(1.0)
        return dialog

    def wait_dialog_closed(self):
        for _ in range(40):
            if find_window("选择安装目录", timeout=0.1) is None:
                return True
        return False

    def test_cancel_keeps_and_choice_sets_the_install_directory(self):
        self.click(CUSTOM_LINK)
        before = self.edit_box("browse-before")

        self.open_dialog()
        xdotool("key", "Escape")
        self.assertTrue(self.wait_dialog_closed())
        time.sleep(0.5)
        self.assertEqual(self.edit_box("browse-cancelled"), before, "cancelling changed the edit box")

        dialog = self.open_dialog()
        xdotool("mousemove", "--window", dialog, 200, 10)
        xdotool("type", "--delay", "40", "D:\\browsepick")
        xdotool("key", "Return")
        if not self.wait_dialog_closed():
            xdotool("key", "Return")  # Wine may open the typed folder first
            self.assertTrue(self.wait_dialog_closed())
        time.sleep(0.5)
        self.assertNotEqual(self.edit_box("browse-chosen"), before, "the choice did not reach the edit box")
        grab("browse-page2-after-choice")

        # The install takes the directory from the edit box.
        self.click(INSTALL)
        installed = os.path.join(self.target, "varnel")
        deadline = time.time() + 120
        while time.time() < deadline and not os.path.exists(RECORD):
            time.sleep(0.5)
        with open(RECORD, "rb") as f:
            self.assertEqual(f.read(), b"D:\\browsepick\\varnel")
        self.assertTrue(os.path.isdir(installed))

        # The desktop link (its box is ticked), read on the Linux side.
        link = read_link(LINK)
        print("desktop link:", link)
        self.assertEqual(link.get("description"), "Varnel")
        self.assertEqual(link.get("working_dir"), "D:\\browsepick\\varnel")
        self.assertEqual(link["show"], 1)
        self.assertEqual(link["hotkey"], 0)
        self.assertNotIn("arguments", link)
        self.assertNotIn("icon", link)
        if "base_path" in link:
            self.assertEqual(link["base_path"].lower(), "d:\\browsepick\\varnel\\varnel.exe")


if __name__ == "__main__":
    unittest.main()
