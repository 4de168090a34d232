# Tazel Administrator: the two commands are `make demo` and `make test`.
BUILD      ?= build
ASAN_BUILD ?= build-asan
CMAKE_ARGS ?= -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
CTEST_ARGS ?= --output-on-failure
export QT_QPA_PLATFORM ?= offscreen

.PHONY: all deps build run test test-plain test-asan bench demo clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/build.ninja: | deps
	cmake -S . -B $(BUILD) $(CMAKE_ARGS)

$(ASAN_BUILD)/build.ninja: | deps
	cmake -S . -B $(ASAN_BUILD) $(CMAKE_ARGS) -DTAZEL_SANITIZE=ON

build: deps $(BUILD)/build.ninja
	cmake --build $(BUILD)

run: build
	env -u QT_QPA_PLATFORM $(BUILD)/tazel-admin

# Every test, in the normal build and again under AddressSanitizer and UndefinedBehaviorSanitizer.
test: test-plain test-asan

test-plain: build
	cd $(BUILD) && ctest $(CTEST_ARGS)

test-asan: deps $(ASAN_BUILD)/build.ninja
	cmake --build $(ASAN_BUILD)
	cd $(ASAN_BUILD) && ctest $(CTEST_ARGS)

bench: build
	$(BUILD)/bench/bench_reader
	@if [ -x $(BUILD)/bench/bench_window ]; then $(BUILD)/bench/bench_window; fi
	@if [ -x $(BUILD)/bench/bench_bulkadd ]; then $(BUILD)/bench/bench_bulkadd; fi

demo: build
	env -u QT_QPA_PLATFORM scripts/demo $(BUILD)

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)
