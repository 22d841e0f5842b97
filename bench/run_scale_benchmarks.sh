#!/usr/bin/env bash
# run_scale_benchmarks.sh [CORPUS_DIR [WORK_DIR]]
#
# Does the cost stay linear with the number of files? Times corvane-cli against its
# peers on the corpus's `small` tree and on `big`, SCALE copies of it side by side
# (big/part0..part9: 200,000 files by default): the first copy into an empty folder
# (against `rsync -a`), the rerun with nothing changed (against `rsync -a` onto its own
# complete copy) and ZIP level 6 (against `zip -r -q -6`). Prints medians, ratios to the
# peer, the ratio big/small of each tool and case (goal for ours: at most SCALE + 1
# times) and our peak memory against the allowance of 64 MiB + 1 KiB per file. Not part
# of the test suite.
#
#   CORPUS_DIR  the corpus (its small/ is used), default build/corpus; built with
#               make_corpus.sh when missing
#   WORK_DIR    scratch space, default build/benchwork-scale. WORK_DIR/big is made once
#               and kept between runs while its file count and bytes are complete.
#
# Environment: CORVANE_CLI, MAKE_CORPUS as for run_benchmarks.sh; REPS (default 3, at
# least 3); SCALE (copies of small in big, default 10); THREADS (our deflating threads,
# default the number of cores). A smoke run of a few seconds: a CORPUS_DIR whose small/
# holds a few hundred files (with the corpus's .corpus-complete marker) and SCALE=3.
#
# Disk: big, two copies of it, two archives and the small cases need about 4.5 times
# the bytes of big (about 8 GB with the reference corpus); checked before anything is
# made. When free space runs short between repetitions, the trash is emptied and the
# next tree-creating run waits the 65 s the file system needs after a bulk delete.
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$SCRIPT_DIR/.." && pwd)
# shellcheck source=bench/setup.sh
source "$SCRIPT_DIR/setup.sh"
bench_folders scale "$@"
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
REPS=${REPS:-3}
SCALE=${SCALE:-10}
THREADS=${THREADS:-$(nproc)}
(( REPS >= 3 )) || { echo "REPS must be 3 or more for a median" >&2; exit 2; }
(( SCALE >= 2 )) || { echo "SCALE must be 2 or more" >&2; exit 2; }
bench_tools rsync time zip unzip python3
bench_cli

bench_prepare dst zip data logs results.tsv summary.md meta.tsv
mkdir -p "$WORK/zip" "$WORK/data" "$WORK/logs"
RESULTS=$WORK/results.tsv   # case, tool, rep, seconds, max RSS KiB, exit status
: > "$RESULTS"
LOG=$WORK/logs/run.log
: > "$LOG"
CASE_WIDTH=18
# shellcheck source=bench/lib.sh
source "$SCRIPT_DIR/lib.sh"

SMALL=$CORPUS/small
BIG=$WORK/big
small_files=$(tree_files "$SMALL")
small_bytes=$(tree_bytes "$SMALL")
big_files=$((small_files * SCALE))
big_bytes=$((small_bytes * SCALE))

# --- disk space -------------------------------------------------------------------------
big_ready=no
if [[ -d $BIG ]] && [[ $(tree_files "$BIG") == "$big_files" ]] &&
   [[ $(tree_bytes "$BIG") == "$big_bytes" ]]; then
  big_ready=yes
fi
need=$((big_bytes * 9 / 2))
[[ $big_ready == yes ]] && need=$((need - big_bytes))
avail=$(free_bytes "$WORK")
if (( avail < need )); then
  echo "not enough space in $WORK: $((need / 1000000)) MB needed, $((avail / 1000000)) MB free" >&2
  exit 1
fi

# --- the big tree -------------------------------------------------------------------------
if [[ $big_ready == no ]]; then
  echo "making $BIG: $SCALE copies of small ($big_files files)"
  to_trash "$BIG" "$WORK/big.partial"
  wait_after_delete
  mkdir -p "$WORK/big.partial"
  for ((p = 0; p < SCALE; p++)); do
    cp -a "$SMALL" "$WORK/big.partial/part$p"
  done
  if [[ $(tree_files "$WORK/big.partial") != "$big_files" ]] ||
     [[ $(tree_bytes "$WORK/big.partial") != "$big_bytes" ]]; then
    echo "the copies in $WORK/big.partial are incomplete" >&2
    exit 1
  fi
  mv "$WORK/big.partial" "$BIG"
else
  echo "reusing $BIG ($big_files files, $big_bytes bytes)"
fi

