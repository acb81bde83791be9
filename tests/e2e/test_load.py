"""Queued reports from one real installer, straight to the recording server and through nginx
in front of it: a thousand with some answers failing and some late, and, straight, two hundred
whose requests fail for now at random (busy, or their connection reset unanswered).

Each run prints how long it took: queueing (each NSPostAsync pauses 10 ms), the wait for the
last report, and the whole installer; and how many requests the reports took.
"""

import collections
import random
import re
import time
import unittest

from installer import Steps
from test_reports import Route, assert_report
from test_server import Raw, Response

NUMBER = re.compile(rb'"app_version":"(\d+)"')


class LoadAnswers:
    """The recorder's answers, by the report's number: one in ten is 500, one in seven comes
    30 ms late. A `flaky` load is answered 200, after failing one request in five with 503, at
    random but never more than three times for one report, so that every report gets through
    within its five attempts; and one 200 in twenty leaves its kept-alive connection to be reset when the
    next request comes on it, unread and unrecorded (as load balancers drop idle ones)."""

    def __init__(self, flaky):
        self.flaky = flaky
        self.random = random.Random()
        self.failed = 0
        self.failures = collections.Counter()  # by the report's number
        self.delivered = []  # requests answered for good, in order

    def __call__(self, request):
        draw = self.random.random()
        number = int(NUMBER.search(request.body).group(1))
        if self.flaky and draw < 0.2 and self.failures[number] < 3:
            self.failed += 1
            self.failures[number] += 1
            return Response(503, b"busy")
        self.delivered.append(request)
        if self.flaky:
            answer = Response(200, b"answer")
            return Raw(answer.encode(), end="reset-next") if draw > 0.95 else answer
        if number % 7 == 3:
            time.sleep(0.03)
        return Response(500 if number % 10 == 9 else 200, b"answer")


class Load(Route):
    def test_queued_reports_arrive_once_each_in_order(self):
        # How many, and whether they fail for now (straight only).
        for count, flaky in ((1000, False), (200, True))[:1 if self.via else 2]:
            with self.subTest(count=count):
                self.server.clear_requests()
                load = self.server.responder = LoadAnswers(flaky)
                url = self.url("/load?n=%d" % count)
                steps = Steps().start_clock()
                steps.repeat(count, 'Kestrel::NSPostAsync "%s" "event$R9&load&$R9"' % url,
                             "!insertmacro Record")
                run = steps.record_clock().wait_done(-1).record_clock().run(timeout=180)
                self.assertFalse(run.faulted, run.stderr[-3000:])
                requests = self.server.requests
                print("\n%s: %d reports queued in %.1f s, the last one done at %.1f s; installer %.1f s; "
                      "%d requests (%.2f a report)"
                      % ("nginx " + self.via if self.via else "straight", count, run.clocks[0] / 1000,
                         run.clocks[1] / 1000, run.seconds, len(requests), len(requests) / count))
                self.assertEqual(run.values, ["1"] * count + ["1"])

                # One more request after each failed one, the same document: a report sent twice
                # shows here.
                self.assertEqual(len(requests), count + load.failed)
                self.assertEqual({r.body for r in requests}, {r.body for r in load.delivered})
                # A report waiting to be retried lets the ones behind it go first.
                numbers = [int(NUMBER.search(r.body).group(1)) for r in load.delivered]
                self.assertEqual(sorted(numbers) if flaky else numbers, list(range(count)))
                self.assertEqual({r.target for r in requests}, {"/load?n=%d" % count})
                ids = {assert_report(self, r, b"event%d&load&%d" % (n, n), url.encode())
                       for n, r in zip(numbers, load.delivered)}
                self.assertEqual(len(ids), count)


class LoadDirect(Load, unittest.TestCase):
    via = None


class LoadNginx(Load, unittest.TestCase):
    via = "http"


if __name__ == "__main__":
    unittest.main()
