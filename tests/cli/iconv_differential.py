#!/usr/bin/env python3
"""faultkit convert against the iconv program (glibc), over every pair of
encodings both know, in the three modes.

usage: iconv_differential.py FAULTKIT [--seed N] [--inputs N]

Each pair gets random inputs of valid characters and, now and then, one
that does not convert (an ill-formed sequence, a surrogate, a value above
U+10FFFF, a byte without a character, a character the target lacks, a cut
end), fed to faultkit in random chunks:
  -c        faultkit writes what iconv -c writes;
  --strict  faultkit writes what iconv writes by default (it stops at the
            first problem), fails when it fails, and at the same offset;
  default   faultkit's output without its replacements is iconv -c's, and
            its note counts the replacements, as -c's note counts the drops.
Where the two differ on purpose, the inputs keep clear: the code-page bytes
the tables map otherwise (checked below against the known list), values
above U+10FFFF in and between UTF-8 and UCS-4 and surrogates in UCS-4
(glibc carries them), a byte-order mark that iconv writes without a
character after it, and the exit status of -c (glibc's depends on where
the dropped character lies; faultkit's is 0). Every name faultkit lists
that iconv knows must name the same encoding in iconv.
"""
import argparse
import concurrent.futures
import random
import re
import subprocess
import sys

TOOL = None
UNICODE = {  # faultkit's name: (Python codec, unit bytes, big-endian, mark read and written)
    "utf-8": ("utf-8", 1, False, False), "utf-16": ("utf-16-le", 2, False, True),
    "utf-16le": ("utf-16-le", 2, False, False), "utf-16be": ("utf-16-be", 2, True, False),
    "utf-32": ("utf-32-le", 4, False, True), "utf-32le": ("utf-32-le", 4, False, False),
    "utf-32be": ("utf-32-be", 4, True, False), "ucs-2": ("utf-16-le", 2, False, False),
    "ucs-2le": ("utf-16-le", 2, False, False), "ucs-2be": ("utf-16-be", 2, True, False),
    "ucs-4": ("utf-32-be", 4, True, False), "ucs-4le": ("utf-32-le", 4, False, False),
}
# Bytes that the library's code pages map otherwise than glibc's: DEL (0x7F)
# and the C1 controls (0x80-0x9F) are unmapped in the library's ISO 8859
# tables (8859-16 keeps DEL); 8859-7 lacks the 2003 additions (euro,
# drachma, ypogegrammeni) and has U+02BD/U+02BC at 0xA1/0xA2; 8859-8 has
# U+203E at 0xAF and lacks LRM/RLM at 0xFD/0xFE.
C1 = set(range(0x80, 0xA0))
KNOWN_TABLE_DIFFERENCES = {"us-ascii": {0x7F}, "windows-1252": {0x7F}, "tis-620": {0x7F},
                           "iso-8859-16": C1,
                           "iso-8859-7": {0x7F, 0xA1, 0xA2, 0xA4, 0xA5, 0xAA} | C1,
                           "iso-8859-8": {0x7F, 0xAF, 0xFD, 0xFE} | C1}
BAD_UTF8 = [b"\xff", b"\x80", b"\xc0\xaf", b"\xed\xa0\x80", b"\xe2\x82"]
# glibc's UTF-8 and UCS-4 carry values above U+10FFFF between each other and
# themselves; faultkit holds both to scalar values, as UTF-32.
ABOVE_UNICODE = [b"\xf4\x90\x80\x80", b"\xf8\x88\x80\x80\x80"]


def run(argv, data, chunks=()):
    """(exit status, stdout, stderr); with chunks, the input goes in pieces
    that end at those offsets."""
    process = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                               stderr=subprocess.PIPE)
    start = 0
    try:
        for end in chunks:
            process.stdin.write(data[start:end])
            process.stdin.flush()
            start = end
    except BrokenPipeError:  # it stopped reading: --strict
        start = len(data)
    out, err = process.communicate(data[start:])
    return process.returncode, out, err.decode(errors="replace")


def page_tables(page):
    """The characters of the page's 256 bytes (None: none), by faultkit and
    by iconv, whose output is split at the "AB" after every byte."""
    ours = run([TOOL, "convert", "-f", page, "-t", "utf-32le"], bytes(range(256)))[1]
    ours = [None if c == "\ufffd" else c for c in ours.decode("utf-32-le")]
    probe = b"".join(bytes([b]) + b"AB" for b in range(256))
    text = run(["iconv", "-c", "-f", page, "-t", "UTF-32LE"], probe)[1].decode("utf-32-le")
    theirs, at = [], 0
    while at < len(text):
        single = text.startswith("AB", at)
        theirs.append(None if single else text[at])
        at += 2 if single else 3
    return ours, theirs


