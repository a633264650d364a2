#!/usr/bin/env python3
"""faultkit convert against glibc's iconv program over every pair of
encodings both know, on random inputs fed in random chunks, with now and
then something that does not convert. With -c faultkit writes what iconv -c
writes; with --strict what iconv writes, failing where it fails; by default
iconv -c's text plus replacements its note counts, as -c's counts the drops.
The inputs keep clear of where the two differ on purpose (see below, and
glibc carries values above U+10FFFF in and between UTF-8 and UCS-4, and
surrogates in UCS-4); -c's exit status is not compared (glibc's depends on
where the dropped character lies). Every name faultkit lists that iconv
knows must name the same encoding in iconv.

usage: iconv_differential.py FAULTKIT [--seed N] [--inputs N]
"""
import argparse
import concurrent.futures
import random
import re
import subprocess
import sys

TOOL = None
UNICODE = {  # faultkit's name: (unit bytes, big-endian, mark read and written)
    "utf-8": (1, False, False), "utf-16": (2, False, True), "utf-16le": (2, False, False),
    "utf-16be": (2, True, False), "utf-32": (4, False, True), "utf-32le": (4, False, False),
    "utf-32be": (4, True, False), "ucs-2": (2, False, False), "ucs-2le": (2, False, False),
    "ucs-2be": (2, True, False), "ucs-4": (4, True, False), "ucs-4le": (4, False, False)}
# Bytes that the library's code pages map otherwise than glibc's: DEL (0x7F)
# and the C1 controls (0x80-0x9F) are unmapped in the library's ISO 8859
# tables (8859-16 keeps DEL); 8859-7 lacks the 2003 additions (quotes, euro,
# drachma, ypogegrammeni) and has U+02BD/U+02BC at 0xA1/0xA2; 8859-8 has
# U+203E at 0xAF and lacks LRM/RLM at 0xFD/0xFE. GLIBC_THERE: glibc's
# characters at those bytes.
C1 = set(range(0x80, 0xA0))
TABLE_DIFFERENCES = {"us-ascii": {0x7F}, "windows-1252": {0x7F}, "tis-620": {0x7F},
                     "iso-8859-16": C1, "iso-8859-7": {0x7F, 0xA1, 0xA2, 0xA4, 0xA5, 0xAA} | C1,
                     "iso-8859-8": {0x7F, 0xAF, 0xFD, 0xFE} | C1}
GLIBC_THERE = {chr(c) for c in [0x7F, *C1, 0x2018, 0x2019, 0x20AC, 0x20AF, 0x37A, 0xAF, 0x200E,
                                0x200F]}
BAD_UTF8 = [b"\xff", b"\x80", b"\xc0\xaf", b"\xed\xa0\x80", b"\xe2\x82"]
ABOVE_UNICODE = [b"\xf4\x90\x80\x80", b"\xf8\x88\x80\x80\x80"]
PAGES, BAD_BYTES, CHARACTERS = {}, {}, []  # page: {character: byte}, page: [byte]; Unicode's


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


def codec(name, big):
    unit = UNICODE[name][0]
    return "utf-8" if unit == 1 else f"utf-{8 * unit}-{'be' if big else 'le'}"


def read_pages(pages):
    """Fills PAGES and BAD_BYTES with what faultkit's tables hold away from
    the known differences, and CHARACTERS, less the characters either maps
    at a difference and those that replacements take ('?', U+FFFD)."""
    avoided = GLIBC_THERE | {None, "?", "\ufffd"}
    for page in pages:
        text = run([TOOL, "convert", "-f", page, "-t", "utf-32le"], bytes(range(256)))[1]
        ours = [None if c == "\ufffd" else c for c in text.decode("utf-32-le")]
        differ = TABLE_DIFFERENCES.get(page, {0x7F} | C1)
        avoided |= {ours[b] for b in differ}
        PAGES[page] = {c: bytes([b]) for b, c in enumerate(ours) if b not in differ}
        BAD_BYTES[page] = [bytes([b]) for b, c in enumerate(ours) if c is None and b not in differ]
    for page in pages:
        PAGES[page] = {c: b for c, b in PAGES[page].items() if c not in avoided}
    wide = {chr(c) for c in [*range(0x100, 0x2000, 13), *range(0x4E00, 0xD800, 211),
                             *range(0xE000, 0xFFFE, 97), *range(0x10000, 0x110000, 4099)]}
    CHARACTERS[:] = sorted(({c for table in PAGES.values() for c in table} | wide) - avoided)


def repertoire(name):
    if name in PAGES:
        return sorted(PAGES[name])
    return [c for c in CHARACTERS if not name.startswith("ucs-2") or c < "\U00010000"]


def problems_of(source, target):
    """What of the source does not convert: ill-formed bytes, or unit values."""
    if source in BAD_BYTES:
        return BAD_BYTES[source]
    if source == "utf-8":
        return BAD_UTF8 + ([] if target.startswith(("ucs-4", "utf-8")) else ABOVE_UNICODE)
    if source.startswith("ucs-4"):
        return [0x80000000, 0xFFFFFFFF]
    return [0xD800, 0xDFFF, 0x110000] if UNICODE[source][0] == 4 else [0xD800, 0xDC00]


def random_input(rng, source, target):
    """Characters of the source, mostly ASCII or ones the target has, a tenth
    of them problems; for UTF-16 and UTF-32 now and then a mark of either
    order; now and then a cut end."""
    own = repertoire(source)
    shared = sorted(set(own) & set(repertoire(target))) or own
    bad = problems_of(source, target)
    unit, big, marked = UNICODE.get(source, (1, False, False))
    data = b""
    if marked and rng.random() < 0.6:
        big = rng.random() < 0.5
        data = "\ufeff".encode(codec(source, big))
    for _ in range(rng.randrange(1, 40)):
        roll = rng.random()
        pool = bad if roll < 0.1 else own if roll < 0.3 else shared if roll < 0.6 else None
        item = rng.choice(pool) if pool else chr(rng.randrange(0x20, 0x7F))
        if isinstance(item, int):
            data += item.to_bytes(unit, "big" if big else "little")
        elif isinstance(item, bytes):
            data += item
        elif item != "?":
            data += PAGES[source][item] if source in PAGES else item.encode(codec(source, big))
    if rng.random() < 0.2:
        data += b"\xe2\x82" if source == "utf-8" else b"\x00\xd8\x41"[:unit - 1]
    return data


def without_replacements(output, name):
    """The output's text with U+FFFD (or '?' in a code page) taken out, and
    how many there were."""
    if name not in UNICODE:
        return output.replace(b"?", b""), output.count(b"?")
    text = output.decode(codec(name, UNICODE[name][1]), "backslashreplace")
    if UNICODE[name][2]:
        text = text.removeprefix("\ufeff")
    return text.replace("\ufffd", ""), text.count("\ufffd")


def same_output(ours, theirs, target):
    """Equal, but for a byte-order mark that iconv writes alone when its
    encoder refuses the first character (one that glibc's UTF-8 reads)."""
    marked = target in UNICODE and UNICODE[target][2]
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
        probe = bytes(range(256)) if canonical not in UNICODE else \
            "a\u00e9\u20ac\U0001F600".encode(codec(canonical, UNICODE[canonical][1]))
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
    read_pages([n for n in names if n not in UNICODE])
    rng = random.Random(args.seed)
    jobs = []
    for source in names:
        for target in names:
            for _ in range(args.inputs):
                data = random_input(rng, source, target)
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
