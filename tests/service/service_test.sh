#!/usr/bin/env bash
# The tolvi service under wine's Service Control Manager, in a prefix made fresh for it:
# install, a connector added (one whose watch port clashes refused), start, a Telnet session
# through it, its status, a second connector added while the first keeps its client, its
# options listed and its log under ProgramData, a connector in Error with its reason, many
# readers of the status at once, a stop within the announced time, a status pipe that another
# program serves while the service is stopped, and an uninstall that keeps the machine's
# connectors.
#   service_test.sh TOLVI_RELAY_EXE TOLVI_PIPESERVER_EXE PREFIX
set -u
relay=$1 pipeserver=$2 prefix=$3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
fail() {
    echo "FAIL: $*"
    wine "$relay" service uninstall >/dev/null 2>&1 </dev/null
    wineserver -k 2>/dev/null
    exit 1
}
wineserver -k 2>/dev/null
rm -rf "$prefix"
# wine's background processes keep whatever output they inherit open: give them none of ours.
wineboot -i >/dev/null 2>&1 </dev/null
wineserver -w  # the first session's services.exe is gone before the first request
out=$prefix.out
svc() { wine "$relay" service "$@" >"$out" 2>&1 </dev/null; }

free_port() {
    while :; do
        local p=$(( 20000 + RANDOM % 20000 ))
        (exec 9<>/dev/tcp/127.0.0.1/$p) 2>/dev/null || { echo $p; return; }
    done
}
port_a=$(free_port) port_b=$(free_port) port_c=$(free_port) port_s=$(free_port)
[ "$port_a" != "$port_b" ] || port_b=$(( port_a + 1 ))
[ "$port_c" != "$port_a" ] && [ "$port_c" != "$port_b" ] || port_c=$(( port_b + 1 ))

# The pipe servers are the ordinary programs that keep wine's services alive.
wine "$pipeserver" '\\.\pipe\tolvi-svc-a' echo >/dev/null 2>&1 </dev/null &
wine "$pipeserver" '\\.\pipe\tolvi-svc-b' echo >/dev/null 2>&1 </dev/null &
sleep 2

svc install || fail "install: $(cat "$out")"
svc add '\\.\pipe\tolvi-svc-a' "$port_a" --description "first" || fail "add: $(cat "$out")"
svc add '\\.\pipe\tolvi-svc-c' "$port_c" --watch-port "$port_a" && fail "a watch port on another's port was added"
grep -q "Port $port_a is in use for pipe" "$out" || fail "watch port refusal: $(cat "$out")"
svc start || fail "start: $(cat "$out")"

exec 3<>/dev/tcp/127.0.0.1/$port_a || fail "no connection to the service's connector"
banner=$(timeout 5 head -c 46 <&3 | tr -d '\377\373\001\003\r\n')
[ "$banner" = "attaching console,wait ...connected!" ] || fail "banner: $banner"
timeout 5 head -c 1 <&3 >/dev/null  # the echo of the opening carriage return
printf 'hello' >&3
echo=$(timeout 5 head -c 5 <&3)
[ "$echo" = "hello" ] || fail "echo through the service: '$echo'"
svc status || fail "status: $(cat "$out")"
grep -q "^$port_a .*Connected *127.0.0.1" "$out" || fail "status does not show the client: $(cat "$out")"
svc status --json || fail "status --json: $(cat "$out")"
python3 -c 'import json, sys
c = [c for c in json.load(open(sys.argv[1])) if c["port"] == int(sys.argv[2])][0]
assert c["status"] == "Connected" and c["clients"][0]["name"] == "127.0.0.1", c' "$out" "$port_a" \
    || fail "status --json does not show the client: $(cat "$out")"

# The consoles over SSH, with a key of the machine's keys file.
rm -f "$prefix.key" "$prefix.key.pub" "$prefix.known"
ssh-keygen -q -t ed25519 -N "" -C admin@test -f "$prefix.key" || fail "ssh-keygen"
cp "$prefix.key.pub" "$prefix/drive_c/ProgramData/tolvi/ssh/authorized_keys" || fail "no ssh folder"
svc ssh "$port_s" || fail "ssh: $(cat "$out")"
for _ in $(seq 50); do
    svc status && grep -q "^SSH on port $port_s, host key SHA256:" "$out" && break
    sleep 0.2
done
grep -q "^SSH on port $port_s, host key SHA256:" "$out" || fail "status has no SSH: $(cat "$out")"
ssh_to() {
    timeout 20 ssh -i "$prefix.key" -p "$port_s" -o BatchMode=yes -o StrictHostKeyChecking=accept-new \
        -o UserKnownHostsFile="$prefix.known" "$1@127.0.0.1" >"$out.ssh" 2>&1
}
# The Telnet client has the console of one client: the SSH client is told.
ssh_to "$port_a" </dev/null
grep -qF 'is busy: 1 clients connected' "$out.ssh" || fail "ssh to a taken console: $(cat "$out.ssh")"

