"""The commands in a real NSIS installer under Wine."""

import os
import re
import shutil
import time
import unittest
from unittest import mock

from installer import TARGET, UNICODE, Steps, plugin_dir, run_script
from test_server import DroppedSyns, TestServer, answers
from test_example import machine_id, set_machine_guid
from wine import reg_add, reg_delete, requests_of, traced_wine_server

# From the section's end to the process's end with nothing left to do, Wine's own exit
# included, plus the second that queued reports are given at the host's unload.
END_LIMIT_SECONDS = 1.5

TRACE_LINE = re.compile(
    rb"^\$\$ \[(\d\d):(\d\d):(\d\d)\.(\d{3})\] [^\t]*\\nsis\\include\\pluginapi\.cpp<(60|72)>:\t"
    rb"(popstring(?:A|W|n|nW)) (.*) \((\d+)\)\n$", re.S)
# The pops as a Unicode build names them: its texts are UTF-16 on the host's stack.
POP, BOUNDED_POP = (b"popstringW", b"popstringnW") if UNICODE else (b"popstringA", b"popstringn")


class Commands(unittest.TestCase):
    def test_commands_push_their_numbers_and_trace_every_pop(self):
        run = run_script("commands.nsi")
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.exit_code, 3)
        self.assertEqual(run.values, ["0", "1", "1", "0", "0", "1", "1", "0", "0", "0", "0", "0"])
        wait_ms, after_stop_ms = run.clocks
        self.assertLess(wait_ms, 1000)
        self.assertLess(after_stop_ms, 1000)  # nothing waits once the worker has ended

        lines = [TRACE_LINE.match(t) for t in run.traces if b"report refused" not in t and b"\tunload: " not in t]
        self.assertTrue(all(lines), run.traces)
        unload = [t.split(b"\t")[1] for t in run.traces if b"\tunload: " in t]
        self.assertEqual(unload, [b"unload: reports taken 0, failed 0, waiting 0\n"])  # final at NSWaitDone
        popped = [(m.group(5), m.group(6), m.group(7), int(m.group(8))) for m in lines]
        self.assertEqual(popped, [
            (b"60", POP, b"install_start&beta&1.2.3", 24),
            (b"60", POP, b"queued", 6),
            (b"60", POP, b"queued", 6),
            (b"60", POP, b"cleared", 7),
            (b"60", POP, b"", 0),
            (b"72", BOUNDED_POP, b"-1", 2),
            (b"72", BOUNDED_POP, b"-1", 2),
            (b"60", POP, b"after the stop", 14),
            (b"60", POP, b"after the stop", 14),
            (b"60", POP, b"step", 4),
            (b"60", POP, b"...", 14),  # a field's value, a URL's credentials and query values never show
            (b"60", POP, b"https://127.0.0.1:9/v1/e?api_key=...&v=...#...", 57),
            (b"60", POP, b"e&b&1", 5),
        ])
        hour, minute, second = (int(lines[0].group(i)) for i in (1, 2, 3))
        self.assertTrue(hour < 24 and minute < 60 and second < 60)

    def test_the_machine_may_turn_reports_off(self):
        with TestServer() as server:
            for do_not_track, hive, value, on in (  # a policy of 0 is as good as none
                ("1", "HKCU", 0, False), ("true", "HKLM", 0, False), ("0", "HKCU", 0, True), ("false", "HKLM", 0, True),
                ("", "HKCU", 1, False), ("", "HKLM", 1, False), ("", "HKCU", 0, True), ("", "HKLM", 0, True)):
                with self.subTest(do_not_track=do_not_track, hive=hive, value=value):
                    server.clear_requests()
                    policy = hive + r"\SOFTWARE\Policies\Kestrel"
                    try:
                        reg_add(policy, "DisableReports", "REG_DWORD", str(value))
                        with mock.patch.dict(os.environ, DO_NOT_TRACK=do_not_track):
                            run = (Steps().raw("Kestrel::NSEnabled", "!insertmacro Record")
                                   .add_context().set_field("step", "files")
                                   .post_async(server.url("/queued"), "a&b&1").post(server.url("/waited"), "b&b&1")
                                   .get().wait_done(-1).tally().run())
                    finally:
                        reg_delete(policy)
                    pops = [t for t in run.traces if b"pluginapi" in t]
                    self.assertEqual((run.values, [r.target for r in server.requests], len(pops)),
                                     (["1", "1", "1", "1", "200", "200", "1", "2 0 0"], ["/queued", "/waited"], 8) if on
                                     else (["0", "0", "0", "0", "0", "0", "1", "0 0 0"], [], 8))  # a trace line a pop, as always

    def test_the_machine_id_is_the_salted_hash_of_the_machine_guid_in_every_build(self):
        # A salt beyond ASCII is hashed as UTF-8 by every build, the ANSI one from its code page.
        ids = [machine_id("product-a"), machine_id("\xe9diteur-2"), ""]
        steps = Steps().machine_id("product-a").machine_id("\xe9diteur-2").machine_id("")
        set_machine_guid()
        # A 32-bit installer reads the 64-bit view of a 64-bit system (once the x86 DLL is built).
        wow64 = TARGET == "amd64-unicode" and os.path.isfile(os.path.join(plugin_dir("x86-unicode"), "Kestrel.dll"))
        for target in [TARGET] + ["x86-unicode"] * wow64:
            with self.subTest(target):
                run = steps.run(target=target)
                self.assertEqual(run.values, ids)
                self.assertNotIn(ids[0].encode(), b"".join(run.traces))
                self.assertIn(b"\tNSMachineId: empty salt\n", b"".join(run.traces))
        with mock.patch.dict(os.environ, DO_NOT_TRACK="1"):
            self.assertEqual(Steps().machine_id("product-a").run().values, [""])
        set_machine_guid(None)
        try:
            self.assertEqual(Steps().machine_id("product-a").run().values, [""])
        finally:
            set_machine_guid()

    def test_wait_done_first_ends_the_worker_promptly(self):
        run = run_script("wait_first.nsi")
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.values, ["1", "0"])
        self.assertLess(run.clocks[0], 500)

    def test_installer_ends_cleanly_without_wait_done(self):
        run = run_script("no_wait.nsi")
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.exit_code, 5)
        self.assertEqual(run.values, ["1", "1"])

    def test_plugin_folder_is_deleted_without_wait_done(self):
        run = run_script("plugins_dir.nsi")
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.values[:2], ["1", "0"])
        folder, left_behind = plugin_folder_left_behind(run)
        self.assertTrue(os.path.isdir(os.path.dirname(folder)), folder)
        self.assertFalse(left_behind, "the plug-in folder was left behind: " + folder)

    def test_an_answer_the_server_holds_lets_the_installer_end_and_the_plugin_go(self):
        with TestServer() as server, DroppedSyns() as dropped, traced_wine_server() as server_trace:
            server.responder = answers
            # The post's number and band, NSWaitDone's limit, whether $PLUGINSDIR must go: under
            # Wine a call blocked in WinINet (a connect in SYN-SENT, a read of a dribble) cannot
            # be cut short, and keeps the module mapped to the end.
            # Answers left unread are kept open, never drained: however many, nothing of the
            # plug-in runs on. The module is pinned just when it cannot go, and the unload never
            # suspends a thread or reads its context (Wine's server traces every request).
            for name, count, url, pushed, (least, most), wait_ms, must_go in (
                    ("endless", 12, server.url("/answer/endless"), "200", (0, 2500), 2500, True),
                    ("dribbled-chunk-size", 1, server.url("/answer/dribbled-chunk-size"), "200",
                     (4500, 10500), 2500, False),
                    ("dropped-syns", 1, dropped.url("/"), "0", (4900, 5500), 500, False)):
                with self.subTest(name):
                    steps = Steps()
                    for _ in range(count):
                        steps.start_clock().post(url, name + "&ch&1").record_clock()
                    steps.start_clock().wait_done(-1).record_clock()
                    steps.raw('!insertmacro WriteResult "dir=$PLUGINSDIR"')
                    server_trace()  # what the prefix did before this run
                    run, end_seconds = run_to_its_end(steps)
                    sent = requests_of(server_trace(), "installer.exe")
                    folder, left_behind = plugin_folder_left_behind(run)
                    touched = [name for name in sent if name in ("suspend_thread", "get_thread_context")]
                    print("\n%s x%d: pushed %s in at most %d ms, NSWaitDone %s in %d ms, installer ended "
                          "%.2f s after its section, plug-in folder %s"
                          % (name, count, run.values[0], max(run.clocks[:count]), run.values[count],
                             run.clocks[count], end_seconds, "left behind" if left_behind else "removed"))
                    self.assertFalse(run.faulted, run.stderr[-3000:])
                    self.assertEqual(run.values[:count + 1], [pushed] * count + ["1"])
                    self.assertTrue(all(least <= ms <= most for ms in run.clocks[:count]), run.clocks)
                    self.assertLessEqual(run.clocks[count], wait_ms)
                    self.assertLess(end_seconds, END_LIMIT_SECONDS)
                    self.assertIn("new_thread", sent)  # the installer's own requests are in the trace
                    self.assertEqual(touched, [])
                    self.assertEqual(run.pinned, not must_go)
                    if must_go:
                        self.assertFalse(left_behind, "the plug-in folder was left behind: " + folder)

    def test_reports_still_queued_at_the_end_go_out_without_holding_the_installer(self):
        with TestServer(mode="slow", delay=0.2) as server:
            steps = Steps()
            for i in range(3):
                steps.post_async(server.url("/queued/%d" % i), "queued&ch&%d" % i)
            run, end_seconds = run_to_its_end(steps)
            print("\nthree queued reports: installer ended %.2f s after its section" % end_seconds)
            self.assertFalse(run.faulted, run.stderr[-3000:])
            self.assertEqual(run.values[:3], ["1"] * 3)
            self.assertEqual([r.target for r in server.requests], ["/queued/0", "/queued/1", "/queued/2"])
            self.assertLess(end_seconds, END_LIMIT_SECONDS)


def run_to_its_end(steps):
    """Runs the steps; returns the run and the seconds from its section's end to its exit,
    by the wall clock that Wine shares with this process."""
    steps.raw('System::Call "kernel32::GetSystemTimeAsFileTime(*l .r1)"',
              '!insertmacro WriteResult "end=$1"')
    run = steps.run()
    ended = time.time()
    filetime = int([line[4:] for line in run.results if line.startswith("end=")][0])
    return run, ended - (filetime / 1e7 - 11644473600)  # 100 ns steps since 1601


def plugin_folder_left_behind(run):
    """The run's $PLUGINSDIR (written as "dir=…") on disk, and whether it was left behind;
    removed either way."""
    folder = unix_path([line[4:] for line in run.results if line.startswith("dir=")][0])
    left_behind = os.path.exists(folder)
    shutil.rmtree(folder, ignore_errors=True)
    return folder, left_behind


def unix_path(windows_path):
    """Where a path of the Wine prefix lies on disk: dosdevices maps the drive letters."""
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    drive, rest = windows_path[:2].lower(), windows_path[2:].replace("\\", "/").lstrip("/")
    return os.path.join(prefix, "dosdevices", drive, rest)


if __name__ == "__main__":
    unittest.main()
