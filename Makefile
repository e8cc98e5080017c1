# The two commands users run: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan build-fuzz test fuzz demo bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

build-fuzz: deps
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)

test: build build-asan build-fuzz
	ctest --preset default
	ctest --preset asan
	ctest --preset fuzz

# Runs every fuzz harness for FUZZ_SECONDS each (default 60), JOBS at a time; new inputs and
# crashes stay under build/fuzz/fuzz-work/<name>/.
FUZZ_SECONDS ?= 60
fuzz: build-fuzz
	@tools/fuzz-all.sh build/fuzz $(FUZZ_SECONDS) $(JOBS)

demo: build
	@tools/demo.sh build/default

bench: build
	@for b in build/default/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
