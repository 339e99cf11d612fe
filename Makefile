# Set-up commands: `make run` renders the sample data, `make test` runs every test.
JOBS ?= $(shell nproc 2>/dev/null || echo 2)

.PHONY: all build test asan bench fuzz run format clean

all: build

build:
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)

test: build
	ctest --preset default -j $(JOBS)

asan:
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench:
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@set -e; for b in build-bench/bench/bench_*; do \
	  echo "== $$b"; \
	  (cd sample && ../$$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true); \
	done
	@bench/compare_gnuplot.sh build-bench

fuzz:
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@set -e; for f in build-fuzz/fuzz/*_fuzz; do \
	  n=$$(basename $$f); echo "== $$n over its seed corpus"; \
	  $$f -runs=0 $(CURDIR)/fuzz/corpus/$$n; \
	done

run: build
	@cd sample && ../build/dravenholt --export
	@echo "Wrote $(CURDIR)/sample/Dravenholt.gif and $(CURDIR)/sample/DravenholtSummary.js"

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-asan build-bench build-fuzz
