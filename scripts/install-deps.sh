#!/usr/bin/env bash
# Installs, from Debian's packages, whatever of the build and test tools is missing.
set -euo pipefail
packages=(
    cmake ninja-build g++ clang libclang-rt-14-dev libgtest-dev googletest
    g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64
    wine wine64 xvfb fonts-wine socat telnet nsis imagemagick xdotool
    libboost-dev chromium tmux
    libssh-dev libgcrypt-mingw-w64-dev libgpg-error-mingw-w64-dev dpkg-dev
    openssh-client openssh-server putty-tools python3-paramiko nlohmann-json3-dev python3-serial
    # RE2 natively; for Windows its source's Unicode tables are made with these
    libre2-dev unicode-data perl python3 python3-six
)
# Node.js and npm build the web console's page; a machine that has them from elsewhere keeps
# them.
command -v npm >/dev/null || packages+=(nodejs npm)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
