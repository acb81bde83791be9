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


FUNNEL = ["install_start", "install_success", "uninstall_start", "uninstall_success"]


def readme_installers():
    with open(os.path.join(ROOT, "README.md")) as readme:
        return [b for b in re.findall(r"```nsis\n(.*?)```", readme.read(), re.S) if "OutFile" in b]


# On the consent recipe's pages after its welcome: the keys typed and the page they lead to, known
# by the window's caption: the box ticked, Back, the box unticked, on to the folder's page.
TICK_BACK_UNTICK = [(["alt+n"], "Editor Setup: Usage reports"), (["space", "alt+b"], "Editor Setup"),
                    (["alt+n"], "Editor Setup: Usage reports"), (["space"], "Editor Setup: Usage reports")]


def click_through(installer, steps):
    """Runs an installer of the consent recipe on the display: from its welcome page the `steps`,
    then Next to the folder's page, and Install. Each key waits for its page."""
    def shown(caption):
        found = subprocess.run(["xdotool", "search", "--sync", "--name", "^%s$" % caption], timeout=60,
                               capture_output=True, check=True)
        return found.stdout.split()[0]

    def keys(*names):
        subprocess.run(["xdotool", "key", "--window", window, *names], timeout=60, capture_output=True, check=True)

    running = subprocess.Popen(["wine", installer], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL)
    try:
        window = shown("Editor Setup")
        for typed, caption in steps + [(["alt+n"], "Editor Setup ")]:
            keys(*typed)
            shown(caption)
        keys("alt+i")  # the installer closes itself once done
        running.wait(timeout=60)
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
        # The quick start, the uninstaller, the page where the user cancelled, the consent recipe.
        self.assertEqual(len(blocks), 4)
        work = self.enterContext(tempfile.TemporaryDirectory(prefix="kestrel-readme-"))
        for number, block in enumerate(blocks):
            built = subprocess.run(["makensis", "-V2", "-XTarget " + TARGET, *makensis_target_args(),
                                    "-X!addincludedir " + DIST + "/Include", "-"], input=block, cwd=work,
                                   capture_output=True, text=True)
            self.assertEqual(built.returncode, 0, "block %d: %s" % (number, built.stdout + built.stderr))

    def test_the_consent_recipe_reports_after_a_yes_only_and_its_uninstaller_follows_it(self):
        set_machine_guid()
        for args, events in ((["/S"], []), (["/S", "/KESTRELCONSENT=1"], FUNNEL)):
            with self.subTest(args):
                bodies = self.run_consent_recipe(lambda exe: run_wine([exe] + args, timeout=60))
                self.assertEqual([(b["event"], b["distinct_id"]) for b in bodies],
                                 [(event, machine_id("editor-7f3a")) for event in events])

    def test_the_consent_page_ticked_then_unticked_after_back_sends_no_machine_id(self):
        set_machine_guid()
        with virtual_display():
            bodies = self.run_consent_recipe(lambda exe: click_through(exe, TICK_BACK_UNTICK), run_id_reports=True)
            with mock.patch.dict(os.environ, DO_NOT_TRACK="1"):  # no page to ask on
                self.assertEqual(self.run_consent_recipe(lambda exe: click_through(exe, []), run_id_reports=True), [])
        self.assertEqual([(b["event"], b["distinct_id"] == b["properties"]["session_id"],
                           b["properties"].get("$process_person_profile")) for b in bodies],
                         [(event, True, False) for event in FUNNEL])

    def run_consent_recipe(self, install, run_id_reports=False):
        """The README's consent recipe reporting to a local server, `install`ed (a function of the
        installer's path), then uninstalled silently; with `run_id_reports` changed as the README
        says for reports by the run's id without consent. Returns the bodies that arrived."""
        block = [b for b in readme_installers() if "KESTREL_PAGE_CONSENT" in b][0]
        if run_id_reports:
            self.assertIn("  StrCpy $reports $consent", block)
            block = block.replace("  StrCpy $reports $consent", "  StrCpy $reports 1", 1)
        work = self.enterContext(tempfile.TemporaryDirectory(prefix="kestrel-consent-"))
        with TestServer() as server:
            subprocess.run(["makensis", "-V2", "-XTarget " + TARGET, "-XAutoCloseWindow true", *makensis_target_args(),
                            "-X!addincludedir " + DIST + "/Include", "-"], cwd=work, check=True, capture_output=True,
                           input=block.replace("https://us.i.posthog.com/i/v0/e/", server.url("/i/v0/e/")), text=True)
            install(os.path.join(work, "editor-setup.exe"))
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
