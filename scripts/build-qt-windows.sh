#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows (MinGW-w64) from Debian's own qt6-base source,
# once, into a cache outside the work tree; every later call reuses it.
#
# The source is the very version of the host's Qt (its moc, rcc and uic are the
# host tools of the cross build, so the two must match exactly), fetched with
# `apt-get source` through a private apt configuration: the system's own apt
# set-up is neither read for sources nor written. dpkg-source applies Debian's
# patches as for Debian's own build. Only what the window program and its tests
# need is built: Core, Gui, Widgets, Test; the windows and offscreen platform
# plugins and the Vista style; as DLLs, so Qt's LGPL is easy to honour. The
# licence texts of Qt and of what its DLLs hold, and where the source came from,
# are kept beside the install (licenses/), for the zip.
#
# The cache is keyed by the Qt version, the MinGW version (compiler and runtime
# packages) and a hash of the configure line with the toolchain file; an
# install counts only once its stamp file is written, after a complete
# install, so a half-built or damaged cache is built again from scratch.
#
# Usage: scripts/build-qt-windows.sh            build if missing; the last line of
#                                               the output is the install prefix
#        scripts/build-qt-windows.sh --prefix   print the prefix only; exit 1 if
#                                               it is not (completely) built
# Environment: KAVO_CACHE (default ~/.cache/kavo), KAVO_DEBIAN_MIRROR (a Debian
# mirror's base address; default: the archives the system's apt already uses),
# KAVO_QT_JOBS (default: number of cores).
# Exit status 2 with one message when the source cannot be had or does not match.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "build-qt-windows.sh: $*" >&2
  echo "build-qt-windows.sh: (the Linux build and tests do not need Qt for Windows and still run)" >&2
  exit 2
}

mode="${1:-build}"
case "$mode" in build|--prefix) ;; *) echo "usage: $0 [--prefix]" >&2; exit 1 ;; esac

if [ "$mode" = build ]; then scripts/setup.sh build windows qt-windows; fi
command -v x86_64-w64-mingw32-g++-posix >/dev/null \
  || fail "MinGW-w64 (g++-mingw-w64-x86-64-posix) is not installed; run scripts/setup.sh windows"

pkgver() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null || true; }
qt_version="$(pkgver qt6-base-dev)"
[ -n "$qt_version" ] || fail "the host Qt (qt6-base-dev) is not installed; run scripts/setup.sh build"
gxx_version="$(pkgver g++-mingw-w64-x86-64-posix)"
crt_version="$(pkgver mingw-w64-x86-64-dev)"
mingw_version="${gxx_version}-crt${crt_version}"

jobs="${KAVO_QT_JOBS:-$(nproc)}"
cache="${KAVO_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/kavo}"
mirror="${KAVO_DEBIAN_MIRROR:-}"

# The toolchain for Qt's own build: Debian's posix-thread MinGW, the C++ runtime
# as DLLs (libstdc++-6, libgcc_s_seh-1, libwinpthread-1) beside Qt's.
toolchain_text='set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)'

# The configure line, as the trial measured it (the prefix and toolchain path
# are added below), and one more. tabletevent must go: neither the +dfsg source
# nor MinGW has wintab.h. directwrite must go with direct2d: Qt 6.4 compiles its
# DirectWrite font database into Qt6Gui only with direct2d, but the windows
# platform plugin asks for it whenever directwrite3 is there, and fails to link
# (undefined QWindowsDirectWriteFontDatabase); the GDI font database stays,
# Qt 6.4's default.
configure_args=(-release -shared -qt-host-path /usr -nomake examples -nomake tests
  -no-opengl -no-dbus -no-icu -no-pkg-config -no-direct2d -no-feature-directwrite
  -no-feature-sql -no-feature-network -no-feature-printsupport -no-feature-concurrent
  -no-feature-xml -no-feature-tabletevent
  -qt-zlib -qt-pcre -qt-harfbuzz -qt-libpng -qt-libjpeg -qt-freetype -qt-doubleconversion)
