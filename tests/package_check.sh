#!/usr/bin/env bash
# The Debian packages as a user gets them: made by CPack from this build, free of lintian errors,
# with their library dependencies found, unpacked into a temporary root and run from there.
#   package_check.sh SOURCE_DIR BINARY_DIR
set -euo pipefail
source_dir=$1 binary_dir=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

read -r -a packages < <(tr ';' ' ' <"$binary_dir/packaging/packages.txt")
cpack -G DEB --config "$binary_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
root=$work/root
for p in "${packages[@]}"; do
  deb=$(ls "$work/out/${p}_"*.deb 2>/dev/null) || fail "no package $p"
  # Warnings and notes are shown, and judged in the README; an error fails.
  lintian --fail-on error --tag-display-limit 0 "$deb" 2>/dev/null || fail "lintian reports errors on $p"
  depends=$(dpkg-deb -f "$deb" Depends)
  grep -q 'libc6 (>=' <<<"$depends" || fail "$p: no dependencies found from its binaries: $depends"
  dpkg -x "$deb" "$root"
done

# Only the packaged files: nothing from the build or the source folder is found.
cd "$work"
plot=$root/usr/bin/ternova-plot
"$plot" --version | grep -q '^ternova-plot [0-9]' || fail "ternova-plot --version"
examples=$root/usr/share/ternova/examples
[ "$("$plot" --points "$examples/minerals.txt")" = "$("$binary_dir/cli/ternova-plot" --points "$source_dir/examples/minerals.txt")" ] ||
  fail "ternova-plot --points on the packaged example differs from the build's"
for program in "$root/usr/bin/ternova" "$plot"; do
  ! ldd "$program" | grep -q 'not found' || fail "$program lacks a library: $(ldd "$program" | grep 'not found')"
done

# What software centres and file managers read.
appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml >/dev/null ||
  fail "appstreamcli: $(appstreamcli validate --no-net "$root"/usr/share/metainfo/*.metainfo.xml)"
desktop-file-validate "$root/usr/share/applications/ternova.desktop" || fail "desktop-file-validate"
mkdir -p "$work/mime/packages"
cp "$root/usr/share/mime/packages/ternova.xml" "$work/mime/packages/"
update-mime-database "$work/mime" >/dev/null || fail "update-mime-database"
grep -qx '50:text/tab-separated-values:\*.tsv' "$work/mime/globs2" || fail "no file type for .tsv"
zcat "$root/usr/share/man/man1/ternova-plot.1.gz" | grep -q '^\.TH TERNOVA-PLOT 1' || fail "manual page"

if [[ " ${packages[*]} " == *" python3-ternova "* ]]; then
  module=$(find "$root" \( -name 'ternova*.so' -o -path '*/ternova/__init__.py' \) -print -quit)
  [ -n "$module" ] || fail "python3-ternova holds no module ternova"
  folder=$(dirname "$module")
  [[ $module == */ternova/__init__.py ]] && folder=$(dirname "$folder")
  where=$(PYTHONPATH=$folder python3 -c "import ternova; print(ternova.__file__)") || fail "import ternova"
  [[ $where == "$root"/* ]] || fail "ternova imported from $where, not from the package"
else
  echo "python3-ternova not made (the Python module is not built): import not checked"
fi
echo "packages ${packages[*]}: complete"
