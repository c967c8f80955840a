# Tavrin Morvale: the two set-up commands are `make demo` and `make test`.
SHELL := /bin/bash
JOBS ?= $(shell nproc)
WINE_RUN := $(CURDIR)/scripts/wine-run
export WINEPREFIX ?= $(CURDIR)/build/wineprefix
export WINEDEBUG ?= -all
# The project's version, as CMakeLists.txt sets it.
VERSION := $(shell sed -n 's/^project.[A-Za-z]* VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)

.PHONY: demo test test-native test-windows test-msg-output test-pst-output test-mbox-output test-repeat bench fuzz build-release build-asan build-windows clean install deb msi test-package

demo: build-release
	rm -rf recovered
	./build/release/cli/morvale --eml samples/Inbox.dbx recovered
	@echo; echo "Files written:"; find recovered -type f | sort | head -n 40
	@echo "($$(find recovered -type f | wc -l) files in recovered/)"

test: test-native test-windows test-msg-output test-pst-output test-mbox-output test-package

build-release:
	scripts/install-deps build
	cmake --preset release >/dev/null
	cmake --build --preset release -j $(JOBS)

build-asan:
	scripts/install-deps build readers fuzz manual
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
		$(CURDIR)/build/asan/tools/dbxgen/dbxgen $(CURDIR)/build/asan/tests/pst/pst_file_check

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

# The command, its manual page, bash completion, README and licence under PREFIX (or
# CMAKE_INSTALL_PREFIX), below DESTDIR when it is set: make install PREFIX=/usr DESTDIR=/tmp/root
PREFIX ?= /usr/local
install: build-release
	cmake --install build/release --prefix "$(or $(CMAKE_INSTALL_PREFIX),$(PREFIX))"

# The Debian package of the command line, dist/morvale_<version>_<arch>.deb, checked by lintian.
deb:
	scripts/install-deps build deb
	JOBS=$(JOBS) scripts/make-deb dist

# The Windows installer, dist/morvale-<version>-x64.msi, built with wixl.
msi: build-windows
	scripts/install-deps msi
	scripts/make-msi build/windows dist/morvale-$(VERSION)-x64.msi

# The packages as a user meets them: the .deb installed into a fresh root and removed; the
# installer installed under wine, replaced by a later version of itself and removed.
NEWER_VERSION := $(shell echo $(VERSION) | awk -F. '{ print $$1 "." $$2 "." $$3 + 1 }')
test-package: deb msi
	scripts/check-deb dist/morvale_$(VERSION)_$(shell dpkg-architecture -qDEB_HOST_ARCH).deb samples/Inbox.dbx
	scripts/make-msi build/windows build/msi-newer/morvale-$(NEWER_VERSION)-x64.msi $(NEWER_VERSION)
	xvfb-run -a scripts/check-msi dist/morvale-$(VERSION)-x64.msi build/msi-newer/morvale-$(NEWER_VERSION)-x64.msi

# The Windows programs in a zip; the desktop program under wine; the README's picture.
.PHONY: windows gui screenshot
windows: build-windows
	scripts/package-windows build/windows dist/morvale-windows-x64.zip
gui: build-windows
	cd build/windows/app && $(WINE_RUN) Morvale.exe
screenshot: build-windows
	scripts/screenshot build/windows samples/Inbox.dbx docs/screenshot.png
