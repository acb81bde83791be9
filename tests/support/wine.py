"""Runs Windows programs under Wine with their output going through a file.

Wine may start helper processes on the way (the desktop process, when a program
first needs a window, as COM does); they inherit the program's output handles and
outlive it, so a pipe handed to the program would never reach its end.
"""

import subprocess
import tempfile


def run_wine(args, timeout=None, **kwargs):
    """Runs `wine args…`; returns (exit code, standard output and error as bytes)."""
    with tempfile.TemporaryFile() as output:
        done = subprocess.run(["wine"] + list(args), stdin=subprocess.DEVNULL, stdout=output,
                              stderr=subprocess.STDOUT, timeout=timeout, **kwargs)
        output.seek(0)
        return done.returncode, output.read()
