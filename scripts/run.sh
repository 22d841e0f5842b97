#!/usr/bin/env bash
# Builds Corvane (release) when needed and runs it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >&2
cmake --build build/release >&2
exec build/release/src/cli/corvane-cli "$@"
