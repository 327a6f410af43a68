# Convenience wrapper around CMake/CTest. `make demo` and `make test` are the two
# commands that matter on a fresh machine.
BUILD ?= build
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all build demo test test-quick peers smsd-test bench-smsd tsan asan windows windows-test fuzz-build fuzz-smoke install docs packaging-test format format-check clean

all: build

BUILD_TYPE ?= RelWithDebInfo

$(BUILD)/CMakeCache.txt:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) $(CMAKE_FLAGS)

build: $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j$(JOBS)

# The main job: the library against the built-in simulated phone.
demo: build
	$(BUILD)/tools/pelkor/pelkor demo

# Every test, slow ones included.
CTEST_FLAGS ?=
test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) $(CTEST_FLAGS)

# Everything but the tests labelled slow (waits of ten seconds and more), the two-minute
# fault soak and the thousand init/terminate cycles.
test-quick: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -LE 'slow|soak|cycles'

# Installs the library, its headers, pkg-config and CMake package files, the tools, their
# man pages and the examples under PREFIX (default /usr/local): make install PREFIX=~/.local
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# The API reference (Doxygen) of the public headers: $(BUILD)/docs/html/index.html.
# Fails when an export is undocumented.
docs:
	mkdir -p $(BUILD)/docs
	( cat docs/Doxyfile; echo "OUTPUT_DIRECTORY = $(BUILD)/docs"; \
	  echo "WARN_LOGFILE = $(BUILD)/docs/warnings.txt" ) | doxygen -
	@if grep 'pelkor16\.h:' $(BUILD)/docs/warnings.txt; then \
	  echo "docs: the C header is not fully documented"; exit 1; fi
	@echo "API reference: $(BUILD)/docs/html/index.html (pelkor16.h fully documented; $$(grep -c . $(BUILD)/docs/warnings.txt) notes on pelkor16.hpp in $(BUILD)/docs/warnings.txt)"

# The packaging checks alone: the installed tree, the C++ wrapper and the Python package.
packaging-test: build
	cd $(BUILD) && ctest --output-on-failure -R 'install_tree|python_package|Wrapped|LibraryInfo'

# Gammu and gnokii, as clients of phonesim (they are installed when missing).
peers: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L peers

# The SMS gateway daemon against phonesim: SQLite, and PostgreSQL when it is installed
# (each test starts and stops its own throwaway cluster).
smsd-test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS) -L smsd

# One style for every C and C++ file (.clang-format): `format` rewrites, `format-check`
# lists the files that differ and fails.
FORMAT_FILES = $$(git ls-files '*.c' '*.cpp' '*.h' '*.hpp')
format:
	clang-format -i $(FORMAT_FILES)

format-check:
	@clang-format --dry-run --Werror $(FORMAT_FILES) && \
	  echo "format-check: $$(git ls-files '*.c' '*.cpp' '*.h' '*.hpp' | wc -l) files, all formatted"

# Sanitizer builds skip optimisation (they compile faster and report more precisely)
# and leave out the command-line tool and the benchmarks: the tool is a host of the
# same C API that the integration tests drive.
SANITIZER_FLAGS = -DPELKOR_BUILD_TOOLS=OFF -DPELKOR_BUILD_BENCH=OFF

# Under ThreadSanitizer the soak and the cycles are left out for time; they run in the
# plain and the AddressSanitizer (LeakSanitizer) builds.
tsan:
	$(MAKE) test BUILD=build-tsan BUILD_TYPE=Debug CTEST_FLAGS="-LE 'soak|cycles'" \
	        CMAKE_FLAGS="-DPELKOR_SANITIZE=thread $(SANITIZER_FLAGS)"

asan:
	$(MAKE) test BUILD=build-asan BUILD_TYPE=Debug CMAKE_FLAGS="-DPELKOR_SANITIZE=address $(SANITIZER_FLAGS)"

# PELKOR16.dll for Windows, cross-built with MinGW-w64: build-win32/ (i686, stdcall) and
# build-win64/ (x86_64), each with its import library libPELKOR16.dll.a.
WINDOWS_BUILD_TYPE ?= Release

build-win32/CMakeCache.txt:
	cmake -S . -B build-win32 -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake

build-win64/CMakeCache.txt:
	cmake -S . -B build-win64 -DCMAKE_BUILD_TYPE=$(WINDOWS_BUILD_TYPE) \
	      -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake

windows: build-win32/CMakeCache.txt build-win64/CMakeCache.txt
	cmake --build build-win32 -j$(JOBS)
	cmake --build build-win64 -j$(JOBS)

# The DLLs' export tables (both), then each DLL under its own Wine against phonesim (i686
# under 32-bit Wine in a win32 prefix, with the stack-discipline check; x86_64 under
# wine64), with the same C host programs run against the Linux library for comparison.
windows-test: build windows
	python3 tests/windows/check_dll_exports.py include/pelkor16.h \
	        i686=build-win32/PELKOR16.dll x86_64=build-win64/PELKOR16.dll
	python3 tests/windows/wine_driver.py all

# libFuzzer targets (clang): fuzz/README.md says how to run them for longer.
# `fuzz-build`, not `fuzz`: make would take the fuzz/ folder for that target, up to date.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 30

$(FUZZ_BUILD)/CMakeCache.txt:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_C_COMPILER=clang \
	      -DCMAKE_CXX_COMPILER=clang++ -DPELKOR_FUZZ=ON -DPELKOR_BUILD_TESTS=OFF -DPELKOR_BUILD_BENCH=OFF

fuzz-build: $(FUZZ_BUILD)/CMakeCache.txt
	cmake --build $(FUZZ_BUILD) --target fuzz -j$(JOBS)

# Each target for FUZZ_SECONDS over its committed corpus; fails on any finding.
fuzz-smoke: fuzz-build
	python3 fuzz/make_corpus.py --check
	python3 fuzz/run_smoke.py $(FUZZ_BUILD) --seconds $(FUZZ_SECONDS)

clean:
	rm -rf build build-tsan build-asan build-win32 build-win64 build-fuzz
