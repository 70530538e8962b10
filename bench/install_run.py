"""The rounds of bench/install, in one prefix: our installer clicked through
on the test display, the archive reader alone and NSIS's silent install,
each into the same folder, then the figures and their ratios.

usage: install_run.py ROUNDS NSIS_SETUP SMALL_SETUP [OTHER_SETUP]
  (environment from scripts/env.sh; OTHER_SETUP, another build of the same
  installer, is clicked through in each round too, e.g. before a change)
"""
import os
import re
import shutil
import statistics
import subprocess
import sys
import threading
import time

from PIL import ImageGrab

from harness import ARCH, BUILD, WINE, Program, near, pixel, xdotool
from installer import LINK, RECORD, TEAL, TITLE

# Where 快速安装 is, window-relative. The bench clicks and times by the
# picture: a screen reader would load the accessibility libraries into the
# process whose memory it measures.
QUICK_INSTALL_AT = (290, 318)

TARGET = os.path.join(BUILD, "varnel")  # D:\varnel
WINE_TARGET = "D:\\varnel"


def clean():
    shutil.rmtree(TARGET, ignore_errors=True)
    for f in (RECORD, LINK):
        if os.path.exists(f):
            os.remove(f)


def file_count(folder):
    return sum(len(files) for _, _, files in os.walk(folder))


def anonymous_mb(pid):
    """Resident anonymous memory of a process: what it holds privately
    (its heap, and any image Wine had to copy rather than map)."""
    try:
        with open("/proc/%d/smaps_rollup" % pid) as f:
            for line in f:
                if line.startswith("Anonymous:"):
                    return int(line.split()[1]) / 1024.0
    except OSError:
        pass
    return None


class MemoryWatch(threading.Thread):
    def __init__(self, pid):
        super().__init__(daemon=True)
        self.pid, self.peak, self.running = pid, 0.0, True

    def run(self):
        while self.running:
            mb = anonymous_mb(self.pid)
            if mb is None:
                return
            self.peak = max(self.peak, mb)
            time.sleep(0.02)


def finish_drawn(img):
    """The finish page's 立即体验 button is drawn: teal where the progress
    page has its bar and the first page its label."""
    return near(pixel(img, 290, 370), TEAL, 40)


def grab(win_box):
    x, y, w, h = win_box
    return ImageGrab.grab(bbox=(x, y, x + w, y + h), xdisplay=os.environ["DISPLAY"]).convert("RGB")


def run_ours(name, exe):
    """Seconds from the click to the record on disk and to the finish page,
    the memory at the window and the peak during the run."""
    clean()
    app = Program(exe, name=name)
    app.start()
    try:
        win = app.wait_window(TITLE, timeout=60, settle=1.0)
        at_window = anonymous_mb(app.proc.pid)
        watch = MemoryWatch(app.proc.pid)
        watch.start()
        box = win.geometry()
        win.move(*QUICK_INSTALL_AT)
        time.sleep(0.2)
        xdotool("mousedown", 1)
        xdotool("mouseup", 1)
        clicked = time.monotonic()
        record = finish = None
        while time.monotonic() - clicked < 300:
            now = time.monotonic()
            if record is None:
                if os.path.exists(RECORD):
                    record = now - clicked
                time.sleep(0.005)
            else:
                if finish_drawn(grab(box)):
                    finish = time.monotonic() - clicked
                    break
                time.sleep(0.01)
        watch.running = False
        watch.join()
        return record, finish, at_window, watch.peak
    finally:
        app.kill()


def run_small(exe):
    """The memory of the demo installer when its window is on screen."""
    app = Program(exe, name="bench-small")
    app.start()
    try:
        app.wait_window(TITLE, timeout=60, settle=1.0)
        return anonymous_mb(app.proc.pid)
    finally:
        app.kill()


def wine(*args):
    out = subprocess.run([WINE, *args], stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                         stderr=subprocess.DEVNULL, check=False).stdout
    return out.decode("utf-8", "replace").replace("\r", "")


def run_reader():
    clean()
    out = wine(os.path.join(BUILD, "bin", "extract_bench.exe"), "D:\\payload.zip", "into", WINE_TARGET)
    values = dict(line.split(" ", 1) for line in out.splitlines() if " " in line)
    return {k: float(v) for k, v in values.items()}


