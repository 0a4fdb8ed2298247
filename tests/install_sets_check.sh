#!/usr/bin/env bash
# The package sets of scripts/install-deps: running Ternova pulls no test or benchmark tool, and
# each make command asks for the set its stages need.
set -euo pipefail
cd "$1"
fail() { echo "FAIL: $*" >&2; exit 1; }
set_of() { bash scripts/install-deps --list "$1"; }
has() { grep -qx -- "$2" <<<"$1"; }

build=$(set_of build)
test=$(set_of test)
bench=$(set_of bench)
for p in libgtest-dev clang libclang-rt-14-dev python3-matplotlib libbenchmark-dev xvfb imagemagick emf2svg poppler-utils \
         python3-pytest jupyter-nbconvert; do
  has "$build" "$p" && fail "the build set pulls $p"
done
for p in $build; do
  has "$test" "$p" || fail "the test set lacks the build package $p"
  has "$bench" "$p" || fail "the bench set lacks the build package $p"
done
# The fuzz stage needs clang and its sanitizer runtime; the GUI and picture tests their readers.
for p in libgtest-dev clang libclang-rt-14-dev desktop-file-utils emf2svg libwmf-bin poppler-utils librsvg2-bin xvfb; do
  has "$test" "$p" || fail "the test set lacks $p"
done
# The Python module is built by make build; its tests run pytest and execute the example notebook.
for p in pybind11-dev python3-dev python3-numpy; do
  has "$build" "$p" || fail "the build set lacks $p"
done
for p in python3-pytest python3-pandas jupyter-nbconvert python3-ipykernel; do
  has "$test" "$p" || fail "the test set lacks $p"
done
# The window figures run the program on Xvfb and drive it through XTest from Debian's Python.
for p in libbenchmark-dev python3-matplotlib xvfb libxtst6 python3-numpy python3-pandas; do
  has "$bench" "$p" || fail "the bench set lacks $p"
done
# make deb and the package test (in the test set) make and check the packages.
deb=$(set_of deb)
for p in $build; do
  has "$deb" "$p" || fail "the deb set lacks the build package $p"
done
for p in dpkg-dev file lintian appstream shared-mime-info desktop-file-utils; do
  has "$deb" "$p" || fail "the deb set lacks $p"
  has "$test" "$p" || fail "the test set lacks $p"
done
has "$deb" libgtest-dev && fail "the deb set pulls libgtest-dev"
bash scripts/install-deps nonsense 2>/dev/null && fail "an unknown set is accepted"

# Which set each make command installs.
asks() { make -n -C . "$1" 2>/dev/null | grep -o 'install-deps [a-z]*' | sort -u | tr '\n' ' '; }
[ "$(asks run)" = "install-deps build " ] || fail "make run installs: $(asks run)"
[ "$(asks build)" = "install-deps build " ] || fail "make build installs: $(asks build)"
for stage in test test-fuzz test-sanitize test-plain; do
  asks "$stage" | grep -q 'install-deps test' || fail "make $stage does not install the test set"
done
asks bench | grep -q 'install-deps bench' || fail "make bench does not install the bench set"
asks deb | grep -q 'install-deps deb' || fail "make deb does not install the deb set"
echo "install sets: complete"
