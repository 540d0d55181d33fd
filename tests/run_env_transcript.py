#!/usr/bin/env python3
"""Runs a transcript in a fresh temporary directory, with HOME pointing into it and a local
HTTP server whose base URL is in the environment variable VYR_TEST_HTTP.

Usage: run_env_transcript.py VYR TRANSCRIPT. The server answers:
  /data.json    a JSON document, Content-Type "application/json; charset=utf-8"
  /img.png      tests/fixtures/images/small.png, Content-Type "image/png; charset=binary"
  /img-as-text  the same PNG bytes labelled "text/plain"
  /code.txt     the text "1 two [3]", Content-Type "text/plain"
  /hits         the number of requests made to /hits so far, as text
  anything else 404
"""
import http.server
import os
import subprocess
import sys
import tempfile
import threading

HERE = os.path.dirname(os.path.abspath(__file__))
FIXTURES = os.path.join(HERE, "fixtures", "images")


class Handler(http.server.BaseHTTPRequestHandler):
    hits = 0

    def log_message(self, *args):
        pass

    def send(self, status, kind, body):
        self.send_response(status)
        self.send_header("Content-Type", kind)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        path = self.path
        if path == "/data.json":
            self.send(200, "application/json; charset=utf-8", b'{"a": [1, 2], "b": "x"}')
        elif path in ("/img.png", "/img-as-text"):
            with open(os.path.join(FIXTURES, "small.png"), "rb") as f:
                data = f.read()
            self.send(200, "image/png; charset=binary" if path == "/img.png" else "text/plain", data)
        elif path == "/code.txt":
            self.send(200, "text/plain", b"1 two [3]")
        elif path == "/hits":
            Handler.hits += 1
            self.send(200, "text/plain", str(Handler.hits).encode())
        else:
            self.send(404, "text/plain", b"not here")


def main():
    exe, transcript = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    with tempfile.TemporaryDirectory(prefix="vyr-env-") as tmp:
        env = dict(os.environ)
        env["HOME"] = tmp
        env["VYR_TEST_HTTP"] = "http://127.0.0.1:%d/" % server.server_address[1]
        env["VYR_TEST_FIXTURES"] = FIXTURES + "/"
        proc = subprocess.run([sys.executable, os.path.join(HERE, "run_transcript.py"), exe,
                               transcript], cwd=tmp, env=env)
    server.shutdown()
    sys.exit(proc.returncode)


if __name__ == "__main__":
    main()
