#!/usr/bin/env python3
"""Mutation testing: how many small planted faults in src/ the tests catch.

Plants one fault at a time at sites drawn at random (with a printed seed)
from the files a build compiles, rebuilds that build incrementally, runs its
test suite up to the first failure, restores the file, and reports per layer
how many mutants were killed (a test failed or hung), survived, or did not
build, or whose compiled code is the same as the original's. The faults:
    relational  < and <=, > and >= exchanged; == and != exchanged
    logical     && and || exchanged
    plus-minus  + 1 and - 1 exchanged
    return-bool return true and return false exchanged
    not         a ! dropped
    call        a call statement `f(...);` on lines of its own deleted
Sites come from a small tokenizer, so comments, literals, preprocessor lines,
template brackets, unevaluated operands (sizeof, static_assert, ...) and
operator names are never mutated. Generated files are left out. The tests
of the mutated layer's own folder under tests/ run first; a run of tests
counts as hung (a kill, reported as timeout) after 60 s plus three times
what those tests took unmutated. --windows mutates the files under win32/
folders instead, in a mingw build whose tests run under Wine. One run at a
time mutates a source tree.

A mutant whose objects, debug information left out, are byte for byte the
objects of the original cannot change behaviour: it is counted as the same
code, untested. A mutant in a folder of kernels for an instruction set this
CPU lacks (avx512/ without AVX-512BW) cannot be tested here: it is counted
as not run, untested. Other survivors that cannot change what the library
does are listed, with the reason, in mutate_equivalent.txt beside this
script, one per line as the report prints them: `file:line: original ->
mutated: reason`; the line counts only where the mutants make the same
change at several lines of the file. The score is killed / (built - same
code - equivalent), not run left out. Outcomes go to a log in the build
folder, one per seed; --resume takes the mutants logged there as done,
--report reports them without running more.

--every-test runs the whole suite for each mutant and logs every test that
failed; the report then names, for each test, the mutants no other test
kills. A test with none is a candidate for removal.

usage: mutate.py [--count N] [--seed S] [--filter PATH[,PATH...]] [--jobs J]
                 [--build-dir DIR] [--windows] [--list] [--resume | --report] [--every-test]
"""

import argparse
import fcntl
import fnmatch
import hashlib
import json
import os
import random
import re
import signal
import subprocess
import sys
import time
from collections import Counter, defaultdict, namedtuple
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
EQUIVALENTS = Path(__file__).resolve().parent / "mutate_equivalent.txt"
WINDOWS_ONLY = "win32"  # the folder, anywhere under src/, of sources only Windows builds compile
SOURCE_SUFFIXES = (".c", ".cc", ".cpp", ".h", ".hpp", ".inc")
CPU_FOLDERS = {"avx512": "avx512bw", "avx2": "avx2"}  # kernel folder -> the CPU flag its tests need
GENERATED = re.compile(r"\W*@?generated\b", re.I)  # the first line of generated code says so

# ---------------------------------------------------------------- sites

Token = namedtuple("Token", "kind text start end")
Mutant = namedtuple("Mutant", "path layer line op start end replacement original mutated key")

PUNCTUATORS = sorted("<=> <<= >>= ->* ... :: -> ++ -- << >> <= >= == != && || "
                     "+= -= *= /= %= &= |= ^= .*".split(), key=len, reverse=True)
STRING_PREFIXES = ("L", "u", "U", "u8")
IDENTIFIER = re.compile(r"[A-Za-z_]\w*")
NUMBER = re.compile(r"\.?\d(?:[eEpP][+-]|[\w.']|)*")
RAW_STRING_OPEN = re.compile(r'"([^()\\\s]*)\(')


def line_end(text, i):
    """Index of the newline ending the line that holds text[i], or the length of text."""
    end = text.find("\n", i)
    return len(text) if end < 0 else end


