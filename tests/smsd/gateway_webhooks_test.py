"""Webhooks against a small local receiver: events raised with their cause (a message
sent, delivered, received through phonesim and the phone daemon), signed deliveries,
retries with the same delivery id, a serve killed while delivering, two serve processes
on one PostgreSQL database, and the /v1/webhooks routes and `webhook` command."""
import hashlib
import hmac
import http.server
import json
import threading
import time
import unittest
import urllib.parse

from gateway_harness import WithServer
from smsd_harness import Daemon, OnPostgres, PhoneAndDatabase, SqliteDb, smsd, wait_for, why_no_postgres

FAST = {"PELKOR_SMSD_WEBHOOK_BACKOFF": "1"}
LONG_TEXT = "".join(f"part{i:03d} " for i in range(40))  # 360 characters: 3 parts


class Receiver:
    """An HTTP server in a thread that records every request and answers with the
    statuses queued in `answers` (200 once they run out); while `hold` is set, a request
    is recorded and then kept waiting until `release()`."""

    def __init__(self):
        self.requests = []
        self.answers = []
        self.hold = False
        self.released = threading.Event()
        self.lock = threading.Lock()
        receiver = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def log_message(self, *args):
                pass

            def answer(self):
                length = int(self.headers.get("Content-Length") or 0)
                body = self.rfile.read(length) if length else b""
                with receiver.lock:
                    receiver.requests.append({"method": self.command, "path": self.path,
                                              "headers": {k.lower(): v for k, v in self.headers.items()},
                                              "body": body})
                    status = receiver.answers.pop(0) if receiver.answers else 200
                    hold = receiver.hold
                if hold:
                    receiver.released.wait(60)
                try:
                    self.send_response(status)
                    self.send_header("Content-Length", "2")
                    self.end_headers()
                    self.wfile.write(b"ok")
                except OSError:
                    pass

            do_GET = do_POST = answer

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.server.daemon_threads = True
        self.url = f"http://127.0.0.1:{self.server.server_address[1]}"
        self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def release(self):
        self.hold = False
        self.released.set()

    def close(self):
        self.release()
        self.server.shutdown()
        self.server.server_close()

    def posts(self, event=None):
        with self.lock:
            return [r for r in self.requests
                    if r["method"] == "POST" and (event is None or r["headers"].get("x-pelkor-event") == event)]


def verify(secret, request, tolerance=300):
    """A receiver's check of X-Pelkor-Signature, as the documentation gives it."""
    fields = dict(item.split("=", 1) for item in request["headers"]["x-pelkor-signature"].split(","))
    expected = hmac.new(secret.encode(), fields["t"].encode() + b"." + request["body"], hashlib.sha256).hexdigest()
    return hmac.compare_digest(expected, fields["v1"]) and abs(time.time() - int(fields["t"])) <= tolerance