# --- task list --------------------------------------------------------------------------
{
  printf '<TasksList><Main TasksCount="4"/>'
  task_section Copybig 0 1 1 "$WORK/dst/big-corv" "$BIG" big
  task_section Copysmall 1 2 1 "$WORK/dst/small-corv" "$SMALL" small
  task_section Zipbig 2 3 2 "$WORK/zip" "$BIG" big corv-big.zip 6
  task_section Zipsmall 3 4 2 "$WORK/zip" "$SMALL" small corv-small.zip 6
  printf '</TasksList>'
} > "$WORK/data/CorvTasks.bin"
chmod 600 "$WORK/data/CorvTasks.bin"
CORV=("$CLI" --threads "$THREADS" --data-dir "$WORK/data" run)

{
  echo "date	$(date -Is)"
  echo "host	$(uname -sr), $(nproc) cores"
  echo "commit	$(git -C "$REPO" rev-parse HEAD 2>/dev/null || echo unknown)"
  echo "dirty	$(git -C "$REPO" status --porcelain 2>/dev/null | wc -l) changed or untracked paths"
  echo "binary	$CLI (--threads $THREADS)"
  echo "small	$small_files files, $small_bytes bytes"
  echo "big	$SCALE copies of small: $big_files files, $big_bytes bytes"
  echo "rsync	$(rsync --version | head -1)"
  echo "zip	$(zip -v | sed -n 2p)"
} > "$WORK/meta.tsv"
cat "$WORK/meta.tsv"

# Empties the trash when what the next repetition writes might not fit beside it; the
# next tree-creating run then waits after that bulk delete.
make_room() {  # BYTES the next repetition writes
  if (( $(free_bytes "$WORK") < $1 * 3 / 2 )); then
    echo "  emptying the trash for space"
    rm -rf "$TRASH"
    mkdir -p "$TRASH"
    date +%s > "$STAMP"
  fi
}

for tree in small big; do
  if [[ $tree == small ]]; then src=$SMALL bytes=$small_bytes; else src=$BIG bytes=$big_bytes; fi
  tar -cf - -C "$(dirname "$src")" "$tree" | cat > /dev/null   # warm the page cache
  find "$src" -printf '' 2>/dev/null

  # --- first copy into an empty folder ------------------------------------------------
  echo "$tree: copy, first run into an empty folder"
  note_load "copy-first-$tree"
  copy_ours() { timed "$1-$tree" corvane "$2" "${CORV[@]}" "Copy$tree"; }   # CASE REP
  copy_peer() { timed "$1-$tree" rsync "$2" rsync -a "$src/" "$WORK/dst/$tree-rsync/"; }
  for ((r = 1; r <= REPS; r++)); do
    to_trash "$WORK/dst/$tree-corv" "$WORK/dst/$tree-rsync"
    make_room $((bytes * 2))
    wait_after_delete
    if (( r % 2 )); then
      copy_ours copy-first "$r"; copy_peer copy-first "$r"
    else
      copy_peer copy-first "$r"; copy_ours copy-first "$r"
    fi
  done

  # --- rerun, nothing changed --------------------------------------------------------
  echo "$tree: copy, rerun with nothing changed"
  note_load "rerun-$tree"
  for ((r = 1; r <= REPS; r++)); do
    if (( r % 2 )); then
      copy_peer rerun "$r"; copy_ours rerun "$r"
    else
      copy_ours rerun "$r"; copy_peer rerun "$r"
    fi
  done
  # Untimed: the copies equal the source (for big, one part in full and the whole by
  # count and bytes, which keeps the check short).
  part=$tree
  [[ $tree == big ]] && part=big/part0
  copy_ok=yes
  diff -r "$(dirname "$src")/$part" "$WORK/dst/$tree-corv/$part" > "$WORK/logs/diff-$tree-corv.txt" 2>&1 ||
    copy_ok=no
  diff -r "$(dirname "$src")/$part" "$WORK/dst/$tree-rsync/${part#"$tree"}" \
    > "$WORK/logs/diff-$tree-rsync.txt" 2>&1 || copy_ok=no
  for dst in "$WORK/dst/$tree-corv/$tree" "$WORK/dst/$tree-rsync"; do
    if [[ $(tree_files "$dst") != "$(tree_files "$src")" ]] ||
       [[ $(tree_bytes "$dst") != "$bytes" ]]; then
      copy_ok="no (files or bytes of $dst differ)"
    fi
  done
  echo "check	$tree: copies equal to the source: $copy_ok" >> "$WORK/meta.tsv"
  echo "  copies equal to the source: $copy_ok"
  to_trash "$WORK/dst/$tree-corv" "$WORK/dst/$tree-rsync"

  # --- ZIP level 6 -------------------------------------------------------------------
  echo "$tree: ZIP level 6"
  note_load "zip6-$tree"
  # Archives are single files: deleting them does not slow the creation of inodes, and
  # keeping them in the trash would need space for every repetition.
  zip_ours() {
    rm -f "$WORK/zip/corv-$tree.zip"
    timed "zip6-$tree" corvane "$1" "${CORV[@]}" "Zip$tree"
  }
  zip_peer() {
    rm -f "$WORK/zip/zip-$tree.zip"
    timed "zip6-$tree" zip "$1" bash -c 'cd "$1" && exec zip -r -q -6 "$3" "$2"' _ \
      "$(dirname "$src")" "$tree" "$WORK/zip/zip-$tree.zip"
  }
  for ((r = 1; r <= REPS; r++)); do
    if (( r % 2 )); then zip_ours "$r"; zip_peer "$r"; else zip_peer "$r"; zip_ours "$r"; fi
  done
  zip_ok=no
  unzip -tqq "$WORK/zip/corv-$tree.zip" > "$WORK/logs/unzip-$tree.txt" 2>&1 && zip_ok=yes
  entries=$(unzip -Z1 "$WORK/zip/corv-$tree.zip" 2>/dev/null | wc -l || true)
  echo "check	$tree: unzip -t on our archive: $zip_ok, $entries entries" >> "$WORK/meta.tsv"
  echo "  unzip -t on our archive: $zip_ok ($entries entries)"
  rm -f "$WORK/zip/corv-$tree.zip" "$WORK/zip/zip-$tree.zip"
