#!/usr/bin/env python3
"""End-to-end tests of the faultkit command-line tool: its exit statuses
(0 done, 1 failed, 2 misused), options and messages, and output that is
well-formed whatever the input.

usage: cli_test.py FAULTKIT_EXECUTABLE WORK_DIR
"""
import json
import os
import pty
import re
import struct
import subprocess
import sys
import unittest

TOOL = WORK = None


def run(*args, data=None):
    return subprocess.run([TOOL, *args], input=data, capture_output=True, timeout=60)


def path(name):
    return os.path.join(WORK, name)


def max_rss_kib(args, feed, chunks):
    """Exit status and peak memory in KiB of the tool fed `chunks` blocks of
    `feed`, read before its input ends (the program's own high-water mark,
    not its parent's). Skips under an emulator, whose memory it would count."""
    with open(os.devnull, "wb") as sink:
        process = subprocess.Popen([TOOL, *args], stdin=subprocess.PIPE, stdout=sink,
                                   stderr=subprocess.DEVNULL)
        for _ in range(chunks):
            process.stdin.write(feed)
        process.stdin.flush()
        with open(f"/proc/{process.pid}/status") as status:
            peak = next(int(line.split()[1]) for line in status if line.startswith("VmHWM:"))
        emulated = os.path.realpath(f"/proc/{process.pid}/exe") != os.path.realpath(TOOL)
        process.stdin.close()
        exit_status = process.wait(timeout=60)
    if emulated and exit_status == 0:
        raise unittest.SkipTest("the tool ran under an emulator, whose memory is not the tool's")
    return exit_status, peak


def image_of(code, aux_int, strings, kind, payload):
    """A transfer image of one record: its (name, text1, text2) bytes and a
    context of one value of type `kind`."""
    head = struct.pack(">I16siB", code, bytes(range(16)), aux_int, 0x0F)
    item = struct.pack(">HHII", kind, 0, len(payload), 0) + payload
    body = head + item + b"".join(text + b"\0" for text in strings)
    return struct.pack(">II", len(body) + 12, 1) + body + struct.pack(">I", len(body) + 12)


HOSTILE = b"bad \xff\xfe utf-8 \x1b[31m red \x07 \"quoted\" back\\slash \xed\xa0\x80 \xc2\x9b end"


class CommandLine(unittest.TestCase):
    def test_exit_statuses_and_messages(self):
        missing = path("no-such-file")
        # (arguments, exit status, bytes its output or errors hold); a name
        # from the command line comes back between quotes, escaped.
        cases = [([], 2, b""), (["frobnicate"], 2, b""), (["help"], 0, b""),
                 (["--help"], 0, b"faultkit"), (["--version"], 0, b"faultkit"),
                 (["help", "demo"], 0, b"usage: faultkit demo\n"),
                 (["help", "help"], 0, b"usage: faultkit help [COMMAND]"),
                 (["convert", "--help"], 0, b"faultkit convert -l"),
                 (["help", "bogus"], 2, b"'bogus'"), (["inspect", "--bogus"], 2, b"'--bogus'"),
                 (["inspect", "--json=yes"], 2, b"'--json'"), (["demo", "x"], 2, b"'x'"),
                 (["--version", "x"], 2, b""), (["--help", "x"], 2, b""),
                 (["convert"], 2, b"faultkit convert -l"), (["convert", "--from", "utf-8"], 2, b""),
                 (["convert", "-f", "bad\x1b[2Jname", "-t", "utf-8"], 2, b"'bad\\x1B[2Jname'"),
                 (["convert", "-c", "--strict", "-f", "utf8", "-t", "utf8"], 2, b""),
                 (["convert", "-f", "utf8", "-t", "ascii//TRANSLIT"], 2, b""),
                 (["convert", "-f", "utf-8", "-t", "utf-8", WORK], 1, b"Is a directory"),
                 (["convert", "-f", "utf-8", "-t", "utf-8", missing], 1, b"No such file or directory"),
                 (["convert", "-f", "utf-8", "-t", "latin1", "--", "-x"], 1, b"cannot open '-x'"),
                 (["inspect", WORK], 1, b"Is a directory"),
                 (["inspect", missing], 1, b"No such file or directory")]
        # An unknown encoding gets one line that names the closest.
        for name, closest in (("utf9", b"closest: utf-8 "), ("latin11", b"closest: latin1, latin10 ("),
                              ("ucs3", b"closest: ucs-2, ucs-4 ("), ("klingon", b"encoding 'klingon' (")):
            cases.append((["convert", "-f", name, "-t", "utf-8"], 2, closest))
        for args, status, text in cases:
            result = run(*args)
            self.assertEqual(result.returncode, status, args)
            self.assertIn(text, result.stdout + result.stderr, args)
            self.assertNotIn(b"\x1b", result.stderr, args)
            if b"closest" in text or b"encoding '" in text:
                self.assertEqual(result.stderr.count(b"\n"), 1, result.stderr)

    def test_every_command_that_writes_fails_on_a_full_device(self):
        sample = path("full-sample.img")
        run("export-sample", sample)
        for args in (["--help"], ["--version"], ["help", "inspect"], ["demo"],
                     ["inspect", sample], ["inspect", "--json", "--import", sample],
                     ["convert", "-f", "utf-8", "-t", "utf-16", sample], ["convert", "--list"],
                     ["export-sample", "-"]):
            with open("/dev/full", "wb") as full:
                result = subprocess.run([TOOL, *args], stdout=full, stderr=subprocess.PIPE,
                                        timeout=60)
            self.assertEqual(result.returncode, 1, args)
            self.assertIn(b"No space left on device", result.stderr, args)

    def test_a_closed_pipe_ends_quietly(self):
        tool = subprocess.Popen([TOOL, "convert", "-f", "utf-8", "-t", "utf-32"],
                                stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)
        tool.stdout.close()
        self.assertEqual(tool.communicate(b"x" * 1000000)[1], b"")

    def test_export_sample_refuses_a_terminal_without_a_file_or_dash(self):
        leader, follower = pty.openpty()
        result = subprocess.run([TOOL, "export-sample"], stdout=follower, stderr=subprocess.PIPE,
                                timeout=60)
        os.close(follower)
        try:
            written = os.read(leader, 4096)
        except OSError:  # EIO: the terminal holds nothing
            written = b""
        os.close(leader)
        self.assertEqual((result.returncode, written), (2, b""))
        self.assertIn(b"terminal", result.stderr)

    def test_demo_shows_each_call_as_c(self):
        result = run("demo")
        self.assertEqual(result.returncode, 0, result.stderr)
        out = result.stdout.decode()
        for text in [f"== {stage}." for stage in range(1, 7)] + [
                "imported into this process", "ErrorMgrCreate(&storage, &storage_uuid);",
                "= ErrorMgrBuildContext(", "ErrorMgrSetErrorFull(storage, 5, context,",
                "ErrorMgrRedirect(main_handle);", "while (ErrorMgrEnumErrors(storage, &record))",
                "ErrorMgrExport(NULL, 0);", "ErrorMgrImport(image);",
                "= ErrorMgrGetRootError(network, &root);", "// 22 bytes written",
                "// 24: \"disk0\", 42, 97.500000, each NUL-terminated", "CtxUInt64 (%llu): 1500"]:
            self.assertIn(text, out)
        self.assertNotIn("type 130", out)
        facilities = re.findall(r"facility (0x\w+)", out)
        self.assertTrue(facilities and all(re.fullmatch(r"0x0[0-9A-F]{3}0000", f) for f in facilities))
        self.assertIn("examples/", out.splitlines()[-3])
        self.assertIn("include/faultkit.h", out.splitlines()[-2])


