#!/usr/bin/env bash
# run_restore_benchmarks.sh [CORPUS_DIR [WORK_DIR]]
#
# Times `corvane-cli restore` against unzip and rsync on the small reference corpus
# (/work/shared/bench/make_corpus.sh), in one run on the same data, alternating our tool
# and the peer, and prints a summary table of medians, MB/s, ratios and peak memory.
# Not part of the test suite. The backup side is in run_benchmarks.sh.
#
#   CORPUS_DIR  the corpus (small/ is used), default build/corpus; built with
#               make_corpus.sh when missing
#   WORK_DIR    scratch space on the same file system, default build/benchwork-restore:
#               the backups, the restore targets, the data folder of corvane-cli, logs and
#               the result files
# The peers (rsync, unzip, /usr/bin/time) are installed first when missing.
#
# Environment:
#   CORVANE_CLI   the binary to measure (default: a Release build in build/bench, built or
#                 brought up to date first)
#   MAKE_CORPUS   make_corpus.sh (default /work/shared/bench/make_corpus.sh)
#   REPS          repetitions per case (default 3)
#   PASSWORD      1 to time the ZIP restore with a password as well (default 1)
#
# Cases (each restores corpus/small, 20,000 files, into an empty folder); ours runs twice
# per repetition, as corvane-t1 (`--threads 1`: files written on the run thread) and
# corvane-t2 (`--threads 2`: on two workers), each against the same peer:
#   zip6      a level-6 ZIP made once by corvane-cli; ours: `corvane-cli restore` of a
#             restore task (taskType 2) whose folder item points at the empty target;
#             peer: `unzip -q -o ARCHIVE -d TARGET` of the same archive
#   zip6-pw   the same with the password "secret" (peer: unzip -P secret)
#   copy      a copy-as-is backup made once by corvane-cli; ours: `corvane-cli restore`;
#             peer: `rsync -a BACKUP/small/ TARGET/`
#
# How it measures (see the notes beside the corpus):
# - The page cache is warmed before the first case; every timed command is preceded by
#   an untimed `sync`, so the write-back of the previous restore does not land on the next.
# - Every repetition restores into a fresh, empty folder. The previous target is renamed
#   into WORK_DIR/trash, never deleted during the run: this file system re-creates
#   recently deleted inodes slowly. The trash is emptied at the end and the time of that
#   delete is stamped; a following run waits until 65 s have passed before it starts.
# - Within a repetition the three runs take turns; the order flips every repetition.
# - After every timed run its output is checked, untimed: `diff -r` against the corpus.
#   The modification times of the last repetition's files are compared too (a ZIP
#   entry's DOS time has two-second steps, so up to 2 s off counts as equal there).
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$SCRIPT_DIR/.." && pwd)
# shellcheck source=bench/setup.sh
source "$SCRIPT_DIR/setup.sh"
bench_folders restore "$@"
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
REPS=${REPS:-3}
PASSWORD=${PASSWORD:-1}
bench_tools rsync time unzip python3 diffutils
bench_cli

bench_prepare backup restore data logs results.tsv checks.tsv summary.md meta.tsv
SMALL=$CORPUS/small
mkdir -p "$WORK/backup/zip" "$WORK/backup/copy" "$WORK/restore" "$WORK/data" "$WORK/logs"
RESULTS=$WORK/results.tsv   # case, tool, rep, seconds, max RSS KiB, exit status
CHECKS=$WORK/checks.tsv     # case, tool, rep, what, ok|FAIL, detail
: > "$RESULTS"
: > "$CHECKS"
LOG=$WORK/logs/run.log
: > "$LOG"

# shellcheck source=bench/lib.sh
CASE_WIDTH=8
source "$(dirname "$0")/lib.sh"

# check_tree CASE TOOL REP TREE: diff -r of the restored tree against the corpus.
check_tree() {
  local case=$1 tool=$2 rep=$3 tree=$4 out=$WORK/logs/diff-$1-$2-$3.txt ok=ok n
  diff -r "$SMALL" "$tree" > "$out" 2>&1 || ok=FAIL
  n=$(find "$tree" -type f 2>/dev/null | wc -l)
  printf '%s\t%s\t%s\tdiff\t%s\t%s files\n' "$case" "$tool" "$rep" "$ok" "$n" >> "$CHECKS"
  [[ $ok == ok ]] || echo "  CHECK FAILED: $case $tool rep $rep, see $out"
}

