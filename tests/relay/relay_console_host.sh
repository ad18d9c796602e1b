#!/usr/bin/env bash
# tolvi-relay end to end: bad arguments exit 2 with one line naming them, --version answers
# alone; a real session through a connector reaches the pipe's echo server; a client queued
# behind it is served next and every step of both is printed; SIGINT stops everything with
# exit 0. Alerts: a pattern that backtracking never finishes with, on a console printing lines
# of a's as fast as it can, neither takes the relay's core nor holds up a later line's alert.
# A console served by another user is refused before its first byte, unless the connector
# trusts any server.
set -u
relay=$1 pipeserver=$2
work=$(mktemp -d)
export TOLVI_PIPE_DIR=$work
trap 'kill $(jobs -p) 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

"$relay" '\\.\pipe\x' 2323 --bogus 2>"$work/err"; code=$?
[ $code -eq 2 ] || fail "unknown flag exits $code, not 2"
grep -q 'unknown option --bogus' "$work/err" || fail "unknown flag message: $(cat "$work/err")"
"$relay" 'com1' 2323 2>"$work/err"; code=$?
[ $code -eq 2 ] && grep -q "malformed pipe name 'com1'" "$work/err" || fail "malformed pipe name: $code $(cat "$work/err")"
"$relay" '\\.\pipe\x' 0 2>"$work/err"; code=$?
[ $code -eq 2 ] && grep -q "bad port '0'" "$work/err" || fail "port 0: $code $(cat "$work/err")"
version=$("$relay" --version); code=$?
# ...and names the libssh built in, by the Debian version it was built from.
named=$'^tolvi-relay [0-9]+\\.[0-9]+\r?\nlibssh [0-9.]+-[^ ]+ \\((OpenSSL|libgcrypt)\\)\r?$'
[ $code -eq 0 ] && [[ "$version" =~ $named ]] || fail "--version: $code '$version'"

"$pipeserver" '\\.\pipe\echo' echo >"$work/ps.log" 2>&1 &
# A port nobody holds: the relay itself says when the one tried is taken, and another is tried.
for _ in $(seq 20); do
    port=$(( 20000 + RANDOM % 20000 ))
    "$relay" '\\.\pipe\echo' $port --description "echo test" >"$work/relay.log" 2>&1 &
    relay_pid=$!
    for _ in $(seq 50); do
        grep -q listening "$work/relay.log" && break
        kill -0 $relay_pid 2>/dev/null || break
        sleep 0.1
    done
    grep -q listening "$work/relay.log" && break
    wait $relay_pid 2>/dev/null
done
grep -q listening "$work/relay.log" || fail "relay did not listen: $(cat "$work/relay.log")"

exec 3<>/dev/tcp/127.0.0.1/$port || fail "cannot connect"
banner=$(timeout 5 head -c 46 <&3 | tr -d '\377\373\001\003\r\n')
[ "$banner" = "attaching console,wait ...connected!" ] || fail "unexpected banner: $banner"
cr=$(timeout 5 head -c 1 <&3 | od -An -c | tr -d ' ')
[ "$cr" = '\r' ] || fail "the pipe's echo of the opening carriage return is '$cr'"
printf 'hello' >&3
echo=$(timeout 5 head -c 5 <&3)
[ "$echo" = "hello" ] || fail "echo through the relay gave '$echo'"
sleep 0.3
grep -q 'pipe attached' "$work/relay.log" || fail "no pipe attached line: $(cat "$work/relay.log")"

# A second client waits in the backlog; when the first leaves it is taken over at once, and
# the printout shows each real step of both turns, once.
exec 4<>/dev/tcp/127.0.0.1/$port || fail "cannot connect the second client"
sleep 0.2
exec 3<&-
banner=$(timeout 5 head -c 46 <&4 | tr -d '\377\373\001\003\r\n')
[ "$banner" = "attaching console,wait ...connected!" ] || fail "second client's banner: $banner"
exec 4<&-
sleep 0.3
steps=$(sed -n 's/^[0-9:.]* \[[^]]*\] //p' "$work/relay.log" | grep -v listening | tr '\n' '|')
turn="client 127.0.0.1 arrived|pipe attached|client 127.0.0.1 left|pipe closed|"
[ "$steps" = "$turn$turn" ] || fail "the steps printed were: $steps"

