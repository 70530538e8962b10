"""The Windows build of varnel-pack under Wine: the same inputs give the same
installer byte for byte as the Linux build (the demo archive, the Chinese
vendor folder, an output of a Chinese name), and its refusals name the rule."""
import os
import shutil
import subprocess
import unittest

from harness import BUILD, Program

HOST_PACK = os.path.join(BUILD, "host", "varnel-pack")
SCRATCH = os.path.join(BUILD, "scratch", "varnel_pack_windows")
VENDOR = os.path.join(BUILD, "tests", "installer", "vendor_app")


def windows(path):
    """The prefix's D: is the build folder."""
    return "D:\\" + os.path.relpath(path, BUILD).replace("/", "\\")


def pack_on_windows(*args):
    with Program("bin/varnel-pack.exe", *args, name="varnel-pack") as program:
        code = program.wait_exit(timeout=120)
        with open(program.stderr_path, encoding="utf-8", errors="replace") as f:
            return code, f.read()


class WindowsVarnelPack(unittest.TestCase):
    def setUp(self):
        shutil.rmtree(SCRATCH, ignore_errors=True)
        os.makedirs(SCRATCH)

    def test_same_installer_as_the_linux_build_and_the_same_refusals(self):
        stub = os.path.join(BUILD, "bin", "VarnelSetup-stub.exe")
        for name, app in (("演示安装程序.exe", os.path.join(BUILD, "payload.zip")), ("厂商.exe", VENDOR)):
            out = os.path.join(SCRATCH, name)
            code, err = pack_on_windows("--stub", windows(stub), "--app", windows(app), "--out", windows(out))
            self.assertEqual(code, 0, err)
            linux = out + ".linux"
            subprocess.run([HOST_PACK, "--stub", stub, "--app", app, "--out", linux], check=True, capture_output=True)
            with open(out, "rb") as a, open(linux, "rb") as b:
                self.assertTrue(a.read() == b.read(), name)

        code, err = pack_on_windows("--stub", windows(os.path.join(BUILD, "payload", "varnel.exe")),
                                    "--app", windows(VENDOR), "--out", windows(os.path.join(SCRATCH, "never.exe")))
        self.assertNotEqual(code, 0)
        self.assertIn("not an installer stub: it carries no", err)
        self.assertFalse(os.path.exists(os.path.join(SCRATCH, "never.exe")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
