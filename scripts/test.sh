#!/usr/bin/env bash
# Builds everything and runs every test: natively (plain, AddressSanitizer with UBSan,
# ThreadSanitizer), a bounded fuzz run, and the Windows build, its zip and installer, under
# wine.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
export WINEDEBUG=-all
for preset in native asan tsan fuzz windows; do
    echo "=== $preset"
    cmake --preset "$preset" >/dev/null
    if [ "$preset" = windows ]; then
        # Everything, and the release's zip and installer, as a clean clone must make them.
        cmake --build --preset "$preset" --target package
        scripts/with-display.sh ctest --preset "$preset"
    else
        cmake --build --preset "$preset"
        ctest --preset "$preset"
    fi
done
echo "=== every test passed"
