"""The example installer that the README points to, built for the target under test,
against a local server."""

import json
import os
import shutil
import subprocess
import tempfile
import unittest

from installer import DIST, ROOT, makensis_target_args, run_wine
from test_server import TestServer  # on the path through installer


class Example(unittest.TestCase):
    def test_reports_the_funnel_of_a_run_and_waits_for_it(self):
        # The prerequisite's exit code, the installer's, the reports' events, steps and error
        # codes, and the second line of its log.
        for prerequisite, code, reports, second in (
                (0, 0, [("install_start", "start", None), ("install_success", "done", None)],
                 "install_success sent: HTTP 200"),
                (5, 2, [("install_start", "start", None), ("install_failure", "prerequisite", "5")],
                 "install_failure queued: 1")):
            work = tempfile.mkdtemp(prefix="kestrel-example-")
            self.addCleanup(shutil.rmtree, work, True)
            with TestServer() as server:
                subprocess.run(["makensis", "-V2", "-NOCD", *makensis_target_args(),
                                "-X!addincludedir " + os.path.join(DIST, "Include"),
                                "-DKESTREL_URL=" + server.url("/v1/events"), "-DPREREQUISITE_EXIT=%d" % prerequisite,
                                os.path.join(ROOT, "examples", "report.nsi")], cwd=work, check=True)
                exit_code, output = run_wine(["report-example.exe"], cwd=work, timeout=60)
                docs = [json.loads(r.body) for r in server.requests]
            self.assertEqual(exit_code, code, output)
            self.assertEqual([(d["event"], d["step"], d.get("error_code")) for d in docs], reports)
            self.assertEqual(len({d["session_id"] for d in docs}), 1)
            with open(os.path.join(work, "report-example.log")) as log:
                self.assertEqual(log.read().splitlines(), [
                    "install_start queued: 1", second, "NSWaitDone: 1 (1: every report finished)"])


if __name__ == "__main__":
    unittest.main()
