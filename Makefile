# Tazel Administrator: the two commands are `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 300
CMAKE_ARGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
CTEST_ARGS ?= --output-on-failure
JOBS       ?= $(shell nproc 2>/dev/null || echo 2)
export QT_QPA_PLATFORM ?= offscreen

.PHONY: all deps build run test test-plain test-asan bench demo clean fuzz sweep package

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_ARGS) -DTAZEL_SANITIZE=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --parallel $(JOBS)

run: build
	env -u QT_QPA_PLATFORM $(BUILD)/tazel-admin

# Every test, in the normal build and again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-plain test-asan

test-plain: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD) --parallel $(JOBS)
	cd $(ASAN_BUILD) && ctest $(CTEST_ARGS)

bench: build
	$(BUILD)/bench/bench_reader
	@if [ -x $(BUILD)/bench/bench_window ]; then $(BUILD)/bench/bench_window; fi
	@if [ -x $(BUILD)/bench/bench_bulkadd ]; then $(BUILD)/bench/bench_bulkadd; fi
	@if [ -x $(BUILD)/bench/bench_findall ]; then $(BUILD)/bench/bench_findall; fi
	@if [ -x $(BUILD)/bench/bench_tazelctl ]; then $(BUILD)/bench/bench_tazelctl; fi
	@if [ -x $(BUILD)/bench/bench_ssh ]; then $(BUILD)/bench/bench_ssh; fi
	@if [ -x $(BUILD)/bench/bench_state ]; then $(BUILD)/bench/bench_state; fi

# The reply fuzzer (clang's libFuzzer) for FUZZ_SECONDS; new inputs go to $(FUZZ_BUILD)/corpus, the
# repository's corpus is read only. `make test` replays tests/fuzz/corpus in both builds.
fuzz:
	@scripts/install-deps fuzz
	cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ -DTAZEL_FUZZ=ON
	cmake --build $(FUZZ_BUILD) --target fuzz_reply
	mkdir -p $(FUZZ_BUILD)/corpus
	LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp:print_suppressions=0 \
	    $(FUZZ_BUILD)/tests/fuzz_reply -max_total_time=$(FUZZ_SECONDS) -max_len=4096 -timeout=60 -artifact_prefix=$(FUZZ_BUILD)/ \
	    $(FUZZ_BUILD)/corpus tests/fuzz/corpus

# The fault sweep over every byte offset of every reply (`make test` samples a few offsets).
sweep: build
	cd $(BUILD) && TAZEL_SWEEP=all tests/tst_sweep

# The Debian package $(BUILD)/tazel-admin_VERSION-REVISION_ARCH.deb (CPack; packaging/Packaging.cmake):
# everything the install rules lay down. `make test` builds it again in a throw-away folder and checks it.
package: build
	cd $(BUILD) && cpack -G DEB

# Only the program and the simulator, on every core: the tests are built by `make test`.
demo: deps $(BUILD)/build.ninja
	cmake --build $(BUILD) --parallel $(JOBS) --target tazel-admin tazel-sim
	env -u QT_QPA_PLATFORM scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(FUZZ_BUILD)
