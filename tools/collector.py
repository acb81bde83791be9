#!/usr/bin/env python3
"""A local stand-in for the analytics endpoint: prints every report it receives.

usage: collector.py [--port N] [--port-file FILE] [--status N]

Listens on 127.0.0.1 only (port 0 picks a free one, written to --port-file), prints
each request's method, path, headers and JSON body, and then what the body says: for
Kestrel's own document the members the script added (its context and fields); for a
vendor's body (PostHog, Amplitude, Mixpanel, Segment or RudderStack, GA4) each event's
name, run id, dedup id, time (and time of sending, where the vendor takes one) and
properties. It answers with --status (200), with the
body the vendor's own success answer has when a 2xx answers a vendor's body.
Standard library only.
"""

import argparse
import json
import sys
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


# The members every report carries; anything else was added by the script.
DOCUMENT_MEMBERS = {"app_version", "channel", "env", "event", "event_type", "id", "os_platform",
                    "package_name", "package_name_en", "string_1", "user_id"}

# Per vendor, where an event keeps its name, the run's id, the dedup id, its time, the time
# it was sent and its properties. Amplitude, Mixpanel and GA4 get no time: they take the time
# the event arrives. GA4 keeps the run's id beside its events, and has no dedup id.
FIELDS = {
    "posthog": ("event", "distinct_id", "uuid", "timestamp", "sent_at", "properties"),
    "amplitude": ("event_type", "device_id", "insert_id", None, None, "event_properties"),
    "mixpanel": ("event", "distinct_id", "$insert_id", None, None, "properties"),
    "segment": ("event", "anonymousId", "messageId", "timestamp", "sentAt", "properties"),
    "ga4": ("name", "client_id", None, None, None, "params"),
}
KEYS = {"posthog": "api_key", "amplitude": "api_key", "mixpanel": "token", "segment": "writeKey"}


def vendor_of(body):
    """The vendor whose body this is, by its shape; None for Kestrel's own document."""
    if isinstance(body, list):
        return "mixpanel" if body and all(isinstance(e, dict) and "properties" in e for e in body) else None
    if not isinstance(body, dict):
        return None
    if "batch" in body:
        return "segment"  # also RudderStack's beacon, whose key is in the URL
    if "events" in body:
        return "amplitude" if "api_key" in body else "ga4" if "client_id" in body else None
    return "posthog" if "api_key" in body and "distinct_id" in body else None


def events_of(vendor, body):
    """Each event as one flat dict, with what the vendor keeps beside the events."""
    if vendor == "mixpanel":  # everything but the name is in the event's properties
        return [dict(e.get("properties") or {}, event=e.get("event")) for e in body]
    if vendor == "posthog":
        return [body]
    if vendor == "ga4":
        beside = {k: v for k, v in body.items() if k != "events"}
        return [dict(beside, **e) for e in body.get("events") or []]
    return body.get("batch" if vendor == "segment" else "events") or []


def pairs(members):
    return " ".join("%s=%s" % (k, json.dumps(v, ensure_ascii=False)) for k, v in members.items())


def describe_vendor(vendor, body):
    """A few lines per event: name, run id, dedup id, time, properties, the rest."""
    name, run, dedup, time, sent, props = FIELDS[vendor]
    key = KEYS.get(vendor)
    lines = []
    if vendor in ("posthog", "amplitude", "segment"):
        lines.append("  %s: %s of %d characters" % (vendor, key, len(str(body.get(key, "")))))
    for event in events_of(vendor, body):
        if vendor == "mixpanel":
            lines.append("  mixpanel: properties.token of %d characters" % len(str(event.get(key, ""))))
        lines.append("  %s event=%s %s=%s %s time=%s%s" % (
            vendor, event.get(name), run, event.get(run),
            "%s=%s" % (dedup, event.get(dedup)) if dedup else "(no dedup id)",
            event.get(time) if time else "(the vendor's, on arrival)",
            " sent=%s" % event.get(sent) if sent else ""))
        shown = (name, run, dedup, time, sent, props, key)
        if vendor == "mixpanel":  # its properties hold everything but the name
            properties, rest = {k: v for k, v in event.items() if k not in shown}, {}
        else:
            properties, rest = event.get(props), {k: v for k, v in event.items() if k not in shown}
        if properties:
            lines.append("    properties: " + pairs(properties))
        if rest:
            lines.append("    also: " + pairs(rest))
    return lines


def success_answer(vendor, body, path):
    """The body of the vendor's own success answer, as its client reads it."""
    if vendor == "posthog":
        return b'{"status":1}'
    if vendor == "amplitude":
        return json.dumps({"code": 200, "events_ingested": len(body.get("events") or [])}).encode()
    if vendor == "mixpanel":
        return b'{"status":1,"error":null}' if "verbose=1" in path else b"1"
    return b""


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
        answer = b""
        try:
            document = json.loads(text)
            vendor = vendor_of(document)
            if vendor:
                try:
                    lines += describe_vendor(vendor, document)
                except (AttributeError, TypeError, ValueError) as error:
                    lines.append("  %s's shape, but not its types: %s" % (vendor, error))
                if 200 <= Collector.status < 300:
                    answer = success_answer(vendor, document, self.path)
            elif isinstance(document, dict):
                lines.append("  event=%s channel=%s app_version=%s env=%s id=%s" % tuple(
                    document.get(k) for k in ("event", "channel", "app_version", "env", "id")))
                added = ["%s=%s" % (k, v) for k, v in document.items() if k not in DOCUMENT_MEMBERS]
                if added:
                    lines.append("  added: " + " ".join(added))
            else:
                lines.append("  JSON, but no report's shape")
        except ValueError as error:
            lines.append("  not JSON: %s" % error)
        print("\n".join(lines), flush=True)
        self.send_response(Collector.status)
        self.send_header("Content-Length", str(len(answer)))
        self.end_headers()
        self.wfile.write(answer)

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
