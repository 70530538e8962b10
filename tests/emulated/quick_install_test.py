"""The quick install of the i686 product under emulation, driven by the
picture: clicked where the pages draw their buttons and waited on what they
show. Under qemu a screen reader's calls into the emulated installer stop
being answered after a while (see the README), so this case does not go
through one; the x64 suite reads the same run through the reader."""
import os
import shutil
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "window"))

from harness import BUILD, Program, near, patience, pixel  # noqa: E402
from installer import (LINK, RECORD, TEAL, TITLE, clean_state, end_varnel_processes, fresh_installer,  # noqa: E402
                       installed_exactly, parents_of, unix_path, varnel_processes)
from shell_link import read_link  # noqa: E402

# Window points (the 5 px shadow band included) of the two buttons.
QUICK_INSTALL_AT = (290, 318)
LAUNCH_AT = (296, 356)
# Teal there on the finish page only: the progress page has its bar there and
# the first page its path line.
FINISH_MARK = (290, 370)


class EmulatedQuickInstall(unittest.TestCase):
    def setUp(self):
        end_varnel_processes()
        clean_state()
        self.app = fresh_installer("emulated-quick")

    def tearDown(self):
        self.app.kill()
        end_varnel_processes()

    def quick_install(self, answer=None):
        """Starts the installer, clicks 快速安装 (answering the running-copy
        question with a key when given) and waits for the finish page."""
        app = self.app.start()
        win = app.wait_window(TITLE, timeout=60, settle=0)
        win.screenshot_when(lambda img: near(pixel(img, *QUICK_INSTALL_AT), TEAL, 40), timeout=60,
                            name="emulated-1-quick-install")
        win.click(*QUICK_INSTALL_AT)
        if answer:
            self.assertTrue(app.wait_gone(app.answer_message_box("冲突", answer, timeout=30)), "the box stayed")
        finish = win.screenshot_when(lambda img: near(pixel(img, *FINISH_MARK), TEAL, 40), timeout=60,
                                     name="emulated-4-finish")
        self.assertTrue(near(pixel(finish, *FINISH_MARK), TEAL, 40), "the finish page was not drawn")
        return app, win

    def test_a_running_copy_answered_yes_is_ended_and_the_install_goes_on(self):
        folder = os.path.join(BUILD, "wt", "running")
        os.makedirs(folder, exist_ok=True)
        shutil.copy(os.path.join(BUILD, "payload", "varnel.exe"), folder)
        running = Program(os.path.join(folder, "varnel.exe"), name="running-varnel").start()
        self.addCleanup(running.kill)
        running.wait_window("Varnel", timeout=60)
        self.quick_install(answer="Return")
        self.assertTrue(installed_exactly(unix_path("D:\\varnel")))
        self.assertEqual(running.wait_exit(timeout=10), 0)

    def test_quick_install_then_launch_as_the_user(self):
        app, win = self.quick_install()
        self.assertTrue(installed_exactly(unix_path("D:\\varnel")))
        with open(RECORD, "rb") as f:
            self.assertEqual(f.read(), b"D:\\varnel")
        link = read_link(LINK)
        self.assertEqual(link.get("base_path"), "D:\\varnel\\varnel.exe")
        self.assertEqual(link.get("working_dir"), "D:\\varnel")
        win.click(*LAUNCH_AT)
        self.assertEqual(app.wait_exit(timeout=30), 0)
        end = time.time() + patience(15)
        while not varnel_processes() and time.time() < end:
            time.sleep(0.5)
        self.assertTrue(varnel_processes(), "varnel.exe runs after the launch button")
        # The 32-bit installer on 64-bit Windows starts it through the desktop
        # shell too, so as the user at the screen.
        end = time.time() + patience(5)
        while parents_of("varnel.exe") != ["explorer.exe"] and time.time() < end:
            time.sleep(1)
        self.assertEqual(parents_of("varnel.exe"), ["explorer.exe"])


if __name__ == "__main__":
    unittest.main(verbosity=2)
