"""Reports from real NSIS installers under Wine to a local recording server, sent to it
straight and through nginx in front of it (over http, and over https with TLS ended by nginx),
either with squid as the system's proxy or without. Each test is written once, in a mixin,
and runs once per route."""

import json
import os
import re
import threading
import time
import unittest
from unittest import mock

from installer import ROOT, TARGET, UNICODE, Steps, plugin_dir, run_wine
from nginx_server import NginxServer  # on the path through installer
from squid_server import SquidServer
from test_commands import END_LIMIT_SECONDS, plugin_folder_left_behind, run_to_its_end
from test_server import (DroppedSyns, Raw, Response, TestServer, client_connections, client_sockets, peak_while,
                         unused_port)
from wine import cached_answers, clear_system_proxy, set_system_proxy

ID = re.compile(rb'"id":"([0-9A-F]{12}[0-9a-f]{4}[0-9A-F]{16})"')
CONSTANTS = {b"event_type": b"app", b"os_platform": b"windows",
             b"package_name": b"com.lumeworks.pc",
             b"package_name_en": b"com.quillfern.editor.new", b"string_1": b"installer_type"}
with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake:
    USER_AGENT = "Kestrel/" + re.search(r"project\(Kestrel VERSION ([\d.]+)", cmake.read()).group(1)


def json_string(value):
    out = b'"'
    for byte in value:
        if byte in b'"\\':
            out += b"\\" + bytes([byte])
        elif byte in b"\b\f\n\r\t":
            out += b"\\" + b"bfnrt"[b"\b\f\n\r\t".index(byte):][:1]
        elif byte < 0x20:
            out += b"\\u%04X" % byte
        else:
            out += bytes([byte])
    return out + b'"'


def as_sent(script_text):
    """The bytes a text of a test script (written in code page 1252) becomes in the body: the
    same bytes from an ANSI installer, UTF-8 from a Unicode one."""
    return script_text.decode("cp1252").encode("utf-8") if UNICODE else script_text


def expected_body(event, url, event_id):
    """The report document of `event`, given as the bytes that reach the body."""
    fields = [f for f in event.split(b"&") if f]
    name, channel, version = fields[:3] if len(fields) >= 3 else (b"installer", b"marlow", b"0.0.0")
    members = dict(CONSTANTS, app_version=version, channel=channel, event=name, id=event_id,
                   env=b"test" if b"dev" in url else b"prd")
    members = {(k if isinstance(k, bytes) else k.encode()): v for k, v in members.items()}
    text = b",".join(json_string(k) + b":" + json_string(v) for k, v in sorted(members.items()))
    return b"{" + text + b',"user_id":0}'


def assert_report(test, request, event, url, connection_close=False):
    """Checks that `request` is the report of `event` sent to `url`, byte for byte, as far as the
    report sets it (a proxy rewrites Connection and Host; `connection_close` for https reached
    directly with relaxed checks); returns its event id."""
    if connection_close:
        test.assertEqual(request.header("Connection"), ["close"])
    match = ID.search(request.body)
    test.assertIsNotNone(match, request.body)
    test.assertEqual(request.body, expected_body(as_sent(event), url, match.group(1)))
    test.assertEqual(request.method, "POST")
    header_names = [line.split(":")[0] for line in request.header_lines]
    test.assertLess(header_names.index("Content-Type"), header_names.index("Accept-Language"))
    test.assertEqual(request.header("Content-Type"), ["application/json"])
    test.assertEqual(request.header("Accept-Language"), ["en-US"])
    test.assertEqual(request.header("Content-Length"), [str(len(request.body))])
    test.assertEqual(request.header("User-Agent"), [USER_AGENT])
    return match.group(1)


class Route:
    """Mixin for a test case: one recording server for the class, reached straight (`via` None)
    or through nginx in front of it, over "http" or "https" (TLS ended by nginx); with `proxy`,
    through squid named as the system's proxy. Each test starts with the server answering 200
    at once and no request recorded."""
    via = None
    proxy = False

    @classmethod
    def setUpClass(cls):
        cls.server = TestServer().start()
        cls.addClassCleanup(cls.server.stop)
        cls.nginx = None
        if cls.via is not None:
            cls.nginx = NginxServer(cls.server.port).start()
            cls.addClassCleanup(cls.nginx.stop)
        if cls.proxy:
            cls.squid = SquidServer().start()
            cls.addClassCleanup(cls.squid.stop)
            cls.addClassCleanup(clear_system_proxy)  # the prefix is shared: other tests go direct
            set_system_proxy("127.0.0.1:%d" % cls.squid.port)

    def setUp(self):
        self.server.mode, self.server.delay, self.server.responder = "answer", 1.0, None
        self.server.clear_requests()
        self.addCleanup(self.server.release, answer=False)  # connections a hang test held

    def url(self, path="/"):
        """`path` on the server, as the installer reaches it."""
        if self.nginx is None:
            return self.server.url(path)
        return self.nginx.url(path, tls=self.via == "https")

    def assert_route(self, requests):
        """The requests came the route's way: marked by squid where it passed them on, through
        its tunnel over https, and with no proxy's mark otherwise."""
        vias = [r.header("Via") for r in requests]
        if self.proxy and self.via != "https":
            self.assertTrue(all(len(v) == 1 and "(squid/" in v[0] for v in vias), vias)
        else:
            self.assertEqual(vias, [[]] * len(requests))
        if self.proxy and self.via == "https":
            tunnel = "CONNECT 127.0.0.1:%d " % self.nginx.https_port
            self.assertTrue(any(tunnel in line for line in self.squid.access_log(wait_for=tunnel)))


