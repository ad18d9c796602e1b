#!/usr/bin/env bash
# Builds RE2 for the Windows programs: Debian's own source package re2 (cmake/debian-source.sh),
# cross-compiled with mingw-w64 as a static library and installed into the build tree.
# Debian's package leaves out three generated tables; they are made here as Debian's own build
# makes them, with the package's scripts, from Debian's Unicode data (unicode-data).
#   re2-mingw.sh WORK_DIR TOOLCHAIN_FILE
set -euo pipefail
work=$1
toolchain=$(realpath "$2")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
work=$(cd "$work" && pwd)

for need in /usr/share/unicode/CaseFolding.txt /usr/share/unicode/UnicodeData.txt \
            /usr/share/unicode/Scripts.txt; do
    if [ ! -f "$need" ]; then
        echo "$need is missing: scripts/install-deps.sh installs unicode-data" >&2
        exit 1
    fi
done
if ! /usr/bin/python3 -c 'import six' 2>/dev/null || ! command -v perl >/dev/null; then
    echo "RE2's table scripts need perl, python3 and python3-six: scripts/install-deps.sh" \
         "installs them" >&2
    exit 1
fi

bash "$here/debian-source.sh" "$work" re2
source_dir=$(ls -d "$work"/source/re2-*/ | head -n 1)

# The tables, as Debian's rules make them (REBUILD_TABLES=1), with Debian's python3, which has
# Debian's six (another python3 first on the PATH may not).
(cd "$source_dir" &&
 perl re2/make_perl_groups.pl >re2/perl_groups.cc &&
 /usr/bin/python3 re2/make_unicode_casefold.py >re2/unicode_casefold.cc &&
 /usr/bin/python3 re2/make_unicode_groups.py >re2/unicode_groups.cc) 2>"$work/tables.log" ||
    { cat "$work/tables.log" >&2; echo "RE2's tables could not be made" >&2; exit 1; }

rm -rf "$work/build" "$work/install"
cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/install" \
    -DBUILD_SHARED_LIBS=OFF -DRE2_BUILD_TESTING=OFF -DBUILD_TESTING=OFF \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" --parallel 2 >"$work/build.log" 2>&1 ||
    { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null
