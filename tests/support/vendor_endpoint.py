"""The analytics vendors' ingestion APIs as their documentation and servers' source describe
them, for TestServer.responder: a body is checked against the vendor's rules and answered as the
vendor answers, also when that answer means the event was dropped. Paths: PostHog /i/v0/e/,
Amplitude /2/httpapi, Mixpanel /track (?verbose=1), Segment /v1/batch, RudderStack
/beacon/v1/batch?writeKey=K, GA4 /mp/collect?measurement_id=M&api_secret=S; others get None.

    endpoint = VendorEndpoint(posthog="k", amplitude="k", mixpanel="k", segment="k",
                              rudderstack="k", ga4=("G-ID", "secret"))
    endpoint.queue("mixpanel", DROPPED, Response(429), None)  # its next three answers
    endpoint.verdicts  # per request: .taken (the vendor would show the event), .reason, ...
"""

import json
import re
import threading
import time
import urllib.parse
from dataclasses import dataclass, field

from test_server import Response

DROPPED = "dropped"  # for queue(): the vendor's own answer to an event it drops
PATHS = {"/i/v0/e/": "posthog", "/2/httpapi": "amplitude", "/track": "mixpanel", "/v1/batch": "segment",
         "/beacon/v1/batch": "rudderstack", "/mp/collect": "ga4"}
# vendor: (its event in the body, and the event's members: name, dedup field, properties)
EVENTS = {"posthog": (lambda doc: _dict(doc), "event", "uuid", "properties"),
          "amplitude": (lambda doc: _first(_dict(doc).get("events")), "event_type", "insert_id", "event_properties"),
          "mixpanel": (lambda doc: _first(doc if isinstance(doc, list) else [doc]), "event", None, "properties"),
          "segment": (lambda doc: _first(_dict(doc).get("batch")), "event", "messageId", "properties"),
          "ga4": (lambda doc: _first(_dict(doc).get("events")), "name", None, "params")}
EVENTS["rudderstack"] = EVENTS["segment"]
# PostHog's server parses uuid with the uuid crate: hyphenated, or 32 hexadecimal digits.
UUID = re.compile(r"[0-9a-f]{8}(-?)[0-9a-f]{4}\1[0-9a-f]{4}\1[0-9a-f]{4}\1[0-9a-f]{12}\Z", re.I)
INSERT_ID = re.compile(r"[A-Za-z0-9-]{1,36}\Z")
MIXPANEL_INVALID_IDS = set("00000000-0000-0000-0000-000000000000 anon anonymous nil none null n/a na undefined "
                           "unknown <nil> 0 -1 true false [] {}".split())
GA4_NAME = re.compile(r"(?!_|firebase_|ga_|google_|gtag\.)[^\W\d_]\w{0,39}\Z")  # letters of any language
GA4_RESERVED_EVENTS = set(
    "ad_activeview ad_click ad_exposure ad_impression ad_query ad_reward adunit_exposure app_background "
    "app_clear_data app_exception app_remove app_store_refund app_store_subscription_cancel "
    "app_store_subscription_convert app_store_subscription_renew app_update app_upgrade dynamic_link_app_open "
    "dynamic_link_app_update dynamic_link_first_open error firebase_campaign first_open first_visit "
    "in_app_purchase notification_dismiss notification_foreground notification_open notification_receive "
    "os_update session_start session_start_with_rollout user_engagement".split())
DAY = 86400


@dataclass
class Verdict:
    taken: bool = False
    reason: str = ""
    name: object = None   # the event's name, as the vendor reads it
    dedup: object = None  # the member the vendor deduplicates a retried event on
    properties: dict = field(default_factory=dict)
    request: object = None


class _Dropped(Exception):
    def __init__(self, answer, reason):
        super().__init__(reason)
        self.answer, self.reason = answer, reason


def _require(condition, answer, reason):
    if not condition:
        raise _Dropped(answer, reason)


def vendor_of(target):
    """The vendor whose API a request target reaches, or None."""
    return PATHS.get(target.partition("?")[0])


