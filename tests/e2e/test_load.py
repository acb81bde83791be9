"""A thousand queued reports from one real installer, straight to the recording server and
through nginx in front of it, with some answers failing and some late.

Each run prints how long it took: queueing (each NSPostAsync pauses 10 ms), the wait for the
last report, and the whole installer.
"""

import re
import time
import unittest

from installer import Steps
from test_reports import Route, assert_report
from test_server import Response

COUNT = 1000
NUMBER = re.compile(rb'"app_version":"(\d+)"')


def load_answer(request):
    """By the report's number: one answer in ten is 500, one in seven comes 30 ms late."""
    number = int(NUMBER.search(request.body).group(1))
    if number % 7 == 3:
        time.sleep(0.03)
    return Response(500 if number % 10 == 9 else 200, b"answer")


class Load(Route):
    def test_a_thousand_queued_reports_arrive_once_each_in_order(self):
        self.server.responder = load_answer
        url = self.url("/load?n=1000")
        steps = Steps().start_clock()
        steps.repeat(COUNT, 'Kestrel::NSPostAsync "%s" "event$R9&load&$R9"' % url,
                     "!insertmacro Record")
        run = steps.record_clock().wait_done(-1).record_clock().run(timeout=120)
        self.assertFalse(run.faulted, run.stderr[-3000:])
        print("\n%s: %d reports queued in %.1f s, the last one done at %.1f s; installer %.1f s"
              % ("nginx " + self.via if self.via else "straight", COUNT, run.clocks[0] / 1000,
                 run.clocks[1] / 1000, run.seconds))
        self.assertEqual(run.values, ["1"] * COUNT + ["1"])

        requests = self.server.requests
        # A request that was sent twice (a retry on a kept-alive connection) shows here.
        self.assertEqual(len(requests), COUNT)
        self.assertEqual(len({r.body for r in requests}), COUNT)
        numbers = [int(NUMBER.search(r.body).group(1)) for r in requests]
        self.assertEqual(numbers, list(range(COUNT)))
        self.assertEqual({r.target for r in requests}, {"/load?n=1000"})
        ids = {assert_report(self, r, b"event%d&load&%d" % (i, i), url.encode())
               for i, r in enumerate(requests)}
        self.assertEqual(len(ids), COUNT)


class LoadDirect(Load, unittest.TestCase):
    via = None


class LoadNginx(Load, unittest.TestCase):
    via = "http"


if __name__ == "__main__":
    unittest.main()
