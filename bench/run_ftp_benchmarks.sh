#!/usr/bin/env bash
# run_ftp_benchmarks.sh [CORPUS_DIR [WORK_DIR]]
#
# Times corvane-cli backups of corpus/small to a local FTP server against curl uploads of
# the same files to the same server, in one run, alternating the tools, and prints the
# medians and ratios. Not part of the test suite.
#
#   copy-as-is  corvane: one copy task (folders, 20,000 uploads, the dates file, the task
#               file) | curl: one process uploading every file over one connection
#               (a config file of upload-file/url pairs, --ftp-create-dirs)
#   zip         corvane: one ZIP task, level 6 (archive built locally, then uploaded) |
#               zip -r -q -6 into a local file, then curl -T of that file
#
# CORPUS_DIR defaults to build/corpus, WORK_DIR to build/benchwork-ftp; the peers (curl,
# zip, /usr/bin/time, pyftpdlib) are installed first when missing.
#
# Environment:
#   CORVANE_CLI   the binary to measure (default: a Release build in build/bench, built or
#                 brought up to date first)
#   MAKE_CORPUS   make_corpus.sh (default /work/shared/bench/make_corpus.sh)
#   REPS          repetitions per case (default 3)
#
# The server is Debian's pyftpdlib on 127.0.0.1 (a free port), serving WORK_DIR/ftp; it is
# the bottleneck of both tools alike, so only the ratios mean something. Old uploads are
# renamed into the trash between repetitions (see bench/lib.sh).
set -euo pipefail

SCRIPT_DIR=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
REPO=$(cd "$SCRIPT_DIR/.." && pwd)
# shellcheck source=bench/setup.sh
source "$SCRIPT_DIR/setup.sh"
bench_folders ftp "$@"
MAKE_CORPUS=${MAKE_CORPUS:-/work/shared/bench/make_corpus.sh}
REPS=${REPS:-3}
bench_tools curl zip time python3 python3-pyftpdlib
bench_cli

bench_prepare ftp data logs tmpzip results.tsv summary.md meta.tsv
mkdir -p "$WORK/ftp" "$WORK/data" "$WORK/logs" "$WORK/tmpzip"
RESULTS=$WORK/results.tsv
: > "$RESULTS"
LOG=$WORK/logs/run.log
: > "$LOG"
# shellcheck source=bench/lib.sh
source "$SCRIPT_DIR/lib.sh"

