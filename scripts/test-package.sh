#!/usr/bin/env bash
# Makes the packages into DIST (default: dist) and runs what they install: kavo-cli
# from the .deb unpacked into a scratch root, and kavo-cli.exe and kavo.exe from the
# zip under Wine. Each must name the project's version and write the catalogue of
# the sample pictures byte for byte as the same program built in BUILD (default:
# build) or BUILD_WIN (default: build-win) does; kavo.exe, unpacked alone, must open
# in Japanese and write what kavo-cli.exe writes (tests/windows/window_exe.sh). The
# zip must hold what a Windows user needs, its read-me files as Windows' tools read
# them, and version resources in both programs.
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
diff -r -x sizes.txt -x pages.txt "$work/deb-ref/samples" "$work/deb/samples" || fail "the installed kavo-cli wrote another catalogue"
for page in kavo-cli kavo; do
  man_out="$(man --warnings -E UTF-8 -l "$work/root/usr/share/man/man1/$page.1.gz" 2>&1 >/dev/null)"
  [ -z "$man_out" ] || fail "$page.1: $man_out"
done

cmake -E make_directory "$work/zip"
(cd "$work/zip" && cmake -E tar xf "$zip")
top="$work/zip/kavo-${version}-windows-x64"
exe="$top/kavo-cli.exe"
[ -f "$exe" ] || fail "no kavo-cli.exe at the top of the zip's folder"
for f in kavo.exe Qt6Core.dll Qt6Gui.dll Qt6Widgets.dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll \
         platforms/qwindows.dll styles/qwindowsvistastyle.dll translations/qtbase_ja.qm qt.conf \
         Images/logo1.gif Readme.txt Readme-ja.txt LICENSE.txt Licenses/Qt-LGPL-3.0.txt Licenses/GPL-3.0.txt \
         Licenses/Qt-third-party.txt Licenses/CLI11.txt Licenses/stb.txt Licenses/xxHash.txt Licenses/MinGW-runtime.txt; do
  [ -s "$top/$f" ] || fail "the zip lacks $f"
done
for f in Qt6Test.dll platforms/qoffscreen.dll; do
  [ ! -e "$top/$f" ] || fail "the zip holds $f, which only the tests use"
done
grep -q "pool/main/q/qt6-base/" "$top/Licenses/Qt-LGPL-3.0.txt" || fail "Qt's licence does not say where its source is"
# UTF-8 with a byte order mark and CR LF throughout, as Notepad of any Windows reads it.
for f in Readme.txt Readme-ja.txt; do
  [ "$(head -c 3 "$top/$f" | od -An -tx1 | tr -d ' ')" = efbbbf ] || fail "$f has no UTF-8 byte order mark"
  [ "$(grep -c $'\r$' "$top/$f")" = "$(grep -c '' "$top/$f")" ] || fail "$f has a line without CR LF"
done
for f in kavo.exe kavo-cli.exe; do
  strings -el "$top/$f" | grep -x "$version" >/dev/null || fail "$f has no version resource naming $version"
done
# Every option kavo-cli names in its help is explained in the Japanese read-me.
for option in $("$build/bin/kavo-cli" --help | grep -o -- '--[a-z][a-z-]*' | sort -u); do
  grep -q -- "$option" "$top/Readme-ja.txt" || fail "Readme-ja.txt does not explain $option"
done
. scripts/wine.sh
/usr/lib/wine/wine64 "$exe" --version | grep -qF " $version " || fail "kavo-cli.exe --version does not name $version"
catalogue "$work/zip-ref" /usr/lib/wine/wine64 "$build_win/bin/kavo-cli.exe"
catalogue "$work/zip-run" /usr/lib/wine/wine64 "$exe"
diff -r -x sizes.txt -x pages.txt "$work/zip-ref/samples" "$work/zip-run/samples" || fail "the zip's kavo-cli.exe wrote another catalogue"
tests/windows/window_exe.sh "$top" "$work/zip-window" || fail "the zip's kavo.exe failed"
rm -rf "$work"
echo "Packages checked: $(basename "$deb"), $(basename "$zip")"
