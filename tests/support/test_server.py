"""A small HTTP(S) server for tests: records every request and answers as told.

It answers as real endpoints do: HTTP/1.1, a Content-Length body, and the connection kept
open for further requests until the client closes it or asks to (`Response(close=True)`
answers with `Connection: close` and closes, as does a `Response` to a request with
`Connection: close`; `Raw` writes any bytes, pauses and endings).

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

`answers` (below) is a responder for the paths under /answer/ that tests share: kept-alive,
reset on reuse, chunked, empty, redirecting, unending, huge, endless, cut short, dribbled,
silent and non-HTTP answers. `TrickledTls` holds back the ends of TLS records in front of a server, and
`DroppedSyns` is an endpoint whose connects never complete.

The server listens on 127.0.0.1 only. It sets TCP_QUICKACK before every read, so that a
client which writes headers and body separately is not held up by delayed acknowledgement.
"""

import argparse
import http
import itertools
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
import time
import urllib.parse

MODES = ("answer", "slow", "hang", "truncate")
HELD_LIMIT_SECONDS = 120  # a held connection is let go after this even without release()
IDLE_LIMIT_SECONDS = 30  # a kept-alive connection with no new request is closed after this


def unused_port():
    """A free port on 127.0.0.1 with no listener: for refused connections, or to listen on."""
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
        self.connection = None  # the client's port: one per connection

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


def status_line(status, version="HTTP/1.1"):
    try:
        reason = http.HTTPStatus(status).phrase
    except ValueError:
        reason = "Status"
    return "%s %d %s" % (version, status, reason)


class Response:
    """An HTTP/1.1 answer with a Content-Length body; the connection stays open unless `close`."""

    def __init__(self, status=200, body=b"", headers=(), close=False):
        self.status = status
        self.body = body if isinstance(body, bytes) else body.encode("utf-8")
        self.headers = list(headers)  # extra (name, value) pairs
        self.close = close

    def encode(self, announced_length=None):
        length = len(self.body) if announced_length is None else announced_length
        lines = [status_line(self.status)]
        if self.status not in (204, 304) and not 100 <= self.status < 200:
            lines.append("Content-Length: %d" % length)
        if self.close:
            lines.append("Connection: close")
        lines += ["%s: %s" % pair for pair in self.headers]
        return ("\r\n".join(lines) + "\r\n\r\n").encode("latin-1") + self.body

    def write(self, sock, stopping):
        """Sends the answer; True when the connection stays open for the next request."""
        sock.sendall(self.encode())
        return not self.close


class Raw:
    """An answer written piece by piece: bytes are sent, a number pauses that many seconds, an
    iterable of bytes is sent piece by piece. Then `end`: "close" (orderly), "reset" (abortive),
    "hold" (silence until the client closes or the server stops), "keep" (serve the next
    request) or "reset-next" (reset once the next request starts to come, leaving it unread
    and unrecorded; plain http only)."""

    def __init__(self, *pieces, end="close"):
        self.pieces = pieces
        self.end = end

    def write(self, sock, stopping):
        for piece in self.pieces:
            if isinstance(piece, (int, float)):
                if stopping.wait(piece):
                    return False
            elif isinstance(piece, (bytes, bytearray)):
                sock.sendall(piece)
            else:
                for part in piece:
                    sock.sendall(part)
        if self.end == "reset-next" and not sock.recv(1, socket.MSG_PEEK):
            return False  # the client closed it first
        if self.end in ("reset", "reset-next"):
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif self.end == "hold":
            _hold(sock, stopping)
        return self.end == "keep"


def _hold(sock, stopping):
    """Stays silent until the client closes the connection, the server stops or
    HELD_LIMIT_SECONDS pass."""
    sock.settimeout(0.2)
    deadline = time.monotonic() + HELD_LIMIT_SECONDS
    while not stopping.is_set() and time.monotonic() < deadline:
        try:
            if not sock.recv(65536):
                return
        except socket.timeout:
            continue
        except OSError:
            return


def _chunked(body, size=100):
    for i in range(0, len(body), size):
        piece = body[i:i + size]
        yield b"%x\r\n" % len(piece) + piece + b"\r\n"
    yield b"0\r\n\r\n"