class WebhookChecks(WithServer, PhoneAndDatabase):

    def setUp(self):
        super().setUp()
        self.receiver = Receiver()
        self.addCleanup(self.receiver.close)

    def daemon(self):
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", log_dir=self.dir.name)
        self.daemons.append(daemon)
        return daemon

    def add_hook(self, server, events, path="/hook", secret=None):
        body = {"url": self.receiver.url + path, "events": events}
        if secret:
            body["secret"] = secret
        answer = server.call("POST", "/v1/webhooks", body)
        self.assertEqual(answer.status, 201, answer)
        return answer.json

    def inject(self, text, number="+4917012345", report=False):
        result = smsd("--database", self.db.url, "inject", number, text, *(["--status-report"] if report else []))
        self.assertEqual(result.returncode, 0, result.stderr)
        return int(result.stdout.strip())

    def deliveries(self, server, hook_id):
        answer = server.call("GET", f"/v1/webhooks/{hook_id}/deliveries")
        self.assertEqual(answer.status, 200, answer)
        return answer.json["deliveries"]

    def test_each_outbox_event_is_raised_signed_and_its_body_names_its_delivery(self):
        server = self.start_server()
        events = ["message.sent", "message.delivered", "message.failed", "message.delivery_failed"]
        hook = self.add_hook(server, events, secret="s" * 24)
        self.assertEqual((hook["secret"], hook["events"]), ("s" * 24, events))
        self.phone.control("set /network/report_rules " + json.dumps([{"destination": "+4917066666", "status": 0x41}]))
        outbox_id = self.inject("hello hooks", report=True)
        undelivered_id = self.inject("hello hooks", number="+4917066666", report=True)
        # A row no phone can send fails at once.
        self.db.execute("INSERT INTO outbox (destination, text) VALUES ('not a number', 'hello hooks')")
        failed_id = self.db.query("SELECT MAX(id) AS id FROM outbox")[0]["id"]
        self.daemon()
        wait_for(lambda: len(self.receiver.posts()) == 5, 60, "two sent, a delivered, a failed, an undelivered event")
        sent, delivered = self.receiver.posts("message.sent"), self.receiver.posts("message.delivered")
        [failed] = self.receiver.posts("message.failed")
        [undelivered] = self.receiver.posts("message.delivery_failed")
        self.assertEqual((len(sent), len(delivered)), (2, 1))
        undelivered_message = json.loads(undelivered["body"])["data"]["message"]
        self.assertEqual((undelivered_message["id"], undelivered_message["delivery"]), (undelivered_id, "failed"))
        failed_message = json.loads(failed["body"])["data"]["message"]
        self.assertEqual((failed_message["id"], failed_message["status"]), (failed_id, "failed"))
        self.assertIn("destination", failed_message["last_error"])
        for request in sent + delivered + [failed, undelivered]:
            self.assertTrue(verify("s" * 24, request), request["headers"])
            self.assertFalse(verify("t" * 24, request))
            self.assertEqual(request["headers"]["content-type"], "application/json")
            body = json.loads(request["body"])
            self.assertEqual(str(body["id"]), request["headers"]["x-pelkor-delivery"])
            self.assertEqual(body["event"], request["headers"]["x-pelkor-event"])
            self.assertRegex(body["created_at"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
            self.assertEqual(body["data"]["message"]["text"], "hello hooks")
        self.assertEqual(sorted(json.loads(r["body"])["data"]["message"]["id"] for r in sent),
                         [outbox_id, undelivered_id])
        self.assertEqual(json.loads(delivered[0]["body"])["data"]["message"]["id"], outbox_id)
        self.assertEqual(json.loads(sent[0]["body"])["data"]["message"]["status"], "sent")
        self.assertEqual(json.loads(delivered[0]["body"])["data"]["message"]["delivery"], "delivered")
        # A changed byte of the body no longer verifies.
        tampered = dict(delivered[0], body=delivered[0]["body"].replace(b"hello", b"jello"))
        self.assertFalse(verify("s" * 24, tampered))
        wait_for(lambda: all(d["status"] == "delivered" for d in self.deliveries(server, hook["id"])), 10,
                 "both deliveries recorded")
        listed = self.deliveries(server, hook["id"])
        self.assertEqual(sorted(d["event"] for d in listed),
                         ["message.delivered", "message.delivery_failed", "message.failed", "message.sent",
                          "message.sent"])
        self.assertEqual({(d["attempts"], d["last_status"], d["last_response"]) for d in listed}, {(1, 200, "ok")})
        [entry] = server.call("GET", "/v1/webhooks").json["webhooks"]
        self.assertEqual((entry["pending"], entry["failed"]), (0, 0))
        self.assertIsNotNone(entry["last_delivery_at"])
        self.assertNotIn("secret", entry)

    def test_a_concatenated_message_is_received_once_and_whole(self):
        server = self.start_server()
        self.add_hook(server, ["message.received"])
        # Not subscribed: a send raises nothing for this hook.
        self.inject("not for this hook")
        self.daemon()
        self.phone.deliver("+4915511111", LONG_TEXT)
        self.phone.deliver("+4915522222", "short one")
        wait_for(lambda: len(self.receiver.posts()) >= 2, 60, "two received events")
        wait_for(lambda: self.db.query("SELECT COUNT(*) AS n FROM inbox")[0]["n"] == 4, 30, "four inbox rows")
        time.sleep(1.5)  # time for a wrong third event to arrive
        posts = self.receiver.posts()
        self.assertEqual([p["headers"]["x-pelkor-event"] for p in posts], ["message.received"] * 2)
        messages = {m["from"]: m for m in (json.loads(p["body"])["data"]["message"] for p in posts)}
        self.assertEqual(messages["+4915511111"]["text"], LONG_TEXT)
        self.assertEqual((messages["+4915511111"]["parts"], messages["+4915511111"]["complete"]), (3, True))
        self.assertEqual(messages["+4915522222"]["text"], "short one")

    def test_a_failing_receiver_gets_the_event_again_with_the_same_delivery_id_and_a_dead_one_fails(self):
        server = self.start_server("--webhook-retry-hours", "0.004", env=FAST)  # 14.4 s of retries
        flaky = self.add_hook(server, ["message.sent"], path="/flaky")
        dead = server.call("POST", "/v1/webhooks", {"url": "http://127.0.0.1:9/nobody", "events": ["message.sent"]})
        self.assertEqual(dead.status, 201, dead)
        self.receiver.answers = [500, 503, 404]
        self.inject("retry me")
        self.daemon()
        wait_for(lambda: len(self.receiver.posts()) == 4, 60, "the fourth attempt")
        ids = {p["headers"]["x-pelkor-delivery"] for p in self.receiver.posts()}
        bodies = {p["body"] for p in self.receiver.posts()}
        self.assertEqual((len(ids), len(bodies)), (1, 1))
        wait_for(lambda: self.deliveries(server, flaky["id"])[0]["status"] == "delivered", 10, "flaky delivered")
        [entry] = self.deliveries(server, flaky["id"])
        self.assertEqual((entry["attempts"], entry["last_status"]), (4, 200))
        wait_for(lambda: self.deliveries(server, dead.json["id"])[0]["status"] == "failed", 40, "the dead hook failed")
        [given_up] = self.deliveries(server, dead.json["id"])
        self.assertGreaterEqual(given_up["attempts"], 2)
        self.assertIsNone(given_up["last_status"])
        self.assertIsNotNone(given_up["last_error"])
        self.assertIsNone(given_up["next_attempt_at"])
        listed = {h["id"]: h for h in server.call("GET", "/v1/webhooks").json["webhooks"]}
        self.assertEqual((listed[dead.json["id"]]["failed"], listed[flaky["id"]]["failed"]), (1, 0))
        time.sleep(2)
        self.assertEqual(len(self.receiver.posts()), 4, "nothing more after the 2xx answer")

    def test_serve_killed_while_delivering_loses_no_event(self):
        env = {"PELKOR_SMSD_WEBHOOK_CLAIM": "5"}
        first = self.start_server("--webhook-timeout", "3", env=env)
        self.add_hook(first, ["message.sent"])
        self.receiver.hold = True
        self.inject("survive a kill")
        self.daemon()
        wait_for(lambda: len(self.receiver.posts()) == 1, 60, "the delivery under way")
        first.kill()
        self.receiver.release()
        [row] = self.db.query("SELECT status, attempts FROM webhook_deliveries")
        self.assertEqual((row["status"], row["attempts"]), ("pending", 0))
        self.start_server(env=env)
        wait_for(lambda: len(self.receiver.posts()) == 2, 30, "the event sent again by the new server")
        self.assertEqual(len({p["headers"]["x-pelkor-delivery"] for p in self.receiver.posts()}), 1)
        wait_for(lambda: self.db.query("SELECT status FROM webhook_deliveries")[0]["status"] == "delivered", 10,
                 "the delivery recorded")

    def test_the_routes_refuse_bad_hooks_and_a_removed_hook_gets_nothing_more(self):
        server = self.start_server()
        bad = [({"url": "ftp://example.com/x", "events": ["message.sent"]}, "url"),
               ({"url": "http:///nohost", "events": ["message.sent"]}, "url"),
               ({"url": "http://example.com/a b", "events": ["message.sent"]}, "url"),
               ({"url": self.receiver.url, "events": ["message.lost"]}, "events"),
               ({"url": self.receiver.url, "events": []}, "events"),
               ({"url": self.receiver.url, "events": "message.sent"}, "events"),
               ({"url": self.receiver.url, "events": ["message.sent"], "secret": "short"}, "secret"),
               ({"url": self.receiver.url, "events": ["message.sent"], "secret": 12345678901234567}, "secret"),
               ({"events": ["message.sent"]}, "url")]
        for body, field in bad:
            answer = server.call("POST", "/v1/webhooks", body)
            self.assertEqual((answer.status, answer.headers["Content-Type"]), (400, "application/problem+json"), body)
            self.assertEqual(answer.json["field"], field, body)
        self.assertEqual(server.call("POST", "/v1/webhooks", "not json").status, 400)
        self.assertEqual(server.call("GET", "/v1/webhooks", token=False).status, 401)
        self.assertEqual(server.call("POST", "/v1/webhooks", {"url": self.receiver.url, "events": ["message.sent"]},
                                     token=False).status, 401)
        self.assertEqual(self.db.query("SELECT COUNT(*) AS n FROM webhooks")[0]["n"], 0)
        hook = self.add_hook(server, ["message.sent"])
        self.assertRegex(hook["secret"], r"^[0-9a-f]{64}$")
        for path in ("/v1/webhooks/999", "/v1/webhooks/x1"):
            self.assertEqual(server.call("DELETE", path).status, 404)
        self.assertEqual(server.call("GET", f"/v1/webhooks/{hook['id']}/deliveries?limit=0").status, 400)
        self.assertEqual(server.call("GET", "/v1/webhooks/999/deliveries").status, 404)
        # An event waiting for the hook when it is removed is not sent.
        self.receiver.answers = [500] * 100
        self.inject("before removal")
        daemon = self.daemon()
        wait_for(lambda: len(self.receiver.posts()) >= 1, 60, "the first attempt")
        daemon.stop()
        self.assertEqual(server.call("DELETE", f"/v1/webhooks/{hook['id']}").status, 204)
        self.assertEqual(server.call("DELETE", f"/v1/webhooks/{hook['id']}").status, 404)
        self.assertEqual(server.call("GET", "/v1/webhooks").json["webhooks"], [])
        [entry] = self.deliveries(server, hook["id"])
        self.assertEqual((entry["status"], entry["last_error"]), ("failed", "the webhook was removed"))
        count = len(self.receiver.posts())
        time.sleep(1.5)
        self.assertEqual(len(self.receiver.posts()), count)

    def test_the_webhook_command(self):
        url = self.receiver.url + "/cli"
        added = smsd("--database", self.db.url, "webhook", "add", url, "--events", "message.sent, message.failed")
        self.assertEqual(added.returncode, 0, added.stderr)
        hook_id, secret = added.stdout.split()
        self.assertRegex(secret, r"^[0-9a-f]{64}$")
        listed = smsd("--database", self.db.url, "webhook", "list")
        self.assertIn(url + " message.sent,message.failed", listed.stdout)
        refused = smsd("--database", self.db.url, "webhook", "add", url, "--events", "message.sent", "--secret", "x")
        self.assertEqual(refused.returncode, 2)
        self.assertIn("secret", refused.stderr)
        self.assertEqual(smsd("--database", self.db.url, "webhook", "add", url, "--events", "nope").returncode, 2)
        self.assertEqual(smsd("--database", self.db.url, "webhook", "remove", hook_id).returncode, 0)
        self.assertEqual(smsd("--database", self.db.url, "webhook", "remove", hook_id).returncode, 2)
        self.assertNotIn(url, smsd("--database", self.db.url, "webhook", "list").stdout)


    def test_deliveries_done_with_are_removed_in_time_and_the_others_kept(self):
        # The schema first, then rows of every age as if written long ago.
        self.assertEqual(smsd("--database", self.db.url, "webhook", "list").returncode, 0)
        day = 24 * 3600
        now = int(time.time())
        rows = [("delivered", now - 8 * day, now - 8 * day), ("delivered", now - 8 * day, now - day),
                ("failed", now - 31 * day, None), ("failed", now - 2 * day, None)]
        for n, (status, created, delivered) in enumerate(rows):
            self.db.execute("INSERT INTO webhook_deliveries (event, method, url, body, status, next_attempt_at, "
                            f"created_at, delivered_at) VALUES ('kannel.dlr', 'GET', 'http://127.0.0.1:9/{n}', '', "
                            f"'{status}', {created}, {created}, {'NULL' if delivered is None else delivered})")
        server = self.start_server()
        wait_for(lambda: "2 old deliveries removed" in server.output(), 20, "the purge")
        self.assertEqual([r["url"] for r in self.db.query("SELECT url FROM webhook_deliveries ORDER BY id")],
                         ["http://127.0.0.1:9/1", "http://127.0.0.1:9/3"])


class SqliteWebhooks(WebhookChecks, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(why_no_postgres(), why_no_postgres())
class PostgresWebhooks(OnPostgres, WebhookChecks, unittest.TestCase):

    def test_two_servers_on_one_database_deliver_each_event_once(self):
        servers = [self.start_server(), self.start_server()]
        self.add_hook(servers[0], ["message.received"])
        self.daemon()
        for i in range(12):
            self.phone.deliver(f"+49155{i:05d}", f"event {i}")
        wait_for(lambda: len(self.receiver.posts()) >= 12, 90, "twelve events")
        time.sleep(2)
        posts = self.receiver.posts()
        ids = [p["headers"]["x-pelkor-delivery"] for p in posts]
        self.assertEqual(len(ids), 12)
        self.assertEqual(len(set(ids)), 12)
        rows = self.db.query("SELECT status, attempts, claimed_by FROM webhook_deliveries")
        self.assertEqual({(r["status"], r["attempts"]) for r in rows}, {("delivered", 1)})
        # Each delivery went out from one of the two, once.
        sent_by = [s.output().count(") to " + self.receiver.url) for s in servers]
        self.assertEqual(sum(sent_by), 12, sent_by)


if __name__ == "__main__":
    unittest.main()
