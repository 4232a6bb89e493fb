# Quadrell's commands. `make run` and `make test` work from a clean clone on
# Debian 12: each installs the packages it needs first.

BUILD_TYPE ?= RelWithDebInfo
# Warnings are errors in our own builds; debian/rules leaves them off.
CMAKE_COMMON = -G Ninja -DCMAKE_BUILD_TYPE=$(BUILD_TYPE) -DQUADRELL_WERROR=ON
FUZZ_SECONDS ?= 60
ARGS ?=
PREFIX ?= /usr/local
DESTDIR ?=

.PHONY: run test deps-run deps-test deps-deb native native-quiet sanitize win32 win64 fuzz install uninstall \
        deb deb-check \
        install-check release-check \
        tsan test-native test-sanitize test-tsan test-win32 run-fuzz format-check bench bench-gui screenshot dist gui clean

run: deps-run native-quiet
	@tools/run-samples $(ARGS)

test: deps-test format-check test-native install-check deb-check test-sanitize test-tsan test-win32 \
      release-check win64 run-fuzz
	@echo "make test: every build and every test passed"

# quadrell, its manual page and its bash completion under $(DESTDIR)$(PREFIX),
# by the build's install rules; uninstall removes under $(DESTDIR) what the
# last install wrote, as CMake listed it.
install: deps-run native-quiet
	@DESTDIR=$(DESTDIR) cmake --install build/native --prefix $(PREFIX)

uninstall:
	@test -f build/native/install_manifest.txt || \
	  { echo "make uninstall: nothing was installed from build/native"; exit 1; }
	@sed 's|^|$(DESTDIR)|' build/native/install_manifest.txt | xargs -d '\n' rm -fv
	@rm build/native/install_manifest.txt

# make install into a scratch folder: the program runs from there, the
# manual page renders without a warning, and make uninstall leaves nothing.
install-check: native
	@tools/check-install

deps-run:
	@tools/install-deps run

deps-test:
	@tools/install-deps test

deps-deb:
	@tools/install-deps deb

native:
	@cmake -S . -B build/native $(CMAKE_COMMON) -DQUADRELL_BENCH=$(if $(wildcard /usr/include/benchmark),ON,OFF) >/dev/null
	@cmake --build build/native

# The same build, its progress condensed on standard error (tools/condensed)
# and its output shown whole only when it fails.
native-quiet:
	@mkdir -p build
	@tools/condensed build/native.log "make $(firstword $(MAKECMDGOALS) native)" \
	  $(MAKE) --no-print-directory native || { cat build/native.log; exit 1; }

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
	@bench/journal_bench.sh build/native/cli/quadrell
	@bench/read_ahead_bench.sh build/native/cli/quadrell 3000 build/native/bench/read_ahead_trace

# 10,000 files dropped on the window beside quadrell.exe on the same files.
bench-gui: deps-test win32 win64
	@tools/wine-ctest build/win32 -R blackbox_ten_thousand_files --verbose | grep -E '10,000 files|Passed|Failed'

screenshot: deps-test win32 win64
	@tools/screenshot build/win32

# The zip for Windows and the Debian package, with SHA256SUMS over both.
dist: deps-test win32 deb
	@tools/make-dist build/win32
	@cd dist && sha256sum Quadrell-*-win32.zip quadrell_*.deb >SHA256SUMS && cat SHA256SUMS

# The command line as Debian packages (the program and its -dbgsym), built
# by dpkg-buildpackage from a copy of the tree's files in build/deb, so that
# the tree stays clean; DEB_BUILD_OPTIONS=nocheck leaves the tests out.
DEB_SOURCE = build/deb/quadrell
deb: deps-deb
	@rm -rf build/deb
	@mkdir -p $(DEB_SOURCE) dist
	@git ls-files -z -c -o --exclude-standard | xargs -0 cp -a --parents -t $(DEB_SOURCE)
	@cd $(DEB_SOURCE) && $(CURDIR)/tools/condensed ../build.log "make deb" \
	  dpkg-buildpackage -us -uc -b || { tail -n 60 ../build.log; exit 1; }
	@cp build/deb/*.deb dist/
	@cd build/deb && ls *.deb | sed 's|^|dist/|'

# Two packages from nothing give the same bytes, lintian finds nothing, and
# the package's own tests pass installed on this machine, which is left as
# it was.
deb-check: deps-test deps-deb
	@tools/check-deb

# The programs' PE flags and imports, and two release builds from nothing
# that must give the same zip.
release-check: win32
	@tools/check-release

gui: deps-test win32 win64
	@tools/run-gui build/win32

clean:
	rm -rf build dist
