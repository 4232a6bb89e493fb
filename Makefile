# Quadrell's commands. `make run` and `make test` work from a clean clone on
# Debian 12: each installs the packages it needs first.

BUILD_TYPE ?= RelWithDebInfo
CMAKE_COMMON = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE)
FUZZ_SECONDS ?= 60
ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test deps-run deps-test native native-quiet sanitize win32 win64 fuzz install uninstall \
        install-files deb deb-check \
        install-check release-check \
        tsan test-native test-sanitize test-tsan test-win32 run-fuzz format-check bench bench-gui screenshot dist gui clean

run: deps-run native-quiet
	@tools/run-samples $(ARGS)

test: deps-test format-check test-native install-check deb-check test-sanitize test-tsan test-win32 \
      release-check win64 run-fuzz
	@echo "make test: every build and every test passed"

# quadrell, its manual page and its bash completion under $(DESTDIR)$(PREFIX).
COMPLETION = share/bash-completion/completions/quadrell
QUADRELL_PROGRAM ?= build/native/cli/quadrell
install: deps-run native-quiet install-files

# The files alone, of whichever build QUADRELL_PROGRAM names (make deb's).
install-files:
	install -D -m 755 $(QUADRELL_PROGRAM) $(DESTDIR)$(PREFIX)/bin/quadrell
	install -D -m 644 docs/quadrell.1 $(DESTDIR)$(PREFIX)/share/man/man1/quadrell.1
	install -D -m 644 cli/quadrell-completion.bash $(DESTDIR)$(PREFIX)/$(COMPLETION)

uninstall:
	rm -f $(DESTDIR)$(PREFIX)/bin/quadrell $(DESTDIR)$(PREFIX)/share/man/man1/quadrell.1 \
	  $(DESTDIR)$(PREFIX)/$(COMPLETION)

# make install into a scratch folder: the program runs from there, the
# manual page renders without a warning, and make uninstall leaves nothing.
install-check: native
	@tools/check-install

deps-run:
	@tools/install-deps run

deps-test:
	@tools/install-deps test

native:
	@cmake -S . -B build/native $(CMAKE_COMMON) -DQUADRELL_BENCH=$(if $(wildcard /usr/include/benchmark),ON,OFF) >/dev/null
	@cmake --build build/native

# The same build, its output shown only when it fails.
native-quiet:
	@mkdir -p build
	@$(MAKE) --no-print-directory native >build/native.log 2>&1 || { cat build/native.log; exit 1; }

sanitize:
	@cmake -S . -B build/sanitize $(CMAKE_COMMON) -DQUADRELL_SANITIZE=ON >/dev/null
	@cmake --build build/sanitize

# The run's threads under ThreadSanitizer: the engine and command-line tests,
# and runs stopped by signals.
tsan:
	@CC=clang CXX=clang++ cmake -S . -B build/tsan $(CMAKE_COMMON) -DQUADRELL_TSAN=ON >/dev/null
	@cmake --build build/tsan --target engine_tests cli_tests quadrell

win32:
	@cmake -S . -B build/win32 $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake >/dev/null
	@cmake --build build/win32

win64:
	@cmake -S . -B build/win64 $(CMAKE_COMMON) -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake >/dev/null
	@cmake --build build/win64

fuzz:
	@CC=clang CXX=clang++ cmake -S . -B build/fuzz $(CMAKE_COMMON) -DQUADRELL_FUZZ=ON >/dev/null
	@cmake --build build/fuzz --target fuzz_scan_density

test-native: native
	@ctest --test-dir build/native --output-on-failure

test-sanitize: sanitize
	@ctest --test-dir build/sanitize --output-on-failure

test-tsan: tsan
	@ctest --test-dir build/tsan --output-on-failure -R '^(engine_tests|cli_tests|cli_process)$$'

# Every Windows suite on the 32-bit build, the one we ship (tools/wine-route
# says how Wine runs it here); the 64-bit build's console program once, beside
# the 32-bit one.
test-win32: win32 win64
	@tools/wine-ctest build/win32
	@tests/windows_builds_differential.sh build/win32 build/win64

# The corpus the fuzzer finds interesting stays in the build tree.
run-fuzz: fuzz
	@mkdir -p build/fuzz/corpus
	@build/fuzz/tests/fuzz_scan_density -max_total_time=$(FUZZ_SECONDS) -max_len=8192 \
	  -print_final_stats=1 build/fuzz/corpus tests/fuzz_seeds 2>&1 | tail -n 12

format-check:
	@git ls-files '*.cpp' '*.h' | xargs clang-format --dry-run -Werror

bench: deps-test native
	@build/native/bench/density_bench
	@bench/cli_bench.sh build/native/cli/quadrell
	@bench/read_ahead_bench.sh build/native/cli/quadrell 3000 build/native/bench/read_ahead_trace

# 10,000 files dropped on the window beside quadrell.exe on the same files.
bench-gui: deps-test win32 win64
	@tools/wine-ctest build/win32 -R blackbox_ten_thousand_files --verbose | grep -E '10,000 files|Passed|Failed'

screenshot: deps-test win32 win64
	@tools/screenshot build/win32

# The zip for Windows and the Debian package, with SHA256SUMS over both.
dist: deps-test win32
	@tools/make-dist build/win32
	@tools/make-deb
	@cd dist && sha256sum Quadrell-*-win32.zip quadrell_*.deb >SHA256SUMS && cat SHA256SUMS

# The command line as a Debian package.
deb: deps-test
	@tools/make-deb

# Two packages from nothing give the same bytes, lintian finds nothing, and
# the package installs, works and goes again.
deb-check: deps-test
	@tools/check-deb

# The programs' PE flags and imports, and two release builds from nothing
# that must give the same zip.
release-check: win32
	@tools/check-release

gui: deps-test win32 win64
	@tools/run-gui build/win32

clean:
	rm -rf build dist
