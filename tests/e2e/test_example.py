"""The example installer that the README points to, built for the target under test,
against a local server."""

import hashlib
import json
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from unittest import mock

from installer import DIST, ROOT, TARGET, makensis_target_args, run_wine
from test_server import Response, TestServer  # on the path through installer
from wine import reg_add, reg_delete, virtual_display

# The prefix's MachineGuid, as the tests set it: the machine id is computed from it here.
MACHINE_GUID = "6f1b3c2a-9d4e-4b7a-8c1d-2e3f4a5b6c7d"
CRYPTOGRAPHY = r"HKLM\SOFTWARE\Microsoft\Cryptography"


def set_machine_guid(guid=MACHINE_GUID):
    """Sets the GUID where the system keeps it, in the 64-bit view, none in a 32-bit view of
    its own (in a 32-bit prefix both are one); None removes it."""
    reg_delete(CRYPTOGRAPHY, "MachineGuid", view=["/reg:32"])
    if guid:
        reg_add(CRYPTOGRAPHY, "MachineGuid", "REG_SZ", guid, view=["/reg:64"])
    else:
        reg_delete(CRYPTOGRAPHY, "MachineGuid", view=["/reg:64"])


def machine_id(salt):
    return hashlib.sha256((salt + MACHINE_GUID).encode()).hexdigest()[:32]


def readme_installers():
    with open(os.path.join(ROOT, "README.md")) as readme:
        return [b for b in re.findall(r"```nsis\n(.*?)```", readme.read(), re.S) if "OutFile" in b]


