#!/bin/sh
# What users get from an install, the Debian package and the Windows zip.
# packaging_test.sh install|deb|zip BUILD_DIR SOURCE_DIR
set -eu
mode=$1 build=$2 source=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

# The program, run from where it was unpacked or installed, lists the sample as the build does.
lists_sample() {
  args="--format tsv --base http://www.sample.example/ $source/sample/index.html"
  # shellcheck disable=SC2086
  "$1" $args >"$work/got.tsv" || fail "$1 failed on the sample"
  # shellcheck disable=SC2086
  "$build/cli/tavrin-anchors" $args | cmp -s - "$work/got.tsv" || fail "$1 lists the sample differently"
}

# The program, run from where it was unpacked or installed, loads its web fetcher for a web
# address: only libcurl says that a closed port refused the connection.
fetches() {
  "$1" http://127.0.0.1:1/ >/dev/null 2>"$work/err" && fail "$1 read a closed port"
  grep -q 'connect to 127.0.0.1' "$work/err" || fail "$1 did not fetch: $(cat "$work/err")"
}

case $mode in
install)
  cmake --install "$build" --prefix "$work/p" >/dev/null
  (cd "$work/p" && find . -type f | sort) >"$work/tree"
  printf '%s\n' ./bin/tavrin-anchors ./lib/tavrin-anchors/tavrin-web-fetcher.so \
    ./share/doc/tavrin-anchors/copyright ./share/man/man1/tavrin-anchors.1 |
    diff - "$work/tree" || fail "installed tree"
  lists_sample "$work/p/bin/tavrin-anchors"
  fetches "$work/p/bin/tavrin-anchors"
  # libcurl is the fetcher's alone, and local pages need no fetcher.
  readelf -d "$work/p/bin/tavrin-anchors" | grep -q 'NEEDED.*libcurl' && fail "the program links libcurl"
  rm "$work/p/lib/tavrin-anchors/tavrin-web-fetcher.so"
  lists_sample "$work/p/bin/tavrin-anchors"
  status=0
  "$work/p/bin/tavrin-anchors" http://127.0.0.1:1/ >"$work/out" 2>"$work/err" || status=$?
  [ "$status" = 1 ] && [ ! -s "$work/out" ] && grep -q 'tavrin-web-fetcher.so' "$work/err" ||
    fail "a web address without the fetcher: exit $status, $(cat "$work/err")"
  page=$work/p/share/man/man1/tavrin-anchors.1
  groff -man -ww -z "$page" 2>"$work/warnings"
  [ ! -s "$work/warnings" ] || fail "groff warns: $(cat "$work/warnings")"
  groff -man -Tutf8 -P-cbou -rLL=200n "$page" >"$work/page.txt"
  # Every option the help lists, short and long, is described by the manual page.
  "$work/p/bin/tavrin-anchors" --help | grep -E '^ +-' | grep -oE -- '--?[a-z][a-z-]*' |
    sort -u >"$work/options"
  [ "$(wc -l <"$work/options")" -ge 10 ] || fail "too few options read from --help"
  while read -r option; do
    grep -qE -- "(^|[^a-z-])$option([^a-z-]|$)" "$work/page.txt" || fail "manual page lacks $option"
  done <"$work/options"
  ;;
deb)
  cpack --config "$build/CPackConfig.cmake" -B "$work" >/dev/null
  set -- "$work"/tavrin-anchors_*_amd64.deb
  [ -f "$1" ] || fail "no tavrin-anchors_VERSION_amd64.deb"
  dpkg-deb -f "$1" Depends | grep -q libcurl || fail "dependencies not computed: $(dpkg-deb -f "$1" Depends)"
  dpkg-deb -x "$1" "$work/x"
  for file in usr/bin/tavrin-anchors usr/lib/tavrin-anchors/tavrin-web-fetcher.so \
    usr/share/man/man1/tavrin-anchors.1 usr/share/doc/tavrin-anchors/copyright; do
    [ -f "$work/x/$file" ] || fail "package lacks $file"
  done
  lists_sample "$work/x/usr/bin/tavrin-anchors"
  fetches "$work/x/usr/bin/tavrin-anchors"
  ;;
zip)
  for file in x86/Tavrin.dll x86/設定.exe x64/Tavrin.dll x64/設定.exe; do
    [ -f "$source/dist/$file" ] || { echo "dist/$file not built: run scripts/build-windows"; exit 77; }
  done
  cpack --config "$build/CPackWindowsConfig.cmake" -B "$work" >/dev/null
  set -- "$work"/Tavrin-*-windows.zip
  [ -f "$1" ] || fail "no Tavrin-VERSION-windows.zip"
  top=$(basename "$1" .zip)
  cmake -E tar tf "$1" | grep -v '/$' | sort >"$work/list"
  printf '%s\n' "$top/x64/Tavrin.dll" "$top/x64/設定.exe" "$top/x86/Tavrin.dll" "$top/x86/設定.exe" \
    "$top/お読みください.txt" | sort | diff - "$work/list" || fail "zip contents"
  ;;
*) fail "unknown mode $mode" ;;
esac