# check_times CASE TOOL TREE TOLERANCE_S: modification times of the files against the
# corpus; records how many differ by more than the tolerance.
check_times() {
  local res
  res=$(python3 - "$SMALL" "$3" "$4" <<'PY'
import os, sys
src, dst, tol = sys.argv[1], sys.argv[2], float(sys.argv[3])
n = bad = 0
worst = 0.0
for root, _, files in os.walk(src):
    for f in files:
        a = os.path.join(root, f)
        b = os.path.join(dst, os.path.relpath(a, src))
        n += 1
        try:
            d = abs(os.stat(a).st_mtime - os.stat(b).st_mtime)
        except OSError:
            bad += 1
            continue
        worst = max(worst, d)
        if d > tol:
            bad += 1
print(f"{'ok' if bad == 0 else 'FAIL'}\t{bad} of {n} off by more than {tol:g} s, largest {worst:.2f} s")
PY
)
  printf '%s\t%s\tlast\tmtime\t%s\n' "$1" "$2" "$res" >> "$CHECKS"
}

# --- task list ------------------------------------------------------------------------
# CorvTasks.bin written by hand in the property-store form (doc/formats/task-list.md,
# doc/formats/property-store.md): sections in byte order of their names, keys in byte
# order too. Three backup tasks make the backups; three restore tasks (taskType 2) name
# the same destination and archive, and as their folder item the empty restore target.
xml_attr() {  # escapes a value for a double-quoted attribute
  local v=$1
  v=${v//&/&amp;}; v=${v//</&lt;}; v=${v//>/&gt;}; v=${v//\"/&quot;}
  printf '%s' "$v"
}
task_section() {  # NAME INDEX OID TYPE MODE DEST SRC DSTNAME [ARCHIVE LEVEL PASSWORD]
  local name=$1 index=$2 oid=$3 type=$4 mode=$5 dest=$6 src=$7 dstname=$8
  local archive=${9:-} level=${10:-} password=${11:-}
  printf '<Task%s DstFolderName1="%s" SrcDataType1="1" SrcFolder1="%s"' \
    "$index" "$(xml_attr "$dstname")" "$(xml_attr "$src")"
  if [[ $mode == 2 ]]; then
    if [[ -n $password ]]; then printf ' archBurn="%s"' "$(xml_attr "$password")"; fi
    printf ' archiveCmpVal="%s" archiveName="%s"' "$level" "$(xml_attr "$archive")"
  fi
  printf ' backupMode="%s" destPath="%s" destType="1" itemsCount="1" taskName="%s" taskOID="%s" taskType="%s" useXPBurn="0"/>' \
    "$mode" "$(xml_attr "$dest")" "$(xml_attr "$name")" "$oid" "$type"
}
# Restore targets: one fixed path per case for our tool, renamed away between repetitions.
T_ZIP=$WORK/restore/zip6-corvane
T_ZIPPW=$WORK/restore/zip6-pw-corvane
T_COPY=$WORK/restore/copy-corvane
write_tasks() {
  {
    printf '<TasksList><Main TasksCount="6"/>'
    task_section BackupZip6 0 1 1 2 "$WORK/backup/zip" "$SMALL" small zip6.zip 6
    task_section BackupZip6Pw 1 2 1 2 "$WORK/backup/zip" "$SMALL" small zip6pw.zip 6 secret
    task_section BackupCopy 2 3 1 1 "$WORK/backup/copy" "$SMALL" small
    task_section RestoreZip6 3 4 2 2 "$WORK/backup/zip" "$T_ZIP" small zip6.zip 6
    task_section RestoreZip6Pw 4 5 2 2 "$WORK/backup/zip" "$T_ZIPPW" small zip6pw.zip 6 secret
    task_section RestoreCopy 5 6 2 1 "$WORK/backup/copy" "$T_COPY" small
    printf '</TasksList>'
  } > "$WORK/data/CorvTasks.bin"
  chmod 600 "$WORK/data/CorvTasks.bin"
}
CORV=("$CLI" --data-dir "$WORK/data")   # /usr/bin/time needs a program, not a function

# --- header ---------------------------------------------------------------------------
small_files=$(find "$SMALL" -type f | wc -l)
small_dirs=$(find "$SMALL" -mindepth 1 -type d | wc -l)
small_bytes=$(find "$SMALL" -type f -printf '%s\n' | awk '{s += $1} END {print s}')
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
  echo "rsync	$(rsync --version | head -1)"
  echo "unzip	$(unzip -v | head -1)"
} > "$WORK/meta.tsv"
cat "$WORK/meta.tsv"
git -C "$REPO" status --porcelain > "$WORK/logs/git-status.txt" 2>/dev/null || true

