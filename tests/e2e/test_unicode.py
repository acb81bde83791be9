"""Texts beyond ASCII in real Unicode installers under Wine, and the URL limit of every target.

UnicodeTexts needs a Unicode installer: CMake registers only UrlLimit for the ANSI build
folder, and the class skips itself there when run by hand. Its installer is one run of
every case, written in UTF-8 for makensis; the tests then read the pushed values, the
requests and the trace lines of that run.
"""

import re
import unittest

from installer import TARGET, UNICODE, Steps
from test_reports import ID, expected_body
from test_server import Response, TestServer  # on the path through installer

SAMPLE = "é中\U0001F600"  # two, three and four UTF-8 bytes; the last a surrogate pair in UTF-16
EVENT_LIMIT = 1023  # bytes of an event text that arrive, the rest is cut
URL_LIMIT = 511  # bytes of a URL as requested; a longer one is refused
# A label longer than 63 bytes fails before any name lookup is made.
NON_ASCII_HOST_URL = "http://%sü.invalid/dev" % ("b" * 64)

TRACE_LINE = re.compile(
    rb"^\$\$ \[\d\d:\d\d:\d\d\.\d{3}\] [^\t]*\\nsis\\include\\pluginapi\.cpp<(60|72)>:\t"
    rb"(popstring\w*) (.*) \((\d+)\)\n$", re.S)


def utf16_length(text):
    return len(text.encode("utf-16-le")) // 2


def as_debugger_sees(text):
    """A traced text as a debugger receives it under Wine: the plug-in writes it with
    OutputDebugStringW, and Wine hands the debugger the ANSI form in code page 1252, where
    a character missing from the code page becomes "?". A character beyond the BMP becomes
    one "?" per UTF-16 unit: Wine converts unit by unit and the surrogate halves are two
    characters that code page 1252 lacks."""
    return "".join(c if c.encode("cp1252", "ignore") else "?" * utf16_length(c)
                   for c in text).encode("cp1252")


def ending_in(size, last):
    """An event text of `size` UTF-8 bytes whose version ends in `last`."""
    head = "cut&" + SAMPLE + "&" + SAMPLE
    return head + "v" * (size - len((head + last).encode())) + last


def within_limit(event):
    """What of `event` a report carries: its first 1023 bytes, without a character cut."""
    return event.encode()[:EVENT_LIMIT].decode("utf-8", "ignore").encode()


def url_of(base, size):
    """A URL of `base` and a path ending in é whose request line carries `size` bytes:
    é is requested as %C3%A9."""
    return base + "p" * (size - len(base) - len("%C3%A9")) + "é"


@unittest.skipUnless(UNICODE, "texts beyond the ANSI code page need a Unicode installer; "
                              "this is %s" % TARGET)