class Reports(Route):
    def assert_report(self, request, event, url):
        return assert_report(self, request, event, url)

    def test_post_pushes_the_status_and_sends_the_document(self):
        statuses = iter([200, 201, 404, 500])
        self.server.responder = lambda request: Response(next(statuses), b"answer")
        url = self.url("/v1/events?source=installer")
        steps = Steps()
        for event in ["install_start&beta&1.2.3", "a&b&c", "x", "done&stable&2.0"]:
            steps.post(url, event)
        run = steps.run()
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.values, ["200", "201", "404", "500"])
        requests = self.server.requests
        self.assertEqual([r.target for r in requests], ["/v1/events?source=installer"] * 4)
        ids = [self.assert_report(r, e, url.encode()) for r, e in zip(requests, [
            b"install_start&beta&1.2.3", b"a&b&c", b"x", b"done&stable&2.0"])]
        self.assertEqual(len(set(ids)), 4)
        self.assert_route(requests)
        if self.via is None and not self.proxy:  # the README's list, exactly: nothing in between adds one
            headers = [re.sub(r"^(Host|Content-Length): .*", r"\1", line) for line in requests[0].header_lines]
            self.assertEqual(headers, ["Accept: */*", "Host", "Content-Length", "User-Agent: " + USER_AGENT,
                                       "Cache-Control: no-cache", "Content-Type: application/json",
                                       "Accept-Language: en-US"])
        self.assertTrue(requests[0].body.startswith(
            b'{"app_version":"1.2.3","channel":"beta","env":"prd","event":"install_start"'))

    def test_event_texts_and_urls_reach_the_body_as_written(self):
        events = [b"", b"one", b"one&two", b"a&b&c&d&e", b"&&a&&b&c&&", b" sp ace & Chan &1 . 2 ",
                  b'q"uo"te&back\\slash&sl/ash', b"tab\there&cr\rlf\n&ctl\x01\x1b\x1f\x7f",
                  b"caf\xe9&\x80uro&\xff\xa0\xfc", b'\xe9"\\&\xe9&\xe9']
        urls = [self.url("/events"), self.url("/device"),
                self.url("/e?stage=dev"), self.url("/DEV")]
        steps = Steps()
        cases = [(e, urls[i % len(urls)]) for i, e in enumerate(events)]
        for event, url in cases:
            steps.post(url, event)
        run = steps.run()
        self.assertEqual(run.values, ["200"] * len(cases))
        requests = self.server.requests
        self.assertEqual(len(requests), len(cases))
        for request, (event, url) in zip(requests, cases):
            self.assert_report(request, event, url.encode())
        envs = [re.search(rb'"env":"(\w+)"', r.body).group(1) for r in requests]
        self.assertEqual(envs[:4], [b"prd", b"test", b"test", b"prd"])

    def test_missing_arguments_push_zero_and_send_nothing(self):
        url = self.url("/only-url")
        stack_left = ("ClearErrors", "Pop $0", "IfErrors 0 +2", 'StrCpy $0 "empty"',
                      '!insertmacro WriteResult $0')
        steps = Steps().post("", "a&b&c")
        steps.raw('Push "%s"' % url, "Kestrel::NSPost", "!insertmacro Record", *stack_left)
        steps.raw("Kestrel::NSPost", "!insertmacro Record", *stack_left)
        run = steps.run()
        self.assertEqual(run.values, ["0", "0", "empty", "0", "empty"])
        self.assertEqual(self.server.requests, [])

    def test_fifty_queued_reports_arrive_in_order_before_wait_done_returns(self):
        url = self.url("/queue")
        steps = Steps()
        for i in range(50):
            steps.post_async(url, "event%d&ch&%d" % (i, i))
        cached = cached_answers()
        run = steps.wait_done(-1).run()
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(cached_answers(), cached)  # no answer kept in the user's cache
        self.assertEqual(run.values, ["1"] * 50 + ["1"])
        requests = self.server.requests
        self.assertEqual([re.search(rb'"event":"(\w+)"', r.body).group(1) for r in requests],
                         [b"event%d" % i for i in range(50)])
        ids = {self.assert_report(r, b"event%d&ch&%d" % (i, i), url.encode())
               for i, r in enumerate(requests)}
        self.assertEqual(len(ids), 50)

    def test_post_behind_queued_reports_pushes_its_own_status(self):
        self.server.mode = "slow"
        self.server.delay = 0.3
        self.server.responder = lambda r: Response(202 if b'"event":"mine"' in r.body else 201)
        url = self.url("/")
        steps = Steps()
        for i in range(3):
            steps.post_async(url, "queued%d&c&v" % i)
        steps.post(url, "mine&c&v").wait_done(0)
        run = steps.run()
        self.assertEqual(run.values[:4], ["1", "1", "1", "202"])
        events = [re.search(rb'"event":"(\w+)"', r.body).group(1) for r in self.server.requests]
        self.assertEqual(events, [b"queued0", b"queued1", b"queued2", b"mine"])


