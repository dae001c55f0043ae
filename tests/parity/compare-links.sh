#!/bin/sh
# Usage: compare-links.sh PROGRAM ADDRESS PAGE
# Lists PAGE, standing for ADDRESS, with PROGRAM and compares the addresses of its rows with
# PAGE.links, the list Chromium gives for the same page at the same address.
set -eu
program=$1
address=$2
page=$3

listing=$(mktemp)
trap 'rm -f "$listing"' EXIT
"$program" --base "$address" "$page" >"$listing"

# A line starts at each row's link and nowhere else, then keeps the unescaped href. Line breaks
# become spaces, which no address from Chromium holds, so a break inside an href still shows.
# &amp; goes last so that an escaped "&quot;" stays as written.
{ tr '\n' ' ' <"$listing"; echo; } |
  sed 's/<TD width="100%" BGCOLOR="#[0-9A-F]*" nowrap><A HREF="/\
@ROW@/g' |
  sed -n 's/^@ROW@\([^"]*\)".*/\1/p' |
  sed 's/&quot;/"/g; s/&amp;/\&/g' |
  diff -u --label "Chromium ($page.links)" --label "tavrin-anchors --base $address" \
    "$page.links" -
