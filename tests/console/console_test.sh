#!/usr/bin/env bash
# tolvi-relay console in a real terminal, a tmux pane: it opens a connector's console, what is
# typed reaches it and its answer shows, Ctrl+] w shows who is on, Ctrl+] and another key says
# what the keys are, Ctrl+] q leaves with the terminal's settings as they were, and a console
# that goes away ends it with exit 0. Piped input of any size arrives whole, and the session
# ends once the console has been quiet after it, never while it still answers; a raw console
# is not asked who is on. An address nothing serves exits 1, a console nothing names or two
# consoles exit 2. With "wine" after the programs, the Windows programs run under wine and the
# console is found by its pipe's name among the user's stored connectors.
#   console_test.sh TOLVI_RELAY TOLVI_PIPESERVER [wine]
set -u
relay=$1 pipeserver=$2 wine=${3:-}
work=$(mktemp -d)
export TOLVI_PIPE_DIR=$work
tm() { tmux -S "$work/tmux" "$@"; }
screen() { tm capture-pane -p -J -t t 2>/dev/null; }
cleanup() {
    tm kill-server 2>/dev/null
    kill $(jobs -p) 2>/dev/null
    [ -z "$wine" ] || wineserver -k 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; screen | grep -v '^$' | sed 's/^/  | /'; exit 1; }
# Waits up to 20 s for a line of the pane that holds the text (or, with -x, is the text).
shows() {
    local how=-F
    [ "$1" = -x ] && how=-xF && shift
    for _ in $(seq 200); do screen | grep -q $how -- "$1" && return 0; sleep 0.1; done
    return 1
}
free_port() {
    while :; do
        local p=$(( 20000 + RANDOM % 20000 ))
        (exec 9<>/dev/tcp/127.0.0.1/$p) 2>/dev/null || { echo $p; return; }
    done
}
# wine's background processes keep whatever output they inherit open: give them files.
run() { $wine "$@" </dev/null; }

if [ -n "$wine" ] && [ ! -f "$WINEPREFIX/system.reg" ]; then
    wineboot -i >/dev/null 2>&1 </dev/null
    wineserver -w
fi
pipe='\\.\pipe\tolvi-console-test'
port=$(free_port) closed=$(free_port)
what=$port
if [ -n "$wine" ]; then
    key='HKCR\Interface\{C6816504-FA48-4d67-B74A-FA386CA5ECC1}'
    for value in "PipeName0 $pipe" "Port0 $port" "PipeNum 1"; do
        wine reg add "$key" /v "${value%% *}" /d "${value#* }" /f /reg:32 >"$work/reg" 2>&1 \
            </dev/null || fail "reg add: $(cat "$work/reg")"
    done
    what=tolvi-console-test
fi

run "$relay" console 2323 2324 >"$work/out" 2>&1; code=$?
[ $code -eq 2 ] && grep -qF "one PORT, PIPE or HOST:PORT, not '2324' as well" "$work/out" ||
    fail "two consoles: exit $code, $(cat "$work/out")"
run "$relay" console "127.0.0.1:$closed" >"$work/out" 2>&1; code=$?
[ $code -eq 1 ] && grep -q "cannot connect to 127.0.0.1:$closed" "$work/out" ||
    fail "an address nothing serves: exit $code, $(cat "$work/out")"
if [ -n "$wine" ]; then
    run "$relay" console "$closed" >"$work/out" 2>&1; code=$?
    [ $code -eq 2 ] && grep -q "the port $closed" "$work/out" && grep -qF "$port  $pipe" "$work/out" ||
        fail "a port no connector has: exit $code, $(cat "$work/out")"
else
    run "$relay" console "$pipe" >"$work/out" 2>&1; code=$?
    [ $code -eq 2 ] || fail "a pipe name without a store: exit $code, $(cat "$work/out")"
fi

$wine "$pipeserver" "$pipe" console </dev/null >"$work/ps.log" 2>&1 &
[ -z "$wine" ] || sleep 2
$wine "$relay" "$pipe" "$port" </dev/null >"$work/relay.log" 2>&1 &
relay_pid=$!
for _ in $(seq 100); do grep -q listening "$work/relay.log" && break; sleep 0.1; done
grep -q listening "$work/relay.log" || fail "the relay did not listen: $(cat "$work/relay.log")"

