#!/usr/bin/env python3
"""The faultkit tool against iconv, both as whole processes.

usage: tool_vs_iconv.py FAULTKIT [WORK_DIR] [--megabytes N] [--runs N]

Writes three UTF-8 texts of N MiB (32 by default) to WORK_DIR: ASCII-heavy
prose, mixed script (runs of words in several scripts) and randomly mixed
(each character drawn at random from ASCII, Latin-1, Greek, Cyrillic and CJK,
1 % astral), then times `faultkit convert` and `iconv` from UTF-8 to UTF-16
and back, each the best of --runs runs: wall time, and CPU time (user +
system), which varies less when other work shares the machine. The outputs
must be identical. Numbers taken on a busy machine are noisy.
"""
import argparse
import os
import random
import resource
import subprocess
import sys
import time

ENGLISH = ("The quick brown fox jumps over the lazy dog while the committee "
           "reviews the caf\u00e9 budget for the next fiscal year. ")
MIXED = ("Stra\u00dfe na\u00efve \u00e9t\u00e9 \u0391\u03b8\u03ae\u03bd\u03b1 "
         "\u041c\u043e\u0441\u043a\u0432\u0430 \u6771\u4eac\u90fd \u5317\u4eac "
         "\uc11c\uc6b8 \u0627\u0644\u0642\u0627\u0647\u0631\u0629 "
         "\u0e01\u0e23\u0e38\u0e07\u0e40\u0e17\u0e1e \U0001F600 ok. ")
RANGES = [(0x20, 0x7E), (0xA0, 0xFF), (0x391, 0x3C9), (0x410, 0x44F), (0x4E00, 0x9FFF)]


def random_text(size, seed=1):
    rng = random.Random(seed)
    parts, total = [], 0
    while total < size:
        if rng.random() < 0.01:
            ch = chr(rng.randint(0x10000, 0x1FFFF))
        else:
            low, high = rng.choice(RANGES)
            ch = chr(rng.randint(low, high))
        parts.append(ch)
        total += len(ch.encode())
    return "".join(parts).encode()


def repeated(sample, size):
    data = (sample * (size // len(sample.encode()) + 1)).encode()[:size]
    return data.decode(errors="ignore").encode()


def timed(argv, source, sink):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    start = time.perf_counter()
    with open(source, "rb") as src, open(sink, "wb") as dst:
        subprocess.run(argv, stdin=src, stdout=dst, check=True)
    elapsed = time.perf_counter() - start
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return elapsed, cpu


def best(argv, source, sink, runs):
    times = [timed(argv, source, sink) for _ in range(runs)]
    return min(t[0] for t in times), min(t[1] for t in times)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("faultkit")
    parser.add_argument("work", nargs="?", default="tool_vs_iconv")
    parser.add_argument("--megabytes", type=int, default=32)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()
    os.makedirs(args.work, exist_ok=True)
    size = args.megabytes << 20
    texts = {"ascii_heavy": repeated(ENGLISH, size), "mixed_script": repeated(MIXED, size),
             "random_mix": random_text(size)}
    print(f"{'text':14} {'pair':16} {'wall: faultkit':>14} {'iconv':>7} {'ratio':>6}"
          f" {'cpu: faultkit':>14} {'iconv':>7} {'ratio':>6} {'MB/s':>6}")
    for name, data in texts.items():
        utf8 = os.path.join(args.work, name + ".utf8")
        utf16 = os.path.join(args.work, name + ".utf16")
        with open(utf8, "wb") as handle:
            handle.write(data)
        with open(utf16, "wb") as handle:
            handle.write(data.decode().encode("utf-16-le"))
        for label, source, ours_args, theirs_args in (
                ("utf-8 > utf-16", utf8, ["--from", "utf-8", "--to", "utf-16le"],
                 ["-f", "UTF-8", "-t", "UTF-16LE"]),
                ("utf-16 > utf-8", utf16, ["--from", "utf-16le", "--to", "utf-8"],
                 ["-f", "UTF-16LE", "-t", "UTF-8"])):
            ours_out = os.path.join(args.work, "out.faultkit")
            theirs_out = os.path.join(args.work, "out.iconv")
            ours, ours_cpu = best([args.faultkit, "convert", *ours_args], source, ours_out,
                                  args.runs)
            theirs, theirs_cpu = best(["iconv", *theirs_args], source, theirs_out, args.runs)
            with open(ours_out, "rb") as a, open(theirs_out, "rb") as b:
                if a.read() != b.read():
                    sys.exit(f"{name} {label}: outputs differ")
            mbps = os.path.getsize(source) / ours_cpu / 1e6
            print(f"{name:14} {label:16} {ours:14.3f} {theirs:7.3f} {theirs / ours:6.2f}"
                  f" {ours_cpu:14.3f} {theirs_cpu:7.3f} {theirs_cpu / ours_cpu:6.2f} {mbps:6.0f}")


if __name__ == "__main__":
    main()
