# The two commands that do everything on a fresh machine:
#   make run    builds and starts the program
#   make test   builds and runs every test
BUILD ?= build
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local

.PHONY: all build run test test-asan test-arm64 test-windows package-arm64 package-windows \
  web serve-web test-web fuzz-build fuzz fuzz-kernels install package clean bench

all: build

build:
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=Release
	cmake --build $(BUILD) -j $(JOBS)

run: build
	./$(BUILD)/trelvo

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The whole suite again under AddressSanitizer and UndefinedBehaviorSanitizer.
ASAN_BUILD ?= build-asan
test-asan:
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTRELVO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ctest --output-on-failure -j $(JOBS)

# The cross builds, each tested here under emulation with the same expected
# files: ARM64 Linux under qemu-aarch64, Windows x86-64 under wine64
# (tests/run_cross.sh installs the toolchains and emulators when missing).
# package-arm64 leaves the arm64 .deb in $(ARM64_BUILD), package-windows
# the ZIP of trelvo.exe and LEGGIMI.txt in $(WINDOWS_BUILD).
ARM64_BUILD ?= build-arm64
WINDOWS_BUILD ?= build-windows
test-arm64:
	tests/run_cross.sh arm64 test $(ARM64_BUILD) $(JOBS)
test-windows:
	tests/run_cross.sh windows test $(WINDOWS_BUILD) $(JOBS)
package-arm64:
	tests/run_cross.sh arm64 package $(ARM64_BUILD) $(JOBS)
package-windows:
	tests/run_cross.sh windows package $(WINDOWS_BUILD) $(JOBS)

# The program in WebAssembly (Debian's emscripten; tests/web/run.sh installs
# it, node, npm, the page's npm packages and chromium when missing): `make
# web` builds the page in $(WEB_BUILD) (index.html, trelvo.js, trelvo.wasm,
# the terminal widget) and the same program for node, $(WEB_BUILD)/node/trelvo.js;
# `make serve-web` serves the page on localhost:$(WEB_PORT); `make test-web`
# runs the whole suite under node, then types dialogues into the page in
# headless chromium (screenshot in $(WEB_BUILD)/screenshot.png).
WEB_BUILD ?= build-web
WEB_PORT ?= 8000
web:
	tests/web/run.sh build $(WEB_BUILD) $(JOBS)
serve-web:
	tests/web/run.sh serve $(WEB_BUILD) $(WEB_PORT)
test-web:
	tests/web/run.sh test $(WEB_BUILD) $(JOBS)

# Fuzzing (clang): `make fuzz` feeds the fuzzer's inputs to the whole
# dialogue, `make fuzz-kernels` checks the vector kernels against the plain
# code bit for bit; each runs FUZZ_SECONDS. New inputs go to $(FUZZ_BUILD)
# (corpus/, kernels-corpus/), findings to $(FUZZ_BUILD)/findings/;
# the dialogue's seeds are tests/fuzz/corpus and, made at build time from
# tests/transcripts/*.in, $(FUZZ_BUILD)/tests/fuzz/seeds.
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZ_FLAGS = -timeout=10 -rss_limit_mb=2048 -max_total_time=$(FUZZ_SECONDS) -print_final_stats=1

fuzz-build:
	cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
	  -DTRELVO_FUZZ=ON -DTRELVO_TESTS=OFF
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target dialogue_fuzzer kernels_fuzzer
	mkdir -p $(FUZZ_BUILD)/corpus $(FUZZ_BUILD)/kernels-corpus $(FUZZ_BUILD)/findings

fuzz: fuzz-build
	$(FUZZ_BUILD)/tests/fuzz/dialogue_fuzzer $(FUZZ_BUILD)/corpus tests/fuzz/corpus \
	  $(FUZZ_BUILD)/tests/fuzz/seeds \
	  -dict=tests/fuzz/dialogue.dict -max_len=4096 $(FUZZ_FLAGS) \
	  -artifact_prefix=$(FUZZ_BUILD)/findings/

fuzz-kernels: fuzz-build
	$(FUZZ_BUILD)/tests/fuzz/kernels_fuzzer $(FUZZ_BUILD)/kernels-corpus -max_len=8192 \
	  -len_control=0 $(FUZZ_FLAGS) -artifact_prefix=$(FUZZ_BUILD)/findings/kernels-

install: build
	cmake --install $(BUILD) --prefix $(PREFIX) --component trelvo

# A Debian package of the program and its manual page, left in $(BUILD).
package: build
	cd $(BUILD) && cpack

# The program on its large dialogues beside OpenBLAS and a C scanf loop:
# one table of times and ratios (installs libopenblas-dev if missing).
bench:
	sh bench/run.sh

clean:
	rm -rf $(BUILD)
