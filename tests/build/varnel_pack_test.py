"""varnel-pack as a vendor runs it: an application folder or archive put into
the build's stub; what it refuses (a damaged or foreign stub, an archive the
installer could not install, a skin without the installer's elements) and
that nothing is left where the installer should be.
usage: varnel_pack_test.py SOURCE_DIR BUILD_DIR SCRATCH_DIR"""
import os
import shutil
import struct
import subprocess
import sys
import unittest
import zipfile

SOURCE, BUILD, SCRATCH = sys.argv[1:4]
del sys.argv[1:4]
PACK = os.path.join(BUILD, "host", "varnel-pack")
STUB = os.path.join(BUILD, "bin", "VarnelSetup-stub.exe")
INSTALLER = os.path.join(BUILD, "bin", "VarnelSetup.exe")
PAYLOAD = os.path.join(BUILD, "payload.zip")


def pack(app, out, *more, stub=STUB):
    return subprocess.run([PACK, "--stub", stub, "--app", app, "--out", out, *more], capture_output=True, text=True)


def blocks(path):
    """The RCDATA blocks of a program image by name, as the loader finds them."""
    with open(path, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
    optional = pe + 24
    plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    rva = struct.unpack_from("<I", data, optional + (112 if plus else 96) + 16)[0]
    sections = [struct.unpack_from("<IIII", data, optional + optional_size + 40 * i + 8) for i in range(count)]

    def at(r):
        return next(raw + r - va for size, va, _, raw in sections if va <= r < va + size)
    base, found = at(rva), {}

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base + offset + 12)
        return [struct.unpack_from("<II", data, base + offset + 16 + 8 * i) for i in range(named + ids)]
    for key, target in entries(0):
        if key == 10:
            for name, sub in entries(target & 0x7FFFFFFF):
                s = base + (name & 0x7FFFFFFF)
                label = data[s + 2:s + 2 + 2 * struct.unpack_from("<H", data, s)[0]].decode("utf-16-le")
                leaf = entries(sub & 0x7FFFFFFF)[0][1]
                data_rva, size = struct.unpack_from("<II", data, base + leaf)
                found[label] = data[at(data_rva):at(data_rva) + size]
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


