# The two commands users run: `make demo` and `make test`.
JOBS ?= $(shell nproc)

.PHONY: all deps build build-asan test demo bench clean

all: build

deps:
	@tools/install-deps.sh

build: deps
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

build-asan: deps
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

test: build build-asan
	ctest --preset default
	ctest --preset asan

demo: build
	@tools/demo.sh build/default

bench: build
	@for b in build/default/bench/bench_*; do [ -x "$$b" ] && "$$b"; done

clean:
	rm -rf build
