#!/usr/bin/env bash
# tolvi-relay end to end: bad arguments exit 2 with one line naming them, --version answers
# alone; a real session
# through a connector reaches the pipe's echo server; a client queued behind it is served
# next and every step of both is printed; SIGINT stops everything with exit 0.
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
echo "PASS"
