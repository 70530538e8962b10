"""Window-test harness: runs a Windows program of the build under Wine on the
test display and drives it like a user (xdotool), with screenshots in PIL.

    from harness import Program, screenshot
    with Program("bin/VarnelSetup.exe") as app:
        win = app.wait_window("Varnel安装")
        img = win.screenshot("page1")          # saved under $VARNEL_BUILD/screenshots/
        win.click(200, 310)                    # window-relative
        box = app.wait_window("提示")           # a message box, by title
        box.key("Return")
        assert app.wait_exit() == 0

The environment comes from scripts/test (DISPLAY, WINEPREFIX, ...); whatever
is missing is filled in from VARNEL_BUILD as scripts/env.sh would.
"""
import io
import os
import subprocess
import time

from PIL import Image

BUILD = os.path.abspath(os.environ.get("VARNEL_BUILD", os.path.join(os.path.dirname(__file__), "..", "..", "build")))


def _build_arch():
    try:
        with open(os.path.join(BUILD, "varnel-arch")) as f:
            return f.read().strip()
    except OSError:
        return "i686"


# The build's architecture: i686 (the product) or x86_64, whose programs run
# on a 64-bit prefix through Wine's 64-bit loader.
ARCH = _build_arch()
X64 = ARCH == "x86_64"
WINE = "/usr/lib/wine/wine64" if X64 else "wine"
# Wine's own tools (reg, wmic) run 64-bit wherever the prefix is 64-bit: a
# 32-bit one may run only under emulation there.
TOOLS = "wine" if ARCH == "i686" and os.environ.get("VARNEL_PREFIX_KIND") != "wow64" else "/usr/lib/wine/wine64"
# Waits stretch by VARNEL_TIME_SCALE where the programs run under user-mode
# emulation (scripts/emulate): a process start there costs tens of seconds.
TIME_SCALE = float(os.environ.get("VARNEL_TIME_SCALE") or 1)
EMULATED = TIME_SCALE > 1
# The cases run again on the 64-bit prefix, natively or emulated, keep their
# pictures and logs apart.
KIND = ["emulated"] if EMULATED else [os.environ["VARNEL_PREFIX_KIND"]] if os.environ.get("VARNEL_PREFIX_KIND") == "wow64" else []


def patience(seconds):
    """How long to wait for what takes `seconds` natively."""
    return seconds * TIME_SCALE


# Emulated, a 32-bit program may crash in the emulator's own teardown after
# it has ended (qemu 7.2, a process with threads still running), so its
# Linux exit status tells a signal: the programs are started through a
# native relay that ends with the exit code Windows records.
RELAY = os.environ.get("VARNEL_EXIT_RELAY") if EMULATED else None


def windows_path(path):
    """The D: path of a file in the build folder (the prefix maps D: there)."""
    return "D:\\" + os.path.relpath(path, BUILD).replace("/", "\\")


SCREENSHOTS = os.path.join(BUILD, "screenshots", *KIND)


def _env():
    env = dict(os.environ)
    env.setdefault("WINEPREFIX", os.path.join(BUILD, "wineprefix"))
    env.setdefault("WINEARCH", "win64" if X64 else "win32")
    env.setdefault("WINEDEBUG", "-all")
    env.setdefault("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d")
    env.setdefault("HOME", os.path.join(BUILD, "home"))
    env.setdefault("TZ", "Asia/Shanghai")
    env.setdefault("LC_ALL", "zh_CN.UTF-8")
    env.setdefault("LANG", "zh_CN.UTF-8")
    return env


def xdotool(*args, check=True):
    """Runs xdotool (in a plain UTF-8 locale, as it needs) and returns stdout."""
    env = dict(os.environ, LC_ALL="C.UTF-8")
    r = subprocess.run(["xdotool", *map(str, args)], env=env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
    if check and r.returncode != 0:
        raise RuntimeError("xdotool %s failed" % " ".join(map(str, args)))
    return r.stdout.decode("utf-8", "replace")


def screenshot(name=None, box=None):
    """The whole screen (or box = (x, y, w, h) of it) as an RGB image; saved
    as screenshots/<name>.png when a name is given."""
    data = subprocess.run(["import", "-window", "root", "png:-"], stdin=subprocess.DEVNULL,
                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, check=True, timeout=30).stdout
    img = Image.open(io.BytesIO(data)).convert("RGB")
    if box:
        x, y, w, h = box
        img = img.crop((x, y, x + w, y + h))
    if name:
        os.makedirs(SCREENSHOTS, exist_ok=True)
        img.save(os.path.join(SCREENSHOTS, name + ".png"))
    return img


def click_at(x, y, button=1):
    """A click at a point of the screen, paced as a hand would."""
    xdotool("mousemove", "--sync", x, y)
    time.sleep(0.1)
    xdotool("mousedown", button)
    time.sleep(0.05)
    xdotool("mouseup", button)


def top_windows():
    """(id, title) of every visible window on the display."""
    out = xdotool("search", "--onlyvisible", "--name", "", check=False)
    result = []
    for line in out.split():
        try:
            wid = int(line)
        except ValueError:
            continue
        title = xdotool("getwindowname", wid, check=False).rstrip("\n")
        result.append((wid, title))
    return result


class Window:
    """A top-level window found by its title; points are window-relative."""

    def __init__(self, wid, title):
        self.id = wid
        self.title = title

    def geometry(self):
        out = xdotool("getwindowgeometry", "--shell", self.id)
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])

    def screenshot(self, name=None, margin=0):
        """The window (plus margin pixels around it) as an RGB image."""
        x, y, w, h = self.geometry()
        return screenshot(name, (x - margin, y - margin, w + 2 * margin, h + 2 * margin))

    def screenshot_when(self, ready, timeout=10, name=None):
        """The window's picture once ready(img) holds (its paint may lag
        behind an input or what it tells a screen reader), or the last one
        taken; saved when named."""
        end = time.time() + patience(timeout)
        img = self.screenshot()
        while not ready(img) and time.time() < end:
            time.sleep(0.1)
            img = self.screenshot()
        if name:
            os.makedirs(SCREENSHOTS, exist_ok=True)
            img.save(os.path.join(SCREENSHOTS, name + ".png"))
        return img

    def move(self, x, y):
        wx, wy, _, _ = self.geometry()
        xdotool("mousemove", "--sync", wx + x, wy + y)

    def click(self, x, y, button=1):
        wx, wy, _, _ = self.geometry()
        click_at(wx + x, wy + y, button)
        time.sleep(0.2)

    def type(self, text, delay_ms=40):
        xdotool("type", "--delay", delay_ms, text)
        time.sleep(0.2)

    def key(self, *keys):
        """Keys to the focused window, e.g. key("ctrl+a"), key("Tab", "Return")."""
        xdotool("key", "--delay", 60, *keys)
        time.sleep(0.2)

    def exists(self):
        return any(wid == self.id for wid, _ in top_windows())


