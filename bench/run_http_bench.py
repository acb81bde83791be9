#!/usr/bin/env python3
"""Times SendHttpRequest against local servers, plain and https.

usage: run_http_bench.py <http_post_bench.exe> [count]   (default count: 50)
       e.g. build/x86-ansi/bench/http_post_bench.exe, or build/amd64-unicode/… with
       the 64-bit prefix (source scripts/env.sh; use_target amd64-unicode)

Runs the benchmark under Wine against a TestServer that acknowledges every read at once
(TCP_QUICKACK), so that the figures measure the client rather than delayed-ACK timers.
"""

import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "tests", "support"))
from test_server import TestServer  # noqa: E402
from wine import run_wine  # noqa: E402


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    exe = sys.argv[1]
    count = sys.argv[2] if len(sys.argv) > 2 else "50"
    rc = 0
    for tls in (False, True):
        with TestServer(tls=tls, status=200, body=b"ok") as server:
            code, output = run_wine([exe, server.url("/report"), count], timeout=300)
            sys.stdout.write(output.decode("latin-1"))
            rc = rc or code
    return rc


if __name__ == "__main__":
    sys.exit(main())
