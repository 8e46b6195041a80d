# Thin front door over CMake. `make test` is what CI runs.
BUILD ?= build
ASAN_BUILD ?= build-asan
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS)

.PHONY: all deps build test test-normal test-asan bench clean

all: build

deps:
	bash scripts/install-deps

build: deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

test-normal: build
	cd $(BUILD) && $(CTEST)

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZELVO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

test: test-normal test-asan

clean:
	rm -rf $(BUILD) $(ASAN_BUILD)

bench: build
	$(BUILD)/bench/zelvo_bench
