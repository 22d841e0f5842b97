#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build and test, when any is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev zlib1g-dev libminizip-dev libcurl4-openssl-dev
    googletest libgtest-dev
    libxml2-utils zip unzip p7zip-full libarchive-tools python3 python3-pyftpdlib curl
    qt6-multimedia-dev libqt6svg6 xvfb xauth desktop-file-utils dbus-daemon
    clang  # the fuzz build (CORVANE_FUZZ): libFuzzer comes with it
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -q
    apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
