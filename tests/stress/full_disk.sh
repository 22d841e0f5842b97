#!/usr/bin/env bash
# Full disk: corvane-cli with its destination or its data folder on a small tmpfs that
# runs full, during a copy run, a ZIP run and the saves of the task list.
#
#   tests/stress/full_disk.sh CORVANE_CLI
#
# Each case expects: exit status 1, an error line with the system's reason ("No space
# left on device"), the earlier backup intact, the task list intact and loadable, and
# no half archive under the final name (a case with a broken one of these counts as
# damage). Prints one line per case and the figures;
# exit 1 when a case fails, 77 (skipped) when no tmpfs can be mounted here.
set -uo pipefail

cli=$(realpath "$1")
here=$(cd "$(dirname "$0")" && pwd)

# The mounts live in a private mount namespace of this script, gone when it ends.
if [ -z "${CORVANE_FULL_DISK_NS:-}" ]; then
    if ! unshare -m --propagation private true 2>/dev/null; then
        echo "SKIP: cannot make a private mount namespace (needs root): no tmpfs to fill"
        exit 77
    fi
    CORVANE_FULL_DISK_NS=1 exec unshare -m --propagation private "$0" "$@"
fi

source "$here/stress_common.sh"
work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-full.XXXXXX")
trap 'umount "$work/dest" "$work/data" 2>/dev/null; rm -rf "$work"' EXIT
src=$work/source data=$work/data dest=$work/dest
mkdir -p "$data" "$dest"
if ! mount -t tmpfs -o size=24m tmpfs "$dest" || ! mount -t tmpfs -o size=2m tmpfs "$data"; then
    echo "SKIP: cannot mount a tmpfs here"
    exit 77
fi
export CORVANE_HOME=$data

make_source_tree "$src" 120
write_task_list "$data" "$src" "$dest"
for task in Copy Zip Spare; do
    "$cli" run "$task" >"$work/first.log" 2>&1 || {
        echo "first backup of $task failed:"; cat "$work/first.log"; exit 1; }
done
rm -rf "$data/tmp"

cases=0 failed=0 damage=0

# Fills the file system of the folder, leaving about KB kilobytes free.
fill() {  # folder, KB
    head -c 1G /dev/zero >"$1/filler" 2>/dev/null
    [ "$2" -gt 0 ] && truncate -s "-${2}K" "$1/filler"
    sync
}
unfill() { rm -f "$1/filler"; }

# The copy must still hold the source's content. The archive must be whole, and the
# one of the earlier backup when the destination was full (with room there, a run
# may replace it by a new one).
copy_intact() { diff -r "$src" "$dest/copy/source" >/dev/null 2>&1; }
zip_intact() {  # folder that was full
    if [ "${1:-}" = "$dest" ]; then
        cmp -s "$dest/zip/data.zip" "$work/data.zip.before" || return 1
    fi
    unzip -tqq "$dest/zip/data.zip" >/dev/null 2>&1
}
# A failed save must leave the files as they were; a run may record its history.
task_list_intact() {  # label
    if [[ $1 == *save* ]]; then
        cmp -s "$data/CorvTasks.bin" "$work/tasks.before" &&
            cmp -s "$data/CorvGroups.bin" "$work/groups.before" || return 1
    fi
    "$cli" list >"$work/list.log" 2>&1 && grep -q 'Copy' "$work/list.log" &&
        grep -q 'Zip' "$work/list.log" && grep -q 'Backups' "$work/list.log"
}
# Names on the full file system besides what belongs there.
left_overs() {
    find "$dest" "$data" -mindepth 1 ! -name filler ! -path "$dest/copy*" ! -path "$dest/spare*" \
        ! -path "$dest/zip" ! -name data.zip ! -name Zip.TSK ! -name CorvTasks.bin \
        ! -name CorvGroups.bin ! -name corvane.lock ! -name CorvResults.txt \
        ! -name CorvResults.lock ! -path "$data/tmp" -printf '%P ' 2>/dev/null
    tree_extras=$(comm -13 <(cd "$src" && find . | sort) <(cd "$dest/copy/source" && find . | sort))
    [ -z "$tree_extras" ] || printf 'copy/source: %s ' $tree_extras
}

run_case() {  # label, folder to fill, KB left, command...
    local label=$1 full=$2 left=$3 status problems=()
    shift 3
    cases=$((cases + 1))
    cp "$dest/zip/data.zip" "$work/data.zip.before"
    cp "$data/CorvTasks.bin" "$work/tasks.before"
    cp "$data/CorvGroups.bin" "$work/groups.before"
    # Newer times on every source file: the copy rewrites them all.
    find "$src" -type f -exec touch {} +
    fill "$full" "$left"
    "$@" >"$work/case.log" 2>&1
    status=$?
    unfill "$full"
    [ "$status" -eq 1 ] || problems+=("exit $status, expected 1")
    grep -q 'No space left on device' "$work/case.log" || problems+=("no line with the reason")
    local lost=()
    copy_intact || lost+=("the earlier copy is damaged")
    zip_intact "$full" || lost+=("the earlier archive changed or is damaged")
    task_list_intact "$label" || lost+=("the task list changed or does not load")
    # Every earlier case ended a run, so the last results are never empty.
    [ -s "$data/CorvResults.txt" ] || [ "$cases" -eq 1 ] || lost+=("the last results were emptied")
    ls "$dest/zip" | grep -v -x -e data.zip -e Zip.TSK >"$work/zipdir" &&
        lost+=("beside the archive: $(tr '\n' ' ' <"$work/zipdir")")
    [ ${#lost[@]} -eq 0 ] || damage=$((damage + 1))
    problems+=("${lost[@]}")
    local rest
    rest=$(left_overs)
    if [ ${#problems[@]} -eq 0 ]; then
        echo "ok    $label${rest:+ (left behind: $rest)}"
    else
        failed=$((failed + 1))
        echo "FAIL  $label: $(IFS=';'; echo "${problems[*]}")${rest:+ (left behind: $rest)}"
        sed 's/^/        /' "$work/case.log" | grep -i -e error -e warn -e space -e cannot | head -4
    fi
    # Put back what a failed case broke, so the next case starts from a sound state.
    rm -rf "$data/tmp"
    cp "$work/tasks.before" "$data/CorvTasks.bin"
    cp "$work/groups.before" "$data/CorvGroups.bin"
    if ! copy_intact || ! zip_intact; then
        "$cli" run Copy >/dev/null 2>&1
        "$cli" run Zip >/dev/null 2>&1
        cp "$data/CorvTasks.bin" "$work/tasks.before"
        cp "$data/CorvGroups.bin" "$work/groups.before"
    fi
    find "$dest/zip" -mindepth 1 ! -name data.zip ! -name Zip.TSK -delete
}

run_case "copy run, destination full" "$dest" 200 "$cli" run Copy
run_case "ZIP run, destination full" "$dest" 200 "$cli" run Zip
run_case "copy run, data folder full" "$data" 0 "$cli" run Copy
run_case "ZIP run, data folder full" "$data" 0 "$cli" run Zip
run_case "task-list save (add-restore-task), data folder full" "$data" 0 \
    "$cli" add-restore-task "$dest/spare/Spare.TSK"
run_case "task-list save (delete), data folder full" "$data" 0 "$cli" delete Spare

echo "full-disk cases: $cases, failing: $failed, damage (backup, task list, archive): $damage"
[ "$failed" -eq 0 ]