class VendorEndpoint:
    def __init__(self, **keys):
        self.keys = keys  # posthog, amplitude, mixpanel, segment, rudderstack: a key; ga4: (id, secret)
        self._lock = threading.Lock()
        self._queued = {}
        self._verdicts = []

    def queue(self, vendor, *answers):
        """The vendor's next answers: a Response (sent as it is, the event not taken), DROPPED,
        or None (as usual)."""
        with self._lock:
            self._queued.setdefault(vendor, []).extend(answers)

    @property
    def verdicts(self):
        with self._lock:
            return list(self._verdicts)

    def __call__(self, request):
        vendor = vendor_of(request.target)
        if vendor is None:
            return None
        with self._lock:
            queued = self._queued.get(vendor)
            forced = queued.pop(0) if queued else None
        utf8 = True
        try:  # JSON text is UTF-8 (RFC 8259); another body is read as Latin-1 only for the verdict
            text = request.body.decode("utf-8")
        except UnicodeDecodeError:
            text, utf8 = request.body.decode("latin-1"), False
        try:
            doc = json.loads(text)
        except ValueError:
            doc = None
        find, name, dedup, properties = EVENTS[vendor]
        event = find(doc)
        verdict = Verdict(name=event.get(name), dedup=event.get(dedup), properties=_dict(event.get(properties)),
                          request=request)
        try:
            answer = getattr(self, "_" + vendor)(verdict, doc, event, utf8, forced == DROPPED)
            verdict.taken, verdict.reason = forced is None, "" if forced is None else "answered as told"
        except _Dropped as dropped:
            answer, verdict.reason = dropped.answer, dropped.reason
        with self._lock:
            self._verdicts.append(verdict)
        return forced if isinstance(forced, Response) else answer

    # One per vendor: the answer to an event taken, or _Dropped with the vendor's answer to it.

    def _posthog(self, verdict, doc, event, utf8, drop):
        # PostHog rust/capture (api.rs, v0_request.rs) and common/types/src/event.rs
        ok = Response(200, '{"status":1}')  # also to events its quota drops
        _require(utf8, Response(400, "failed to decode request: invalid body encoding"), "body not UTF-8")
        _require(isinstance(event.get("event"), str) and (event.get("uuid") in (None, "") or UUID.match(
            str(event["uuid"]))), Response(400, "failed to parse request"), "not an event, or uuid invalid")
        key = event.get("api_key", event.get("token", event.get("$token")))
        _require(key, Response(401, "event submitted without an api_key"), "no api_key")
        distinct_id = event.get("distinct_id", event.get("$distinct_id", verdict.properties.get("distinct_id")))
        _require(distinct_id not in (None, ""), Response(400, "event submitted without a distinct_id"), "no id")
        _require(event["event"], Response(400, "event submitted with an empty event name"), "no event name")
        _require(not drop and key == self.keys["posthog"], ok, "unknown project key")
        _require(_iso8601(event.get("timestamp")), ok, "timestamp not ISO 8601: the arrival taken instead")
        return ok

    def _amplitude(self, verdict, doc, event, utf8, drop):
        # HTTP V2 API documentation: the event's fields, the 200 and 400 answers
        def error(text, **members):
            return Response(400, json.dumps(dict(code=400, error=text, **members)))
        _require(utf8 and isinstance(doc, dict), error("Invalid JSON request body"), "not JSON")
        for member in ("api_key", "events"):
            _require(doc.get(member), error("Request missing required field", missing_field=member), "no " + member)
        _require(doc["api_key"] == self.keys["amplitude"], error("Invalid API key"), "wrong api_key")
        ids = {k: event[k] for k in ("device_id", "user_id") if event.get(k) is not None}
        for member, present in (("event_type", event.get("event_type")), ("device_id", ids)):
            _require(present, error("Request missing required field", events_with_missing_fields={member: [0]}),
                     "no " + member)
        _require(all(isinstance(i, str) and len(i) >= 5 for i in ids.values()), error(
            "Invalid id length for user_id or device_id", events_with_invalid_id_lengths={k: [0] for k in ids}),
            "id under 5 characters")
        _require(type(event.get("time", 0)) is int, error("Invalid field values on some events",
                                                          events_with_invalid_fields={"time": [0]}), "time not ms")
        _require(not drop, error("Events silenced for device_id", silenced_devices=[ids.get("device_id")],
                                 silenced_events=[0]), "device silenced")
        return Response(200, json.dumps({"code": 200, "events_ingested": len(doc["events"]), "payload_size_bytes":
                                         len(verdict.request.body), "server_upload_time": int(time.time() * 1000)}))

    def _mixpanel(self, verdict, doc, event, utf8, drop):
        # mixpanel/docs openapi: /track answers 1 when an object is well formed, without checking
        # the token, ?verbose=1 {"status","error"}; events over 5 days old vanish; /import's rules
        verbose, properties = _query(verdict).get("verbose") == ["1"], verdict.properties
        verdict.dedup = properties.get("$insert_id")

        def answer(error=None):
            return Response(200, json.dumps({"error": error, "status": int(not error)}) if verbose else
                            "0" if error else "1")
        _require(utf8 and isinstance(event.get("event"), str) and event["event"] and isinstance(
            event.get("properties"), dict), answer("invalid data"), "not UTF-8 JSON with an event and properties")
        for name in ("$insert_id", "distinct_id"):
            value = properties.get(name)
            _require(value is None or isinstance(value, str) and value.lower() not in MIXPANEL_INVALID_IDS and (
                name == "distinct_id" or INSERT_ID.match(value)), answer(name + " is invalid"), name + " invalid")
        moment = properties.get("time")
        _require(moment is None or type(moment) is int, answer("time is invalid"), "time not an integer")
        _require(not drop, answer("dropped"), "dropped")
        _require(properties.get("token") == self.keys["mixpanel"], answer(), "unknown token")
        seconds = moment / 1000 if moment and moment > 10 ** 11 else moment
        _require(seconds is None or -5 * DAY <= seconds - time.time() <= 3600, answer(), "time over 5 days old")
        return answer()

    def _segment(self, verdict, doc, event, utf8, drop, rudder=False):
        # segment-docs http-api: 200 to all but invalid JSON or over 500 KB; rudder-server gateway
        # (handle_http_beacon.go, response.go): the key in the query, 400 without an id
        batch, has_id = _dict(doc).get("batch"), event.get("anonymousId") or event.get("userId")
        if rudder:
            key = _query(verdict).get("writeKey", [""])[0]
            _require(key, Response(401, "Failed to read writeKey from Query Params\n"), "no writeKey")
            _require(key == self.keys["rudderstack"], Response(401, "Invalid Write Key\n"), "wrong writeKey")
            _require(utf8 and isinstance(batch, list), Response(400, "Invalid JSON\n"), "not JSON")
            _require(not drop and has_id, Response(400, "Request neither has anonymousId nor userId\n"), "no id")
            ok = Response(200, "OK")
        else:
            _require(utf8 and isinstance(batch, list) and len(verdict.request.body) <= 500 * 1024, Response(400),
                     "not JSON, or over 500 KB")
            ok = Response(200, '{"success":true}')
            _require(not drop and doc.get("writeKey") == self.keys["segment"], ok, "unknown writeKey")
            _require(has_id, ok, "no userId or anonymousId")
        _require(event.get("type") == "track" and event.get("event"), ok, "not a named track call")
        _require(len(str(event.get("messageId", ""))) < 100, ok, "messageId of 100 characters or more")
        _require(_iso8601(event.get("timestamp")), ok, "timestamp not ISO 8601")
        return ok

    def _rudderstack(self, *arguments):
        return self._segment(*arguments, rudder=True)

    def _ga4(self, verdict, doc, event, utf8, drop):
        # Measurement Protocol reference: a 2xx to every request, events it drops included
        ok, query, events = Response(204), _query(verdict), _dict(doc).get("events")
        _require([query.get("measurement_id"), query.get("api_secret")] == [[k] for k in self.keys["ga4"]], ok,
                 "wrong measurement_id or api_secret")
        _require(utf8 and isinstance(events, list) and 1 <= len(events) <= 25 and len(verdict.request.body) < 130000,
                 ok, "not JSON, not 1 to 25 events, or 130 kB or more")
        _require(isinstance(doc.get("client_id"), str) and doc["client_id"], ok, "no client_id")
        _require(isinstance(event.get("name"), str) and GA4_NAME.match(event["name"]) and event["name"] not in
                 GA4_RESERVED_EVENTS, ok, "event name")
        _require(len(verdict.properties) <= 25, ok, "over 25 parameters")
        for name, value in verdict.properties.items():
            _require(GA4_NAME.match(name) and name != "firebase_conversion", ok, "parameter name " + name)
            _require(not isinstance(value, str) or len(value) <= 100, ok, "value of %s over 100" % name)
        micros = doc.get("timestamp_micros")
        _require(micros is None or type(micros) is int and -60 <= time.time() - micros / 1e6 <= 3 * DAY, ok,
                 "timestamp_micros not within the last 72 hours")
        _require(not drop, ok, "dropped")
        return ok


def _dict(value):
    return value if isinstance(value, dict) else {}


def _first(items):
    return _dict(items[0]) if isinstance(items, list) and items else {}


def _query(verdict):
    return urllib.parse.parse_qs(verdict.request.target.partition("?")[2])


def _iso8601(text):
    try:
        return text is None or bool(time.strptime(text[:19], "%Y-%m-%dT%H:%M:%S"))
    except (TypeError, ValueError):
        return False
