#!/usr/bin/env python3
"""Writes the hostile pages that the bounded-work checks run on into FOLDER.

Usage: hostile_pages.py FOLDER [SCALE]

Each page is written at SCALE (default 1) and at five times that size, as NAME-xSCALE.html.
Run them with `/usr/bin/time -v build/linux/cli/tavrin-anchors FOLDER/NAME-x1.html -o /dev/null`.
"""
import os
import sys


def self_framing(scale):
    # One file framed by itself under many query strings, between many links.
    links = "".join(f'<a href="http://e.com/{i}">x</a>' for i in range(20000 * scale))
    frames = "".join(f'<iframe src="self-framing-x{scale}.html?{i}"></iframe>\n'
                     for i in range(300 * scale))
    return f"<!DOCTYPE html><title>frames</title>{frames}{links}"


def nested_links(scale):
    # The parser nests each link inside the one before it (marquee keeps the link open).
    return "".join(f'<a href="http://e.com/{i}">x<marquee>' for i in range(20000 * scale))


def deep_base(scale):
    # A base element deep inside inline elements, then many links.
    return ("<b>" * (100000 * scale) + '<base href="http://e.com/">' +
            "".join(f'<a href="page{i}.html">link {i}</a>' for i in range(100000 * scale)))


def deep_text(scale):
    # Much text after deep nesting: the parser looks through the open elements at every
    # character and allocates nothing while it does.
    return "<b>" * (50000 * scale) + "x" * (1000000 * scale)


def reopened_formatting(scale):
    # Each paragraph reopens every open b element: the parser's work grows with the square.
    return "".join(f"<b id={i}><p>x" for i in range(1400 * scale))


def frame_chain(scale):
    # The same file as a chain of differently addressed frames, each level walked again.
    frames = "".join(f'<iframe src="?{i}"></iframe>' for i in range(17 * scale))
    return frames + "".join(f'<a href="http://e.com/{i}">{i}</a>' for i in range(1000 * scale))


def base_times_links(scale):
    # A 1 MB base address under many links: each resolved address, written back to its link
    # and into the snapshot, is as long as the base. ftp: keeps the links out of the list, so
    # only the write-back and the snapshot pay (run also with an http base and --domain-only).
    base = "ftp://e.com/" + "a" * 1000000 + "/"
    return f'<base href="{base}">' + "".join(f'<a href="{i}">x</a>'
                                             for i in range(2000 * scale))


PAGES = {
    "self-framing": self_framing,
    "nested-links": nested_links,
    "deep-base": deep_base,
    "deep-text": deep_text,
    "reopened-formatting": reopened_formatting,
    "frame-chain": frame_chain,
    "base-times-links": base_times_links,
}


def main():
    folder = sys.argv[1]
    scale = int(sys.argv[2]) if len(sys.argv) > 2 else 1
    os.makedirs(folder, exist_ok=True)
    for name, build in PAGES.items():
        for factor in (scale, 5 * scale):
            with open(os.path.join(folder, f"{name}-x{factor}.html"), "w") as page:
                page.write(build(factor))


if __name__ == "__main__":
    main()