class Program:
    """A Windows program started under Wine with its stdout/stderr in files."""

    def __init__(self, exe, *args, cwd=None, name=None):
        self.exe = exe if os.path.isabs(exe) else os.path.join(BUILD, exe)
        self.args = [str(a) for a in args]
        self.cwd = cwd or os.path.dirname(self.exe)
        self.name = name or os.path.splitext(os.path.basename(self.exe))[0]
        logs = os.path.join(BUILD, "window-logs", *KIND)
        os.makedirs(logs, exist_ok=True)
        self.stdout_path = os.path.join(logs, self.name + ".out")
        self.stderr_path = os.path.join(logs, self.name + ".err")
        self.proc = None

    def start(self):
        self._out = open(self.stdout_path, "wb")
        self._err = open(self.stderr_path, "wb")
        command = [TOOLS, RELAY, windows_path(self.exe)] if RELAY else [WINE, self.exe]
        self.proc = subprocess.Popen(command + self.args, cwd=self.cwd, env=_env(),
                                     stdin=subprocess.DEVNULL, stdout=self._out, stderr=self._err)
        xdotool("keyup", "Escape", "Return", check=False)
        # The pointer may still rest where an earlier test left it: keep it
        # off the new window so nothing starts out hovered.
        xdotool("mousemove", 0, 0, check=False)
        return self

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.kill()

    def output(self):
        """What the program has written to stdout so far."""
        with open(self.stdout_path, "rb") as f:
            return f.read().decode("utf-8", "replace").replace("\r\n", "\n")

    def wait_output(self, text, timeout=10):
        """Waits until stdout contains text; returns the whole output."""
        end = time.time() + patience(timeout)
        while time.time() < end:
            out = self.output()
            if text in out:
                return out
            time.sleep(0.1)
        raise TimeoutError("%r not in output of %s: %r" % (text, self.name, self.output()))

    def wait_window(self, title, timeout=20, settle=0.5):
        """The visible top-level window with exactly this title (also for
        message boxes: their title)."""
        end = time.time() + patience(timeout)
        while time.time() < end:
            for wid, name in top_windows():
                if name == title:
                    time.sleep(settle)  # first paint
                    return Window(wid, name)
            if self.proc.poll() is not None:
                raise RuntimeError("%s ended (%s) before showing %r" % (self.name, self.proc.returncode, title))
            time.sleep(0.2)
        raise TimeoutError("no window %r; windows: %r" % (title, top_windows()))

    def wait_gone(self, window, timeout=10):
        end = time.time() + patience(timeout)
        while time.time() < end:
            if not window.exists():
                return True
            time.sleep(0.1)
        return False

    def answer_message_box(self, title, key="Return", timeout=10):
        """Waits for a message box by its title and answers it with a key
        (Return: the default / Yes, "n": No)."""
        box = self.wait_window(title, timeout=timeout, settle=0.3)
        xdotool("windowactivate", "--sync", box.id, check=False)
        box.key(key)
        return box

    def wait_exit(self, timeout=15):
        """The program's exit code (as a signed 32-bit value)."""
        code = self.proc.wait(timeout=patience(timeout))
        return code - 256 if code > 127 else code

    def kill(self):
        if self.proc and self.proc.poll() is None:
            self.proc.kill()
            try:
                self.proc.wait(timeout=5)
            except subprocess.TimeoutExpired:
                pass
        for f in (getattr(self, "_out", None), getattr(self, "_err", None)):
            if f:
                f.close()


def pixel(img, x, y):
    return img.getpixel((x, y))[:3]


def near(colour, want, tolerance=24):
    """True when every channel of colour is within tolerance of want."""
    return all(abs(a - b) <= tolerance for a, b in zip(colour, want))


def count_near(img, box, want, tolerance=24):
    """How many pixels inside box = (x, y, w, h) are near the colour want."""
    x0, y0, w, h = box
    region = img.crop((x0, y0, x0 + w, y0 + h))
    return sum(1 for p in region.getdata() if near(p[:3], want, tolerance))
