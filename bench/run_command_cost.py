#!/usr/bin/env python3
"""Prints what NSPostAsync and NSPost cost an installer's thread, measured in a real
NSIS installer under Wine against a local server that acknowledges at once.

usage: run_command_cost.py [count]   (default 50; needs scripts/build x86-ansi first,
       which leaves the plug-in in dist/Plugins/x86-ansi)
"""

import os
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from test_server import TestServer  # noqa: E402
from wine import run_wine  # noqa: E402


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    work = tempfile.mkdtemp(prefix="kestrel-bench-")
    exe = os.path.join(work, "bench.exe")
    results = os.path.join(work, "results.txt")
    with TestServer() as server:
        subprocess.run(["makensis", "-V2",
                        "-DPLUGIN_DIR=" + os.path.join(ROOT, "dist", "Plugins", "x86-ansi"),
                        "-DOUT_FILE=" + exe, "-DCOUNT=%d" % count, "-DURL=" + server.url("/bench"),
                        "-DRESULT_FILE=Z:" + results.replace("/", "\\"),
                        os.path.join(HERE, "command_cost.nsi")], check=True)
        code, output = run_wine([exe], cwd=work)
        if code != 0:
            sys.exit("the installer failed (%d):\n%s" % (code, output.decode("latin-1")))
        received = len(server.requests)
    samples = {"async": [], "sync": []}
    with open(results) as f:
        lines = [line.split() for line in f]
    frequency = int(lines[0][1])
    for label, before, after, pushed in lines[1:]:
        samples[label].append(((int(after) - int(before)) * 1000.0 / frequency, pushed))
    for label, command in (("async", "NSPostAsync"), ("sync", "NSPost")):
        times = sorted(ms for ms, _ in samples[label])
        pushed = sorted({p for _, p in samples[label]})
        p90 = times[min(len(times) - 1, len(times) * 9 // 10)]
        print("%-11s n=%d median %.2f ms  p90 %.2f ms  max %.2f ms  pushed %s" % (
            command, len(times), statistics.median(times), p90, times[-1], ",".join(pushed)))
    print("reports received by the server: %d" % received)


if __name__ == "__main__":
    main()
