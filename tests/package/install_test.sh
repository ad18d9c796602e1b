#!/usr/bin/env bash
# Runs the installer's test program in a wine prefix made fresh for it, as a user's machine
# that never had tolvi would be.   install_test.sh TEST_PROGRAM PREFIX
set -euo pipefail
program=$1 prefix=$2
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=d;mshtml=d"
wineserver -k 2>/dev/null || true
rm -rf "$prefix"
# wine's background processes keep whatever output they inherit open: give them none of ours.
wineboot -i >/dev/null 2>&1 </dev/null
status=0
wine "$program" >"$prefix.log" 2>&1 </dev/null || status=$?
cat "$prefix.log"
wineserver -k 2>/dev/null || true
exit $status
