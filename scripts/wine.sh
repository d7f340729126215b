# Sourced by the scripts that run Windows programs: a fresh Wine prefix with one
# server for the whole run, both gone again when the sourcing script exits.
export WINEPREFIX
WINEPREFIX="$(mktemp -d "${TMPDIR:-/tmp}/kavo-wine.XXXXXX")"
# No Mono or Gecko prompts; UTF-8 so that Wine passes names beyond ASCII on unchanged.
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LC_ALL=C.UTF-8
wine_cleanup() {
  /usr/lib/wine/wineserver -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
}
trap wine_cleanup EXIT
# One server for the whole run: by default it quits 3 s after its last client,
# and a program that starts in that window loses its connection ("recvmsg:
# Connection reset by peer").
/usr/lib/wine/wineserver -p
/usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
