# Convenience wrapper around CMake.
#   make run    build and run the demo
#   make check  build and run every test: Linux, sanitizers, and Windows
#               (Release, the configuration that ships) under Wine when the
#               cross compiler and Wine are present
#   make bench  build and run the benchmarks
#   make fuzz   build the libFuzzer targets with clang and run each for
#               FUZZ_SECONDS seconds (60) on a copy of its corpus
#   make fuzz-long  run each target for FUZZ_SECONDS (1800) and minimise its
#               corpus in fuzz/corpus with what it found; -j N runs N
#               targets at once
#   make coverage  build with clang's source-based coverage, run the suite
#               and print line and branch figures for src/ and tools/

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
CMAKE     := cmake
CTEST     := ctest --output-on-failure -j $(JOBS)

HAVE_WINDOWS := $(and $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null),$(shell command -v wine 2>/dev/null))

FUZZ_SECONDS ?=

.PHONY: run check check-linux check-asan check-tsan check-windows bench fuzz fuzz-build fuzz-long \
	coverage clean

# `run` needs nothing beyond CMake and a compiler; the test targets switch
# tests, benchmarks and warnings-as-errors on in the same build folder.
run: build/CMakeCache.txt
	$(CMAKE) --build build -j $(JOBS) --target faultkit_cli
	./build/tools/faultkit/faultkit demo

build/CMakeCache.txt:
	$(CMAKE) -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFAULTKIT_TESTS=OFF

check: check-linux check-asan check-tsan check-windows
	@echo "all test suites passed"

check-linux:
	$(CMAKE) -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFAULTKIT_TESTS=ON -DFAULTKIT_BENCH=ON -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build -j $(JOBS)
	cd build && $(CTEST)

check-asan:
	$(CMAKE) -S . -B build-asan $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DFAULTKIT_SANITIZE=address,undefined -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-asan -j $(JOBS)
	cd build-asan && ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

check-tsan:
	$(CMAKE) -S . -B build-tsan $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFAULTKIT_SANITIZE=thread -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-tsan -j $(JOBS)
	cd build-tsan && TSAN_OPTIONS=halt_on_error=1 $(CTEST) -L threads

check-windows:
ifeq ($(HAVE_WINDOWS),)
	@echo "*** Windows tests skipped: x86_64-w64-mingw32-g++-posix or wine not found"
	@echo "*** (apt-get install mingw-w64 g++-mingw-w64-x86-64 wine64)"
else
	$(CMAKE) -S . -B build-win $(GENERATOR) -DCMAKE_BUILD_TYPE=Release \
	  -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-win -j $(JOBS)
	cd build-win && FAULTKIT_WINEPREFIX=$(CURDIR)/build-win/wineprefix $(CTEST)
endif

bench:
	$(CMAKE) -S . -B build $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DFAULTKIT_BENCH=ON
	$(CMAKE) --build build -j $(JOBS)
	@for b in build/bench/bench_*; do [ -x "$$b" ] && "$$b" || exit 1; done

fuzz-build:
	CC=clang CXX=clang++ $(CMAKE) -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFAULTKIT_SANITIZE=address,undefined -DFAULTKIT_FUZZ=ON -DFAULTKIT_TESTS=OFF -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-fuzz -j $(JOBS)

# CI: a short run of each target on a copy of its corpus.
fuzz: FUZZ_TIME = $(or $(FUZZ_SECONDS),60)
fuzz: fuzz-build
	@for f in build-fuzz/fuzz/fuzz_*; do \
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
	@f=build-fuzz/fuzz/fuzz_$*; corpus=fuzz/corpus/$*; log=build-fuzz/$*-long.log; \
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

# Tests left out of the coverage run: installing and packing, which take
# minutes and run no library code of their own, and the export check, which
# the profile runtime's symbols fail.
COVERAGE_SKIP ?= install_consume|package_|exported_symbols
COVERAGE_FLAGS := -fprofile-instr-generate -fcoverage-mapping

coverage:
	CC=clang-14 CXX=clang++-14 $(CMAKE) -S . -B build-cov $(GENERATOR) -DCMAKE_BUILD_TYPE=Debug \
	  -DCMAKE_C_FLAGS="$(COVERAGE_FLAGS)" -DCMAKE_CXX_FLAGS="$(COVERAGE_FLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate \
	  -DCMAKE_SHARED_LINKER_FLAGS=-fprofile-instr-generate -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-cov -j $(JOBS)
	rm -rf build-cov/profiles
	cd build-cov && LLVM_PROFILE_FILE=$(CURDIR)/build-cov/profiles/%4m.profraw \
	  $(CTEST) -E '$(COVERAGE_SKIP)'
	llvm-profdata-14 merge -sparse -o build-cov/coverage.profdata build-cov/profiles/*.profraw
	python3 tools/coverage_report.py llvm-cov-14 build-cov/coverage.profdata build-cov .

# Mutation testing: MUTANTS faults (200) planted one at a time at sites of
# src/ drawn with SEED (random when empty, printed) from the files under
# FILTER (a path prefix or glob), each followed by an incremental build of
# build-mutate and the Linux suite up to its first failure. MUTATE_ARGS
# passes more options, e.g. --windows or --resume (tools/mutate.py --help).
MUTANTS ?= 200
SEED ?=
FILTER ?= src/
MUTATE_ARGS ?=
.PHONY: mutate
mutate:
	python3 tools/mutate.py --count $(MUTANTS) $(if $(SEED),--seed $(SEED)) --filter '$(FILTER)' \
	  --jobs $(JOBS) $(MUTATE_ARGS)

clean:
	rm -rf build build-asan build-tsan build-win build-fuzz build-cov
