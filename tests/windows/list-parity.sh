#!/bin/sh
# Usage: list-parity.sh PROGRAM MSHTML_LIST ADDRESS PAGE WINE_RUN...
# Lists PAGE, standing for ADDRESS, with the program (the portable model) and with mshtml-list.exe
# (the MSHTML adapter over the browser double, fed the program's snapshot of the same page), with
# and without --domain-only, as the list and as the view page, under both serializers of the
# double. Every output must be the same bytes, except the view page under the legacy serializer,
# which must be the same tree.
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

# Whether two pages parse into the same tree; the second was written by the legacy serializer,
# whose line before each block element's start tag is no part of the tree it wrote.
same_tree() {
  /usr/bin/python3 - "$1" "$2" <<'EOF'
import sys
import html5lib
from html5lib.serializer import HTMLSerializer


def canonical(path, legacy):
    with open(path, encoding="utf-8", newline="") as page:
        text = page.read()
    if legacy:
        text = text.replace("\r\n<", "<")
    walker = html5lib.getTreeWalker("etree")
    return HTMLSerializer(quote_attr_values="always").render(walker(html5lib.parse(text)))


sys.exit(0 if canonical(sys.argv[1], False) == canonical(sys.argv[2], True) else 1)
EOF
}

status=0
for serializer in html5 ie; do
  for domain in "" --domain-only; do
    for view in "" --view; do
      # shellcheck disable=SC2086 # the empty flags vanish on purpose
      "$program" $domain $view --snapshot "$work/snapshot.json" --base "$address" "$page" >"$work/expected"
      # shellcheck disable=SC2086
      if ! "$@" "$mshtml_list" $domain $view --serializer $serializer "Z:$work/snapshot.json" \
        >"$work/actual"; then
        echo "list-parity: mshtml-list.exe failed for $page $domain $view ($serializer)" >&2
        status=1
        continue
      fi
      if [ "$serializer$view" = ie--view ]; then
        same_tree "$work/expected" "$work/actual" && continue
      else
        cmp -s "$work/expected" "$work/actual" && continue
      fi
      echo "list-parity: $page $domain $view differs ($serializer; first lines that differ):" >&2
      diff "$work/expected" "$work/actual" | head -8 >&2 || true
      status=1
    done
  done
done
exit $status
