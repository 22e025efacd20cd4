# Thin wrapper over the CMake presets; see README.md.
# Warnings become errors when CI is set (CI=true in the CI run).
WERROR ?= $(if $(filter true 1 yes,$(CI)),ON,OFF)
JOBS   ?= $(shell nproc 2>/dev/null || echo 2)
CMAKE_FLAGS = -DTALLOWMERE_WERROR=$(WERROR)
FUZZ_SECONDS ?= 60

.PHONY: all deps build test test-asan test-tsan run bench fuzz clean

all: build

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake --preset default $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset default -j $(JOBS)

test: build
	@ctest --preset default -j $(JOBS)

test-asan: deps
	@cmake --preset asan $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset asan -j $(JOBS)
	@ctest --preset asan -j $(JOBS)

test-tsan: deps
	@cmake --preset tsan $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset tsan -j $(JOBS)
	@ctest --preset tsan -j $(JOBS)

run: build
	@bash scripts/run.sh build/default

bench: deps
	@cmake --preset bench $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset bench -j $(JOBS)
	@bash scripts/bench.sh build/bench

fuzz: deps
	@cmake --preset fuzz $(CMAKE_FLAGS) >/dev/null
	@cmake --build --preset fuzz -j $(JOBS) --target fuzz_targets
	@bash scripts/fuzz.sh build/fuzz $(FUZZ_SECONDS)

clean:
	@rm -rf build
