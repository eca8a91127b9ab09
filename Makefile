# Thin wrapper over CMake. `make test` and `make demo` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup configure build test demo install bench tsan fuzz clean

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
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) -j $(JOBS) --target qeltitle
	@$(BUILD)/tools/qeltitle/qeltitle demo -o out

# The library, headers, qeltitle, pkg-config and CMake package files, and the MLT module under
# PREFIX (cmake/Install.cmake). The build is configured for PREFIX so that the library directory
# is the platform's for it (PREFIX=/usr: Debian's multiarch directory, where melt finds the
# module). DESTDIR is honoured for staged installs.
PREFIX ?= /usr/local
install:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_INSTALL_PREFIX=$(PREFIX) $(CMAKE_FLAGS) >/dev/null
	@cmake --build $(BUILD) -j $(JOBS)
	@cmake --install $(BUILD)

bench: setup
	@cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DQEL_BUILD_TESTS=OFF >/dev/null
	@cmake --build build-bench -j $(JOBS) --target qel_bench
	@build-bench/bench/qel_bench $(BENCH_ARGS)

# The worker pool and the threaded compositor under ThreadSanitizer. Only the test executables
# are built, not the shared library or the tools.
TSAN_TARGETS ?= $(sort $(patsubst tests/%/,test_%,$(dir $(wildcard tests/*/*.cpp))))
tsan: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_SANITIZE=thread -DQEL_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	@cd build-tsan && ctest --output-on-failure -R 'WorkerPool|Threaded'

# The title loader under libFuzzer, with address and undefined-behaviour sanitizers; the library
# objects are built with the same sanitizers and coverage. FUZZ_ARGS go to libFuzzer, e.g.
# FUZZ_ARGS=-max_total_time=600. FUZZ_TARGET=fuzz_render_title fuzzes instead a loaded title
# through the layout queries, Render, save and reload. New inputs of both collect in
# build-fuzz/corpus, crashes in build-fuzz/.
FUZZ_TARGET ?= fuzz_load_title
FUZZ_SANITIZE_FLAGS = -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined
fuzz:
	@bash scripts/setup.sh clang libclang-rt-dev
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_BUILD_FUZZ=ON \
	  -DQEL_BUILD_TESTS=OFF -DQEL_BUILD_BENCH=OFF -DQEL_SANITIZE=address,undefined \
	  "-DCMAKE_C_FLAGS=$(FUZZ_SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_SANITIZE_FLAGS)" >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGET)
	@mkdir -p build-fuzz/corpus
	@cd build-fuzz && ./fuzz/$(FUZZ_TARGET) -dict=../fuzz/title.dict -artifact_prefix=./ corpus ../fuzz/corpus $(FUZZ_ARGS)

clean:
	@rm -rf $(BUILD) build-bench build-tsan build-fuzz