def tokenize(text):
    """C++ tokens of text; comments and preprocessor lines dropped, literals one token."""
    tokens, i, n, line_start = [], 0, len(text), True
    while i < n:
        c = text[i]
        if c.isspace():
            line_start |= c == "\n"
            i += 1
            continue
        if c == "#" and line_start:  # a preprocessor line, with its continuations
            i = line_end(text, i)
            while i < n and text[i - 1] == "\\":
                i = line_end(text, i + 1)
            continue
        line_start = False
        if text.startswith("//", i):
            i = line_end(text, i)
            continue
        if text.startswith("/*", i):
            i = text.find("*/", i + 2) + 2 or n
            continue
        start = i
        word = IDENTIFIER.match(text, i)
        if word:
            i = word.end()
            if word.group() in [p + "R" for p in ("",) + STRING_PREFIXES] and text.startswith('"', i):
                delimiter = RAW_STRING_OPEN.match(text, i).group(1)
                i = text.index(")" + delimiter + '"', i) + len(delimiter) + 2
                tokens.append(Token("string", text[start:i], start, i))
                continue
            if not (word.group() in STRING_PREFIXES and i < n and text[i] in "\"'"):
                tokens.append(Token("ident", word.group(), start, i))
                continue
            c = text[i]
        if c in "\"'":
            i += 1
            while i < n and text[i] != c:
                i += 2 if text[i] == "\\" else 1
            i += 1
            tokens.append(Token("string", text[start:i], start, i))
            continue
        number = NUMBER.match(text, i)
        if number:
            i = number.end()
            tokens.append(Token("number", number.group(), start, i))
            continue
        punct = next((p for p in PUNCTUATORS if text.startswith(p, i)), c)
        i += len(punct)
        tokens.append(Token("punct", punct, start, i))
    return tokens


# Tokens that may stand between a template's brackets (besides names and literals).
TEMPLATE_INSIDE = {"::", ",", "*", "&", "...", "+", "-", "<", ">", ">>"}
# Names before which < compares rather than opens template arguments.
EXPRESSION_KEYWORDS = {"return", "case", "co_return", "co_yield", "throw", "else", "do"}
UNEVALUATED = {"static_assert", "sizeof", "alignof", "alignas", "decltype", "noexcept"}
NOT_CALLS = {"if", "while", "for", "switch", "return", "catch", "assert", "delete", "throw",
             "using", "typedef", "goto", "new"} | UNEVALUATED
FUNCTION_BODY_AFTER = {")", "const", "noexcept", "override", "final", "mutable"}


def matching_template_brackets(tokens, i):
    """Indices of the brackets of template arguments opening at tokens[i], or none."""
    depth, parens, brackets = 0, 0, []
    for j in range(i, min(len(tokens), i + 200)):
        tok = tokens[j]
        if tok.kind != "punct":
            continue
        if tok.text in ("(", "["):
            parens += 1
        elif tok.text in (")", "]"):
            parens -= 1
            if parens < 0:
                return []
        elif parens:
            if tok.text in (";", "{", "}"):
                return []
        elif tok.text not in TEMPLATE_INSIDE or (tok.text == "<" and tokens[j - 1].kind != "ident"):
            return []
        elif tok.text in ("<", ">", ">>"):
            depth += 1 if tok.text == "<" else -len(tok.text)
            brackets.append(j)
            if depth <= 0:
                return brackets
    return []


def closing_paren(tokens, i):
    """Index of the parenthesis closing the one at tokens[i], or None."""
    depth = 0
    for j in range(i, len(tokens)):
        depth += {"(": 1, ")": -1}.get(tokens[j].text, 0) if tokens[j].kind == "punct" else 0
        if depth == 0:
            return j
    return None


def tokens_never_mutated(tokens):
    """Template brackets, unevaluated operands and operator names."""
    skipped = set()
    for i, tok in enumerate(tokens[:-1]):
        if tok.text == "<" and i and tokens[i - 1].kind == "ident" \
                and tokens[i - 1].text not in EXPRESSION_KEYWORDS and i not in skipped:
            skipped.update(matching_template_brackets(tokens, i))
        elif tok.kind == "ident" and tok.text in UNEVALUATED and tokens[i + 1].text == "(":
            skipped.update(range(i + 1, (closing_paren(tokens, i + 1) or i) + 1))
        elif tok.text == "operator":
            skipped.add(i + 1)
    return skipped


def inside_functions(tokens):
    """For each token, whether it lies in a function body."""
    inside, stack = [], [False]
    for i, tok in enumerate(tokens):
        if tok.kind == "punct" and tok.text == "{":
            stack.append(stack[-1] or (i > 0 and tokens[i - 1].text in FUNCTION_BODY_AFTER))
        elif tok.kind == "punct" and tok.text == "}" and len(stack) > 1:
            stack.pop()
        inside.append(stack[-1])
    return inside


