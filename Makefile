# The front door: `make` builds the three targets, `make test` runs every
# test, `make demo` packs and runs a small installer.
.PHONY: all build deps posix win32 win64 test demo bench fuzz fuzz-coverage format clean install deb dist

all: build

deps:
	@tools/install-deps.sh
	@tools/fetch-sources.sh
	@tools/install-wine32.sh

build: deps posix win32 win64

posix:
	cmake --preset posix >/dev/null
	cmake --build --preset posix

# The Windows builds use the posix build's stubfix for their post-link step.
win32: posix
	cmake --preset win32 -DSFX_TESTS=ON >/dev/null
	cmake --build --preset win32

win64: posix
	cmake --preset win64 >/dev/null
	cmake --build --preset win64

test: build
	tools/run-tests.sh

demo: build
	tools/demo.sh

fuzz-coverage: deps posix
	tools/fuzz-coverage.sh

fuzz: deps posix
	tools/run-fuzz.sh $${FUZZ_SECONDS:-600} $(FUZZ_MERGE)

bench: build
	cmake --build --preset posix --target make_corpus lower_bound
	bench/run.sh

# `make install PREFIX=/opt/sfxstub`: the tool, the three stubs, the manual.
PREFIX ?= /usr/local
install: posix win32 win64
	cmake --install build/posix --prefix "$(PREFIX)"

# A Debian package of the same in build/posix.
deb: posix win32 win64
	cd build/posix && cpack -G DEB

# The release files in build/dist: the Debian package, a Linux tarball and
# sfxstub-VERSION-windows.zip.
dist: posix win32 win64
	tools/make-dist.sh

format:
	clang-format -i $$(git ls-files '*.cpp' '*.h')

clean:
	rm -rf build
