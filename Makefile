# A thin wrapper over the presets in CMakePresets.json, which hold every
# configuration we build; `cmake --list-presets` names them.
#   make run    build and run the demo (preset plain: no test frameworks)
#   make check  build and run every test: Linux (default), ASan+UBSan
#               (asan-ubsan), TSan (tsan), Windows (windows-release, the
#               configuration that ships) under Wine when the cross
#               compiler and Wine are present, and 64-bit ARM Linux (arm64)
#               under qemu when its cross compiler and qemu-user are
#               present; make check-PRESET runs one
#   make bench  build and run the benchmarks (default)
#   make fuzz   build the libFuzzer targets with clang (fuzz) and run each
#               for FUZZ_SECONDS seconds (60) on a copy of its corpus
#   make fuzz-long  run each target for FUZZ_SECONDS (1800) and minimise its
#               corpus in fuzz/corpus with what it found; -j N runs N
#               targets at once
#   make coverage  build with clang's source-based coverage (coverage), run
#               the suite and print line and branch figures for src/ and
#               tools/

JOBS  ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE := cmake
CTEST := ctest

# Ninja where it is installed; CMake reads the generator from here.
export CMAKE_GENERATOR ?= $(if $(shell command -v ninja 2>/dev/null),Ninja,Unix Makefiles)

HAVE_WINDOWS := $(and $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null),$(shell command -v wine 2>/dev/null))
HAVE_ARM64 := $(and $(shell command -v aarch64-linux-gnu-g++ 2>/dev/null),$(shell command -v qemu-aarch64 2>/dev/null))

FUZZ_SECONDS ?=

PRESETS := default asan-ubsan tsan windows-release arm64 fuzz coverage
CONFIGURES := $(addprefix configure-,$(PRESETS))
BUILDS := $(addprefix build-,$(PRESETS))
CHECKS := $(addprefix check-,default asan-ubsan tsan $(if $(HAVE_WINDOWS),windows-release) \
	$(if $(HAVE_ARM64),arm64))

.PHONY: run check check-windows-release check-arm64 $(CONFIGURES) $(BUILDS) $(CHECKS) bench fuzz fuzz-build \
	fuzz-long coverage clean

# configure-PRESET, build-PRESET and check-PRESET: the preset's configure,
# build and test steps, each after the one before.
$(CONFIGURES): configure-%:
	$(CMAKE) --preset $*

$(BUILDS): build-%: configure-%
	$(CMAKE) --build --preset $* -j $(JOBS)

$(CHECKS): check-%: build-%
	$(CTEST) --preset $* -j $(TEST_JOBS)

# Tests at once: one a core; twice that under qemu, where many a test
# program waits (for sleeps, thread ends, the programs it starts).
TEST_JOBS = $(JOBS)
check-arm64: TEST_JOBS = $(shell echo $$(($(JOBS) * 2)))

# `run` configures only a fresh build folder: after `make check` it uses
# the tests' configuration in the same folder as it is.
run: build/CMakeCache.txt
	$(CMAKE) --build --preset plain -j $(JOBS)
	./build/bin/faultkit demo

build/CMakeCache.txt:
	$(CMAKE) --preset plain

check: $(CHECKS) check-windows-release check-arm64
	@echo "all test suites passed"

ifeq ($(HAVE_WINDOWS),)
check-windows-release:
	@echo "*** Windows tests skipped: x86_64-w64-mingw32-g++-posix or wine not found"
	@echo "*** (apt-get install mingw-w64 g++-mingw-w64-x86-64 wine64)"
endif

ifeq ($(HAVE_ARM64),)
check-arm64:
	@echo "*** 64-bit ARM tests skipped: aarch64-linux-gnu-g++ or qemu-aarch64 not found"
	@echo "*** (apt-get install g++-aarch64-linux-gnu qemu-user)"
endif

bench: build-default
	$(CMAKE) --build --preset default --target run_benchmarks

fuzz-build: build-fuzz

# CI: a short run of each target on a copy of its corpus.
fuzz: FUZZ_TIME = $(or $(FUZZ_SECONDS),60)
fuzz: fuzz-build
	@for f in build-fuzz/bin/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  name=$${f##*/fuzz_}; work=build-fuzz/corpus-$$name; \
	  rm -rf $$work && mkdir -p $$work && cp fuzz/corpus/$$name/* $$work/; \
	  echo "fuzzing $$name for $(FUZZ_TIME) s"; \
	  $$f -max_total_time=$(FUZZ_TIME) -print_final_stats=1 $$work >build-fuzz/$$name.log 2>&1 \
	    || { tail -50 build-fuzz/$$name.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units' build-fuzz/$$name.log; \
	done

# A campaign: each target runs for FUZZ_TIME seconds, writing what it finds
# into a folder of its own besides reading its corpus. Then the corpus is
# minimised: the hand-written seeds (named by what they hold) stay, and of
# the inputs named by their hash, old and new, libFuzzer keeps a smallest
# set that reaches everything they reach (-merge=1).
FUZZ_TARGETS := $(notdir $(wildcard fuzz/corpus/*))

fuzz-long: $(addprefix fuzz-long-,$(FUZZ_TARGETS))

fuzz-long-%: FUZZ_TIME = $(or $(FUZZ_SECONDS),1800)
fuzz-long-%: fuzz-build
	@f=build-fuzz/bin/fuzz_$*; corpus=fuzz/corpus/$*; log=build-fuzz/$*-long.log; \
	found=build-fuzz/found-$*; minimised=build-fuzz/minimised-$*; \
	mkdir -p $$found; rm -rf $$minimised && mkdir -p $$minimised; \
	echo "fuzzing $* for $(FUZZ_TIME) s"; \
	$$f -max_total_time=$(FUZZ_TIME) -print_final_stats=1 $$found $$corpus \
	  >$$log 2>&1 || { tail -50 $$log; exit 1; }; \
	grep -E 'stat::(number_of_executed_units|average_exec_per_sec|new_units_added|peak_rss_mb)' $$log \
	  | sed 's/^/$*: /'; \
	before=$$(ls $$corpus | wc -l); \
	find $$corpus -type f ! -name '????????????????????????????????????????' \
	  -exec cp {} $$minimised/ \; ; \
	$$f -merge=1 $$minimised $$corpus $$found >>$$log 2>&1 || { tail -20 $$log; exit 1; }; \
	rm -f $$corpus/* && cp $$minimised/* $$corpus/; \
	echo "corpus $*: $$before inputs before, $$(ls $$corpus | wc -l) after"

# The profiles of the previous run are removed first; the report merges
# what the tests wrote. HTML in build-cov/coverage-html.
coverage: build-coverage
	rm -rf build-cov/profiles
	$(CTEST) --preset coverage -j $(JOBS)
	$(CMAKE) --build --preset coverage --target coverage_report

# Mutation testing: MUTANTS faults (200) planted one at a time at sites of
# src/ drawn with SEED (random when empty, printed) from the files under
# FILTER (path prefixes or globs, separated by commas), each followed by an
# incremental build of build-mutate and the Linux suite up to its first
# failure. MUTATE_ARGS passes more options, e.g. --windows, --resume or
# --every-test (tools/mutate.py --help).
MUTANTS ?= 200
SEED ?=
FILTER ?= src/
MUTATE_ARGS ?=
.PHONY: mutate
mutate:
	python3 tools/mutate.py --count $(MUTANTS) $(if $(SEED),--seed $(SEED)) --filter '$(FILTER)' \
	  --jobs $(JOBS) $(MUTATE_ARGS)

clean:
	rm -rf build build-asan build-tsan build-win build-arm64 build-fuzz build-cov
