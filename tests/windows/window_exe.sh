#!/usr/bin/env bash
# Runs kavo.exe under Wine as a user would: on a virtual display (Xvfb) with the
# real windows platform plugin, in a Wine prefix that has Japanese fonts
# (Debian's IPA fonts, copied into its Fonts folder). Keys drive it (xdotool):
# the sample pictures' folder typed and Enter to scan, ＨＴＭＬ作成 to write the
# catalogue, 設定... for the layout dialog. Then:
#   - the catalogue must be byte for byte the one kavo-cli.exe writes of the
#     same folder (under the same name);
#   - Qt must have warned of nothing (a platform plugin or Japanese texts not
#     found, for one: the program's own warning, see src/platform/translations.cpp);
#     QT_FORCE_STDERR_LOGGING sends it to the output (Wine passes no QT_
#     variable of Linux on to Windows programs, but WINEQT_X as QT_X);
#   - OUT keeps main-window.png (after the scan) and layout-dialog.png, to look at.
# With --faults, first the faults this must catch: kavo.exe started from a copy
# of DIR without Qt's Japanese texts must say so, and without the platform
# plugin must show no window and say so.
# Usage: tests/windows/window_exe.sh [--faults] DIR OUT
#   DIR holds kavo.exe and kavo-cli.exe with what they need (a build's bin
#   folder, or the unpacked zip). Runs in a Wine prefix of its own
#   (scripts/wine.sh), made once the virtual display is there: Wine's desktop
#   process, started with the prefix, is what every window is made on.
set -euo pipefail
faults=false
if [ "${1:-}" = --faults ]; then faults=true; shift; fi
dir="$(cd "$1" && pwd)"
mkdir -p "$2"
out="$(cd "$2" && pwd)"
here="$(cd "$(dirname "$0")/../.." && pwd)"
wine=/usr/lib/wine/wine64

fail() {
  echo "window_exe.sh: $*" >&2
  echo "window_exe.sh: screenshots and Qt's output are in $out" >&2
  exit 1
}
[ -f "$dir/kavo.exe" ] || fail "no kavo.exe in $dir"

# A virtual display of our own; no window manager (Wine draws the frames).
rm -f "$out/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$out/display" >/dev/null 2>&1 &
pids=($!)
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$out/display" ] && break; sleep 0.1; done
[ -s "$out/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$out/display")"
. "$here/scripts/wine.sh"
trap 'cleanup; wine_cleanup' EXIT

# The fonts a Japanese Windows has are not to be had here: Debian's IPA fonts
# stand in (IPA P Gothic has MS P Gothic's widths, the window's design font).
cp /usr/share/fonts/opentype/ipafont-gothic/ipagp.ttf /usr/share/fonts/opentype/ipafont-gothic/ipag.ttf \
  "$WINEPREFIX/drive_c/windows/Fonts/"

# Waits up to SECONDS for a visible window whose title matches REGEX; prints its id.
window() {
  local regex="$1" seconds="$2" id
  for _ in $(seq $((seconds * 5))); do
    id="$(xdotool search --onlyvisible --name "$regex" 2>/dev/null | head -n 1 || true)"
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.2
  done
  return 1
}
# Waits up to SECONDS until no visible window's title matches REGEX.
gone() {
  for _ in $(seq $(($2 * 5))); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 || return 0
    sleep 0.2
  done
  return 1
}
shot() { import -window "$1" "$out/$2"; }
keys() { xdotool key --delay 80 "$@"; sleep 0.5; }
# Starts kavo.exe of FOLDER in the background, its output into FILE.
start_kavo() {
  WINEQT_FORCE_STDERR_LOGGING=1 "$wine" "$1/kavo.exe" >"$2" 2>&1 &
  kavo=$!
  pids+=("$kavo")
}
stop_kavo() {
  kill "$kavo" 2>/dev/null || true
  wait "$kavo" 2>/dev/null || true
}