# --- the server -------------------------------------------------------------------------
USER_NAME=bench
PASSWORD=bench-pass
PORT=$(/usr/bin/python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
/usr/bin/python3 -m pyftpdlib -i 127.0.0.1 -p "$PORT" -u "$USER_NAME" -P "$PASSWORD" \
  -d "$WORK/ftp" -w > "$WORK/logs/server.log" 2>&1 &
SERVER_PID=$!
trap 'kill $SERVER_PID 2>/dev/null || true' EXIT
for _ in $(seq 50); do
  if curl -s -u "$USER_NAME:$PASSWORD" "ftp://127.0.0.1:$PORT/" > /dev/null; then break; fi
  sleep 0.1
done

# --- tasks -------------------------------------------------------------------------------
task_section() {  # NAME INDEX OID MODE FOLDER [ARCHIVE]
  local name=$1 index=$2 oid=$3 mode=$4 folder=$5 archive=${6:-}
  printf '<Task%s DstFolderName1="small" FTPPort="%s" SrcDataType1="1" SrcFolder1="%s"' \
    "$index" "$PORT" "$CORPUS/small"
  if [[ $mode == 2 ]]; then
    printf ' archiveCmpVal="6" archiveName="%s"' "$archive"
  fi
  printf ' backupMode="%s" destArea="%s" destBurn="%s" destPath="ftp://127.0.0.1/%s" destType="2" itemsCount="1" taskName="%s" taskOID="%s" taskType="1" useXPBurn="0"/>' \
    "$mode" "$USER_NAME" "$PASSWORD" "$folder" "$name" "$oid"
}
{
  printf '<TasksList><Main TasksCount="2"/>'
  task_section FtpCopy 0 1 1 corv
  task_section FtpZip 1 2 2 corvzip small.zip
  printf '</TasksList>'
} > "$WORK/data/CorvTasks.bin"
chmod 600 "$WORK/data/CorvTasks.bin"
CORV=("$CLI" --data-dir "$WORK/data" run)

# curl's upload list: one upload-file/url pair per file, folders made on the way.
(cd "$CORPUS/small" && find . -type f -printf '%P\n' | LC_ALL=C sort) > "$WORK/logs/files.txt"
/usr/bin/python3 - "$CORPUS/small" "$WORK/logs/files.txt" "$PORT" > "$WORK/logs/curl-upload.cfg" <<'PY'
import sys, urllib.parse
src, listing, port = sys.argv[1], sys.argv[2], sys.argv[3]
for name in open(listing, encoding="utf-8").read().splitlines():
    local = (src + "/" + name).replace("\\", "\\\\").replace('"', '\\"')
    url = "ftp://127.0.0.1:%s/peer/small/%s" % (port, urllib.parse.quote(name))
    print('upload-file = "%s"' % local)
    print('url = "%s"' % url)
PY
CURL=(curl -s -S --ftp-create-dirs -u "$USER_NAME:$PASSWORD" -K "$WORK/logs/curl-upload.cfg")
ZIP_UP=(bash -c 'cd "$1" && zip -r -q -6 "$2" small && curl -s -S --ftp-create-dirs -u "$3" -T "$2" "$4"' _
        "$CORPUS" "$WORK/tmpzip/peer.zip" "$USER_NAME:$PASSWORD"
        "ftp://127.0.0.1:$PORT/peerzip/small.zip" )

{
  echo "date	$(date -Is)"
  echo "host	$(uname -sr), $(nproc) cores"
  echo "commit	$(git -C "$REPO" rev-parse HEAD 2>/dev/null || echo unknown)"
  echo "binary	$CLI"
  echo "server	pyftpdlib $(/usr/bin/python3 -c 'import pyftpdlib; print(pyftpdlib.__ver__)') on 127.0.0.1:$PORT"
  echo "curl	$(curl --version | head -1)"
  echo "small	$(wc -l < "$WORK/logs/files.txt") files"
} > "$WORK/meta.tsv"
cat "$WORK/meta.tsv"
tar -cf - -C "$CORPUS" small | cat > /dev/null
wait_after_delete

# --- copy as is ---------------------------------------------------------------------------
echo "copy as is to FTP"
note_load ftp-copy
for ((r = 1; r <= REPS; r++)); do
  to_trash "$WORK/ftp/corv" "$WORK/ftp/peer"
  if (( r % 2 )); then
    timed ftp-copy corvane "$r" "${CORV[@]}" FtpCopy
    timed ftp-copy curl "$r" "${CURL[@]}"
  else
    timed ftp-copy curl "$r" "${CURL[@]}"
    timed ftp-copy corvane "$r" "${CORV[@]}" FtpCopy
  fi
done
copy_ok=yes
diff -r -x file.dates "$CORPUS/small" "$WORK/ftp/corv/small" > "$WORK/logs/diff-copy.txt" 2>&1 || copy_ok=no
diff -r "$CORPUS/small" "$WORK/ftp/peer/small" > "$WORK/logs/diff-peer.txt" 2>&1 || copy_ok=no
echo "check	uploaded trees equal to the source: $copy_ok" >> "$WORK/meta.tsv"
echo "  uploaded trees equal to the source: $copy_ok"

# --- ZIP ------------------------------------------------------------------------------------
echo "ZIP to FTP"
note_load ftp-zip
for ((r = 1; r <= REPS; r++)); do
  to_trash "$WORK/ftp/corvzip" "$WORK/ftp/peerzip" "$WORK/tmpzip/peer.zip"
  if (( r % 2 )); then
    timed ftp-zip corvane "$r" "${CORV[@]}" FtpZip
    timed ftp-zip zip+curl "$r" "${ZIP_UP[@]}"
  else
    timed ftp-zip zip+curl "$r" "${ZIP_UP[@]}"
    timed ftp-zip corvane "$r" "${CORV[@]}" FtpZip
  fi
done
zip_ok=yes
unzip -t -qq "$WORK/ftp/corvzip/small.zip" > "$WORK/logs/unzip-t.txt" 2>&1 || zip_ok=no
echo "check	uploaded archive passes unzip -t: $zip_ok" >> "$WORK/meta.tsv"
echo "  uploaded archive passes unzip -t: $zip_ok"
echo "size	ours $(stat -c %s "$WORK/ftp/corvzip/small.zip") peer $(stat -c %s "$WORK/ftp/peerzip/small.zip")" >> "$WORK/meta.tsv"

# --- summary ----------------------------------------------------------------------------------
python3 - "$RESULTS" > "$WORK/summary.md" <<'PY'
import statistics, sys
rows = [l.rstrip("\n").split("\t") for l in open(sys.argv[1])]
cases = {}
for case, tool, rep, secs, rss, rc in rows:
    cases.setdefault(case, {}).setdefault(tool, []).append((float(secs), int(rss or 0), rc))
print("| case | tool | runs | median s | peak RSS MiB | failed runs | ratio to peer |")
print("|---|---|---|---|---|---|---|")
for case, tools in cases.items():
    med = {t: statistics.median(s for s, _, _ in v) for t, v in tools.items()}
    peer = [t for t in tools if t != "corvane"][0]
    for tool, v in tools.items():
        ratio = med[tool] / med[peer] if tool == "corvane" else 1.0
        print("| %s | %s | %d | %.3f | %.1f | %d | %.2f |" % (
            case, tool, len(v), med[tool], max(r for _, r, _ in v) / 1024,
            sum(1 for _, _, rc in v if rc != "0"), ratio))
PY
cat "$WORK/summary.md"

to_trash "$WORK/ftp/corv" "$WORK/ftp/peer" "$WORK/ftp/corvzip" "$WORK/ftp/peerzip"
rm -rf "$TRASH"
date +%s > "$STAMP"
