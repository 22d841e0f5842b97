# Sourced first by every benchmark script: the folders (by default inside build/), the
# binary to measure and the peers' tools. Expects REPO to be set.

# bench_folders NAME [CORPUS_DIR [WORK_DIR]]: sets CORPUS and WORK.
bench_folders() {
  local name=$1
  shift
  [[ $# -le 2 ]] || { echo "usage: $0 [CORPUS_DIR [WORK_DIR]]" >&2; exit 2; }
  CORPUS=${1:-$REPO/build/corpus}
  WORK=${2:-$REPO/build/benchwork-$name}
}

# bench_tools PACKAGE...: installs the Debian packages of the peers when missing (or
# names them and the command when it cannot).
bench_tools() {
  "$REPO/scripts/install-deps.sh" "$@"
}

# bench_cli: sets CLI to CORVANE_CLI, else to a Release build in build/bench, built or
# brought up to date now (the tests are not built there).
bench_cli() {
  if [[ -n ${CORVANE_CLI:-} ]]; then
    CLI=$CORVANE_CLI
  else
    echo "building corvane-cli (Release) in $REPO/build/bench"
    cmake -S "$REPO" -B "$REPO/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCORVANE_BUILD_TESTS=OFF > /dev/null
    cmake --build "$REPO/build/bench" --target corvane-cli > /dev/null
    CLI=$REPO/build/bench/src/cli/corvane-cli
  fi
  [[ -x $CLI ]] || { echo "corvane-cli not found: $CLI" >&2; exit 1; }
}

# bench_prepare OLD...: builds the corpus when it is missing, makes CORPUS and WORK
# absolute, sets TRASH and STAMP, and moves the named leftovers of an earlier,
# interrupted run from WORK into the trash.
bench_prepare() {
  if [[ ! -f $CORPUS/.corpus-complete ]]; then
    echo "building the corpus in $CORPUS (about 80 s)"
    bash "$MAKE_CORPUS" "$CORPUS"
  fi
  CORPUS=$(cd "$CORPUS" && pwd)
  mkdir -p "$WORK"
  WORK=$(cd "$WORK" && pwd)
  case "$WORK/" in "$CORPUS/"*) echo "WORK_DIR must not lie inside the corpus" >&2; exit 2 ;; esac
  TRASH=$WORK/trash
  STAMP=$WORK/.last-bulk-delete
  mkdir -p "$TRASH"
  local old
  for old in "$@"; do
    if [[ -e $WORK/$old ]]; then mv "$WORK/$old" "$TRASH/$old.old.$$.$RANDOM"; fi
  done
}
