"""The same sources give the same shipped files in any build folder: the
build's own installer, UI library, demo application, payload and UI package
against a second build of them in a scratch folder with a longer name.
usage: reproducible_check.py SOURCE_DIR BUILD_DIR SCRATCH_DIR TOOLCHAIN [cmake -D options...]"""
import hashlib
import os
import shutil
import subprocess
import sys
import unittest

SOURCE, BUILD, SCRATCH, TOOLCHAIN = sys.argv[1:5]
OPTIONS = sys.argv[5:]
del sys.argv[1:]
FILES = ["bin/VarnelSetup.exe", "bin/VarnelSetup-stub.exe", "bin/varnel-pack.exe", "bin/XCGUI.dll", "payload/varnel.exe", "payload.zip", "ui_package.zip"]


def digest(path):
    with open(path, "rb") as f:
        return hashlib.sha256(f.read()).hexdigest()


class Reproducible(unittest.TestCase):
    def test_a_second_build_elsewhere_gives_the_same_files(self):
        other = os.path.join(SCRATCH, "a-second-build-in-a-folder-with-a-longer-name")
        shutil.rmtree(other, ignore_errors=True)
        os.makedirs(other)
        run = subprocess.run(["cmake", "-S", SOURCE, "-B", other, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                              "-DCMAKE_TOOLCHAIN_FILE=" + TOOLCHAIN, *OPTIONS], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        run = subprocess.run(["cmake", "--build", other, "--target", "VarnelSetup", "varnel-pack", "--", "-j2"],
                             capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout[-3000:] + run.stderr[-3000:])
        differ = [f for f in FILES if digest(os.path.join(BUILD, f)) != digest(os.path.join(other, f))]
        self.assertEqual(differ, [], "kept for a look: " + other)
        shutil.rmtree(other, ignore_errors=True)


if __name__ == "__main__":
    unittest.main(verbosity=2)
