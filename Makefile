# The two commands of the README, and a few more for the work in between.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

# The Windows builds (MinGW-w64, static): $(call win-build,FOLDER,ARCH[,--target T]). Their
# window's pictures are drawn by cardwright_artwork, a host program of the host build.
WIN_BUILDS := build-win64 build-win32
WIN_CMAKE_FLAGS ?=
ARTWORK_TOOL = $(abspath $(BUILD))/cardwright_artwork
win-build = cmake -S . -B $(1) -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" \
  -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/mingw-w64-$(2).cmake \
  -DCARDWRIGHT_ARTWORK_TOOL=$(ARTWORK_TOOL) $(WIN_CMAKE_FLAGS) >/dev/null && \
  cmake --build $(1) -j $(JOBS) $(3)

# Sanitizer builds: lean (no window, no benchmarks, no real-FAT harness, which they do not run),
# each in its own folder. At -O0: GCC with these sanitizers compiles a test file in about 13 s
# instead of 33 s at -O1, and the ASan build was the longest step of a CI run (~21 minutes of
# wall time at -O1); the suites wait on files and threads more than they compute.
SAN_COMMON := -g -fno-omit-frame-pointer
ASAN_FLAGS := -O0 $(SAN_COMMON) -fsanitize=address,undefined -fno-sanitize-recover=undefined
TSAN_FLAGS := -O0 $(SAN_COMMON) -fsanitize=thread
SAN_CMAKE_FLAGS := -DCMAKE_BUILD_TYPE=None -DCARDWRIGHT_BUILD_UI=OFF -DCARDWRIGHT_BUILD_BENCH=OFF \
  -DCARDWRIGHT_BUILD_FAT_TESTS=OFF
# The test programs whose tests start threads: worker jobs (two store jobs at once among them),
# the log's locking, platform locks and errors per thread, the CRC helper's table.
TSAN_TESTS := test_job test_log test_platform test_rules test_verify
SAN_ENV := ASAN_OPTIONS=detect_leaks=1:abort_on_error=0 UBSAN_OPTIONS=print_stacktrace=1 \
  TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1

# Fuzzing: clang's libFuzzer on an instrumented core, FUZZ_SECONDS per target.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_TARGETS := load_info_array version_block crc_list inspect stored_package extraction
# At -O1: a fuzz target's worth is its executions per second.
FUZZ_FLAGS := -O1 $(SAN_COMMON) -fsanitize=fuzzer-no-link,address,undefined \
  -fno-sanitize-recover=undefined

.PHONY: all deps deps-native configure build test check asan tsan fuzz fuzz-build fuzz-seeds \
  demo screenshot bench clean windows windows-tests windows-artwork windows-screenshot package \
  package-test crash-sweep

all: build

# Everything any target needs; deps-native only what the native build and its quick tests need
# (no Wine, no User-Mode Linux, no clang). A package that cannot be installed is written with
# apt's reason to $(BUILD)/missing-packages.txt; each suite that needs it is then left out, named
# in $(BUILD)/suites-not-run.txt, and `make test` ends with a failure that lists them.
DEPS := BUILD=$(BUILD) bash scripts/install-deps.sh
# $(call needs,SUITE,GROUP...): true when the packages of the groups are installed; else SUITE
# is noted as not run, with the missing packages and apt's reasons.
needs = $(DEPS) needs '$(1)' $(2)
NOT_RUN := $(BUILD)/suites-not-run.txt
# Written when every suite that did run passed, so that a caller can tell suites left out for
# want of packages from a suite that failed (make's own status is 2 for both).
PASSED_ALL_RUN := $(BUILD)/every-suite-run-passed
tried := CW_DEPS_TRIED=1

deps:
	@$(DEPS)

deps-native:
	@$(DEPS) native

# Optimised as shipped, without debug information: it makes each file's compile about a third
# slower, and the full gate compiles the project five times on two cores. For a debugger:
# make build CMAKE_FLAGS=-DCMAKE_BUILD_TYPE=RelWithDebInfo
configure-cmd = cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_FLAGS_RELEASE="-O2 -DNDEBUG" $(CMAKE_FLAGS) >/dev/null

configure: deps
	@$(call needs,the build,native)
	@$(configure-cmd)

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

# The full gate: every build and every test. The native suites first, then the Windows builds
# and their suites under Wine (labelled wine), then the sanitizers, and the Debian package's
# install into this machine last.
test: build
	@rm -f $(NOT_RUN) $(PASSED_ALL_RUN)
	@labels=wine; $(call needs,the real-FAT suites (ctest -L fat),fat) || labels='wine|fat'; \
	  cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE "$$labels"
	@if $(call needs,the Windows builds (make windows-tests) and their suites under Wine,windows); then \
	  $(tried) $(MAKE) --no-print-directory windows-tests || exit 1; \
	  skip=; \
	  $(call needs,the 64-bit Windows suites under Wine (wine_build-win64_*),wine64) || skip='build-win64|'; \
	  no32=; $(call needs,$(WINE32_SUITES),wine64 wine32) || { skip="$${skip}build-win32|"; no32=1; }; \
	  cd $(BUILD) && CW_NO_WINE32=$$no32 ctest --output-on-failure -j $(JOBS) -L wine \
	    $${skip:+-E "$${skip%|}"}; \
	fi
	@$(tried) $(MAKE) --no-print-directory asan tsan
	@if $(call needs,the Debian package test (make package-test),package); then \
	  $(tried) $(MAKE) --no-print-directory package-test; fi
	@touch $(PASSED_ALL_RUN)
	@$(report-not-run)

WINE32_SUITES := the 32-bit Windows suites under Wine (wine_build-win32_*) and the installer \
  checks of the 64-bit one (NSIS makes a 32-bit program)
