"""A window's accessibility tree as a screen reader in another process sees
it, through acc_walk.exe and Wine's oleacc; and a window driven by it: its
elements found by name, role and state, clicked where the tree places them,
and waited for instead of slept on.

    reader = ScreenReader("Varnel安装")
    tree = reader.wait(lambda t: "快速安装" in t)
    tree["快速安装"].role == ROLE_BUTTON
"""
import os
import select
import subprocess
import time
from collections import namedtuple

from harness import BUILD, KIND, WINE, Program, Window, _env, click_at, patience, xdotool

# MSAA roles and states (oleacc.h).
ROLE_BUTTON, ROLE_CHECK, ROLE_LINK, ROLE_STATIC, ROLE_TEXT, ROLE_PROGRESS, ROLE_CLIENT, ROLE_ALERT = (
    0x2B, 0x2C, 0x1E, 0x29, 0x2A, 0x30, 0x0A, 0x08)
CHECKED, FOCUSABLE = 0x10, 0x100000

# One child; rect is (x, y, w, h) on the screen.
Child = namedtuple("Child", "role value state action description rect")


class Tree(dict):
    """{name: Child} of the shown children (the first of a name wins), in
    the order read; `lines` is what acc_walk printed."""

    def __init__(self, lines):
        super().__init__()
        self.lines = lines
        self.client = None
        self.children = []  # [(name, Child)], all of them
        for line in lines.splitlines():
            parts = line.split("\t")
            if parts[0] == "client" and len(parts) == 7:
                self.client = tuple(map(int, parts[3:7]))
            elif parts[0] == "child" and len(parts) == 11:
                child = Child(int(parts[1]), parts[3], int(parts[4], 16), parts[5], parts[6],
                              tuple(map(int, parts[7:11])))
                self.children.append((parts[2], child))
                self.setdefault(parts[2], child)

    def of_role(self, role):
        """[(name, Child)] of that role, in order."""
        return [(name, c) for name, c in self.children if c.role == role]

    def __repr__(self):
        return self.lines


def walk(*args, caption="Varnel安装"):
    """One reading by a fresh acc_walk, which may also press a child (--do
    NAME) or listen for events (--events MS) and print them."""
    p = Program("bin/acc_walk.exe", caption, *args, name="acc_walk").start()
    p.wait_exit(timeout=30)
    p.kill()
    return Tree(p.output())


class ScreenReader:
    """One acc_walk kept running and asked for the tree as often as a wait
    needs it; the window is looked up anew for every question."""

    def __init__(self, caption="Varnel安装"):
        logs = os.path.join(BUILD, "window-logs", *KIND)
        os.makedirs(logs, exist_ok=True)
        self._err = open(os.path.join(logs, "screen-reader.err"), "wb")
        self.proc = subprocess.Popen([WINE, os.path.join(BUILD, "bin", "acc_walk.exe"), caption, "--serve"],
                                     cwd=os.path.join(BUILD, "bin"), env=_env(), stdin=subprocess.PIPE,
                                     stdout=subprocess.PIPE, stderr=self._err)
        self._pending = b""

    def _ask(self, command, timeout=30):
        """The lines of the answer, each ending in a newline."""
        self.proc.stdin.write((command + "\n").encode("utf-8"))
        self.proc.stdin.flush()
        end = time.time() + patience(timeout)
        answer = ""
        while True:
            while b"\n" not in self._pending:
                left = end - time.time()
                if left <= 0 or not select.select([self.proc.stdout], [], [], left)[0]:
                    raise TimeoutError("the screen reader did not answer %r" % command)
                chunk = os.read(self.proc.stdout.fileno(), 65536)
                if not chunk:
                    raise RuntimeError("the screen reader ended")
                self._pending += chunk
            line, self._pending = self._pending.split(b"\n", 1)
            line = line.rstrip(b"\r").decode("utf-8", "replace")
            if line == "end":
                return answer
            answer += line + "\n"

    def tree(self):
        return Tree(self._ask("walk"))

    def press(self, name):
        """The child's default action, as a screen reader's user asks for it."""
        answer = self._ask("do " + name)
        if "done 0\n" not in answer:
            raise AssertionError("%s could not be pressed: %s" % (name, answer.strip()))

    def wait(self, ready, timeout=20, what=None):
        """The first tree for which ready(tree) holds."""
        end = time.time() + patience(timeout)
        while True:
            tree = self.tree()
            if ready(tree):
                return tree
            if time.time() > end:
                raise AssertionError("waited %g s for %s; the tree:\n%s" % (timeout, what or ready, tree.lines))
            time.sleep(0.1)

    def kill(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.close()
                self.proc.wait(timeout=5)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
        self._err.close()


class ReadWindow(Window):
    """A window whose elements are found through a screen reader and
    clicked where it places them."""

    def __init__(self, window, reader):
        super().__init__(window.id, window.title)
        self.reader = reader

    def tree(self):
        return self.reader.tree()

    def wait(self, ready, timeout=20, what=None):
        return self.reader.wait(ready, timeout, what)

    def element(self, name, timeout=20):
        return self.wait(lambda t: name in t, timeout, "an element named %r" % name)[name]

    def _middle(self, target):
        x, y, w, h = (target if isinstance(target, Child) else self.element(target)).rect
        return x + w // 2, y + h // 2

    def click_on(self, target):
        """A mouse click at the middle of an element: a Child, or the one
        with that name."""
        click_at(*self._middle(target))

    def type_over(self, find, text):
        """Types text over what the element find(tree) holds, as a user does,
        until it holds text: characters outside ASCII can be lost by
        xdotool's key remapping on a busy machine, which is no fault of the
        window, so a lost one is typed again, slower."""
        for attempt in range(3):
            self.click_on(find(self.tree()))
            self.key("ctrl+a", "BackSpace")
            self.type(text, delay_ms=40 + 60 * attempt)
            try:
                return self.wait(lambda t: find(t).value == text, 3, "the box to hold %r" % text)
            except AssertionError:
                if attempt == 2:
                    raise

    def hover(self, target):
        xdotool("mousemove", "--sync", *self._middle(target))

    def away(self):
        """The pointer off the window's elements (onto its header)."""
        x, y, w, _ = self.tree().client
        xdotool("mousemove", "--sync", x + w // 2, y + 150)
