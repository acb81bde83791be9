"""A small HTTP(S) server for tests: records every request and answers as told.

Usable as a class:

    with TestServer(mode="answer", tls=False) as server:
        server.set_response(404, b"gone")
        ... send to server.url("/path?q=1") ...
        request = server.requests[0]   # .method .target .header_lines .body

or as a process (`python3 test_server.py --mode hang --tls`), which prints its base URL on
the first line of stdout, then one JSON line per request, and serves until stdin closes.

Modes:
  answer    answer at once with the status and body set by set_response (or by `responder`)
  slow      the same, after `delay` seconds
  hang      record the request, then answer nothing until release() (answer or close)
  truncate  announce `extra` more body bytes than are sent, wait `delay`, reset the connection

The server listens on 127.0.0.1 only. It sets TCP_QUICKACK before every read, so that a
client which writes headers and body separately is not held up by delayed acknowledgement.
"""

import argparse
import http
import json
import os
import shutil
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading

MODES = ("answer", "slow", "hang", "truncate")
HELD_LIMIT_SECONDS = 120  # a held connection is let go after this even without release()


def unused_port():
    """A port on 127.0.0.1 with no listener, for refused connections."""
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


class RecordedRequest:
    """One request as received: header lines are kept byte for byte (latin-1), in order."""

    def __init__(self, method, target, header_lines, body):
        self.method = method
        self.target = target
        self.header_lines = header_lines
        self.body = body

    def header(self, name):
        """Values of every header called `name` (any case), in order."""
        values = []
        for line in self.header_lines:
            key, _, value = line.partition(":")
            if key.strip().lower() == name.lower():
                values.append(value.strip())
        return values

    def as_dict(self):
        return {"method": self.method, "target": self.target,
                "header_lines": self.header_lines, "body_hex": self.body.hex()}


class Response:
    def __init__(self, status=200, body=b"", headers=()):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.headers = list(headers)  # extra (name, value) pairs

    def encode(self, announced_length=None):
        length = len(self.body) if announced_length is None else announced_length
        try:
            reason = http.HTTPStatus(self.status).phrase
        except ValueError:
            reason = "Status"
        lines = ["HTTP/1.1 %d %s" % (self.status, reason),
                 "Content-Length: %d" % length,
                 "Connection: close"]
        lines += ["%s: %s" % pair for pair in self.headers]
        return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + self.body


def _make_certificate(folder):
    """A throwaway self-signed certificate for 127.0.0.1; returns (cert, key) paths."""
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-batch",
                    "-keyout", key, "-out", cert, "-days", "2", "-subj", "/CN=127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        owner = self.server.owner
        sock = self.request
        sock.settimeout(30)
        try:
            if owner.tls:
                sock = owner._tls_context.wrap_socket(sock, server_side=True)
            request = _read_request(sock)
            if request is None:
                return
            owner._record(request)
            owner._answer(sock, request)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                sock.close()
            except OSError:
                pass


def _recv(sock):
    sock.setsockopt(socket.IPPROTO_TCP, socket.TCP_QUICKACK, 1)
    return sock.recv(65536)


def _read_request(sock):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = _recv(sock)
        if not chunk:
            return None
        data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    method, target, _ = (lines[0].split(" ", 2) + ["", ""])[:3]
    request = RecordedRequest(method, target, lines[1:], b"")
    lengths = request.header("Content-Length")
    length = int(lengths[0]) if lengths else 0
    while len(body) < length:
        chunk = _recv(sock)
        if not chunk:
            break
        body += chunk
    request.body = body
    return request


class TestServer:
    __test__ = False  # a helper, not a test case

    def __init__(self, mode="answer", tls=False, status=200, body=b"", delay=1.0, extra=1000):
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        self.mode = mode
        self.tls = tls
        self.delay = delay
        self.extra = extra
        # Optional callable(RecordedRequest) -> Response, consulted before set_response's answer.
        self.responder = None
        # Optional callable(RecordedRequest), called as each request arrives.
        self.on_request = None
        self._response = Response(status, body)
        self._lock = threading.Lock()
        self._requests = []
        self._held = []  # [event, action] per connection held in hang mode
        self._closed_by_client = 0
        self._stopping = threading.Event()
        self._folder = None
        self._server = None
        self._thread = None

    # -- life cycle

    def start(self):
        if self.tls:
            self._folder = tempfile.mkdtemp(prefix="kestrel-tls-")
            cert, key = _make_certificate(self._folder)
            self._tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self._tls_context.load_cert_chain(cert, key)
        self._server = socketserver.ThreadingTCPServer(("127.0.0.1", 0), _Handler)
        self._server.daemon_threads = True
        self._server.owner = self
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        self.release(answer=False)
        if self._server:
            self._server.shutdown()
            self._server.server_close()
            self._thread.join(5)
            self._server = None
        if self._folder:
            shutil.rmtree(self._folder, ignore_errors=True)
            self._folder = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    # -- what tests use

    @property
    def port(self):
        return self._server.server_address[1]

    def url(self, path="/"):
        return "%s://127.0.0.1:%d%s" % ("https" if self.tls else "http", self.port, path)

    @property
    def requests(self):
        with self._lock:
            return list(self._requests)

    def set_response(self, status=200, body=b"", headers=()):
        """The answer to every later request (unless `responder` gives one)."""
        with self._lock:
            self._response = Response(status, body, headers)

    def release(self, answer=True):
        """Hang mode: lets every held connection go, answering it or closing it unanswered.
        Returns how many were held."""
        with self._lock:
            held, self._held = self._held, []
        for slot in held:
            slot[1] = "answer" if answer else "close"
            slot[0].set()
        return len(held)

    @property
    def held(self):
        with self._lock:
            return len(self._held)

    @property
    def closed_by_client(self):
        """Hang mode: answered held connections that the client has since closed."""
        with self._lock:
            return self._closed_by_client

    # -- inside

    def _record(self, request):
        with self._lock:
            self._requests.append(request)
        if self.on_request:
            self.on_request(request)

    def _response_for(self, request):
        if self.responder:
            response = self.responder(request)
            if response is not None:
                return response
        with self._lock:
            return self._response

    def _answer(self, sock, request):
        if self.mode == "slow":
            self._stopping.wait(self.delay)
        elif self.mode == "hang":
            slot = [threading.Event(), "close"]
            with self._lock:
                self._held.append(slot)
            slot[0].wait(HELD_LIMIT_SECONDS)
            if slot[1] != "answer" or self._stopping.is_set():
                return
        response = self._response_for(request)
        if self.mode == "truncate":
            sock.sendall(response.encode(len(response.body) + self.extra))
            self._stopping.wait(self.delay)
            # An abortive close (reset): an orderly one reads as the end of the body to
            # some clients.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return
        sock.sendall(response.encode())
        if self.mode == "hang":
            self._wait_for_client_close(sock)

    def _wait_for_client_close(self, sock):
        try:
            while _recv(sock):
                pass
        except OSError:
            return
        with self._lock:
            self._closed_by_client += 1


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--mode", choices=MODES, default="answer")
    parser.add_argument("--tls", action="store_true")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--body", default="")
    parser.add_argument("--delay", type=float, default=1.0)
    args = parser.parse_args()
    server = TestServer(args.mode, args.tls, args.status, args.body.encode("utf-8"), args.delay)
    output_lock = threading.Lock()

    def report(request):
        with output_lock:
            print(json.dumps(request.as_dict()), flush=True)

    server.on_request = report
    with server:
        with output_lock:
            print(server.url(""), flush=True)
        sys.stdin.read()


if __name__ == "__main__":
    main()
