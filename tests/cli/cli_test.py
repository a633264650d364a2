#!/usr/bin/env python3
"""End-to-end tests of the faultkit command-line tool.

usage: cli_test.py FAULTKIT_EXECUTABLE WORK_DIR
"""
import json
import os
import struct
import subprocess
import sys
import unittest

TOOL = None
WORK = None


def run(*args, data=None):
    return subprocess.run([TOOL, *args], input=data, capture_output=True, timeout=60)


def path(name):
    return os.path.join(WORK, name)


class CommandLine(unittest.TestCase):
    def test_help_version_and_usage_errors(self):
        self.assertEqual(run("--help").returncode, 0)
        self.assertIn(b"faultkit", run("--version").stdout)
        self.assertEqual(run("convert", "--help").returncode, 0)
        self.assertEqual(run().returncode, 2)
        self.assertEqual(run("frobnicate").returncode, 2)
        self.assertEqual(run("convert", "--from", "utf-8").returncode, 2)
        unknown = run("convert", "--from", "klingon", "--to", "utf-8")
        self.assertEqual(unknown.returncode, 2)
        self.assertIn(b"klingon", unknown.stderr)

    def test_demo_narrates_every_stage(self):
        result = run("demo")
        self.assertEqual(result.returncode, 0, result.stderr)
        out = result.stdout.decode()
        for stage in range(1, 7):
            self.assertIn(f"== {stage}.", out)
        self.assertIn("imported into this process", out)
        self.assertIn("demo finished", out)


class Inspect(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.sample = path("sample.img")
        result = run("export-sample", cls.sample)
        assert result.returncode == 0, result.stderr
        with open(cls.sample, "rb") as handle:
            cls.image = handle.read()

    def inspect_bytes(self, data, *options):
        return run("inspect", *options, "-", data=data)

    def test_text_shows_every_field(self):
        result = run("inspect", self.sample)
        self.assertEqual(result.returncode, 0, result.stderr)
        out = result.stdout.decode()
        for text in ("0x00000002", "0x20000009", "{00DDBA11-CAFE-4BEE-8001-020304050607}",
                     "load configuration", "C:\\faultkit\\sample.ini", "parse line",
                     "integer   -1", '"sample.ini"', "-17", "C0DE", "0.250000", "'x'"):
            self.assertIn(text, out)

    def test_json_parses_back(self):
        result = run("inspect", "--json", self.sample)
        self.assertEqual(result.returncode, 0, result.stderr)
        document = json.loads(result.stdout)
        self.assertEqual(document["length"], len(self.image))
        root, last = document["errors"]
        self.assertEqual(root["error_number"], 2)
        self.assertEqual(root["text2"], "C:\\faultkit\\sample.ini")
        self.assertEqual(root["integer"], 3)
        self.assertEqual([v["text"] for v in root["context"]], ['"sample.ini"', "-17"])
        self.assertEqual(last["code"], "0x20000009")
        self.assertEqual(last["flags"], 2)
        self.assertIsNone(last["text2"])
        self.assertEqual([v["type"] for v in last["context"]], [129, 4, 5, 7])

    def assert_refused(self, data, what, offset):
        result = self.inspect_bytes(data)
        self.assertEqual(result.returncode, 1)
        message = result.stderr.decode()
        self.assertIn(what, message)
        self.assertIn(f"byte offset {offset}", message)

    def test_truncated_image(self):
        self.assert_refused(self.image[:50], "larger than the image", 0)

    def test_bad_trailer(self):
        broken = self.image[:-1] + bytes([self.image[-1] ^ 1])
        self.assert_refused(broken, "trailer", len(self.image) - 4)

    def test_string_running_into_the_trailer(self):
        # One record with aux_text1 present whose text has no NUL.
        body = struct.pack(">I", 5) + bytes(16) + struct.pack(">i", -1) + b"\x02" + b"abc"
        length = 8 + len(body) + 4
        image = struct.pack(">II", length, 1) + body + struct.pack(">I", length)
        self.assert_refused(image, "string", 33)


class Convert(unittest.TestCase):
    TEXT = "na\u00efve caf\u00e9 \u20ac 5 \u2014 \u00fcber\n".encode()

    def round_trip(self, encoding, text):
        source = path(f"round-{encoding}.txt")
        with open(source, "wb") as handle:
            handle.write(text)
        there = run("convert", "--from", "utf-8", "--to", encoding, source)
        self.assertEqual(there.returncode, 0, there.stderr)
        back = run("convert", "--from", encoding, "--to", "UTF-8", data=there.stdout)
        self.assertEqual(back.returncode, 0, back.stderr)
        self.assertEqual(back.stdout, text)
        return there.stdout

    def test_round_trips(self):
        self.assertEqual(self.round_trip("utf-16", self.TEXT), self.TEXT.decode().encode("utf-16-le"))
        self.assertEqual(self.round_trip("cp1252", self.TEXT), self.TEXT.decode().encode("cp1252"))
        large = self.TEXT * 20000  # several chunks
        self.round_trip("utf-32", large)

    def test_invalid_input_reports_its_offset(self):
        result = run("convert", "--from", "utf-8", "--to", "latin1", data=b"abc\xffdef")
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"byte offset 3", result.stderr)
        far = b"x" * 100000 + b"\xc3("
        result = run("convert", "--from", "utf-8", "--to", "utf-16", data=far)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"byte offset 100000", result.stderr)

    def test_replacement_character(self):
        result = run("convert", "--from", "utf-8", "--to", "us-ascii", "--replacement", "*",
                     data="a\u00e9b".encode())
        self.assertEqual(result.stdout, b"a*b")


if __name__ == "__main__":
    TOOL, WORK = sys.argv[1], sys.argv[2]
    os.makedirs(WORK, exist_ok=True)
    unittest.main(argv=sys.argv[:1], verbosity=2)