def call_statement_end(tokens, i, text):
    """End of the call statement `name(...);` on lines of its own starting at tokens[i], or None."""
    if tokens[i].kind != "ident" or tokens[i].text in NOT_CALLS or \
            (i and tokens[i - 1].text not in (";", "{", "}")) or \
            text[text.rfind("\n", 0, tokens[i].start) + 1:tokens[i].start].strip():
        return None
    j = i + 1
    while j + 1 < len(tokens) and tokens[j].text in ("::", ".", "->") and tokens[j + 1].kind == "ident":
        j += 2
    close = closing_paren(tokens, j) if j < len(tokens) and tokens[j].text == "(" else None
    if close is None or close + 1 >= len(tokens) or tokens[close + 1].text != ";":
        return None
    end = tokens[close + 1].end
    rest = text[end:line_end(text, end)].strip()
    return end if not rest or rest.startswith("//") else None


SWAPS = {"<": "<=", "<=": "<", ">": ">=", ">=": ">", "==": "!=", "!=": "==", "&&": "||", "||": "&&"}


def site_mutation(tokens, i, text, in_function):
    """(operator, start, end, replacement) of the mutation at tokens[i], or None."""
    tok = tokens[i]
    after = tokens[i + 1] if i + 1 < len(tokens) else Token("", "", 0, 0)
    # Binary operators stand between blanks in this code base, unlike template
    # brackets, rvalue references and unary signs.
    binary = tok.kind == "punct" and text[tok.start - 1].isspace() and text[tok.end:tok.end + 1].isspace()
    if binary and tok.text in SWAPS:
        return "logical" if tok.text in ("&&", "||") else "relational", tok.start, tok.end, SWAPS[tok.text]
    if binary and tok.text in ("+", "-") and re.fullmatch(r"1[uUlL]*", after.text):
        return "plus-minus", tok.start, tok.end, "-" if tok.text == "+" else "+"
    if tok.text == "return" and after.text in ("true", "false") and tokens[i + 2].text == ";":
        return "return-bool", after.start, after.end, "false" if after.text == "true" else "true"
    if tok.kind == "punct" and tok.text == "!":
        return "not", tok.start, tok.end, ""
    end = call_statement_end(tokens, i, text) if in_function else None
    return ("call", tok.start, end, "") if end else None


def layer_of(path):
    """src/a/b/f.cpp belongs to layer a/b when src/a/b has a CMakeLists.txt, else to a."""
    folders = Path(path).parts[1:-1]
    layer = folders[:1]
    for depth in range(2, len(folders) + 1):
        if (ROOT / "src" / Path(*folders[:depth]) / "CMakeLists.txt").exists():
            layer = folders[:depth]
    return "/".join(layer) or "."


def file_mutants(path):
    """Every mutant of one source file (path relative to the repository)."""
    raw = (ROOT / path).read_bytes()
    text, digest = raw.decode("utf-8", "surrogateescape"), hashlib.sha1(raw).hexdigest()[:12]
    tokens = tokenize(text)
    skipped, inside = tokens_never_mutated(tokens), inside_functions(tokens)
    for i in range(len(tokens)):
        mutation = None if i in skipped else site_mutation(tokens, i, text, inside[i])
        if mutation:
            op, start, end, replacement = mutation
            first = text.rfind("\n", 0, start) + 1
            last = line_end(text, end)
            original = " ".join(text[first:last].split("\n")[0].split())
            original += " ..." if "\n" in text[first:last] else ""
            mutated = " ".join((text[first:start] + replacement + text[end:last]).split()) or "(deleted)"
            yield Mutant(path, layer_of(path), text.count("\n", 0, start) + 1, op, start, end,
                         replacement, original, mutated, f"{path}:{digest}:{start}:{replacement}")


# ---------------------------------------------------------------- build and tests

def run_group(command, timeout=None, **options):
    """(return code or None on a timeout, output) of command run as a process group that is
    killed as a whole on a timeout or an exception, so no compiler outlives a restored file."""
    process = subprocess.Popen(command, text=True, start_new_session=True, stdout=subprocess.PIPE,
                               stderr=subprocess.STDOUT, **options)
    try:
        output = process.communicate(timeout=timeout)[0]
        return process.returncode, output
    except subprocess.TimeoutExpired:
        return None, ""
    finally:
        if process.poll() is None:
            os.killpg(process.pid, signal.SIGKILL)
            process.wait()