class ReportsDirect(Reports, unittest.TestCase):
    via = None


class ReportsNginx(Reports, unittest.TestCase):
    via = "http"


class ReportsNginxTls(Reports, unittest.TestCase):
    via = "https"


class ReportsSquid(Reports, unittest.TestCase):
    proxy = True


class ReportsSquidTls(Reports, unittest.TestCase):
    via, proxy = "https", True


class Failures(unittest.TestCase):
    def test_refused_connection_pushes_zero_at_once(self):
        url = "http://127.0.0.1:%d/" % unused_port()
        run = Steps().start_clock().post(url, "a&b&c").record_clock().run()
        self.assertEqual(run.values, ["0"])
        self.assertLess(run.clocks[0], 1000)

    def test_queued_reports_go_again_through_passing_failures_only(self):
        busy = Response(503, headers=[("Retry-After", "30")])
        past = Response(503, headers=[("Retry-After", "Sun, 06 Nov 1994 08:49:37 GMT")])
        # Seconds the port refuses connections from the run's start, the server's options, the
        # answers before a 200, NSWaitDone's limit (None: the script ends without it), what it
        # pushes in how many ms, and the seconds between the report's requests, a band for each
        # after the first. Each wait lies between half its bound and its bound (1, 2, 4, 8 s).
        rows = (("503-twice", 0, {}, [Response(503)] * 2, -1, "1", (1400, 4000), [(0.45, 1.5), (0.95, 2.5)]),
                ("503-past-date", 0, {}, [past] * 2, -1, "1", (1400, 4000), [(0.45, 1.5), (0.95, 2.5)]),
                ("429-every-time", 0, {}, [Response(429)] * 6, -1, "1", (7400, 17000),
                 [(0.45, 1.5), (0.95, 2.5), (1.95, 4.5), (3.95, 8.5)]),
                ("429-retry-after", 0, {}, [Response(429, headers=[("Retry-After", "1")])], -1, "1",
                 (950, 2500), [(0.95, 1.5)]),
                ("reset", 0, {}, [Raw(end="reset")], -1, "1", (0, 1000), [(0, 0.5)]),
                ("tls-handshake-reset", 0, {"tls": True, "handshake_resets": 1}, [], -1, "1", (400, 2000), []),
                ("500", 0, {}, [Response(500)], -1, "1", (0, 1000), []),
                ("400", 0, {}, [Response(400)], -1, "1", (0, 1000), []),
                ("refused", 3, {}, [], -1, "1", (0, 20000), []),
                ("refused-5s", 5, {}, [], -1, "1", (0, 20000), []),
                ("wait-limit", 0, {}, [busy], 2000, "1", (0, 1000), []),  # its retry falls due past the limit: given up
                ("unload", 0, {}, [busy], None, None, (0, 1000), []))
        for name, refused_seconds, options, before, wait, pushed, (least, most), gaps in rows:
            port, scripted, arrivals, listened = unused_port(), list(before), [], []
            server = TestServer(port=port, **options)
            self.addCleanup(server.stop)
            server.responder = lambda request: scripted.pop(0) if scripted else None
            server.on_request = lambda request: arrivals.append(time.monotonic())
            timer = threading.Timer(refused_seconds,
                                    lambda: listened.append(server.start() and time.monotonic()))
            timer.start()
            if not refused_seconds:
                timer.join()
            url = "%s://127.0.0.1:%d/%s" % ("https" if options.get("tls") else "http", port, name)
            steps = Steps().post_async(url, name + "&ch&1").start_clock()
            if wait is not None:
                steps.wait_done(wait)
            steps.record_clock().raw('!insertmacro WriteResult "dir=$PLUGINSDIR"')
            run, end_seconds = run_to_its_end(steps)
            timer.cancel()
            timer.join()
            folder, left_behind = plugin_folder_left_behind(run)
            offsets = ", ".join("%.2f" % (t - arrivals[0]) for t in arrivals) + " s"
            if refused_seconds and arrivals and listened:
                offsets += ", %.2f s after the port listened" % (arrivals[-1] - listened[0])
            print("\n%s: pushed %s, NSWaitDone done in %d ms; requests at %s; ended %.2f s after its section"
                  % (name, " ".join(run.values[:-2]), run.clocks[0], offsets, end_seconds))
            with self.subTest(name):
                self.assertFalse(run.faulted, run.stderr[-3000:])
                self.assertEqual(run.values[:-2], ["1"] + ([pushed] if pushed else []))  # then dir= and end=
                self.assertTrue(least <= run.clocks[0] <= most, run.clocks)
                self.assertEqual(len(arrivals), len(gaps) + 1)
                for (low, high), gap in zip(gaps, [b - a for a, b in zip(arrivals, arrivals[1:])]):
                    self.assertTrue(low <= gap <= high, (low, gap, high))
                self.assertEqual(len({r.body for r in server.requests}), 1)  # the same document each time
                self.assertLess(end_seconds, END_LIMIT_SECONDS)
                self.assertFalse(left_behind, "the plug-in folder was left behind: " + folder)
                given_up = [t for t in run.traces if b" given up unsent after 1 attempts\n" in t]
                self.assertEqual(len(given_up), 1 if name in ("wait-limit", "unload") else 0)  # waiting at the end

    def test_wait_done_returns_once_nothing_left_can_end_before_its_limit(self):
        with TestServer() as server:
            once = [Response(503)]
            server.responder = lambda request: once.pop(0) if once else None
            # Where two queued reports go; what NSWaitDone 3000 pushes within how many ms, the
            # tally then, and the requests that arrived: no network is given up, a 503 retried.
            rows = (("nothing-listening", "http://127.0.0.1:%d/" % unused_port(), "1", 1000, "0 2 0", 0),
                    ("name-not-resolved", "http://kestrel-nonexistent.invalid/", "1", 1000, "0 2 0", 0),
                    ("503-once", server.url("/"), "1", 2900, "2 0 0", 3))
            for name, url, pushed, most, tally, arrived in rows:
                server.clear_requests()
                run = (Steps().post_async(url, "a&ch&1").post_async(url, "b&ch&1").start_clock().wait_done(3000)
                       .record_clock().tally().run())
                print("\nNSWaitDone 3000, %s: %s in %d ms" % (name, run.values[2], run.clocks[0]))
                with self.subTest(name):
                    self.assertEqual(run.values, ["1", "1", pushed, tally])
                    self.assertLess(run.clocks[0], most)
                    self.assertEqual(len(server.requests), arrived)

    def test_a_post_waits_for_the_reports_queued_before_it_never_for_their_retries(self):
        with TestServer() as server, TestServer(mode="slow", delay=3.0, status=503) as busy, \
                DroppedSyns() as dropping:
            once = [Response(429, headers=[("Retry-After", "5")])]
            server.responder = lambda request: once.pop(0) if once else None
            # Where the reports queued before NSPost go and how many, the seconds each of their
            # attempts takes and how many each gets; where NSPost's report goes, what it pushes
            # and the seconds it takes. NSPost's bound is the time of the reports queued before
            # it plus its own, whatever retries fall due while it waits.
            rows = (("retry-after", server, 1, 0, 2, server, "200", 0),
                    ("dropping", dropping, 2, 5, 5, server, "200", 0),
                    ("503-after-3s", busy, 2, 3, 5, busy, "503", 3))
            for name, queued_to, queued, attempt_s, attempts, posted_to, pushed, own_s in rows:
                server.clear_requests()
                busy.clear_requests()
                steps = Steps()
                for i in range(queued):
                    steps.post_async(queued_to.url("/queued%d" % i), "queued&ch&1")
                steps.start_clock().post(posted_to.url("/mine"), "mine&ch&1").record_clock()
                # Under Wine a given-up connection attempt goes on sending SYNs for two minutes, so
                # one left by an earlier installer to a port that was reused is not this one's.
                earlier = client_sockets(dropping.port, ("02",))
                run, dropped = peak_while(lambda: len(client_sockets(dropping.port, ("02",)) - earlier),
                                          steps.start_clock().wait_done(-1).record_clock().run)
                post_ms, wait_ms = run.clocks
                bound_ms = (queued * attempt_s + own_s) * 1000 + 1000
                print("\nNSPost behind %d reports, %s: %d ms (bound %d ms); their retries %d ms more"
                      % (queued, name, post_ms, bound_ms, wait_ms))
                with self.subTest(name):
                    self.assertEqual(run.values, ["1"] * queued + [pushed, "1"])
                    self.assertLess(post_ms, bound_ms)
                    tried = dropped if queued_to is dropping else \
                        len([r for r in queued_to.requests if r.target.startswith("/queued")])
                    self.assertEqual(tried, queued * attempts)


    def test_get_error_says_why_the_latest_report_ended_and_the_trace_each_attempt(self):
        with TestServer() as server, TestServer(mode="hang") as silent, TestServer() as flaky, \
                NginxServer(server.port) as nginx:
            server.responder = lambda request: Response(404) if request.target == "/missing" else None
            once = [Response(503)]
            flaky.responder = lambda request: once.pop(0) if once else None
            # Where each NSPost goes, and what NSGetError pushes after it.
            rows = ((server.url("/ok"), "200", "ok 200"), (server.url("/missing"), "404", "http 404"),
                    ("http://127.0.0.1:%d/" % unused_port(), "0", "connect 12029"),
                    ("http://kestrel-nonexistent.invalid/", "0", "dns 12007"), (silent.url("/"), "0", "timeout 0"),
                    (nginx.url("/").replace("http:", "https:"), "0", "tls 12157"), ("", "0", "url 0"),
                    ("ftp://127.0.0.1:%d/" % server.port, "0", "url 12006"))
            steps = Steps().get_error()
            for url, _, _ in rows:
                steps.post(url, "e&ch&1").get_error()
            steps.post_async("", "e&ch&1").get_error()
            steps.post_async(flaky.url("/retried"), "e&ch&1").wait_done(-1).get_error().get().get_error()
            run = steps.post(server.url("/late"), "e&ch&1").get_error().run()
            with mock.patch.dict(os.environ, DO_NOT_TRACK="1"):
                off = Steps().post(server.url("/off"), "e&ch&1").get_error().run()
            # NSPost's own report, whatever queued reports and their retries come to meanwhile.
            refused, once[:] = "http://127.0.0.1:%d/" % unused_port(), [Response(429, headers=[("Retry-After", "1")])]
            own = (Steps().post_async(refused, "q&ch&1").post(server.url("/own"), "e&ch&1").raw("Sleep 1500")
                   .get_error().post_async(flaky.url("/429"), "q&ch&1").post(refused, "e&ch&1").raw("Sleep 1500")
                   .get_error().raw('Kestrel::NSPut ""', "!insertmacro Record").get_error().run())
        print("\nNSGetError: " + ", ".join(v for v in run.values + off.values + own.values if " " in v))
        self.assertEqual(run.values + off.values, ["none 0"] + [v for _, status, error in rows for v in (status, error)]
                         + ["0", "url 0", "1", "1", "url 0", "0", "stopped 0", "0", "stopped 0", "0", "off 0"])
        self.assertEqual(own.values, ["1", "200", "ok 200", "1", "0", "connect 12029", "0", "none 0"])
        attempt = "report ID attempt %d direct: %s, status %s, N ms"
        given_up = "report ID given up after 1 attempts: %s"
        failed = [(error, status) for _, status, error in rows[2:] if error != "url 0"]
        expected = [attempt % (1, "ok 200", 200), attempt % (1, "http 404", 404)]
        for error, status in failed:
            expected += ["report refused: url 0"] if error == "url 12006" else []
            expected += [attempt % (1, error, status), given_up % error]
        expected += ["report refused: url 0", attempt % (1, "http 503", 503), attempt % (2, "ok 200", 200),
                     "report refused: stopped 0"]
        traced = [re.sub(r"\d+ ms", "N ms", re.sub(r"[0-9A-Fa-f]{32}", "ID", t.decode("latin-1"))).split(":\t", 1)[1]
                  for t in run.traces if b"\treport " in t]
        self.assertEqual(traced, [line + "\n" for line in expected])


