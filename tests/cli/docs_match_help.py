#!/usr/bin/env python3
"""The manual page and the bash completion hold each command the tool's
help lists with exactly the options its help names; the page renders without
warnings, and the completion completes commands, options and encodings.

usage: docs_match_help.py FAULTKIT MANPAGE COMPLETION
"""
import re
import shutil
import subprocess
import sys
import unittest

TOOL = MANPAGE = COMPLETION = None
OPTION = re.compile(r"(?<![\w-])(--[a-z][a-z-]*|-[a-z])(?![\w-])")


def tool(*args):
    return subprocess.run([TOOL, *args], capture_output=True, text=True, check=True).stdout


def commands():
    overview = tool("--help")
    return [line.split()[0] for line in overview[overview.index("commands:"):].splitlines()[1:]
            if line.startswith("  ")]


def help_options(command):
    return set(OPTION.findall(tool("help", command))) | {"--help", "-h"}


def plain_roff(text):
    text = re.sub(r"\\f[BIRP]", "", text).replace("\\-", "-").replace("\\e", "\\")
    return re.sub(r"^\.(B|I|BR|RB|BI|IB|TP|PP|SS|SH)\b ?", "", text, flags=re.M)


def man_sections():
    """The plain text of each command's section, and of the whole page."""
    with open(MANPAGE) as handle:
        text = handle.read()
    pieces = re.split(r"^\.SS (\S+)\n", text[text.index(".SH COMMANDS"):text.index(".SH EXIT STATUS")],
                      flags=re.M)
    return dict(zip(pieces[1::2], map(plain_roff, pieces[2::2]))), plain_roff(text)


def complete(*words):
    """What the completion offers for the last of `words`."""
    line = " ".join(f"'{w}'" for w in (TOOL,) + words)
    script = (f"source '{COMPLETION}'; COMP_WORDS=({line}); COMP_CWORD={len(words)}; "
              "_faultkit; printf '%s\\n' \"${COMPREPLY[@]}\"")
    return subprocess.run(["bash", "-c", script], capture_output=True, text=True, check=True).stdout.split()


class ManualPage(unittest.TestCase):
    def test_every_command_has_its_section_with_its_options(self):
        sections, _ = man_sections()
        self.assertEqual(sorted(sections), sorted(commands()))
        for command, body in sections.items():
            self.assertEqual(set(OPTION.findall(body)) - {"--"} | {"--help", "-h"},
                             help_options(command), command)

    def test_synopsis_holds_every_usage_line_and_every_encoding(self):
        _, text = man_sections()
        for command in commands():
            usage = tool("help", command).splitlines()
            for line in [usage[0].removeprefix("usage: ")] + [
                    line.strip() for line in usage[1:] if line.startswith("       faultkit")]:
                self.assertIn(line, text, command)
        spans = [range(int(a), int(b) + 1) for a, b in re.findall(r"iso-8859-(\d+) to iso-8859-(\d+)", text)]
        for name in (line.split()[0] for line in tool("convert", "--list").splitlines()):
            ranged = re.match(r"iso-8859-(\d+)$", name)
            if not (ranged and any(int(ranged.group(1)) in span for span in spans)):
                self.assertIn(name, text)

    @unittest.skipUnless(shutil.which("groff") and shutil.which("man"), "groff or man is missing")
    def test_renders_without_warnings(self):
        result = subprocess.run(["groff", "-man", "-Tutf8", "-ww", "-z", MANPAGE],
                                capture_output=True, text=True)
        self.assertEqual((result.returncode, result.stderr), (0, ""))
        shown = subprocess.run(["man", "-l", MANPAGE], capture_output=True, text=True,
                               env={"MANWIDTH": "80", "PATH": "/usr/bin:/bin", "MANPAGER": "cat",
                                    "PAGER": "cat"})
        self.assertEqual(shown.returncode, 0, shown.stderr)
        self.assertIn("faultkit convert -l", shown.stdout)


class Completion(unittest.TestCase):
    def test_lists_match_the_help(self):
        with open(COMPLETION) as handle:
            text = handle.read()
        listed = re.search(r'local commands="([^"]*)"', text).group(1).split()
        cases = {name: set(words.split())
                 for name, words in re.findall(r'^\s*([a-z-]+)\) options="([^"]*)"', text, flags=re.M)}
        self.assertEqual(sorted(listed), sorted(commands() + ["help"]))
        self.assertEqual(sorted(cases), sorted(commands()))
        for command, options in cases.items():
            self.assertEqual(options, help_options(command), command)

    def test_completes_commands_options_and_encodings(self):
        self.assertEqual(complete("ex"), ["export-sample"])
        self.assertEqual(sorted(complete("inspect", "--")), ["--help", "--import", "--json"])
        for words in (("-f", "utf"), ("--to", "=", "utf"), ("--from", "=")):
            self.assertTrue({"utf-16", "utf-8"} <= set(complete("convert", *words)), words)
        self.assertIn("--to=utf-16le", complete("convert", "--to=utf-16"))
        self.assertEqual(complete("help", "con"), ["convert"])


if __name__ == "__main__":
    TOOL, MANPAGE, COMPLETION = sys.argv[1:4]
    unittest.main(argv=sys.argv[:1], verbosity=2)
