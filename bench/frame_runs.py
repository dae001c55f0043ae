#!/usr/bin/env python3
"""Whole runs of tavrin-anchors on pages of frames from a slow local server.

Usage: frame_runs.py PROGRAM

Serves, on 127.0.0.1 and its loopback neighbours, a page of 20 frames whose every frame is
answered after 1 s (spread over four hosts, and all on one host), and a page of 3 frames at a
server that never answers, and prints each run's wall time, exit status and frames listed.
Frames are fetched side by side, at most six connections to one host: 20 frames over four hosts
take about 1 s, on one host about 4 s; the stalled frames end at the deadline (--timeout).
"""
import http.server
import subprocess
import sys
import threading
import time

DELAY = 1.0


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        port = self.server.server_address[1]
        if self.path.startswith("/hang"):
            time.sleep(3600)
        if self.path == "/spread.html":
            frames = "".join(f'<iframe src="http://127.0.0.{1 + i % 4}:{port}/f{i}.html"></iframe>'
                             for i in range(20))
        elif self.path == "/one-host.html":
            frames = "".join(f'<iframe src="/f{i}.html"></iframe>' for i in range(20))
        elif self.path == "/stalled.html":
            frames = "".join(f'<iframe src="/hang{i}.html"></iframe>' for i in range(3))
        else:
            time.sleep(DELAY)
            frames = f'<a href="http://www.example.com{self.path}">frame</a>'
        body = f"<!DOCTYPE html><title>t</title>{frames}".encode()
        self.send_response(200)
        self.send_header("Content-Type", "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    # Room for every connection a run opens at once: the default backlog of 5 would drop some.
    http.server.ThreadingHTTPServer.request_queue_size = 64
    server = http.server.ThreadingHTTPServer(("0.0.0.0", 0), Handler)
    server.daemon_threads = True
    threading.Thread(target=server.serve_forever, daemon=True).start()
    port = server.server_address[1]
    runs = [
        ("20 frames, 1 s each, 4 hosts", ["/spread.html"]),
        ("20 frames, 1 s each, 1 host", ["/one-host.html"]),
        ("3 stalled frames, --timeout 5", ["/stalled.html", "--timeout", "5"]),
        ("3 stalled frames, defaults", ["/stalled.html"]),
    ]
    print(f"{'run':<32} {'wall s':>7} {'exit':>5} {'rows':>5}")
    for label, (path, *options) in runs:
        start = time.perf_counter()
        result = subprocess.run([sys.argv[1], "--format", "text", *options,
                                 f"http://127.0.0.1:{port}{path}"],
                                capture_output=True, text=True)
        wall = time.perf_counter() - start
        print(f"{label:<32} {wall:7.2f} {result.returncode:5} {len(result.stdout.splitlines()):5}")
    server.shutdown()


if __name__ == "__main__":
    main()
