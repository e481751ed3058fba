# SPDX-License-Identifier: GPL-3.0-or-later
# make run   installs what is missing, builds and starts Stackpaste on the current X display
# make test  installs what is missing, builds (normal and sanitizer builds) and runs every test
# make package builds a Debian package; make install installs under /usr/local (PREFIX=...)
# make demo  runs the real program under a private X server and pastes three copies into a text field
JOBS ?= $(shell nproc)
BUILD := build
ASAN_BUILD := build-asan

.PHONY: all deps build build-asan run test test-asan test-normal check-format demo bench package install format clean

all: build

deps:
	@./scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo

$(ASAN_BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSTACKPASTE_SANITIZE=ON -DSTACKPASTE_BENCHMARKS=OFF

build: deps $(BUILD)/CMakeCache.txt
	cmake --build $(BUILD) -j $(JOBS)

build-asan: deps $(ASAN_BUILD)/CMakeCache.txt
	cmake --build $(ASAN_BUILD) -j $(JOBS)

run: build
	@./scripts/run-stackpaste $(BUILD)/src/stackpaste

test-asan: build-asan
	ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	ctest --test-dir $(ASAN_BUILD) --output-on-failure -j 2

test-normal: build
	ctest --test-dir $(BUILD) --output-on-failure -j 2

# Formatting first (it fails in a second), then the sanitizer run, so the last line is the normal build's CTest summary.
test: check-format test-asan test-normal

# Fails on any C++ file that clang-format (with the project's .clang-format) would change.
SOURCES_CXX = $(shell git ls-files '*.cpp' '*.h' 2>/dev/null || find src tests benchmarks -name '*.cpp' -o -name '*.h')
check-format: deps
	@clang-format --dry-run --Werror $(SOURCES_CXX) && echo "check-format: every C++ file is formatted"

demo: build
	@./scripts/demo $(BUILD)/src/stackpaste

# The Debian package, in build/ (installs under /usr).
package: build
	cd $(BUILD) && cpack -G DEB

# Installs under PREFIX (default /usr/local; DESTDIR is honoured).
PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

bench: build
	@./scripts/run-benchmarks $(BUILD)

format:
	clang-format -i $(SOURCES_CXX)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