def click_through(installer, steps):
    """Runs the consent recipe's installer on the virtual display: from its welcome page the
    `steps` (keys, then the caption of the page they lead to), Next to the folder's page, Install.
    One xdotool command: each search waits for its page, and the keys go to the window it found."""
    typing = ["xdotool", "search", "--sync", "--name", "^Editor Setup$"]
    for keys, caption in steps + [(["alt+n"], "Editor Setup ")]:
        typing += ["key", "--window", "%1", *keys, "search", "--sync", "--name", "^%s$" % caption]
    running = subprocess.Popen(["wine", installer], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        subprocess.run(typing + ["key", "--window", "%1", "alt+i"], timeout=60, capture_output=True, check=True)
        running.wait(timeout=60)  # the installer closes itself once done
    finally:
        running.kill()


class Example(unittest.TestCase):
    def test_reports_start_and_success_and_waits_for_them(self):
        self.check_funnel(0, 0, [("install_success", "done", None)], ["install_success sent: HTTP 200"], "2 taken, 0")

    def test_reports_a_failure_with_its_step_and_error_code(self):
        self.check_funnel(5, 2, [("install_failure", "prerequisite", "5")], ["install_failure queued: 1"], "2 taken, 0")

    def test_a_success_report_not_taken_goes_again_with_the_reason(self):
        self.check_funnel(0, 0, [("install_success", "done", None), ("install_success", "done", "http 503")],
                          ["install_success sent: HTTP 503", "install_success not delivered: http 503"], "2 taken, 1",
                          503)

    def test_a_format_given_at_build_time_shapes_every_report(self):
        self.check_funnel(0, 0, [("install_success", "done", None)], ["install_success sent: HTTP 200"], "2 taken, 0",
                          defines=["-DKESTREL_FORMAT=PostHog", "-DKESTREL_KEY=phc_example"])

    def test_the_uninstall_joins_its_install_by_the_machine_id(self):
        set_machine_guid()
        bodies = self.check_funnel(0, 0, [("install_success", "done", None), ("uninstall", None, None)],
                                   ["install_success sent: HTTP 200"], "2 taken, 0", uninstall=True,
                                   defines=["-DKESTREL_FORMAT=PostHog", "-DKESTREL_KEY=phc_example",
                                            "-DKESTREL_MACHINE_SALT=kestrel-example"])
        self.assertEqual({b["distinct_id"] for b in bodies}, {machine_id("kestrel-example")})
        self.assertFalse(any("$process_person_profile" in b["properties"] for b in bodies))

    def test_every_complete_installer_in_the_readme_compiles(self):
        blocks = readme_installers()
        # The quick start, the uninstaller, the page where the user cancelled, why installs fail,
        # the consent recipe.
        self.assertEqual(len(blocks), 5)
        work = self.enterContext(tempfile.TemporaryDirectory(prefix="kestrel-readme-"))
        for number, block in enumerate(blocks):
            built = subprocess.run(["makensis", "-V2", "-XTarget " + TARGET, *makensis_target_args(),
                                    "-X!addincludedir " + DIST + "/Include", "-"], input=block, cwd=work,
                                   capture_output=True, text=True)
            self.assertEqual(built.returncode, 0, "block %d: %s" % (number, built.stdout + built.stderr))

    def test_the_consent_recipe_asks_first_and_its_uninstaller_follows_the_answer(self):
        set_machine_guid()
        page, funnel = "Editor Setup: Usage reports", ["install_start", "install_success", "uninstall_start",
                                                       "uninstall_success"]
        # The installer's command line, or the keys typed on its pages on a display (the box ticked,
        # Back, unticked); with the README's change for reports by the run's id without consent, and
        # DO_NOT_TRACK; the id and person profile of the reports that arrive, install and uninstall.
        rows = ((["/S"], None, False, "", []),
                (["/S", "/KESTRELCONSENT=1"], None, False, "", [(machine_id("editor-7f3a"), None)] * 4),
                ([], [(["alt+n"], page), (["space", "alt+b"], "Editor Setup"), (["alt+n"], page), (["space"], page)],
                 True, "", [("run", False)] * 4),
                ([], [], True, "1", []))  # no page to ask on
        for args, steps, run_id_reports, do_not_track, ids in rows:
            with self.subTest(args=args, steps=steps, do_not_track=do_not_track), \
                    mock.patch.dict(os.environ, DO_NOT_TRACK=do_not_track):
                bodies = self.run_consent_recipe(args, steps, run_id_reports)
                self.assertEqual([(b["event"], "run" if b["distinct_id"] == b["properties"]["session_id"]
                                   else b["distinct_id"], b["properties"].get("$process_person_profile"))
                                  for b in bodies], [(event, *i) for event, i in zip(funnel, ids)])

    def run_consent_recipe(self, args, steps, run_id_reports):
        """The README's consent recipe reporting to a local server, run with `args`, or clicked
        through `steps` on a virtual display, then uninstalled silently. Returns the bodies."""
        block = [b for b in readme_installers() if "KESTREL_PAGE_CONSENT" in b][0]
        if run_id_reports:
            self.assertIn("  StrCpy $reports $consent", block)
            block = block.replace("  StrCpy $reports $consent", "  StrCpy $reports 1", 1)
        work = self.enterContext(tempfile.TemporaryDirectory(prefix="kestrel-consent-"))
        exe = os.path.join(work, "editor-setup.exe")
        with TestServer() as server:
            subprocess.run(["makensis", "-V2", "-XTarget " + TARGET, "-XAutoCloseWindow true", *makensis_target_args(),
                            "-X!addincludedir " + DIST + "/Include", "-"], cwd=work, check=True, capture_output=True,
                           input=block.replace("https://us.i.posthog.com/i/v0/e/", server.url("/i/v0/e/")), text=True)
            if steps is None:
                run_wine([exe] + args, timeout=60)
            else:
                with virtual_display():
                    click_through(exe, steps)
            folder = run_wine(["cmd", "/c", "echo %LOCALAPPDATA%\\Editor"])[1].decode().strip()
            run_wine([folder + "\\uninstall.exe", "/S", "_?=" + folder], timeout=60)
            return [json.loads(r.body) for r in server.requests]

    def check_funnel(self, prerequisite_exit, installer_exit, last_reports, log_lines, tally, success_status=200,
                     defines=(), uninstall=False):
        work = tempfile.mkdtemp(prefix="kestrel-example-")
        self.addCleanup(shutil.rmtree, work, True)
        with TestServer() as server:
            answers = [None, Response(success_status)]  # the start, the success
            server.responder = lambda request: answers.pop(0) if answers else None
            subprocess.run(["makensis", "-V2", "-NOCD", *makensis_target_args(),
                            "-X!addincludedir " + os.path.join(DIST, "Include"),
                            "-DKESTREL_URL=" + server.url("/v1/events"), "-DPREREQUISITE_EXIT=%d" % prerequisite_exit,
                            *defines,
                            os.path.join(ROOT, "examples", "report.nsi")], cwd=work, check=True)
            exit_code, output = run_wine(["report-example.exe"], cwd=work, timeout=60)
            if uninstall:  # in place, as an installed uninstaller runs
                run_wine(["uninstall-example.exe", "_?=Z:" + work.replace("/", "\\")], cwd=work, timeout=60)
            bodies = [json.loads(r.body) for r in server.requests]
        # PostHog's body keeps the script's fields in its properties.
        docs = [dict(b["properties"], event=b["event"]) for b in bodies] if defines else bodies
        self.assertEqual(exit_code, installer_exit, output)
        self.assertEqual([(d["event"], d.get("step"), d.get("error_code") or d.get("delivery_error")) for d in docs],
                         [("install_start", "start", None)] + last_reports)
        with open(os.path.join(work, "report-example.log")) as log:
            self.assertEqual(log.read().splitlines(), [
                *(["format PostHog: 1"] if defines else []), "install_start queued: 1", *log_lines,
                "NSWaitDone: 1 (1: every report finished)", "reports: %s failed, 0 waiting" % tally])
        return bodies


if __name__ == "__main__":
    unittest.main()
