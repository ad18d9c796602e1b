#!/usr/bin/env bash
# Consoles over SSH end to end, with OpenSSH's ssh and PuTTY's plink against tolvi-relay
# (natively, or tolvi-relay.exe under wine): a key opens a console by its port and by its
# pipe's name and carries every byte value both ways; the session is one more client of the
# connector, so a console that is taken says it is busy; a watching key cannot type; a key
# may open only its consoles; an unknown key and passwords are refused; the host key is the
# same after a restart.
#   ssh_consoles_test.sh TOLVI_RELAY TOLVI_PIPESERVER [wine]
set -u
relay=$1 pipeserver=$2 run=${3:-}
work=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
[ -n "$run" ] || export TOLVI_PIPE_DIR=$work
# Under wine the programs take Windows paths; wine's Z: drive is the Unix root.
winpath() { if [ -n "$run" ]; then echo "Z:${1//\//\\}"; else echo "$1"; fi; }

for who in alice bob carol dave; do
    ssh-keygen -q -t ed25519 -N '' -C "$who@test" -f "$work/$who" || fail "ssh-keygen"
done
{
    cat "$work/alice.pub"
    echo "watch $(cat "$work/bob.pub")"
    echo "consoles=\"com9\" $(cat "$work/carol.pub")"
} >"$work/authorized_keys"

$run "$pipeserver" '\\.\pipe\com1' echo >"$work/ps.out" 2>&1 </dev/null &
pids+=($!)
sleep 1

start_relay() {
    for _ in $(seq 20); do
        port=$(( 20000 + RANDOM % 20000 ))
        $run "$relay" '\\.\pipe\com1' $port --description "echo VM" --ssh 0 \
            --ssh-keys "$(winpath "$work/authorized_keys")" >"$work/relay.out" 2>&1 </dev/null &
        relay_pid=$!
        for _ in $(seq 100); do
            grep -q 'SSH: keys from' "$work/relay.out" && break
            kill -0 $relay_pid 2>/dev/null || break
            sleep 0.1
        done
        grep -q 'SSH: keys from' "$work/relay.out" && break
        wait $relay_pid 2>/dev/null
    done
    grep -q 'SSH: keys from' "$work/relay.out" || fail "relay: $(cat "$work/relay.out")"
    pids+=($relay_pid)
    sshport=$(sed -n 's/.*SSH: listening on port \([0-9]*\).*/\1/p' "$work/relay.out")
    fingerprint=$(sed -n 's/.*SSH: host key \(SHA256:[^ ]*\).*/\1/p' "$work/relay.out")
    [ -n "$sshport" ] && [ -n "$fingerprint" ] || fail "no SSH lines: $(cat "$work/relay.out")"
}
start_relay

ssh_as() {  # ssh_as KEY USER, the rest of its input after a moment
    timeout 20 ssh -i "$work/$1" -p "$sshport" -o StrictHostKeyChecking=accept-new \
        -o UserKnownHostsFile="$work/known_hosts" -o BatchMode=yes -o ConnectTimeout=10 \
        "$2@127.0.0.1"
}
banner=$'attaching console,wait ...connected!\r\n\r\n\r'  # and the echoed carriage return

# Every byte value both ways, by the console's port: no Telnet, 255 is one byte.
for i in $(seq 0 255); do printf "\\$(printf %03o "$i")"; done >"$work/bytes"
{ cat "$work/bytes"; sleep 2; } | ssh_as alice "$port" >"$work/out" 2>"$work/err"
{ printf '%s' "$banner"; cat "$work/bytes"; } >"$work/want"
cmp -s "$work/out" "$work/want" || fail "bytes by port: $(od -c "$work/out" | head -5) $(cat "$work/err")"

# By the pipe's name, with PuTTY's plink checking the host key it was told.
puttygen "$work/alice" -O private -o "$work/alice.ppk" 2>/dev/null || fail "puttygen"
{ printf 'plink here'; sleep 2; } | timeout 20 plink -ssh -batch -P "$sshport" -hostkey "$fingerprint" \
    -i "$work/alice.ppk" com1@127.0.0.1 >"$work/out" 2>"$work/err"
grep -q 'plink here' "$work/out" || fail "plink by pipe name: $(cat "$work/out" "$work/err")"

# One more client of the connector: while a Telnet client has the console, SSH is told.
exec 3<>/dev/tcp/127.0.0.1/$port || fail "no Telnet connection"
timeout 5 head -c 26 <&3 >/dev/null
ssh_as alice "$port" </dev/null >"$work/out" 2>&1
grep -qF 'is busy: 1 clients connected' "$work/out" || fail "busy: $(cat "$work/out")"
exec 3<&-
sleep 0.5

# A watcher sees the console and cannot type.
{ printf 'typed by bob'; sleep 2; } | ssh_as bob "$port" >"$work/out" 2>&1
grep -q connected "$work/out" && ! grep -q 'typed by bob' "$work/out" || fail "watch: $(cat "$work/out")"

# A key limited to other consoles is not even shown this one.
ssh_as carol "$port" </dev/null >"$work/out" 2>&1
grep -q "No console named $port" "$work/out" && ! grep -q 'com1' "$work/out" ||
    fail "a forbidden console: $(cat "$work/out")"

# An unknown key, and any password, are refused.
ssh_as dave "$port" </dev/null >"$work/out" 2>&1 && fail "an unknown key got in"
grep -q 'Permission denied (publickey)' "$work/out" || fail "unknown key: $(cat "$work/out")"

# The host key survives a restart.
kill "$relay_pid"; wait "$relay_pid" 2>/dev/null
before=$fingerprint
start_relay
[ "$fingerprint" = "$before" ] || fail "host key changed: $before -> $fingerprint"
grep -q 'made now' "$work/relay.out" && fail "host key made again: $(cat "$work/relay.out")"
echo "PASS"