done
echo "load_end	$(uptime)" >> "$WORK/meta.tsv"

# --- summary ------------------------------------------------------------------------------
python3 - "$RESULTS" "$small_files" "$big_files" "$SCALE" > "$WORK/summary.md" <<'PY'
import statistics, sys
results = sys.argv[1]
files = {"small": int(sys.argv[2]), "big": int(sys.argv[3])}
scale = int(sys.argv[4])
runs, failed = {}, []
for line in open(results):
    case, tool, rep, secs, rss, rc = line.rstrip("\n").split("\t")
    name, tree = case.rsplit("-", 1)
    runs.setdefault((name, tool, tree), []).append((float(secs), int(rss or 0)))
    if rc != "0":
        failed.append(f"{case} {tool} rep {rep} exit {rc}")

def med(key):
    return statistics.median(s for s, _ in runs[key])

def peak(key):
    return max(m for _, m in runs[key]) / 1024

cases = [("copy-first", "rsync"), ("rerun", "rsync"), ("zip6", "zip")]
print("| case | tool | tree | runs | median s | peak RSS MiB | ours / peer |")
print("|---|---|---|---|---|---|---|")
for case, peer in cases:
    for tree in ("small", "big"):
        for tool in ("corvane", peer):
            key = (case, tool, tree)
            if key not in runs:
                continue
            ratio = ""
            if tool == peer and (case, "corvane", tree) in runs:
                ratio = f"{med((case, 'corvane', tree)) / med(key):.2f}"
            print(f"| {case} | {tool} | {tree} | {len(runs[key])} | {med(key):.3f} | "
                  f"{peak(key):.1f} | {ratio} |")

goal = scale + 1
print()
print(f"| case | tool | big / small (time) | goal <= {goal}x |")
print("|---|---|---|---|")
for case, peer in cases:
    for tool in ("corvane", peer):
        if (case, tool, "small") in runs and (case, tool, "big") in runs:
            r = med((case, tool, "big")) / med((case, tool, "small"))
            mark = ("met" if r <= goal else "missed") if tool == "corvane" else ""
            print(f"| {case} | {tool} | {r:.2f} | {mark} |")

print()
print("| case | tree | our peak RSS MiB | allowance MiB (64 MiB + 1 KiB per file) | |")
print("|---|---|---|---|---|")
for case, _ in cases:
    for tree in ("small", "big"):
        key = (case, "corvane", tree)
        if key in runs:
            allowance = 64 + files[tree] / 1024
            mark = "met" if peak(key) <= allowance else "missed"
            print(f"| {case} | {tree} | {peak(key):.1f} | {allowance:.1f} | {mark} |")
if failed:
    print()
    print("Runs that exited with an error: " + "; ".join(failed))
PY
echo
cat "$WORK/meta.tsv"
echo
cat "$WORK/summary.md"

# big stays for the next run; everything else made here goes.
to_trash "$WORK/dst" "$WORK/zip" "$WORK/data"
rm -rf "$TRASH"
date +%s > "$STAMP"
echo "results: $WORK/results.tsv, $WORK/summary.md, logs in $WORK/logs"