class VarnelPack(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        shutil.rmtree(SCRATCH, ignore_errors=True)
        os.makedirs(SCRATCH)
        cls.vendor = os.path.join(SCRATCH, "厂商应用")
        subprocess.run([sys.executable, os.path.join(SOURCE, "tests", "installer", "make_vendor_app.py"), cls.vendor,
                        os.path.join(BUILD, "payload", "varnel.exe")], check=True)

    def path(self, name):
        return os.path.join(SCRATCH, name)

    def test_the_build_installer_is_the_stub_packed_and_packing_again_replaces_the_payload(self):
        out = self.path("demo.exe")
        run = pack(PAYLOAD, out)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(read(out), read(INSTALLER))
        stub = blocks(STUB)
        self.assertEqual(stub["PAYLOAD"], b"")

        # A folder: the archive written is the one the blocks carry, and an
        # installer packed before stands in for the stub.
        vendor = self.path("vendor.exe")
        self.assertEqual(pack(self.vendor, vendor).returncode, 0)
        again = self.path("vendor-again.exe")
        self.assertEqual(pack(self.vendor, again, stub=INSTALLER).returncode, 0)
        self.assertEqual(read(again), read(vendor))
        packed = blocks(vendor)
        self.assertEqual((packed["UI_LIBRARY"], packed["UI_PACKAGE"]), (stub["UI_LIBRARY"], stub["UI_PACKAGE"]))
        with open(self.path("vendor.zip"), "wb") as f:
            f.write(packed["PAYLOAD"])
        with zipfile.ZipFile(self.path("vendor.zip"), metadata_encoding="gbk") as z:
            self.assertIn("数据/俓路径.txt", z.namelist())
            self.assertEqual(z.read("数据/俓路径.txt"), "反斜杠尾字节".encode("gbk"))
            self.assertIn("空 文件夹/更深/", z.namelist())

    def test_damaged_or_foreign_stubs_are_refused_and_nothing_is_left_behind(self):
        out = self.path("refused.exe")
        with open(out, "wb") as f:
            f.write(b"the installer from before")
        whole = read(STUB)
        cases = {
            "cut.exe": (whole[:len(whole) // 2], "lies beyond the end of the file"),
            "app.exe": (read(os.path.join(BUILD, "payload", "varnel.exe")), "not an installer stub: it carries no"),
            "text.exe": (b"MZ but nothing more", "not an installer stub"),
        }
        for name, (data, message) in cases.items():
            with open(self.path(name), "wb") as f:
                f.write(data)
            run = pack(PAYLOAD, out, stub=self.path(name))
            self.assertNotEqual(run.returncode, 0, name)
            self.assertIn(message, run.stderr, name)
            self.assertEqual(read(out), b"the installer from before", name)
            self.assertFalse(os.path.exists(out + ".part"), name)

    def test_archives_the_installer_could_not_install_are_refused_naming_entry_and_rule(self):
        def archive(name, entries, cut=0):
            path = self.path(name)
            with zipfile.ZipFile(path, "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("varnel.exe", b"MZ" * 100)
                for entry, data in entries.items():
                    z.writestr(entry, data)
            if cut:
                with open(path, "r+b") as f:
                    f.truncate(os.path.getsize(path) - cut)
            return path
        cases = [
            (archive("device.zip", {"CON.txt": b"x"}), 'entry "CON.txt": the name holds a device name (CON)'),
            (archive("long.zip", {"a" * 260: b"x"}), "260 bytes long: under the install folder the path would pass"),
            (archive("up.zip", {"../outside.dll": b"x"}), "would be written outside the install folder"),
            (archive("cut.zip", {"b.dll": b"y" * 1000}, cut=1), "not a ZIP archive the installer can open"),
            (archive("case.zip", {"Varnel.EXE": b"x"}), "a second entry of this name"),
        ]
        for path, message in cases:
            run = pack(path, self.path("never.exe"))
            self.assertNotEqual(run.returncode, 0, path)
            self.assertIn(message, run.stderr, path)
            self.assertFalse(os.path.exists(self.path("never.exe")), path)
        # A folder's names are checked before anything is compressed.
        shutil.copytree(self.vendor, self.path("bad-folder"))
        with open(self.path("bad-folder/数据/AUX.dll"), "wb"):
            pass
        run = pack(self.path("bad-folder"), self.path("never.exe"))
        self.assertIn("数据/AUX.dll: the name holds a device name (AUX)", run.stderr)

    def test_a_skin_is_checked_before_it_is_packed(self):
        skin = self.path("skin")
        with zipfile.ZipFile(os.path.join(BUILD, "ui_package.zip")) as z:
            for info in z.infolist():
                target = os.path.join(skin, *info.filename.split("\\"))
                os.makedirs(os.path.dirname(target), exist_ok=True)
                with open(target, "wb") as f:
                    f.write(z.read(info))
        out = self.path("skinned.exe")
        run = pack(PAYLOAD, out, "--skin", skin)
        self.assertEqual(run.returncode, 0, run.stderr)
        with zipfile.ZipFile(os.path.join(BUILD, "ui_package.zip")) as a:
            with open(self.path("skin.zip"), "wb") as f:
                f.write(blocks(out)["UI_PACKAGE"])
            with zipfile.ZipFile(self.path("skin.zip")) as b:
                self.assertEqual({i.filename: b.read(i) for i in b.infolist()}, {i.filename: a.read(i) for i in a.infolist()})

        layout = os.path.join(skin, "main.xml")
        with open(layout, encoding="utf-8") as f:
            text = f.read()
        with open(layout, "w", encoding="utf-8") as f:
            f.write(text.replace('name="按钮_快速安装"', 'name="按钮_别的"'))
        run = pack(PAYLOAD, self.path("never.exe"), "--skin", skin)
        self.assertNotEqual(run.returncode, 0)
        self.assertIn("按钮_快速安装", run.stderr)
        self.assertFalse(os.path.exists(self.path("never.exe")))


if __name__ == "__main__":
    unittest.main(verbosity=2)
