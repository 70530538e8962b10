"""The shipped binaries as a user receives them: fixed PE time stamps, no
debug sections (their debug file lies beside them, named by a debug link),
and no path of the machine that built them.
usage: shipped_check.py EPOCH SOURCE_DIR BUILD_DIR FILE..."""
import os
import struct
import sys
import unittest

EPOCH, SOURCE, BUILD = int(sys.argv.pop(1)), sys.argv.pop(1), sys.argv.pop(1)
FILES = sys.argv[1:]
del sys.argv[1:]


def pe(path):
    """(time stamp, export directory time stamp or None, section names, file bytes)."""
    with open(path, "rb") as f:
        data = f.read()
    at = struct.unpack_from("<I", data, 0x3C)[0]
    assert data[at:at + 4] == b"PE\0\0", path
    sections, stamp, table, symbols, optional_size = struct.unpack_from("<HIIIH", data, at + 6)
    strings = table + 18 * symbols  # long section names, "/<offset>" into this
    optional = at + 24
    # The data directories follow a longer header in PE32+ (x86_64) files.
    plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
    export_rva = struct.unpack_from("<I", data, optional + (112 if plus else 96))[0]
    names, export_stamp = [], None
    for i in range(sections):
        s = optional + optional_size + 40 * i
        name = data[s:s + 8].rstrip(b"\0").decode("latin-1")
        if name.startswith("/") and table:
            start = strings + int(name[1:])
            name = data[start:data.index(b"\0", start)].decode("latin-1")
        size, rva, raw_size, raw = struct.unpack_from("<IIII", data, s + 8)
        names.append(name)
        if export_rva and rva <= export_rva < rva + size:
            export_stamp = struct.unpack_from("<I", data, raw + export_rva - rva + 4)[0]
    return stamp, export_stamp, names, data, symbols


class Shipped(unittest.TestCase):
    def test_time_stamps_are_fixed(self):
        for path in FILES:
            stamp, export_stamp, *_ = pe(path)
            self.assertEqual(stamp, EPOCH, path)
            if export_stamp is not None:
                self.assertEqual(export_stamp, EPOCH, path)

    def test_stripped_with_the_debug_file_beside(self):
        for path in FILES:
            _, _, names, data, symbols = pe(path)
            self.assertEqual(symbols, 0, path + ": a symbol table")
            self.assertFalse([n for n in names if n.startswith(".debug")], path)
            self.assertIn(".gnu_debuglink", names, path)
            # A packed installer names its stub's debug file: the code is the stub's.
            stem = os.path.basename(path).replace("VarnelSetup.exe", "VarnelSetup-stub.exe")
            debug = stem + ".debug"
            self.assertIn(debug.encode() + b"\0", data, path)
            self.assertTrue(os.path.isfile(os.path.join(os.path.dirname(path), debug)), debug)

    def test_no_path_of_the_build_machine(self):
        for path in FILES:
            with open(path, "rb") as f:
                data = f.read()
            for folder in {SOURCE, BUILD, os.path.realpath(SOURCE)}:
                for form in (folder.encode(), folder.encode("utf-16-le")):
                    self.assertNotIn(form, data, path + " holds " + folder)


if __name__ == "__main__":
    unittest.main(verbosity=2)
