"""A headless walk through the installer, as scripts/run does without a
display: every page it passes is saved as a screenshot, then the installed
files are listed. With --interactive (a display is there) the installer is
left to the user after one screenshot of its first page.
usage: walkthrough.py SCREENSHOT_FOLDER [--interactive]"""
import os
import shutil
import sys
import time

import harness
from accessible import ReadWindow, ScreenReader
from harness import Program
from installer import (BACK, BUILD, CLOSE, CUSTOM_INSTALL, QUICK_INSTALL, TEAL, TITLE, unix_path, wait_page)


def main(folder, interactive=False):
    harness.SCREENSHOTS = folder
    run = os.path.join(BUILD, "run")
    os.makedirs(run, exist_ok=True)
    shutil.copy(os.path.join(BUILD, "bin", "VarnelSetup.exe"), run)
    app = Program(os.path.join(run, "VarnelSetup.exe"), name="walkthrough")
    reader = ScreenReader(TITLE)
    try:
        app.start()
        win = ReadWindow(app.wait_window(TITLE, timeout=60, settle=0), reader)
        win.element(QUICK_INSTALL, timeout=60)
        painted = lambda img: harness.near(harness.pixel(img, 240, 318), TEAL, 40)  # noqa: E731
        if interactive:
            win.screenshot_when(painted, name="run")
            print("screenshot:", os.path.join(folder, "run.png"))
            return 0 if app.proc.wait() == 0 else 1
        win.away()
        win.screenshot_when(painted, name="1-quick-install")
        win.click_on(CUSTOM_INSTALL)
        win.away()
        wait_page(win, 2, name="2-custom-install")
        win.click_on(BACK)
        wait_page(win, 1)
        win.click_on(QUICK_INSTALL)
        win.away()
        wait_page(win, 3)
        time.sleep(0.4)  # a picture with the bar under way
        win.screenshot("3-progress")
        wait_page(win, 4, timeout=60, name="4-finish")
        print("screenshots:", ", ".join(sorted(f for f in os.listdir(folder) if f[0].isdigit())), "in", folder)
        target = unix_path("D:\\varnel")
        print("installed into D:\\varnel (%s):" % target)
        for name in sorted(os.listdir(target)):
            print("  %-20s %10d bytes" % (name, os.path.getsize(os.path.join(target, name))))
        win.click_on(CLOSE)
        return 0 if app.wait_exit() == 0 else 1
    finally:
        reader.kill()
        app.kill()


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], "--interactive" in sys.argv[2:]))
