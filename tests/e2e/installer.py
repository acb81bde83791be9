"""Builds NSIS test installers with makensis and runs them under Wine.

KESTREL_TARGET (x86-ansi, x86-unicode or amd64-unicode; set by ctest for each build
folder) picks the installer's target and the plug-in built for it. A test script
records every value a command pushed, one per line, into the file named by
RESULT_FILE: ANSI bytes from an ANSI installer, UTF-16LE from a Unicode one (whose
FileWrite would convert the text to the ANSI code page). The installer runs under
debug_capture.exe, built for the same target, which records the plug-in's trace
lines: Wine's debugstr channel would show only those written by OutputDebugStringA.
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from dataclasses import dataclass, field

E2E_DIR = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(E2E_DIR))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
from wine import run_wine, run_wine_with_window  # noqa: E402
DIST = os.environ.get("KESTREL_DIST", os.path.join(ROOT, "dist"))
TARGET = os.environ.get("KESTREL_TARGET", "x86-ansi")
UNICODE = TARGET.endswith("-unicode")
DEBUG_CAPTURE = os.environ.get("KESTREL_DEBUG_CAPTURE", os.path.join(
    ROOT, "build", TARGET, "tests", "support", "debug_capture.exe"))


def plugin_dir(target=TARGET):
    return os.path.join(DIST, "Plugins", target)


def makensis_target_args(target=TARGET):
    """makensis options that build an installer for `target` with its plug-in."""
    return ["-DKESTREL_TARGET=" + target, "-X!addplugindir /%s %s" % (target, plugin_dir(target))]


def read_results(path):
    """The lines an installer of TARGET wrote with common.nsh's macros."""
    with open(path, "rb") as f:
        data = f.read()
    text = data.decode("utf-16-le") if UNICODE else data.decode("latin-1")
    return text.splitlines()



