# Set-up commands: `make run` renders the sample data, `make test` runs every
# test. Each first makes sure its Debian packages are there (tools/packages).
JOBS ?= $(shell nproc 2>/dev/null || echo 2)
PREFIX ?= /usr/local
PACKAGES := tools/packages ensure

.PHONY: all program run test asan bench fuzz package install format clean windows test-windows

all: program

# The program alone: no test, benchmark or fuzzing library is needed.
program:
	@$(PACKAGES) program
	cmake --preset program >/dev/null
	cmake --build --preset program -j $(JOBS)

run: program
	@cd sample && ../build-program/dravenholt --export
	@echo "Wrote $(CURDIR)/sample/Dravenholt.gif and $(CURDIR)/sample/DravenholtSummary.js"

# Every test; a test that skipped (a tool missing) fails the run.
test:
	@$(PACKAGES) test
	cmake --preset default >/dev/null
	cmake --build --preset default -j $(JOBS)
	@rm -f build/ctest-report.xml
	ctest --preset default -j $(JOBS) --output-junit ctest-report.xml
	@tools/check-skips build/ctest-report.xml

asan:
	@$(PACKAGES) test
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)
	ctest --preset asan -j $(JOBS)

bench:
	@$(PACKAGES) bench
	cmake --preset bench >/dev/null
	cmake --build --preset bench -j $(JOBS)
	@set -e; for b in build-bench/bench/bench_*; do \
	  echo "== $$b"; \
	  (cd sample && ../$$b --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
	    $$( [ $$(basename $$b) = bench_program ] && echo --benchmark_enable_random_interleaving=true \
	      --benchmark_out=$(CURDIR)/build-bench/bench_program.json --benchmark_out_format=json )); \
	done
	@bench/summary.py build-bench/bench_program.json
	@bench/compare_gnuplot.sh build-bench

fuzz:
	@$(PACKAGES) fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	@set -e; for f in build-fuzz/fuzz/*_fuzz; do \
	  n=$$(basename $$f); echo "== $$n over its seed corpus"; \
	  $$f -runs=0 $(CURDIR)/fuzz/corpus/$$n; \
	done

# The Windows programs, cross-built with mingw-w64: build-win64/dravenholt.exe
# (x86_64) and build-win32/dravenholt.exe (i686), each with its unit tests.
windows:
	@$(PACKAGES) windows
	cmake --preset windows-x64 >/dev/null
	cmake --build --preset windows-x64 -j $(JOBS)
	cmake --preset windows-x86 >/dev/null
	cmake --build --preset windows-x86 -j $(JOBS)

# Both Windows builds under Wine: their unit tests, their exports against this
# build's, and the GDI conformance harness drawn both ways.
test-windows:
	@$(PACKAGES) test-windows
	@$(MAKE) --no-print-directory windows
	@tools/wine-prefix build-wine/prefix >/dev/null
	cmake --preset wine >/dev/null
	cmake --build --preset wine -j $(JOBS)
	ctest --preset windows-x64 -j $(JOBS)
	ctest --preset windows-x86 -j $(JOBS)
	ctest --preset wine

# A Debian package of the program (build-program/dravenholt_*.deb).
package: program
	@$(PACKAGES) package
	cd build-program && cpack -G DEB

install: program
	cmake --install build-program --prefix $(PREFIX)

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build build-program build-asan build-bench build-fuzz build-win64 build-win32 build-wine
