"""Builds NSIS test installers with makensis and runs them under Wine.

A test script records every value a command pushed, one per line, into the file
named by RESULT_FILE; Wine's debugstr channel gives the plug-in's trace lines.
"""

import codecs
import os
import re
import shutil
import subprocess
import tempfile
import time
from dataclasses import dataclass, field

E2E_DIR = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(E2E_DIR))
DIST = os.environ.get("KESTREL_DIST", os.path.join(ROOT, "dist"))

_TRACE = re.compile(r'^[0-9a-f]+:warn:debugstr:OutputDebugStringA "(.*)"$')


def windows_path(path):
    """Wine sees the Unix root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def _unescape(text):
    # Wine writes the text C-style: \t \n \" \\ and \xNN for other bytes.
    return codecs.escape_decode(text.encode("latin-1"))[0]


@dataclass
class Run:
    exit_code: int
    seconds: float
    results: list = field(default_factory=list)   # pushed values, as text
    traces: list = field(default_factory=list)    # debugger output, as bytes
    stderr: str = ""

    @property
    def faulted(self):
        return "Unhandled" in self.stderr or "page fault" in self.stderr


class Installer:
    """One compiled test installer; `defines` become !define values."""

    def __init__(self, script, **defines):
        self.work = tempfile.mkdtemp(prefix="kestrel-e2e-")
        self.exe = os.path.join(self.work, "installer.exe")
        self.result_file = os.path.join(self.work, "results.txt")
        args = ["makensis", "-V2", "-INPUTCHARSET", "CP1252",
                "-DPLUGIN_DIR=" + os.path.join(DIST, "Plugins", "x86-ansi"),
                "-DINCLUDE_DIR=" + os.path.join(DIST, "Include"),
                "-DOUT_FILE=" + self.exe,
                "-DRESULT_FILE=" + windows_path(self.result_file)]
        args += ["-D%s=%s" % item for item in defines.items()]
        args.append(os.path.join(E2E_DIR, script))
        built = subprocess.run(args, cwd=E2E_DIR, capture_output=True, text=True)
        if built.returncode != 0:
            raise RuntimeError("makensis failed:\n" + built.stdout + built.stderr)

    def run(self, timeout=60):
        env = dict(os.environ, WINEDEBUG="-all,+debugstr")
        start = time.monotonic()
        done = subprocess.run(["wine", self.exe], cwd=self.work, env=env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, timeout=timeout)
        seconds = time.monotonic() - start
        stderr = done.stderr.decode("latin-1")
        traces = [_unescape(m.group(1)) for m in map(_TRACE.match, stderr.splitlines()) if m]
        results = []
        if os.path.exists(self.result_file):
            with open(self.result_file, "rb") as f:
                results = f.read().decode("latin-1").splitlines()
        return Run(done.returncode, seconds, results, traces, stderr)

    def cleanup(self):
        shutil.rmtree(self.work, ignore_errors=True)


def run_script(script, timeout=60, **defines):
    installer = Installer(script, **defines)
    try:
        return installer.run(timeout)
    finally:
        installer.cleanup()
