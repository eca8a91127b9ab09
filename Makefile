# Thin wrapper over CMake. `make test` and `make demo` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup configure build test demo bench tsan fuzz clean

setup:
	@bash scripts/setup.sh

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: setup build
	@cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

demo: setup
	@bash scripts/setup.sh ffmpeg
	@$(MAKE) --no-print-directory build
	@if [ -x $(BUILD)/tools/qeltitle/qeltitle ]; then \
	  $(BUILD)/tools/qeltitle/qeltitle demo -o out; \
	else \
	  echo "qeltitle is not built yet: the library and its tests are; the demo renders once the command-line tool lands."; \
	fi

bench: setup
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQEL_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS) --target qel_bench
	@build-bench/bench/qel_bench $(BENCH_ARGS)

# The worker pool and the threaded compositor under ThreadSanitizer.
tsan: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_SANITIZE=thread -DQEL_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS)
	@cd build-tsan && ctest --output-on-failure -R 'WorkerPool|Threaded'

clean:
	@rm -rf $(BUILD) build-bench build-tsan build-fuzz