cmake_args=(-G Ninja -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake)

key_hash="$(printf '%s\n' "${configure_args[@]}" -- "${cmake_args[@]}" "$toolchain_text" | sha256sum | cut -c1-12)"
name="qt-${qt_version}-mingw-${mingw_version}-${key_hash}"
prefix="$cache/$name"
stamp="$prefix/.kavo-complete"
downloads="$cache/downloads/qt6-base_$qt_version"
dsc="$downloads/qt6-base_${qt_version#*:}.dsc"

# The licence texts of Qt and of the parts its DLLs that go into the zip
# (Qt6Core, Qt6Gui, Qt6Widgets, qwindows, qwindowsvistastyle) hold, as the
# source's qt_attribution.json files name them: "title|licence|files" below src/.
third_party=(
  "Unicode Character Database and CLDR (Qt6Core)|Unicode-DFS-2016|corelib/text/UNICODE_LICENSE.txt"
  "SipHash (Qt6Core)|CC0-1.0|corelib/tools/LICENSE.siphash"
  "double-conversion (Qt6Core)|BSD-3-Clause|3rdparty/double-conversion/LICENSE"
  "PCRE2 (Qt6Core)|BSD-3-Clause|3rdparty/pcre2/LICENCE"
  "PCRE2 - SLJIT (Qt6Core)|BSD-2-Clause|3rdparty/pcre2/LICENCE-SLJIT"
  "zlib (Qt6Core)|Zlib|3rdparty/zlib/LICENSE"
  "Easing Equations by Robert Penner (Qt6Core)|BSD-3-Clause|3rdparty/easing/LICENSE"
  "TinyCBOR (Qt6Core)|MIT|3rdparty/tinycbor/LICENSE"
  "BLAKE2 (Qt6Core)|CC0-1.0 OR Apache-2.0|3rdparty/blake2/COPYING"
  "SHA-384 and SHA-512, RFC 6234 (Qt6Core)|BSD-3-Clause|3rdparty/rfc6234/LICENSE"
  "SHA-3 Keccak (Qt6Core)|CC0-1.0|3rdparty/sha3/CC0_LICENSE"
  "SHA-3 brg_endian (Qt6Core)|BSD-2-Clause|3rdparty/sha3/BRG_ENDIAN_LICENSE"
  "MD4, MD5 and SHA-1 (Qt6Core)|public domain|"
  "FreeType 2 (Qt6Gui)|FTL (chosen of FTL or GPL-2.0)|3rdparty/freetype/LICENSE.txt 3rdparty/freetype/docs/FTL.TXT"
  "FreeType 2 - zlib (Qt6Gui)|Zlib|3rdparty/freetype/ZLIB-LICENSE.txt"
  "FreeType 2 - BDF (Qt6Gui)|MIT|3rdparty/freetype/BDF-LICENSE.txt"
  "FreeType 2 - PCF (Qt6Gui)|MIT|3rdparty/freetype/PCF-LICENSE.txt"
  "HarfBuzz (Qt6Gui)|MIT|3rdparty/harfbuzz-ng/COPYING"
  "libpng (Qt6Gui)|libpng-2.0|3rdparty/libpng/LICENSE"
  "MD4C (Qt6Gui)|MIT|3rdparty/md4c/LICENSE.md"
  "sRGB colour profile (Qt6Gui)|ICC|3rdparty/icc/LICENSE.txt"
  "Adobe Glyph List For New Fonts (Qt6Gui)|BSD-3-Clause|gui/text/AGLFN_LICENSE.txt"
  "Smooth Scaling Algorithm (Qt6Gui)|BSD-2-Clause AND Imlib2|gui/painting/QIMAGETRANSFORM_LICENSE.txt"
  "X Server helper (Qt6Gui)|X11 AND HPND|gui/painting/XCONSORTIUM_LICENSE.txt"
)
notices=(LGPL-3.0-only.txt GPL-3.0-only.txt Qt-third-party.txt Qt-source.txt debian-copyright.txt)

