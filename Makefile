# The two commands of the README:
#   make play   installs what is missing, builds, and starts skirmora
#   make test   installs what is missing, builds, and runs every test,
#               then runs them again built with AddressSanitizer and UBSan
# Also: make build, make bench, make fuzz (builds and runs every reader for
#       FUZZ_SECONDS each), make fuzz-build, make soak, make assets, make format,
#       make install (PREFIX=/usr/local), make package (a Debian package).

BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
JOBS       ?= $(shell nproc)
XVFB       := xvfb-run -a -s "-screen 0 1280x1024x24"

.PHONY: deps build play test test-plain test-asan bench fuzz fuzz-build soak assets format clean install package

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
	@SDL_AUDIODRIVER=dummy bash bench/programs.sh $(BUILD); true

# Builds the libFuzzer targets (clang, with the sanitizers) into $(FUZZ_BUILD).
fuzz-build: deps
	@CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo \
	  -DSKIRMORA_FUZZ=ON -DSKIRMORA_TESTS=ON -DSKIRMORA_BENCH=OFF >/dev/null
	@cmake --build $(FUZZ_BUILD) --target fuzzers -j $(JOBS)
	@ls $(FUZZ_BUILD)/tests/fuzz_*

# Builds them and runs every reader for FUZZ_SECONDS each, corpus in
# $(FUZZ_BUILD)/corpus/, crashes in $(FUZZ_BUILD)/crashes/.
fuzz: fuzz-build
	@bash scripts/fuzz-run.sh $(FUZZ_BUILD) $(FUZZ_SECONDS)

# The long runs (not part of make test): half an hour of local matches on the
# virtual clock, a thousand lobby connections, peers vanishing.
soak: build
	@cmake --build $(BUILD) --target soak_tests -j $(JOBS)
	@start=$$(date +%s); SDL_AUDIODRIVER=dummy $(abspath $(BUILD))/tests/soak_tests; rc=$$?; \
	  echo "soak: $$(($$(date +%s) - start)) s"; exit $$rc

assets: build
	@cmake --build $(BUILD) --target assets_regenerate

PREFIX ?= /usr/local
install: build
	cmake --install $(BUILD) --prefix $(PREFIX)

# Builds build/skirmora_<version>_<arch>.deb (install it with apt install ./build/skirmora_*.deb).
package: build
	@cd $(BUILD) && cpack -G DEB

format:
	@git ls-files '*.cpp' '*.h' | xargs clang-format -i

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
