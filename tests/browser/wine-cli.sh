#!/usr/bin/env bash
# Stands in for kavo-cli in the browser checks: runs the Windows build's
# kavo-cli.exe (KAVO_CLI_EXE) under Wine, so its catalogues are opened in
# Chromium as Linux's are. The path the program prints comes in a Windows code
# page; the Wine tests check it. Here the summary page's path is printed as
# Linux's kavo-cli prints it, once the run succeeded.
set -uo pipefail
/usr/lib/wine/wine64 "$KAVO_CLI_EXE" "$@" >/dev/null || exit $?
printf '%s/index.html\n' "${1%/}"