class Tally(unittest.TestCase):
    def test_tally_counts_the_run_s_reports_at_once_and_the_unload_traces_them(self):
        with TestServer() as server, TestServer(mode="hang") as silent:
            server.responder = lambda request: Response(404) if request.target == "/missing" else None
            ga4 = server.url("/mp/collect?measurement_id=G-1&api_secret=s")
            # What each run posts after a report taken, what NSTally pushes right after it (taken,
            # failed, waiting), and the unload's counts, once a report still waiting was given up.
            rows = (("taken", lambda steps: steps.post(server.url("/b"), "b&b&1"), "2 0 0", "2 0 0"),
                    ("404", lambda steps: steps.post(server.url("/missing"), "b&b&1"), "1 1 0", "1 1 0"),
                    ("invalid", lambda steps: steps.set_format("ga4", "").post(ga4, "b-c&b&1"), "1 1 0", "1 1 0"),
                    ("waiting", lambda steps: steps.post_async(silent.url("/"), "b&b&1"), "1 0 1", "1 1 0"),
                    ("final", lambda steps: steps.wait_done(-1).post(server.url("/b"), "b&b&1"), "1 0 0", "1 0 0"))
            for name, posts, pushed, unloaded in rows:
                with self.subTest(name):
                    run = posts(Steps().post(server.url("/a"), "a&b&1")).start_clock().tally().record_clock().run()
                    unload = [t.split(b"\t")[1] for t in run.traces if b"\tunload: " in t]
                    self.assertEqual((run.values[-1], unload), (pushed, [
                        b"unload: reports taken %s, failed %s, waiting %s\n" % tuple(unloaded.encode().split())]))
                    self.assertLess(run.clocks[0], 500)  # never waits, a report in flight or not


