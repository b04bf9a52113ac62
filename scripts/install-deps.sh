#!/usr/bin/env bash
# Installs the Debian packages Tovik needs to build and test, skipping those already there.
# Runs apt-get directly as root and through sudo otherwise; never asks questions.
set -euo pipefail

packages=(
    cmake ninja-build g++ make file binutils
    dpkg-dev python3
    googletest libgtest-dev
    clang libclang-rt-14-dev
    libcli11-dev nlohmann-json3-dev
    srecord
    libwxgtk3.2-dev wx-common xvfb xauth
    xdotool openbox x11-utils
    g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix wine64 unzip
)
if [ "$#" -gt 0 ]; then
    packages+=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps: everything is installed"
    exit 0
fi

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null 2>&1; then
    as_root=(sudo)
else
    echo "install-deps: need root or sudo to install: ${missing[*]}" >&2
    exit 1
fi

echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