class Suite:
    """A build folder of the tree with its tests, built and run as the mutants need."""

    def __init__(self, build, windows, jobs, skip_tests):
        self.build, self.windows, self.jobs, self.skip_tests = build, windows, jobs, skip_tests
        self.env = dict(os.environ, FAULTKIT_WINEPREFIX=str(build / "wineprefix"))
        self.tests, self.seconds = [], {}
        self.objects, self.baseline = defaultdict(list), {}  # source -> its objects; source -> their code digest

    def compile(self):
        if not (self.build / "CMakeCache.txt").exists():
            flavour = ["-DCMAKE_TOOLCHAIN_FILE=" + str(ROOT / "cmake/mingw-w64.cmake"),
                       "-DCMAKE_BUILD_TYPE=Release"] if self.windows else ["-DCMAKE_BUILD_TYPE=RelWithDebInfo"]
            subprocess.run(["cmake", "-S", ROOT, "-B", self.build, "-G", "Ninja", "-DFAULTKIT_TESTS=ON"]
                           + flavour, check=True, stdout=subprocess.DEVNULL)
        return run_group(["cmake", "--build", self.build, "-j", str(self.jobs)])[0] == 0

    def compiled_sources(self):
        """Sources and headers under src/ that the build compiles, relative to the repository;
        notes the objects compiled from each."""
        deps = subprocess.run(["ninja", "-C", self.build, "-t", "deps"], check=True,
                              capture_output=True, text=True).stdout
        self.objects.clear()
        for line in deps.splitlines():
            if not line.startswith(" "):
                target = self.build / line.split(":")[0]
                continue
            path = (self.build / line.strip()).resolve()
            if path.suffix in SOURCE_SUFFIXES and (ROOT / "src") in path.parents:
                self.objects[path.relative_to(ROOT).as_posix()].append(target)
        return set(self.objects)

    def code_digest(self, objects):
        """Digest of the objects without their debug information, which holds the columns
        that a mutation shifts even when the code stays the same."""
        digest, stripped, objcopy = hashlib.sha1(), self.build / "mutate-stripped.o", self.objcopy()
        for obj in sorted(objects):
            subprocess.run([objcopy, "--strip-debug", obj, stripped], check=True)
            digest.update(stripped.read_bytes())
        stripped.unlink()
        return digest.hexdigest()

    def objcopy(self):
        cache = (self.build / "CMakeCache.txt").read_text()
        found = re.search(r"^CMAKE_OBJCOPY:FILEPATH=(.+)$", cache, re.M)
        return found.group(1) if found else "objcopy"

    def record_originals(self, paths):
        """Notes the code of the objects of each path; the build must be unmutated."""
        for path in set(paths) - set(self.baseline):
            self.baseline[path] = self.code_digest(self.objects[path])

    def same_code(self, path):
        """Whether the build's objects of path are those of the original."""
        return self.code_digest(self.objects[path]) == self.baseline[path]

    def load_tests(self):
        listing = subprocess.run(["ctest", "--show-only=json-v1"], cwd=self.build, env=self.env,
                                 check=True, capture_output=True, text=True).stdout
        self.tests = [(number, test["name"], test.get("command", []))
                      for number, test in enumerate(json.loads(listing)["tests"], 1)
                      if not re.search(self.skip_tests, test["name"])]

    def plan(self, layer):
        """Test numbers in two runs: the tests of the layer's own test folder, then the rest."""
        folder = "/tests/%s/" % layer.split("/")[0]
        own = [n for n, _, command in self.tests if any(folder in arg for arg in command)]
        return [own, [n for n, _, _ in self.tests if n not in own]]

    def run(self, numbers, limit, every=False):
        """('passed' | 'failed' | 'timeout', failed tests) of a run stopping at the first failure,
        or with every, of all the tests."""
        if not numbers:
            return "passed", []
        command = ["ctest", "-j", str(self.jobs), "-I", "0,0,0," + ",".join(map(str, numbers))]
        returncode, output = run_group(command + ([] if every else ["--stop-on-failure"]), limit,
                                       cwd=self.build, env=self.env)
        if returncode is None:
            return "timeout", ["(the run took over %d s)" % limit]
        names, failed, result = {n: name for n, name, _ in self.tests}, [], "passed"
        for number, status, seconds in re.findall(r"Test +#(\d+): .* (\S+) +([\d.]+) sec$", output, re.M):
            if status == "Passed":
                self.seconds.setdefault(int(number), float(seconds))
            elif not status.endswith(("Skipped", "Disabled")):
                result = result if failed else "timeout" if "Timeout" in status else "failed"
                failed.append(names.get(int(number), number))
        ran = re.search(r"tests failed out of (\d+)", output)
        if not failed and (returncode or not ran or int(ran.group(1)) != len(numbers)):
            return "failed", ["(ctest: %s)" % (output.strip().splitlines() or ["no output"])[-1]]
        return result, failed

    def limit(self, numbers):
        """Seconds a run of these tests may take before it counts as hung."""
        return 60 + 3 * sum(self.seconds.get(n, 1.0) for n in numbers)


