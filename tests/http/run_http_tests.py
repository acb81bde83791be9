#!/usr/bin/env python3
"""Runs the http test executable under Wine against local test servers.

usage: run_http_tests.py <http_tests.exe> [gtest arguments]

Starts the servers on 127.0.0.1, hands their base URLs to the tests in KESTREL_TEST_*
variables (Wine passes them through), runs `wine <exe>`, prints what the servers
recorded and exits with the tests' exit code.

Paths every answering server serves:
  /echo...              200, the request as received: method, target, header lines, a blank
                        line, the body in hex (ASCII throughout, so no re-encoding alters it)
  /status/<n>           status n, body "body of <n>"
  /empty                200, empty body
  /big                  200, lines "0000000\\n" to "0039999\\n" (320 000 bytes)
  /utf8                 200, UTF_8_BODY
  /cookies              200, two Set-Cookie headers
  /control/release?answer=1|0   lets the hang server's held connections go; body: how many
  /control/closed       body: how many answered held connections the client has closed
  /answer/...           the shared answers of test_server.answers
Other paths get the server's own answer (for the truncating server: TRUNCATED_BODY).
"""

import os
import subprocess
import sys
import urllib.parse

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "support"))
from wine import run_wine  # noqa: E402
from test_server import Response, TestServer, answers, unused_port  # noqa: E402

BIG_BODY = b"".join(b"%07d\n" % i for i in range(40000))
# Characters inside code page 1252 (e acute, euro sign) and outside it (a CJK character, an
# emoji), a NUL, and a byte that is never valid UTF-8.
UTF_8_BODY = "caf\u00e9 \u20ac \u4e2d \U0001F600 \0end ".encode("utf-8") + b"\xff"
TRUNCATED_BODY = BIG_BODY[:5000]
RUN_LIMIT_SECONDS = 150


def echo(request):
    lines = [request.method, request.target] + request.header_lines + ["", request.body.hex()]
    return Response(200, "\n".join(lines).encode("latin-1"))


def make_router(hang):
    def route(request):
        path, _, query = request.target.partition("?")
        if path.startswith("/answer/"):
            return answers(request)
        if path == "/echo/held":
            # with Connection: close, so that the client closes the late connection instead of
            # keeping it for later requests
            return Response(200, echo(request).body, close=True)
        if path.startswith("/echo"):
            return echo(request)
        if path.startswith("/status/"):
            code = int(path[len("/status/"):])
            return Response(code, "body of %d" % code)
        if path == "/empty":
            return Response(200, b"")
        if path == "/big":
            return Response(200, BIG_BODY)
        if path == "/utf8":
            return Response(200, UTF_8_BODY, [("Content-Type", "text/plain; charset=utf-8")])
        if path == "/cookies":
            return Response(200, b"cookies", [("Set-Cookie", "a=1"), ("Set-Cookie", "b=2")])
        if path == "/control/release":
            answer = urllib.parse.parse_qs(query).get("answer", ["1"])[0] == "1"
            return Response(200, str(hang.release(answer)))
        if path == "/control/closed":
            return Response(200, str(hang.closed_by_client))
        return None  # the server's own answer
    return route


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    hang = TestServer(mode="hang")
    servers = {
        "HTTP": TestServer(),
        "HTTPS": TestServer(tls=True),
        # WinINet reuses a kept-alive connection whose certificate was already accepted:
        # strict certificate checks need a server no relaxed request has reached.
        "HTTPS_UNSEEN": TestServer(tls=True),
        "HANG": hang,
        "SLOW": TestServer(mode="slow", delay=0.5),
        "TRUNCATE": TestServer(mode="truncate", body=TRUNCATED_BODY, delay=0.3),
    }
    env = dict(os.environ)
    try:
        for name, server in servers.items():
            server.responder = make_router(hang)
            server.start()
            env["KESTREL_TEST_" + name] = server.url("")
        env["KESTREL_TEST_REFUSED"] = "http://127.0.0.1:%d" % unused_port()
        try:
            rc, output = run_wine(sys.argv[1:], env=env, timeout=RUN_LIMIT_SECONDS)
            sys.stdout.write(output.decode("latin-1"))
        except subprocess.TimeoutExpired:
            print("http tests did not finish within %d s" % RUN_LIMIT_SECONDS)
            rc = 1
        for name, server in servers.items():
            targets = " ".join(r.method + " " + r.target for r in server.requests)
            print("%-8s %2d request(s): %s" % (name, len(server.requests), targets))
    finally:
        for server in servers.values():
            server.stop()
    return rc


if __name__ == "__main__":
    sys.exit(main())