HUGE_SIZE = 64 * 1024 * 1024
ENDLESS_SIZE = 10 * 1024 ** 3
DRIBBLE_SECONDS = 3  # between the bytes of a dribble: less than any sensible wait for data
CHUNKED_BODY = b"".join(b"chunk %04d\n" % i for i in range(300))
PARTIAL_BODY = b"p" * 100
NOT_HTTP = b"SSH-2.0-OpenSSH_9.2\r\nthis is not an HTTP answer\r\n"


def _dribbled(text):
    return [piece for byte in text for piece in (DRIBBLE_SECONDS, bytes([byte]))]


def answers(request):
    """Answers for the shared /answer/ paths; None for any other path.

    /answer/ok                  200 "ok", kept alive
    /answer/reset-next          200 "ok", kept alive until the next request comes on the
                                connection: that one is reset unread (a connection that a
                                server or load balancer dropped while the client kept it)
    /answer/close               200 "ok" with Connection: close
    /answer/chunked             200, CHUNKED_BODY in chunks, kept alive
    /answer/204                 204, no body, kept alive
    /answer/status/<n>?to=URL   status n with Location: URL (unquoted), body "moved", kept alive
    /answer/loop                307 with Location: /answer/loop
    /answer/http10              HTTP/1.0 200 without a length; the body ends at the close
    /answer/cut                 200 announcing 1000 bytes; 100 come, then an orderly close
    /answer/mib                 200 with exactly 1 MiB of body, the most a report reads, kept alive
    /answer/huge                200 with HUGE_SIZE bytes of body, kept alive
    /answer/endless             200 announcing ENDLESS_SIZE bytes, sent as fast as the client
                                takes them, until it goes away or the server stops
    /answer/stall               200 announcing 1000 bytes; 100 come, then silence
    /answer/trickle             200 announcing 1000 bytes; then one byte every 0.5 s
    /answer/slowest             headers after 4.8 s, then a byte every 4.8 s: the longest a
                                report can be held
    /answer/dribbled-status     the status line of 200 "ok" a byte every DRIBBLE_SECONDS
    /answer/dribbled-chunk-size a chunked 200 head at once, then the chunk-size line
                                "5;xxxxxxxxxxxxxxx" a byte every DRIBBLE_SECONDS
    /answer/dribbled-chunk-extension  a chunked 200 head and a first chunk at once, then the
                                second chunk's size, then its extension a byte every
                                DRIBBLE_SECONDS
    /answer/dribbled-trailer    a chunked 200 head, a chunk and the last chunk at once, then
                                a trailer field a byte every DRIBBLE_SECONDS
    /answer/silent              nothing at all until the client closes
    /answer/not-http            NOT_HTTP, then silence
    """
    path, _, query = request.target.partition("?")
    if not path.startswith("/answer/"):
        return None
    what = path[len("/answer/"):]
    head = (status_line(200) + "\r\nContent-Length: 1000\r\n\r\n").encode("latin-1")
    chunked_head = (status_line(200) + "\r\nTransfer-Encoding: chunked\r\n\r\n").encode("latin-1")
    if what == "ok":
        return Response(200, b"ok")
    if what == "close":
        return Response(200, b"ok", close=True)
    if what == "reset-next":
        return Raw(Response(200, b"ok").encode(), end="reset-next")
    if what == "chunked":
        return Raw(chunked_head, _chunked(CHUNKED_BODY), end="keep")
    if what == "204":
        return Response(204)
    if what.startswith("status/"):
        to = urllib.parse.parse_qs(query).get("to", [None])[0]
        return Response(int(what[len("status/"):]), b"moved", [("Location", to)] if to else [])
    if what == "loop":
        return Response(307, b"moved", [("Location", "/answer/loop")])
    if what == "http10":
        return Raw(status_line(200, "HTTP/1.0").encode() + b"\r\n\r\n" + b"0123456789" * 50)
    if what == "cut":
        return Raw(head, PARTIAL_BODY)
    if what == "mib":
        return Response(200, b"m" * (1024 * 1024))
    if what == "huge":
        block = b"h" * (1024 * 1024)
        huge_head = (status_line(200) + "\r\nContent-Length: %d\r\n\r\n" % HUGE_SIZE).encode()
        return Raw(huge_head, (block for _ in range(HUGE_SIZE // len(block))), end="keep")
    if what == "endless":
        endless_head = (status_line(200) + "\r\nContent-Length: %d\r\n\r\n" % ENDLESS_SIZE).encode()
        return Raw(endless_head, itertools.repeat(b"e" * (1024 * 1024)))
    if what == "dribbled-status":
        ok = Response(200, b"ok").encode()
        line = ok.index(b"\r\n")
        return Raw(*_dribbled(ok[:line]), ok[line:], end="keep")
    if what == "dribbled-chunk-size":
        return Raw(chunked_head, *_dribbled(b"5;xxxxxxxxxxxxxxx"), b"\r\nhello\r\n0\r\n\r\n", end="keep")
    if what == "dribbled-chunk-extension":
        return Raw(chunked_head, b"5\r\nhello\r\n5", *_dribbled(b";ext=1"), b"\r\nworld\r\n0\r\n\r\n",
                   end="keep")
    if what == "dribbled-trailer":
        return Raw(chunked_head, b"5\r\nhello\r\n0\r\n", *_dribbled(b"X-Sum: 1\r\n"), b"\r\n", end="keep")
    if what == "stall":
        return Raw(head, PARTIAL_BODY, end="hold")
    if what == "trickle":
        return Raw(head, *[piece for _ in range(1000) for piece in (b"t", 0.5)], end="hold")
    if what == "slowest":
        return Raw(4.8, head, *[piece for _ in range(200) for piece in (b"s", 4.8)], end="hold")
    if what == "silent":
        return Raw(end="hold")
    if what == "not-http":
        return Raw(NOT_HTTP, end="hold")
    return Response(404, b"no such answer")


def make_certificate(folder, days=2):
    """A throwaway self-signed certificate for 127.0.0.1; returns (cert, key) paths."""
    cert = os.path.join(folder, "cert.pem")
    key = os.path.join(folder, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-batch",
                    "-keyout", key, "-out", cert, "-days", str(days), "-subj", "/CN=127.0.0.1"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


class _Handler(socketserver.BaseRequestHandler):
    def handle(self):
        owner = self.server.owner
        sock = self.request
        sock.settimeout(owner.idle)
        try:
            owner._opened(self.request)
            if owner.tls and owner._take_handshake_reset():
                sock.recv(4096)
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                return
            if owner.tls:
                sock = owner._tls_context.wrap_socket(sock, server_side=True)
            while not owner._stopping.is_set():
                request = _read_request(sock)
                if request is None:
                    return
                request.connection = self.client_address[1]
                owner._record(request)
                if not owner._answer(sock, request):
                    return
                sock.settimeout(owner.idle)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            owner._closed(self.request)
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

    def __init__(self, mode="answer", tls=False, status=200, body=b"", delay=1.0, extra=1000,
                 idle=IDLE_LIMIT_SECONDS, tls_maximum=None, port=0, handshake_resets=0, certificate=None):
        if mode not in MODES:
            raise ValueError("unknown mode %r" % mode)
        self.mode = mode
        self.tls = tls
        self.tls_maximum = tls_maximum  # an ssl.TLSVersion, or None for the highest
        self.delay = delay
        self.extra = extra
        self.idle = idle  # seconds a kept-alive connection waits for its next request
        self.handshake_resets = handshake_resets  # TLS handshakes reset after the client's hello
        self.certificate = certificate  # (cert, key) PEM paths; None for a throwaway self-signed one
        self._listen_port = port  # 0 for any free one
        # Optional callable(RecordedRequest) -> Response, consulted before set_response's answer.
        self.responder = None
        # Optional callable(RecordedRequest), called as each request arrives.
        self.on_request = None
        self._response = Response(status, body)
        self._lock = threading.Lock()
        self._requests = []
        self._held = []  # [event, action] per connection held in hang mode
        self._connections = set()  # open sockets, shut down on stop
        self._closed_by_client = 0
        self._stopping = threading.Event()
        self._folder = None
        self._server = None
        self._thread = None

    # -- life cycle

    def start(self):
        if self.tls:
            self._folder = tempfile.mkdtemp(prefix="kestrel-tls-")
            cert, key = self.certificate or make_certificate(self._folder)
            self._tls_context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            self._tls_context.load_cert_chain(cert, key)
            if self.tls_maximum:
                self._tls_context.maximum_version = self.tls_maximum
        self._server = socketserver.ThreadingTCPServer(("127.0.0.1", self._listen_port), _Handler)
        self._server.daemon_threads = True
        self._server.owner = self
        self._thread = threading.Thread(target=self._server.serve_forever, daemon=True)
        self._thread.start()
        return self

    def stop(self):
        self._stopping.set()
        self.release(answer=False)
        with self._lock:
            connections = list(self._connections)
        for sock in connections:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
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

    def clear_requests(self):
        """Forgets the requests recorded so far, for a server that several tests share."""
        with self._lock:
            self._requests = []

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

    def _take_handshake_reset(self):
        with self._lock:
            if self.handshake_resets <= 0:
                return False
            self.handshake_resets -= 1
            return True

    def _opened(self, sock):
        with self._lock:
            self._connections.add(sock)
        if self._stopping.is_set():  # accepted as stop() ran, maybe after it shut the others
            sock.shutdown(socket.SHUT_RDWR)

    def _closed(self, sock):
        with self._lock:
            self._connections.discard(sock)

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
        """Answers one request; True when the connection serves the next one."""
        if self.mode == "slow":
            self._stopping.wait(self.delay)
        elif self.mode == "hang":
            slot = [threading.Event(), "close"]
            with self._lock:
                if self._stopping.is_set():  # stop() has released the held ones already
                    return False
                self._held.append(slot)
            slot[0].wait(HELD_LIMIT_SECONDS)
            if slot[1] != "answer" or self._stopping.is_set():
                return False
        response = self._response_for(request)
        if isinstance(response, Response) and [v.lower() for v in request.header("Connection")] == ["close"]:
            response = Response(response.status, response.body, response.headers, close=True)
        if self.mode == "truncate":
            sock.sendall(response.encode(len(response.body) + self.extra))
            self._stopping.wait(self.delay)
            # An abortive close (reset): an orderly one reads as the end of the body to
            # some clients.
            sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            return False
        keep = response.write(sock, self._stopping)
        if self.mode == "hang":
            self._wait_for_client_close(sock)
            return False
        return keep

    def _wait_for_client_close(self, sock):
        try:
            while _recv(sock):
                pass
        except OSError:
            return
        with self._lock:
            self._closed_by_client += 1


class TrickledTls:
    """A relay in front of a TLS TestServer that passes the handshake and the first
    application-data record at once, then sends the last `held` bytes of every later record a
    byte every `pause` seconds: the client sees a whole head and then a body it can decrypt
    only record by record, slowly. The server offers TLS 1.2 at most, whose type-23 records
    carry application data only (1.3 wraps handshake messages in them too).

        with TrickledTls(answers) as relay:
            relay.url("/answer/chunked")    # https://127.0.0.1:<relay port>/answer/chunked
            relay.server.requests           # what reached the server behind it
    """

    def __init__(self, responder, pause=1.0, held=16):
        self.server = TestServer(tls=True, tls_maximum=ssl.TLSVersion.TLSv1_2)
        self.server.responder = responder
        self.pause = pause
        self.held = held
        self._stopping = threading.Event()
        self._lock = threading.Lock()  # guards _sockets, which stop() closes as _accept adds
        self._sockets = []
        self._listener = None

    @property
    def port(self):
        return self._listener.getsockname()[1]

    def url(self, path="/"):
        return "https://127.0.0.1:%d%s" % (self.port, path)

    def start(self):
        self.server.start()
        self._listener = socket.create_server(("127.0.0.1", 0))
        threading.Thread(target=self._accept, daemon=True).start()
        return self

    def stop(self):
        self._stopping.set()
        with self._lock:
            sockets = [self._listener] + self._sockets
        for sock in sockets:
            try:
                sock.shutdown(socket.SHUT_RDWR)
            except OSError:
                pass
            sock.close()
        self.server.stop()

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()

    def _accept(self):
        while not self._stopping.is_set():
            try:
                client = self._listener.accept()[0]
                upstream = socket.create_connection(("127.0.0.1", self.server.port))
            except OSError:
                return
            with self._lock:
                stopped = self._stopping.is_set()
                if not stopped:
                    self._sockets += [client, upstream]
            if stopped:
                client.close()
                upstream.close()
                return
            threading.Thread(target=self._copy, args=(client, upstream), daemon=True).start()
            threading.Thread(target=self._trickle, args=(upstream, client), daemon=True).start()

    @staticmethod
    def _copy(source, sink):
        try:
            while True:
                data = source.recv(65536)
                if not data:
                    break
                sink.sendall(data)
            sink.shutdown(socket.SHUT_WR)
        except OSError:
            pass

    def _trickle(self, source, sink):
        data = b""
        application_records = 0
        try:
            while True:
                received = source.recv(65536)
                if not received:
                    break
                data += received
                while len(data) >= 5:
                    size = 5 + int.from_bytes(data[3:5], "big")  # type, version, length
                    if len(data) < size:
                        break
                    record, data = data[:size], data[size:]
                    if record[0] != 23:
                        sink.sendall(record)
                        continue
                    application_records += 1
                    if application_records == 1:
                        sink.sendall(record)
                        continue
                    sink.sendall(record[:-self.held])
                    for byte in record[-self.held:]:
                        if self._stopping.wait(self.pause):
                            return
                        sink.sendall(bytes([byte]))
        except OSError:
            pass
        finally:
            for sock in (source, sink):  # a client gone leaves the server's end idle otherwise
                try:
                    sock.shutdown(socket.SHUT_RDWR)
                except OSError:
                    pass


def client_sockets(port, states=("01", "08")):
    """The local addresses of the loopback sockets of clients here connected to `port` in TCP
    `states`, in /proc/net/tcp's hexadecimal: 01 established, 02 still sending SYNs, 08 closed
    by the other end but not yet by the client."""
    with open("/proc/net/tcp") as table:
        rows = [line.split() for line in table.readlines()[1:]]
    return {row[1] for row in rows if int(row[2].split(":")[1], 16) == port and row[3] in states}


def client_connections(port, states=("01", "08")):
    return len(client_sockets(port, states))


def peak_while(probe, action):
    """Runs `action()`; returns its result and the highest value `probe()` gave meanwhile,
    sampled every 20 ms: for what a program under test holds only until it exits."""
    peak, done = [0], threading.Event()

    def sample():
        while not done.wait(0.02):
            peak[0] = max(peak[0], probe())

    sampler = threading.Thread(target=sample, daemon=True)
    sampler.start()
    try:
        result = action()
    finally:
        done.set()
        sampler.join()
    return result, peak[0]


class DroppedSyns:
    """An endpoint on 127.0.0.1 that drops SYNs: a listener with a backlog of 0 whose accept
    queue is filled by connections it never accepts, so that the kernel drops every further
    SYN and a client's connect stays in SYN-SENT until it gives up or the endpoint stops."""

    FILL_LIMIT = 64

    def __init__(self):
        self._listener = None
        self._fillers = []

    @property
    def port(self):
        return self._listener.getsockname()[1]

    def url(self, path="/"):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def start(self):
        self._listener = socket.create_server(("127.0.0.1", 0), backlog=0)
        for _ in range(self.FILL_LIMIT):
            filler = socket.socket()
            filler.settimeout(0.5)  # not connected by then: its SYN was dropped
            try:
                filler.connect(("127.0.0.1", self.port))
            except socket.timeout:
                filler.close()
                return self
            self._fillers.append(filler)
        self.stop()
        raise RuntimeError("the accept queue did not fill: SYNs are not dropped here")

    def stop(self):
        for sock in self._fillers + [self._listener]:
            sock.close()
        self._fillers = []

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


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
