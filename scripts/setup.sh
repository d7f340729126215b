#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those missing.
# Usage: scripts/setup.sh [build|test|bench|fuzz|windows|qt-windows|windows-test|package|assets]...   (default: build)
set -euo pipefail

want=(g++ cmake ninja-build pkg-config libstb-dev libxxhash-dev libjpeg62-turbo-dev libpng-dev libcli11-dev libgtest-dev qt6-base-dev qt6-translations-l10n fonts-noto-cjk fonts-ipafont-gothic)
for set in "${@:-build}"; do
  case "$set" in
    build) ;;
    test) want+=(chromium xvfb xauth imagemagick clang-14 libfuzzer-14-dev adwaita-qt6) ;;
    bench) want+=(hyperfine imagemagick python3 time libvips-tools) ;;
    fuzz) want+=(clang-14 libfuzzer-14-dev) ;;
    windows) want+=(g++-mingw-w64-x86-64-posix wine64) ;;
    qt-windows) want+=(dpkg-dev xz-utils debian-archive-keyring) ;;
    windows-test) want+=(g++-mingw-w64-x86-64-posix wine64 xvfb xdotool imagemagick libjpeg-turbo-progs time) ;;
    package) want+=(dpkg-dev file help2man lintian man-db desktop-file-utils appstream) ;;
    assets) want+=(imagemagick librsvg2-bin fonts-dejavu-core) ;;
    *) echo "setup.sh: unknown set '$set'" >&2; exit 1 ;;
  esac
done

missing=()
# Node.js may come from another package source that bundles npm; only its commands matter.
if [[ " $* " == *" test "* ]]; then
  command -v node >/dev/null || missing+=(nodejs)
  command -v npm >/dev/null || missing+=(npm)
fi
for p in "${want[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
