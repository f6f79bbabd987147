# kavro: `make run` builds and runs the sample watershed, `make test` builds
# and runs every test.
SHELL      := /bin/bash
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
FUZZ_BUILD ?= build-fuzz
FUZZ_SECONDS ?= 60
FUZZERS    = project_reader ascii_map series replace_pairs channel_input stream_cell map_table precip calibration
JOBS       ?= $(shell nproc)
SAMPLE     ?= examples/sample
PROJECT    ?= valley.prj

.PHONY: all deps build run test sanitize fuzz bench clean

all: build

deps:
	@tools/ensure-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The sample runs in a copy of its folder under the build tree, so its
# outputs never land in the sources; the files it wrote are listed at the
# end, then the key lines of its summary.
run: build
	rm -rf $(BUILD)/sample-run && mkdir -p $(BUILD)/sample-run
	cp -r $(SAMPLE)/. $(BUILD)/sample-run/
	cd $(BUILD)/sample-run && ../kavro $(PROJECT)
	@echo
	@echo "The run wrote these files in $(abspath $(BUILD)/sample-run):"
	@cd $(BUILD)/sample-run && for f in *; do [ -e "$(abspath $(SAMPLE))/$$f" ] || ls -ld "$$f"; done
	@echo
	@echo "Key lines of its summary (summary.txt):"
	@cd $(BUILD)/sample-run && grep -E "^(date/time of peak|Event peak discharge|volume of rainfall to overland|volume of infiltrated water|volume of discharge|mass conservation error|Mass balance error of surface|Overall mass balance error)" summary.txt

# The card sweep (Shards/CardSweep, 16 shards) reports itself skipped here:
# its 1,400 runs are worth their time under the sanitizers.
test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)
	@echo "The 16 skipped Shards/CardSweep tests run under 'make sanitize' (or here with KAVRO_CARD_SWEEP=1)."

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVRO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# The libFuzzer harnesses of fuzz/ (clang, AddressSanitizer and
# UndefinedBehaviorSanitizer), each for FUZZ_SECONDS on its seed corpus in
# fuzz/corpus/. New inputs go to $(FUZZ_BUILD)/corpus; a finding stops with
# the input that caused it, to be fixed and kept in fuzz/corpus/.
fuzz:
	@tools/ensure-deps --fuzz
	CXX=clang++ cmake -S . -B $(FUZZ_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKAVRO_FUZZ=ON
	cmake --build $(FUZZ_BUILD) -j $(JOBS)
	@for h in $(FUZZERS); do \
	  echo "== $$h: $(FUZZ_SECONDS) s"; \
	  mkdir -p $(FUZZ_BUILD)/work/$$h $(FUZZ_BUILD)/corpus/$$h || exit 1; \
	  ( cd $(FUZZ_BUILD)/work/$$h && \
	    ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
	    OMP_NUM_THREADS=1 ../../fuzz/$${h}_fuzz -max_total_time=$(FUZZ_SECONDS) -timeout=10 -rss_limit_mb=2048 \
	      -max_len=65536 -print_final_stats=1 ../../corpus/$$h $(CURDIR)/fuzz/corpus/$$h 2>&1 | tail -n 25 ; \
	    exit $${PIPESTATUS[0]} ) || exit 1; \
	done

# Benchmarks in a Release build; each program prints its figures beside a
# reference measured in the same run.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRO_TESTS=OFF -DKAVRO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for p in $$(cat $(BENCH_BUILD)/bench_programs.txt); do echo "== $$p"; $(BENCH_BUILD)/bench/$$p || exit 1; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD) $(FUZZ_BUILD)
