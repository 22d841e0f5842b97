#!/usr/bin/env bash
# kill -9 campaign: starts corvane-cli commands and kills them at a random moment, then
# checks that nothing that was safe before is damaged.
#
#   tests/stress/kill_campaign.sh CORVANE_CLI [COUNT]
#
# COUNT kills (default 100) for each kind: a copy run, a ZIP run, a restore, and a
# save of the task list (add-restore-task / delete). After every kill:
#   - the earlier backup of the kind restores byte for byte into a fresh folder
#     (a restore task made from the backup's task file, in a data folder of its own);
#   - `corvane-cli list` exits 0 and still lists the tasks;
#   - temporaries left behind (in <data>/tmp, beside the backups) are counted;
# and every tenth kill, and at the end, a normal command of the kind must succeed
# (nothing left behind trips a later run). Ends with the figures; exit 1 when any
# damage was found.
set -uo pipefail

cli=$(realpath "$1")
count=${2:-100}
here=$(cd "$(dirname "$0")" && pwd)
source "$here/stress_common.sh"

work=$(mktemp -d "${TMPDIR:-/tmp}/corvane-kill.XXXXXX")
trap 'rm -rf "$work"' EXIT
data=$work/data dest=$work/dest src=$work/source
restore_data=$work/restore-data restore_into=$work/restore-into
mkdir -p "$data" "$dest"
export CORVANE_HOME=$data

make_source_tree "$src" 300
write_task_list "$data" "$src" "$dest"

damage=0 kills=0
declare -A kill_count damage_count
declare -A left_over  # temporary name pattern -> how many kills left one

report_damage() {  # kind, what
    echo "DAMAGE after kill of $1: $2"
    damage=$((damage + 1))
    damage_count[$1]=$((${damage_count[$1]:-0} + 1))
}

# Milliseconds a command takes when it is not killed (it must succeed).
timed_ms() {
    local start end
    start=$(date +%s%N)
    "$@" >"$work/last.log" 2>&1 || { cat "$work/last.log"; return 1; }
    end=$(date +%s%N)
    echo $(((end - start) / 1000000))
}

# Starts the command, kills it with SIGKILL after 0..$1 ms. Answers 0 when the kill
# landed (the process was still running), 1 when it had already ended.
run_and_kill() {
    local limit=$1 delay pid
    shift
    delay=$((RANDOM * limit / 32768))
    "$@" >"$work/killed.log" 2>&1 &
    pid=$!
    sleep "$(printf '%d.%03d' $((delay / 1000)) $((delay % 1000)))"
    if kill -0 "$pid" 2>/dev/null && kill -9 "$pid" 2>/dev/null; then
        wait "$pid" 2>/dev/null
        return 0
    fi
    wait "$pid" 2>/dev/null
    return 1
}

# Restores the backup of the task from its task file into a fresh folder, through a
# data folder of its own, and compares it with the source.
backup_restores() {  # task name, folder of the task file
    local name=$1 folder=$2 verify
    verify=$(mktemp -d "$work/verify.XXXXXX")
    mkdir -p "$verify/data" "$verify/into"
    if ! CORVANE_HOME=$verify/data "$cli" add-restore-task "$folder/$name.TSK" \
        --to "$verify/into" >"$verify/add.log" 2>&1; then
        echo "  add-restore-task $name failed:"; sed 's/^/    /' "$verify/add.log"
        return 1
    fi
    if ! CORVANE_HOME=$verify/data "$cli" restore "$name" --yes >"$verify/restore.log" 2>&1; then
        echo "  restore $name failed:"; sed 's/^/    /' "$verify/restore.log" | tail -5
        return 1
    fi
    if ! holds_source "$verify/into" >"$verify/diff.log"; then
        echo "  restored $name differs:"; head -5 "$verify/diff.log" | sed 's/^/    /'
        return 1
    fi
    tree_extras "$src" "$verify/into" | sed "s|^\.|restored $name|" >>"$work/extras"
    rm -rf "$verify"
}

# True when the folder holds every file and folder of the source with the same bytes;
# what the source does not have is left to note_left_overs.
holds_source() {  # folder
    local differences
    differences=$(diff -r "$src" "$1" 2>&1 | grep -v "^Only in $1")
    [ -z "$differences" ] || { echo "$differences"; return 1; }
}

list_holds_tasks() {
    local out
    out=$("$cli" list 2>&1) || { echo "  list failed: $out"; return 1; }
    grep -q 'Copy' <<<"$out" && grep -q 'Zip' <<<"$out" || {
        echo "  list lost a task:"; sed 's/^/    /' <<<"$out"; return 1; }
}

