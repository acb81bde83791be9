"""What NSPost pushes for every kind of answer a server may give, and how long it takes.

One installer posts to each case in turn (the recording server, nginx in front of it, and a
few servers that misbehave), each post followed by a normal report that must still push 200.
The output ends with the slowest post of the table.
"""

import re
import unittest
import urllib.parse

from installer import Steps
from nginx_server import NginxServer  # on the path through installer
from test_server import DroppedSyns, TestServer, TrickledTls, answers, unused_port

# A report ends within the send limit (5 s, redirects included) plus the read deadline (5 s
# from the answer's head), whatever the server dribbles: 10 s; these bounds leave room for a
# loaded machine.
DEADLINE_MS = 10500
QUICK_MS = 2500
READ_LIMIT_MS = (4500, 7500)
SEND_LIMIT_MS = (4900, 7500)
DRIBBLE_MS = (4500, DEADLINE_MS)  # a head at once, then bytes too slow to end the body
SLOWEST_MS = (9000, DEADLINE_MS)

EVENT = re.compile(rb'"event":"([^"]*)"')


class Answers(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.recorder = TestServer().start()
        cls.addClassCleanup(cls.recorder.stop)
        cls.recorder.responder = answers
        cls.nginx = NginxServer(cls.recorder.port).start()
        cls.addClassCleanup(cls.nginx.stop)
        cls.self_signed = TestServer(tls=True).start()
        cls.addClassCleanup(cls.self_signed.stop)
        cls.self_signed.responder = answers
        cls.silent = TestServer(mode="hang").start()  # never speaks, not even TLS
        cls.addClassCleanup(cls.silent.stop)
        cls.trickled = TrickledTls(answers).start()
        cls.addClassCleanup(cls.trickled.stop)
        cls.dropped = DroppedSyns().start()
        cls.addClassCleanup(cls.dropped.stop)
        cls.run_ = cls._run_every_case()

    @classmethod
    def _cases(cls):
        """(name, url, pushed, (least ms, most ms), targets the recorder receives)."""
        rec, ng = cls.recorder.url, cls.nginx.url
        secure_ok = ng("/answer/ok", tls=True)
        cases = [
            ("kept-alive", rec("/answer/ok"), "200", (0, QUICK_MS), ["/answer/ok"]),
            ("nginx", ng("/answer/ok"), "200", (0, QUICK_MS), ["/answer/ok"]),
            ("nginx-tls", ng("/answer/ok", tls=True), "200", (0, QUICK_MS), ["/answer/ok"]),
            ("chunked", rec("/answer/chunked"), "200", (0, QUICK_MS), ["/answer/chunked"]),
            ("nginx-chunked", ng("/answer/chunked", tls=True), "200", (0, QUICK_MS), ["/answer/chunked"]),
            ("204", rec("/answer/204"), "204", (0, QUICK_MS), ["/answer/204"]),
            ("nginx-204", ng("/nginx/204"), "204", (0, QUICK_MS), []),
            ("http10", rec("/answer/http10"), "200", (0, QUICK_MS), ["/answer/http10"]),
            ("cut", rec("/answer/cut"), "200", (0, QUICK_MS), ["/answer/cut"]),
            ("huge", rec("/answer/huge"), "200", (0, QUICK_MS), ["/answer/huge"]),
            ("1mib-0", rec("/answer/mib"), "200", (0, QUICK_MS), ["/answer/mib"]),
            ("1mib-1", rec("/answer/mib"), "200", (0, QUICK_MS), ["/answer/mib"]),
            ("stall", rec("/answer/stall"), "200", READ_LIMIT_MS, ["/answer/stall"]),
            ("trickle", rec("/answer/trickle"), "200", READ_LIMIT_MS, ["/answer/trickle"]),
            ("slowest", rec("/answer/slowest"), "200", SLOWEST_MS, ["/answer/slowest"]),
            ("silent", rec("/answer/silent"), "0", SEND_LIMIT_MS, ["/answer/silent"]),
            ("not-http", rec("/answer/not-http"), "200", READ_LIMIT_MS, ["/answer/not-http"]),
            ("refused", "http://127.0.0.1:%d/" % unused_port(), "0", (0, QUICK_MS), []),
            ("tls-stall", "https://127.0.0.1:%d/" % cls.silent.port, "0", SEND_LIMIT_MS, []),
            ("self-signed", cls.self_signed.url("/answer/ok"), "200", (0, QUICK_MS), []),
            ("dribbled-status", rec("/answer/dribbled-status"), "0", SEND_LIMIT_MS,
             ["/answer/dribbled-status"]),
            ("dribbled-chunk-size", rec("/answer/dribbled-chunk-size"), "200", DRIBBLE_MS,
             ["/answer/dribbled-chunk-size"]),
            ("dribbled-chunk-ext", rec("/answer/dribbled-chunk-extension"), "200", DRIBBLE_MS,
             ["/answer/dribbled-chunk-extension"]),
            ("dribbled-trailer", rec("/answer/dribbled-trailer"), "200", (0, DEADLINE_MS),
             ["/answer/dribbled-trailer"]),
            ("tls-trickle", cls.trickled.url("/answer/chunked"), "200", DRIBBLE_MS, []),
            ("dropped-syns", cls.dropped.url("/answer/ok"), "0", SEND_LIMIT_MS, []),
            ("307-loop", rec("/answer/loop"), "307", (0, QUICK_MS), ["/answer/loop"] * 4),
            ("307-no-location", rec("/answer/status/307"), "307", (0, QUICK_MS), ["/answer/status/307"]),
            ("fragment", rec("/answer/ok#frag"), "200", (0, QUICK_MS), ["/answer/ok"]),
            ("nginx-fragment", ng("/answer/ok?via=nginx#frag"), "200", (0, QUICK_MS),
             ["/answer/ok?via=nginx"]),
            ("HTTPS", secure_ok.replace("https", "HTTPS", 1), "200", (0, QUICK_MS), ["/answer/ok"]),
            ("Https", secure_ok.replace("https", "Https", 1), "200", (0, QUICK_MS), ["/answer/ok"]),
        ]
        # 307 and 308 lead only to http and https, without the fragment; anywhere else the
        # 3xx itself is the answer and nothing more is sent.
        for name, to, pushed, followed in (
                ("307-fragment", "/answer/ok?from=fragment#frag", "200", ["/answer/ok?from=fragment"]),
                ("307-mailto", "mailto:someone@example.com", "307", []),
                ("307-ftp", "ftp://127.0.0.1:%d/answer/ok" % cls.recorder.port, "307", [])):
            source = "/answer/status/307?to=" + urllib.parse.quote(to, safe="")
            cases.append((name, rec(source), pushed, (0, QUICK_MS), [source] + followed))
        for code in (301, 302, 303, 307, 308):
            for scheme, to in (("http", rec("/answer/ok?from=%d" % code)),
                               ("https", ng("/answer/ok?from=%d" % code, tls=True)),
                               ("relative", "/answer/ok?from=%d" % code)):
                source = "/answer/status/%d?to=%s" % (code, urllib.parse.quote(to, safe=""))
                followed = code in (307, 308)
                cases.append(("%d-%s" % (code, scheme), rec(source), "200" if followed else str(code),
                              (0, QUICK_MS), [source] + (["/answer/ok?from=%d" % code] if followed else [])))
        # Each row's next report comes on the connection kept from it, which the server then
        # resets unread: that report goes once more on a new one and arrives once.
        cases += [("reset-next-%d" % i, rec("/answer/reset-next"), "200", (0, QUICK_MS),
                   ["/answer/reset-next"]) for i in range(4)]
        # Last: a client that drained it would stream for the rest of the run.
        cases.append(("endless", rec("/answer/endless"), "200", (0, QUICK_MS), ["/answer/endless"]))
        return cases

    @classmethod
    def _run_every_case(cls):
        cls.cases = cls._cases()
        steps = Steps()
        for name, url, _, _, _ in cls.cases:
            steps.start_clock().post(url, "%s&ch&1" % name).record_clock()
            steps.start_clock().post(cls.recorder.url("/answer/ok"), "after-%s&ch&1" % name).record_clock()
        return steps.run(timeout=300)

    def test_every_answer_pushes_its_number_in_time_and_the_next_report_goes_out(self):
        run = self.run_
        self.assertFalse(run.faulted, run.stderr[-3000:])
        self.assertEqual(len(run.values), 2 * len(self.cases), run.results)
        print()
        for i, (name, url, pushed, (least, most), _) in enumerate(self.cases):
            ms, after_ms = run.clocks[2 * i], run.clocks[2 * i + 1]
            print("%-18s pushed %-3s in %5d ms (next report %s in %d ms)"
                  % (name, run.values[2 * i], ms, run.values[2 * i + 1], after_ms))
            with self.subTest(name):
                self.assertEqual(run.values[2 * i], pushed)
                self.assertTrue(least <= ms <= most, ms)
                self.assertEqual(run.values[2 * i + 1], "200")
                self.assertLessEqual(after_ms, QUICK_MS)
        slowest = max(range(len(self.cases)), key=lambda i: run.clocks[2 * i])
        print("slowest post: %s, %d ms" % (self.cases[slowest][0], run.clocks[2 * slowest]))

    def test_the_recorder_receives_each_report_where_it_was_sent_whole(self):
        received = [(r.target, EVENT.search(r.body).group(1).decode(), r) for r in self.recorder.requests]
        expected = []
        for name, _, _, _, targets in self.cases:
            expected += [(t, name) for t in targets] + [("/answer/ok", "after-" + name)]
        self.assertEqual([(t, e) for t, e, _ in received], expected)
        for target, event, request in received:
            with self.subTest(target):
                self.assertEqual(request.method, "POST")
                self.assertEqual(request.header("Content-Type"), ["application/json"])
                self.assertEqual(request.header("Accept-Language"), ["en-US"])
                self.assertEqual(request.header("Content-Length"), [str(len(request.body))])
        self.assertEqual(len(self.self_signed.requests), 1)
        # Exactly the cap is read to its end, and the connection serves the next reports.
        self.assertEqual(len({r.connection for _, e, r in received if e.endswith(("1mib-0", "1mib-1"))}), 1)
        self.assertEqual([r.target for r in self.trickled.server.requests], ["/answer/chunked"])

    def test_a_kept_alive_connection_the_server_closed_meanwhile_is_not_a_lost_report(self):
        with TestServer(idle=1) as plain, TestServer(idle=1, tls=True) as secure:
            steps = Steps()
            for server in (plain, secure):
                server.responder = answers
                steps.post(server.url("/answer/ok"), "first&ch&1").raw("Sleep 2000")  # server closes at 1 s
                steps.start_clock().post(server.url("/answer/ok"), "second&ch&1").record_clock()
            run = steps.run()
            self.assertEqual(run.values, ["200"] * 4)
            self.assertTrue(all(ms <= QUICK_MS for ms in run.clocks), run.clocks)
            for server in (plain, secure):
                events = [EVENT.search(r.body).group(1) for r in server.requests]
                self.assertEqual(events, [b"first", b"second"])


if __name__ == "__main__":
    unittest.main()
