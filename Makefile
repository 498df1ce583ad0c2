# The two commands of the README, and a few more. Each installs what is
# missing first, so that on a fresh machine each alone does all the set-up.
JOBS ?= $(shell nproc)

.PHONY: all deps run test test-native test-sanitize test-windows test-fuzz bench fuzz dist format clean

all: deps
	cmake --preset native >/dev/null && cmake --build --preset native -j$(JOBS)
	cmake --preset windows >/dev/null && cmake --build --preset windows -j$(JOBS)

deps:
	@tools/install-deps

run: deps
	@tools/run

test: test-native test-sanitize test-fuzz test-windows

test-native: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS)
	ctest --preset native

test-sanitize: deps
	cmake --preset sanitize >/dev/null
	cmake --build --preset sanitize -j$(JOBS)
	ctest --preset sanitize

test-windows: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS)
	tools/with-display ctest --preset windows

bench: deps
	cmake --preset native >/dev/null
	cmake --build --preset native -j$(JOBS) --target benchmarks
	tools/bench

# The libFuzzer target against the reference loop, FUZZ_SECONDS (60) long;
# make test runs it for 10 seconds.
fuzz: deps
	tools/fuzz

test-fuzz: deps
	FUZZ_SECONDS=10 tools/fuzz

# A zip for Windows users: the program (one .exe, nothing to install), the
# README and its screenshot.
dist: deps
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j$(JOBS) --target dashtab dashtab_cli
	rm -rf dist/dashtab && mkdir -p dist/dashtab/docs
	x86_64-w64-mingw32-strip -o dist/dashtab/dashtab.exe build/windows/src/app/dashtab.exe
	x86_64-w64-mingw32-strip -o dist/dashtab/dashtab-cli.exe build/windows/src/cli/dashtab-cli.exe
	cp README.md dist/dashtab/
	cp docs/window.png dist/dashtab/docs/
	rm -f dist/dashtab-windows-x64.zip
	cd dist && zip -qr dashtab-windows-x64.zip dashtab
	@echo "dist: $(CURDIR)/dist/dashtab-windows-x64.zip"

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build dist
