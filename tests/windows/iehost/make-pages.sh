#!/bin/sh
# Usage: make-pages.sh PROGRAM OUT_DIR NAME ADDRESS PAGE [NAME ADDRESS PAGE ...]
# For each page, what the native program makes of it standing for ADDRESS: the snapshot that the
# browser double shows (NAME.json), and the view page of the list without and with --domain-only
# (NAME.view, NAME.domain.view), which the bar must show. index.txt lists the addresses for the
# double.
set -eu
program=$1
out=$2
shift 2
mkdir -p "$out"
index="$out/index.txt.new"
: >"$index"
while [ $# -ge 3 ]; do
  name=$1
  address=$2
  page=$3
  shift 3
  "$program" --view --snapshot "$out/$name.json" --base "$address" "$page" >"$out/$name.view"
  "$program" --view --domain-only --base "$address" "$page" >"$out/$name.domain.view"
  printf '%s\t%s\n' "$address" "$name.json" >>"$index"
done
mv "$index" "$out/index.txt"