# A complete install: the stamp, and the files the window program needs.
complete() {
  [ -f "$stamp" ] || return 1
  local f
  for f in bin/Qt6Core.dll bin/Qt6Gui.dll bin/Qt6Widgets.dll bin/Qt6Test.dll \
           plugins/platforms/qwindows.dll plugins/platforms/qoffscreen.dll \
           plugins/styles/qwindowsvistastyle.dll lib/cmake/Qt6/Qt6Config.cmake; do
    [ -s "$prefix/$f" ] || return 1
  done
}
notices_complete() {
  local f
  for f in "${notices[@]}"; do [ -s "$prefix/licenses/$f" ] || return 1; done
}

if [ "$mode" = --prefix ]; then
  complete && notices_complete || exit 1
  echo "$prefix"
  exit 0
fi

# ---- The source: Debian's qt6-base, the host's version --------------------
fetch_source() {
  [ -f "$downloads/.complete" ] && return 0
  rm -rf "$downloads"
  mkdir -p "$downloads"
  local apt_dir keyring available
  apt_dir="$(mktemp -d "${TMPDIR:-/tmp}/kavo-apt.XXXXXX")"
  mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial"
  keyring=/usr/share/keyrings/debian-archive-keyring.gpg
  # The same archives as the system's binary packages come from (read, not
  # changed; taken from the sources, so no list need have been fetched yet),
  # with their source lists; or the mirror given.
  if [ -n "$mirror" ]; then
    local codename
    codename="$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")"
    printf 'deb-src [signed-by=%s] %s %s main\n' \
      "$keyring" "$mirror/debian" "$codename" \
      "$keyring" "$mirror/debian" "$codename-updates" \
      "$keyring" "$mirror/debian-security" "$codename-security"
  else
    apt-get indextargets --no-release-info --format '$(REPO_URI) $(RELEASE) $(COMPONENT)' 2>/dev/null \
      | awk -v k="$keyring" '$3 == "main" { print "deb-src [signed-by=" k "] " $1 " " $2 " main" }' | sort -u
  fi > "$apt_dir/sources.list"
  if [ ! -s "$apt_dir/sources.list" ]; then
    rm -rf "$apt_dir"
    fail "apt has no Debian archive with a main component configured to fetch qt6-base's source from. Set KAVO_DEBIAN_MIRROR to a Debian mirror's base address and run it again."
  fi
  local apt_opts=(-o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Etc::SourceList=$apt_dir/sources.list"
    -o Dir::Etc::SourceParts=/dev/null -o "Dir::Cache=$apt_dir/cache"
    -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o APT::Sandbox::User="$(id -un)"
    -o Debug::NoLocking=1)
  echo "Fetching the list of Debian's sources ..."
  if ! apt-get "${apt_opts[@]}" update -qq >"$apt_dir/update.log" 2>&1 \
     || grep -q '^[EW]:' "$apt_dir/update.log"; then
    cat "$apt_dir/update.log" >&2
    rm -rf "$apt_dir"
    fail "could not read Debian's source lists (the messages above say why). Check the network (or set KAVO_DEBIAN_MIRROR to a Debian mirror's base address) and run it again."
  fi
  available="$(apt-cache "${apt_opts[@]}" showsrc qt6-base 2>/dev/null | sed -n 's/^Version: //p' | sort -u | xargs echo)"
  if [[ " $available " != *" $qt_version "* ]]; then
    rm -rf "$apt_dir"
    fail "Debian's archive has qt6-base ${available:-(none)}, but the host Qt is $qt_version; the host tools of the cross build must match exactly. Bring the host to the archive's version (apt-get install --only-upgrade qt6-base-dev) and run it again."
  fi
  echo "Fetching qt6-base $qt_version source ..."
  if ! (cd "$downloads" && apt-get "${apt_opts[@]}" source --download-only -qq "qt6-base=$qt_version") >"$apt_dir/source.log" 2>&1; then
    cat "$apt_dir/source.log" >&2
    rm -rf "$apt_dir"
    fail "could not fetch Debian's qt6-base $qt_version source. Check the network and run it again."
  fi
  rm -rf "$apt_dir"
  [ -f "$dsc" ] || fail "apt-get source left no $(basename "$dsc"); run it again."
  touch "$downloads/.complete"
}

