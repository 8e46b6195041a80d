SHELL := /bin/bash
# Thin front door over CMake. `make test` is what CI runs.
BUILD ?= build
ASAN_BUILD ?= build-asan
TSAN_BUILD ?= build-tsan
WIN64_BUILD ?= build-win64
FUZZ_BUILD ?= build-fuzz
FUZZ_TIME ?= 30
JOBS ?= $(shell nproc)
CTEST = ctest --output-on-failure -j $(JOBS)

.PHONY: all deps build test test-normal test-win64 test-asan test-tsan fuzz bench demo install dist clean

all: build

deps:
	bash scripts/install-deps

# The Python package is built with Debian's python3 in an environment
# inside the build folder (scripts/python-env).
build: deps
	bash scripts/python-env $(BUILD)/python-env
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_PYTHON=ON \
	  -DPython_EXECUTABLE=$(CURDIR)/$(BUILD)/python-env/bin/python
	cmake --build $(BUILD) -j $(JOBS)

# The packages first: their tests install and remove what dist wrote.
test-normal: build
	cmake --build $(BUILD) --target dist
	cd $(BUILD) && $(CTEST)

# The Windows build, cross-compiled with MinGW-w64, its tests run under Wine
# in a private prefix; its render tests also compare with the Linux binary.
test-win64: build
	cmake --build $(BUILD) --target dist
	cmake -S . -B $(WIN64_BUILD) -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
	  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_LINUX_BUILD=$(CURDIR)/$(BUILD)
	cmake --build $(WIN64_BUILD) -j $(JOBS)
	cd $(WIN64_BUILD) && $(CTEST)
	bash scripts/check-dist $(BUILD)/Zelvo-$$(sed -n 's/^project(Zelvo VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt).zip

test-asan: deps
	cmake -S . -B $(ASAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DZELVO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS=suppressions=$(CURDIR)/tests/lsan.supp:print_suppressions=0 \
	  UBSAN_OPTIONS=print_stacktrace=1 $(CTEST)

# The threaded paths under ThreadSanitizer: renders on several host threads,
# the host's thread suite and concurrent instances.
TSAN_TESTS = ZelvoRender|ZelvoHosts|FrameRendering|HostSuites.MultiThread|HostSuites.AnAwkward|zelvo_validate
test-tsan: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_SANITIZE_THREAD=ON
	cmake --build $(TSAN_BUILD) -j $(JOBS) --target host_tests zelvo ZelvoPlugin
	cd $(TSAN_BUILD) && TSAN_OPTIONS="halt_on_error=1 die_after_fork=0 suppressions=$(CURDIR)/tests/tsan.supp" \
	  $(CTEST) -R '$(TSAN_TESTS)' -E '\.opencl$$'

# Each libFuzzer target for FUZZ_TIME seconds (make fuzz FUZZ_TIME=3600 for
# a long run). New inputs go to the build folder; the committed seeds stay.
FUZZ_TARGETS = fuzz_render fuzz_actions
fuzz: deps
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELVO_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS) --target $(FUZZ_TARGETS)
	@for t in $(FUZZ_TARGETS); do \
	  corpus=$${t#fuzz_}; mkdir -p $(FUZZ_BUILD)/corpus-$$corpus; \
	  echo "fuzzing $$t for $(FUZZ_TIME) s"; \
	  $(FUZZ_BUILD)/tests/fuzz/$$t -max_total_time=$(FUZZ_TIME) -timeout=30 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus-$$corpus tests/fuzz/corpus/$$corpus 2>&1 \
	    | grep -E "^(Done|stat::number_of_executed_units|==[0-9]+==ERROR|SUMMARY)" ; \
	  test $${PIPESTATUS[0]} -eq 0 || exit 1; \
	done

test: test-normal test-win64 test-asan test-tsan fuzz

# The main job: render a test card through the plug-in with a few telling settings.
demo: build
	mkdir -p out
	$(BUILD)/zelvo testcard out/testcard.png
	$(BUILD)/zelvo render out/testcard.png out/bands-4-at-30.png \
	  -p splitCount=4 -p splitAngle=30 -p section2=off -p section4=off
	$(BUILD)/zelvo render out/testcard.png out/bands-10-at-90.png \
	  -p splitCount=10 -p splitAngle=90 -p section2=off -p section4=off -p section6=off -p section8=off -p section10=off
	$(BUILD)/zelvo render out/testcard.png out/turning.#.png --frames 1-24 \
	  -p splitCount=6 -p splitAngle=0@1,180@24 -p section2=off -p section4=off -p section6=off
	@echo
	@echo "Rendered through $(BUILD)/Zelvo.ofx.bundle:"
	@ls -1 $(CURDIR)/out/testcard.png $(CURDIR)/out/bands-*.png
	@echo "$(CURDIR)/out/turning.0001.png .. turning.0024.png (angle animated 0 to 180)"

install: build
	cmake --install $(BUILD)

# Zelvo-VERSION.zip (the bundle with its Linux and Windows binaries),
# Zelvo-VERSION-win64.msi, zelvo_VERSION-1_amd64.deb and the Python wheel.
dist: build
	cmake --build $(BUILD) --target dist
	@ls -1 $(BUILD)/Zelvo-*.zip $(BUILD)/Zelvo-*-win64.msi $(BUILD)/zelvo_*_amd64.deb $(BUILD)/zelvo-*.whl

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(TSAN_BUILD) $(FUZZ_BUILD) $(WIN64_BUILD)

bench: build
	$(BUILD)/bench/zelvo_bench
	bash bench/tool_vs_oiiotool.sh $(BUILD)
	$(BUILD)/python-env/bin/python bench/python_bench.py $(BUILD)
