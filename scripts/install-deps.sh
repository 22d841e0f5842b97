#!/usr/bin/env bash
# Installs the Debian packages Corvane needs to build and test, when any is missing.
#   scripts/install-deps.sh            the packages of the build and the tests
#   scripts/install-deps.sh PKG...     only these (the benchmarks ask for rsync and time)
# Installs nothing when everything is there. When something is missing it uses apt-get
# as root, sudo when there is one, and otherwise names the packages and the command.
set -euo pipefail

if [ $# -gt 0 ]; then
    packages=("$@")
else
    packages=(
        build-essential cmake ninja-build pkg-config git
        qt6-base-dev zlib1g-dev libminizip-dev libcurl4-openssl-dev libssl-dev
        googletest libgtest-dev
        libxml2-utils zip unzip p7zip-full libarchive-tools python3 python3-pyftpdlib curl
        python3-openssl openssh-server openssh-client  # FTPS and SFTP test servers
        openssl util-linux  # the SFTP password test hashes a password and hides /etc/shadow
        qt6-multimedia-dev libqt6svg6 xvfb xauth desktop-file-utils dbus-daemon
        clang  # the fuzz build (CORVANE_FUZZ): libFuzzer comes with it
        man-db  # the manual pages are checked with man --warnings
        appstream dpkg-dev binutils file  # the .deb and its AppStream data are checked
        samba gvfs-backends gvfs-fuse fuse3  # the share test: a real smbd mounted through GVfs
        libdconf-dev dconf-cli dconf-service  # settings keys live in dconf; tests use the dconf tool
        khard python3-vobject  # contacts: real vdir readers and writers in the tests
        python3-dbus python3-gi  # a notification service on a private bus in the tests
        libsecret-1-dev gnome-keyring libsecret-tools libglib2.0-bin  # passwords in the keyring
    )
fi

# The S3 tests install s3rver from the npm registry into ~/.cache. A Node.js that is not
# Debian's (NodeSource's package is also called nodejs and carries its own npm, which
# conflicts with Debian's) serves as well: only ask for Debian's when there is no npm.
if [ $# -eq 0 ] && ! command -v npm >/dev/null; then
    packages+=(nodejs npm)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then
    as_root=()
elif command -v sudo >/dev/null; then
    as_root=(sudo)
else
    echo "Missing Debian packages: ${missing[*]}" >&2
    echo "Install them as root with:" >&2
    echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
    exit 1
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -q
"${as_root[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