tm new-session -d -s t -x 200 -y 50 "env PS1='$ ' bash --norc --noprofile" || fail "no tmux"
console="$wine '$relay' console $what; echo exit=\$?; stty -a >'$work/after'"
tm send-keys -t t "stty -a >'$work/before'; $console" Enter
shows 'demo>' || fail "the console did not show"
shows "Connected to " || fail "no greeting"
tm send-keys -t t -l 'echo hi there'
tm send-keys -t t Enter
shows -x 'hi there' || fail "the typed command was not answered"
tm send-keys -t t C-] w
shows "*** on $pipe:" || fail "w did not show who is on"
shows "Telnet, typing since" || fail "who is on does not name this client"
tm send-keys -t t C-] x
for _ in $(seq 100); do [ "$(screen | grep -c 'Ctrl+] then: q leaves')" -ge 2 ] && break; sleep 0.1; done
[ "$(screen | grep -c 'Ctrl+] then: q leaves')" -ge 2 ] || fail "Ctrl+] x did not say what the keys are"
tm send-keys -t t C-] q
shows "Left the console." || fail "Ctrl+] q did not leave"
shows -x "exit=0" || fail "leaving did not exit 0"
for _ in $(seq 50); do [ -s "$work/after" ] && break; sleep 0.1; done
diff "$work/before" "$work/after" >/dev/null || fail "the terminal was not restored: $(diff "$work/before" "$work/after")"
grep -q ' icanon ' "$work/after" && grep -q ' echo ' "$work/after" || fail "no echo or icanon"

# A script's input: a paste far larger than a socket takes at once reaches a raw console whole,
# and the session ends by itself once the console is quiet after it.
sink='\\.\pipe\tolvi-console-sink' raw_port=$(free_port)
$wine "$pipeserver" "$sink" sink "$work/sink" </dev/null >"$work/sink.log" 2>&1 &
[ -z "$wine" ] || sleep 2
$wine "$relay" "$sink" "$raw_port" --raw </dev/null >"$work/raw.log" 2>&1 &
for _ in $(seq 100); do grep -q listening "$work/raw.log" && break; sleep 0.1; done
head -c 3000000 /dev/urandom >"$work/paste"
$wine "$relay" console --raw "127.0.0.1:$raw_port" <"$work/paste" >"$work/out" 2>&1; code=$?
[ $code -eq 0 ] || fail "a piped paste: exit $code, $(cat "$work/out")"
for _ in $(seq 100); do [ "$(stat -c %s "$work/sink" 2>/dev/null)" = 3000000 ] && break; sleep 0.1; done
cmp -s "$work/paste" "$work/sink" || fail "the paste arrived as $(stat -c %s "$work/sink") bytes"
# A raw console cannot be asked who is on: nothing is sent into it for the asking.
tm send-keys -t t "$wine '$relay' console --raw 127.0.0.1:$raw_port" Enter
shows "Connected to " || fail "no greeting from the raw console"
tm send-keys -t t C-] w
shows "A raw console cannot be asked who is on" || fail "w on a raw console: $(screen)"
tm send-keys -t t C-] q
shows "Left the console." || fail "Ctrl+] q did not leave the raw console"
cmp -s "$work/paste" "$work/sink" || fail "w sent something into the raw console"
# An answer that takes longer than the quiet time, one line at a time, is read to its end.
printf 'count 4\r' | $wine "$relay" console "127.0.0.1:$port" >"$work/out" 2>&1; code=$?
[ $code -eq 0 ] && grep -q '^4' "$work/out" || fail "a slow answer was cut: exit $code, $(cat "$work/out")"
tm send-keys -t t clear Enter

# The console goes away: the session ends by itself.
tm send-keys -t t clear Enter
for _ in $(seq 100); do screen | grep -q 'demo>' || break; sleep 0.1; done
tm send-keys -t t "$console" Enter
shows 'demo>' || fail "the console did not show again"
kill $relay_pid
shows "Connection closed by the console." || fail "the console's close was not told"
shows -x "exit=0" || fail "the console's close did not exit 0"
echo "PASS"
