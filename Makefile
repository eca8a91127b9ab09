# Thin wrapper over CMake. `make test` and `make demo` install what is missing first.
BUILD ?= build
JOBS ?= $(shell nproc)
CMAKE_FLAGS ?=

.PHONY: setup configure build test demo install bench sanitize fuzz-smoke tsan fuzz fuzz-merge clean

setup:
	@bash scripts/setup.sh

configure:
	@cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS) >/dev/null

build: configure
	@cmake --build $(BUILD) -j $(JOBS)

test: setup build
	@cd $(BUILD) && ctest --output-on-failure --timeout 900 -j $(JOBS)

demo: setup
	@bash scripts/setup.sh ffmpeg
	@$(MAKE) --no-print-directory configure
	@cmake --build $(BUILD) -j $(JOBS) --target qeltitle
	@$(BUILD)/tools/qeltitle/qeltitle demo -o out
	@echo 'The tool is $(BUILD)/tools/qeltitle/qeltitle. To call it qeltitle in this shell:'
	@echo '  export PATH="$$PWD/$(BUILD)/tools/qeltitle:$$PATH"'

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
	@cmake --build build-bench -j $(JOBS) --target qel_bench qeltitle_bench qeltitle
	@build-bench/bench/qel_bench $(BENCH_ARGS)
	@build-bench/bench/qeltitle_bench $(BENCH_ARGS)
	@timeout 600 node tools/qeltitle/tests/designer/bench.mjs build-bench/tools/qeltitle/qeltitle 60

# The whole suite under AddressSanitizer (leaks included) and UndefinedBehaviorSanitizer, in
# build-asan/. It is built with clang and coverage instrumentation, so the same build also gives
# the fuzz targets, which then run FUZZ_SMOKE_SECONDS each from their committed corpus. Any report
# fails the step: undefined behaviour aborts, and leaks are suppressed only where
# tests/sanitizer/lsan.supp proves they are not the engine's.
FUZZ_TARGETS = fuzz_load_title fuzz_render_title fuzz_read_subtitles fuzz_read_ass fuzz_build_json fuzz_read_word_list
FUZZ_SMOKE_SECONDS ?= 60
FUZZ_SANITIZE_FLAGS = -fsanitize=fuzzer-no-link -fno-sanitize-recover=undefined
SANITIZE_ENV = ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:detect_stack_use_after_return=1 \
  LSAN_OPTIONS=suppressions=$(CURDIR)/tests/sanitizer/lsan.supp:print_suppressions=0 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
sanitize: setup
	@bash scripts/setup.sh clang libclang-rt-dev
	@CC=clang CXX=clang++ cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_BUILD_FUZZ=ON \
	  -DQEL_BUILD_BENCH=OFF -DQEL_BUILD_MLT=OFF -DQEL_SANITIZE=address,undefined \
	  "-DCMAKE_C_FLAGS=$(FUZZ_SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_SANITIZE_FLAGS)" >/dev/null
	@cmake --build build-asan -j $(JOBS)
	@cd build-asan && env $(SANITIZE_ENV) ctest --output-on-failure --timeout 900 -j $(JOBS)
	@$(MAKE) --no-print-directory fuzz-smoke FUZZ_BUILD=build-asan

