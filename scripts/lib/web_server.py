#!/usr/bin/env python3
"""Serves the web page's static files on 127.0.0.1 (a secure context for Web MIDI), for scripts/web and the
browser tests.

    web_server.py ROOT [--port N] [--standin DIR] [--until-stdin-closes]

ROOT is the page's folder (build/web). With --standin, the test-and-demo-only Web MIDI stand-in's folder is
served too, under /standin/, and index.html gets its script tag injected before the page's own first script
(after the page's Content Security Policy, so the stand-in runs under the same policy as the page), and the
page's service worker a closing comment (so that a browser that kept the page of one takes the other anew).
Port 0 takes a free port. The first line printed is the address, "Serving http://127.0.0.1:PORT/", so that a caller
can read it; nothing else is printed unless a request fails. With --until-stdin-closes it also stops when its
standard input closes, so that a test run that dies leaves no server behind.
"""
import argparse
import http.server
import os
import re
import sys
import threading
import urllib.parse

CONTENT_TYPES = {
    ".html": "text/html; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".mjs": "text/javascript; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".wasm": "application/wasm",
    ".json": "application/json",
    ".webmanifest": "application/manifest+json",
    ".svg": "image/svg+xml",
    ".png": "image/png",
    ".ico": "image/x-icon",
    ".txt": "text/plain; charset=utf-8",
    ".cfg": "text/plain; charset=utf-8",
    ".mid": "audio/midi",
}
STANDIN_PREFIX = "/standin/"
STANDIN_TAG = b'<script type="module" src="/standin/standin.js"></script>'


def inject_standin(html):
    """The stand-in's script tag before the first script of the page, or at the end of <head> without one."""
    for pattern in (rb"<script\b", rb"</head\s*>"):
        match = re.search(pattern, html, re.IGNORECASE)
        if match:
            return html[: match.start()] + STANDIN_TAG + b"\n" + html[match.start():]
    return STANDIN_TAG + b"\n" + html


class Handler(http.server.BaseHTTPRequestHandler):
    root = ""
    standin = None
    server_version = "SongUploaderWeb"
    sys_version = ""

    def do_GET(self):
        self.respond(send_body=True)

    def do_HEAD(self):
        self.respond(send_body=False)

    def resolve(self, path):
        """The file a URL path names inside the served folders, or None."""
        base = self.root
        if self.standin and path.startswith(STANDIN_PREFIX):
            base, path = self.standin, path[len(STANDIN_PREFIX) - 1:]
        parts = [p for p in path.split("/") if p]
        if any(p in (".", "..") or "\\" in p or "\0" in p for p in parts):
            return None
        target = os.path.join(base, *parts)
        if os.path.isdir(target):
            target = os.path.join(target, "index.html")
        real_base = os.path.realpath(base)
        real = os.path.realpath(target)
        if real != real_base and not real.startswith(real_base + os.sep):
            return None
        return real if os.path.isfile(real) else None

    def respond(self, send_body):
        path = urllib.parse.unquote(urllib.parse.urlsplit(self.path).path)
        target = self.resolve(path)
        if target is None:
            self.send_error(404, "Not found")
            return
        with open(target, "rb") as f:
            body = f.read()
        is_page = os.path.basename(target) == "index.html" and not path.startswith(STANDIN_PREFIX)
        if self.standin and is_page:
            body = inject_standin(body)
        # The page's service worker keeps the page as it was served, stand-in or not: a different worker for the
        # demo makes the browser take the page anew when the same address serves the other one.
        if self.standin and path == "/sw.js":
            body += b"\n// Served with the demo's Web MIDI stand-in.\n"
        extension = os.path.splitext(target)[1].lower()
        self.send_response(200)
        self.send_header("Content-Type", CONTENT_TYPES.get(extension, "application/octet-stream"))
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-store")
        self.send_header("X-Content-Type-Options", "nosniff")
        # No other site may show the page inside its own (and lead a click onto Delete): the one part of the
        # page's policy that a <meta> tag cannot carry.
        if extension == ".html":
            self.send_header("Content-Security-Policy", "frame-ancestors 'none'")
        self.end_headers()
        if send_body:
            self.wfile.write(body)

    def log_message(self, format, *args):
        # Only failures are worth a line; a served page makes dozens of requests.
        if len(args) > 1 and str(args[1]).startswith(("4", "5")):
            sys.stderr.write("%s\n" % (format % args))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("root")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--standin", default=None)
    parser.add_argument("--until-stdin-closes", action="store_true")
    options = parser.parse_args()
    Handler.root = os.path.realpath(options.root)
    Handler.standin = os.path.realpath(options.standin) if options.standin else None
    server = http.server.ThreadingHTTPServer(("127.0.0.1", options.port), Handler)
    server.daemon_threads = True
    print("Serving http://127.0.0.1:%d/" % server.server_address[1], flush=True)
    if options.until_stdin_closes:
        threading.Thread(target=lambda: (sys.stdin.read(), server.shutdown()), daemon=True).start()
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()


if __name__ == "__main__":
    main()
