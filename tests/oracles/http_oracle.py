#!/usr/bin/python3.11
"""Checks url! read and write over HTTP against a server of our own on 127.0.0.1.

The server records every request (method, path, header lines in order, body) and answers
by path: /plain, /crlf (CR LF and CR in the body), /cookies (two Set-Cookie and an empty
header value), /missing (404 with a body), /redirect (302 to /plain, with a header of its
own that must not reach the reply), /echo (the request back). Then one `vyr --cli` process
runs the cases and the answers and recorded requests are compared. A refused connection
uses a port the server has just closed.
Usage: http_oracle.py path/to/vyr
"""
import http.server
import socket
import subprocess
import sys
import threading

MARK = "<<oracle-case>>"
RECORDED = []


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def record(self):
        n = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(n) if n else b""
        RECORDED.append({
            "method": self.command,
            "path": self.path,
            "headers": [(k, v) for k, v in self.headers.items()],
            "body": body,
        })
        return body

    def reply(self, status, body, headers=()):
        self.send_response_only(status)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def serve(self):
        body = self.record()
        p = self.path
        if p == "/plain":
            self.reply(200, "héllo".encode(), [("Content-Type", "text/plain")])
        elif p == "/crlf":
            self.reply(200, b"a\r\nb\rc\n")
        elif p == "/cookies":
            self.send_response_only(200)
            self.send_header("Set-Cookie", "a=1")
            # Raw, so the empty value goes as "Empty:" with nothing after the colon.
            self._headers_buffer.append(b"Empty:\r\n")
            self.send_header("set-cookie", "b=2")
            self.send_header("X-Last", "z")
            self.send_header("Content-Length", "2")
            self.end_headers()
            self.wfile.write(b"ok")
        elif p == "/missing":
            self.reply(404, b"nothing here")
        elif p == "/redirect":
            self.reply(302, b"", [("Location", "/plain"), ("X-Hop", "1")])
        else:
            self.reply(200, body, [("X-Method", self.command)])

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = do_PATCH = serve


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def main():
    exe = sys.argv[1]
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    port = server.server_address[1]
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    base = "http://127.0.0.1:%d" % port
    dead = "http://127.0.0.1:%d/" % free_port()
    cases = [
        ("read %s/plain" % base, '== "héllo"'),
        ("read/binary %s/plain" % base, "== #{68C3A96C6C6F}"),
        ("read %s/crlf" % base, '== {a^/b^/c^/}'),
        ("read/lines %s/crlf" % base, '== ["a" "b" "c"]'),
        ("r: read/info %s/cookies r/1" % base, "== 200"),
        ("select r/2 'Set-Cookie", '== ["a=1" "b=2"]'),
        ("select r/2 'Empty", '== ""'),
        ("select r/2 'X-Last", '== "z"'),
        ("r/3", '== "ok"'),
        ("read %s/missing" % base, '== "nothing here"'),
        ("r: read/info %s/missing r/1" % base, "== 404"),
        ("r: read/info %s/redirect reduce [r/1 r/3 select r/2 'X-Hop]" % base,
         '== [200 "héllo" none]'),
        ("write %s/echo [head]" % base, '== ""'),
        ('write %s/echo [put [X-Token: "t1"] "body^/text"]' % base, '== "body^/text"'),
        ('write/binary %s/echo [post [X-N: 12 X-T: <b>] #{0001}]' % base, "== #{0001}"),
        ('write %s/echo [post []]' % base, '== ""'),
        ('write %s/echo "a=1"' % base, '== "a=1"'),
        ('write %s/echo [post [X-A:]]' % base,
         "*** Script Error: invalid argument: X-A:"),
        ('write %s/echo [1]' % base, "*** Script Error: invalid argument: 1"),
        ('write %s/echo 12' % base, "*** Script Error: invalid argument: 12"),
        ('write %s/echo [post [X-A: "a^/B: b"]]' % base,
         '*** Script Error: invalid argument: "a^/B: b"'),
        ("read/part %s/plain 2" % base,
         "*** Internal Error: reserved for future use (or not yet implemented)"),
        ("e: try [read %s] e/id" % dead, "== no-connect"),
        ("e/arg1 = %s" % dead, "== true"),
        ("type? e/arg2", "== string!"),
    ]
    script = []
    for inp, _ in cases:
        script.append('print "%s"' % MARK)
        script.append(inp)
    proc = subprocess.run([exe, "--cli"], input="\n".join(script) + "\n",
                          capture_output=True, text=True, timeout=120)
    got = proc.stdout.split(MARK + "\n")[1:]
    failed = 0
    for i, (inp, want) in enumerate(cases):
        out = got[i].rstrip("\n").split("\n")[0] if i < len(got) else "<no output>"
        if out != want:
            failed += 1
            print("FAIL %s\n  expected %s\n  got      %s" % (inp, want, out))

    # What went out on the wire.
    def find(method, path):
        return [r for r in RECORDED if r["method"] == method and r["path"] == path]

    def names(r):
        return [k.lower() for k, _ in r["headers"]]

    checks = []
    head = find("HEAD", "/echo")
    checks.append(("HEAD sent once", len(head) == 1))
    if head:
        checks.append(("HEAD has the three default headers and Host only",
                       sorted(names(head[0])) ==
                       ["accept-charset", "content-type", "host", "user-agent"]))
        checks.append(("User-Agent verbatim",
                       dict(head[0]["headers"]).get("User-Agent") ==
                       "Mozilla/5.0 (Windows NT 6.1; Win64; x64)"))
    put = find("PUT", "/echo")
    checks.append(("PUT sends one header, Host and Content-Length",
                   bool(put) and sorted(names(put[0])) ==
                   ["content-length", "host", "x-token"] and put[0]["body"] == b"body\ntext"))
    post = [r for r in find("POST", "/echo") if r["body"] == b"\x00\x01"]
    checks.append(("header values formed", bool(post) and
                   ("X-N", "12") in post[0]["headers"] and ("X-T", "<b>") in post[0]["headers"]))
    empty = [r for r in find("POST", "/echo") if r["body"] == b""]
    checks.append(("an empty header block sends no header at all", bool(empty) and
                   sorted(names(empty[0])) == ["content-length", "host"]))
    plain_post = [r for r in find("POST", "/echo") if r["body"] == b"a=1"]
    checks.append(("a string is POSTed with the defaults", bool(plain_post) and
                   "content-type" in names(plain_post[0]) and
                   "accept" not in names(plain_post[0]) and
                   "expect" not in names(plain_post[0])))
    checks.append(("GET sends no Accept", all("accept" not in names(r)
                                              for r in find("GET", "/plain"))))
    for name, ok in checks:
        if not ok:
            failed += 1
            print("FAIL wire check: %s" % name)
    server.shutdown()
    if proc.returncode not in (0, 1):
        print("vyr exited with status %d\n%s" % (proc.returncode, proc.stderr[-2000:]))
        failed += 1
    print("%d passed, %d failed" % (len(cases) + len(checks) - failed, failed))
    sys.exit(1 if failed else 0)


if __name__ == "__main__":
    main()
