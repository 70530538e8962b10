"""The installer as a window test sees it: where its controls are, how to
tell its pages apart, and the files it writes in the build's Wine prefix."""
import os
import shutil
import subprocess
import time
import zipfile

from harness import BUILD, Program, count_near, pixel, near

TITLE = "Varnel安装"
PREFIX = os.environ.get("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
USER = os.path.join(PREFIX, "drive_c", "users", "root")
RECORD = os.path.join(USER, "Documents", "varnel_install_path.txt")
LINK = os.path.join(USER, "Desktop", "Varnel.lnk")
DRIVE_D = BUILD            # the prefix maps D: to the build folder
DRIVE_C = os.path.join(PREFIX, "drive_c")
PAYLOAD = os.path.join(BUILD, "payload.zip")

# Window-relative points of the controls (the window is 582 x 432).
QUICK_INSTALL = (290, 318)
AGREEMENT = (28, 400)
CUSTOM_INSTALL = (528, 400)
CLOSE = (556, 26)
EDIT = (250, 336)
BROWSE = (520, 337)
SHORTCUT = (28, 372)
BACK = (410, 396)
INSTALL_NOW = (508, 396)
LAUNCH = (290, 351)

TEAL = (0x20, 0xD5, 0xB8)
LIGHT_GREY = (0xEB, 0xEB, 0xEB)
GREEN = (0x00, 0xCC, 0x65)
TRACK = (0xD2, 0xD2, 0xD2)
BLUE = (0x50, 0x8A, 0xFF)


def unix_path(windows_path):
    """The Linux path of a C: or D: path of the prefix."""
    drive, rest = windows_path[0].upper(), windows_path[3:]
    root = {"C": DRIVE_C, "D": DRIVE_D}[drive]
    return os.path.join(root, *[p for p in rest.split("\\") if p])


def page(img):
    """Which page the window shows (1 to 4), judged by colours only that
    page has in its area below the header; 0 when none fits."""
    body = (0, 280, 582, 152)
    if near(pixel(img, *BACK), LIGHT_GREY) and near(pixel(img, *INSTALL_NOW), TEAL):
        return 2
    if count_near(img, body, GREEN, 30) + count_near(img, body, TRACK, 8) > 500:
        return 3
    # The two big teal buttons sit at different heights (darker when hovered).
    if near(pixel(img, 290, 300), TEAL, 40):
        return 1
    if near(pixel(img, 290, 370), TEAL, 40):
        return 4
    return 0


# Notification popups: a white card at the top of the window with the
# kind's icon colour at its left.
POPUP_CARD = (150, 15, 280, 55)
POPUP_ICON = (152, 22, 30, 30)
SUCCESS_GREEN = (33, 181, 115)
WARNING_ORANGE = (245, 166, 35)


def popup_kind(img):
    """'success', 'warning' or None, by the popup card and its icon."""
    if count_near(img, POPUP_CARD, (255, 255, 255), 4) < 8000:
        return None
    if count_near(img, POPUP_ICON, SUCCESS_GREEN, 30) > 60:
        return "success"
    if count_near(img, POPUP_ICON, WARNING_ORANGE, 30) > 60:
        return "warning"
    return "other"


def clean_state(*extra_windows_paths):
    """No install record, no desktop link, no default install folder."""
    for path in (RECORD, LINK):
        if os.path.exists(path):
            os.remove(path)
    for path in (unix_path("D:\\varnel"),) + tuple(unix_path(p) for p in extra_windows_paths):
        shutil.rmtree(path, ignore_errors=True)


def fresh_installer(name, source=None):
    """A copy of the installer (or of the one at source) alone in a folder of
    its own on D:, as a download would be; returns its Program."""
    folder = os.path.join(BUILD, "wt", name)
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    shutil.copy(source or os.path.join(BUILD, "bin", "VarnelSetup.exe"), folder)
    return Program(os.path.join(folder, "VarnelSetup.exe"), name=name)


def payload_entries():
    with zipfile.ZipFile(PAYLOAD) as archive:
        return {info.filename: archive.read(info) for info in archive.infolist()}


def installed_exactly(folder):
    """True when every payload entry lies in the folder with the same bytes."""
    for name, data in payload_entries().items():
        path = os.path.join(folder, *name.split("/"))
        if not os.path.isfile(path):
            return False
        with open(path, "rb") as f:
            if f.read() != data:
                return False
    return True


def wait_page(win, number, timeout=20, name=None):
    end = time.time() + timeout
    while time.time() < end:
        img = win.screenshot()
        if page(img) == number:
            if name:
                win.screenshot(name)
            return img
        time.sleep(0.2)
    win.screenshot("failed-wait-page-%d" % number)
    raise AssertionError("page %d not shown (showing %d)" % (number, page(win.screenshot())))


def wait_for(win, ready, timeout=10, name=None):
    """The window's screenshot once ready(img) holds, or the last one."""
    end = time.time() + timeout
    img = win.screenshot()
    while not ready(img) and time.time() < end:
        time.sleep(0.15)
        img = win.screenshot()
    if name:
        win.screenshot(name)
    return img


def replace_edit_text(win, text):
    win.click(*EDIT)
    win.key("ctrl+a")
    win.key("BackSpace")
    win.type(text)


def _in_this_prefix(pid):
    try:
        with open("/proc/%d/environ" % pid, "rb") as f:
            return ("WINEPREFIX=" + PREFIX).encode() in f.read().split(b"\0")
    except OSError:
        return False


def varnel_processes():
    """Pids of running varnel.exe programs of this build's prefix (other
    builds on the machine may run their own)."""
    out = subprocess.run(["pgrep", "-f", "varnel.exe"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL).stdout
    return [pid for pid in map(int, out.split()) if _in_this_prefix(pid)]


def end_varnel_processes():
    for pid in varnel_processes():
        try:
            os.kill(pid, 9)
        except OSError:
            pass
    time.sleep(0.5)