class RicherReports(unittest.TestCase):
    def test_context_and_fields_go_into_reports_queued_after_them(self):
        # Report b waits behind the slow report s, while step changes and the context is asked for again.
        with TestServer() as server, TestServer(mode="slow", delay=2.0) as slow:
            url, long_value = server.url("/"), b"\xe9" * 129  # 258 bytes of UTF-8: over the limit there
            run = (Steps().set_field("step", "files").set_field("Step", "x").set_field("long", long_value)
                   .post(url, "a&b&1").add_context().post_async(slow.url("/"), "s&b&1").post_async(url, "b&b&1")
                   .set_field("step", "registry").add_context().raw("StrCpy $LANGUAGE 1036")
                   .post(url, "c&b&1").set_field("step", "").post(url, "d&b&1").wait_done(-1).run())
            with mock.patch.dict(os.environ, LANG="de_DE.UTF-8", LC_ALL="de_DE.UTF-8"):
                german = Steps().add_context().post(url, "e&b&1").run()
            run_wine(["cmd", "/c", "exit"])  # Wine's locale settings in the prefix back to the tests' own
            requests = server.requests + slow.requests
            docs = [json.loads(r.body.decode("utf-8" if UNICODE else "latin-1")) for r in requests]
        self.assertEqual(run.values + german.values, ["1", "0", "0" if UNICODE else "1", "200", "1", "1", "1", "1",
                                                      "1", "200", "1", "200", "1", "1", "200"])
        long_field = None if UNICODE else "\xe9" * 129  # in the run's reports, not in the next run's
        self.assertEqual([(doc.get("step"), doc.get("long"), list(doc) == sorted(doc)) for doc in docs],
                         [("files", long_field, True), ("files", long_field, True), ("registry", long_field, True),
                          (None, long_field, True), (None, None, True), ("files", long_field, True)])
        arch = "x64" if TARGET.startswith("amd64") else "x86"
        version = re.search(rb"\d+\.\d+\.\d+", run_wine(["cmd", "/c", "ver"])[1]).group().decode()
        # installer_language is $LANGUAGE's when each report was queued: b was, before French was chosen.
        self.assertEqual([(d.get("os_version"), d.get("os_arch"), d.get("process_arch"), d.get("ui_language"),
                           d.get("installer_language")) for d in docs],
                         [(None,) * 5] + [(version, arch, arch, "en-US", lang) for lang in ("en-US", "fr-FR", "fr-FR")]
                         + [(version, arch, arch, "de-DE", "en-US"), (version, arch, arch, "en-US", "en-US")])
        sessions = [d["session_id"] for d in docs[1:]]
        self.assertTrue(all(re.fullmatch(r"[0-9A-F]{12}[0-9a-f]{4}[0-9A-F]{16}", s) for s in sessions), sessions)
        self.assertEqual((sessions[0] == sessions[1] == sessions[2], sessions[2] == sessions[3]), (True, False))
        self.assertTrue(docs[1]["elapsed_ms"] < docs[2]["elapsed_ms"] < docs[3]["elapsed_ms"], docs)
        self.assertLess(docs[1]["elapsed_ms"] - docs[5]["elapsed_ms"], 1000)  # b's queueing, not its sending
        with self.subTest("an x86 installer in the 64-bit prefix"):
            if TARGET != "amd64-unicode" or not os.path.isfile(os.path.join(plugin_dir("x86-unicode"), "Kestrel.dll")):
                self.skipTest("needs the amd64-unicode target's 64-bit prefix and an x86-unicode DLL built")
            with TestServer() as server:
                wow64 = Steps().add_context().post(server.url("/"), "f&b&1").run(target="x86-unicode")
                doc = json.loads(server.requests[0].body)
            self.assertEqual((wow64.values, doc["os_arch"], doc["process_arch"]), (["1", "200"], "x64", "x86"))


    # The names the plug-in hides, read as it reads them, then recorded: $R5 profile, $R6 user, $R7 computer.
    NAMES = ("ReadEnvStr $R5 USERPROFILE", "System::Call 'advapi32::GetUserName(t .R6, *i 1024)'",
             "System::Call 'kernel32::GetComputerName(t .R7, *i 1024)'", '!insertmacro WriteResult "$R6"')

    def scrubbed(self, run):
        """The two lines with names that both tests give, as attached: a name inside a word stays."""
        return ["Output folder: %USERPROFILE%\\Editor x" + run.values[0], "%USERNAME% on %COMPUTERNAME%, not root2"]

    def test_details_lines_kept_in_a_silent_run_and_how_it_ran_go_into_the_next_report(self):
        with TestServer() as server:
            url, long_line = server.url("/"), "\xe9" + "b" * 119
            run = (Steps().raw(*self.NAMES).add_context().attach_details("0").attach_details("51")
                   .add_detail("dropped: first line").raw('Kestrel::NSAddDetail "Output folder: $R5\\Editor x$R6"',
                                                          "!insertmacro Record", 'Kestrel::NSAddDetail "$R6 on $R7, not root2"',
                                                          "!insertmacro Record").add_detail(long_line).attach_details("3")
                   .raw("SetShellVarContext all", "SetErrorLevel 5", "SetRebootFlag true", "SetErrors")
                   .post(url, "install_failed&b&1").raw("ClearErrors").post(url, "next&b&1")
                   .attach_details("50").set_format("posthog", "phc_key").post(url + "i/v0/e/", "posthog&b&1")
                   .attach_details("50").set_format("ga4", "").post(url + "mp/collect?measurement_id=G-1&api_secret=s", "g&b&1")
                   .run())
            # Kestrel's document carries an ANSI installer's bytes; a vendor's body is UTF-8.
            docs = [json.loads(r.body.decode("utf-8" if UNICODE or i > 1 else "latin-1")) for i, r in enumerate(server.requests)]
        self.assertEqual(run.values[1:], ["1", "0", "0", "1", "1", "1", "1", "1", "200", "200", "1", "1", "200", "1", "1", "200"])
        lines = self.scrubbed(run)
        self.assertEqual(docs[0]["details"], "\n".join(lines + [long_line]))
        flags = ("silent", "all_users", "error_flag", "error_level", "reboot")
        self.assertEqual([tuple(d.get(f) for f in flags) for d in docs[:2]], [(True, True, True, 5, True), (True, True, False, 5, True)])
        self.assertIsInstance(docs[0]["elevated"], bool)
        self.assertNotIn("details", docs[1])
        self.assertEqual(docs[2]["properties"]["details"], "\n".join(["dropped: first line"] + lines + [long_line]))
        self.assertEqual(docs[3]["events"][0]["params"]["details"], long_line[:100])  # GA4's 100 characters

    def test_a_window_s_details_list_is_attached_scrubbed_to_the_next_report_only(self):
        with TestServer() as server:
            url = server.url("/")
            run = (Steps().raw(*self.NAMES, 'DetailPrint "dropped"', 'DetailPrint "Output folder: $R5\\Editor x$R6"',
                               'DetailPrint "$R6 on $R7, not root2"', 'DetailPrint "last"')
                   .add_detail("kept, not attached: the list has lines").attach_details("3")
                   .post(url, "install_failed&b&1").post(url, "next&b&1").run(gui=True))
            docs = [json.loads(r.body.decode("utf-8" if UNICODE else "latin-1")) for r in server.requests]
        self.assertEqual(run.values[1:], ["1", "1", "200", "200"])
        self.assertEqual([d.get("details") for d in docs], ["\n".join(self.scrubbed(run) + ["last"]), None])


