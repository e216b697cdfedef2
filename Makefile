# Entry points: `make demo` and `make test` do all of the set-up on a fresh Debian machine.
BUILD ?= build
SAN_BUILD ?= build-sanitize
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
TSAN_BUILD ?= build-thread
FUZZ_SECONDS ?= 60
FUZZ_TARGETS = load shell print gateways audio roundtrip features
JOBS ?= 2
CMAKE_FLAGS ?=

.PHONY: all deps configure build demo test test-coretypes test-sanitize test-thread fuzz bench install package clean

all: build

deps:
	@scripts/install-deps

$(BUILD)/CMakeCache.txt: | deps
	cmake -S . -B $(BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo $(CMAKE_FLAGS)

configure: $(BUILD)/CMakeCache.txt

build: configure
	cmake --build $(BUILD) -j$(JOBS)

demo: build
	cmake --build $(BUILD) --target run-demo

test: build
	cd $(BUILD) && ctest --output-on-failure -j$(JOBS)

# The suite again with OpenBLAS forced to each other processor type the machine can run.
test-coretypes: build
	scripts/test-coretypes $(BUILD) -j$(JOBS)

test-sanitize: deps
	cmake -S . -B $(SAN_BUILD) -DCMAKE_BUILD_TYPE=Debug -DMEXRT_SANITIZE=ON $(CMAKE_FLAGS)
	cmake --build $(SAN_BUILD) -j$(JOBS)
	cd $(SAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:allocator_may_return_null=1 \
	  LSAN_OPTIONS=suppressions=$(CURDIR)/scripts/lsan.supp \
	  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest --output-on-failure -j$(JOBS)

# The calls from several threads at once under ThreadSanitizer (the modules, db, and the front
# end's computers); any report fails it. OpenBLAS
# keeps to the calling thread, as its own thread pool is outside what the sanitizer sees.
test-thread: deps
	cmake -S . -B $(TSAN_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXRT_TSAN=ON $(CMAKE_FLAGS)
	cmake --build $(TSAN_BUILD) -j$(JOBS) --target threads_test features_test
	OPENBLAS_NUM_THREADS=1 TSAN_OPTIONS=halt_on_error=1:exitcode=66 $(TSAN_BUILD)/bin/threads_test
	TSAN_OPTIONS=halt_on_error=1:exitcode=66 $(TSAN_BUILD)/bin/features_test --gtest_filter='Threads.*'

# Each libFuzzer target for FUZZ_SECONDS, from its seeds (fuzz/corpus, or written by a seed
# program into build-fuzz/corpus, as the MAT-file seeds are) plus what earlier runs found there;
# a finding stops the run with its input saved in build-fuzz.
fuzz:
	@scripts/install-deps --fuzz
	CC=clang CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMEXRT_FUZZ=ON -DMEXRT_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(FUZZ_BUILD) -j$(JOBS) --target fuzz_load fuzz_shell fuzz_print fuzz_gateways \
	  fuzz_audio fuzz_roundtrip fuzz_features fuzz_mat_seeds fuzz_audio_seeds
	for t in $(FUZZ_TARGETS); do mkdir -p $(FUZZ_BUILD)/corpus/$$t; done
	$(FUZZ_BUILD)/bin/fuzz_mat_seeds $(FUZZ_BUILD)/corpus/load
	$(FUZZ_BUILD)/bin/fuzz_audio_seeds $(FUZZ_BUILD)/corpus/audio
	for t in $(FUZZ_TARGETS); do \
	  echo "== fuzz_$$t"; \
	  ASAN_OPTIONS=detect_leaks=1 $(FUZZ_BUILD)/bin/fuzz_$$t -max_total_time=$(FUZZ_SECONDS) \
	    -timeout=10 -rss_limit_mb=4096 -max_len=4096 -print_final_stats=1 \
	    -artifact_prefix=$(FUZZ_BUILD)/ $(FUZZ_BUILD)/corpus/$$t \
	    $$(test -d fuzz/corpus/$$t && echo fuzz/corpus/$$t) || exit 1; \
	done
	@# Data-directory files and audio bytes as melceps-extract reads them, through the Python
	@# package of the ordinary build (Debian's python3 loads no sanitized extension).
	$(MAKE) build
	echo "== fuzz_corpus"
	PYTHONPATH=$(BUILD)/python /usr/bin/python3 fuzz/fuzz_corpus.py --seconds $(FUZZ_SECONDS) \
	  --out $(FUZZ_BUILD)/corpus-findings

# The benchmarks, then bench/compare_numpy.py against numpy and scipy (BENCH_TORCHAUDIO=1 also
# installs torchaudio for the bandsetup row; without it that row reports this project alone).
bench:
	@scripts/install-deps --bench $(if $(BENCH_TORCHAUDIO),--torchaudio)
	cmake -S . -B $(BENCH_BUILD) -DCMAKE_BUILD_TYPE=Release -DMEXRT_BENCH=ON -DMEXRT_TESTS=OFF $(CMAKE_FLAGS)
	cmake --build $(BENCH_BUILD) -j$(JOBS)
	cmake --build $(BENCH_BUILD) --target run-bench

install: build
	cmake --install $(BUILD) --prefix $(or $(PREFIX),/usr/local)

# The Debian package build/melceps_VERSION_ARCH.deb (CPack), installing under /usr.
package: build
	cmake --build $(BUILD) --target package

clean:
	rm -rf $(BUILD) $(SAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD) $(TSAN_BUILD)
