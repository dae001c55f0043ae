#!/usr/bin/python3
"""Usage: view-payloads.py PROGRAM MSHTML_LIST CORPUS WINE_RUN...

Puts every XSS payload of CORPUS (one a line, as written and percent-decoded), and backtick
payloads inside FONT, SPAN and DIV, into a link of a page of its own, each page a frame of one
frameset (so that no payload can swallow another), lists the frameset with PROGRAM to get its
snapshot, and builds the view from it with mshtml-list.exe under each serializer of the browser
double. A view that holds anything able to run script (a SCRIPT element, an event handler
attribute, a javascript: or vbscript: address) fails the test.
"""
import os
import re
import subprocess
import sys
import tempfile
import urllib.parse

import html5lib

SERIALIZERS = ("html5", "ie")

# The legacy engine writes these values bare and reads the backtick as a quote, so that after
# one round trip they are attributes of their own.
BACKTICK_PAYLOADS = (
    '<img alt="``onerror=alert(1)">',
    '<img alt="``src=javascript:alert(1)">',
    '<img src="http://pages.example/i.png" alt="``onerror=alert(1)//">',
    '<img width="``onload=alert(1)" height="``src=vbscript:msgbox(1)">',
    '<font face="``onmouseover=alert(1)">x</font>',
)
WRAPPERS = ("<font>{}</font>", "<span>{}</span>", "<div>{}</div>",
            '<font color="red"><b>{}</b></font>', "<font><font size=2>{}</font></font>")


def payloads(corpus):
    with open(corpus, encoding="utf-8", newline="") as lines:
        written = [line.rstrip("\r\n") for line in lines if line.strip()]
    found = []
    for payload in written + [urllib.parse.unquote(p) for p in written]:
        if payload not in found:
            found.append(payload)
    found += [wrapper.format(p) for p in BACKTICK_PAYLOADS for wrapper in WRAPPERS]
    return found


def is_script_address(value):
    # Browsers skip leading blanks and controls and every tab and newline inside an address.
    address = "".join(c for c in value if c not in "\t\n\r").lstrip("".join(map(chr, range(33))))
    return address.lower().startswith(("javascript:", "vbscript:"))


def leftovers(view):
    found = []
    for element in html5lib.parse(view, namespaceHTMLElements=False).iter():
        if not isinstance(element.tag, str):
            continue  # comments
        if element.tag.lower() == "script":
            found.append("<script>")
        for name, value in element.attrib.items():
            if name.lower().startswith("on") or is_script_address(value):
                found.append(f'<{element.tag} {name}="{value}">')
    return found


def main():
    program, mshtml_list, corpus, *wine_run = sys.argv[1:]
    cases = payloads(corpus)
    failures = {}
    with tempfile.TemporaryDirectory() as work:
        for number, payload in enumerate(cases):
            with open(os.path.join(work, f"{number}.html"), "w", encoding="utf-8") as out:
                out.write(f'<html><body><a href="/t{number}">{payload}</a></body></html>\n')
        top = os.path.join(work, "top.html")
        with open(top, "w", encoding="utf-8") as out:
            frames = "".join(f'<frame src="{number}.html">' for number in range(len(cases)))
            out.write(f"<html><frameset>{frames}</frameset></html>\n")
        snapshot = os.path.join(work, "snapshot.json")
        subprocess.run([program, "--view", "--snapshot", snapshot, "--base",
                        "http://pages.example/top.html", top],
                       check=True, stdout=subprocess.DEVNULL)
        for serializer in SERIALIZERS:
            run = subprocess.run(wine_run + [mshtml_list, "--view", "--serializer", serializer,
                                             "Z:" + snapshot],
                                 capture_output=True, check=False)
            if run.returncode != 0:
                print(f"{serializer}: mshtml-list failed: {run.stderr.decode(errors='replace')}",
                      file=sys.stderr)
                failures[serializer] = None
                continue
            view = run.stdout.decode("utf-8")
            shown = set(re.findall(r'href="?http://pages\.example/t(\d+)', view))
            if len(shown) != len(cases):
                print(f"{serializer}: {len(shown)} of {len(cases)} payload links in the view",
                      file=sys.stderr)
                failures[serializer] = None
                continue
            found = leftovers(view)
            for leftover in found:
                print(f"{serializer}: leftover {leftover}", file=sys.stderr)
            failures[serializer] = len(found)
    for serializer, count in failures.items():
        outcome = "the run failed" if count is None else f"{count} script-capable leftovers"
        print(f"{serializer}: {len(cases)} payloads, {outcome}")
    return 0 if all(count == 0 for count in failures.values()) else 1


if __name__ == "__main__":
    sys.exit(main())
