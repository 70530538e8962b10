#!/usr/bin/env python3
"""A vendor's application folder as a Chinese vendor would ship it: Chinese
names, blanks, "=", "&", brackets, a GBK trail byte 0x5C ("俓"), subfolders
and a folder that holds nothing; its varnel.exe is the demo application.
usage: make_vendor_app.py FOLDER VARNEL_EXE"""
import os
import shutil
import sys

folder, exe = sys.argv[1], sys.argv[2]
shutil.rmtree(folder, ignore_errors=True)
files = {
    "数据/子目录/资源.dat": bytes(range(256)) * 64,
    "数据/俓路径.txt": "反斜杠尾字节".encode("gbk"),
    "设置 文件.ini": "[界面]\r\n语言=中文\r\n".encode("gbk"),
    "a&b (1).txt": b"ampersand and brackets",
    "k=v [2].txt": b"",
}
for name, data in files.items():
    path = os.path.join(folder, *name.split("/"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
os.makedirs(os.path.join(folder, "空 文件夹", "更深"))
shutil.copy(exe, os.path.join(folder, "varnel.exe"))
