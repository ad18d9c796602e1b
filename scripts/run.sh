#!/usr/bin/env bash
# Builds tolvi-relay and starts it with a demo console on a demo connector; Ctrl-C ends both.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset native >/dev/null
cmake --build --preset native --target tolvi-relay tolvi-pipeserver
port=${TOLVI_DEMO_PORT:-2323}
pipe='\\.\pipe\tolvi-demo'
build/native/tools/tolvi-pipeserver "$pipe" console &
server=$!
trap 'kill $server 2>/dev/null || true' EXIT
echo
echo "Try it from another terminal:   telnet 127.0.0.1 $port"
echo
build/native/src/relay/tolvi-relay "$pipe" "$port" --description "Demo console"
