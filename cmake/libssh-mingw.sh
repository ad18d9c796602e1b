#!/usr/bin/env bash
# Builds libssh for the Windows program: Debian's own source package of exactly the version
# the machine's libssh-dev has (or nothing, with a line that says what it found), fetched by apt-get
# through a source list of this build's own (the machine's apt configuration and state are
# left as they were), cross-compiled with mingw-w64 as a static library against Debian's
# libgcrypt and libgpg-error for mingw, and installed into the build tree.
#   libssh-mingw.sh WORK_DIR TOOLCHAIN_FILE [VERSION]
# VERSION, another Debian version than the machine's, is for a builder who chose it knowingly
# (TOLVI_WINDOWS_LIBSSH), for instance while the mirror lacks a security update's source;
# "newest-served" takes the machine's when the mirror serves it, and otherwise the newest the
# mirror serves, saying so (what the README's commands choose on a machine whose mirror lags).
set -euo pipefail
work=$1
toolchain=$(realpath "$2")
chosen=${3:-}
mkdir -p "$work/apt/lists/partial" "$work/apt/cache/archives/partial" "$work/source"
work=$(cd "$work" && pwd)

keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$work/apt/sources.list" <<EOF
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm main
deb-src [signed-by=$keyring] http://deb.debian.org/debian bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
EOF
# Every place apt reads or writes is the build's own: its list, its lists, its caches. The
# download runs as whoever runs the build, since apt's own user may not write here.
apt=(-o "Dir::Etc::SourceList=$work/apt/sources.list" -o Dir::Etc::SourceParts=/nonexistent
     -o "Dir::State::Lists=$work/apt/lists" -o "Dir::Cache=$work/apt/cache"
     -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache= -o "APT::Sandbox::User=$(id -un)")
apt-get "${apt[@]}" -qq update

# Exactly the version of the machine's own libssh (its libssh-dev, as dpkg knows it), so that
# the Windows program carries the same security fixes as the native one; never an older one
# because a mirror lacks a file.
machine=$(dpkg-query -W -f='${Version}' libssh-dev 2>/dev/null || true)
version=${chosen:-$machine}
listed() { apt-cache "${apt[@]}" showsrc libssh 2>/dev/null | sed -n 's/^Version: //p' | sort -rV -u; }
if [ -z "$version" ]; then
    echo "libssh for Windows: dpkg knows no libssh-dev on this machine, so there is no version" \
         "to build (scripts/install-deps.sh installs it)" >&2
    exit 1
fi
cd "$work/source"
rm -rf libssh-*/ libssh_*
if [ "$version" = newest-served ]; then
    version=""
    for candidate in $machine $(listed); do
        if apt-get "${apt[@]}" -qq source "libssh=$candidate" >fetch.log 2>&1; then
            version=$candidate
            break
        fi
        rm -rf libssh-*/ libssh_*
    done
    if [ -z "$version" ]; then
        echo "libssh for Windows: the mirror serves no source of libssh (the lists name:" \
             "$(listed | tr '\n' ' '))" >&2
        exit 1
    fi
    [ "$version" = "$machine" ] ||
        echo "libssh for Windows: the mirror does not serve the source of the machine's" \
             "$machine; building $version, the newest it serves, as TOLVI_WINDOWS_LIBSSH=newest-served asks" >&2
elif ! apt-get "${apt[@]}" -qq source "libssh=$version" >fetch.log 2>&1; then
    listed=$(listed | tr '\n' ' ')
    echo "libssh for Windows: the machine's libssh-dev is ${machine:-missing}, but the source of" \
         "$version could not be fetched (the source lists name: ${listed:-none}; apt-get said:" \
         "$(grep -m 1 '^E: ' fetch.log || tail -n 1 fetch.log)). Nothing older is taken unasked:" \
         "TOLVI_WINDOWS_LIBSSH=VERSION in the environment builds another one knowingly" >&2
    exit 1
fi
source_dir=$(ls -d "$work"/source/libssh-*/ | head -n 1)
echo "libssh source: $(basename "$source_dir") (Debian $version)"

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