def run_nsis(setup):
    clean()
    start = time.monotonic()
    subprocess.run([WINE, setup, "/S", "/D=" + WINE_TARGET], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.monotonic() - start, file_count(TARGET)


def measured_waits():
    out = wine(os.path.join(BUILD, "bin", "platform_helper.exe"), "bench-wait")
    means = {}
    for what in ("WaitPumpingMessages(10)", "WaitPumpingMessages(1000)"):
        m = re.search(re.escape(what) + r"\s+n=\d+\s+mean\s+([\d.]+)", out)
        means[what] = float(m.group(1)) if m else None
    return means["WaitPumpingMessages(10)"], means["WaitPumpingMessages(1000)"]


def main():
    rounds, nsis_setup, small_setup = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    exe = os.path.join(BUILD, "bin", "VarnelSetup.exe")
    wait10, wait1000 = measured_waits()
    small_mb = run_small(small_setup)
    other_exe = sys.argv[4] if len(sys.argv) > 4 else None
    ours, readers, nsis, other = [], [], [], []
    items = None
    for r in range(rounds):
        # Which goes first turns with each round: a run slows the one after it.
        order = ["ours", "reader", "nsis"] + (["other"] if other_exe else [])
        order = order[r % len(order):] + order[:r % len(order)]
        for what in order:
            if what == "ours":
                record, finish, at_window, peak = run_ours("bench-install-%d" % r, exe)
                installed = file_count(TARGET)
                ours.append((record, finish, at_window, peak, installed))
            elif what == "other":
                result = run_ours("bench-other-%d" % r, other_exe)
                other.append((*result, file_count(TARGET)))
            elif what == "reader":
                readers.append(run_reader())
                items = int(readers[-1]["entries"])
            else:
                nsis.append(run_nsis(nsis_setup))
        print("round %d: ours %s s to the record, %s s to the finish page (%d files); reader %.2f s, "
              "floor %.2f s; NSIS silent %.2f s (%d files)" % (
                  r + 1, "%.2f" % ours[-1][0] if ours[-1][0] else "-", "%.2f" % ours[-1][1] if ours[-1][1] else "-",
                  ours[-1][4], readers[-1]["reader_ms"] / 1000, readers[-1]["floor_ms"] / 1000, nsis[-1][0],
                  nsis[-1][1]), flush=True)
    clean()

    med = statistics.median
    finish = med([o[1] for o in ours if o[1]] or [float("nan")])
    record = med([o[0] for o in ours if o[0]] or [float("nan")])
    waits = (wait1000 + items * wait10 + wait1000) / 1000.0
    own = finish - waits
    reader = med([r["reader_ms"] for r in readers]) / 1000.0
    floor = med([r["floor_ms"] for r in readers]) / 1000.0
    plain = med([r["plain_inflate_ms"] for r in readers]) / 1000.0
    silent = med([n[0] for n in nsis])
    peak = max(o[3] for o in ours)
    at_window = med([o[2] for o in ours])
    print()
    print("architecture: %s (the installer, the reader and NSIS's installer all built for it)" % ARCH)
    print("payload: %d items; %d rounds, medians" % (items, rounds))
    print("waits measured now: 10 ms wait %.2f ms, 1000 ms wait %.1f ms" % (wait10, wait1000))
    print("ours, click -> record on disk          %7.2f s" % record)
    print("ours, click -> finish page             %7.2f s" % finish)
    print("  the waits it must make               %7.2f s  (1000 + %d x %.2f + 1000 ms)" % (waits, items, wait10))
    print("  its own work                         %7.2f s  (%.2f ms per item)" % (own, own * 1000 / items))
    print("archive reader alone, same folder      %7.2f s" % reader)
    print("  floor: inflate whole + one write     %7.2f s  (plain inflate into memory %.2f s)" % (floor, plain))
    print("NSIS silent install, same folder       %7.2f s  (process start to exit)" % silent)
    print("ratios: own work / NSIS silent %.2f (target <= 0.4), own work / reader %.2f (target <= 1.15), "
          "reader / floor %.2f (target <= 1.5)" % (own / silent, own / reader, reader / floor))
    if other:
        o_finish = med([o[1] for o in other if o[1]] or [float("nan")])
        o_items = other[0][4]
        o_waits = (wait1000 + o_items * wait10 + wait1000) / 1000.0
        print("other build (%s, %d items): click -> finish page %.2f s, own work %.2f s (%.2f ms per item), "
              "peak memory %.1f MB" % (other_exe, o_items, o_finish, o_finish - o_waits,
                                       (o_finish - o_waits) * 1000 / o_items, max(o[3] for o in other)))
    print("memory (resident anonymous): demo installer at its window %.1f MB; this installer at its window %.1f MB, "
          "peak during the run %.1f MB, %.1f MB beyond the demo's (target <= 16)" % (
              small_mb, at_window, peak, peak - small_mb))


if __name__ == "__main__":
    main()
