# The two commands of the README, and a few more for the work in between.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test check demo bench clean

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The full gate: every build and every test.
test: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# One build, the quick tests: for iterating.
check: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE slow

demo: build
	@bash scripts/demo.sh $(BUILD)/cardwright

# Benchmarks in a Release build of their own (never part of test); results in build-bench/.
bench: deps
	@bash scripts/bench.sh

clean:
	rm -rf $(BUILD)
