#!/usr/bin/env bash
# Fetches one of Debian's source packages for a library the Windows programs are built with:
# the version Debian's lists name now (the newest of bookworm, its updates and its security
# updates), through a source list of this build's own (the machine's apt configuration and
# state are left as they were), unpacked with Debian's patches into WORK_DIR/source. It says
# which version it took and writes it to WORK_DIR/source/version. A mirror that lacks that
# version's files is an error: a build never quietly takes another version than the lists name.
#   debian-source.sh WORK_DIR PACKAGE
set -euo pipefail
work=$1
package=$2
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
if ! apt-get "${apt[@]}" -qq update >"$work/update.log" 2>&1; then
    cat "$work/update.log" >&2
    echo "Could not read Debian's lists of source packages (see $work/update.log)" >&2
    exit 1
fi
version=$(apt-cache "${apt[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
          sort -V -u | tail -n 1)
if [ -z "$version" ]; then
    echo "Debian's lists name no source package $package" >&2
    exit 1
fi

cd "$work/source"
rm -rf "$package"-*/ "$package"_* version
if ! apt-get "${apt[@]}" -qq source "$package=$version" >fetch.log 2>&1; then
    cat fetch.log >&2
    echo "Could not fetch Debian's $package $version, the version its lists name: the mirror" \
         "does not serve its files (see $work/source/fetch.log)" >&2
    exit 1
fi
echo "$version" >version
echo "$package source: Debian $version"
