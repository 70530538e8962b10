"""Shared set-up for the installer window tests."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "window"))

from accessible import ReadWindow, ScreenReader  # noqa: E402
from harness import xdotool  # noqa: E402
from installer import TITLE, clean_state, end_varnel_processes, fresh_installer  # noqa: E402


class InstallerTest(unittest.TestCase):
    """Each test starts from no record, no link and no D:\\varnel."""

    extra_folders = ()

    def setUp(self):
        end_varnel_processes()
        clean_state(*self.extra_folders)
        self.apps = []
        self.reader = None

    def tearDown(self):
        for app in self.apps:
            app.kill()
        end_varnel_processes()

    def start(self, name=None, source=None):
        """A fresh copy of the installer (or of the one at source) started,
        and its window once a screen reader reads its elements."""
        app = fresh_installer(name or self.id().split(".")[-1], source)
        self.apps.append(app)
        app.start()
        return app, self.read(app.wait_window(TITLE, timeout=60, settle=0))

    def read(self, window):
        """The window, driven through a screen reader of its own."""
        if self.reader is None:
            self.reader = ScreenReader(TITLE)
            self.apps.append(self.reader)
        win = ReadWindow(window, self.reader)
        win.wait(lambda t: len(t) > 0, 20, "the window's elements")
        return win

    def answer(self, app, title, key):
        """Answers a message box by its title with a key."""
        box = app.wait_window(title, timeout=15, settle=0.5)
        xdotool("windowfocus", "--sync", box.id, check=False)
        time.sleep(0.2)
        box.key(key)
        self.assertTrue(app.wait_gone(box), "the %s box stayed open" % title)


def main():
    unittest.main(verbosity=2)
