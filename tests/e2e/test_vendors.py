"""Reports in the vendors' formats, from a real installer to an emulation of each vendor's
ingestion API (tests/support/vendor_endpoint.py), over http, and over https to servers whose
certificates the test prefix trusts (for 127.0.0.1, for another host, expired) and to one it
does not, directly and through squid as the system's proxy.

One installer runs every row. Each row's reports carry an event name of their own, which the
emulation reads from the vendor's body, so that a row finds its requests among its verdicts.
"""

import os
import re
import unittest

from installer import DEBUG_CAPTURE, Steps
from test_reports import assert_report
from test_server import Response, TestServer  # on the path through installer
from vendor_endpoint import DROPPED, VendorEndpoint, vendor_of
from squid_server import SquidServer
from wine import clear_system_proxy, set_system_proxy, trusted_certificate

KEYS = dict(posthog="phc_posthog-key-15", amplitude="amplitude-api-key-18", mixpanel="mixpanel-token-0020",
            segment="segment-write-key-00022", rudderstack="rudder-write-key-0000024",
            ga4=("G-MEASURE026", "ga4-api-secret-000000028"))
# name: (format, path, the key NSSetFormat takes)
ENDPOINTS = {
    "posthog": ("posthog", "/i/v0/e/", KEYS["posthog"]),
    "amplitude": ("amplitude", "/2/httpapi", KEYS["amplitude"]),
    "mixpanel": ("mixpanel", "/track", KEYS["mixpanel"]),
    "mixpanel_verbose": ("mixpanel", "/track?verbose=1", KEYS["mixpanel"]),
    "segment": ("segment", "/v1/batch", KEYS["segment"]),
    "rudderstack": ("segment", "/beacon/v1/batch?writeKey=" + KEYS["rudderstack"], KEYS["rudderstack"]),
    "ga4": ("ga4", "/mp/collect?measurement_id=%s&api_secret=%s" % KEYS["ga4"], ""),
}
OK = {name: ("204", "ok 204") if name == "ga4" else ("200", "ok 200") for name in ENDPOINTS}
# Reports GA4 would drop unseen, refused before sending: (event, field set for it, the rule traced)
GA4_INVALID = [("install-start", None, "event name not letters, digits and underscores from a letter"),
               ("e" * 41, None, "event name over 40 characters"), ("first_open", None, "reserved event name"),
               ("invalid_1", ("p" * 41, "v"), "parameter name over 40 characters"),
               ("invalid_2", ("ga_source", "v"), "reserved parameter name prefix"),
               ("invalid_3", ("note", "v" * 101), "parameter value over 100 characters")]
# Answers from beyond a limit, read to their end: the connection serves the next request.
BIG_BODY = b"x" * 5000


def redirect(server):
    """A 307, with a body past the 4 KiB a vendor format keeps, to the same PostHog path on one
    of the servers."""
    return lambda servers: Response(307, BIG_BODY, headers=[("Location", servers[server].url(ENDPOINTS["posthog"][1]))])


# Certificates that the prefix trusts but WinINet must refuse for a vendor's key.
REFUSED_CERTIFICATES = [("wrong_name", "wrong_name", (), ("0", "tls 12038")),
                        ("expired", "expired", (), ("0", "tls 12037"))]
# (event, endpoint, server, a field set for it, the vendor's answer to each request that arrives
# (None: its own; a function of the servers: made once they run), what NSPost and NSGetError
# push). An ANSI installer holds the field note=é as the byte 0xE9, which its body carries as
# UTF-8 too.
ROWS = ([("accepted_" + name, name, "plain", None, (None,), OK[name]) for name in ENDPOINTS]
        + [("refused_" + name, name, "plain", None, (DROPPED,), ("0", "refused 200"))
           for name in ("mixpanel", "mixpanel_verbose")]
        + [("refused_amplitude", "amplitude", "plain", None, (DROPPED,), ("400", "http 400"))]
        + [("e_acute_" + name, name, "plain", ("note", b"\xe9"), (None,), OK[name])
           for name in ENDPOINTS]
        + [("trusted", "posthog", "trusted", None, (None,), OK["posthog"]),
           ("untrusted", "posthog", "untrusted", None, (), ("0", "tls 12045"))]
        + [(event, "posthog", server, None, queued, pushed) for event, server, queued, pushed in REFUSED_CERTIFICATES]
        + [("redirected_to_wrong_name", "posthog", "plain", None, (redirect("wrong_name"),), ("0", "tls 12038")),
           ("redirected_to_http", "posthog", "trusted", None, (redirect("plain"),), ("307", "http 307")),
           ("redirected_with_a_body", "posthog", "plain", None, (redirect("plain"), None), OK["posthog"])]
        + [(event, "ga4", "plain", field, (), ("0", "invalid 0")) for event, field, _ in GA4_INVALID]
        + [("\xe9tat_install\xe9", "ga4", "plain", None, (None,), OK["ga4"])])  # letters of any language