# Records what killed commands left behind: run temporaries in the data folder, names
# at the destination besides the backups and their task files, and files in a copy or
# a restore that the source does not have. Counted by name pattern (random parts
# become "*") over the whole campaign.
tree_extras() {  # reference folder, folder
    [ -d "$2" ] || return 0
    comm -13 <(cd "$1" && find . | sort) <(cd "$2" && find . | sort)
}
note_left_overs() {
    local name
    while IFS= read -r name; do
        [ -n "$name" ] && left_over[$name]=$((${left_over[$name]:-0} + 1))
    done < <(
        {
            find "$data/tmp" -mindepth 1 -printf 'data/tmp/%P\n' 2>/dev/null
            find "$dest" -mindepth 1 -maxdepth 2 ! -path "$dest/copy/source" \
                ! -path "$dest/spare/dir1" ! -name '*.TSK' ! -name data.zip ! -name copy \
                ! -name zip ! -name spare -printf 'dest/%P\n'
            tree_extras "$src" "$dest/copy/source" | sed 's|^\.|dest/copy/source|'
            tree_extras "$src" "$restore_into" | sed 's|^\.|restore target|'
            cat "$work/extras" 2>/dev/null
            rm -f "$work/extras"
        } | perl -pe 's{([^/]*)$}{(my $b = $1) =~ s/[0-9A-Za-z]{6,}/*/g; $b}e' | sort -u
    )
}

# --- first backups, each of which must succeed
for task in Copy Zip Spare; do
    if ! "$cli" run "$task" >"$work/first.log" 2>&1; then
        echo "first backup of $task failed:"; cat "$work/first.log"
        exit 1
    fi
done
backup_restores Copy "$dest/copy" || { echo "first Copy backup does not restore"; exit 1; }
backup_restores Zip "$dest/zip" || { echo "first Zip backup does not restore"; exit 1; }

# A fresh restore target with its own data folder for the restore kind.
mkdir -p "$restore_data" "$restore_into"
CORVANE_HOME=$restore_data "$cli" add-restore-task "$dest/zip/Zip.TSK" --to "$restore_into" \
    >/dev/null 2>&1 || { echo "cannot make the restore task"; exit 1; }
# Commands are arrays run through env, so the process that is killed is corvane-cli.
restore_cmd=(env CORVANE_HOME="$restore_data" "$cli" restore Zip --yes)
restore_checked() {
    "${restore_cmd[@]}" >"$work/restore.log" 2>&1 || { tail -5 "$work/restore.log"; return 1; }
    holds_source "$restore_into" >/dev/null || { echo "  restore differs"; return 1; }
}

# The save kind alternates adding a restore task (from Spare's task file) and
# deleting the first task named Spare; Copy and Zip must survive all of it.
save_step=0
save_cmd() {
    if ((save_step % 2 == 0)); then
        command=("$cli" add-restore-task "$dest/spare/Spare.TSK")
    else
        command=("$cli" delete Spare)
    fi
}
# A copy run copies every file again when the source is newer than the copy.
touch_source() { find "$src" -type f -exec touch {} +; }

declare -A limit
touch_source
limit[copy]=$(timed_ms "$cli" run Copy) || exit 1
limit[zip]=$(timed_ms "$cli" run Zip) || exit 1
limit[restore]=$(timed_ms "${restore_cmd[@]}") || exit 1
save_cmd
limit[save]=$(timed_ms "${command[@]}") || exit 1
save_step=1
echo "normal durations (ms): copy=${limit[copy]} zip=${limit[zip]} restore=${limit[restore]} save=${limit[save]}"

for kind in copy zip restore save; do
    landed=0
    for ((i = 1; i <= count; i++)); do
        # Kills spread over the whole run and a little after it.
        range=$((limit[$kind] * 11 / 10 + 1))
        case $kind in
            copy) touch_source; command=("$cli" run Copy) ;;
            zip) command=("$cli" run Zip) ;;
            restore) command=("${restore_cmd[@]}") ;;
            save) save_cmd; save_step=$((save_step + 1)) ;;
        esac
        run_and_kill "$range" "${command[@]}" && landed=$((landed + 1))
        kills=$((kills + 1))
        kill_count[$kind]=$((${kill_count[$kind]:-0} + 1))
        note_left_overs
        case $kind in
            copy) problem=$(backup_restores Copy "$dest/copy") || report_damage copy "$problem" ;;
            zip) problem=$(backup_restores Zip "$dest/zip") || report_damage zip "$problem" ;;
        esac
        problem=$(list_holds_tasks) || report_damage "$kind" "$problem"
        if ((i % 10 == 0 || i == count)); then
            case $kind in
                copy) "$cli" run Copy >"$work/next.log" 2>&1 || report_damage copy "next copy run failed: $(tail -3 "$work/next.log")" ;;
                zip) "$cli" run Zip >"$work/next.log" 2>&1 || report_damage zip "next ZIP run failed: $(tail -3 "$work/next.log")" ;;
                restore) problem=$(restore_checked) || report_damage restore "next restore failed: $problem" ;;
                save)
                    "$cli" add-restore-task "$dest/spare/Spare.TSK" >"$work/next.log" 2>&1 ||
                        report_damage save "next save failed: $(tail -3 "$work/next.log")"
                    ;;
            esac
        fi
    done
    echo "$kind: ${kill_count[$kind]} kills (${landed} while running), damage ${damage_count[$kind]:-0}"
done

echo "left behind by killed commands (name pattern: kills after which it was there):"
if [ ${#left_over[@]} -eq 0 ]; then
    echo "  nothing"
fi
for name in "${!left_over[@]}"; do
    echo "  $name: ${left_over[$name]}"
done
echo "kills done: $kills, damage found: $damage"
[ "$damage" -eq 0 ]
