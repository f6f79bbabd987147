# kavro: `make run` builds and runs the sample watershed, `make test` builds
# and runs every test.
BUILD      ?= build
ASAN_BUILD ?= build-asan
BENCH_BUILD ?= build-bench
JOBS       ?= $(shell nproc)
SAMPLE     ?= examples/sample
PROJECT    ?= sample.prj

.PHONY: all deps build run test sanitize bench clean

all: build

deps:
	@tools/ensure-deps

build: deps
	cmake -S . -B $(BUILD) -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
	cmake --build $(BUILD) -j $(JOBS)

# The sample runs in a copy of its folder under the build tree, so its
# outputs never land in the sources.
run: build
	rm -rf $(BUILD)/sample-run && mkdir -p $(BUILD)/sample-run
	cp -r $(SAMPLE)/. $(BUILD)/sample-run/
	cd $(BUILD)/sample-run && ../kavro $(PROJECT)

test: build
	cd $(BUILD) && ctest --output-on-failure -j $(JOBS)

# The same tests under AddressSanitizer and UndefinedBehaviorSanitizer.
sanitize: deps
	cmake -S . -B $(ASAN_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKAVRO_SANITIZE=ON
	cmake --build $(ASAN_BUILD) -j $(JOBS)
	cd $(ASAN_BUILD) && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
		ctest --output-on-failure -j $(JOBS)

# Benchmarks in a Release build; each program prints its figures beside a
# reference measured in the same run.
bench: deps
	cmake -S . -B $(BENCH_BUILD) -G Ninja -DCMAKE_BUILD_TYPE=Release -DKAVRO_TESTS=OFF -DKAVRO_BENCH=ON
	cmake --build $(BENCH_BUILD) -j $(JOBS)
	@for p in $$(cat $(BENCH_BUILD)/bench_programs.txt); do echo "== $$p"; $(BENCH_BUILD)/bench/$$p || exit 1; done

clean:
	rm -rf $(BUILD) $(ASAN_BUILD) $(BENCH_BUILD)
