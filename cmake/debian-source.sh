#!/usr/bin/env bash
# Fetches one of Debian's source packages for a library the Windows programs are built with,
# through a source list of this build's own (the machine's apt configuration and state are
# left as they were), unpacked with Debian's patches into WORK_DIR/source. Without VERSIONs it
# takes the version Debian's lists name now (the newest of bookworm, its updates and its
# security updates); with them, the first of them the mirror serves, "listed" standing for
# every version the lists name, newest first. It says which version it took and writes it to
# WORK_DIR/source/version. A mirror that lacks the files is an error that names what the lists
# hold: a build never quietly takes another version than it asked for.
#   debian-source.sh WORK_DIR PACKAGE [VERSION...]
set -euo pipefail
work=$1
package=$2
shift 2
wanted=("$@")
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
listed=$(apt-cache "${apt[@]}" showsrc "$package" 2>/dev/null | sed -n 's/^Version: //p' |
         sort -rV -u | tr '\n' ' ')
if [ -z "$listed" ]; then
    echo "Debian's lists name no source package $package" >&2
    exit 1
fi
[ ${#wanted[@]} -gt 0 ] || wanted=("${listed%% *}")
candidates=()
for v in "${wanted[@]}"; do
    if [ "$v" = listed ]; then candidates+=($listed); else candidates+=("$v"); fi
done

cd "$work/source"
version=""
for candidate in "${candidates[@]}"; do
    rm -rf "$package"-*/ "$package"_* version
    if apt-get "${apt[@]}" -qq source "$package=$candidate" >fetch.log 2>&1; then
        version=$candidate
        break
    fi
done
if [ -z "$version" ]; then
    echo "Could not fetch Debian's $package ${wanted[*]}: the mirror does not serve its files" \
         "(the lists name: $listed; apt-get said: $(grep -m 1 '^E: ' fetch.log || tail -n 1 fetch.log))" >&2
    exit 1
fi
echo "$version" >version
echo "$package source: Debian $version"
