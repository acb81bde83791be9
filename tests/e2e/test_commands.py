"""The commands in a real NSIS installer under Wine."""

import os
import re
import shutil
import unittest

from installer import UNICODE, run_script

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
        self.assertEqual(run.values, ["0", "1", "1", "0", "0", "1", "1", "0", "0"])
        wait_ms, after_stop_ms = run.clocks
        self.assertLess(wait_ms, 1000)
        self.assertLess(after_stop_ms, 1000)  # nothing waits once the worker has ended

        lines = [TRACE_LINE.match(t) for t in run.traces]
        self.assertTrue(all(lines), run.traces)
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
        ])
        hour, minute, second = (int(lines[0].group(i)) for i in (1, 2, 3))
        self.assertTrue(hour < 24 and minute < 60 and second < 60)

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
        folder = unix_path([line[4:] for line in run.results if line.startswith("dir=")][0])
        left_behind = os.path.exists(folder)
        shutil.rmtree(folder, ignore_errors=True)
        self.assertTrue(os.path.isdir(os.path.dirname(folder)), folder)
        self.assertFalse(left_behind, "the plug-in folder was left behind: " + folder)


def unix_path(windows_path):
    """Where a path of the Wine prefix lies on disk: dosdevices maps the drive letters."""
    prefix = os.environ.get("WINEPREFIX", os.path.expanduser("~/.wine"))
    drive, rest = windows_path[:2].lower(), windows_path[2:].replace("\\", "/").lstrip("/")
    return os.path.join(prefix, "dosdevices", drive, rest)


if __name__ == "__main__":
    unittest.main()
