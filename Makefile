# SPDX-License-Identifier: GPL-3.0-or-later
# Thin wrapper over the CMake presets; see README.md.
# Warnings become errors when CI is set (CI=true in the CI run).
WERROR ?= $(if $(filter true 1 yes,$(CI)),ON,OFF)
JOBS   ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS = -DTALLOWMERE_WERROR=$(WERROR)
FUZZ_SECONDS ?= 60
# Whether Wine's 32-bit half is installed (the 32-bit Windows tests need it).
WINE32 = $(shell dpkg-query -W -f='$${Status}' wine32:i386 2>/dev/null | grep -q 'ok installed' && echo yes)

.PHONY: all deps deps-test deps-all build test test-asan test-tsan run bench fuzz package clean windows windows-build test-windows

all: build

# Packages in layers: building and running, then the Linux tests, then the
# fuzzers, the package and the Windows builds (scripts/install-deps.sh).
deps:
	@bash scripts/install-deps.sh run

deps-test:
	@bash scripts/install-deps.sh test

deps-all:
	@bash scripts/install-deps.sh all

build: deps
	@cmake --preset default $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset default -j $(JOBS)

test: deps-test build
	@ctest --preset default -j $(JOBS)

test-asan: deps-test
	@cmake --preset asan $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-tsan: deps-test
	@cmake --preset tsan $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

run: build
	@bash scripts/run.sh build/default

bench: deps-test
	@cmake --preset bench $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@bash scripts/bench.sh build/bench

fuzz: deps-all
	@cmake --preset fuzz $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target fuzz_targets
	@bash scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

# The Debian package, built apart from the test builds with Debian's own
# hardening flags, and copied here as tallowmere_<version>_<arch>.deb.
PACKAGE_BUILD = build/package
buildflags = $(shell DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get $(1))
package: deps-all
	@cmake -S . -B $(PACKAGE_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DTALLOWMERE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr $(CMAKE_FLAGS) \
	  -DCMAKE_C_FLAGS="$(call buildflags,CPPFLAGS) $(call buildflags,CFLAGS)" \
	  -DCMAKE_CXX_FLAGS="$(call buildflags,CPPFLAGS) $(call buildflags,CXXFLAGS)" \
	  -DCMAKE_EXE_LINKER_FLAGS="$(call buildflags,LDFLAGS)" >/dev/null
	@cmake --build $(PACKAGE_BUILD) -j $(JOBS)
	@rm -f $(PACKAGE_BUILD)/tallowmere_*.deb
	@cd $(PACKAGE_BUILD) && cpack -G DEB >cpack.log 2>&1 || { cat cpack.log; exit 1; }
	@cp $(PACKAGE_BUILD)/tallowmere_*.deb .
	@echo "package: $$(cd $(PACKAGE_BUILD) && ls tallowmere_*.deb)"

# Both Windows builds (mingw-w64) and their zips in dist/. Each build tree
# compiles FFTW once (cmake/WindowsFftw.cmake); later builds reuse it.
windows: windows-build
	@bash scripts/windows-zip.sh build/windows-x86 win32
	@bash scripts/windows-zip.sh build/windows-x64 win64

# Where Wine's 32-bit half is missing, the 32-bit tests cannot run, so the
# 32-bit build makes only the two programs of its zip.
windows-build: deps-all
	@for arch in x86 x64; do \
	  targets=; \
	  if [ $$arch = x86 ] && [ "$(WINE32)" != yes ]; then targets="--target tallowmere_win32_program tallowmere-cli"; fi; \
	  cmake --preset windows-$$arch $(CMAKE_FLAGS) >/dev/null && \
	  cmake --build --preset windows-$$arch -j $(JOBS) $$targets || exit 1; \
	done

# The Windows builds' tests under Wine, in one private prefix: the unit
# tests (one at a time: Wine programs started side by side in one prefix
# race for its desktop), then tallowmere-cli.exe on the virtual devices and on
# WinMM, and its measurements beside the Linux build's (build/default).
# The 32-bit half runs only where Wine's 32-bit half is installed
# (scripts/install-deps.sh warns when the archive cannot give it). Now and
# then Wine fails to start a program at all (a failure in 0.01 s with no
# output, seen in CI): a test program that fails is run once more, and one
# that fails twice fails.
WINE_CTEST = ctest -j 1 --repeat until-pass:2
test-windows: windows-build build
	@bash scripts/windows-wine-prefix.sh build/wine/prefix
	@$(WINE_CTEST) --preset windows-x64
	@bash scripts/windows-wine-tests.sh build/windows-x64 build/wine/prefix build/default
	@bash scripts/windows-measure-tests.sh build/windows-x64 build/wine/prefix build/default
	@if [ "$(WINE32)" = yes ]; then \
	  $(WINE_CTEST) --preset windows-x86 && \
	  bash scripts/windows-wine-tests.sh build/windows-x86 build/wine/prefix build/default && \
	  bash scripts/windows-measure-tests.sh build/windows-x86 build/wine/prefix build/default; \
	else \
	  echo "test-windows: SKIPPED the 32-bit Windows tests: wine32:i386 is not installed" >&2; \
	fi

clean:
	@rm -rf build dist