def windows_path(path):
    """Wine sees the Unix root as drive Z:."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def read_debug_strings(path):
    """The strings debug_capture.exe recorded, as the ANSI bytes a debugger gets."""
    strings = []
    with open(path, "rb") as f:
        data = f.read()
    offset = 0
    while offset + 5 <= len(data):
        encoding, size = struct.unpack_from("<cI", data, offset)
        text = data[offset + 5:offset + 5 + size]
        offset += 5 + size
        if encoding == b"W":
            text = text.decode("utf-16-le").encode("cp1252", "replace")
        strings.append(text)
    return strings


@dataclass
class Run:
    exit_code: int
    seconds: float
    results: list = field(default_factory=list)   # pushed values, as text
    traces: list = field(default_factory=list)    # debug strings, as bytes
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

    @property
    def pinned(self):
        """Whether the plug-in kept itself loaded at the unload, as its trace says."""
        return any(b": kept loaded (" in t for t in self.traces)


class Installer:
    """One compiled test installer for `target`; `defines` become !define values."""

    def __init__(self, script, target=TARGET, **defines):
        self.work = tempfile.mkdtemp(prefix="kestrel-e2e-")
        self.exe = os.path.join(self.work, "installer.exe")
        self.result_file = os.path.join(self.work, "results.txt")
        args = ["makensis", "-V2", "-INPUTCHARSET", "CP1252",
                "-DPLUGIN_DIR=" + plugin_dir(target),
                "-DKESTREL_TARGET=" + target,
                "-DINCLUDE_DIR=" + os.path.join(DIST, "Include"),
                "-DOUT_FILE=" + self.exe,
                "-DRESULT_FILE=" + windows_path(self.result_file)]
        args += ["-D%s=%s" % item for item in defines.items()]
        args.append(os.path.join(E2E_DIR, script))
        self.window = "GUI" in defines
        built = subprocess.run(args, cwd=E2E_DIR, capture_output=True, text=True)
        if built.returncode != 0:
            raise RuntimeError("makensis failed:\n" + built.stdout + built.stderr)

    def run(self, timeout=60):
        trace_file = os.path.join(self.work, "traces.bin")
        start = time.monotonic()
        exit_code, output = (run_wine_with_window if self.window else run_wine)(
            [DEBUG_CAPTURE, windows_path(trace_file), windows_path(self.exe)], cwd=self.work, timeout=timeout)
        seconds = time.monotonic() - start
        stderr = output.decode("latin-1")
        traces = read_debug_strings(trace_file) if os.path.exists(trace_file) else []
        results = read_results(self.result_file) if os.path.exists(self.result_file) else []
        run = Run(exit_code, seconds, results, traces, stderr)
        # One line a run, so that scripts/test can tell how often the plug-in kept itself loaded.
        with open(os.path.join(ROOT, "build", TARGET, "installer-runs.log"), "a") as log:
            log.write("%s %s\n" % ("pinned" if run.pinned else "let-go", os.path.basename(self.work)))
        return run

    def cleanup(self):
        shutil.rmtree(self.work, ignore_errors=True)


def run_script(script, timeout=60, target=TARGET, **defines):
    installer = Installer(script, target, **defines)
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
    """The body of steps.nsi: commands, each followed by recording what it pushed.

    Arguments are bytes in `charset`, makensis's name for the encoding it reads them in:
    CP1252, or UTF8 for texts a Unicode installer holds beyond code page 1252.
    """

    def __init__(self, charset="CP1252"):
        self.code = []
        self.charset = charset

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

    def add_context(self):
        return self._call("NSAddContext")

    def get_error(self):
        return self._call("NSGetError")

    def set_field(self, key, value):
        return self._call("NSSetField", _bytes(key), _bytes(value))

    def set_format(self, name, key):
        return self._call("NSSetFormat", _bytes(name), _bytes(key))

    def attach_details(self, lines):
        return self._call("NSAttachDetails", _bytes(lines))

    def add_detail(self, text):
        return self._call("NSAddDetail", _bytes(text))

    def machine_id(self, salt):
        return self._call("NSMachineId", _bytes(salt))

    def tally(self):
        """NSTally's three numbers, recorded as one line: taken, failed, waiting."""
        return self.raw("Kestrel::NSTally", "Pop $R2", "Pop $R3", "Pop $R4", '!insertmacro WriteResult "$R2 $R3 $R4"')

    def raw(self, *lines):
        """NSIS lines as they stand, for calls with a stack of the test's making."""
        self.code += [_bytes(line) for line in lines]
        return self

    def repeat(self, count, *lines):
        """NSIS `lines` run `count` times in a loop, with the turn's number (from 0) in $R9: a
        thousand calls without a thousand generated lines."""
        label = "repeat_%d" % len(self.code)
        return self.raw("StrCpy $R9 0", label + ":", *lines,
                        "IntOp $R9 $R9 + 1", "IntCmp $R9 %d 0 %s" % (count, label))

    def start_clock(self):
        return self.raw("!insertmacro StartClock")

    def record_clock(self):
        return self.raw("!insertmacro RecordClock")

    def exit_code(self, code):
        return self.raw("SetErrorLevel %d" % code)

    def run(self, timeout=120, target=TARGET, gui=False):
        """Runs the steps silently, or `gui` in a window on a virtual display: the install page,
        its details list shown, closing itself at the end."""
        folder = tempfile.mkdtemp(prefix="kestrel-steps-")
        try:
            path = os.path.join(folder, "steps.nsh")
            with open(path, "wb") as f:
                f.write(b"\r\n".join(self.code) + b"\r\n")
            window = {"GUI": "1"} if gui else {}
            return run_script("steps.nsi", timeout, target, STEPS=path, STEPS_CHARSET=self.charset, **window)
        finally:
            shutil.rmtree(folder, ignore_errors=True)


def _bytes(value):
    return value if isinstance(value, bytes) else value.encode("latin-1")
