#!/usr/bin/env bash
# Redraws the README's picture of tolvi.exe: under wine's virtual desktop (named "shell", which
# gives it a task bar) with the visual styles on, three stored connectors (one shared by two
# clients, one whose client waits for its pipe, one whose port another program holds) and the
# first row's menu open.
#
#     scripts/screenshot.sh [OUTPUT.png [DPI]]      (docs/tolvi.png at 96 DPI by default)
set -euo pipefail
cd "$(dirname "$0")/.."
out=$(realpath -m "${1:-docs/tolvi.png}")
dpi=${2:-96}
if [ -z "${TOLVI_SHOT_DISPLAY:-}" ]; then
    scripts/install-deps.sh
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target tolvi tolvi-pipeserver >/dev/null
    # Always a private display of a known size, whatever display the user has.
    exec env -u DISPLAY TOLVI_SHOT_DISPLAY=1 scripts/with-display.sh "$PWD/scripts/screenshot.sh" "$out" "$dpi"
fi

build=build/windows
export WINEPREFIX="$PWD/$build/shot-prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
pids=()
cleanup() {
    for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
    wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1

value() { printf '"%s"=hex(7):%s00\n' "$1" "$(printf '%s' "$2" | od -An -tx1 -v | tr -s ' \n' ',,' | sed 's/^,//')"; }
connector() {  # index pipe port description [clients at once]
    value "PipeName$1" "$2"; value "Port$1" "$3"; value "Description$1" "$4"
    value "NonLocal$1" 0; value "EnAcl$1" 0; value "Acl$1" ""
    value "MaxClients$1" "${5:-1}"; value "LogFile$1" ""; value "Replay$1" 0
}
{
    echo REGEDIT4
    echo
    echo '[HKEY_CURRENT_USER\Software\Microsoft\Windows\CurrentVersion\ThemeManager]'
    echo '"ThemeActive"="1"'
    echo '"DllName"="C:\\windows\\resources\\themes\\light\\light.msstyles"'
    echo '"ColorName"="NormalColor"'
    echo '"SizeName"="NormalSize"'
    echo
    echo '[HKEY_CURRENT_USER\Control Panel\Desktop]'
    printf '"LogPixels"=dword:%08x\n' "$dpi"
    echo
    echo '[HKEY_CLASSES_ROOT\Wow6432Node\Interface\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}]'
    value PipeNum 3
    connector 0 '\\.\pipe\tolvi-demo' 2323 "Demo console, shared" 4
    connector 1 '\\.\pipe\build-vm' 2324 "Build VM (not running)"
    connector 2 '\\.\pipe\router' 2325 "Port taken by another program"
    value AutoStart 0
    value ExitToTray 0
} >"$WINEPREFIX/shot.reg"
wine regedit /s "$WINEPREFIX/shot.reg"
# The caption buttons' glyphs come from Marlett, which wine does not always find by itself.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
wineserver -w

socat TCP-LISTEN:2325,bind=127.0.0.1,reuseaddr,fork /dev/null & pids+=($!)
wine "$build/tools/tolvi-pipeserver.exe" '\\.\pipe\tolvi-demo' console >/dev/null 2>&1 & pids+=($!)
sleep 2
scale() { echo $(( $1 * dpi / 96 )); }
width=$(scale 760) height=$(scale 460)
wine explorer /desktop=shell,${width}x${height} "$build/src/tolvi.exe" >/dev/null 2>&1 & pids+=($!)
for _ in $(seq 60); do xdotool search --name '^Named Pipe TCP Proxy$' >/dev/null 2>&1 && break; sleep 0.5; done
sleep 2
(printf 'uname -a\r\n'; sleep 60) | socat - TCP:127.0.0.1:2323 >/dev/null 2>&1 & pids+=($!)
sleep 1
sleep 60 | socat - TCP:127.0.0.1:2323 >/dev/null 2>&1 & pids+=($!)
sleep 60 | socat - TCP:127.0.0.1:2324 >/dev/null 2>&1 & pids+=($!)
sleep 3
desktop=$(xdotool search --name 'Wine desktop' | head -1)
eval "$(xdotool getwindowgeometry --shell "$desktop")"
# A right press on the first row, in its description, so that the menu leaves its cells in
# sight; the window shows at the desktop's top left corner.
xdotool mousemove --window "$desktop" $(scale 520) $(scale 100) click 3
sleep 2
import -window root -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "$out"
echo "wrote $out"
