"""Shared set-up for the installer window tests."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "window"))

from harness import xdotool  # noqa: E402
from installer import TITLE, clean_state, end_varnel_processes, fresh_installer  # noqa: E402


class InstallerTest(unittest.TestCase):
    """Each test starts from no record, no link and no D:\\varnel."""

    extra_folders = ()

    def setUp(self):
        end_varnel_processes()
        clean_state(*self.extra_folders)
        self.apps = []

    def tearDown(self):
        for app in self.apps:
            app.kill()
        end_varnel_processes()

    def start(self, name=None):
        app = fresh_installer(name or self.id().split(".")[-1])
        self.apps.append(app)
        app.start()
        return app, app.wait_window(TITLE, timeout=40)

    def answer(self, app, title, key):
        """Answers a message box by its title with a key."""
        box = app.wait_window(title, timeout=15, settle=0.5)
        xdotool("windowfocus", "--sync", box.id, check=False)
        time.sleep(0.2)
        box.key(key)
        self.assertTrue(app.wait_gone(box), "the %s box stayed open" % title)


def main():
    unittest.main(verbosity=2)
