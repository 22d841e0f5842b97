#!/usr/bin/env bash
# run_benchmarks.sh [CORPUS_DIR [WORK_DIR]]
#
# Times corvane-cli against rsync, cp and zip on the reference corpus
# (/work/shared/bench/make_corpus.sh), in one run on the same data, alternating our
# tool and the peers, and prints a summary table of medians, MB/s, ratios and the peak
# memory of our runs. Not part of the test suite.
#
#   CORPUS_DIR  the corpus (small/ and large/), default build/corpus; built with
#               make_corpus.sh when missing
#   WORK_DIR    scratch space on the same file system, default build/benchwork-backup: the
#               copy source, destinations, archives, the data folder of corvane-cli, logs
#               and the result files
# The peers (rsync, /usr/bin/time, zip, unzip) are installed first when missing.
#
# Environment:
#   CORVANE_CLI   the binary to measure (default: a Release build in build/bench, built or
#                 brought up to date first)
#   MAKE_CORPUS   make_corpus.sh (default /work/shared/bench/make_corpus.sh)
#   REPS          repetitions per case (default 3)
#   LARGE         1 to time the large corpus at level 6 once per tool (default 1)
#
# How it measures (see the notes beside the corpus):
# - The copy cases read a `cp -a` copy of corpus/small made in WORK_DIR/src (same names,
#   bytes and times), so that the 1% case can change files without touching the corpus.
#   The ZIP cases read the corpus itself, so entry names are the same for both tools.
# - The page cache is warmed before the first case; every timed command is preceded by
#   an untimed `sync` so that write-back of the previous run does not land on the next.
# - Old destinations and archives are renamed into WORK_DIR/trash, never deleted during
#   the run: this file system re-creates recently deleted inodes slowly. The trash is
#   emptied at the end and the time of that delete is stamped, so that a following run
#   waits until 65 s have passed before it creates trees again.
# - Within a repetition the tools take turns, and the order rotates per repetition.
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$SCRIPT_DIR/.." && pwd)
# shellcheck source=bench/setup.sh
source "$SCRIPT_DIR/setup.sh"
bench_folders backup "$@"
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
REPS=${REPS:-3}
LARGE=${LARGE:-1}
bench_tools rsync time zip unzip python3
bench_cli

bench_prepare src dst zip data logs results.tsv sizes.tsv summary.md meta.tsv
mkdir -p "$WORK/dst" "$WORK/zip/corv" "$WORK/zip/peer" "$WORK/data" "$WORK/logs"
RESULTS=$WORK/results.tsv   # case, tool, rep, seconds, max RSS KiB, exit status
: > "$RESULTS"
LOG=$WORK/logs/run.log
: > "$LOG"

# shellcheck source=bench/lib.sh
source "$(dirname "$0")/lib.sh"

# --- task list ------------------------------------------------------------------------
# CorvTasks.bin written by hand in the property-store form (doc/formats/task-list.md,
# doc/formats/property-store.md): sections in byte order of their names, keys in byte
# order too. One copy task and four ZIP tasks.
write_tasks() {
  {
    printf '<TasksList><Main TasksCount="5"/>'
    task_section Copy 0 1 1 "$WORK/dst/corv" "$WORK/src/small" small
    task_section Zip1 1 2 2 "$WORK/zip/corv" "$CORPUS/small" small zip1.zip 1
    task_section Zip6 2 3 2 "$WORK/zip/corv" "$CORPUS/small" small zip6.zip 6
    task_section Zip9 3 4 2 "$WORK/zip/corv" "$CORPUS/small" small zip9.zip 9
    task_section ZipLarge6 4 5 2 "$WORK/zip/corv" "$CORPUS/large" large large6.zip 6
    printf '</TasksList>'
  } > "$WORK/data/CorvTasks.bin"
  chmod 600 "$WORK/data/CorvTasks.bin"
}
CORV=("$CLI" --data-dir "$WORK/data" run)   # /usr/bin/time needs a program, not a function

