# The set-up and test commands; see README.md.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_DEMO ?= build-demo
BUILD_FUZZ ?= build-fuzz
BUILD_WIN  ?= build-win
BUILD_DEB  ?= build-deb
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = lh5_decoder member_header listing release_extract add logo mib verify salvage group_runs manifest best
JOBS       ?= 2
CMAKE_TYPE ?= RelWithDebInfo

# No "Entering directory" lines from the builds cmake runs.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build test format format-check tidy sanitize demo bench fuzz windows windows-test deb clean

all: build

deps:
	@tools/install-deps.sh

# Warnings are errors for the developers' and CI's builds only.
build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

test: deps format-check build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The sources laid out as .clang-format says: format-check names the files
# that are not (make test runs it), format rewrites them.
SOURCES = $(shell git ls-files '*.cpp' '*.hpp')
format-check:
	@clang-format --dry-run -Werror --style=file $(SOURCES) || { echo "run make format"; exit 1; }
format:
	clang-format -i --style=file $(SOURCES)

# No function longer than 60 lines (.clang-tidy), over the tool's own code.
tidy: build
	clang-tidy -p $(BUILD) --quiet $(filter-out %_test.cpp %platform_windows.cpp,$(filter common/% archive/% picture/% image/% insert/% report/% folder/% driver/%,$(filter %.cpp,$(SOURCES))))

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DMOZAIK_WERROR=ON -DMOZAIK_SANITIZE=ON -DMOZAIK_BENCH=OFF >/dev/null
	cmake --build $(BUILD_SAN) -j$(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=1 ctest --output-on-failure -j$(JOBS)

# Only the tool and mkimage, in a build folder of their own (no GoogleTest
# needed); the build's progress lines are dropped, its diagnostics are not.
demo:
	@tools/install-deps.sh demo
	@echo "building mozaik32 and mkimage in $(BUILD_DEMO)/ ..."
	@cmake -S . -B $(BUILD_DEMO) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_TESTS=OFF -DMOZAIK_BENCH=OFF -DMOZAIK_TOOLS=ON >/dev/null
	@cmake --build $(BUILD_DEMO) -j$(JOBS) --target mozaik32 mkimage >/dev/null
	@tools/demo.sh $(BUILD_DEMO)

# Each libFuzzer target for FUZZ_SECONDS, from its seeds in fuzz/corpus/
# (new inputs go to $(BUILD_FUZZ)/corpus/); a crash stops with status 1 and
# leaves the input as $(BUILD_FUZZ)/crash-*.
fuzz:
	@tools/install-deps.sh fuzz
	CC=clang CXX=clang++ cmake -S . -B $(BUILD_FUZZ) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMOZAIK_WERROR=ON -DMOZAIK_FUZZ=ON -DMOZAIK_TESTS=OFF -DMOZAIK_BENCH=OFF >/dev/null
	cmake --build $(BUILD_FUZZ) -j$(JOBS)
	@for t in $(FUZZ_TARGETS); do \
	  mkdir -p $(BUILD_FUZZ)/corpus/$$t fuzz/corpus/$$t; \
	  echo "fuzz_$$t: $(FUZZ_SECONDS) s"; \
	  ASAN_OPTIONS=detect_leaks=1:quarantine_size_mb=16 $(BUILD_FUZZ)/fuzz/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1 \
	    -artifact_prefix=$(CURDIR)/$(BUILD_FUZZ)/ $(CURDIR)/$(BUILD_FUZZ)/corpus/$$t $(CURDIR)/fuzz/corpus/$$t 2>$(BUILD_FUZZ)/fuzz_$$t.log \
	    || { tail -40 $(BUILD_FUZZ)/fuzz_$$t.log; exit 1; }; \
	  grep -E "^#[0-9]+.*DONE|^stat::(number_of_executed_units|average_exec_per_sec)" $(BUILD_FUZZ)/fuzz_$$t.log; \
	done

# Windows: mozaik32.exe cross-built with mingw-w64 in $(BUILD_WIN)/ (its
# runtimes linked in), and $(BUILD_WIN)/mozaik32-windows.zip with the .exe,
# the README and the manual page as text, CRLF line ends, and the PowerShell
# completion (written by a Linux build of the generator in $(BUILD_DEMO)/). The folder is
# configured once for the tool and its tests (GoogleTest from Debian's
# sources); `windows` builds the tool alone.
WIN_CONFIGURE = cmake -S . -B $(BUILD_WIN) -DCMAKE_TOOLCHAIN_FILE=tools/windows-toolchain.cmake \
  -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_WERROR=ON -DMOZAIK_BENCH=OFF \
  -DMOZAIK_GTEST_SOURCE=/usr/src/googletest -DMOZAIK_PATH_PREFIX=Z: -DMOZAIK_LINUX_BUILD=$(CURDIR)/$(BUILD_DEMO)
# Wine with a prefix of its own in the build folder, no debug chatter, and
# no debugger that would turn a crash into status 0.
WINE_ENV = WINEPREFIX=$(CURDIR)/$(BUILD_WIN)/wine WINEDEBUG=-all WINEDLLOVERRIDES=winedbg.exe=d

windows:
	@tools/install-deps.sh windows
	@$(WIN_CONFIGURE) >/dev/null
	cmake --build $(BUILD_WIN) -j$(JOBS) --target mozaik32
	@cmake -S . -B $(BUILD_DEMO) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_TESTS=OFF -DMOZAIK_BENCH=OFF -DMOZAIK_TOOLS=ON >/dev/null
	cmake --build $(BUILD_DEMO) -j$(JOBS) --target shell_completions
	@tools/windows-zip.sh $(BUILD_WIN) $(BUILD_DEMO)/completion/mozaik32-completion.ps1

# The test programs under Wine (standard input from /dev/null, so that no
# child waits on it), and the comparison of the Linux and the Windows tool
# on the same images, which uses the Linux tool and mkimage of $(BUILD_DEMO).
windows-test: windows
	cmake --build $(BUILD_WIN) -j$(JOBS)
	@cmake -S . -B $(BUILD_DEMO) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_TESTS=OFF -DMOZAIK_BENCH=OFF -DMOZAIK_TOOLS=ON >/dev/null
	cmake --build $(BUILD_DEMO) -j$(JOBS) --target mozaik32 mkimage
	$(WINE_ENV) wineboot --init </dev/null
	cd $(BUILD_WIN) && $(WINE_ENV) ctest --output-on-failure -j$(JOBS) </dev/null

# The Debian package, in $(BUILD_DEB)/ with CPack: the tool alone, hardened
# as Debian builds are, laid out for /usr; then its contents, version,
# dependencies and lintian are checked (tools/deb/check.sh). DEB_ALL=ON
# builds the tests and benchmarks in the same folder too, warnings as
# errors: CI's Release build of everything, whose optimiser warns where the
# other builds do not (the package holds the tool alone all the same).
DEB_FLAGS = -D_FORTIFY_SOURCE=2 -fstack-protector-strong
DEB_ALL ?= OFF
deb:
	@tools/install-deps.sh deb
	@cmake -S . -B $(BUILD_DEB) -DCMAKE_BUILD_TYPE=Release -DMOZAIK_TESTS=$(DEB_ALL) -DMOZAIK_BENCH=$(DEB_ALL) \
	  -DMOZAIK_WERROR=$(DEB_ALL) -DMOZAIK_DEB=ON \
	  -DCMAKE_INSTALL_PREFIX=/usr -DMOZAIK_ZSH_COMPLETION_DIR=share/zsh/vendor-completions \
	  "-DCMAKE_CXX_FLAGS=$(DEB_FLAGS)" "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro,-z,now" >/dev/null
	cmake --build $(BUILD_DEB) -j$(JOBS)
	rm -f $(BUILD_DEB)/mozaik32_*.deb
	cd $(BUILD_DEB) && cpack -G DEB >/dev/null
	tools/deb/check.sh $(BUILD_DEB)/mozaik32_*.deb

bench: build
	@for b in $(BUILD)/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_DEMO) $(BUILD_FUZZ) $(BUILD_WIN) $(BUILD_DEB) demo
