"""FileTitle where the installer meets 64-bit Windows: Explorer, a 64-bit
program, writes HideFileExt; the installer reads it through the 64-bit
registry view. platform_helper.exe's "title" mode prints what it sees."""
import os
import shutil
import subprocess
import unittest

from harness import BUILD, Program, _env

ADVANCED = "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Advanced"
# The 64-bit loader: `wine reg` would start the 32-bit reg.exe of SysWOW64.
WINE64 = shutil.which("wine64") or "/usr/lib/wine/wine64"


def reg64(*args, check=True):
    subprocess.run([WINE64, "reg", *args, "/f"], env=_env(), stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=check, timeout=60)


class FileTitle(unittest.TestCase):
    def setUp(self):
        self.folder = os.path.join(BUILD, "wow64title")
        shutil.rmtree(self.folder, ignore_errors=True)
        os.makedirs(self.folder)
        with open(os.path.join(self.folder, "setup.exe"), "wb") as f:
            f.write(b"MZ")
        self.addCleanup(shutil.rmtree, self.folder, True)
        self.addCleanup(reg64, "delete", ADVANCED, "/v", "HideFileExt", check=False)

    def seen(self, path):
        result = os.path.join(self.folder, "title.txt")
        app = Program("bin/platform_helper.exe", "title", path, "D:\\wow64title\\title.txt", name="wow64-title").start()
        self.addCleanup(app.kill)
        self.assertEqual(app.wait_exit(timeout=60), 0)
        with open(result, "rb") as f:
            return f.read().decode("gbk")

    def test_hidden_extensions_set_by_a_64_bit_program_are_read_and_the_title_keeps_its_extension(self):
        for hide in (1, 0):
            reg64("add", ADVANCED, "/v", "HideFileExt", "/t", "REG_DWORD", "/d", str(hide))
            self.assertEqual(self.seen("D:\\wow64title\\setup.exe"), "1 %d setup.exe" % hide)
        self.assertEqual(self.seen("D:\\wow64title\\varnel"), "1 0 varnel")


if __name__ == "__main__":
    unittest.main(verbosity=2)
