#!/usr/bin/env bash
# run_deflate_benchmarks.sh [CORPUS_DIR [WORK_DIR]]
#
# ZIP level 6 of the corpus's small and large trees on several cores: corvane-cli with
# --threads 1 and --threads 2 against `zip -r -q -6` (one core) and, when installed,
# `pigz -p2 -6` over a tar stream of the same tree (parallel deflate on two cores). The
# tools take turns in an order that rotates per repetition; medians of REPS runs.
# Prints medians, ratios to zip, archive sizes, and whether our archives of 1 and 2
# threads are the same bytes. Not part of the test suite.
#
#   CORPUS_DIR  the corpus (small/ and large/), default build/corpus; built with
#               make_corpus.sh when missing
#   WORK_DIR    scratch space, default build/benchwork-deflate
#
# Environment: CORVANE_CLI, MAKE_CORPUS as for run_benchmarks.sh; REPS (default 3, at
# least 3); TREES (default "small large").
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$SCRIPT_DIR/.." && pwd)
# shellcheck source=bench/setup.sh
source "$SCRIPT_DIR/setup.sh"
bench_folders deflate "$@"
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
REPS=${REPS:-3}
TREES=${TREES:-small large}
(( REPS >= 3 )) || { echo "REPS must be 3 or more for a median" >&2; exit 2; }
bench_tools time zip unzip pigz python3
bench_cli

bench_prepare zip data logs results.tsv sizes.tsv summary.md meta.tsv
mkdir -p "$WORK/zip" "$WORK/data" "$WORK/logs"
RESULTS=$WORK/results.tsv
: > "$RESULTS"
LOG=$WORK/logs/run.log
: > "$LOG"
sizes=$WORK/sizes.tsv
: > "$sizes"
# shellcheck source=bench/lib.sh
source "$SCRIPT_DIR/lib.sh"

{
  printf '<TasksList><Main TasksCount="2"/>'
  task_section Zlarge 0 1 2 "$WORK/zip" "$CORPUS/large" large corv-large.zip 6
  task_section Zsmall 1 2 2 "$WORK/zip" "$CORPUS/small" small corv-small.zip 6
  printf '</TasksList>'
} > "$WORK/data/CorvTasks.bin"
chmod 600 "$WORK/data/CorvTasks.bin"

{
  echo "date	$(date -Is)"
  echo "host	$(uname -sr), $(nproc) cores"
  echo "commit	$(git -C "$REPO" rev-parse HEAD 2>/dev/null || echo unknown)"
  echo "binary	$CLI"
  echo "zip	$(zip -v | sed -n 2p)"
  if command -v pigz > /dev/null; then echo "pigz	$(pigz --version 2>&1)"; fi
} > "$WORK/meta.tsv"

ours() {  # TREE THREADS REP
  to_trash "$WORK/zip/corv-$1.zip"
  timed "$1" "corvane-t$2" "$3" "$CLI" --threads "$2" --data-dir "$WORK/data" run "Z$1"
  cp "$WORK/zip/corv-$1.zip" "$WORK/zip/corv-$1-t$2.zip"
}
peer_zip() {  # TREE REP
  to_trash "$WORK/zip/zip-$1.zip"
  timed "$1" zip "$2" bash -c 'cd "$1" && exec zip -r -q -6 "$3" "$2"' _ \
    "$CORPUS" "$1" "$WORK/zip/zip-$1.zip"
}
peer_pigz() {  # TREE REP
  to_trash "$WORK/zip/pigz-$1.tar.gz"
  timed "$1" pigz-p2 "$2" bash -c 'tar -cf - -C "$1" "$2" | pigz -p2 -6 > "$3"' _ \
    "$CORPUS" "$1" "$WORK/zip/pigz-$1.tar.gz"
}
tools=("ours TREE 1" "ours TREE 2" "peer_zip TREE")
if command -v pigz > /dev/null; then tools+=("peer_pigz TREE"); fi

for tree in $TREES; do
  echo "ZIP level 6 of $tree"
  note_load "$tree"
  tar -cf - -C "$CORPUS" "$tree" | cat > /dev/null   # warm the page cache
  for ((r = 1; r <= REPS; r++)); do
    for ((k = 0; k < ${#tools[@]}; k++)); do
      read -ra call <<< "${tools[(k + r - 1) % ${#tools[@]}]//TREE/$tree}"
      "${call[@]}" "$r"
    done
  done
  for f in "corvane-t1:corv-$tree-t1.zip" "corvane-t2:corv-$tree-t2.zip" \
           "zip:zip-$tree.zip" "pigz-p2:pigz-$tree.tar.gz"; do
    if [[ -f $WORK/zip/${f#*:} ]]; then
      printf '%s\t%s\t%s\n' "$tree" "${f%%:*}" "$(stat -c %s "$WORK/zip/${f#*:}")" >> "$sizes"
    fi
  done
  same=no
  cmp -s "$WORK/zip/corv-$tree-t1.zip" "$WORK/zip/corv-$tree-t2.zip" && same=yes
  tested=no
  unzip -tqq "$WORK/zip/corv-$tree-t2.zip" > "$WORK/logs/unzip-$tree.txt" 2>&1 && tested=yes
  echo "check	$tree: 1 and 2 threads the same bytes: $same; unzip -t: $tested" >> "$WORK/meta.tsv"
done
echo "load_end	$(uptime)" >> "$WORK/meta.tsv"

python3 - "$RESULTS" "$sizes" > "$WORK/summary.md" <<'PY'
import statistics, sys
runs, sizes = {}, {}
for line in open(sys.argv[1]):
    case, tool, rep, secs, rss, rc = line.rstrip("\n").split("\t")
    runs.setdefault(case, {}).setdefault(tool, []).append((float(secs), int(rss or 0), rc))
for line in open(sys.argv[2]):
    case, tool, size = line.rstrip("\n").split("\t")
    sizes[(case, tool)] = int(size)
print("| tree | tool | runs | median s | / zip -6 (time) | / corvane-t1 | bytes | / zip -6 (size) | peak RSS MiB | failed runs |")
print("|---|---|---|---|---|---|---|---|---|---|")
for case, tools in runs.items():
    med = {t: statistics.median(s for s, _, _ in v) for t, v in tools.items()}
    for tool, v in tools.items():
        m = med[tool]
        zip_ratio = f"{m / med['zip']:.2f}" if "zip" in med and tool != "zip" else ""
        t1_ratio = f"{m / med['corvane-t1']:.2f}" if "corvane-t1" in med and tool != "corvane-t1" else ""
        size = sizes.get((case, tool))
        zsize = sizes.get((case, "zip"))
        size_ratio = f"{size / zsize:.4f}" if size and zsize and tool != "zip" else ""
        failed = sum(1 for _, _, rc in v if rc != "0")
        print(f"| {case} | {tool} | {len(v)} | {m:.3f} | {zip_ratio} | {t1_ratio} | "
              f"{size or ''} | {size_ratio} | {max(r for _, r, _ in v) / 1024:.1f} | {failed} |")
PY
cat "$WORK/meta.tsv"
echo
cat "$WORK/summary.md"
to_trash "$WORK/zip" "$WORK/data"
rm -rf "$TRASH"
date +%s > "$STAMP"
echo "results: $WORK/results.tsv, $WORK/summary.md, logs in $WORK/logs"
