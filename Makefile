# The set-up and test commands; see README.md.
BUILD      ?= build
BUILD_SAN  ?= build-san
JOBS       ?= 2
CMAKE_TYPE ?= RelWithDebInfo

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

demo: build
	@tools/demo.sh $(BUILD)

bench: build
	@for b in $(BUILD)/*_bench; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf $(BUILD) $(BUILD_SAN) demo
