#!/usr/bin/env bash
# Builds Corvane (release) when needed and starts the window, with the given arguments
# (a task name such as /Docs starts that task). `scripts/run.sh cli ARGS` runs
# corvane-cli instead. Without a display, corvane runs a named task like corvane-cli.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh >&2
cmake -S . -B build/release -G Ninja -DCMAKE_BUILD_TYPE=Release -DCORVANE_BUILD_TESTS=OFF >&2
cmake --build build/release >&2
if [[ ${1:-} == cli ]]; then
    shift
    exec build/release/src/cli/corvane-cli "$@"
fi
exec build/release/src/ui/corvane "$@"