kill -INT $relay_pid
for _ in $(seq 30); do kill -0 $relay_pid 2>/dev/null || break; sleep 0.1; done
kill -0 $relay_pid 2>/dev/null && fail "relay still runs 3 s after SIGINT"
wait $relay_pid; code=$?
[ $code -eq 0 ] || fail "relay exit code $code after SIGINT"
grep -q 'stopped' "$work/relay.log" || fail "no stopped line"

: >"$work/alerts.log"
for _ in $(seq 20); do
    port=$(( 20000 + RANDOM % 20000 ))
    "$relay" '\\.\pipe\echo' $port --raw --alert '(a*)*b' --alert '^HELLO$' \
        >"$work/alerts.log" 2>&1 &
    relay_pid=$!
    for _ in $(seq 50); do
        grep -q listening "$work/alerts.log" && break
        kill -0 $relay_pid 2>/dev/null || break
        sleep 0.1
    done
    grep -q listening "$work/alerts.log" && break
    wait $relay_pid 2>/dev/null
done
grep -q listening "$work/alerts.log" ||
    fail "relay with alerts did not listen: $(cat "$work/alerts.log")"
exec 5<>/dev/tcp/127.0.0.1/$port || fail "cannot connect to the relay with alerts"
cat <&5 >/dev/null &  # the echo, read as fast as it comes
as=$(printf 'a%.0s' $(seq 4095))
for _ in $(seq 40); do  # 10 MiB of lines of a's, at 5 MB/s at most
    yes "$as" | head -n 64 >&5
    sleep 0.05
done
printf 'HELLO\n' >&5
for _ in $(seq 100); do
    grep -qF 'alert: ^HELLO$: HELLO' "$work/alerts.log" && break
    sleep 0.1
done
grep -qF 'alert: ^HELLO$: HELLO' "$work/alerts.log" ||
    fail "no alert for HELLO after the lines of a's: $(tail -n 5 "$work/alerts.log")"
grep -qF 'alert: (a*)*b' "$work/alerts.log" && fail "(a*)*b matched a line of a's"
ticks() { awk '{ print $14 + $15 }' /proc/$relay_pid/stat; }
hz=$(getconf CLK_TCK)
before=$(ticks)
sleep 2
spent=$(( $(ticks) - before ))
echo "the relay's CPU in the 2 s after the lines of a's: $(( spent * 100 / (2 * hz) ))% of a core"
[ $spent -lt $hz ] ||
    fail "the relay spent $spent of $(( 2 * hz )) ticks in the 2 s after the lines"
exec 5<&-
kill -INT $relay_pid
wait $relay_pid

# Who serves the pipe: a socket that another user made where the console's would be (the
# default folder is /tmp) gets nothing typed into it; with --any-pipe-server it is used.
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
    shared=$work/shared
    mkdir -m 1777 "$shared"
    chmod o+x "$work"
    export TOLVI_PIPE_DIR=$shared
    for name in foreign trusting; do
        setpriv --reuid=nobody --regid=nogroup --clear-groups "$pipeserver" "\\\\.\\pipe\\$name" echo \
            >"$work/$name.log" 2>&1 &
    done
    for _ in $(seq 50); do [ -S "$shared/foreign" ] && [ -S "$shared/trusting" ] && break; sleep 0.1; done
    port2=$(( port + 1 ))
    "$relay" '\\.\pipe\foreign' $port '\\.\pipe\trusting' $port2 --any-pipe-server \
        >"$work/trust.log" 2>&1 &
    trust_pid=$!
    for _ in $(seq 50); do [ "$(grep -c listening "$work/trust.log")" -ge 2 ] && break; sleep 0.1; done
    exec 5<>/dev/tcp/127.0.0.1/$port || fail "cannot connect to the refused console"
    printf 'secret\r' >&5
    got=$(timeout 2 cat <&5 | tr -d '\377\373\001\003\r\n')
    [ "$got" = "attaching console,wait ..." ] || fail "a foreign pipe's client got: $got"
    [ "$(grep -c 'is served by nobody, who is not trusted' "$work/trust.log")" -eq 1 ] ||
        fail "the refusal is not said once: $(cat "$work/trust.log")"
    exec 5<&-
    exec 6<>/dev/tcp/127.0.0.1/$port2 || fail "cannot connect to the trusting console"
    banner=$(timeout 5 head -c 46 <&6 | tr -d '\377\373\001\003\r\n')
    [ "$banner" = "attaching console,wait ...connected!" ] || fail "--any-pipe-server gave: $banner"
    exec 6<&-
    kill -INT $trust_pid
    wait $trust_pid
else
    echo "SKIP: the pipe of another user needs root and setpriv"
fi
echo "PASS"
