#!/bin/sh
# Usage: list-parity.sh PROGRAM MSHTML_LIST ADDRESS PAGE WINE_RUN...
# Lists PAGE, standing for ADDRESS, with the program (the portable model) and with mshtml-list.exe
# (the MSHTML adapter over the browser double, fed the program's snapshot of the same page), with
# and without --domain-only, as the list and as the view page. Every output must be the same bytes.
set -eu
program=$1
mshtml_list=$2
address=$3
page=$4
shift 4
# What remains is the command line that runs a Windows program.

if [ ! -x "$program" ]; then
  echo "list-parity: $program not found; build the linux preset first" >&2
  exit 1
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

status=0
for domain in "" --domain-only; do
  for view in "" --view; do
    # shellcheck disable=SC2086 # the empty flags vanish on purpose
    "$program" $domain $view --snapshot "$work/snapshot.json" --base "$address" "$page" >"$work/expected"
    # shellcheck disable=SC2086
    if ! "$@" "$mshtml_list" $domain $view "Z:$work/snapshot.json" >"$work/actual"; then
      echo "list-parity: mshtml-list.exe failed for $page $domain $view" >&2
      status=1
      continue
    fi
    if ! cmp -s "$work/expected" "$work/actual"; then
      echo "list-parity: $page $domain $view differs (first lines that differ):" >&2
      diff "$work/expected" "$work/actual" | head -8 >&2 || true
      status=1
    fi
  done
done
exit $status
