#!/usr/bin/env python3
"""Runs the README's Windows commands as written, in the unpacked Windows
package, and each program they build under Wine.

usage: windows_readme.py README BUILD WORK RUNNER SOURCE_DIR

The commands are the shell block of the README's "## Windows" section. The
project's own programs stand for the user's: app.c is
examples/report_with_context.c, app.cpp is tests/api/mingw_cxx_client.cpp
for g++ and tests/api/msvc_client.cpp for the MSVC ABI. `wine` is RUNNER,
which runs Wine in the build's own prefix.
"""
import os
import re
import shutil
import subprocess
import sys


def readme_commands(readme):
    with open(readme) as handle:
        text = handle.read()
    section = text[text.index("\n## Windows\n"):]
    section = section[:section.index("\n## ", 1)]
    block = re.search(r"```sh\n(.*?)```", section, re.S).group(1)
    return [line for line in block.splitlines() if line and not line.startswith("#")]


def main():
    readme, build, work, runner, source = sys.argv[1:6]
    shutil.rmtree(work, ignore_errors=True)
    subprocess.run(["cpack", "-G", "ZIP", "-B", os.path.join(work, "package")], cwd=build,
                   check=True, stdout=subprocess.DEVNULL)
    package = next(f for f in os.listdir(os.path.join(work, "package")) if f.endswith(".zip"))
    subprocess.run(["unzip", "-q", os.path.join(work, "package", package), "-d",
                    os.path.join(work, "root")], check=True)
    folder = os.path.join(work, "root", package[:-len(".zip")])
    programs = {"gcc": "examples/report_with_context.c", "g++": "tests/api/mingw_cxx_client.cpp",
                "msvc": "tests/api/msvc_client.cpp"}
    for command in readme_commands(readme):
        kind = "msvc" if "windows-msvc" in command else "g++" if "g++" in command else "gcc"
        program = os.path.join(source, programs[kind])
        concrete = re.sub(r"\bapp\.cpp\b|\bapp\.c\b", program, command)
        concrete = re.sub(r"\bwine\b", runner, concrete)
        print(f"$ {command}", flush=True)
        result = subprocess.run(concrete, shell=True, cwd=folder)
        if result.returncode != 0:
            sys.exit(f"failed with status {result.returncode}: {concrete}")
    print("the README's Windows commands work as written")


if __name__ == "__main__":
    main()
