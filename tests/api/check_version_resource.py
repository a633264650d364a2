#!/usr/bin/env python3
"""Checks that Windows programs carry the expected version resource.

usage: check_version_resource.py VERSION FILE...

VERSION is MAJOR.MINOR.PATCH. In each FILE the fixed version block must
hold MAJOR.MINOR.PATCH.0 as file and product version, and the strings
FileVersion and ProductVersion must read VERSION.
"""
import re
import struct
import sys


def problems(path, version):
    with open(path, "rb") as handle:
        data = handle.read()
    at = data.find(struct.pack("<I", 0xFEEF04BD))  # the fixed block's signature
    if at < 0:
        return ["no version resource"]
    numbers = tuple(int(part) for part in version.split(".")) + (0,)
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    messages = [f"{name} version {found}, expected {numbers}" for name, found in (
        ("file", (file_ms >> 16, file_ms & 0xFFFF, file_ls >> 16, file_ls & 0xFFFF)),
        ("product", (product_ms >> 16, product_ms & 0xFFFF, product_ls >> 16, product_ls & 0xFFFF)))
        if found != numbers]
    for key in ("FileVersion", "ProductVersion"):
        # A String entry: the key in UTF-16 with its NUL, padding to 4 bytes,
        # then the value in UTF-16 with its NUL.
        match = re.search(re.escape((key + "\0").encode("utf-16-le")) +
                          rb"(?:\x00\x00)?((?:[^\x00]\x00)*)\x00\x00", data)
        value = match.group(1).decode("utf-16-le") if match else None
        if value != version:
            messages.append(f"{key} is {value!r}, expected {version!r}")
    return messages


def main():
    version, paths = sys.argv[1], sys.argv[2:]
    found = [f"{path}: {message}" for path in paths for message in problems(path, version)]
    for line in found:
        print(line)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