# Each fuzz target for FUZZ_SMOKE_SECONDS from its corpus in fuzz/corpus/<target>/ (read only: new
# inputs go to FUZZ_BUILD/smoke/<target>, crashes to FUZZ_BUILD/). An input that runs 30 s is a
# hang and fails the run, as does a target that outlives its time by two minutes.
FUZZ_BUILD ?= build-fuzz
fuzz-smoke:
	@for t in $(FUZZ_TARGETS); do \
	  rm -rf $(FUZZ_BUILD)/smoke/$$t && mkdir -p $(FUZZ_BUILD)/smoke/$$t && \
	  echo "fuzz: $$t for $(FUZZ_SMOKE_SECONDS) s" && \
	  (cd $(FUZZ_BUILD) && env $(SANITIZE_ENV) timeout -k 10 $$(( $(FUZZ_SMOKE_SECONDS) + 120 )) \
	    ./fuzz/$$t -max_total_time=$(FUZZ_SMOKE_SECONDS) -timeout=30 \
	    -dict=$(CURDIR)/fuzz/$$( [ -f fuzz/$$t.dict ] && echo $$t || echo title).dict -artifact_prefix=./ -print_final_stats=1 \
	    smoke/$$t $(CURDIR)/fuzz/corpus/$$t 2>smoke/$$t.log) || { tail -n 60 $(FUZZ_BUILD)/smoke/$$t.log; exit 1; }; \
	  grep -E '^stat::number_of_executed_units' $(FUZZ_BUILD)/smoke/$$t.log; \
	done

# The compositor's thread team and the threaded compositor under ThreadSanitizer. Only the test executables
# are built, not the shared library or the tools.
TSAN_TARGETS ?= $(sort $(patsubst tests/%/,test_%,$(dir $(wildcard tests/*/*.cpp))))
tsan: setup
	@cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_SANITIZE=thread -DQEL_BUILD_BENCH=OFF >/dev/null
	@cmake --build build-tsan -j $(JOBS) --target $(TSAN_TARGETS)
	@cd build-tsan && TSAN_OPTIONS=halt_on_error=1 ctest --output-on-failure --timeout 900 -j $(JOBS) -R 'ThreadTeam|Threaded'

# A long run of one fuzz target under libFuzzer, with address and undefined-behaviour sanitizers;
# the library objects are built with the same sanitizers and coverage. FUZZ_ARGS go to libFuzzer,
# e.g. FUZZ_ARGS=-max_total_time=600. FUZZ_TARGET=fuzz_render_title fuzzes a loaded title through
# the layout queries, Render, save and reload instead of the loader. New inputs collect in
# build-fuzz/corpus/<target>, crashes in build-fuzz/. The run starts from the target's committed
# corpus and the hand-written seeds (fuzz/seeds). `make fuzz-merge` folds the new inputs and seeds
# that add coverage into the committed corpus, minimised.
FUZZ_TARGET ?= fuzz_load_title
fuzz:
	@bash scripts/setup.sh clang libclang-rt-dev
	@CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQEL_BUILD_FUZZ=ON \
	  -DQEL_BUILD_TESTS=OFF -DQEL_BUILD_BENCH=OFF -DQEL_SANITIZE=address,undefined \
	  "-DCMAKE_C_FLAGS=$(FUZZ_SANITIZE_FLAGS)" "-DCMAKE_CXX_FLAGS=$(FUZZ_SANITIZE_FLAGS)" >/dev/null
	@cmake --build build-fuzz -j $(JOBS) --target $(FUZZ_TARGET)
	@mkdir -p build-fuzz/corpus/$(FUZZ_TARGET)
	@cd build-fuzz && ./fuzz/$(FUZZ_TARGET) -dict=../fuzz/$(if $(wildcard fuzz/$(FUZZ_TARGET).dict),$(FUZZ_TARGET),title).dict -artifact_prefix=./ \
	  corpus/$(FUZZ_TARGET) ../fuzz/corpus/$(FUZZ_TARGET) ../fuzz/seeds $(FUZZ_ARGS)

fuzz-merge:
	@rm -rf build-fuzz/merged && mkdir -p build-fuzz/merged
	@cd build-fuzz && ./fuzz/$(FUZZ_TARGET) -merge=1 merged ../fuzz/corpus/$(FUZZ_TARGET) ../fuzz/seeds \
	  corpus/$(FUZZ_TARGET)
	@rm -rf fuzz/corpus/$(FUZZ_TARGET) && cp -r build-fuzz/merged fuzz/corpus/$(FUZZ_TARGET)

clean:
	@rm -rf $(BUILD) build-bench build-asan build-tsan build-fuzz
