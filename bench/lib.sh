# Shared by the benchmark scripts: moving old trees to the trash, waiting after bulk
# deletes, noting the load, and timing one command. Expects WORK, TRASH, STAMP, LOG and
# RESULTS to be set by the script that sources it.

trash_n=0
to_trash() {  # moves each existing path into the trash
  local p
  for p in "$@"; do
    if [[ -e $p ]]; then
      trash_n=$((trash_n + 1))
      mv "$p" "$TRASH/$(basename "$p").$trash_n"
    fi
  done
}

wait_after_delete() {  # 65 s after the last bulk delete before creating trees
  if [[ -f $STAMP ]]; then
    local left=$(( $(cat "$STAMP") + 65 - $(date +%s) ))
    if (( left > 0 )); then
      echo "waiting ${left} s after the last bulk delete"
      sleep "$left"
    fi
  fi
}

note_load() {  # the load average at the start of a case, kept with the figures
  printf 'load_%s\t%s\n' "$1" "$(uptime)" >> "$WORK/meta.tsv"
}

# timed CASE TOOL REP COMMAND...: syncs, then runs the command under /usr/bin/time and
# appends the wall time (from date, ns) and the peak RSS to the results.
timed() {
  local case=$1 tool=$2 rep=$3
  shift 3
  sync
  local tf=$WORK/logs/time.$$ t0 t1 rc=0
  echo "=== $case $tool rep $rep: $*" >> "$LOG"
  t0=$(date +%s%N)
  /usr/bin/time -v -o "$tf" "$@" >> "$LOG" 2>&1 || rc=$?
  t1=$(date +%s%N)
  local rss
  rss=$(awk -F': ' '/Maximum resident set size/ {print $2}' "$tf")
  local secs
  secs=$(awk -v a="$t0" -v b="$t1" 'BEGIN {printf "%.3f", (b - a) / 1e9}')
  printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$case" "$tool" "$rep" "$secs" "$rss" "$rc" >> "$RESULTS"
  printf "  %-${CASE_WIDTH:-14}s %-8s rep %s  %7s s  %7s KiB  rc=%s\n" "$case" "$tool" "$rep" "$secs" "$rss" "$rc"
  rm -f "$tf"
}