# Unpacks the source into DIR with Debian's patches applied; checks its version.
unpack_source() {
  local dir="$1" src_version
  dpkg-source -x "$dsc" "$dir" >"$dir.unpack.log" 2>&1 || {
    cat "$dir.unpack.log" >&2
    rm -rf "$downloads"
    fail "could not unpack $(basename "$dsc") (a damaged download, now removed); run it again."
  }
  rm -f "$dir.unpack.log"
  src_version="$(cd "$dir" && dpkg-parsechangelog -S Version)"
  [ "$src_version" = "$qt_version" ] \
    || fail "the fetched source is qt6-base $src_version, but the host Qt is $qt_version; the host tools must match exactly."
}

# Writes the licence texts and the source's origin from the unpacked source SRC.
write_notices() {
  local src="$1" out="$prefix/licenses" entry title licence files f
  rm -rf "$out"
  mkdir -p "$out"
  cp "$src/LICENSES/LGPL-3.0-only.txt" "$src/LICENSES/GPL-3.0-only.txt" "$out/"
  cp "$src/debian/copyright" "$out/debian-copyright.txt"
  {
    echo "Parts of Qt's DLLs that come from elsewhere, with their licences"
    echo "(from the qt_attribution.json files of the Qt source, src/)."
    for entry in "${third_party[@]}"; do
      IFS='|' read -r title licence files <<<"$entry"
      printf '\n\n==============================================================================\n%s\nLicence: %s\n==============================================================================\n' "$title" "$licence"
      for f in $files; do
        [ -s "$src/src/$f" ] || fail "the Qt source lacks src/$f, a licence text the zip must carry"
        printf '\n'
        cat "$src/src/$f"
      done
    done
  } > "$out/Qt-third-party.txt"
  {
    echo "Qt ${qt_version%%+*} for Windows, built for Kavo with Debian's MinGW-w64 (g++ $gxx_version, runtime $crt_version)"
    echo "from Debian's source package qt6-base $qt_version, with Debian's patches applied."
    echo "The source package's files, as the Debian archive holds them under pool/main/q/qt6-base/"
    echo "(and Debian's snapshot archive keeps them for good):"
    echo "  $(basename "$dsc")"
    sed -n '/^Files:/,/^[^ ]/s/^ [0-9a-f]* [0-9]* \(.*\)$/  \1/p' "$dsc"
    echo "Configured with:"
    echo "  configure -prefix PREFIX ${configure_args[*]} -- ${cmake_args[*]} -DCMAKE_TOOLCHAIN_FILE=TOOLCHAIN"
    echo "where TOOLCHAIN is:"
    printf '%s\n' "$toolchain_text" | sed 's/^/  /'
    echo "The script that does all this is scripts/build-qt-windows.sh in Kavo's source."
  } > "$out/Qt-source.txt"
}

mkdir -p "$cache"
# One build at a time: a second caller (the test command while a build is under
# way) waits for the first and then finds the cache complete.
exec 9>"$cache/$name.lock"
if ! flock -n 9; then
  echo "Another Qt for Windows build is under way; waiting for it to finish..."
  flock 9
fi

