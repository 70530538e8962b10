"""Reads a shell link (.lnk) file by its published layout, independently of
the Windows side."""
import struct


def read_link(path):
    """The fields of a shell link file, read by its published layout."""
    with open(path, "rb") as f:
        data = f.read()
    assert struct.unpack_from("<I", data, 0)[0] == 0x4C, "not a shell link"
    flags = struct.unpack_from("<I", data, 0x14)[0]
    fields = {"show": struct.unpack_from("<I", data, 0x3C)[0], "hotkey": struct.unpack_from("<H", data, 0x40)[0]}
    pos = 0x4C
    if flags & 0x1:  # HasLinkTargetIDList
        pos += 2 + struct.unpack_from("<H", data, pos)[0]
    if flags & 0x2:  # HasLinkInfo: the local base path, ANSI
        info = data[pos:]
        base = struct.unpack_from("<I", info, 16)[0]
        if base:
            fields["base_path"] = info[base:info.index(b"\0", base)].decode("gbk")
        pos += struct.unpack_from("<I", data, pos)[0]
    unicode = bool(flags & 0x80)
    for flag, name in ((0x4, "description"), (0x8, "relative_path"), (0x10, "working_dir"),
                       (0x20, "arguments"), (0x40, "icon")):
        if flags & flag:
            count = struct.unpack_from("<H", data, pos)[0]
            pos += 2
            size = count * (2 if unicode else 1)
            # Wine counts the terminating 0 in (Windows does not): drop it.
            fields[name] = data[pos:pos + size].decode("utf-16-le" if unicode else "gbk").rstrip("\0")
            pos += size
    return fields
