"""Runs Windows programs under Wine with their output going through a file.

Wine may start helper processes on the way (the desktop process, when a program
first needs a window, as COM does); they inherit the program's output handles and
outlive it, so a pipe handed to the program would never reach its end.
"""

import contextlib
import datetime
import glob
import os
import re
import shutil
import subprocess
import tempfile
from unittest import mock

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.x509.oid import NameOID

# Seconds that a helper program (reg, cmd, trust_certificate) gets to finish.
HELPER_LIMIT_SECONDS = 60


def run_wine(args, timeout=None, under=(), **kwargs):
    """Runs `wine args…`, under a wrapper command when given; returns (exit code, standard
    output and error as bytes)."""
    with tempfile.TemporaryFile() as output:
        done = subprocess.run(list(under) + ["wine"] + list(args), stdin=subprocess.DEVNULL, stdout=output,
                              stderr=subprocess.STDOUT, timeout=timeout, **kwargs)
        output.seek(0)
        return done.returncode, output.read()


def _stop_wine_server():
    subprocess.run(["wineserver", "-k"], stderr=subprocess.DEVNULL)
    subprocess.run(["wineserver", "-w"])


def _boot_prefix():
    """Runs a program that does nothing, so that the prefix's own services start now. Wine 8's
    winedevice faults now and then as they start (1 boot in about 30), and the programs started
    on the way inherit the output of the program that booted the prefix: a test's run must not
    be that program."""
    run_wine(["cmd", "/c", "exit"], timeout=HELPER_LIMIT_SECONDS)


def run_wine_with_window(args, timeout=None, **kwargs):
    """As run_wine, for a program with a window: on a virtual display of its own (xvfb-run), in
    a Wine server started there, since Wine's desktop process draws every window on the display
    it was started with. The prefix's persistent server is started and booted again afterwards."""
    _stop_wine_server()
    try:
        booted_there = ["xvfb-run", "-a", "sh", "-c", 'wine cmd /c exit >/dev/null 2>&1; exec "$@"', "sh"]
        return run_wine(args, timeout, under=booted_there, **kwargs)
    finally:
        _stop_wine_server()
        subprocess.run(["wineserver", "-p"], stderr=subprocess.DEVNULL)
        _boot_prefix()


@contextlib.contextmanager
def traced_wine_server():
    """Within it, the prefix's Wine server is a fresh one that traces every request of every
    process (the server channel); yields a function that returns the trace's whole lines since
    its last call (at first, since the prefix booted)."""
    _stop_wine_server()
    folder = tempfile.mkdtemp(prefix="kestrel-wineserver-")
    path = os.path.join(folder, "trace.txt")
    try:
        # The server runs on in the background, appending to the file it was started with.
        with open(path, "ab") as trace:
            subprocess.run(["wineserver", "-p", "-d1"], stdout=subprocess.DEVNULL, stderr=trace, check=True)
        _boot_prefix()
        with open(path, "rb") as trace:
            trace.seek(0, os.SEEK_END)

            def read_trace():
                text = trace.read()
                whole = text.rfind(b"\n") + 1
                trace.seek(whole - len(text), os.SEEK_CUR)  # a line still being written comes next time
                return text[:whole].decode("latin-1")
            yield read_trace
    finally:
        _stop_wine_server()
        shutil.rmtree(folder, ignore_errors=True)
        _restart_wine_server()


