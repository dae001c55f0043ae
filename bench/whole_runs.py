#!/usr/bin/env python3
"""Whole-program runs of tavrin-anchors beside a text browser's link dump, on synthetic pages.

Usage: whole_runs.py PROGRAM [ROUNDS]

Writes pages of 10,000 and 100,000 links into a temporary folder and runs, ROUNDS times
(default 9), the list, the view and `lynx -dump -listonly -force_html` (when lynx is installed)
on each. The commands take turns within a round, so that a machine that grows busy or quiet
weighs on all of them alike. Prints the median wall time, processor time (user + system) and
the peak resident memory of each, then the ratios to lynx and the growth from 10k to 100k.
Needs GNU time (/usr/bin/time) for the peak memory.
"""
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BASE = "http://www.example.com/"
TIME = "/usr/bin/time"  # GNU time, Debian's package "time"


def link(i):
    # Images, font and span/br markup, and plain links with query strings, as the view meets them.
    kind = i % 10
    if kind == 0:
        return f'<p><a href="/p/{i}.html"><img src="/i/{i}.png" alt="Pic {i}"></a></p>\n'
    if kind == 1:
        return f'<p><a href="/p/{i}.html"><font color="red">Font &amp; link {i}</font></a></p>\n'
    if kind == 2:
        return f'<p><a href="/p/{i}.html"><span>Span {i}</span><br>next</a></p>\n'
    return f'<p><a href="/p/{i}.html?q={i}&amp;r=1">Link text number {i} "q"</a></p>\n'


def write_page(path, links):
    with open(path, "w", encoding="utf-8") as page:
        page.write('<html><head><meta charset="utf-8"><title>t</title></head><body>\n')
        page.writelines(link(i) for i in range(links))
        page.write("</body></html>\n")


def run(command, peak_file):
    """Wall seconds, processor seconds and peak resident KiB of one run."""
    # The peak comes from GNU time's own child: a process started from this one would count
    # Python's memory as its own (Linux keeps the highest resident size across exec).
    start = time.perf_counter()
    with open(os.devnull, "wb") as null:
        process = subprocess.Popen([TIME, "-f", "%M", "-o", peak_file] + command, stdout=null)
        _, status, usage = os.wait4(process.pid, 0)
    wall = time.perf_counter() - start
    if os.waitstatus_to_exitcode(status) != 0:
        sys.exit(f"exit {os.waitstatus_to_exitcode(status)}: {' '.join(command)}")
    with open(peak_file, encoding="ascii") as peak:
        return wall, usage.ru_utime + usage.ru_stime, int(peak.read().split()[-1])


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(__doc__)
    program = os.path.abspath(sys.argv[1])
    rounds = int(sys.argv[2]) if len(sys.argv) == 3 else 9
    if not os.access(TIME, os.X_OK):
        sys.exit(f"{TIME} is needed (apt-get install time)")
    lynx = shutil.which("lynx")
    with tempfile.TemporaryDirectory() as folder:
        commands = {}
        for links, label in ((10_000, "10k"), (100_000, "100k")):
            page = os.path.join(folder, f"{label}.html")
            write_page(page, links)
            # Every command prints to the standard output, which goes to /dev/null.
            commands[f"list {label}"] = [program, "--base", BASE, page]
            commands[f"view {label}"] = [program, "--base", BASE, "--view", page]
            if lynx:
                commands[f"lynx {label}"] = [lynx, "-dump", "-listonly", "-force_html", page]
        peak_file = os.path.join(folder, "peak")
        for command in commands.values():
            run(command, peak_file)  # warm the file cache and the program's pages
        samples = {name: [] for name in commands}
        for _ in range(rounds):
            for name, command in commands.items():
                samples[name].append(run(command, peak_file))

    medians = {name: [statistics.median(s[k] for s in runs) for k in range(3)]
               for name, runs in samples.items()}
    print(f"{'run':<10} {'wall s':>8} {'cpu s':>8} {'peak MB':>8}   ({rounds} rounds, median)")
    for name, (wall, cpu, peak) in medians.items():
        print(f"{name:<10} {wall:8.3f} {cpu:8.3f} {peak / 1024:8.1f}")
    for mode in ("list", "view"):
        for size in ("10k", "100k"):
            if f"lynx {size}" not in medians:
                continue
            ours, theirs = medians[f"{mode} {size}"], medians[f"lynx {size}"]
            print(f"{mode} {size} / lynx: wall {ours[0] / theirs[0]:.2f}x, "
                  f"cpu {ours[1] / theirs[1]:.2f}x, memory {ours[2] / theirs[2]:.2f}x")
    for mode in ("list", "view", "lynx"):
        if f"{mode} 10k" in medians:
            small, large = medians[f"{mode} 10k"], medians[f"{mode} 100k"]
            print(f"{mode} growth 10k -> 100k: wall {large[0] / small[0]:.2f}x, "
                  f"cpu {large[1] / small[1]:.2f}x")


if __name__ == "__main__":
    main()
