"""The installer as a window test sees it: its controls by name, how to tell
its pages apart in the accessibility tree, and the files it writes in the
build's Wine prefix."""
import os
import shutil
import subprocess
import time
import zipfile

from accessible import ROLE_ALERT, ROLE_PROGRESS, ROLE_STATIC, ROLE_TEXT
from harness import BUILD, TOOLS, Program, _env, count_near, patience

TITLE = "Varnel安装"
PREFIX = os.environ.get("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
USER = os.path.join(PREFIX, "drive_c", "users", "root")
RECORD = os.path.join(USER, "Documents", "varnel_install_path.txt")
LINK = os.path.join(USER, "Desktop", "Varnel.lnk")
DRIVE_D = BUILD            # the prefix maps D: to the build folder
DRIVE_C = os.path.join(PREFIX, "drive_c")
PAYLOAD = os.path.join(BUILD, "payload.zip")

# The controls, by the names a screen reader reads.
QUICK_INSTALL = "快速安装"
AGREEMENT = "同意Varnel的用户协议"
CUSTOM_INSTALL = "自定义安装"
CLOSE = "关闭"
BROWSE = "浏览"
SHORTCUT = "创建桌面图标"
BACK = "返回"
INSTALL_NOW = "立即安装"
LAUNCH = "立即体验"
FAILED = "安装失败："     # how the status line starts when a run stops

TEAL = (0x20, 0xD5, 0xB8)
BLUE = (0x50, 0x8A, 0xFF)


def unix_path(windows_path):
    """The Linux path of a C: or D: path of the prefix."""
    drive, rest = windows_path[0].upper(), windows_path[3:]
    root = {"C": DRIVE_C, "D": DRIVE_D}[drive]
    return os.path.join(root, *[p for p in rest.split("\\") if p])


def page(tree):
    """Which page the window shows (1 to 4), by the controls only that page
    has; 0 when none fits."""
    if LAUNCH in tree:
        return 4
    if tree.of_role(ROLE_PROGRESS):
        return 3
    if INSTALL_NOW in tree:
        return 2
    if QUICK_INSTALL in tree:
        return 1
    return 0


def status(tree):
    """The progress page's status line."""
    texts = [name for name, _ in tree.of_role(ROLE_STATIC)
             if name.startswith(("创建文件夹：", "打开文件：", "解压文件：", FAILED))]
    return texts[0] if texts else None


def edit_box(tree):
    return tree.of_role(ROLE_TEXT)[0][1]


def alerts(tree):
    """The texts of the notifications shown."""
    return [name for name, _ in tree.of_role(ROLE_ALERT)]


# A notification's kind is told by its picture alone: a white card at the
# top of the window with the kind's icon colour at its left.
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
    """The tree once the window shows that page; a screenshot of it when
    named."""
    tree = win.wait(lambda t: page(t) == number, timeout, "page %d" % number)
    if name:
        win.screenshot(name)
    return tree


def replace_edit_text(win, text):
    return win.type_over(edit_box, text)


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
    end = time.time() + patience(5)
    while varnel_processes() and time.time() < end:
        time.sleep(0.1)


def parents_of(name):
    """The name of the process that started each running program called
    name, as Windows keeps it (None when that process has ended), read with
    wmic through the prefix's own tools."""
    out = subprocess.run([TOOLS, "wmic", "process", "get", "name,parentprocessid,processid"], env=_env(),
                         stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                         timeout=patience(60)).stdout.decode("utf-16", "replace")
    rows = [line.split() for line in out.splitlines()[1:]]
    processes = [(" ".join(r[:-2]), r[-2], r[-1]) for r in rows if len(r) >= 3 and r[-1].isdigit()]
    names = {pid: n for n, _, pid in processes}
    return [names.get(parent) for n, parent, _ in processes if n.lower() == name.lower()]
