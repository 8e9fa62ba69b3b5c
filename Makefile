# The two commands of the README, and a few more for the work in between.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: all deps configure build test check demo screenshot clean

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

# A picture of the window with a sample package and card, drawn by the program itself.
screenshot: build
	@bash scripts/screenshot.sh $(BUILD)/cardwright $(BUILD)/screenshot.png

clean:
	rm -rf $(BUILD)
