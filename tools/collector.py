#!/usr/bin/env python3
"""A local stand-in for the analytics endpoint: prints every report it receives.

usage: collector.py [--port N] [--port-file FILE] [--status N]

Listens on 127.0.0.1 only (port 0 picks a free one, written to --port-file), prints
each request's method, path, headers and JSON body, the members the script added
(its context and fields), and answers with --status (200).
Standard library only.
"""

import argparse
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


# The members every report carries; anything else was added by the script.
DOCUMENT_MEMBERS = {"app_version", "channel", "env", "event", "event_type", "id", "os_platform",
                    "package_name", "package_name_en", "string_1", "user_id"}


class Collector(BaseHTTPRequestHandler):
    status = 200
    count = 0

    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        Collector.count += 1
        lines = ["report %d: %s %s" % (Collector.count, self.command, self.path)]
        lines += ["  %s: %s" % (name, value) for name, value in self.headers.items()]
        try:
            text = body.decode("utf-8")  # the Unicode builds' texts
        except ValueError:
            text = body.decode("latin-1")  # the ANSI build's code page bytes, shown one by one
        lines.append("  body (%d bytes): %s" % (len(body), text))
        try:
            document = json.loads(text)
            lines.append("  event=%s channel=%s app_version=%s env=%s id=%s" % tuple(
                document.get(k) for k in ("event", "channel", "app_version", "env", "id")))
            added = ["%s=%s" % (k, v) for k, v in document.items() if k not in DOCUMENT_MEMBERS]
            if added:
                lines.append("  added: " + " ".join(added))
        except ValueError as error:
            lines.append("  not JSON: %s" % error)
        print("\n".join(lines), flush=True)
        self.send_response(Collector.status)
        self.send_header("Content-Length", "0")
        self.end_headers()

    def log_message(self, *args):
        pass  # the report above says it all


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--port-file")
    parser.add_argument("--status", type=int, default=200)
    args = parser.parse_args()
    Collector.status = args.status
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Collector)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write("%d\n" % port)
    print("collector listening on http://127.0.0.1:%d/" % port, flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
