#!/usr/bin/env bash
# Cross-builds the core, kavo-cli.exe and the core tests for 64-bit Windows with
# MinGW-w64 into DIR (default: build-win); ctest there runs them under Wine.
# The window program kavo.exe and its tests are built too when Qt for Windows
# is in its cache (scripts/build-qt-windows.sh makes it; Debian has none), and
# left out, with a note, when it is not. Installs the Debian packages it misses.
# Further arguments go to CMake.
# Usage: scripts/build-windows.sh [DIR [CMAKE_ARGS...]]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build-win}"
shift || true
scripts/setup.sh build windows
mkdir -p "$build"
build="$(cd "$build" && pwd)"
deps="$build/deps"
toolchain="$PWD/cmake/mingw-w64.cmake"

# GoogleTest for the target, from the sources Debian ships with libgtest-dev; built once per DIR.
if [ ! -f "$deps/lib/libgtest.a" ] && [[ " $* " != *" -DKAVO_BUILD_TESTS=OFF "* ]]; then
  cmake -S /usr/src/googletest -B "$build/googletest" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_INSTALL_PREFIX="$deps" \
    -DBUILD_GMOCK=OFF -Dgtest_disable_pthreads=OFF >/dev/null
  cmake --build "$build/googletest" --target install >/dev/null
fi
# The header-only libraries are the same for every target; copied so the
# cross build never searches the host's include folder.
mkdir -p "$deps/include" "$deps/share/cmake"
cp -r --preserve=timestamps /usr/include/stb /usr/include/CLI /usr/include/xxhash.h "$deps/include/"
cp -r --preserve=timestamps /usr/share/cmake/CLI11 "$deps/share/cmake/"

# Qt for Windows, when built; its tools (moc) are the host Qt's.
if qt="$(scripts/build-qt-windows.sh --prefix)"; then
  host_cmake="$(dirname "$(dirname "$(dpkg -L qt6-base-dev | grep -m1 '/cmake/Qt6CoreTools/Qt6CoreToolsConfig.cmake$')")")"
  gui=(-DKAVO_BUILD_GUI=ON -DKAVO_WIN_QT="$qt" -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR="$host_cmake")
else
  echo "build-windows.sh: no Qt for Windows in the cache; kavo.exe is left out (scripts/build-qt-windows.sh builds it)" >&2
  gui=(-DKAVO_BUILD_GUI=OFF)
fi

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
  -DKAVO_WIN_DEPS="$deps" "${gui[@]}" -DCMAKE_CROSSCOMPILING_EMULATOR=/usr/lib/wine/wine64 "$@" >/dev/null
cmake --build "$build" -j "$(nproc)"