def _restart_wine_server():
    """Persistent and booted again, as the test scripts leave it."""
    subprocess.run(["wineserver", "-p"], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    _boot_prefix()


@contextlib.contextmanager
def virtual_display():
    """Within it, programs show their windows on a virtual X display (Xvfb) of their own, through
    a Wine server started there: one started without a display shows no window."""
    _stop_wine_server()
    ready, told = os.pipe()
    xvfb = subprocess.Popen(["Xvfb", "-displayfd", str(told), "-nolisten", "tcp"], pass_fds=(told,),
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(told)
    with os.fdopen(ready) as number, mock.patch.dict(os.environ, DISPLAY=":" + number.readline().strip()):
        try:
            _restart_wine_server()
            yield
        finally:
            _stop_wine_server()
            xvfb.kill()
            xvfb.wait()
    _restart_wine_server()


# A line of the server channel: the thread that sends a request, then the request's name and
# its fields, or "name() = status { fields }" for its reply.
_SERVER_LINE = re.compile(r"^([0-9a-f]+): (\w+)\((.*)$")


def _field(name, fields):
    match = re.search(r'\b%s=(?:L"([^"]*)"|(\w+))' % name, fields)
    return match and (match.group(1) or match.group(2))


def requests_of(trace, image):
    """The names of the requests in a trace of traced_wine_server that the threads of processes
    started from `image` (a file name) sent: other programs of the prefix (winedbg when one of
    Wine's services faults) may do what those processes must not."""
    owner, pending, images, names = {}, {}, {}, []  # thread -> process; thread -> request; process -> image
    for line in trace.splitlines():
        match = _SERVER_LINE.match(line)
        if not match:
            continue
        thread, name, fields = match.groups()
        if not fields.startswith(") = "):
            pending[thread] = fields
            if (images.get(owner.get(thread)) or "").lower().endswith("\\" + image.lower()):
                names.append(name)
            continue
        request = pending.pop(thread, "")
        if name == "new_process":
            images[_field("pid", fields)] = _field("imagepath", request)
        elif name == "init_first_thread":
            owner[thread] = _field("pid", fields)
        elif name == "new_thread":  # a thread of the sender's own process, or of another one
            owner[_field("tid", fields)] = owner.get(thread) if _field("process", request) == "ffffffff" else None
    return names


INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"


def cached_answers():
    """The files in the WinINet cache of the prefix's users, where WinINet keeps the answers
    it is allowed to cache."""
    return glob.glob(os.path.join(os.environ["WINEPREFIX"], "drive_c", "users", "*", "AppData", "Local",
                                  "Microsoft", "Windows", "INetCache", "*", "*", "*"))


def _reg(args, env):
    return run_wine(["reg"] + args, env=env, timeout=HELPER_LIMIT_SECONDS)


def reg_add(key, name, kind, data, env=None, view=()):
    """Sets one registry value in the prefix of WINEPREFIX (from `env`, or this process's
    environment), in reg's default view or `view` (["/reg:64"]); raises when reg fails."""
    rc, output = _reg(["add", key, "/v", name, "/t", kind, "/d", data, "/f", *view], env)
    if rc != 0:
        raise RuntimeError("wine reg add %s failed (%d): %s"
                           % (name, rc, output.decode(errors="replace")))


def reg_delete(key, name=None, env=None, view=()):
    """Deletes one value of `key`, or the whole key; absent is fine."""
    _reg(["delete", key] + (["/v", name] if name else []) + ["/f", *view], env)


def set_system_proxy(server, bypass=None, env=None):
    """Makes WinINet's preconfigured access in the prefix go through `server`:
    "127.0.0.1:PORT", or "http=...;https=...". `bypass` is ProxyOverride's list of hosts
    reached directly ("<local>;127.0.0.2")."""
    reg_add(INTERNET_SETTINGS, "ProxyEnable", "REG_DWORD", "1", env)
    reg_add(INTERNET_SETTINGS, "ProxyServer", "REG_SZ", server, env)
    if bypass is None:
        reg_delete(INTERNET_SETTINGS, "ProxyOverride", env)
    else:
        reg_add(INTERNET_SETTINGS, "ProxyOverride", "REG_SZ", bypass, env)


def clear_system_proxy(env=None):
    """Undoes set_system_proxy: WinINet's preconfigured access goes direct again (or through
    the http_proxy environment variable, which Wine falls back to)."""
    reg_add(INTERNET_SETTINGS, "ProxyEnable", "REG_DWORD", "0", env)
    for name in ("ProxyServer", "ProxyOverride"):
        reg_delete(INTERNET_SETTINGS, name, env)


CERTIFICATE_DAYS = 30


def _write_certificate(folder, host, expired):
    """A self-signed certificate whose common name is `host` (Wine's WinINet matches an address
    there, not among alternative names), valid for
    CERTIFICATE_DAYS from yesterday or expired ten days ago, and its key, in `folder`."""
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, host)])
    now = datetime.datetime.now(datetime.timezone.utc)
    start, end = (now - datetime.timedelta(days=40), now - datetime.timedelta(days=10)) if expired else \
        (now - datetime.timedelta(days=1), now + datetime.timedelta(days=CERTIFICATE_DAYS))
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(start).not_valid_after(end)
            .add_extension(x509.BasicConstraints(ca=True, path_length=None), critical=True)
            .sign(key, hashes.SHA256()))
    with open(os.path.join(folder, "cert.pem"), "wb") as out:
        out.write(cert.public_bytes(serialization.Encoding.PEM))
    with open(os.path.join(folder, "key.pem"), "wb") as out:
        out.write(key.private_bytes(serialization.Encoding.PEM, serialization.PrivateFormat.TraditionalOpenSSL,
                                    serialization.NoEncryption()))


def trusted_certificate(trust_program, host="127.0.0.1", expired=False):
    """A certificate for `host` and its key (PEM paths), valid or `expired`, whose authority
    the prefix of WINEPREFIX trusts, and nowhere else: made once and kept in that prefix (a
    valid one again when it expires within a day), and added to the prefix's Root store by
    `trust_program` (trust_certificate.exe), which leaves a certificate the store holds as it
    is. Served at 127.0.0.1, one for another host is trusted but names the wrong host."""
    folder = os.path.join(os.environ["WINEPREFIX"], "kestrel-test-authority", host + ("-expired" if expired else ""))
    cert, der = os.path.join(folder, "cert.pem"), os.path.join(folder, "cert.der")
    valid = os.path.isfile(cert) and (expired or subprocess.run(
        ["openssl", "x509", "-checkend", "86400", "-noout", "-in", cert], stdout=subprocess.DEVNULL).returncode == 0)
    if not valid:
        os.makedirs(folder, exist_ok=True)
        _write_certificate(folder, host, expired)
    subprocess.run(["openssl", "x509", "-in", cert, "-outform", "DER", "-out", der], check=True)
    rc, output = run_wine([trust_program, "Z:" + der.replace("/", "\\")], timeout=HELPER_LIMIT_SECONDS)
    if rc != 0:
        raise RuntimeError("%s failed (%d): %s" % (trust_program, rc, output.decode(errors="replace")))
    return cert, os.path.join(folder, "key.pem")
