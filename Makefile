# The two commands of the README:
#   make play   installs what is missing, builds, and starts skirmora
#   make test   installs what is missing, builds, and runs every test,
#               then runs them again built with AddressSanitizer and UBSan
# Also: make build, make bench, make fuzz, make assets, make format.

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
JOBS       ?= $(shell nproc)
XVFB       := xvfb-run -a -s "-screen 0 1280x1024x24"

.PHONY: deps build play test test-plain test-asan bench fuzz assets format clean

deps:
	@bash scripts/install-deps.sh

build: deps
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)

play: build
	./$(BUILD)/skirmora

test-plain: build
	SDL_AUDIODRIVER=dummy $(XVFB) ctest --test-dir $(BUILD) --output-on-failure -j $(JOBS)

test-asan: deps
	@cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DSKIRMORA_SANITIZE=ON >/dev/null
	@cmake --build $(ASAN_BUILD) -j $(JOBS)
	ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 SDL_AUDIODRIVER=dummy \
	  $(XVFB) ctest --test-dir $(ASAN_BUILD) --output-on-failure -j $(JOBS)

test: test-plain test-asan

bench: build
	@for b in $(BUILD)/bench/bench_*; do [ -x "$$b" ] && SDL_AUDIODRIVER=dummy "$$b"; done; true

fuzz: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DSKIRMORA_FUZZ=ON -DSKIRMORA_TESTS=ON -DSKIRMORA_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)
	@ls $(FUZZ_BUILD)/tests/fuzz_*

assets: build
	@cmake --build $(BUILD) --target assets_regenerate

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
