"""The example installer that the README points to, built for the target under test,
against a local server."""

import os
import re
import shutil
import subprocess
import tempfile
import unittest

from installer import DIST, ROOT, makensis_target_args, run_wine
from test_server import TestServer  # on the path through installer


class Example(unittest.TestCase):
    def test_reports_start_and_success_and_waits_for_them(self):
        work = tempfile.mkdtemp(prefix="kestrel-example-")
        self.addCleanup(shutil.rmtree, work, True)
        with TestServer() as server:
            subprocess.run(["makensis", "-V2", "-NOCD", *makensis_target_args(),
                            "-X!addincludedir " + os.path.join(DIST, "Include"),
                            "-DKESTREL_URL=" + server.url("/v1/events"),
                            os.path.join(ROOT, "examples", "report.nsi")], cwd=work, check=True)
            exit_code, output = run_wine(["report-example.exe"], cwd=work, timeout=60)
            events = [re.search(rb'"event":"(\w+)"', r.body).group(1) for r in server.requests]
        self.assertEqual(exit_code, 0, output)
        self.assertEqual(events, [b"install_start", b"install_success"])
        with open(os.path.join(work, "report-example.log")) as log:
            self.assertEqual(log.read().splitlines(), [
                "install_start queued: 1", "install_success sent: HTTP 200",
                "NSWaitDone: 1 (1: every report finished)"])


if __name__ == "__main__":
    unittest.main()