if complete; then
  if ! notices_complete; then
    # Only the notices are missing (a cache from before they were kept): from the source, not a rebuild.
    echo "Writing Qt's licence notices from its source ..."
    fetch_source
    tmp="$(mktemp -d "${TMPDIR:-/tmp}/kavo-qt-src.XXXXXX")"
    unpack_source "$tmp/src"
    write_notices "$tmp/src"
    rm -rf "$tmp"
  fi
  echo "Qt for Windows is built: $prefix"
  echo "$prefix"
  exit 0
fi

start=$(date +%s)
echo "Building Qt $qt_version for Windows (MinGW $mingw_version) from Debian's source, once."
echo "This takes a while: about 35 CPU-minutes, some 17 minutes on two idle cores (measured)."
echo "The result is kept in $prefix and reused by every later build."
fetch_source

# ---- Configure and build in a folder of this key --------------------------
# A build that was stopped (killed, a machine that went down) goes on where it
# was: the folder is of the same key, so of the same configure line, and ninja
# redoes every step that did not finish. Anything else starts afresh.
work="$cache/work-$name"
rm -rf "$prefix"
if [ -f "$work/.kavo-configured" ]; then
  echo "Going on with the build begun in $work ..."
else
  rm -rf "$work"
  mkdir -p "$work"
  echo "Unpacking and applying Debian's patches ..."
  unpack_source "$work/src"

  printf '%s\n' "$toolchain_text" > "$work/toolchain.cmake"
  mkdir -p "$work/build"
  echo "Configuring ..."
  if ! (cd "$work/build" && "$work/src/configure" -prefix "$prefix" "${configure_args[@]}" -- \
          "${cmake_args[@]}" -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake") >"$work/configure.log" 2>&1; then
    tail -n 40 "$work/configure.log" >&2
    fail "configuring Qt failed; the whole log is $work/configure.log"
  fi
  touch "$work/.kavo-configured"
fi

total="$(ninja -C "$work/build" -n 2>/dev/null | grep -c '^\[' || true)"
echo "Building (${total:-?} steps to go, $jobs at a time); a line every 50 steps:"
set +e
NINJA_STATUS='[%f/%t] ' ninja -C "$work/build" -j "$jobs" 2>&1 \
  | tee "$work/build.log" \
  | while IFS= read -r line; do
      # Read a line at a time (awk would wait for a full buffer of a pipe).
      if [[ "$line" =~ ^\[([0-9]+)/([0-9]+)\]\  ]]; then
        n="${BASH_REMATCH[1]}"
        if (( n % 50 == 0 || n == BASH_REMATCH[2] )); then
          echo "  $n/${BASH_REMATCH[2]} steps, $(( ($(date +%s) - start) / 60 )) min"
        fi
      fi
    done
status=${PIPESTATUS[0]}
set -e
if [ "$status" -ne 0 ]; then
  grep -B2 -A20 -m3 'FAILED:' "$work/build.log" >&2 || tail -n 40 "$work/build.log" >&2
  fail "building Qt failed; the whole log is $work/build.log"
fi
echo "Installing ..."
cmake --install "$work/build" >"$work/install.log" 2>&1 \
  || { tail -n 20 "$work/install.log" >&2; fail "installing Qt failed; the whole log is $work/install.log"; }
write_notices "$work/src"

end=$(date +%s)
{
  echo "Qt $qt_version for x86_64-w64-mingw32 (MinGW $mingw_version); see licenses/Qt-source.txt"
  echo "Built: $(date -u +%Y-%m-%dT%H:%M:%SZ) on $(nproc) cores, $jobs jobs, wall time $(( (end - start) / 60 )) min $(( (end - start) % 60 )) s"
} > "$prefix/kavo-build-info.txt"
rm -rf "$work"
touch "$stamp"
complete && notices_complete || { rm -f "$stamp"; fail "the install in $prefix lacks files the window program needs; run it again"; }
echo "Qt for Windows built in $(( (end - start) / 60 )) min $(( (end - start) % 60 )) s: $prefix"
echo "$prefix"
