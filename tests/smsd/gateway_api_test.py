"""The gateway's JSON API against phonesim, a phone daemon and `pelkor-smsd serve`:
sending through it to sent and delivered, what a bad request gets (and that it queues
nothing), previews, lookups and lists, cancel and retry, Idempotency-Key under retries
and races, many clients at once, the inbox, conversations, phones and /metrics. With
SQLite and with PostgreSQL (a throwaway cluster; skipped when it is not installed)."""
import base64
import concurrent.futures
import json
import re
import threading
import unittest

from gateway_harness import WithServer, create_token
from smsd_harness import Daemon, OnPostgres, PhoneAndDatabase, SqliteDb, smsd, wait_for, why_no_postgres

NUMBER = "+4917012345"
PROBLEM = "application/problem+json"


class ApiChecks(WithServer, PhoneAndDatabase):

    def setUp(self):
        super().setUp()
        self.server = self.start_server()

    def background(self):
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", log_dir=self.dir.name)
        self.daemons.append(daemon)
        return daemon

    def send(self, body, headers=None, token=True):
        return self.server.call("POST", "/v1/messages", body, headers, token)

    def get(self, path, token=True):
        answer = self.server.call("GET", path, token=token)
        self.assertEqual(answer.status, 200, answer)
        return answer.json

    def outbox(self):
        return self.db.query("SELECT id, destination, text, status FROM outbox ORDER BY id")

    def assertProblem(self, answer, status, field=None):
        self.assertEqual(answer.status, status, answer)
        self.assertTrue(answer.headers.get("Content-Type", "").startswith(PROBLEM), answer.headers)
        problem = answer.json
        self.assertEqual(problem["status"], status)
        self.assertTrue(problem["detail"])
        if field is not None:
            self.assertEqual(problem.get("field"), field, problem)
        return problem

    def test_a_message_sent_through_the_api_reaches_sent_then_delivered(self):
        self.phone.control("set /network/report_delay_ms 0")
        long_text = " ".join(f"w{i:03d}" for i in range(60))  # 299 characters: two parts
        one = self.send({"to": NUMBER, "text": "through the API", "report": True})
        self.assertEqual(one.status, 201, one)
        self.assertEqual({k: one.json[k] for k in ("status", "parts", "coding")},
                         {"status": "queued", "parts": 1, "coding": "gsm"})
        many = self.send({"to": ["+4917000001", "4917000002"], "text": long_text, "class": 1, "priority": 7})
        self.assertEqual(many.status, 201, many)
        self.assertEqual([(m["parts"], m["coding"]) for m in many.json["messages"]], [(2, "gsm"), (2, "gsm")])
        unicode = self.send({"to": NUMBER, "text": "привет \u263a"})
        self.assertEqual((unicode.json["parts"], unicode.json["coding"]), (1, "ucs2"))
        self.background()
        ids = [one.json["id"], unicode.json["id"]] + [m["id"] for m in many.json["messages"]]
        wait_for(lambda: all(self.get(f"/v1/messages/{i}")["status"] == "sent" for i in ids), 60, "all sent")
        wait_for(lambda: self.get(f"/v1/messages/{one.json['id']}")["delivery"] == "delivered", 60, "delivered")
        message = self.get(f"/v1/messages/{one.json['id']}")
        self.assertEqual((message["to"], message["text"], message["report"], message["attempts"]),
                         (NUMBER, "through the API", True, 0))
        self.assertRegex(message["sent_at"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertEqual([(p["part"], p["of"], p["status"]) for p in message["parts"]], [(1, 1, "delivered")])
        submitted = [m for m in self.phone.sent() if m.get("text") == "through the API"]
        self.assertEqual([message["parts"][0]["reference"]], [m["message_reference"] for m in submitted])
        long_row = self.get(f"/v1/messages/{many.json['messages'][1]['id']}")
        self.assertEqual((long_row["class"], long_row["priority"], long_row["to"]), (1, 7, "4917000002"))
        self.assertEqual([(p["part"], p["of"], p["status"]) for p in long_row["parts"]],
                         [(1, 2, "none"), (2, 2, "none")])
        self.assertEqual(sorted(self.phone.sent_texts()), sorted(["through the API", "привет \u263a", long_text,
                                                                  long_text]))

    def test_bad_requests_name_the_field_and_queue_nothing(self):
        cases = [
            ({"text": "no number"}, "to"),
            ({"to": "", "text": "x"}, "to"),
            ({"to": "+49 170", "text": "x"}, "to"),
            ({"to": "1" * 21, "text": "x"}, "to"),
            ({"to": 4917012345, "text": "x"}, "to"),
            ({"to": [], "text": "x"}, "to"),
            ({"to": [NUMBER] * 101, "text": "x"}, "to"),
            ({"to": [NUMBER, "; rm -rf /"], "text": "x"}, "to[1]"),
            ({"to": [NUMBER, 5], "text": "x"}, "to[1]"),
            ({"to": NUMBER}, "text"),
            ({"to": NUMBER, "text": 5}, "text"),
            ({"to": NUMBER, "text": ""}, "text"),
            ({"to": NUMBER, "text": "nul \u0000 inside"}, "text"),
            ({"to": NUMBER, "text": "a" * 40000}, "text"),  # over 255 parts
            ({"to": NUMBER, "text": "x", "class": 4}, "class"),
            ({"to": NUMBER, "text": "x", "class": "1"}, "class"),
            ({"to": NUMBER, "text": "x", "class": True}, "class"),
            ({"to": NUMBER, "text": "x", "report": "yes"}, "report"),
            ({"to": NUMBER, "text": "x", "priority": 101}, "priority"),
            ({"to": NUMBER, "text": "x", "priority": 1.5}, "priority"),
            ({"to": NUMBER, "text": "x", "priority": 2 ** 64 - 1}, "priority"),  # not -1 wrapped round
            ({"to": NUMBER, "text": "x", "class": 2 ** 63 + 2}, "class"),
            ({"to": NUMBER, "text": "x", "not_before": "tomorrow"}, "not_before"),
            ({"to": NUMBER, "text": "x", "not_before": "2026-12-10T13:47:25+01:00"}, "not_before"),
            ({"to": NUMBER, "text": "x", "not_before": "2026-02-30T13:47:25Z"}, "not_before"),
            ({"to": NUMBER, "text": "x", "colour": "red"}, "colour"),
        ]
        for body, field in cases:
            with self.subTest(body=json.dumps(body)[:80]):
                self.assertProblem(self.send(body), 400, field)
        for raw in ["not json", "[1, 2]", '{"to": "1", "text": "\xff"}'.encode("latin-1"), ""]:
            with self.subTest(raw=raw):
                self.assertProblem(self.server.call("POST", "/v1/messages", raw,
                                                    {"Content-Type": "application/json"}), 400)
        self.assertProblem(self.send({"to": NUMBER, "text": "x"}, token=False), 401)
        self.assertProblem(self.send({"to": NUMBER, "text": "x"}, token="pk_1_" + "0" * 64), 401)
        self.assertEqual(self.outbox(), [])
        # The edges that are allowed are allowed.
        ok = self.send({"to": ["+" + "9" * 20] + [NUMBER] * 99, "text": "a" * 39015, "class": 0, "report": False,
                        "priority": -100, "not_before": "2026-12-10T13:47:25.5Z"})
        self.assertEqual(ok.status, 201, ok)
        self.assertEqual({(m["parts"], m["coding"]) for m in ok.json["messages"]}, {(255, "gsm")})
        self.assertEqual(len(self.outbox()), 100)

    def test_preview_counts_as_the_library_and_the_phone_do(self):
        cases = {  # text: (coding, parts, characters, characters_left)
            "a" * 160: ("gsm", 1, 160, 0),
            "a" * 161: ("gsm", 2, 161, 145),
            "{" * 80: ("gsm", 1, 80, 0),  # the extension table's characters take two septets
            "\u00e9t\u00e9 \u00a3": ("gsm", 1, 5, 155),
            "\u263a" * 70: ("ucs2", 1, 70, 0),
            "\u263a" * 71: ("ucs2", 2, 71, 63),
            "\U0001F600": ("ucs2", 1, 1, 68),  # one character, two UTF-16 units
        }
        for text, expected in cases.items():
            with self.subTest(text=text[:10]):
                answer = self.server.call("POST", "/v1/messages/preview", {"text": text})
                self.assertEqual(answer.status, 200, answer)
                got = answer.json
                self.assertEqual((got["coding"], got["parts"], got["characters"], got["characters_left"]), expected)
        # characters_left is the room the library leaves: one more letter takes another part.
        for text in ["{[]}" * 30, "mixed \u20ac " * 19, "\u043f" * 133]:
            with self.subTest(text=text[:10]):
                got = self.server.call("POST", "/v1/messages/preview", {"text": text}).json
                fill = self.server.call("POST", "/v1/messages/preview",
                                        {"text": text + "a" * got["characters_left"]}).json
                over = self.server.call("POST", "/v1/messages/preview",
                                        {"text": text + "a" * (got["characters_left"] + 1)}).json
                self.assertEqual(fill["parts"], got["parts"])
                self.assertEqual(over["parts"], got["parts"] + 1)
        self.assertProblem(self.server.call("POST", "/v1/messages/preview", {"text": 1}), 400, "text")
        self.assertProblem(self.server.call("POST", "/v1/messages/preview", {"text": "a" * 40000}), 400, "text")
        self.assertProblem(self.server.call("POST", "/v1/messages/preview", {"text": "x"}, token=False), 401)
        # What the preview says is what the phone sends.
        text = "\u263a" * 140
        parts = self.server.call("POST", "/v1/messages/preview", {"text": text}).json["parts"]
        self.send({"to": NUMBER, "text": text})
        self.background()
        wait_for(lambda: len(self.phone.sent()) == parts, 60, "the parts sent")
        self.assertEqual(self.phone.sent_texts(), [text])

    def test_lookups_lists_cancel_and_retry(self):
        ids = [self.send({"to": f"+49170000{i:02d}", "text": f"message {i}"}).json["id"] for i in range(5)]
        other = self.send({"to": NUMBER, "text": "to another"}).json["id"]
        # Newest first, page by page, every row once.
        seen, cursor = [], None
        while True:
            page = self.get("/v1/messages?limit=2" + (f"&cursor={cursor}" if cursor else ""))
            seen += [m["id"] for m in page["messages"]]
            cursor = page["next_cursor"]
            if cursor is None:
                break
        self.assertEqual(seen, sorted(ids + [other], reverse=True))
        self.assertEqual([m["id"] for m in self.get("/v1/messages?to=%2B4917012345")["messages"]], [other])
        self.assertEqual([m["id"] for m in self.get("/v1/messages?to=4917012345")["messages"]], [other])
        self.assertEqual(self.get("/v1/messages?since=2999-01-01T00:00:00Z")["messages"], [])
        self.assertEqual(len(self.get("/v1/messages?since=2000-01-01T00:00:00Z")["messages"]), 6)
        # Cancel: a queued row only; a webhook of failures hears of it.
        hook = self.server.call("POST", "/v1/webhooks", {"url": "http://127.0.0.1:9/hook",
                                                        "events": ["message.failed"]})
        self.assertEqual(hook.status, 201, hook)
        cancelled = self.server.call("DELETE", f"/v1/messages/{ids[0]}")
        self.assertEqual(cancelled.status, 200, cancelled)
        self.assertEqual((cancelled.json["status"], cancelled.json["last_error"]), ("failed", "cancelled"))
        self.assertProblem(self.server.call("DELETE", f"/v1/messages/{ids[0]}"), 409)
        events = self.db.query("SELECT event, outbox_id FROM webhook_deliveries")
        self.assertEqual([(e["event"], e["outbox_id"]) for e in events], [("message.failed", ids[0])])
        self.assertEqual([m["id"] for m in self.get("/v1/messages?status=failed")["messages"]], [ids[0]])
        self.assertEqual(len(self.get("/v1/messages?status=queued")["messages"]), 5)
        # Retry: a failed or unknown row, its attempts kept.
        self.assertProblem(self.server.call("POST", f"/v1/messages/{ids[1]}/retry", ""), 409)
        self.db.execute(f"UPDATE outbox SET status = 'unknown', attempts = 2 WHERE id = {ids[2]}")
        for i in (ids[0], ids[2]):
            again = self.server.call("POST", f"/v1/messages/{i}/retry", "")
            self.assertEqual(again.status, 200, again)
            self.assertEqual(again.json["status"], "queued")
        self.assertEqual(self.get(f"/v1/messages/{ids[2]}")["attempts"], 2)
        # Unknown ids and bad parameters.
        for method, path in [("GET", "/v1/messages/999999"), ("DELETE", "/v1/messages/999999"),
                             ("POST", "/v1/messages/999999/retry"), ("GET", "/v1/messages/99999999999999999999"),
                             ("GET", "/v1/messages/0")]:
            with self.subTest(path=path):
                self.assertProblem(self.server.call(method, path, "" if method == "POST" else None), 404)
        for query, field in [("limit=0", "limit"), ("limit=501", "limit"), ("limit=ten", "limit"),
                             ("cursor=nonsense", "cursor"), ("status=lost", "status"), ("to=abc", "to"),
                             ("since=yesterday", "since")]:
            with self.subTest(query=query):
                self.assertProblem(self.server.call("GET", "/v1/messages?" + query), 400, field)
        # A cursor of another list is not taken for this one's.
        self.send({"to": NUMBER, "text": "x"})
        inbox_cursor = self.get("/v1/conversations?limit=1")["next_cursor"]
        self.assertProblem(self.server.call("GET", f"/v1/messages?cursor={inbox_cursor}"), 400, "cursor")
        self.assertProblem(self.server.call("GET", "/v1/messages", token=False), 401)
        # The daemon sends the rows still queued, and the cancelled one stays as it is
        # until retried.
        self.background()
        wait_for(lambda: self.get("/v1/messages?status=queued")["messages"] == [], 60, "the queue sent")
        self.assertProblem(self.server.call("DELETE", f"/v1/messages/{ids[1]}"), 409)

    def test_an_idempotency_key_retried_20_times_at_once_queues_once(self):
        body = {"to": [NUMBER, "+4917000009"], "text": "only once"}
        headers = {"Idempotency-Key": "order-4711"}
        start = threading.Barrier(20)

        def post(_):
            start.wait()
            return self.send(body, headers)
        with concurrent.futures.ThreadPoolExecutor(20) as pool:
            answers = list(pool.map(post, range(20)))
        self.assertEqual({a.status for a in answers}, {201}, answers)
        self.assertEqual(len({a.text for a in answers}), 1)
        self.assertEqual(sum(a.headers.get("Idempotent-Replayed") == "true" for a in answers), 19)
        self.assertEqual([r["text"] for r in self.outbox()], ["only once", "only once"])
        self.assertEqual(sorted(m["id"] for m in answers[0].json["messages"]), [r["id"] for r in self.outbox()])
        # Later retries too; the key with another body is refused; a bad key is refused.
        self.assertEqual(self.send(body, headers).text, answers[0].text)
        self.assertProblem(self.send(dict(body, text="changed"), headers), 422, "Idempotency-Key")
        self.assertProblem(self.send(body, {"Idempotency-Key": "k" * 201}), 400, "Idempotency-Key")
        self.assertProblem(self.send(body, {"Idempotency-Key": "tab\there"}), 400, "Idempotency-Key")
        # A bad request does not use the key up.
        self.assertProblem(self.send({"to": "x", "text": "y"}, {"Idempotency-Key": "fresh"}), 400, "to")
        self.assertEqual(self.send({"to": NUMBER, "text": "y"}, {"Idempotency-Key": "fresh"}).status, 201)
        # A key is kept a day: after that it is a new request.
        self.db.execute("UPDATE idempotency_keys SET created_at = created_at - 86401 WHERE key = 'fresh'")
        self.assertEqual(self.send({"to": NUMBER, "text": "y"}, {"Idempotency-Key": "fresh"}).headers.get(
            "Idempotent-Replayed"), None)
        # Keys are each caller's own.
        other = create_token(self.db.url, "another")
        self.assertEqual(self.send(body, headers, token=other).headers.get("Idempotent-Replayed"), None)
        self.assertEqual(len(self.outbox()), 6)

    def test_50_clients_posting_2000_messages_queue_each_accepted_one_once(self):
        def client(n):
            accepted = {}
            for i in range(40):
                text = f"client {n} message {i}"
                answer = self.send({"to": f"+4917{n:04d}{i:03d}", "text": text})
                if answer.status == 201:
                    accepted[answer.json["id"]] = text
                else:
                    self.assertEqual(answer.status, 503, answer)  # a busy database may say so; never a 500
            return accepted
        with concurrent.futures.ThreadPoolExecutor(50) as pool:
            results = list(pool.map(client, range(50)))
        accepted = {}
        for r in results:
            self.assertFalse(set(r) & set(accepted), "an id answered twice")
            accepted.update(r)
        rows = {r["id"]: r["text"] for r in self.outbox()}
        self.assertEqual(rows, accepted)
        self.assertGreater(len(accepted), 1900)

    def test_inbox_conversations_and_phones(self):
        long_text = " ".join(f"w{i:03d}" for i in range(60))  # two parts, joined again
        self.phone.deliver(NUMBER, "hello gateway")
        self.phone.deliver("+4917055555", long_text)
        self.background()
        wait_for(lambda: len(self.get("/v1/inbox")["messages"]) == 2, 60, "both received")
        inbox = self.get("/v1/inbox")["messages"]  # in the order the daemon read them
        self.assertEqual(sorted((m["from"], m["text"], m["parts"], m["complete"]) for m in inbox),
                         [(NUMBER, "hello gateway", 1, True), ("+4917055555", long_text, 2, True)])
        self.assertLess(inbox[0]["id"], inbox[1]["id"])
        first = inbox[0]
        self.assertRegex(first["received_at"], r"Z$")
        self.assertEqual(self.get(f"/v1/inbox/{first['id']}"), first)
        second_part = self.db.query("SELECT MAX(id) AS id FROM inbox WHERE concat_part = 2")[0]["id"]
        self.assertEqual(self.get(f"/v1/inbox/{second_part}")["text"], long_text)  # a part finds its message
        self.assertEqual(self.get(f"/v1/inbox?since_id={first['id']}")["messages"], inbox[1:])
        page = self.get("/v1/inbox?limit=1")
        self.assertEqual(page["messages"], inbox[:1])
        self.assertEqual(self.get(f"/v1/inbox?limit=1&cursor={page['next_cursor']}")["messages"], inbox[1:2])
        self.assertProblem(self.server.call("GET", "/v1/inbox/424242"), 404)
        self.assertProblem(self.server.call("GET", "/v1/inbox?since_id=-1"), 400, "since_id")
        # A reply: both directions in one conversation, in time order.
        reply = self.send({"to": NUMBER.lstrip("+"), "text": "hello to you"}).json["id"]
        wait_for(lambda: self.get(f"/v1/messages/{reply}")["status"] == "sent", 60, "the reply sent")
        conversation = self.get("/v1/conversations/%2B4917012345")
        self.assertEqual([(i["direction"], i["message"]["text"]) for i in conversation["items"]],
                         [("in", "hello gateway"), ("out", "hello to you")])
        self.assertEqual(conversation["items"][1]["message"]["id"], reply)
        self.assertEqual(self.get("/v1/conversations/4917012345")["items"], conversation["items"])
        self.assertEqual(self.get("/v1/conversations/4917012345?limit=1")["items"], conversation["items"][1:])
        listed = self.get("/v1/conversations")["conversations"]
        self.assertEqual({c["number"]: (c["received"], c["sent"]) for c in listed},
                         {NUMBER: (1, 1), "+4917055555": (1, 0)})
        self.assertEqual(listed[0]["number"], NUMBER)  # the newest first
        self.assertEqual(listed[0]["last_text"], "hello to you")
        self.assertProblem(self.server.call("GET", "/v1/conversations/4900000"), 404)
        self.assertProblem(self.server.call("GET", "/v1/conversations/%01"), 400, "number")
        far = base64.urlsafe_b64encode(b"conversation:20000").decode().rstrip("=")
        self.assertProblem(self.server.call("GET", f"/v1/conversations/4917012345?cursor={far}"), 400, "cursor")
        # The phone the daemon reports on.
        phones = self.get("/v1/phones")["phones"]
        self.assertEqual(len(phones), 1)
        phone = phones[0]
        self.assertTrue(phone["up"])
        self.assertEqual(phone["imei"], self.phone.state()["identity"]["imei"])
        self.assertLessEqual(phone["heartbeat_age_seconds"], 5)
        # phonesim's three bars of signal and two of battery, of four.
        self.assertEqual((phone["signal"], phone["battery"]), (75, 50))
        self.daemons[0].stop()
        self.db.execute("UPDATE phones SET last_seen = '2001-01-01 00:00:00'")
        self.assertFalse(self.get("/v1/phones")["phones"][0]["up"])
        self.assertProblem(self.server.call("GET", "/v1/phones", token=False), 401)

    def test_metrics_in_prometheus_text_format(self):
        self.send({"to": NUMBER, "text": "counted"})
        self.send({"to": NUMBER, "text": "x", "class": 9})
        self.db.execute("INSERT INTO phones (id, imei, model, signal, battery, last_seen) "
                        "VALUES ('odd\"phone\\name', '1', 'm', 240, 320, '2001-01-01 00:00:00')")
        answer = self.server.call("GET", "/metrics", token=False)
        self.assertEqual(answer.status, 200, answer)
        self.assertTrue(answer.headers["Content-Type"].startswith("text/plain; version=0.0.4"))
        lines = answer.text.splitlines()
        sample = re.compile(r'^[a-z_]+(\{([a-z_]+="([^"\\\n]|\\["\\n])*",?)+\})? -?[0-9.e+]+$')
        for line in lines:
            if not line.startswith("#"):
                self.assertRegex(line, sample)
        self.assertIn('pelkor_outbox_messages{status="queued"} 1', lines)
        self.assertIn('pelkor_outbox_messages{status="sent"} 0', lines)
        self.assertIn('pelkor_delivery_messages{state="none"} 1', lines)
        self.assertIn('pelkor_webhook_deliveries{status="failed"} 0', lines)
        self.assertIn("pelkor_sent_total 0", lines)
        self.assertIn('pelkor_phone_signal_percent{phone="odd\\"phone\\\\name"} 60', lines)
        self.assertIn('pelkor_phone_battery_percent{phone="odd\\"phone\\\\name"} 80', lines)
        self.assertIn('pelkor_phone_up{phone="odd\\"phone\\\\name"} 0', lines)
        self.assertIn('pelkor_http_requests_total{method="POST",route="/v1/messages",status="201"} 1', lines)
        self.assertIn('pelkor_http_requests_total{method="POST",route="/v1/messages",status="400"} 1', lines)
        self.assertIn('pelkor_http_request_duration_seconds_count{method="POST",route="/v1/messages"} 2', lines)
        self.assertIn('pelkor_http_request_duration_seconds_bucket{method="POST",route="/v1/messages",le="+Inf"} 2',
                      lines)
        buckets = [int(line.rsplit(" ", 1)[1]) for line in lines
                   if line.startswith('pelkor_http_request_duration_seconds_bucket{method="POST",route="/v1/messages"')]
        self.assertEqual(buckets, sorted(buckets), "buckets are cumulative")
        self.assertEqual(sum(line.startswith("# TYPE pelkor_outbox_messages ") for line in lines), 1)


class SqliteApi(ApiChecks, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(why_no_postgres(), why_no_postgres())
class PostgresApi(OnPostgres, ApiChecks, unittest.TestCase):
    pass


if __name__ == "__main__":
    unittest.main()