# ---------------------------------------------------------------- one mutant

def missing_cpu_flag(path):
    """The CPU flag that the tests of path's kernel folder need and this CPU lacks, or None."""
    flags = set(re.findall(r"^flags\s*:(.*)$", Path("/proc/cpuinfo").read_text(), re.M)[0].split())
    return next((flag for folder, flag in CPU_FOLDERS.items()
                 if folder in Path(path).parts and flag not in flags), None)


def plant_and_test(mutant, suite, every):
    """Outcome of one mutant: killed, timeout, survived, not built, same code or not run;
    and the killing tests."""
    lacking = missing_cpu_flag(mutant.path)
    if lacking:
        return "not run", ["(this CPU lacks %s)" % lacking]
    path = ROOT / mutant.path
    original = path.read_bytes()
    pending = suite.build / "mutate-pending.json"
    pending.write_text(json.dumps({"path": mutant.path, "bytes": original.decode("latin-1")}))
    try:
        text = original.decode("utf-8", "surrogateescape")
        path.write_bytes((text[:mutant.start] + mutant.replacement + text[mutant.end:])
                         .encode("utf-8", "surrogateescape"))
        if not suite.compile():
            return "not built", []
        if suite.same_code(mutant.path):
            return "same code", []
        plan = suite.plan(mutant.layer)
        for numbers in [plan[0] + plan[1]] if every else plan:
            result, tests = suite.run(numbers, suite.limit(numbers), every)
            if result != "passed":
                return "killed" if result == "failed" else "timeout", tests
        return "survived", []
    finally:
        # Written anew, the file is newer than its objects: the next build compiles it again.
        path.write_bytes(original)
        pending.unlink()


def restore_interrupted(builds):
    """Puts back a file that a run killed outright (SIGKILL, power loss) left mutated."""
    for pending in {build / "mutate-pending.json" for build in builds}:
        if pending.exists():
            saved = json.loads(pending.read_text())
            (ROOT / saved["path"]).write_bytes(saved["bytes"].encode("latin-1"))
            pending.unlink()
            print("restored %s, left mutated by an interrupted run" % saved["path"])


# ---------------------------------------------------------------- report

def read_equivalents(mutants):
    """(file, line, 'original -> mutated: reason') of each listed equivalent mutant, and the
    changes that the mutants make at more than one line of a file: an entry for one of those
    matches at its line only; any other matches wherever its line has moved."""
    lines = EQUIVALENTS.read_text().splitlines() if EQUIVALENTS.exists() else []
    entries = [(path, int(line), entry) for path, line, entry in
               (m.groups() for m in map(re.compile(r"([^#\s][^:]*):(\d+): (.*)").match, lines) if m)]
    counts = Counter((m.path, change_of(m._asdict())) for m in mutants)
    return entries, {key for key, count in counts.items() if count > 1}


def change_of(record):
    return "%s -> %s: " % (record["original"], record["mutated"])


def equivalence_reason(record, equivalents):
    """The listed reason why this record's mutant cannot change behaviour, or None."""
    entries, repeated = equivalents
    change = change_of(record)
    anywhere = (record["path"], change) not in repeated
    return next((entry[len(change):] for path, line, entry in entries
                 if path == record["path"] and entry.startswith(change)
                 and (anywhere or line == record["line"])), None)