# --- preparation: the backups, made once, untimed --------------------------------------
write_tasks
wait_after_delete
echo "warming the page cache and making the backups"
tar -cf - -C "$CORPUS" small | cat > /dev/null
backups=(BackupZip6 BackupCopy)
if [[ $PASSWORD == 1 ]]; then backups+=(BackupZip6Pw); fi
"${CORV[@]}" run "${backups[@]}" > "$WORK/logs/backup.log" 2>&1 \
  || { echo "the backup run failed, see $WORK/logs/backup.log" >&2; exit 1; }
for b in "$WORK/backup/zip/zip6.zip" "$WORK/backup/copy/small"; do
  [[ -e $b ]] || { echo "backup missing: $b" >&2; exit 1; }
done
backup_ok=yes
unzip -t -qq "$WORK/backup/zip/zip6.zip" > "$WORK/logs/unzip-test.txt" 2>&1 || backup_ok=no
diff -r "$SMALL" "$WORK/backup/copy/small" > "$WORK/logs/diff-backup-copy.txt" 2>&1 || backup_ok=no
entries=$(unzip -Z1 "$WORK/backup/zip/zip6.zip" 2>/dev/null | wc -l || true)
echo "check	backups: unzip -t on zip6.zip and diff -r of the copy: $backup_ok; $entries ZIP entries" >> "$WORK/meta.tsv"
echo "  backups: $backup_ok ($entries ZIP entries)"
{
  printf 'zip6.zip\t%s\n' "$(stat -c %s "$WORK/backup/zip/zip6.zip")"
  if [[ $PASSWORD == 1 ]]; then printf 'zip6pw.zip\t%s\n' "$(stat -c %s "$WORK/backup/zip/zip6pw.zip")"; fi
} >> "$WORK/meta.tsv"
if [[ $PASSWORD == 1 ]]; then
  # The password case only means something when the entries are really encrypted.
  enc=$(python3 -c 'import sys, zipfile
z = zipfile.ZipFile(sys.argv[1]); i = [e for e in z.infolist() if not e.is_dir()]
print(f"{sum(e.flag_bits & 1 for e in i)} of {len(i)} file entries encrypted")' "$WORK/backup/zip/zip6pw.zip")
  echo "check	zip6pw.zip: $enc" >> "$WORK/meta.tsv"
  echo "  zip6pw.zip: $enc"
fi
# Read the backups once so that every repetition starts from a warm cache.
tar -cf - -C "$WORK/backup" . | cat > /dev/null
find "$SMALL" "$WORK/backup" -printf '' 2>/dev/null

# --- restore cases --------------------------------------------------------------------
# run_case CASE OURS_TASK OURS_TARGET PEER_NAME PEER_TREE_SUBDIR PEER_COMMAND...
# PEER_COMMAND may use the literal word TARGET for the peer's empty target folder.
run_case() {
  local case=$1 task=$2 target=$3 peer=$4 sub=$5
  shift 5
  local peer_target=$WORK/restore/$case-$peer
  local -a peer_cmd=()
  local a tool
  for a in "$@"; do peer_cmd+=("${a//TARGET/$peer_target}"); done
  echo "restore: $case"
  note_load "$case"
  for ((r = 1; r <= REPS; r++)); do
    local -a order=(corvane-t1 "$peer" corvane-t2)
    if (( r % 2 == 0 )); then order=(corvane-t2 "$peer" corvane-t1); fi
    for tool in "${order[@]}"; do
      if [[ $tool == "$peer" ]]; then
        to_trash "$peer_target"
        mkdir -p "$peer_target"
        timed "$case" "$peer" "$r" "${peer_cmd[@]}"
        check_tree "$case" "$peer" "$r" "$peer_target$sub"
      else
        # Our target is the task's own folder: checked before the next run moves it away.
        to_trash "$target"
        mkdir -p "$target"
        timed "$case" "$tool" "$r" "${CORV[@]}" --threads "${tool#corvane-t}" restore "$task" --yes
        check_tree "$case" "$tool" "$r" "$target"
        if (( r == REPS )); then check_times "$case" "$tool" "$target" "$TIME_TOLERANCE"; fi
      fi
    done
  done
}

TIME_TOLERANCE=2
run_case zip6 RestoreZip6 "$T_ZIP" unzip /small \
  unzip -q -o "$WORK/backup/zip/zip6.zip" -d TARGET
check_times zip6 unzip "$WORK/restore/zip6-unzip/small" 2
if [[ $PASSWORD == 1 ]]; then
  run_case zip6-pw RestoreZip6Pw "$T_ZIPPW" unzip /small \
    unzip -q -o -P secret "$WORK/backup/zip/zip6pw.zip" -d TARGET
  check_times zip6-pw unzip "$WORK/restore/zip6-pw-unzip/small" 2
fi
TIME_TOLERANCE=0
run_case copy RestoreCopy "$T_COPY" rsync "" \
  rsync -a "$WORK/backup/copy/small/" TARGET/
check_times copy rsync "$WORK/restore/copy-rsync" 0
echo "load_end	$(uptime)" >> "$WORK/meta.tsv"

# --- summary ----------------------------------------------------------------------------
python3 - "$RESULTS" "$CHECKS" "$small_bytes" "$small_files" > "$WORK/summary.md" <<'PY'
import statistics, sys
results, checks_path = sys.argv[1], sys.argv[2]
small_bytes, small_files = int(sys.argv[3]), int(sys.argv[4])
runs, failed = {}, []
for line in open(results):
    case, tool, rep, secs, rss, rc = line.rstrip("\n").split("\t")
    runs.setdefault((case, tool), []).append((float(secs), int(rss or 0)))
    if rc != "0":
        failed.append(f"{case} {tool} rep {rep} exit {rc}")
checks = {}
for line in open(checks_path):
    case, tool, rep, what, ok, detail = line.rstrip("\n").split("\t")
    checks.setdefault((case, tool, what), []).append((ok, detail))

def med(case, tool):
    v = runs.get((case, tool))
    return statistics.median(s for s, _ in v) if v else None

def check_text(case, tool):
    d = checks.get((case, tool, "diff"), [])
    t = checks.get((case, tool, "mtime"), [])
    txt = f"{sum(ok == 'ok' for ok, _ in d)}/{len(d)}"
    if t:
        txt += f"; times {'ok' if t[-1][0] == 'ok' else 'differ'}"
    return txt

cases = [
    ("zip6", "restore ZIP level 6", "unzip"),
    ("zip6-pw", "restore ZIP level 6, password", "unzip"),
    ("copy", "restore copy as is", "rsync"),
]
print("| case | tool | runs | median s | MB/s | ours / peer (time) | peak RSS MiB | diff -r equal |")
print("|---|---|---|---|---|---|---|---|")
mem_rows = []
ours_tools = ["corvane-t1", "corvane-t2"]
for case, label, peer in cases:
    peer_median = med(case, peer)
    for tool in ours_tools + [peer]:
        m = med(case, tool)
        if m is None:
            continue
        v = runs[(case, tool)]
        # Ours against the peer in the same run; every repetition's ratio as well, for
        # goals that hold in each of them.
        ratio = ""
        if tool != peer and peer_median:
            per_rep = [s / p for (s, _), (p, _) in zip(v, runs[(case, peer)])]
            ratio = f"{m / peer_median:.2f} (each: {', '.join(f'{x:.2f}' for x in per_rep)})"
        name = label if tool == ours_tools[0] else ""
        rss = max(x for _, x in v) / 1024
        print(f"| {name} | {tool} | {len(v)} | {m:.3f} | {small_bytes / 1e6 / m:.0f} | {ratio} | {rss:.1f} | {check_text(case, tool)} |")
        if tool != peer:
            mem_rows.append((f"{label} ({tool})", max(x for _, x in v), 64 * 1024 + small_files))
print()
print("| our run | peak RSS MiB | limit MiB (64 MiB + 1 KiB per file) | within |")
print("|---|---|---|---|")
for label, p, limit in mem_rows:
    print(f"| {label} | {p / 1024:.1f} | {limit / 1024:.1f} | {'yes' if p <= limit else 'NO'} |")
print()
print("Checks:")
for (case, tool, what), v in checks.items():
    print(f"- {case} {tool} {what}: " + "; ".join(f"{ok} ({d})" for ok, d in v))
if failed:
    print()
    print("Runs that exited with an error: " + "; ".join(failed))
PY
echo
cat "$WORK/meta.tsv"
echo
cat "$WORK/summary.md"

# --- clean-up -------------------------------------------------------------------------
# The backups, targets and data folder go to the trash too; the results and logs stay.
echo
to_trash "$WORK/backup" "$WORK/restore" "$WORK/data"
echo "emptying $TRASH"
rm -rf "$TRASH"
date +%s > "$STAMP"
echo "results: $WORK/results.tsv, $WORK/checks.tsv, $WORK/summary.md, logs in $WORK/logs"