# Fails, naming each suite left out for a package that could not be installed.
report-not-run = if [ -s $(NOT_RUN) ]; then echo "Not run, for want of packages:" >&2; \
  sed 's/^/  /' $(NOT_RUN) >&2; exit 1; fi

# One build, the quick tests: for iterating. Installs only the native set of packages; the
# real-FAT (User-Mode Linux), Wine and slow suites are left to `make test`.
check: deps-native
	@$(configure-cmd)
	@cmake --build $(BUILD) -j $(JOBS)
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS) -LE 'slow|fat|wine'

# Every chosen power cut of the store jobs of tests/fat/crash_sweep.cpp (`make test` runs a
# sample); the figures of each job are printed at the end and kept in $(BUILD)/crash-sweep.log.
crash-sweep: build
	@cd $(BUILD) && CW_CRASH_SWEEP=full ctest -V -j 2 -R '^fat_sweep[.]' >crash-sweep.log 2>&1; \
	  status=$$?; grep -E 'crash sweep|Failure|tests passed|tests failed' crash-sweep.log; exit $$status

# Every test under AddressSanitizer and UndefinedBehaviorSanitizer; any report fails it. The
# real-FAT scenarios (a 512 MB User-Mode Linux guest, no place for ASan's shadow memory) and the
# Windows builds under Wine (not built with the sanitizers) are left to the plain build.
asan: deps
	@cmake -S . -B build-asan -G Ninja $(SAN_CMAKE_FLAGS) -DCMAKE_CXX_FLAGS="$(ASAN_FLAGS)" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && env $(SAN_ENV) ctest --output-on-failure -j $(JOBS) -LE 'fat|wine'

# The threaded tests under ThreadSanitizer.
tsan: deps
	@cmake -S . -B build-tsan -G Ninja $(SAN_CMAKE_FLAGS) -DCMAKE_CXX_FLAGS="$(TSAN_FLAGS)" >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TESTS)
	@for t in $(TSAN_TESTS); do \
	  echo "tsan: $$t"; env $(SAN_ENV) build-tsan/tests/$$t --gtest_brief=1 || exit 1; \
	done

fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=None \
	  -DCARDWRIGHT_BUILD_TESTS=OFF -DCARDWRIGHT_BUILD_FUZZ=ON \
	  -DCMAKE_CXX_FLAGS="$(FUZZ_FLAGS)" >/dev/null
	@cmake --build $(FUZZ_BUILD) -j $(JOBS) --target fuzz_all

# Runs each target for FUZZ_SECONDS from its seeds (fuzz/corpus, left untouched); what it
# learns goes to $(FUZZ_BUILD)/corpus, a crash to $(FUZZ_BUILD)/crashes and fails the run.
# JOBS targets at a time: each still gets its FUZZ_SECONDS of one core.
fuzz: fuzz-build
	@FUZZ_JOBS=$(JOBS) bash fuzz/run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS) $(FUZZ_TARGETS)

# Writes the seed corpora again with the package writer (after a format change).
fuzz-seeds: fuzz-build
	@$(FUZZ_BUILD)/fuzz/make_fuzz_seeds fuzz/corpus

# cardwright_<version>_<arch>.deb in $(BUILD)/: the program, desktop entry, icons, manual,
# bash completion.
package: build
	@cmake --build $(BUILD) -j $(JOBS) --target package_files
	@cd $(BUILD) && cpack -G DEB >/dev/null && ls cardwright_*.deb

# Installs the package into this machine, checks it, and removes it again (root).
package-test: package
	@bash scripts/package-test.sh $(BUILD)

# Needs only the native set of packages.
demo: deps-native
	@$(call needs,the demo (make demo),native)
	@$(configure-cmd)
	@cmake --build $(BUILD) -j $(JOBS)
	@bash scripts/demo.sh $(BUILD)/cardwright

# A picture of the window with a sample package and card, drawn by the program itself.
screenshot: build
	@bash scripts/screenshot.sh $(BUILD)/cardwright $(BUILD)/screenshot.png

# The host program that draws the Windows window's pictures.
windows-artwork: configure
	@cmake --build $(BUILD) -j $(JOBS) --target cardwright_artwork

# cardwright.exe and its console twin cardwright.com in build-win64/ and build-win32/, each
# packed with a README for Windows users into cardwright-<version>-win64.zip (-win32.zip) and
# into the installer cardwright-<version>-setup.exe beside it.
windows: windows-artwork
	@$(call win-build,build-win64,x86_64,--target cardwright cardwright_zip cardwright_setup)
	@$(call win-build,build-win32,i686,--target cardwright cardwright_zip cardwright_setup)

# The cross-built unit tests as well; `make test` runs them under Wine. Both trees build every
# portable unit test, although the 64-bit one already runs them: the 32-bit tree is the only
# build whose size_t has 32 bits (the 2 GiB refusal of tests/package/byte_reader_test.cpp, the
# 1 GiB package of the end-to-end runs), so its second compile of the tests is kept.
windows-tests: windows
	@$(call win-build,build-win64,x86_64)
	@$(call win-build,build-win32,i686)

# A picture of the Windows window under Wine on a virtual X server: build-win64/screenshot.png.
windows-screenshot: windows
	@bash scripts/wine-screenshot.sh build-win64/cardwright.exe build-win64/screenshot.png

# Benchmarks in a Release build of their own (never part of test); results in build-bench/.
bench: deps
	@bash scripts/bench.sh

clean:
	rm -rf $(BUILD) $(WIN_BUILDS) build-asan build-tsan $(FUZZ_BUILD) build-bench
