#!/usr/bin/env python3
"""The payload archive as built, read back by independent readers (Info-ZIP's
unzip and zipinfo, Python's zipfile).
usage: archive_payload_check.py PAYLOAD.zip [--ui-library XCGUI.dll] [--same-as FILE]"""
import argparse
import subprocess
import sys
import unittest
import zipfile

args = None


class PayloadReadBack(unittest.TestCase):
    def test_info_zip_tests_every_entry(self):
        run = subprocess.run(["unzip", "-t", args.payload], capture_output=True, text=True)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        listing = subprocess.run(["zipinfo", args.payload], capture_output=True, text=True)
        self.assertEqual(listing.returncode, 0, listing.stderr)
        self.assertIn("varnel.exe", listing.stdout)

    def test_carried_as_given(self):
        if not args.same_as:
            self.skipTest("packed here")
        with open(args.payload, "rb") as a, open(args.same_as, "rb") as b:
            self.assertTrue(a.read() == b.read(), "payload.zip differs from " + args.same_as)

    def test_entries_have_the_fields_the_installer_expects(self):
        if args.same_as:
            self.skipTest("an archive carried as it is keeps its own fields")
        with zipfile.ZipFile(args.payload, metadata_encoding="gbk") as z:
            infos = z.infolist()
            self.assertIn("varnel.exe", [i.filename for i in infos])
            for i in infos:
                with self.subTest(entry=i.filename):
                    # Folders appear only when empty: stored, attribute 0x10.
                    folder = i.is_dir()
                    self.assertEqual(i.compress_type, zipfile.ZIP_STORED if folder else zipfile.ZIP_DEFLATED)
                    self.assertEqual(i.create_system, 0)
                    self.assertEqual(i.external_attr, 0x10 if folder else 0x20)
                    self.assertEqual(i.flag_bits, 0)
                    self.assertEqual(i.extra, b"")
                    self.assertEqual(i.date_time, (2024, 11, 18, 0, 0, 0))

    def test_ui_library_entry_is_the_built_library(self):
        if not args.ui_library:
            self.skipTest("no UI library given")
        with zipfile.ZipFile(args.payload) as z, open(args.ui_library, "rb") as f:
            self.assertTrue(z.read("XCGUI.dll") == f.read(), "XCGUI.dll entry differs from " + args.ui_library)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("payload")
    parser.add_argument("--ui-library")
    parser.add_argument("--same-as")
    args, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