if $faults; then
  # Without qtbase_ja.qm the window opens, in English where Qt speaks, and says why.
  rm -rf "$out/no-texts" "$out/no-plugin"
  cp -r "$dir" "$out/no-texts"
  rm "$out/no-texts/translations/qtbase_ja.qm"
  start_kavo "$out/no-texts" "$out/no-texts.txt"
  window '^Kavo Version' 60 >/dev/null || fail "kavo.exe without qtbase_ja.qm showed no window: $(cat "$out/no-texts.txt")"
  stop_kavo
  grep -q "qtbase_ja.qm" "$out/no-texts.txt" || fail "kavo.exe without qtbase_ja.qm did not say so: $(cat "$out/no-texts.txt")"
  # Without the platform plugin Qt cannot open a window: it says so and aborts
  # (and the C runtime of a window program then shows a message box of its own).
  cp -r "$dir" "$out/no-plugin"
  rm "$out/no-plugin/platforms/qwindows.dll"
  start_kavo "$out/no-plugin" "$out/no-plugin.txt"
  for _ in $(seq 300); do
    grep -q "Could not find the Qt platform plugin" "$out/no-plugin.txt" && break
    kill -0 "$kavo" 2>/dev/null || break
    sleep 0.2
  done
  grep -q "Could not find the Qt platform plugin" "$out/no-plugin.txt" \
    || fail "kavo.exe without qwindows.dll did not say so: $(cat "$out/no-plugin.txt")"
  ! window '^Kavo Version' 1 >/dev/null || fail "kavo.exe without qwindows.dll showed a window"
  stop_kavo
  rm -rf "$out/no-texts" "$out/no-plugin"
  echo "kavo.exe: a missing qtbase_ja.qm and a missing qwindows.dll are caught"
fi

# Two copies of the samples under the same name: the folder's name is in the pages.
rm -rf "$out/window" "$out/cli"
mkdir -p "$out/window" "$out/cli"
cp -r "$here/assets/samples" "$out/window/samples"
cp -r "$here/assets/samples" "$out/cli/samples"
# Wine's drive Z: is the Linux root.
winpath() { local p="$1"; echo "Z:${p//\//\\}"; }
folder="$(winpath "$out/window/samples")"

start_kavo "$dir" "$out/kavo-output.txt"
main="$(window '^Kavo Version' 60)" || fail "kavo.exe showed no main window in 60 s: $(cat "$out/kavo-output.txt")"
# Keys go to the window under the pointer; the folder picker button has the focus.
xdotool mousemove --window "$main" 5 5
sleep 1
keys Tab
xdotool type --delay 60 "$folder"
sleep 0.5
keys Return
# The scan of a dozen pictures is soon done: its window comes (unless too soon
# to be seen) and goes; keys before that would go to its 中止 button.
window '^検索中' 5 >/dev/null || true
gone '^検索中' 30 || fail "the scan did not end in 30 s"
sleep 1
shot "$main" main-window.png

# ＨＴＭＬ作成: three back from the folder text (参照..., 終了, ＨＴＭＬ作成).
keys shift+Tab shift+Tab shift+Tab
keys space
for _ in $(seq 150); do
  [ -f "$out/window/samples/index.html" ] && ! xdotool search --onlyvisible --name '処理' >/dev/null 2>&1 && break
  sleep 0.2
done
[ -f "$out/window/samples/index.html" ] || fail "kavo.exe wrote no catalogue in 30 s"
gone '処理' 30 || fail "the progress window did not close"

# 設定...: back from ＨＴＭＬ作成 past ブラウザ起動, now that a catalogue is there.
keys shift+Tab shift+Tab
keys space
layout="$(window 'Html出力設定' 20)" || fail "the layout dialog did not open"
sleep 1
shot "$layout" layout-dialog.png
keys Escape
gone 'Html出力設定' 10 || fail "the layout dialog did not close with Escape"
# 終了 (Alt+F4 where there is no window manager to send it).
keys alt+F4
for _ in $(seq 100); do kill -0 "$kavo" 2>/dev/null || break; sleep 0.2; done
if kill -0 "$kavo" 2>/dev/null; then fail "kavo.exe did not quit on Alt+F4"; fi
wait "$kavo" || fail "kavo.exe exited with $?"

# Anything Qt or the program said is a fault (a missing plugin, missing texts, a
# font), but for what Wine 8 lacks of Windows 10's DPI functions, which Qt tries
# and goes on without.
said="$(grep -v -e '^\s*$' -e 'SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2) failed' \
  -e 'EnableNonClientDpiScaling() failed' "$out/kavo-output.txt" || true)"
[ -z "$said" ] || fail "kavo.exe said: $said"

"$wine" "$dir/kavo-cli.exe" -q "$(winpath "$out/cli/samples")" >/dev/null \
  || fail "kavo-cli.exe exited with $?"
# The size record (where one is kept) holds file stamps, which differ between the copies.
diff -r -x sizes.txt -x pages.txt "$out/cli/samples" "$out/window/samples" >"$out/diff.txt" \
  || fail "kavo.exe wrote another catalogue than kavo-cli.exe: $(head -n 20 "$out/diff.txt")"
echo "kavo.exe: main window and layout dialog shown, catalogue as kavo-cli.exe's ($out)"
