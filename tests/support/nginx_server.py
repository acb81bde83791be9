"""nginx in front of a local recording server, started by the tests themselves.

    with TestServer() as recorder, NginxServer(recorder.port) as nginx:
        nginx.url("/v1/events")             # http://127.0.0.1:<port>/v1/events
        nginx.url("/v1/events", tls=True)   # https, self-signed certificate, TLS ended by nginx
        nginx.url("/nginx/204")             # answered 204 by nginx itself

Everything lives in a temporary folder (configuration, pid, logs, temporary files, the
throwaway certificate): no system service, nothing under /etc or /var. Both listeners are on
127.0.0.1, on free ports, with keep-alive on; requests go to the recorder over HTTP/1.1 on
kept-alive upstream connections. nginx is stopped on leaving the block, also on failure.
"""

import os
import socket
import subprocess
import tempfile
import time

from folder_process import FolderProcess
from test_server import make_certificate, unused_port

NGINX = "/usr/sbin/nginx"
START_LIMIT_SECONDS = 10

CONFIG = """
daemon off;
worker_processes 1;
pid {dir}/nginx.pid;
error_log {dir}/error.log warn;
events {{ worker_connections 256; }}
http {{
    access_log {dir}/access.log;
    client_body_temp_path {dir}/client_body;
    proxy_temp_path {dir}/proxy;
    fastcgi_temp_path {dir}/fastcgi;
    uwsgi_temp_path {dir}/uwsgi;
    scgi_temp_path {dir}/scgi;
    keepalive_timeout 75s;
    upstream recorder {{
        server 127.0.0.1:{upstream};
        keepalive 8;
    }}
    server {{
        listen 127.0.0.1:{http_port};
        listen 127.0.0.1:{https_port} ssl;
        ssl_certificate {cert};
        ssl_certificate_key {key};
        location = /nginx/204 {{ return 204; }}
        location / {{
            proxy_pass http://recorder;
            proxy_http_version 1.1;
            proxy_set_header Connection "";
            proxy_buffering off;
            proxy_read_timeout 60s;
        }}
    }}
}}
"""


def _listening(port):
    try:
        with socket.create_connection(("127.0.0.1", port), timeout=0.2):
            return True
    except OSError:
        return False


class NginxServer(FolderProcess):
    def __init__(self, upstream_port):
        self.upstream_port = upstream_port
        self.http_port = None
        self.https_port = None
        self._dir = None
        self._process = None

    def url(self, path="/", tls=False):
        if tls:
            return "https://127.0.0.1:%d%s" % (self.https_port, path)
        return "http://127.0.0.1:%d%s" % (self.http_port, path)

    def error_log(self):
        with open(os.path.join(self._dir, "error.log"), errors="replace") as log:
            return log.read()

    def start(self):
        self._dir = tempfile.mkdtemp(prefix="kestrel-nginx-")
        try:
            cert, key = make_certificate(self._dir)
            self.http_port, self.https_port = unused_port(), unused_port()
            config = os.path.join(self._dir, "nginx.conf")
            with open(config, "w") as f:
                f.write(CONFIG.format(dir=self._dir, upstream=self.upstream_port, http_port=self.http_port,
                                      https_port=self.https_port, cert=cert, key=key))
            self._process = subprocess.Popen([NGINX, "-c", config, "-p", self._dir],
                                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                             stderr=subprocess.DEVNULL)
            deadline = time.monotonic() + START_LIMIT_SECONDS
            while not (_listening(self.http_port) and _listening(self.https_port)):
                if self._process.poll() is not None or time.monotonic() > deadline:
                    raise RuntimeError("nginx did not start:\n" + self.error_log())
                time.sleep(0.05)
        except BaseException:
            self.stop()
            raise
        return self
