# Shared by the benchmark scripts: moving old trees to the trash, waiting after bulk
# deletes, noting the load, timing one command, and writing the sections of a task
# list. Expects WORK, TRASH, STAMP, LOG and RESULTS to be set by the script that
# sources it.

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

# A task list is written by hand in the property-store form (doc/formats/task-list.md,
# doc/formats/property-store.md): sections in byte order of their names, keys too.
xml_attr() {  # escapes a value for a double-quoted attribute
  local v=$1
  v=${v//&/&amp;}; v=${v//</&lt;}; v=${v//>/&gt;}; v=${v//\"/&quot;}
  printf '%s' "$v"
}
task_section() {  # NAME INDEX OID MODE DEST SRC DSTNAME [ARCHIVE LEVEL]
  local name=$1 index=$2 oid=$3 mode=$4 dest=$5 src=$6 dstname=$7 archive=${8:-} level=${9:-}
  printf '<Task%s DstFolderName1="%s" SrcDataType1="1" SrcFolder1="%s"' \
    "$index" "$(xml_attr "$dstname")" "$(xml_attr "$src")"
  if [[ $mode == 2 ]]; then
    printf ' archiveCmpVal="%s" archiveName="%s"' "$level" "$(xml_attr "$archive")"
  fi
  printf ' backupMode="%s" destPath="%s" destType="1" itemsCount="1" taskName="%s" taskOID="%s" taskType="1" useXPBurn="0"/>' \
    "$mode" "$(xml_attr "$dest")" "$(xml_attr "$name")" "$oid"
}

tree_files() {  # the number of files below a folder
  find "$1" -type f | wc -l
}
tree_bytes() {  # the bytes of the files below a folder
  find "$1" -type f -printf '%s\n' | awk '{s += $1} END {printf "%d\n", s}'
}
free_bytes() {  # the bytes free to this user on the file system of a path
  df --output=avail -B1 "$1" | tail -1 | tr -d ' '
}
