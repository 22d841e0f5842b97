#!/usr/bin/env bash
# check_bash_completion.sh CORVANE_CLI COMPLETION_FILE: the bash completion, sourced as
# bash does, answers commands, options, files and the task names of the data folder
# named on the command line being completed.
set -uo pipefail
cli=$(realpath "$1") status=0
source "$2" || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
data="$scratch/data dir"
mkdir -p "$scratch/dest" "$scratch/photos" "$data"
touch "$scratch/photos/holiday.jpg"
for name in Docs "My Photos" $'Two\nLines'; do
  "$cli" --data-dir "$data" new "$name" --to "$scratch/dest" "$scratch/photos" >/dev/null ||
    { echo "corvane-cli new $name failed"; exit 1; }
done
# expect ANSWERS WORD...: completing the last WORD gives exactly ANSWERS, sorted.
expect() {
  local expected=$1 got
  shift
  COMP_WORDS=("$@") COMP_CWORD=$(($# - 1)) COMPREPLY=()
  _corvane_cli
  got=$(printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd' ')
  if [[ $got != "$expected" ]]; then
    echo "completing [$*]: expected [$expected], got [$got]"
    status=1
  fi
}

expect 'list' "$cli" li
expect '--uncheck-identical --uncheck-newer' "$cli" --data-dir "'$data'" restore Docs --unch
expect 'Docs My\ Photos' "$cli" --data-dir "'$data'" show ''
expect 'My Photos' "$cli" --data-dir = "${data// /\\ }" run Docs '"My'
expect '' "$cli" --data-dir "'$data'" show Docs ''
expect 'Docs My\ Photos' "$cli" --threads 2 --data-dir "'$data'" show ''
expect 'export import' "$cli" reg ''
expect "$scratch/photos/holiday.jpg" "$cli" reg export HKEY_CURRENT_USER "$scratch/photos/h"
expect 'HKEY_CURRENT_USER' "$cli" edit Docs --registry HKEY_C
expect 'GnuPG\ keys' "$cli" edit Docs --well-known Gn
expect 'GIMP settings' "$cli" new Docs --well-known "'GI"
expect '--all-contacts' "$cli" new Docs --all
expect "$scratch/photos/holiday.jpg" "$cli" --data-dir "'$data'" edit Docs --add "$scratch/photos/h"
# A data folder written as a command substitution is a name, never run.
expect '' "$cli" --data-dir "\$(touch $scratch/ran)" show ''
if [[ -e $scratch/ran ]]; then
  echo "completing ran a command substitution from the command line"
  status=1
fi
exit $status
