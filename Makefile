# The set-up and test commands; see README.md.
BUILD      ?= build
BUILD_SAN  ?= build-san
BUILD_DEMO ?= build-demo
JOBS       ?= 2
CMAKE_TYPE ?= RelWithDebInfo

# No "Entering directory" lines from the builds cmake runs.
MAKEFLAGS += --no-print-directory

.PHONY: all deps build test sanitize demo bench clean

all: build

deps:
	@tools/install-deps.sh

# Warnings are errors for the developers' and CI's builds only.
build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_WERROR=ON >/dev/null
	cmake --build $(BUILD) -j$(JOBS)

test: deps build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(BUILD_SAN) -DCMAKE_BUILD_TYPE=Debug -DMOZAIK_WERROR=ON -DMOZAIK_SANITIZE=ON -DMOZAIK_BENCH=OFF >/dev/null
	cmake --build $(BUILD_SAN) -j$(JOBS)
	cd $(BUILD_SAN) && ASAN_OPTIONS=detect_leaks=0 MOZAIK_SANITIZED=1 ctest --output-on-failure -j$(JOBS)

# Only the tool and mkimage, in a build folder of their own (no GoogleTest
# needed); the build's progress lines are dropped, its diagnostics are not.
demo:
	@tools/install-deps.sh demo
	@echo "building mozaik32 and mkimage in $(BUILD_DEMO)/ ..."
	@cmake -S . -B $(BUILD_DEMO) -DCMAKE_BUILD_TYPE=$(CMAKE_TYPE) -DMOZAIK_TESTS=OFF -DMOZAIK_BENCH=OFF -DMOZAIK_TOOLS=ON >/dev/null
	@cmake --build $(BUILD_DEMO) -j$(JOBS) --target mozaik32 mkimage >/dev/null
	@tools/demo.sh $(BUILD_DEMO)

bench: build
	@for b in $(BUILD)/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN) $(BUILD_DEMO) demo
