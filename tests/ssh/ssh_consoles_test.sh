#!/usr/bin/env bash
# Consoles over SSH end to end, with OpenSSH's ssh and PuTTY's plink against tolvi-relay
# (natively, or tolvi-relay.exe under wine): a key opens a console by its port and by its
# pipe's name and carries every byte value both ways; the session is one more client of the
# connector, so a console that is taken says it is busy; a watching key cannot type; a key
# may open only its consoles; an unknown key and passwords are refused; the host key is the
# same after a restart. On a shared console, a key whose comment holds escapes (ESC[2J, an
# OSC title, CR, C1 both raw and as UTF-8, IAC WILL) reaches the other clients, Telnet and
# SSH, and the status lines as text alone; the connector's client list refuses an SSH client
# from an address it does not name; AES-GCM is offered only where libssh's cryptography is
# libgcrypt (the Windows build).
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

for who in alice bob carol dave eve; do
    ssh-keygen -q -t ed25519 -N '' -C "$who@test" -f "$work/$who" || fail "ssh-keygen"
done
{
    cat "$work/alice.pub"
    echo "watch $(cat "$work/bob.pub")"
    echo "consoles=\"com9\" $(cat "$work/carol.pub")"
    printf 'ssh-ed25519 %s \033[2J\033]0;pwned\007\rroot@console\2331m\302\2332m\377\373x\n' \
        "$(cut -d' ' -f2 "$work/eve.pub")"
} >"$work/authorized_keys"

$run "$pipeserver" '\\.\pipe\com1' echo >"$work/ps.out" 2>&1 </dev/null &
pids+=($!)
$run "$pipeserver" '\\.\pipe\com2' echo >"$work/ps2.out" 2>&1 </dev/null &
pids+=($!)
sleep 1

start_relay() {
    for _ in $(seq 20); do
        port=$(( 20000 + RANDOM % 20000 ))
        port2=$((port + 1))
        : >"$work/relay.out"  # emptied here: the relay's own opening of it may come later
        $run "$relay" '\\.\pipe\com1' $port --description "echo VM" \
            --log "$(winpath "$work/console.log")" \
            '\\.\pipe\com2' $port2 --max-clients 3 --allow-non-local --listen 127.0.0.1 \
            --list-only --clients 127.0.0.9 --ssh 0 \
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

ssh_as() {  # ssh_as KEY USER [OPTION]..., the rest of its input after a moment
    local key=$1 user=$2
    shift 2
    timeout 20 ssh -i "$work/$key" -p "$sshport" -o StrictHostKeyChecking=accept-new \
        -o UserKnownHostsFile="$work/known_hosts" -o BatchMode=yes -o ConnectTimeout=10 \
        "$@" "$user@127.0.0.1"
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
# A keys file that others may write is not used (on Linux; wine shows no such rights).
if [ -z "$run" ]; then
    chmod g+w "$work/authorized_keys"
    ssh_as alice "$port" </dev/null >"$work/out" 2>&1 && fail "a keys file its group may write let alice in"
    grep -q "keys file .* is not used: it can be written by its group: nobody can log in" \
        "$work/relay.out" || fail "the group's keys file was not refused: $(tail -n 3 "$work/relay.out")"
    chmod g-w "$work/authorized_keys"
fi
# The audit trail beside the keys file has the refused login, with the key that was offered.
for _ in $(seq 30); do grep -q '"event":"login refused"' "$work/audit.jsonl" 2>/dev/null && break; sleep 0.1; done
grep -q '"event":"login refused","address":"127.0.0.1","user":"'"$port"'","keyFingerprint":"SHA256:' \
    "$work/audit.jsonl" || fail "the audit trail of a refused login: $(cat "$work/audit.jsonl")"

# A name is text wherever it goes: eve's comment reaches a Telnet client and an SSH client
# of the shared console, and the status lines, with its controls as visible escapes.
exec 4<>/dev/tcp/127.0.0.1/$port2 || fail "no Telnet connection to the shared console"
timeout 12 cat <&4 >"$work/telnet.out" &
{ sleep 6; } | ssh_as alice "$port2" >"$work/alice.out" 2>&1 &
sleep 2
{ sleep 1; } | ssh_as eve "$port2" >/dev/null 2>&1
wait $!
exec 4<&-
python3 - "$work/telnet.out" "$work/alice.out" "$work/relay.out" <<'PY' || fail "a name's escapes reached a terminal: $(od -c "$work/telnet.out" | head -20)"
import sys
for path in sys.argv[1:]:
    data = open(path, "rb").read()
    if path.endswith("relay.out"):
        start = 0
    else:  # from the notices on: the Telnet negotiation before them is the connector's own
        start = data.find(b"*** ")
        joined = data.find(b" 127.0.0.1 joined", data.find(b"pwned", start))
        line = data[data.rfind(b"*** ", start, joined) + 4:joined]
        assert line.startswith(b"\\x1b[2J\\x1b]0;pwned\\x07\\x0droot@console"), (path, line)
        assert all(" " <= c < "\x7f" or c >= "\xa0" for c in line.decode("utf-8")), (path, line)
    rest = data[start:]
    for raw in (b"\x1b", b"\x9b", b"\xc2\x9b", b"\xff", b"\x07", b"\rroot"):
        assert raw not in rest, (path, raw)
PY

# The connector's client list holds for SSH clients too: from an address it does not name,
# the console refuses the session, which ends with a status that says so.
ssh_as alice "$port2" -b 127.0.0.2 </dev/null >"$work/out" 2>&1 && fail "an unlisted address got in"
grep -q 'Host 127.0.0.2 is not authorized to access this service!' "$work/out" ||
    fail "list: $(cat "$work/out")"

# AES-GCM only where libssh's cryptography is libgcrypt, as in the Windows build.
if [ -n "$run" ]; then
    { sleep 1; } | ssh_as alice "$port" -c aes256-gcm@openssh.com >"$work/out" 2>&1
    grep -q connected "$work/out" || fail "AES-GCM under libgcrypt: $(cat "$work/out")"
else
    ssh_as alice "$port" -c aes256-gcm@openssh.com -o LogLevel=INFO </dev/null >"$work/out" 2>&1
    grep -q 'no matching cipher' "$work/out" || fail "AES-GCM over OpenSSL: $(cat "$work/out")"
fi

# libssh's advisories, kept away where libssh itself may not (the Windows build's libssh is
# built from Debian's source, which may lag): a channel with tiny packets is refused, and what
# a client sends after it ended its input or closed its channel never reaches the console.
hostile=$(dirname "$0")/hostile_client.py
out=$(timeout 20 /usr/bin/python3 "$hostile" "$sshport" "$work/alice" "$port" tiny-packets 2>&1)
[ "$out" = "closed 0" ] || fail "tiny packets: $out"
out=$(timeout 20 /usr/bin/python3 "$hostile" "$sshport" "$work/alice" "$port" data-after-eof 2>&1)
[[ "$out" == *before\' ]] || fail "data after the end: $out"
sleep 0.5
grep -q before "$work/console.log" && ! grep -Eq 'after|late' "$work/console.log" ||
    fail "data after the end reached the console: $(tail -c 300 "$work/console.log")"

# The host key survives a restart.
kill "$relay_pid"; wait "$relay_pid" 2>/dev/null
before=$fingerprint
start_relay
[ "$fingerprint" = "$before" ] || fail "host key changed: $before -> $fingerprint"
grep -q 'made now' "$work/relay.out" && fail "host key made again: $(cat "$work/relay.out")"
echo "PASS"
