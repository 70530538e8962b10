"""The UI package as an independent reader (Python's zipfile) sees it: the
entries, their ZIP fields, and the layout names the installer looks up."""
import sys
import unittest
import xml.etree.ElementTree as ElementTree
import zipfile

PACKAGE = sys.argv.pop(1)
NAMES = ["布局元素_1", "布局元素_2", "布局元素_3", "布局元素_4", "按钮_快速安装", "按钮_自定义安装", "按钮_用户协议",
         "标签_安装路径", "编辑框_安装位置", "按钮_浏览", "按钮_快捷方式", "按钮_返回", "按钮_立即安装", "标签_安装状态",
         "进度条_1", "按钮_立即体验", "标签_标题", "标签_3"]


class UiPackage(unittest.TestCase):
    def setUp(self):
        self.archive = zipfile.ZipFile(PACKAGE)

    def test_entries_are_deflated_utf8_named_windows_made_with_backslashes(self):
        names = [info.filename for info in self.archive.infolist()]
        self.assertEqual(names[:3], ["main.xml", "resource.res", "img\\背景图（大）.png"])
        for info in self.archive.infolist():
            self.assertEqual(info.compress_type, zipfile.ZIP_DEFLATED, info.filename)
            self.assertEqual(info.flag_bits, 0x80C, info.filename)
            self.assertEqual(info.create_system, 0, info.filename)
        self.assertIsNone(self.archive.testzip())

    def test_layout_has_every_name_once_and_only_page_one_shown(self):
        text = self.archive.read("main.xml").decode("utf-8")
        self.assertTrue(text.startswith('<?xml version="1.0" encoding="UTF-8"?>\n<!--'))
        root = ElementTree.fromstring("<root>" + text.split("?>", 1)[1] + "</root>")
        named = [e.get("name") for e in root.iter() if e.get("name")]
        for name in NAMES:
            self.assertEqual(named.count(name), 1, name)
        pages = {e.get("name"): e.get("show", "true") for e in root.iter() if e.get("name", "").startswith("布局元素_")}
        self.assertEqual(pages, {"布局元素_1": "true", "布局元素_2": "false", "布局元素_3": "false", "布局元素_4": "false"})

    def test_resources_name_the_header_picture_and_the_colours(self):
        text = self.archive.read("resource.res").decode("utf-8")
        for piece in ('value="img\\背景图（大）.png"', '"-4664032"', '"-10105856"', "亮色按钮_5", "灰色按钮_5"):
            self.assertIn(piece, text)


if __name__ == "__main__":
    unittest.main(verbosity=2)
