#!/usr/bin/env bash
# Builds tolvi.exe and runs it under wine with a demo console beside it: the test pipe server
# on \\.\pipe\tolvi-demo and, on the first run, a stored connector for it on port 2323.
# Ctrl-C ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
# The Windows build's libssh is the machine's own version; where the mirror does not serve
# that version's source yet, these commands knowingly take the newest it serves, and the build
# says so at every configure (TOLVI_WINDOWS_LIBSSH names another choice).
export TOLVI_WINDOWS_LIBSSH=${TOLVI_WINDOWS_LIBSSH:-newest-served}
cmake --preset windows >/dev/null
cmake --build --preset windows --target tolvi tolvi-pipeserver
build=build/windows
export WINEPREFIX="$PWD/$build/run-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"

if [ -z "${DISPLAY:-}" ]; then
    echo "No display: tolvi runs under Xvfb, out of sight; its relays work all the same."
    exec scripts/with-display.sh "$PWD/scripts/run.sh" "$@"
fi

# The configuration key's values, in the program's own form: REG_MULTI_SZ, text and one NUL.
# The key lives in the registry's 32-bit view, which regedit (64-bit) reaches as Wow6432Node.
value() { printf '"%s"=hex(7):%s00\n' "$1" "$(printf '%s' "$2" | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//')"; }
if [ ! -d "$WINEPREFIX" ]; then
    echo "Preparing a wine prefix of its own in $WINEPREFIX (once)..."
    wineboot -i >/dev/null 2>&1
    {
        echo REGEDIT4
        echo
        echo '[HKEY_CLASSES_ROOT\Wow6432Node\Interface\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}]'
        value PipeNum 1
        value PipeName0 '\\.\pipe\tolvi-demo'
        value Port0 2323
        value Description0 "Demo console"
        value NonLocal0 0
        value EnAcl0 0
        value Acl0 ""
        value AutoStart 0
        value ExitToTray 0
    } >"$WINEPREFIX/demo.reg"
    wine regedit /s "$WINEPREFIX/demo.reg"
fi

wine "$build/tools/tolvi-pipeserver.exe" '\\.\pipe\tolvi-demo' console >"$WINEPREFIX/pipeserver.log" 2>&1 &
trap 'wineserver -k 2>/dev/null || true' EXIT INT TERM
echo
echo "tolvi is starting. Try it from another terminal:   telnet 127.0.0.1 2323"
echo "(Ctrl-C here ends tolvi and the demo console.)"
echo
wine "$build/src/tolvi.exe"