# Queued last, each answered 429 once: the retry must send the same body.
RETRIED = [name for name in ENDPOINTS if name != "mixpanel_verbose"]
KESTREL_EVENT = b"kestrel_doc&beta&1.2.3"
KESTREL_SERVERS = ("untrusted", "wrong_name", "expired")
SENT = re.compile(rb'"(?:sent_at|sentAt)":"([^"]*)"')  # the time of sending, each attempt's own


class VendorFormats(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        program = os.path.join(os.path.dirname(DEBUG_CAPTURE), "trust_certificate.exe")
        cls.endpoint = VendorEndpoint(**KEYS)
        cls.servers = {"plain": TestServer(), "untrusted": TestServer(tls=True),
                       "trusted": TestServer(tls=True, certificate=trusted_certificate(program)),
                       "wrong_name": TestServer(tls=True, certificate=trusted_certificate(program, "kestrel-other.invalid")),
                       "expired": TestServer(tls=True, certificate=trusted_certificate(program, expired=True))}
        for server in cls.servers.values():
            server.responder = cls.endpoint
        # Every attempt answered 503, a second apart, with a body past the kept 4 KiB.
        cls.servers["busy"] = TestServer()
        cls.servers["busy"].responder = lambda request: Response(503, BIG_BODY, headers=[("Retry-After", "1")])
        for server in cls.servers.values():
            server.start()
            cls.addClassCleanup(server.stop)
        # Kestrel's document first: its relaxed checks must not leave a connection that the
        # vendor rows to the same servers could ride unchecked.
        cls.expected, steps = [], Steps()
        cls.kestrel_urls = [cls.servers[name].url("/kestrel") for name in KESTREL_SERVERS]
        for url in cls.kestrel_urls:
            steps.set_format("kestrel", "").post(url, KESTREL_EVENT)
            cls.expected.append(("kestrel", ["1", "200"]))
        for event, name, server, field, queued, pushed in ROWS:
            form, path, key = ENDPOINTS[name]
            cls.endpoint.queue(vendor_of(path), *[a(cls.servers) if callable(a) else a for a in queued])
            steps.set_format(form, key)
            if field:
                steps.set_field(*field)
            steps.post(cls.servers[server].url(path), event + "&beta&1.2.3").get_error()
            if field:
                steps.set_field(field[0], "")
            cls.expected.append((event, ["1"] * (1 + bool(field)) + list(pushed) + ["1"] * bool(field)))
        # A 2xx the vendor dropped is a failure; the Kestrel documents were taken.
        taken = len(KESTREL_SERVERS) + sum(pushed[0] in ("200", "204") for *_, pushed in ROWS)
        steps.tally()
        cls.expected.append(("tally", ["%d %d 0" % (taken, len(KESTREL_SERVERS) + len(ROWS) - taken)]))
        steps.set_format("posthog", KEYS["posthog"]).post_async(cls.servers["busy"].url(ENDPOINTS["posthog"][1]),
                                                                "unavailable&beta&1.2.3")
        cls.expected.append(("unavailable", ["1", "1"]))
        for name in RETRIED:
            form, path, key = ENDPOINTS[name]
            cls.endpoint.queue(vendor_of(path), Response(429, headers=[("Retry-After", "1")]), None)
            steps.set_format(form, key).post_async(cls.servers["plain"].url(path), "retried_%s&beta&1.2.3" % name)
            cls.expected.append(("retried_" + name, ["1", "1"]))
        cls.run_ = steps.wait_done(-1).run(timeout=180)
        cls.expected.append(("wait_done", ["1"]))

        # The same refusals through the proxy's tunnel.
        squid = SquidServer().start()
        cls.addClassCleanup(squid.stop)
        set_system_proxy("127.0.0.1:%d" % squid.port)
        try:
            proxied = Steps().set_format("posthog", KEYS["posthog"])
            for event, server, _, _ in REFUSED_CERTIFICATES:
                proxied.post(cls.servers[server].url(ENDPOINTS["posthog"][1]), "proxied_%s&beta&1.2.3" % event)
            cls.proxied = proxied.get_error().run()
        finally:
            clear_system_proxy()

    def verdicts(self, event):
        return [v for v in self.endpoint.verdicts if v.name == event]

    def test_every_command_pushes_what_its_row_expects(self):
        self.assertFalse(self.run_.faulted, self.run_.stderr[-3000:])
        values = iter(self.run_.values)
        for event, expected in self.expected:
            with self.subTest(event):
                self.assertEqual([next(values, "missing") for _ in expected], expected)
        self.assertEqual(list(values), [])

    def test_each_report_reaches_the_vendor_once_and_is_taken_as_its_row_expects(self):
        for event, _, _, field, queued, pushed in ROWS:
            with self.subTest(event):
                verdicts = self.verdicts(event)
                self.assertEqual(len(verdicts), len(queued))  # never retried
                for verdict, answer in zip(verdicts, queued):
                    self.assertEqual(verdict.taken, answer is None, verdict.reason)
                    self.assertEqual(verdict.properties.get("note"), field and "\xe9")
                    self.assertEqual(b'"note":"\xc3\xa9"' in verdict.request.body, bool(field))
        not_sent = [t.decode().split(" not sent: ")[1] for t in self.run_.traces if b" not sent: " in t]
        self.assertEqual(not_sent, ["ga4: %s\n" % rule for _, _, rule in GA4_INVALID])

    def test_a_retried_report_keeps_its_event_and_moves_its_time_of_sending(self):
        for name in RETRIED:
            with self.subTest(name):
                first, retry = self.verdicts("retried_" + name)
                self.assertEqual((first.taken, retry.taken), (False, True), retry.reason)
                # The same event, its time and dedup field included; only the time of sending moves.
                self.assertEqual(*(SENT.sub(b"", v.request.body) for v in (first, retry)))
                self.assertEqual(b'"time":' in first.request.body, name == "mixpanel")  # part of its dedup key
                self.assertTrue(retry.dedup or name == "ga4")  # GA4 has no dedup field
                sent = [SENT.findall(v.request.body) for v in (first, retry)]
                if name in ("posthog", "segment", "rudderstack"):
                    (first_sent,), (retry_sent,) = sent
                    self.assertGreater(retry_sent, first_sent)  # ISO 8601 times, a Retry-After of 1 s apart
                else:  # no time of sending
                    self.assertEqual(sent, [[], []])

    def test_keys_are_never_traced_but_their_lengths_are(self):
        traces = b"\n".join(self.run_.traces)
        for secret in [key for key in KEYS.values() if isinstance(key, str)] + list(KEYS["ga4"]):
            self.assertNotIn(secret.encode(), traces)
        for _, _, key in ENDPOINTS.values():
            if key:
                self.assertIn(b"... (%d)\n" % len(key), traces)

    def test_the_kestrel_document_is_unchanged_and_keeps_the_relaxed_certificate_checks(self):
        for name, url in zip(KESTREL_SERVERS, self.kestrel_urls):
            requests = [r for r in self.servers[name].requests if r.target == "/kestrel"]
            self.assertEqual(len(requests), 1)
            assert_report(self, requests[0], KESTREL_EVENT, url.encode(), connection_close=True)

    def test_refused_certificates_are_refused_through_the_proxy_too(self):
        self.assertEqual(self.proxied.values, ["1"] + [pushed[0] for _, _, _, pushed in REFUSED_CERTIFICATES]
                         + [REFUSED_CERTIFICATES[-1][3][1]])
        self.assertEqual([v for v in self.endpoint.verdicts if str(v.name).startswith("proxied_")], [])

    def test_an_answer_past_the_kept_bytes_is_read_to_its_end_and_its_connection_kept(self):
        requests = self.servers["busy"].requests
        self.assertEqual(len(requests), 5)
        self.assertEqual(len({r.connection for r in requests}), 1)
        redirected = self.verdicts("redirected_with_a_body")  # the 307's body too, before following
        self.assertEqual(len({v.request.connection for v in redirected}), 1)


if __name__ == "__main__":
    unittest.main()
