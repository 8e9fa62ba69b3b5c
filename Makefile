# The two commands of the README, and a few more for the work in between.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# The Windows builds (MinGW-w64, static): $(call win-build,FOLDER,ARCH[,--target T]).
WIN_BUILDS := build-win64 build-win32
win-build = cmake -S . -B $(1) -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-$(2).cmake >/dev/null && \
  cmake --build $(1) -j $(JOBS) $(3)

.PHONY: all deps configure build test check demo screenshot bench clean windows windows-tests

all: build

deps:
	@bash scripts/install-deps.sh

configure: deps
	@cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The full gate: every build and every test (the Windows ones under Wine).
test: build windows-tests
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# One build, the quick tests: for iterating.
check: build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE slow

demo: build
	@bash scripts/demo.sh $(BUILD)/cardwright

# A picture of the window with a sample package and card, drawn by the program itself.
screenshot: build
	@bash scripts/screenshot.sh $(BUILD)/cardwright $(BUILD)/screenshot.png

# cardwright.exe in build-win64/ and build-win32/.
windows: deps
	@$(call win-build,build-win64,x86_64,--target cardwright)
	@$(call win-build,build-win32,i686,--target cardwright)

# The cross-built unit tests as well; `make test` runs them under Wine.
windows-tests: windows
	@$(call win-build,build-win64,x86_64)
	@$(call win-build,build-win32,i686)

# Benchmarks in a Release build of their own (never part of test); results in build-bench/.
bench: deps
	@bash scripts/bench.sh

clean:
	rm -rf $(BUILD) $(WIN_BUILDS)