class Inspect(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sample = path("sample.img")
        assert run("export-sample", cls.sample).returncode == 0
        with open(cls.sample, "rb") as handle:
            cls.image = handle.read()

    def inspect_bytes(self, data, *options):
        return run("inspect", *options, "-", data=data)

    def json_of(self, result):
        self.assertEqual(result.returncode, 0, result.stderr)
        return json.loads(result.stdout)

    def test_text_shows_every_field(self):
        result = run("inspect", self.sample)
        self.assertEqual(result.returncode, 0, result.stderr)
        for text in ("0x00000002", "0x20000009", "{00DDBA11-CAFE-4BEE-8001-020304050607}",
                     "load configuration", "C:\\faultkit\\sample.ini", "parse line",
                     "integer   -1", '"sample.ini"', "-17", "C0DE", "0.250000", "'x'"):
            self.assertIn(text, result.stdout.decode())

    def test_json_is_one_document_with_or_without_import(self):
        document = self.json_of(run("inspect", "--json", self.sample))
        self.assertEqual(document["length"], len(self.image))
        root, last = document["errors"]
        self.assertEqual((root["error_number"], root["text2"], root["integer"]),
                         (2, "C:\\faultkit\\sample.ini", 3))
        self.assertEqual([v["text"] for v in root["context"]], ['"sample.ini"', "-17"])
        self.assertEqual((last["code"], last["flags"], last["text2"]), ("0x20000009", 2, None))
        self.assertEqual([v["type"] for v in last["context"]], [129, 4, 5, 7])
        imported = self.json_of(run("inspect", "--json", "--import", self.sample))["imported"]
        self.assertEqual(imported["count"], 2)
        self.assertEqual([e["error_number"] for e in imported["errors"]], [2, 9])
        self.assertTrue(all(e["facility"] > 0 for e in imported["errors"]))

    def test_hostile_strings_stay_valid_json_and_reach_a_terminal_escaped(self):
        image = image_of(3, 7, (HOSTILE, HOSTILE, b"\x01\x7f"), 8, HOSTILE + b"\0")
        for options in (["--json"], ["--json", "--import"]):
            document = self.json_of(self.inspect_bytes(image, *options))
            errors = document["errors"] + (document["imported"]["errors"] if "imported" in document else [])
            for error in errors:
                self.assertEqual(error["text1"].encode("utf-8", "surrogateescape"), HOSTILE)
                self.assertEqual(error["text2"], "\x01\x7f")
            self.assertEqual(document["errors"][0]["component_name"].encode("utf-8", "surrogateescape"),
                             HOSTILE)
        text = self.inspect_bytes(image, "--import")
        self.assertEqual(text.returncode, 0, text.stderr)
        for raw in (b"\x1b", b"\x07", b"\xff", b"\xc2\x9b", b"\x01", b"\x7f", b"\xed\xa0"):
            self.assertNotIn(raw, text.stdout)
        for shown in (b"\\x1B[31m", b"\\x07", b"\\xFF\\xFE", b"\\xC2\\x9B", b"\\xED\\xA0\\x80",
                      b'"quoted"'):
            self.assertIn(shown, text.stdout)

    def test_bytes_after_the_image_are_noted_not_held(self):
        result = self.inspect_bytes(self.image + b"junk")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn(b"4 byte(s) follow the image's length of %d" % len(self.image), result.stderr)
        self.assertEqual(self.json_of(self.inspect_bytes(self.image + b"junk", "--json"))
                         ["trailing_bytes"], 4)
        status, rss = max_rss_kib(["inspect", "-"], self.image + bytes(1 << 20), 50)
        self.assertEqual(status, 0)
        self.assertLess(rss, 16 * 1024)

    def test_a_malformed_image_is_refused_with_the_problem_and_its_offset(self):
        # Problems within the records: HostileImage in tests/transfer.
        cases = [(b"\0\0\0\x04", "length field below 12", 0),
                 (self.image[:50], "length field larger than the image", 0),
                 (self.image[:-1] + bytes([self.image[-1] ^ 1]),
                  "trailer differs from the length field", len(self.image) - 4)]
        for data, what, offset in cases:
            result = self.inspect_bytes(data)
            self.assertEqual(result.returncode, 1, what)
            self.assertIn(f"{what} at byte offset {offset}\n", result.stderr.decode())
            as_json = self.inspect_bytes(data, "--json")
            self.assertEqual(as_json.returncode, 1)
            problem = json.loads(as_json.stdout)["problem"]
            self.assertEqual((problem["what"], problem["offset"]), (what, offset))


class Convert(unittest.TestCase):
    def test_each_mode_far_into_the_input(self):
        data = b"a" * 100000 + b"\xff" + "\u20ac".encode() + b"b"
        default = run("convert", "-f", "utf-8", "-t", "latin1", data=data)
        self.assertEqual((default.returncode, default.stdout), (0, b"a" * 100000 + b"??b"))
        self.assertIn(b"replaced 2 characters that did not convert; the first: ill-formed utf-8 "
                      b"(byte 0xFF) at byte offset 100000", default.stderr)
        dropped = run("convert", "-c", "-f", "utf-8", "-t", "latin1", data=data)
        self.assertEqual((dropped.returncode, dropped.stdout), (0, b"a" * 100000 + b"b"))
        self.assertIn(b"dropped 2 characters", dropped.stderr)
        for target, output in (("latin1", b"a" * 100000), ("utf-16le", b"a\0" * 100000)):
            strict = run("convert", "--strict", "-f", "utf-8", "-t", target, data=data)
            self.assertEqual((strict.returncode, strict.stdout, strict.stderr), (1, output,
                             b"faultkit: ill-formed utf-8 (byte 0xFF) at byte offset 100000\n"))
        stars = run("convert", "--replacement", "*", "-f", "utf-8", "-t", "ascii", data=data)
        self.assertEqual(stars.stdout, b"a" * 100000 + b"**b")
        status, rss = max_rss_kib(["convert", "-f", "utf-8", "-t", "utf-32"], b"caf\xc3\xa9 " * 100000, 80)
        self.assertEqual(status, 0)
        self.assertLess(rss, 16 * 1024)

    def test_iconv_options(self):
        euro = "caf\u00e9 \u20ac".encode()
        for args in (["-f", "utf-8", "-t", "ISO_8859-1//IGNORE"], ["-cfutf_8", "-tiso88591"],
                     ["--from", "UTF8", "-c", "--to=Latin-1"], ["-cf", "utf-8", "-t", "ISO8859_1"]):
            result = run("convert", *args, data=euro)
            self.assertEqual((result.returncode, result.stdout), (0, b"caf\xe9 "), args)
        output = path("converted.txt")
        written = run("convert", "-f", "windows1252", "-t", "utf-8", "-o", output, data=b"\x80")
        self.assertEqual((written.returncode, written.stdout), (0, b""))
        same = run("convert", "-f", "cp-1252", "-t", "utf-8", "-o", output, output)
        self.assertEqual(same.returncode, 1)
        self.assertIn(b"is the input", same.stderr)
        back = run("convert", "--from=utf-8", "--to", "cp1252", output)
        self.assertEqual(back.stdout, b"\x80", "written, and left whole as the input")
        listed = [line.split() for line in run("convert", "-l").stdout.decode().splitlines()]
        self.assertEqual([line[0] for line in listed[:3]], ["utf-8", "utf-16", "utf-16le"])
        self.assertIn("iso-8859-15 iso_8859-15:1998 iso-ir-203 latin9 l9".split(), listed)


if __name__ == "__main__":
    TOOL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
