# Convenience wrapper around CMake.
#   make run    build and run the demo
#   make check  build and run every test: Linux, sanitizers, and Windows
#               (Release, the configuration that ships) under Wine when the
#               cross compiler and Wine are present
#   make bench  build and run the benchmarks
#   make fuzz   build the libFuzzer targets with clang and run each for
#               FUZZ_SECONDS seconds on a copy of its corpus

JOBS      ?= $(shell nproc 2>/dev/null || echo 2)
GENERATOR := $(if $(shell command -v ninja 2>/dev/null),-G Ninja,)
CMAKE     := cmake
CTEST     := ctest --output-on-failure -j $(JOBS)

HAVE_WINDOWS := $(and $(shell command -v x86_64-w64-mingw32-g++-posix 2>/dev/null),$(shell command -v wine 2>/dev/null))

FUZZ_SECONDS ?= 60

.PHONY: run check check-linux check-asan check-tsan check-windows bench fuzz clean

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

fuzz:
	CC=clang CXX=clang++ $(CMAKE) -S . -B build-fuzz $(GENERATOR) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DFAULTKIT_SANITIZE=address,undefined -DFAULTKIT_FUZZ=ON -DFAULTKIT_TESTS=OFF -DFAULTKIT_WERROR=ON
	$(CMAKE) --build build-fuzz -j $(JOBS)
	@for f in build-fuzz/fuzz/fuzz_*; do \
	  [ -x "$$f" ] || continue; \
	  name=$${f##*/fuzz_}; work=build-fuzz/corpus-$$name; \
	  rm -rf $$work && mkdir -p $$work && cp fuzz/corpus/$$name/* $$work/; \
	  echo "fuzzing $$name for $(FUZZ_SECONDS) s"; \
	  $$f -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 $$work >build-fuzz/$$name.log 2>&1 \
	    || { tail -50 build-fuzz/$$name.log; exit 1; }; \
	  grep -E 'stat::number_of_executed_units' build-fuzz/$$name.log; \
	done

clean:
	rm -rf build build-asan build-tsan build-win build-fuzz
