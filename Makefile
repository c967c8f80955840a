# Tavrin Morvale: the two set-up commands are `make demo` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
WINE_RUN := $(CURDIR)/scripts/wine-run
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG ?= -all

.PHONY: demo test test-native test-windows test-msg-output test-mbox-output test-pst-output test-repeat bench fuzz build-release build-asan build-windows clean

demo: build-release
	rm -rf recovered
	./build/release/cli/morvale --eml samples/Inbox.dbx recovered
	@echo; echo "Files written:"; find recovered -type f | sort | head -n 40
	@echo "($$(find recovered -type f | wc -l) files in recovered/)"

test: test-native test-windows test-msg-output test-mbox-output test-pst-output

build-release:
	scripts/install-deps build
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

build-asan:
	scripts/install-deps build readers fuzz
	cmake --preset asan >/dev/null
	cmake --build --preset asan -j $(JOBS)

build-windows:
	scripts/install-deps build windows
	cmake --preset windows >/dev/null
	cmake --build --preset windows -j $(JOBS)

test-native: build-asan
	ctest --preset asan

test-windows: build-windows
	scripts/run-windows-tests

# The .msg files of the native and the Windows program, compared and read back by other
# programs.
test-msg-output: build-asan build-windows
	scripts/check-msg-output $(CURDIR)/build/asan/cli/morvale $(CURDIR)/build/windows/cli/morvale.exe \
		$(CURDIR)/build/asan/tools/dbxgen/dbxgen $(CURDIR)/build/asan/tests/msg/msg_file_check

# The mbox files of the native and the Windows program, compared and read back by other
# programs.
test-mbox-output: build-asan build-windows
	scripts/check-mbox-output $(CURDIR)/build/asan/cli/morvale $(CURDIR)/build/windows/cli/morvale.exe \
		$(CURDIR)/build/asan/tools/dbxgen/dbxgen

# The PSTs of the native and the Windows program, compared and read back by other programs.
test-pst-output: build-asan build-windows
	scripts/install-deps pst
	scripts/check-pst-output $(CURDIR)/build/asan/cli/morvale $(CURDIR)/build/windows/cli/morvale.exe \
		$(CURDIR)/build/asan/tools/dbxgen/dbxgen $(CURDIR)/build/asan/tests/msg/pst_file_check

# The dialog tests 30 times under wine: any failure fails; the last line says how many passed.
test-repeat: build-windows
	scripts/repeat-dialog-tests 30

bench: build-release
	./build/release/bench/morvale_bench
	JOBS=$(JOBS) scripts/bench-dialog build/release/tools/dbxgen/dbxgen

fuzz:
	scripts/install-deps build fuzz
	cmake --preset fuzz >/dev/null
	cmake --build --preset fuzz -j $(JOBS)
	scripts/run-fuzzers build/fuzz/fuzz 60

clean:
	rm -rf build dist recovered

# The Windows programs in a zip; the desktop program under wine; the README's picture.
.PHONY: windows gui screenshot
windows: build-windows
	scripts/package-windows build/windows dist/morvale-windows-x64.zip
gui: build-windows
	cd build/windows/app && $(WINE_RUN) Morvale.exe
screenshot: build-windows
	scripts/screenshot build/windows samples/Inbox.dbx docs/screenshot.png
