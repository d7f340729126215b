#!/usr/bin/env bash
# Builds Kavo in Release and writes its packages into DIR (default: dist):
#   kavo_VERSION_ARCH.deb          both programs, with menu entry, icons and manual pages
#   kavo-VERSION-windows-x64.zip   kavo.exe and kavo-cli.exe from the MinGW-w64 cross build,
#                                  with Qt's DLLs, plugins and Japanese texts (Qt for Windows
#                                  is built into its cache first when it is not there)
# CPack makes both (packaging/CMakeLists.txt); the version is the CMake project's.
# The .deb is then checked: lintian without errors or warnings, its desktop entry and its
# AppStream metadata valid. Installs the Debian packages it misses.
# Usage: scripts/package.sh [DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
out="${1:-dist}"
scripts/setup.sh build package
mkdir -p "$out"
out="$(cd "$out" && pwd)"

# Debian's own build flags, hardening included, as a Debian build would use them;
# CMake reads no CPPFLAGS, so they join the compiler's flags. Kept out of the
# environment, where the MinGW build would take them too. GCC 12 sees a false
# overlap in std::string's inlined copies at -O3 (-Wrestrict), on both targets.
debflags() { DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP="-g -O2" dpkg-buildflags --get "$1"; }
scripts/build.sh build-pkg -DCMAKE_BUILD_TYPE=Release -DKAVO_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_CXX_FLAGS="$(debflags CPPFLAGS) $(debflags CXXFLAGS) -Wno-restrict" \
  -DCMAKE_EXE_LINKER_FLAGS="$(debflags LDFLAGS)"
scripts/build-qt-windows.sh
scripts/build-windows.sh build-pkg-win -DCMAKE_BUILD_TYPE=Release -DKAVO_BUILD_TESTS=OFF -DCMAKE_CXX_FLAGS=-Wno-restrict

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build-pkg/CMakeCache.txt)"
deb="kavo_${version}_$(dpkg --print-architecture).deb"
zip="kavo-${version}-windows-x64.zip"
rm -f "$out/$deb" "$out/$zip"
(cd build-pkg && cpack >/dev/null && cp "$deb" "$out/")
(cd build-pkg-win && cpack >/dev/null && cp "$zip" "$out/")
# grep reads the whole list: with -q it would stop at the match and the listing would fail on the closed pipe.
cmake -E tar tf "$out/$zip" | grep "/kavo\.exe$" >/dev/null || { echo "package.sh: no kavo.exe in $zip" >&2; exit 1; }

echo "lintian $deb:"
status=0
report="$(lintian --fail-on error,warning --display-info "$out/$deb" 2>&1)" || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || { echo "package.sh: lintian finds errors or warnings in $deb" >&2; exit 1; }
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb -x "$out/$deb" "$root"
desktop-file-validate "$root"/usr/share/applications/*.desktop
appstreamcli validate --no-net --explain "$root"/usr/share/metainfo/*.metainfo.xml
ls -l "$out/$deb" "$out/$zip"
