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

FIXED_SIGNATURE = struct.pack("<I", 0xFEEF04BD)


def fixed_versions(data):
    at = data.find(FIXED_SIGNATURE)
    if at < 0:
        return None
    file_ms, file_ls, product_ms, product_ls = struct.unpack_from("<4I", data, at + 8)
    return [(ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF)
            for ms, ls in ((file_ms, file_ls), (product_ms, product_ls))]


def string_value(data, key):
    # A String entry: the key in UTF-16 with its NUL, padding to 4 bytes,
    # then the value in UTF-16 with its NUL.
    pattern = re.escape((key + "\0").encode("utf-16-le")) + rb"(?:\x00\x00)?((?:[^\x00]\x00)*)\x00\x00"
    match = re.search(pattern, data)
    return match.group(1).decode("utf-16-le") if match else None


def problems(path, version):
    with open(path, "rb") as handle:
        data = handle.read()
    numbers = tuple(int(part) for part in version.split(".")) + (0,)
    found = fixed_versions(data)
    if found is None:
        return ["no version resource"]
    messages = [f"{name} version {value}, expected {numbers}"
                for name, value in zip(("file", "product"), found) if value != numbers]
    for key in ("FileVersion", "ProductVersion"):
        value = string_value(data, key)
        if value != version:
            messages.append(f"{key} is {value!r}, expected {version!r}")
    return messages


def main():
    version, paths = sys.argv[1], sys.argv[2:]
    failed = False
    for path in paths:
        for message in problems(path, version):
            print(f"{path}: {message}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
