#!/usr/bin/env bash
# check_man_pages.sh CORVANE_CLI MAN_FOLDER: every page formats without a warning from
# man, and corvane-cli(1) names every command that `corvane-cli --help` lists.
set -euo pipefail
cli=$1
pages=$2
status=0
for page in "$pages"/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  if [[ -n $warnings ]]; then
    echo "$page: $warnings"
    status=1
  fi
done
text=$(LC_ALL=C.UTF-8 MANWIDTH=200 man -E UTF-8 -l "$pages/corvane-cli.1" 2>/dev/null)
for command in $("$cli" --help | sed -n 's/^  \([a-z][a-z-]*\).*/\1/p' | sort -u); do
  if ! grep -qw -- "$command" <<<"$text"; then
    echo "corvane-cli.1 does not name the command $command"
    status=1
  fi
done
exit $status
