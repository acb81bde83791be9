"""squid as a forward proxy, started by the tests themselves.

    with SquidServer() as proxy:                        # any client may use it
        ... send through 127.0.0.1:<proxy.port> ...
        proxy.access_log()                              # the logged lines so far
        proxy.access_log(wait_for="TCP_TUNNEL/200")     # once such a line is there
    with SquidServer(credentials=("kestrel", "secret")) as proxy:
        ...                                             # 407 without basic credentials

Everything lives in a temporary folder (configuration, pid, logs, password file): no system
service, nothing under /etc or /var. It listens on 127.0.0.1 on a free port, caches nothing
and keeps client and server connections alive. A request is logged when it ends, a CONNECT
tunnel when it closes, as squid's own format: "... TCP_TUNNEL/200 ... CONNECT 127.0.0.1:PORT
...", "... TCP_MISS/200 ... POST http://127.0.0.1:PORT/path ...", "... TCP_DENIED/407 ...".
squid is stopped on leaving the block, also on failure; its shutdown takes about 2 s (its
event loop's pace), so a test class had better share one. The password helper ends with it.
"""

import os
import subprocess
import tempfile
import time

from folder_process import FolderProcess
from test_server import unused_port

SQUID = "/usr/sbin/squid"
BASIC_AUTH_HELPER = "/usr/lib/squid/basic_ncsa_auth"
START_LIMIT_SECONDS = 10

CONFIG = """
http_port 127.0.0.1:{port}
visible_hostname kestrel-test-proxy
{access}
cache deny all
access_log stdio:{dir}/access.log
cache_log {dir}/cache.log
cache_store_log none
pid_filename {dir}/squid.pid
coredump_dir {dir}
netdb_filename none
pinger_enable off
shutdown_lifetime 0 seconds
"""

OPEN_ACCESS = "http_access allow all"
BASIC_AUTH_ACCESS = """
auth_param basic program {helper} {passwd}
auth_param basic realm kestrel-test-proxy
acl authed proxy_auth REQUIRED
http_access allow authed
http_access deny all
"""


def _listening(port):
    """Whether 127.0.0.1:port is listening, read from the kernel's table: a probing connection
    would show up in the access log."""
    wanted = "0100007F:%04X" % port
    with open("/proc/net/tcp") as table:
        return any(fields[1] == wanted and fields[3] == "0A"
                   for fields in (line.split() for line in table.readlines()[1:]))


class SquidServer(FolderProcess):
    def __init__(self, credentials=None):
        """`credentials`: (user, password) that clients must give, or None for an open proxy."""
        self.credentials = credentials
        self.port = None
        self._dir = None
        self._process = None

    def access_log(self, wait_for=None, timeout=5):
        """The access log's lines; with `wait_for`, first waits up to `timeout` seconds for a
        line containing it."""
        deadline = time.monotonic() + timeout
        while True:
            with open(os.path.join(self._dir, "access.log"), errors="replace") as log:
                lines = log.read().splitlines()
            if wait_for is None or any(wait_for in line for line in lines):
                return lines
            if time.monotonic() > deadline:
                return lines
            time.sleep(0.05)

    def cache_log(self):
        with open(os.path.join(self._dir, "cache.log"), errors="replace") as log:
            return log.read()

    def _write_passwords(self):
        user, password = self.credentials
        hashed = subprocess.run(["openssl", "passwd", "-apr1", "-stdin"], input=password, text=True,
                                check=True, stdout=subprocess.PIPE).stdout.strip()
        passwd = os.path.join(self._dir, "passwd")
        with open(passwd, "w") as f:
            f.write("%s:%s\n" % (user, hashed))
        return passwd

    def start(self):
        self._dir = tempfile.mkdtemp(prefix="kestrel-squid-")
        try:
            # Started as root, squid goes on as the user "proxy", which must still be able to
            # write its logs and pid file and to read the passwords.
            os.chmod(self._dir, 0o777)
            for name in ("access.log", "cache.log"):
                path = os.path.join(self._dir, name)
                open(path, "w").close()
                os.chmod(path, 0o666)
            access = OPEN_ACCESS
            if self.credentials:
                access = BASIC_AUTH_ACCESS.format(helper=BASIC_AUTH_HELPER,
                                                  passwd=self._write_passwords())
            self.port = unused_port()
            config = os.path.join(self._dir, "squid.conf")
            with open(config, "w") as f:
                f.write(CONFIG.format(dir=self._dir, port=self.port, access=access))
            self._process = subprocess.Popen([SQUID, "-N", "-f", config], stdin=subprocess.DEVNULL,
                                             stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + START_LIMIT_SECONDS
            while not _listening(self.port):
                if self._process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("squid did not start:\n" + self.cache_log())
                time.sleep(0.05)
        except BaseException:
            self.stop()
            raise
        return self