# --- header ---------------------------------------------------------------------------
small_files=$(find "$CORPUS/small" -type f | wc -l)
small_dirs=$(find "$CORPUS/small" -mindepth 1 -type d | wc -l)
small_bytes=$(find "$CORPUS/small" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
large_files=$(find "$CORPUS/large" -type f | wc -l)
large_bytes=$(find "$CORPUS/large" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
commit=$(git -C "$REPO" rev-parse HEAD 2>/dev/null || echo unknown)
dirty=$(git -C "$REPO" status --porcelain 2>/dev/null | wc -l)
{
  echo "date	$(date -Is)"
  echo "host	$(uname -sr), $(nproc) cores"
  echo "commit	$commit"
  echo "dirty	$dirty changed or untracked paths in the working tree"
  echo "binary	$CLI"
  echo "binary_built	$(stat -c %y "$CLI")"
  echo "load_start	$(uptime)"
  echo "small	$small_files files, $small_dirs folders, $small_bytes bytes"
  echo "large	$large_files files, $large_bytes bytes"
  echo "rsync	$(rsync --version | head -1)"
  echo "cp	$(cp --version | head -1)"
  echo "zip	$(zip -v | sed -n 2p)"
} > "$WORK/meta.tsv"
cat "$WORK/meta.tsv"
git -C "$REPO" status --porcelain > "$WORK/logs/git-status.txt" 2>/dev/null || true

# --- preparation ----------------------------------------------------------------------
write_tasks
wait_after_delete
echo "copying corpus/small to the work folder and warming the page cache"
mkdir -p "$WORK/src"
cp -a "$CORPUS/small" "$WORK/src/small"
tar -cf - -C "$CORPUS" small | cat > /dev/null
tar -cf - -C "$WORK/src" small | cat > /dev/null
find "$CORPUS/small" "$WORK/src/small" -printf '' 2>/dev/null
SRC=$WORK/src/small

# --- 1. first copy into an empty destination ------------------------------------------
echo "copy, first run into an empty destination"
note_load copy-first
copy_ours() { timed copy-first corvane "$1" "${CORV[@]}" Copy; }
copy_rsync() { timed copy-first rsync "$1" rsync -a "$SRC/" "$WORK/dst/rsync/"; }
copy_cp() { timed copy-first cp "$1" cp -a "$SRC" "$WORK/dst/cp"; }
order=(copy_ours copy_rsync copy_cp)
for ((r = 1; r <= REPS; r++)); do
  to_trash "$WORK/dst/corv" "$WORK/dst/rsync" "$WORK/dst/cp"
  for ((k = 0; k < 3; k++)); do
    "${order[(k + r - 1) % 3]}" "$r"
  done
done
# Check once, untimed, that both copies are complete.
copy_ok=yes
diff -r "$SRC" "$WORK/dst/corv/small" > "$WORK/logs/diff-corv.txt" 2>&1 || copy_ok=no
diff -r "$SRC" "$WORK/dst/rsync" > "$WORK/logs/diff-rsync.txt" 2>&1 || copy_ok=no
mt_src=$(cd "$SRC" && find . -type f -printf '%P %T@\n' | LC_ALL=C sort | sha256sum || true)
mt_corv=$(cd "$WORK/dst/corv/small" 2>/dev/null && find . -type f -printf '%P %T@\n' | LC_ALL=C sort | sha256sum || true)
[[ $mt_src == "$mt_corv" ]] || copy_ok="no (modification times differ)"
echo "check	copy content and times equal to the source: $copy_ok" >> "$WORK/meta.tsv"
echo "  copies equal to the source: $copy_ok"

# --- 2. second run, nothing changed ---------------------------------------------------
echo "copy, second run with nothing changed"
note_load copy-nochange
for ((r = 1; r <= REPS; r++)); do
  if (( r % 2 )); then
    timed copy-nochange corvane "$r" "${CORV[@]}" Copy
    timed copy-nochange rsync "$r" rsync -a "$SRC/" "$WORK/dst/rsync/"
  else
    timed copy-nochange rsync "$r" rsync -a "$SRC/" "$WORK/dst/rsync/"
    timed copy-nochange corvane "$r" "${CORV[@]}" Copy
  fi
done

# --- 3. after touching 1% of the files ------------------------------------------------
# Each repetition changes 200 other files of the source (every 100th in name order,
# offset by the repetition): 100 get one byte changed in place (same size, new mtime),
# 100 only a new mtime. Both destinations were equal to the source before, so both
# tools have the same 200 files to copy.
echo "copy, run after touching 1% of the files"
note_load copy-touched
(cd "$SRC" && find . -type f -printf '%P\n' | LC_ALL=C sort) > "$WORK/logs/files.txt"
touch_files() {
  python3 - "$SRC" "$WORK/logs/files.txt" "$1" <<'PY'
import os, sys
src, listing, rep = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = open(listing, encoding="utf-8").read().splitlines()
chosen = names[rep::100][:200]
for i, name in enumerate(chosen):
    p = os.path.join(src, name)
    if i % 2 == 0:
        with open(p, "r+b") as f:
            b = f.read(1)
            f.seek(0)
            f.write(bytes([b[0] ^ 0x20]))
    else:
        t = 1_700_000_000 + rep * 3600 + i
        os.utime(p, (t, t))
print(len(chosen))
PY
}
for ((r = 1; r <= REPS; r++)); do
  n=$(touch_files "$r")
  echo "  changed $n files"
  if (( r % 2 )); then
    timed copy-touched corvane "$r" "${CORV[@]}" Copy
    timed copy-touched rsync "$r" rsync -a "$SRC/" "$WORK/dst/rsync/"
  else
    timed copy-touched rsync "$r" rsync -a "$SRC/" "$WORK/dst/rsync/"
    timed copy-touched corvane "$r" "${CORV[@]}" Copy
  fi
done
touched_ok=yes
diff -r "$SRC" "$WORK/dst/corv/small" > "$WORK/logs/diff-corv-touched.txt" 2>&1 || touched_ok=no
diff -r "$SRC" "$WORK/dst/rsync" > "$WORK/logs/diff-rsync-touched.txt" 2>&1 || touched_ok=no
echo "check	copies equal to the source after the 1% runs: $touched_ok" >> "$WORK/meta.tsv"
echo "  copies equal to the source after the 1% runs: $touched_ok"

# --- 4. ZIP levels 1, 6, 9 on small ---------------------------------------------------
echo "ZIP on small"
note_load zip-small
sizes=$WORK/sizes.tsv   # case, tool, bytes (last archive of each)
: > "$sizes"
zip_ours() {  # LEVEL REP
  to_trash "$WORK/zip/corv/zip$1.zip"
  timed "zip$1" corvane "$2" "${CORV[@]}" "Zip$1"
}
zip_peer() {  # LEVEL REP
  to_trash "$WORK/zip/peer/zip$1.zip"
  timed "zip$1" zip "$2" bash -c 'cd "$1" && exec zip -r -q "-$2" "$3" small' _ \
    "$CORPUS" "$1" "$WORK/zip/peer/zip$1.zip"
}
for level in 1 6 9; do
  for ((r = 1; r <= REPS; r++)); do
    if (( r % 2 )); then
      zip_ours "$level" "$r"; zip_peer "$level" "$r"
    else
      zip_peer "$level" "$r"; zip_ours "$level" "$r"
    fi
  done
  printf 'zip%s\tcorvane\t%s\n' "$level" "$(stat -c %s "$WORK/zip/corv/zip$level.zip" 2>/dev/null || echo 0)" >> "$sizes"
  printf 'zip%s\tzip\t%s\n' "$level" "$(stat -c %s "$WORK/zip/peer/zip$level.zip" 2>/dev/null || echo 0)" >> "$sizes"
done
zip_ok=yes
unzip -t -qq "$WORK/zip/corv/zip6.zip" > "$WORK/logs/unzip-test.txt" 2>&1 || zip_ok=no
entries=$(unzip -Z1 "$WORK/zip/corv/zip6.zip" 2>/dev/null | wc -l || true)
echo "check	unzip -t on our level-6 archive: $zip_ok, $entries entries" >> "$WORK/meta.tsv"
echo "  unzip -t on our level-6 archive: $zip_ok ($entries entries)"

# --- 5. large corpus, level 6, once -----------------------------------------------------
if [[ $LARGE == 1 ]]; then
  echo "ZIP on large, level 6, once each"
  note_load large6
  tar -cf - -C "$CORPUS" large | cat > /dev/null
  timed large6 corvane 1 "${CORV[@]}" ZipLarge6
  timed large6 zip 1 bash -c 'cd "$1" && exec zip -r -q -6 "$2" large' _ \
    "$CORPUS" "$WORK/zip/peer/large6.zip"
  printf 'large6\tcorvane\t%s\n' "$(stat -c %s "$WORK/zip/corv/large6.zip" 2>/dev/null || echo 0)" >> "$sizes"
  printf 'large6\tzip\t%s\n' "$(stat -c %s "$WORK/zip/peer/large6.zip" 2>/dev/null || echo 0)" >> "$sizes"
fi
echo "load_end	$(uptime)" >> "$WORK/meta.tsv"

# --- summary ----------------------------------------------------------------------------
python3 - "$RESULTS" "$sizes" "$small_bytes" "$large_bytes" "$small_files" "$large_files" \
  > "$WORK/summary.md" <<'PY'
import statistics, sys
results, sizes_path = sys.argv[1], sys.argv[2]
small_bytes, large_bytes = int(sys.argv[3]), int(sys.argv[4])
small_files, large_files = int(sys.argv[5]), int(sys.argv[6])
runs = {}
failed = []
for line in open(results):
    case, tool, rep, secs, rss, rc = line.rstrip("\n").split("\t")
    runs.setdefault((case, tool), []).append((float(secs), int(rss or 0)))
    if rc != "0":
        failed.append(f"{case} {tool} rep {rep} exit {rc}")
sizes = {}
for line in open(sizes_path):
    case, tool, size = line.rstrip("\n").split("\t")
    sizes[(case, tool)] = int(size)

def med(case, tool):
    v = runs.get((case, tool))
    return statistics.median(s for s, _ in v) if v else None

def peak(case, tool):
    v = runs.get((case, tool))
    return max(m for _, m in v) if v else None

cases = [
    ("copy-first", "copy, first run, empty destination", small_bytes, small_files, ["rsync", "cp"]),
    ("copy-nochange", "copy, second run, nothing changed", None, small_files, ["rsync"]),
    ("copy-touched", "copy, run after touching 1% (200 files)", None, small_files, ["rsync"]),
    ("zip1", "ZIP level 1, small", small_bytes, small_files, ["zip"]),
    ("zip6", "ZIP level 6, small", small_bytes, small_files, ["zip"]),
    ("zip9", "ZIP level 9, small", small_bytes, small_files, ["zip"]),
    ("large6", "ZIP level 6, large (1 run each)", large_bytes, large_files, ["zip"]),
]
print("| case | tool | runs | median s | MB/s | ours / peer (time) | archive bytes | size / input | ours / peer (size) |")
print("|---|---|---|---|---|---|---|---|---|")
mem_rows = []
for case, label, nbytes, nfiles, peers in cases:
    ours = med(case, "corvane")
    if ours is None:
        continue
    for tool in ["corvane"] + peers:
        m = med(case, tool)
        if m is None:
            continue
        n = len(runs[(case, tool)])
        mbs = f"{nbytes / 1e6 / m:.0f}" if nbytes else ""
        ratio = "" if tool == "corvane" else f"{ours / m:.2f}"
        size = sizes.get((case, tool))
        size_txt = f"{size:,}" if size else ""
        size_in = f"{size / nbytes:.3f}" if size and nbytes else ""
        size_ratio = ""
        if size and tool != "corvane" and sizes.get((case, "corvane")):
            size_ratio = f"{sizes[(case, 'corvane')] / size:.4f}"
        name = label if tool == "corvane" else ""
        print(f"| {name} | {tool} | {n} | {m:.3f} | {mbs} | {ratio} | {size_txt} | {size_in} | {size_ratio} |")
    p = peak(case, "corvane")
    limit = 64 * 1024 + nfiles          # KiB: 64 MiB plus 1 KiB per listed file
    mem_rows.append((label, p, limit))
print()
print("| our run | peak RSS MiB | limit MiB (64 MiB + 1 KiB per file) | within |")
print("|---|---|---|---|")
for label, p, limit in mem_rows:
    print(f"| {label} | {p / 1024:.1f} | {limit / 1024:.1f} | {'yes' if p <= limit else 'NO'} |")
if failed:
    print()
    print("Runs that exited with an error: " + "; ".join(failed))
PY
echo
cat "$WORK/meta.tsv"
echo
cat "$WORK/summary.md"

# --- clean-up -------------------------------------------------------------------------
# The copies, destinations and archives go to the trash too; the results and logs stay.
echo
to_trash "$WORK/src" "$WORK/dst" "$WORK/zip" "$WORK/data"
echo "emptying $TRASH"
rm -rf "$TRASH"
date +%s > "$STAMP"
echo "results: $WORK/results.tsv, $WORK/summary.md, logs in $WORK/logs"
