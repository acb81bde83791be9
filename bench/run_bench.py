#!/usr/bin/env python3
"""Prints the benchmark figures of one NSIS target (KESTREL_TARGET, as for the tests),
measured under Wine against a local server that acknowledges every packet at once, so
that the figures measure the code rather than delayed-acknowledgement timers:

  - NSPostAsync and NSPost on a real installer's thread (median, p90), plain and https (each
    https report on a new connection: relaxed checks keep none alive);
  - one POST through SendHttpRequest alone, plain and https;
  - the floor: one bare WinINet POST of the same size with fresh handles;
  - NSWaitDone -1 after the last of 50 queued reports;
  - private bytes and threads after 20 and after 2,000 reports.

usage: run_bench.py [count]   (default 50; needs scripts/build for the target first)
"""

import os
import statistics
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(ROOT, "tests", "e2e"))
from installer import TARGET, Installer, plugin_dir, windows_path  # noqa: E402
from test_server import TestServer  # noqa: E402  (on the path through installer)
from wine import run_wine  # noqa: E402

BENCH_BUILD = os.path.join(ROOT, "build", TARGET, "bench")


def command_costs(url, count):
    installer = Installer(os.path.join(HERE, "command_cost.nsi"), COUNT=count, URL=url)
    try:
        run = installer.run(timeout=600)
    finally:
        installer.cleanup()
    if run.exit_code != 0 or not run.results:
        sys.exit("the installer failed (%d):\n%s" % (run.exit_code, run.stderr))
    lines = [line.split() for line in run.results]
    frequency = int(lines[0][1])
    samples = {"async": [], "sync": []}
    for label, before, after, pushed in lines[1:]:
        samples[label].append(((int(after) - int(before)) * 1000.0 / frequency, pushed))
    for label, command in (("async", "NSPostAsync"), ("sync", "NSPost")):
        times = sorted(ms for ms, _ in samples[label])
        p90 = times[min(len(times) - 1, len(times) * 9 // 10)]
        pushed = ",".join(sorted({p for _, p in samples[label]}))
        print("%-44s n=%-5d median %7.2f ms  p90 %7.2f ms  pushed %s" % (
            "%s (%s) on the installer's thread" % (command, url.split(":")[0]), len(times),
            statistics.median(times), p90, pushed))


def program(name, *args):
    code, output = run_wine([os.path.join(BENCH_BUILD, name + ".exe")] + list(args), timeout=600)
    sys.stdout.write(output.decode("latin-1"))
    if code != 0:
        sys.exit("%s failed (%d)" % (name, code))


def main():
    count = int(sys.argv[1]) if len(sys.argv) > 1 else 50
    print("== %s" % TARGET)
    with TestServer() as server, TestServer(tls=True) as secure:
        url = server.url("/bench")
        for target_url in (url, secure.url("/bench")):
            command_costs(target_url, count)
            program("http_post_bench", target_url, str(count))
        program("plugin_bench", windows_path(os.path.join(plugin_dir(), "Kestrel.dll")), url)


if __name__ == "__main__":
    main()