class Encodings:
    """Every encoding's characters to draw and how to write them."""

    def __init__(self, names, pages):
        self.names = names
        self.bytes_of = {}  # page: {character: byte}, the characters both map alike
        self.bad_bytes = {}  # page: bytes both leave unmapped
        avoided = {"?", "\ufffd"}  # so that replacements can be counted
        for page in pages:
            ours, theirs = page_tables(page)
            differ = {b for b in range(256) if ours[b] != theirs[b]}
            expected = KNOWN_TABLE_DIFFERENCES.get(page, {0x7F} | C1)
            if differ != expected:
                sys.exit(f"{page}: tables differ at {sorted(differ ^ expected)} unexpectedly")
            avoided |= {c for b in differ for c in (ours[b], theirs[b]) if c}
            self.bytes_of[page] = {ours[b]: bytes([b]) for b in range(256)
                                   if ours[b] and b not in differ}
            self.bad_bytes[page] = [bytes([b]) for b in range(256) if ours[b] is None and
                                    b not in differ]
        for page in pages:
            self.bytes_of[page] = {c: b for c, b in self.bytes_of[page].items() if c not in avoided}
        paged = {c for table in self.bytes_of.values() for c in table}
        wide = {chr(c) for c in [*range(0x100, 0x2000, 13), *range(0x4E00, 0xD800, 211),
                                 *range(0xE000, 0xFFFE, 97), *range(0x10000, 0x110000, 4099)]}
        self.characters = sorted((paged | wide) - avoided)

    def repertoire(self, name):
        if name in self.bytes_of:
            return sorted(self.bytes_of[name])
        return [c for c in self.characters if not name.startswith("ucs-2") or c < "\U00010000"]

    def bad_units(self, name, target):
        """Problems of the source form: ill-formed bytes, or unit values."""
        large = not target.startswith(("ucs-4", "utf-8"))
        if name in self.bad_bytes:
            return self.bad_bytes[name]
        if name == "utf-8":
            return BAD_UTF8 + (ABOVE_UNICODE if large else [])
        _, unit, _, _ = UNICODE[name]
        if name.startswith("ucs-4"):
            return [0x80000000, 0xFFFFFFFF]
        return [0xD800, 0xDFFF, 0x110000] if unit == 4 else [0xD800, 0xDC00]

    def write(self, name, items, big):
        """The items (characters, or problems as bytes or unit values) in the
        encoding, its units in big-endian order when `big`."""
        data = b""
        for item in items:
            if isinstance(item, bytes):
                data += item
            elif isinstance(item, int):
                data += item.to_bytes(UNICODE[name][1], "big" if big else "little")
            elif name in self.bytes_of:
                data += self.bytes_of[name][item]
            else:
                data += item.encode(UNICODE[name][0][:-2] + ("be" if big else "le")
                                    if UNICODE[name][1] > 1 else "utf-8")
        return data


def random_input(rng, encodings, source, target):
    """Characters of the source, mostly ASCII or ones the target has, a tenth
    of them problems; for UTF-16 and UTF-32 now and then a mark of either
    order; now and then a cut end."""
    own = encodings.repertoire(source)
    owned = set(own)
    shared = [c for c in encodings.repertoire(target) if c in owned] or own
    bad = encodings.bad_units(source, target)
    items = []
    for _ in range(rng.randrange(1, 40)):
        roll = rng.random()
        pool = bad if roll < 0.1 else own if roll < 0.3 else shared if roll < 0.6 else None
        items.append(rng.choice(pool) if pool else chr(rng.randrange(0x20, 0x7F)))
    items = [c for c in items if c != "?"]
    _, unit, big, marked = UNICODE.get(source, (None, 1, False, False))
    if marked and rng.random() < 0.6:
        big = rng.random() < 0.5
        items.insert(0, "\ufeff")
    data = encodings.write(source, items, big)
    if rng.random() < 0.2:
        data += b"\xe2\x82" if source == "utf-8" else b"\x00\xd8\x41"[:unit - 1]
    return data


def without_replacements(output, name):
    """The output's text with U+FFFD (or '?' in a code page) taken out, and
    how many there were."""
    if name not in UNICODE:
        return output.replace(b"?", b""), output.count(b"?")
    codec, _, _, marked = UNICODE[name]
    text = output.decode(codec, "backslashreplace")
    if marked:
        text = text.removeprefix("\ufeff")
    return text.replace("\ufffd", ""), text.count("\ufffd")


