#!/usr/bin/env bash
# Texts beyond any code page through tolvi-relay's arguments under wine: a pipe name, a
# description and a log folder in three scripts reach the pipe, the status lines and the
# log file exactly, and the bytes typed reach the pipe and come back unchanged. Alert patterns
# match there as natively: one in any case beyond ASCII, and one for a line that comes after
# lines of a's that a backtracking matcher never finishes with.
#   relay_wide_text.sh TOLVI_RELAY_EXE TOLVI_PIPESERVER_EXE
set -u
relay=$1 pipeserver=$2
export LC_ALL=C.UTF-8  # wine reads the Unix arguments in the locale's character set
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

pipe='\\.\pipe\prüf-1'
description='Prüfstand 控制台 — COM1'
mkdir "$work/Журнал"
log="Z:${work//\//\\}\\Журнал\\console.log"

wine "$pipeserver" "$pipe" echo >"$work/ps.out" 2>&1 </dev/null &
pids+=($!)
for _ in $(seq 50); do grep -q serving "$work/ps.out" && break; sleep 0.1; done
grep -qF "serving $pipe" "$work/ps.out" || fail "pipe server: $(cat "$work/ps.out")"

for _ in $(seq 20); do
    port=$(( 20000 + RANDOM % 20000 ))
    wine "$relay" "$pipe" $port --description "$description" --log "$log" \
        --alert '(?i)GRÜßE' --alert '(a*)*b' --alert '^HELLO$' >"$work/relay.out" 2>&1 </dev/null &
    relay_pid=$!
    for _ in $(seq 100); do
        grep -q listening "$work/relay.out" && break
        kill -0 $relay_pid 2>/dev/null || break
        sleep 0.1
    done
    grep -q listening "$work/relay.out" && break
    wait $relay_pid 2>/dev/null
done
pids+=($relay_pid)
grep -qF "[$port $pipe \"$description\"] listening" "$work/relay.out" ||
    fail "status line: $(cat "$work/relay.out")"

exec 3<>/dev/tcp/127.0.0.1/$port || fail "cannot connect"
banner=$(timeout 5 head -c 46 <&3 | tr -d '\377\373\001\003\r\n')
[ "$banner" = "attaching console,wait ...connected!" ] || fail "banner: $banner"
timeout 5 head -c 1 <&3 >/dev/null  # the echo of the opening carriage return
printf 'grüße' >&3
echo=$(timeout 5 head -c 7 <&3)
[ "$echo" = "grüße" ] || fail "echo through the relay gave '$echo'"
for _ in $(seq 30); do
    grep -q 'grüße' "$work/Журнал/console.log" 2>/dev/null && break
    sleep 0.1
done
[ "$(tr -d '\r' <"$work/Журнал/console.log")" = "grüße" ] ||
    fail "the log holds: $(od -c "$work/Журнал/console.log" 2>&1)"

cat <&3 >/dev/null &  # the echo, read as fast as it comes
pids+=($!)
as=$(printf 'a%.0s' $(seq 4095))
for _ in $(seq 16); do  # 1 MiB of lines of a's
    yes "$as" | head -n 16 >&3
    sleep 0.05
done
printf 'HELLO\n' >&3
for _ in $(seq 100); do
    grep -qF 'alert: ^HELLO$: HELLO' "$work/relay.out" && break
    sleep 0.1
done
grep -qF 'alert: ^HELLO$: HELLO' "$work/relay.out" ||
    fail "no alert for HELLO after the lines of a's: $(tail -n 5 "$work/relay.out")"
grep -qF 'alert: (?i)GRÜßE: grüße' "$work/relay.out" ||
    fail "no alert for grüße in any case: $(grep alert "$work/relay.out")"
grep -qF 'alert: (a*)*b' "$work/relay.out" && fail "(a*)*b matched a line of a's"
echo "PASS"