def stale_equivalents(mutants, paths, equivalents):
    """Listed equivalents of the mutated files that match no site any more."""
    return [(path, entry) for path, line, entry in equivalents[0] if path in paths and not any(
        equivalence_reason(dict(m._asdict()), equivalents) for m in mutants if m.path == path)]


def percent(part, whole):
    return "%5.1f%%" % (100.0 * part / whole) if whole else "    -"


def report(records, equivalents):
    counts = defaultdict(Counter)
    for record in records:
        outcome = record["outcome"]
        if outcome == "survived" and equivalence_reason(record, equivalents):
            outcome = "equivalent"
        for layer in (record["layer"], "all"):
            counts[layer][outcome] += 1
    print("\n%-16s %7s %6s %7s %8s %9s %10s %9s %7s %7s %12s" % (
        "layer", "mutants", "killed", "timeout", "survived", "same code", "equivalent", "not built",
        "not run", "score", "killed/built"))
    for layer in sorted(set(counts) - {"all"}) + ["all"]:
        c = counts[layer]
        killed = c["killed"] + c["timeout"]
        built = sum(c.values()) - c["not built"] - c["not run"]
        print("%-16s %7d %6d %7d %8d %9d %10d %9d %7d %7s %12s" % (
            layer, sum(c.values()), c["killed"], c["timeout"], c["survived"], c["same code"],
            c["equivalent"], c["not built"], c["not run"],
            percent(killed, built - c["same code"] - c["equivalent"]), percent(killed, built)))
    print("score = killed (timeouts included) / (built - same code - equivalent); not run: kernels "
          "for an instruction set this CPU lacks")
    for title, equivalent in (("survivors", False), ("survived, equivalent", True)):
        listed = [r for r in records if r["outcome"] == "survived"
                  and bool(equivalence_reason(r, equivalents)) == equivalent]
        print("\n%s: %d" % (title, len(listed)))
        for r in sorted(listed, key=lambda r: (r["path"], r["line"])):
            reason = equivalence_reason(r, equivalents)
            print("%s:%d: %s -> %s%s" % (r["path"], r["line"], r["original"], r["mutated"],
                                         ": " + reason if reason else "   [%s]" % r["op"]))
    alone = defaultdict(list)  # test -> the mutants it is the only one to kill
    for r in records:  # a hang or a ctest failure names no test: "(...)"
        if len(r.get("killers", [])) == 1 and not r["killers"][0].startswith("("):
            alone[r["killers"][0]].append("%s:%d" % (r["path"], r["line"]))
    if any("killers" in r for r in records):
        print("\ntests killing mutants no other test kills: %d" % len(alone))
        for test, sites in sorted(alone.items()):
            print("%s: %s" % (test, " ".join(sites)))


# ---------------------------------------------------------------- main

def draw(mutants, count, seed):
    """count mutants drawn with seed, grouped by file (files in a drawn order) to spare rebuilds."""
    rng = random.Random(seed)
    chosen = rng.sample(mutants, min(count, len(mutants)))
    files = sorted({m.path for m in chosen})
    rng.shuffle(files)
    return sorted(chosen, key=lambda m: (files.index(m.path), m.start))


def files_to_mutate(suite, filters, windows):
    """The compiled, hand-written files under the filters: Windows-only ones or the others."""
    wanted = [re.sub(r"^\./", "", f) for f in filters.split(",")]
    return sorted(p for p in suite.compiled_sources()
                  if any(p.startswith(w) or fnmatch.fnmatch(p, w) for w in wanted)
                  and (WINDOWS_ONLY in Path(p).parts) == windows
                  and not GENERATED.match((ROOT / p).read_text(errors="replace")))


def list_sites(mutants, paths):
    for m in mutants:
        print("%s:%d: %s -> %s   [%s]" % (m.path, m.line, m.original, m.mutated, m.op))
    for name, key in (("layer", lambda m: m.layer), ("operator", lambda m: m.op)):
        counts = sorted(Counter(map(key, mutants)).items())
        print("\nsites by %s: %s" % (name, ", ".join("%s %d" % count for count in counts)))
    print("%d sites in %d files" % (len(mutants), len(paths)))