class SystemProxy(unittest.TestCase):
    def test_reports_go_direct_past_a_bypassed_down_or_demanding_proxy_only(self):
        with TestServer() as server, NginxServer(server.port) as nginx, SquidServer() as squid, \
                SquidServer(credentials=("kestrel", "secret")) as demanding, DroppedSyns() as dropping, \
                TestServer() as resetting_proxy, TestServer() as slow_demanding:
            resetting_proxy.responder = lambda request: Raw(end="reset")  # once it read the request
            # A 407 whose 4 KB page comes 20 bytes every 0.4 s: the direct attempt must not wait for it.
            page = [piece for _ in range(205) for piece in (b"x" * 20, 0.4)]
            slow_demanding.responder = lambda request: Raw(
                b"HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"k\"\r\n"
                b"Content-Length: 4100\r\n\r\n", *page, end="keep")
            # The system's proxy and bypass list, the report's URL, what NSPost pushes (the
            # proxy's own answer once it took the report) and within how many ms; with a queued
            # report behind it too, which must arrive once.
            rows = (("407", demanding.port, None, server.url("/407"), "200", 2500),
                    ("bypassed", squid.port, "<local>;127.0.0.1", server.url("/bypassed"), "200", 2500),
                    ("down", unused_port(), None, server.url("/down"), "200", 2500),
                    ("407-tls", demanding.port, None, nginx.url("/407-tls", tls=True), "200", 2500),
                    ("dropping", dropping.port, None, server.url("/dropping"), "200", 5500),
                    ("407-slow", slow_demanding.port, None, server.url("/407-slow"), "200", 1500),
                    ("proxy-503", squid.port, None, "http://127.0.0.1:%d/" % unused_port(), "503", 2500),
                    ("reset-after-sent", resetting_proxy.port, None, server.url("/reset-after-sent"), "0", 2500),
                    ("down-refused", unused_port(), None, "http://127.0.0.1:%d/" % unused_port(), "0", 2500))
            # The 407 row's six reports go to an endpoint that closes its connections (else Wine
            # sends the next over the endpoint's kept-alive one, past the proxy). Wine closes a
            # connection handed back to its pool 60 to 65 s later, one held by an unread answer
            # only at the installer's exit: that installer outlives the pool while the rows run.
            server.responder = lambda request: Response(close=True) if "/407" in request.target else None
            asking_why = ("reset-after-sent", "down-refused")  # rows that end with NSGetError
            runs = {}
            try:
                for name, port, bypass, url, _, _ in rows:
                    set_system_proxy("127.0.0.1:%d" % port, bypass)
                    steps = Steps()
                    for _ in range(6 if name == "407" else 1):
                        steps.start_clock().post(url, name + "&ch&1").record_clock()
                    if name == "407-slow":
                        steps.post_async(url, name + "&ch&1").wait_done(-1)
                    if name in asking_why:
                        steps.get_error()  # the proxy had it: no direct attempt was left; or never had it
                    if name != "407":
                        runs[name] = steps.run()
                        continue
                    holding = threading.Thread(target=lambda: runs.update({"407": steps.raw("Sleep 70000").run()}))
                    holding.start()
                    while len(server.requests) < 6 and holding.is_alive():
                        time.sleep(0.05)
                    pooled = time.monotonic()
            finally:
                clear_system_proxy()
            time.sleep(max(0.0, pooled + 66 - time.monotonic()))
            held = client_connections(demanding.port)
            holding.join()
            print("\nproxy 407: %d of six connections to the proxy still held 66 s after the reports" % held)
            self.assertEqual(held, 0)
            for name, _, _, url, pushed, most in rows:
                run = runs[name]
                print("\nproxy %s: pushed %s in %s ms" % (name, " ".join(run.values), " ".join(map(str, run.clocks))))
                with self.subTest(name):
                    values = run.values[:-1] if name in asking_why else run.values
                    self.assertEqual(set(values) - {"1"} if name == "407-slow" else set(values), {pushed})
                    self.assertLess(max(run.clocks), most)
            requests = server.requests
            reached = rows[:1] * 6 + rows[1:5] + rows[5:6] * 2
            self.assertEqual([r.target for r in requests], [url[url.index("/", 8):] for _, _, _, url, _, _ in reached])
            for request, (name, _, _, url, _, _) in zip(requests, reached):
                assert_report(self, request, name.encode() + b"&ch&1", url.encode())
                self.assertEqual(request.header("Via"), [])
            self.assertFalse([line for line in squid.access_log() if "/bypassed" in line])
            denied = [line for line in demanding.access_log(wait_for="CONNECT") if "TCP_DENIED/407" in line]
            self.assertEqual(len(denied), 7, denied)  # asked first, once each
            # Reset once the proxy had it: sent again the same way, once, and never direct.
            self.assertEqual(len(resetting_proxy.requests), 2)
            self.assertRegex(runs["reset-after-sent"].values[-1], r"^proxy 12\d{3}$")
            self.assertEqual(runs["down-refused"].values[-1], "connect 12029")  # the direct attempt's word


