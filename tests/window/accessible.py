"""A window's accessibility tree as a screen reader in another process sees
it, through acc_walk.exe and Wine's oleacc."""
from harness import Program

# MSAA roles and states (oleacc.h).
ROLE_BUTTON, ROLE_CHECK, ROLE_LINK, ROLE_STATIC, ROLE_TEXT, ROLE_PROGRESS, ROLE_CLIENT = (
    0x2B, 0x2C, 0x1E, 0x29, 0x2A, 0x30, 0x0A)
CHECKED, FOCUSABLE = 0x10, 0x100000


def walk(*args, caption="Varnel安装"):
    """{name: (role, value, state, action)} of the window's children, and
    the raw lines."""
    p = Program("bin/acc_walk.exe", caption, *args, name="acc_walk").start()
    p.wait_exit(timeout=30)
    p.kill()
    out = p.output()
    children = {}
    for line in out.splitlines():
        parts = line.split("\t")
        if parts[0] == "child" and len(parts) == 6:
            children.setdefault(parts[2], (int(parts[1]), parts[3], int(parts[4], 16), parts[5]))
    return children, out
