"""Builds NSIS test installers with makensis and runs them under Wine.

A test script records every value a command pushed, one per line, into the file
named by RESULT_FILE; Wine's debugstr channel gives the plug-in's trace lines.
"""

import codecs
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

E2E_DIR = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(E2E_DIR))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from wine import run_wine  # noqa: E402
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
    def values(self):
        """What the commands pushed, in order."""
        return [line for line in self.results if not line.startswith("ms=")]

    @property
    def clocks(self):
        """The milliseconds recorded by RecordClock, in order."""
        return [int(line[3:]) for line in self.results if line.startswith("ms=")]

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
        exit_code, output = run_wine([self.exe], cwd=self.work, env=env, timeout=timeout)
        seconds = time.monotonic() - start
        stderr = output.decode("latin-1")
        traces = [_unescape(m.group(1)) for m in map(_TRACE.match, stderr.splitlines()) if m]
        results = []
        if os.path.exists(self.result_file):
            with open(self.result_file, "rb") as f:
                results = f.read().decode("latin-1").splitlines()
        return Run(exit_code, seconds, results, traces, stderr)

    def cleanup(self):
        shutil.rmtree(self.work, ignore_errors=True)


def run_script(script, timeout=60, **defines):
    installer = Installer(script, **defines)
    try:
        return installer.run(timeout)
    finally:
        installer.cleanup()


def nsis_text(text):
    """NSIS code that leaves the bytes `text` in $R0, with control bytes made at run time."""
    escapes = {0x24: b"$$", 0x22: b'$\\"', 0x09: b"$\\t", 0x0D: b"$\\r", 0x0A: b"$\\n"}
    code = [b'StrCpy $R0 ""']
    literal = b""
    for byte in text:
        if byte in escapes:
            literal += escapes[byte]
        elif byte < 0x20 or byte == 0x7F:
            if literal:
                code.append(b'StrCpy $R0 "$R0' + literal + b'"')
                literal = b""
            code.append(b'IntFmt $R1 "%%c" %d' % byte)
            code.append(b'StrCpy $R0 "$R0$R1"')
        else:
            literal += bytes([byte])
    if literal:
        code.append(b'StrCpy $R0 "$R0' + literal + b'"')
    return code


class Steps:
    """The body of steps.nsi: commands, each followed by recording what it pushed."""

    def __init__(self):
        self.code = []

    def _call(self, command, *arguments):
        quoted = []
        for i, argument in enumerate(arguments):
            register = b"$R%d" % (i + 2)
            self.code += nsis_text(argument) + [b"StrCpy %s $R0" % register]
            quoted.append(b'"' + register + b'"')
        self.code.append(b" ".join([b"Kestrel::" + command.encode()] + quoted))
        self.code.append(b"!insertmacro Record")
        return self

    def post(self, url, event):
        return self._call("NSPost", _bytes(url), _bytes(event))

    def post_async(self, url, event):
        return self._call("NSPostAsync", _bytes(url), _bytes(event))

    def wait_done(self, timeout):
        return self._call("NSWaitDone", _bytes(str(timeout)))

    def get(self):
        return self._call("NSGet", b"")

    def raw(self, *lines):
        """NSIS lines as they stand, for calls with a stack of the test's making."""
        self.code += [_bytes(line) for line in lines]
        return self

    def start_clock(self):
        return self.raw("!insertmacro StartClock")

    def record_clock(self):
        return self.raw("!insertmacro RecordClock")

    def exit_code(self, code):
        return self.raw("SetErrorLevel %d" % code)

    def run(self, timeout=120):
        folder = tempfile.mkdtemp(prefix="kestrel-steps-")
        try:
            path = os.path.join(folder, "steps.nsh")
            with open(path, "wb") as f:
                f.write(b"\r\n".join(self.code) + b"\r\n")
            return run_script("steps.nsi", timeout, STEPS=path)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


def _bytes(value):
    return value if isinstance(value, bytes) else value.encode("latin-1")