def same_output(ours, theirs, target):
    """Equal, but for a byte-order mark that iconv writes alone when its
    encoder refuses the first character (one that glibc's UTF-8 reads)."""
    marked = target in UNICODE and UNICODE[target][3]
    return ours == theirs or (marked and not ours and theirs in (b"\xff\xfe", b"\xff\xfe\0\0"))


def noted_count(stderr):
    found = re.search(r"(?:replaced|dropped) (\d+) character", stderr)
    return int(found.group(1)) if found else 0


def compare(source, target, data, chunks):
    """The differences between the tools on one input, as text lines."""
    convert = [TOOL, "convert", "-f", source, "-t", target]
    iconv = ["iconv", "-f", source.upper(), "-t", target.upper()]
    theirs_c = run(iconv[:1] + ["-c"] + iconv[1:], data)
    theirs = run(iconv, data)
    ours_c = run(convert + ["-c"], data, chunks)
    ours_strict = run(convert + ["--strict"], data, chunks)
    ours = run(convert, data, chunks)
    problems = []
    if not same_output(ours_c[1], theirs_c[1], target) or ours_c[0] != 0:
        problems.append(f"-c: {ours_c[:2]} but iconv -c {theirs_c[:2]}")
    offset = re.search(r"position (\d+)", theirs[2])
    if (not same_output(ours_strict[1], theirs[1], target)
            or (ours_strict[0] == 0) != (theirs[0] == 0)
            or (offset and f"byte offset {offset.group(1)}\n" not in ours_strict[2])):
        problems.append(f"--strict: {ours_strict} but iconv {theirs}")
    text, replaced = without_replacements(ours[1], target)
    if (text != without_replacements(theirs_c[1], target)[0] or ours[0] != 0
            or noted_count(ours[2]) != replaced or noted_count(ours_c[2]) != replaced):
        problems.append(f"default: {ours} against iconv -c {theirs_c}, -c note {ours_c[2]!r}")
    return [f"{source} -> {target} on {data!r}, chunks {chunks}: {p}" for p in problems]


def check_names(listing):
    """Each name iconv knows converts a probe as the canonical name does."""
    problems, unknown_to_iconv = [], []
    for canonical, *aliases in listing:
        if canonical in UNICODE:
            codec, _, _, _ = UNICODE[canonical]
            probe = "a\u00e9\u20ac\U0001F600".encode(codec)
        else:
            probe = bytes(range(256))
        expected = run(["iconv", "-c", "-f", canonical, "-t", "UTF-8"], probe)
        for name in [canonical, *aliases]:
            got = run(["iconv", "-c", "-f", name, "-t", "UTF-8"], probe)
            if "failed to start conversion" in got[2] or "unsupported" in got[2]:
                unknown_to_iconv.append(name)
            elif got[:2] != expected[:2]:
                problems.append(f"{name} is not {canonical} in iconv")
    return problems, unknown_to_iconv


def main():
    global TOOL
    parser = argparse.ArgumentParser()
    parser.add_argument("faultkit")
    parser.add_argument("--seed", type=int, default=22)
    parser.add_argument("--inputs", type=int, default=1, help="random inputs per pair")
    args = parser.parse_args()
    TOOL = args.faultkit
    listing = [line.split() for line in
               run([TOOL, "convert", "-l"], b"")[1].decode().splitlines()]
    problems, unknown_to_iconv = check_names(listing)
    names = [line[0] for line in listing if line[0] not in unknown_to_iconv]
    encodings = Encodings(names, [n for n in names if n not in UNICODE])
    rng = random.Random(args.seed)
    jobs = []
    for source in names:
        for target in names:
            for _ in range(args.inputs):
                data = random_input(rng, encodings, source, target)
                cuts = sorted(rng.sample(range(1, len(data)), min(len(data) - 1, 3))) if data else []
                jobs.append((source, target, data, cuts))
    with concurrent.futures.ThreadPoolExecutor(max_workers=3) as pool:
        for found in pool.map(lambda job: compare(*job), jobs):
            problems += found
    print(f"{len(names)} encodings, {len(names) ** 2} pairs x 3 modes x {args.inputs} input(s), "
          f"{sum(len(job[2]) for job in jobs)} bytes in all; names iconv does not know: "
          f"{' '.join(unknown_to_iconv)}; {len(problems)} difference(s)")
    for problem in problems[:20]:
        print(problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