class UnicodeTexts(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        server = TestServer().start()
        cls.addClassCleanup(server.stop)
        server.responder = lambda r: Response(201 if r.target == "/queued" else 200)
        base = server.url("/")
        longest_url = url_of(base, URL_LIMIT)
        dev_url = server.url("/dev/ü/%s?q=%s&r=%%41" % (SAMPLE, SAMPLE))
        every_field = 'n"%s\\&c\\%s"&"v%s\\' % (SAMPLE, SAMPLE, SAMPLE)
        # (url, event text, pushed, target requested or None when nothing is sent)
        cls.posts = [
            (dev_url, every_field, "200",
             "/dev/%C3%BC/%C3%A9%E4%B8%AD%F0%9F%98%80?q=%C3%A9%E4%B8%AD%F0%9F%98%80&r=%41"),
            (base, ending_in(EVENT_LIMIT, "中"), "200", "/"),
            (base, ending_in(EVENT_LIMIT + 1, "中"), "200", "/"),
            (base, ending_in(EVENT_LIMIT + 2, "\U0001F600"), "200", "/"),
            (longest_url, "a&b&c", "200", longest_url[len(base) - 1:].replace("é", "%C3%A9")),
            (url_of(base, URL_LIMIT + 1), "a&b&c", "0", None),
            (NON_ASCII_HOST_URL, "a&b&c", "0", None),
        ]
        steps = Steps(charset="UTF8")
        for url, event, _, _ in cls.posts:
            if url == NON_ASCII_HOST_URL:
                steps.start_clock()
            steps.post(url.encode(), event.encode())
        steps.post_async(NON_ASCII_HOST_URL.encode(), b"a&b&c").record_clock()
        steps.post_async(server.url("/queued").encode(), "q%s&c&v".encode() % SAMPLE.encode())
        cls.run_ = steps.get().wait_done(-1).run()
        cls.requests = server.requests
        cls.popped = [text for url, event, _, _ in cls.posts for text in (url, event)] + [
            NON_ASCII_HOST_URL, "a&b&c", server.url("/queued"), "q%s&c&v" % SAMPLE, ""]

    def test_installer_ends_cleanly(self):
        self.assertFalse(self.run_.faulted, self.run_.stderr)
        self.assertEqual(self.run_.exit_code, 0)

    def test_numbers_read_back_as_pushed(self):
        # Both reports to a non-ASCII host are refused at once, the queued one pushes 1,
        # NSGet the queued report's 201 and NSWaitDone "-1" 1.
        pushed = [pushed for _, _, pushed, _ in self.posts]
        self.assertEqual(self.run_.values, pushed + ["0", "1", "201", "1"])
        self.assertLess(self.run_.clocks[0], 2000)

    def test_bodies_carry_the_texts_as_utf8_cut_at_a_character_boundary(self):
        sent = [(url, event) for url, event, _, target in self.posts if target] + [
            (self.popped[-3], self.popped[-2])]
        self.assertEqual(len(self.requests), len(sent))
        for request, (url, event) in zip(self.requests, sent):
            match = ID.search(request.body)
            self.assertIsNotNone(match, request.body)
            expected = expected_body(within_limit(event), url.encode(), match.group(1))
            self.assertEqual(request.body, expected)
            self.assertEqual(request.header("Content-Length"), [str(len(request.body))])
        fields = ('"app_version":"\\"v{0}\\\\","channel":"c\\\\{0}\\"","env":"test",'
                  '"event":"n\\"{0}\\\\"').format(SAMPLE)
        self.assertIn(fields.encode(), self.requests[0].body)
        # The 1024-byte text loses its whole 中, the 1025-byte one its whole emoji.
        versions = [re.search(rb'"app_version":"([^"]*)"', r.body).group(1)
                    for r in self.requests[1:4]]
        self.assertEqual([len(v) for v in versions], [1009, 1007, 1007])
        self.assertTrue(versions[0].endswith("v中".encode()), versions[0][-8:])
        self.assertTrue(versions[1].endswith(b"v") and versions[2].endswith(b"v"))

    def test_request_lines_are_percent_encoded_and_limited(self):
        targets = [target for _, _, _, target in self.posts if target] + ["/queued"]
        self.assertEqual([r.target for r in self.requests], targets)
        base_length = len(self.posts[1][0]) - 1
        self.assertEqual(base_length + len(self.requests[4].target), URL_LIMIT)

    def test_every_pop_is_traced_as_utf16_through_the_debugger(self):
        traces = [TRACE_LINE.match(t) for t in self.run_.traces if b"\\pluginapi.cpp<" in t]
        self.assertTrue(all(traces), self.run_.traces)
        popped = [(m.group(1), m.group(2), m.group(3), int(m.group(4))) for m in traces]
        dev_url = self.posts[0][0]  # its query's values never show; its length is the whole text's
        shown = {dev_url: dev_url.split("?")[0] + "?q=...&r=..."}
        expected = [(b"60", b"popstringW", as_debugger_sees(shown.get(text, text)), utf16_length(text))
                    for text in self.popped]
        self.assertEqual(popped, expected + [(b"72", b"popstringnW", b"-1", 2)])
        # é is 0xE9 in code page 1252; 中 and each half of the emoji come as "?".
        self.assertIn(b"n\"\xe9???\\&c\\\xe9???\"&\"v\xe9???\\ (23)\n", self.run_.traces[1])


class UrlLimit(unittest.TestCase):
    def test_url_beyond_511_bytes_pushes_zero_and_sends_nothing(self):
        with TestServer() as server:
            base = server.url("/")
            fits = base + "p" * (URL_LIMIT - len(base))
            run = Steps().post(fits + "p", "a&b&c").post(fits, "a&b&c").run()
            self.assertFalse(run.faulted, run.stderr)
            self.assertEqual(run.values, ["0", "200"])
            self.assertEqual([r.target for r in server.requests], [fits[len(base) - 1:]])


if __name__ == "__main__":
    unittest.main()