# A change of the machine's connectors is applied without dropping the first one's client.
svc add '\\.\pipe\tolvi-svc-b' "$port_b" --max-clients 2 --log vm-b.log --record || fail "second add: $(cat "$out")"
for _ in $(seq 50); do
    svc status && grep -q "^$port_b " "$out" && break
    sleep 0.2
done
grep -q "^$port_b .*Ready" "$out" || fail "the second connector did not start: $(cat "$out")"
printf 'again' >&3
echo=$(timeout 5 head -c 5 <&3)
[ "$echo" = "again" ] || fail "the first client was dropped by the change: '$echo'"
{ printf 'over ssh'; sleep 2; } | ssh_to "$port_b"
grep -q 'over ssh' "$out.ssh" || fail "ssh to the service's console: $(cat "$out.ssh")"
svc list || fail "list: $(cat "$out")"
grep -q -- "--max-clients 2 --log vm-b.log" "$out" || fail "list does not show the options: $(cat "$out")"
# The log keeps its pipe open: a relative log lives in the folder Windows names ProgramData.
for _ in $(seq 30); do [ -e "$prefix/drive_c/ProgramData/tolvi/vm-b.log" ] && break; sleep 0.2; done
[ -e "$prefix/drive_c/ProgramData/tolvi/vm-b.log" ] || fail "no log under ProgramData: $(ls -R "$prefix/drive_c" | grep -i vm-b)"

# The recorded console: its recording in the service's folder, what the SSH client sent in it,
# and the trail of the sessions beside the keys file. (Wine shows no rights: that the folder is
# the administrators' alone is set by the same calls on Windows.)
cast=$(ls "$prefix/drive_c/ProgramData/tolvi/recordings/$port_b/"*.cast 2>/dev/null | head -1)
[ -n "$cast" ] || fail "no recording under ProgramData: $(ls -R "$prefix/drive_c/ProgramData/tolvi")"
for _ in $(seq 30); do grep -q 'over ssh' "$cast" && break; sleep 0.2; done
head -1 "$cast" | grep -q '"version": 2' || fail "the recording's header: $(head -1 "$cast")"
grep -q '"m", "admin@test 127.0.0.1 joined"' "$cast" || fail "the recording's markers: $(cat "$cast")"
audit="$prefix/drive_c/ProgramData/tolvi/ssh/audit.jsonl"
grep -q '"event":"session end","port":'"$port_b"'.*"name":"admin@test 127.0.0.1","kind":"SSH".*"ended":"left"' "$audit" \
    || fail "the audit trail: $(cat "$audit")"
grep -q '"event":"connector","change":"added","by":"service command","port":'"$port_a" "$audit" \
    || fail "the audit trail has no add by the service command: $(cat "$audit")"

# A connector that cannot listen shows why.
svc add '\\.\pipe\tolvi-svc-c' "$port_c" --listen 192.0.2.1 --allow-non-local || fail "third add: $(cat "$out")"
for _ in $(seq 50); do
    svc status && grep -q "^$port_c .*Error" "$out" && break
    sleep 0.2
done
grep -A1 "^$port_c .*Error" "$out" | grep -q "why: Bind call failed" || fail "no reason for the Error: $(cat "$out")"

# Many readers at once: each gets the whole status.
for n in $(seq 20); do
    wine "$relay" service status >"$out.$n" 2>&1 </dev/null &
done
sleep 1
for n in $(seq 20); do
    for _ in $(seq 100); do grep -q "^$port_a " "$out.$n" 2>/dev/null && break; sleep 0.2; done
    grep -q "^$port_a " "$out.$n" || fail "reader $n of 20: $(cat "$out.$n")"
done

start=$(date +%s%N)
svc stop || fail "stop: $(cat "$out")"
took=$(( ($(date +%s%N) - start) / 1000000 ))
[ $took -lt 7000 ] || fail "stopping took $took ms"
exec 3<&-
# While the service is stopped, any program may make a pipe of its status's name: what it
# says, or its silence, is not taken for the service's status.
wine "$pipeserver" '\\.\pipe\tolvi-service' sink "$prefix.sink" >/dev/null 2>&1 </dev/null &
sleep 1
start=$(date +%s%N)
svc status && fail "a status was read from a stand-in: $(cat "$out")"
took=$(( ($(date +%s%N) - start) / 1000000 ))
grep -q "the tolvi service is not running" "$out" || fail "stand-in status: $(cat "$out")"
[ $took -lt 8000 ] || fail "status waited $took ms for a stand-in"
svc uninstall || fail "uninstall: $(cat "$out")"
wine sc query tolvi >"$out" 2>&1 </dev/null && fail "the service is still there: $(cat "$out")"
wine reg query 'HKLM\SOFTWARE\tolvi\Connectors' /reg:32 >"$out" 2>&1 </dev/null
grep -q PipeName1 "$out" || fail "the machine's connectors were not kept: $(cat "$out")"
wineserver -k 2>/dev/null
echo "PASS (stopped in $took ms)"