class ServerFailures(Route):
    """Servers that answer late or never; behind nginx the proxy holds the report the same way."""

    def test_silent_server_gives_zero_after_the_send_limit(self):
        self.server.mode = "hang"
        run = Steps().start_clock().post(self.url(), "a&b&c").record_clock().run()
        self.assertEqual(run.values, ["0"])
        self.assertTrue(4900 <= run.clocks[0] < 6500, run.clocks)
        self.assertEqual(len(self.server.requests), 1)

    def test_wait_done_gives_up_on_a_hung_report_and_later_commands_fail_fast(self):
        self.server.mode = "hang"
        steps = Steps().post_async(self.url(), "a&b&c")
        steps.start_clock().wait_done(1500).record_clock()
        steps.start_clock().post(self.url(), "x&y&z").post_async(self.url(), "x&y&z")
        run = steps.record_clock().exit_code(4).run()
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.exit_code, 4)
        self.assertEqual(run.values, ["1", "0", "0", "0"])
        wait_ms, after_ms = run.clocks
        self.assertTrue(1400 <= wait_ms < 2500, wait_ms)
        self.assertLess(after_ms, 500)
        self.assertEqual(len(self.server.requests), 1)

    def test_wait_done_without_time_gives_up_at_once(self):
        self.server.mode = "hang"
        steps = Steps().post_async(self.url(), "a&b&c")
        run = steps.start_clock().wait_done(0).get().record_clock().run()
        self.assertFalse(run.faulted, run.stderr)
        self.assertEqual(run.values, ["1", "0", "0"])
        self.assertLess(run.clocks[0], 500)

    def test_installer_ends_without_wait_done_while_reports_run(self):
        for mode in ("slow", "hang"):
            self.server.mode, self.server.delay = mode, 2.0
            steps = Steps()
            for i in range(3):
                steps.post_async(self.url(), "e%d&c&v" % i)
            run = steps.exit_code(6).run()
            self.assertFalse(run.faulted, mode + run.stderr)
            self.assertEqual(run.exit_code, 6, mode)
            self.assertEqual(run.values, ["1", "1", "1"], mode)


class ServerFailuresDirect(ServerFailures, unittest.TestCase):
    via = None


class ServerFailuresNginx(ServerFailures, unittest.TestCase):
    via = "http"


class ServerFailuresNginxTls(ServerFailures, unittest.TestCase):
    via = "https"


if __name__ == "__main__":
    unittest.main()
