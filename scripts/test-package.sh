#!/usr/bin/env bash
# Makes the packages into DIST (default: dist) and runs what they install: kavo-cli
# from the .deb unpacked into a scratch root, and kavo-cli.exe from the zip under
# Wine. Each must name the project's version and write the catalogue of the sample
# pictures byte for byte as the same program built in BUILD (default: build) or
# BUILD_WIN (default: build-win) does.
# Usage: scripts/test-package.sh [DIST [BUILD [BUILD_WIN]]]
set -euo pipefail
cd "$(dirname "$0")/.."
dist="${1:-dist}"
build="${2:-build}"
build_win="${3:-build-win}"
scripts/package.sh "$dist"
scripts/build.sh "$build"
scripts/build-windows.sh "$build_win"
dist="$(cd "$dist" && pwd)"

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-pkg/CMakeCache.txt)"
deb="$dist/kavo_${version}_$(dpkg --print-architecture).deb"
zip="$dist/kavo-${version}-windows-x64.zip"
work="$(mktemp -d)"
fail() { echo "test-package.sh: $* (the runs are kept in $work)" >&2; exit 1; }

# Runs PROGRAM... on a fresh copy of the samples in DIR/samples (the folder's name
# is written into the pages, so every run uses the same one).
catalogue() {
  local dir="$1"
  shift
  mkdir -p "$dir"
  cp -r assets/samples "$dir/samples"
  "$@" -q "$dir/samples" >/dev/null || fail "$* exited with $?"
}

dpkg-deb -x "$deb" "$work/root"
installed="$work/root/usr/bin/kavo-cli"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the .deb's version is not $version"
"$installed" --version | grep -qF " $version " || fail "kavo-cli --version does not name $version"
catalogue "$work/deb-ref" "$build/bin/kavo-cli"
catalogue "$work/deb" "$installed"
# The size record stamps each picture's file (times, inode), which differ between copies.
diff -r -x sizes.txt "$work/deb-ref/samples" "$work/deb/samples" || fail "the installed kavo-cli wrote another catalogue"
for page in kavo-cli kavo; do
  man_out="$(man --warnings -E UTF-8 -l "$work/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$man_out" ] || fail "$page.1: $man_out"
done

cmake -E make_directory "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
exe="$work/zip/kavo-${version}-windows-x64/kavo-cli.exe"
[ -f "$exe" ] || fail "no kavo-cli.exe at the top of the zip's folder"
. scripts/wine.sh
/usr/lib/wine/wine64 "$exe" --version | grep -qF " $version " || fail "kavo-cli.exe --version does not name $version"
catalogue "$work/zip-ref" /usr/lib/wine/wine64 "$build_win/bin/kavo-cli.exe"
catalogue "$work/zip-run" /usr/lib/wine/wine64 "$exe"
diff -r -x sizes.txt "$work/zip-ref/samples" "$work/zip-run/samples" || fail "the zip's kavo-cli.exe wrote another catalogue"
rm -rf "$work"
echo "Packages checked: $(basename "$deb"), $(basename "$zip")"
