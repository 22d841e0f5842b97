#!/usr/bin/env bash
# Makes the Debian package of Corvane from a Release build: configures and builds
# build/release (without the tests), then CPack writes build/package/corvane_VERSION_ARCH.deb.
# The last line printed is the package's path; install it with
#     apt install ./build/package/corvane_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF \
    -DCORVANE_SANITIZE=OFF -DCORVANE_TSAN=OFF
cmake --build build/release -j "${CORVANE_JOBS:-$(nproc)}"
# An older package of another version must not be taken for this one.
rm -f build/package/corvane_*.deb
cpack --config build/release/CPackConfig.cmake -B "$PWD/build/package"
realpath build/package/corvane_*.deb
