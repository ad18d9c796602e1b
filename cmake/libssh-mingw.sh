#!/usr/bin/env bash
# Builds libssh for the Windows program: Debian's own source package of exactly the version
# the machine's libssh-dev has (or nothing, with a line that says what it found), fetched as
# cmake/debian-source.sh fetches, cross-compiled with mingw-w64 as a static library against
# Debian's libgcrypt and libgpg-error for mingw, and installed into the build tree.
#   libssh-mingw.sh WORK_DIR TOOLCHAIN_FILE [VERSION]
# VERSION, another Debian version than the machine's, is for a builder who chose it knowingly
# (TOLVI_WINDOWS_LIBSSH), for instance while the mirror lacks a security update's source;
# "newest-served" takes the machine's when the mirror serves it, and otherwise the newest the
# mirror serves, saying so (what the README's commands choose on a machine whose mirror lags).
set -euo pipefail
work=$1
toolchain=$(realpath "$2")
chosen=${3:-}
mkdir -p "$work"
work=$(cd "$work" && pwd)

# Exactly the version of the machine's own libssh (its libssh-dev, as dpkg knows it), so that
# the Windows program carries the same security fixes as the native one; never an older one
# because a mirror lacks a file.
machine=$(dpkg-query -W -f='${Version}' libssh-dev 2>/dev/null || true)
if [ -z "$machine" ] && [ -z "$chosen" ]; then
    echo "libssh for Windows: dpkg knows no libssh-dev on this machine, so there is no version" \
         "to build (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
case "$chosen" in
    "") wanted=("$machine") ;;
    newest-served) wanted=($machine listed) ;;
    *) wanted=("$chosen") ;;
esac
if ! bash "$(dirname "$0")/debian-source.sh" "$work" libssh "${wanted[@]}"; then
    echo "libssh for Windows: the machine's libssh-dev is ${machine:-missing}. Nothing else is" \
         "taken unasked: TOLVI_WINDOWS_LIBSSH=VERSION in the environment builds another one" \
         "knowingly, and TOLVI_WINDOWS_LIBSSH=newest-served the newest the mirror serves" >&2
    exit 1
fi
version=$(cat "$work/source/version")
[ -z "$chosen" ] || [ "$version" = "$machine" ] ||
    echo "libssh for Windows: building $version, not the machine's $machine, as" \
         "TOLVI_WINDOWS_LIBSSH=$chosen asks" >&2
source_dir=$(ls -d "$work"/source/libssh-*/ | head -n 1)

mingw=/usr/x86_64-w64-mingw32
rm -rf "$work/build" "$work/install"
cmake -S "$source_dir" -B "$work/build" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$toolchain" \
    -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/install" \
    -DBUILD_SHARED_LIBS=OFF -DWITH_SERVER=ON -DWITH_EXAMPLES=OFF -DUNIT_TESTING=OFF \
    -DCLIENT_TESTING=OFF -DSERVER_TESTING=OFF -DWITH_GSSAPI=OFF -DWITH_ZLIB=OFF \
    -DWITH_SFTP=OFF -DWITH_GEX=OFF -DWITH_PCAP=OFF -DWITH_NACL=OFF -DWITH_SYMBOL_VERSIONING=OFF \
    -DWITH_GCRYPT=ON -DGCRYPT_INCLUDE_DIR=$mingw/include \
    -DGCRYPT_LIBRARY=$mingw/lib/libgcrypt.a -DGCRYPT_ERROR_LIBRARY=$mingw/lib/libgpg-error.a \
    >"$work/configure.log" 2>&1 || { cat "$work/configure.log" >&2; exit 1; }
cmake --build "$work/build" >"$work/build.log" 2>&1 || { tail -n 40 "$work/build.log" >&2; exit 1; }
cmake --install "$work/build" >/dev/null
# What the programs name as built in (the About box, tolvi-relay --version).
printf '%s\n' "$version" >"$work/install/debian-version"
