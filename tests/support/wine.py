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


INTERNET_SETTINGS = r"HKCU\Software\Microsoft\Windows\CurrentVersion\Internet Settings"
REG_LIMIT_SECONDS = 60


def _reg(args, env):
    return run_wine(["reg"] + args, env=env, timeout=REG_LIMIT_SECONDS)


def _reg_add(name, kind, data, env):
    rc, output = _reg(["add", INTERNET_SETTINGS, "/v", name, "/t", kind, "/d", data, "/f"], env)
    if rc != 0:
        raise RuntimeError("wine reg add %s failed (%d): %s"
                           % (name, rc, output.decode(errors="replace")))


def set_system_proxy(server, bypass=None, env=None):
    """Makes WinINet's preconfigured access in the prefix of WINEPREFIX (from `env`, or this
    process's environment) go through `server`: "127.0.0.1:PORT", or "http=...;https=...".
    `bypass` is ProxyOverride's list of hosts reached directly ("<local>;127.0.0.2")."""
    _reg_add("ProxyEnable", "REG_DWORD", "1", env)
    _reg_add("ProxyServer", "REG_SZ", server, env)
    if bypass is None:
        _reg(["delete", INTERNET_SETTINGS, "/v", "ProxyOverride", "/f"], env)  # absent is fine
    else:
        _reg_add("ProxyOverride", "REG_SZ", bypass, env)


def clear_system_proxy(env=None):
    """Undoes set_system_proxy: WinINet's preconfigured access goes direct again (or through
    the http_proxy environment variable, which Wine falls back to)."""
    _reg_add("ProxyEnable", "REG_DWORD", "0", env)
    for name in ("ProxyServer", "ProxyOverride"):
        _reg(["delete", INTERNET_SETTINGS, "/v", name, "/f"], env)  # absent is fine
