"""-DVARNEL_PAYLOAD_ZIP and -DVARNEL_PAYLOAD_DIR configured and packed in a
scratch build folder, and the packer's refusals as the build reports them.
usage: payload_options_test.py SOURCE_DIR SCRATCH_DIR"""
import os
import shutil
import subprocess
import sys
import unittest
import zipfile

SOURCE, SCRATCH = sys.argv.pop(1), sys.argv.pop(1)
BUILD = os.path.join(SCRATCH, "build")
PAYLOAD = os.path.join(BUILD, "payload.zip")


def cmake(*options):
    return subprocess.run(["cmake", "-S", SOURCE, "-B", BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                           "-DCMAKE_TOOLCHAIN_FILE=" + os.path.join(SOURCE, "cmake", "mingw-i686.cmake"), *options],
                          capture_output=True, text=True)


def pack(*options):
    """Configures with the options and builds the payload alone; the
    failing step's output, or None."""
    run = cmake("-DVARNEL_PAYLOAD_ZIP=", "-DVARNEL_PAYLOAD_DIR=", *options)
    if run.returncode == 0:
        run = subprocess.run(["cmake", "--build", BUILD, "--target", "payload", "--", "-j1"],
                             capture_output=True, text=True)
    return None if run.returncode == 0 else run.stdout + run.stderr


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# A vendor's folder: Chinese names, blanks, "=", "&", brackets, depth, and a
# folder that holds nothing.
APP_FILES = {
    "varnel.exe": b"MZ application",
    "数据/子目录/资源.dat": bytes(range(256)) * 40,
    "设置 文件.ini": "[界面]\r\n语言=中文\r\n".encode("gbk"),
    "a&b (1).txt": b"ampersand",
    "k=v [2].txt": b"equals",
}
APP_EMPTY = "空 文件夹/更深"


class PayloadOptions(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(SCRATCH, ignore_errors=True)
        os.makedirs(SCRATCH)
        cls.app = os.path.join(SCRATCH, "应用")
        for name, data in APP_FILES.items():
            write(os.path.join(cls.app, name), data)
        os.makedirs(os.path.join(cls.app, APP_EMPTY))

    def test_an_archive_is_carried_unchanged_and_its_faults_named(self):
        given = os.path.join(SCRATCH, "given.zip")
        with zipfile.ZipFile(given, "w", zipfile.ZIP_DEFLATED) as z:
            z.writestr("varnel.exe", b"MZ" * 500)
            z.writestr(zipfile.ZipInfo("lib/stored.dll"), b"stored")
        self.assertIsNone(pack("-DVARNEL_PAYLOAD_ZIP=" + given))
        with open(PAYLOAD, "rb") as a, open(given, "rb") as b:
            self.assertTrue(a.read() == b.read())

        bad = os.path.join(SCRATCH, "bad.zip")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr("varnel.exe", b"MZ")
            z.writestr("big.dat", b"x" * 100, compress_type=zipfile.ZIP_BZIP2)
        out = pack("-DVARNEL_PAYLOAD_ZIP=" + bad)
        self.assertIn('entry "big.dat": compression method 12; only stored (0), deflate (8) and Zstandard (93)', out or "")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr("app/varnel.exe", b"MZ")
        self.assertIn("no varnel.exe at the top level", pack("-DVARNEL_PAYLOAD_ZIP=" + bad) or "")
        with zipfile.ZipFile(bad, "w") as z:
            z.writestr("varnel.exe", b"MZ")
            z.writestr("数据.dat", b"UTF-8 named")
        self.assertIn("flag bit 11", pack("-DVARNEL_PAYLOAD_ZIP=" + bad) or "")

    def test_a_folder_is_packed_under_gbk_names_with_its_empty_folders(self):
        self.assertIsNone(pack("-DVARNEL_PAYLOAD_DIR=" + self.app))
        with zipfile.ZipFile(PAYLOAD, metadata_encoding="gbk") as z:
            infos = {i.filename: i for i in z.infolist()}
            self.assertEqual(sorted(infos), sorted(list(APP_FILES) + [APP_EMPTY + "/"]))
            for name, data in APP_FILES.items():
                self.assertEqual(z.read(name), data, name)
                self.assertEqual((infos[name].flag_bits, infos[name].external_attr), (0, 0x20), name)
            folder = infos[APP_EMPTY + "/"]
            self.assertEqual((folder.external_attr, folder.file_size), (0x10, 0))
        # A file added later is packed by the next build without reconfiguring.
        write(os.path.join(self.app, "新增.txt"), b"new")
        run = subprocess.run(["cmake", "--build", BUILD, "--target", "payload"], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout)
        with zipfile.ZipFile(PAYLOAD, metadata_encoding="gbk") as z:
            self.assertEqual(z.read("新增.txt"), b"new")
        os.remove(os.path.join(self.app, "新增.txt"))

        # A linked file is packed under its own name with the bytes it points at.
        outside = os.path.join(SCRATCH, "outside", "real.dll")
        write(outside, b"linked bytes")
        links = {"数据/链接.dll": os.path.relpath(outside, os.path.join(self.app, "数据")), "absolute.dll": outside}
        for name, target in links.items():
            os.symlink(target, os.path.join(self.app, name))
        try:
            self.assertIsNone(pack("-DVARNEL_PAYLOAD_DIR=" + self.app))
            with zipfile.ZipFile(PAYLOAD, metadata_encoding="gbk") as z:
                for name in links:
                    self.assertEqual(z.read(name), b"linked bytes", name)
        finally:
            for name in links:
                os.remove(os.path.join(self.app, name))

        for name in ("한국어.txt", "表情😀.txt"):
            write(os.path.join(self.app, "数据", name), b"")
            out = pack("-DVARNEL_PAYLOAD_DIR=" + self.app) or ""
            os.remove(os.path.join(self.app, "数据", name))
            self.assertIn("数据/" + name + ": the name has a character GBK cannot hold", out)


if __name__ == "__main__":
    unittest.main(verbosity=2)
