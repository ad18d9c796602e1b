#!/usr/bin/env bash
# Builds everything and runs every test: natively (plain, AddressSanitizer with UBSan,
# ThreadSanitizer), a bounded fuzz run, and the Windows build under wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export WINEDEBUG=-all
for preset in native asan tsan fuzz windows; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    cmake --build --preset "$preset"
    if [ "$preset" = windows ]; then
        scripts/with-display.sh ctest --preset "$preset"
    else
        ctest --preset "$preset"
    fi
done
echo "=== every test passed"