def run_sample(suite, sample, log_path, logged, every):
    """Tries the sample's mutants not in logged, appending each outcome to the log."""
    todo = [m for m in sample if m.key not in logged]
    print("%d to run, log %s" % (len(todo), log_path), flush=True)
    if not todo:
        return
    suite.load_tests()
    result, test = suite.run([n for n, _, _ in suite.tests], 3600)
    if result != "passed":
        sys.exit("mutate: the unmutated tree fails its tests (%s)" % test)
    suite.record_originals(m.path for m in todo if not missing_cpu_flag(m.path))
    with open(log_path, "a") as log:
        for done, mutant in enumerate(todo, 1):
            began = time.time()
            outcome, tests = plant_and_test(mutant, suite, every)
            test = tests[0] if tests else None
            record = dict(mutant._asdict(), outcome=outcome, test=test, seconds=round(time.time() - began))
            if every:
                record["killers"] = tests
            logged[mutant.key] = record
            log.write(json.dumps(record) + "\n")
            log.flush()
            print("[%d/%d] %-9s %4ds  %s:%d  %s -> %s%s" % (
                done, len(todo), outcome, record["seconds"], mutant.path, mutant.line, mutant.original,
                mutant.mutated, "  " + (test if test.startswith("(") else "(%s)" % test) if test else ""),
                flush=True)
    suite.compile()  # the build again matches the restored sources


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("--count", type=int, default=200, help="mutants to try (200)")
    parser.add_argument("--seed", type=int, help="draws the mutants (random when not given)")
    parser.add_argument("--filter", default="src/", help="path prefixes or globs of the files to mutate, "
                        "separated by commas")
    parser.add_argument("--jobs", type=int, default=2, help="parallel build and test jobs (2)")
    parser.add_argument("--build-dir", type=Path, help="build-mutate, or build-mutate-win with --windows")
    parser.add_argument("--windows", action="store_true",
                        help="mutate Windows-only files under a mingw build, tests under Wine")
    parser.add_argument("--list", action="store_true", help="list the sites and their counts only")
    parser.add_argument("--resume", action="store_true", help="keep the outcomes logged for this seed")
    parser.add_argument("--report", action="store_true",
                        help="report the outcomes logged for this seed so far, run no mutant")
    parser.add_argument("--every-test", action="store_true",
                        help="run all tests for each mutant and name the mutants each test alone kills")
    parser.add_argument("--skip-tests", default="install_consume|package_",
                        help="regex of tests not run (installing and packing)")
    args = parser.parse_args()
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(143))  # restore the file on kill too
    # One run at a time in a source tree, whatever its build folder: each mutant
    # is planted in the sources that every build of the tree compiles.
    lock = open(__file__)
    try:
        fcntl.flock(lock, fcntl.LOCK_EX | fcntl.LOCK_NB)
    except BlockingIOError:
        sys.exit("mutate: another run is mutating this source tree")
    build = ROOT / (args.build_dir or ("build-mutate-win" if args.windows else "build-mutate"))
    restore_interrupted([build] + list(ROOT.glob("build*/")))
    suite = Suite(build, args.windows, args.jobs, args.skip_tests)
    if not suite.compile():
        sys.exit("mutate: the unmutated tree does not build in %s" % build)
    paths = files_to_mutate(suite, args.filter, args.windows)
    mutants = [m for p in paths for m in file_mutants(p)]
    if args.list:
        list_sites(mutants, paths)
        return

    seed = args.seed if args.seed is not None else random.SystemRandom().randrange(1, 1000000)
    sample = draw(mutants, args.count, seed)
    print("mutate: seed %d (again: --seed %d), %d of %d sites in %d files"
          % (seed, seed, len(sample), len(mutants), len(paths)))
    log_path = build / ("mutate-%d.jsonl" % seed)
    logged = {}
    if (args.resume or args.report) and log_path.exists():
        logged = {r["key"]: r for r in map(json.loads, log_path.read_text().splitlines())}
    else:
        log_path.unlink(missing_ok=True)
    if not args.report:
        run_sample(suite, sample, log_path, logged, args.every_test)
    done = [logged[m.key] for m in sample if m.key in logged]
    print("\nseed %d: %d of %d mutants" % (seed, len(done), len(sample)))
    equivalents = read_equivalents(mutants)
    report(done, equivalents)
    for path, entry in stale_equivalents(mutants, set(paths), equivalents):
        print("stale in %s: %s: %s" % (EQUIVALENTS.name, path, entry))


if __name__ == "__main__":
    main()
