"""Kannel's sendsms interface: a send that asks for delivery callbacks gets them from
the phone's status reports (phonesim), GET and POST with their parameters and charsets,
and the answers for what is refused, in Kannel's plain-text style."""
import json
import time
import unittest
import urllib.parse

from gateway_harness import WithServer, request
from gateway_webhooks_test import Receiver
from smsd_harness import Daemon, OnPostgres, PhoneAndDatabase, SqliteDb, smsd, wait_for, why_no_postgres

USER, PASSWORD = "kannel", "sesame-open-1"


class KannelChecks(WithServer, PhoneAndDatabase):

    def setUp(self):
        super().setUp()
        self.receiver = Receiver()
        self.addCleanup(self.receiver.close)
        path = f"{self.dir.name}/password"
        with open(path, "w") as f:
            f.write(PASSWORD + "\n")
        added = smsd("--database", self.db.url, "user", "add", USER, "--password-from", path)
        self.assertEqual(added.returncode, 0, added.stderr)
        self.server = self.start_server()

    def send(self, method="GET", **fields):
        fields.setdefault("username", USER)
        fields.setdefault("password", PASSWORD)
        query = urllib.parse.urlencode(fields)
        if method == "GET":
            return request(self.server.base + "/cgi-bin/sendsms?" + query)
        return request(self.server.base + "/cgi-bin/sendsms", "POST", query,
                       {"Content-Type": "application/x-www-form-urlencoded"})

    def outbox(self):
        return self.db.query("SELECT id, destination, text, class, priority, validity_minutes, coding, dlr_url, "
                             "dlr_mask, CASE WHEN status_report THEN 1 ELSE 0 END AS report FROM outbox ORDER BY id")

    def gets(self):
        with self.receiver.lock:
            return [urllib.parse.urlsplit(r["path"]) for r in self.receiver.requests if r["method"] == "GET"]

    def test_dlr_url_is_called_for_each_report_type_the_mask_asks_for(self):
        self.phone.control("set /network/report_delay_ms 0")
        self.phone.control("set /network/report_rules " + json.dumps([
            {"destination": "+4917099999", "status": "pending", "then": {"status": "delivered", "after_ms": 1000}}]))
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", log_dir=self.dir.name)
        self.daemons.append(daemon)
        wait_for(lambda: self.db.query("SELECT id FROM phones"), 30, "the phone's heartbeat")
        dlr = self.receiver.url + "/dlr?type=%d&to=%p&id=%I&t=%T&text=%A"
        answer = self.send(to="+4917012345", text="where is it", **{"dlr-mask": "3", "dlr-url": dlr})
        self.assertEqual((answer.status, answer.text), (202, "0: Accepted for delivery\n"), answer)
        self.assertTrue(answer.headers["Content-Type"].startswith("text/plain"))
        answer = self.send(to="+4917054321", text="and this", **{"dlr-mask": "9", "dlr-url": dlr})
        self.assertEqual(answer.status, 202, answer)
        answer = self.send(to="+4917099999", text="buffered first", **{"dlr-mask": "5", "dlr-url": dlr})
        self.assertEqual(answer.status, 202, answer)
        # A row no phone can send fails at once: type 16, with the reason as its text.
        self.db.execute(f"INSERT INTO outbox (destination, text, dlr_url, dlr_mask) VALUES ('12ab', 'x', '{dlr}', 16)")
        first, second, third, bad = self.outbox()
        self.assertEqual((first["dlr_mask"], first["report"], first["dlr_url"]), (3, 1, dlr))
        wait_for(lambda: len(self.gets()) == 6, 60, "six delivery callbacks")
        time.sleep(1)
        calls = sorted((urllib.parse.parse_qs(u.query) for u in self.gets()), key=lambda q: (q["id"], q["type"]))
        expected = [(first["id"], "+4917012345", "1"), (second["id"], "+4917054321", "1"),
                    (second["id"], "+4917054321", "8"), (third["id"], "+4917099999", "1"),
                    (third["id"], "+4917099999", "4"), (bad["id"], "12ab", "16")]
        self.assertEqual([(q["id"][0], q["to"][0], q["type"][0]) for q in calls],
                         sorted((str(i), to, t) for i, to, t in expected))
        [refused] = [q for q in calls if q["type"] == ["16"]]
        self.assertIn("destination", refused["text"][0])
        for q in calls:
            self.assertLessEqual(abs(int(q["t"][0]) - time.time()), 120)
            self.assertTrue(q["text"][0])
        self.assertEqual(self.receiver.posts(), [])

    def test_get_and_post_with_several_numbers_charsets_and_options(self):
        # No phone has reported: queued for later.
        answer = self.send(to="+4911111 +4922222", text="caf\u00e9".encode("latin-1"), charset="ISO-8859-1",
                           coding="2", mclass="1", validity="60", priority="2")
        self.assertEqual((answer.status, answer.text), (202, "3: Queued for later delivery\n"), answer)
        fields = {"user": USER, "pass": PASSWORD, "to": "+4933333", "text": "\U0001F600 ok".encode("utf-16-be"),
                  "charset": "UTF-16BE"}
        answer = request(self.server.base + "/cgi-bin/sendsms", "POST", urllib.parse.urlencode(fields),
                         {"Content-Type": "application/x-www-form-urlencoded"})
        self.assertEqual(answer.status, 202, answer)
        answer = self.send("POST", to="+4944444", text="plain")
        self.assertEqual(answer.status, 202, answer)
        rows = self.outbox()
        self.assertEqual([(r["destination"], r["text"]) for r in rows],
                         [("+4911111", "caf\u00e9"), ("+4922222", "caf\u00e9"), ("+4933333", "\U0001F600 ok"),
                          ("+4944444", "plain")])
        self.assertEqual([(r["class"], r["priority"], r["validity_minutes"], r["coding"]) for r in rows[:2]],
                         [(1, 2, 60, "ucs2")] * 2)
        self.assertEqual([(r["class"], r["priority"], r["coding"], r["dlr_mask"], r["report"]) for r in rows[2:]],
                         [(None, 0, "gsm", 0, 0)] * 2)

    def test_refusals_queue_nothing(self):
        cases = [({"password": "wrong-password"}, 403), ({"username": "nobody"}, 403),
                 ({"username": ""}, 403), ({"to": None}, 400), ({"to": "   "}, 400), ({"text": None}, 400),
                 ({"mclass": "4"}, 400), ({"mclass": "x"}, 400), ({"coding": "3"}, 400), ({"priority": "9"}, 400),
                 ({"validity": "-5"}, 400), ({"dlr-mask": "64"}, 400),
                 ({"dlr-mask": "1", "dlr-url": "file:///etc/passwd"}, 400), ({"charset": "KOI8-R"}, 400),
                 ({"to": "+49 not-a-number"}, 400), ({"text": b"\xff\xfe"}, 400),
                 ({"text": b"odd", "charset": "UTF-16BE"}, 400), ({"to": " ".join(["+491"] * 101)}, 400)]
        for change, status in cases:
            fields = {"to": "+4917012345", "text": "hi"}
            fields.update(change)
            fields = {k: v for k, v in fields.items() if v is not None}
            answer = self.send(**fields)
            self.assertEqual(answer.status, status, (change, answer))
            self.assertTrue(answer.headers["Content-Type"].startswith("text/plain"), change)
            self.assertTrue(answer.text.strip(), change)
        self.assertEqual(self.outbox(), [])
        self.assertEqual(self.send(to="+4917012345", text="hi", password=PASSWORD).status, 202)

    def test_a_password_remembered_for_speed_stops_working_when_it_is_changed_or_the_user_removed(self):
        self.assertEqual(self.send(to="+4917012345", text="one").status, 202)
        path = f"{self.dir.name}/new-password"
        with open(path, "w") as f:
            f.write("another-password\n")
        self.assertEqual(smsd("--database", self.db.url, "user", "add", USER, "--password-from", path).returncode, 0)
        self.assertEqual(self.send(to="+4917012345", text="two").status, 403)
        self.assertEqual(self.send(to="+4917012345", text="three", password="another-password").status, 202)
        self.assertEqual(smsd("--database", self.db.url, "user", "remove", USER).returncode, 0)
        self.assertEqual(self.send(to="+4917012345", text="four", password="another-password").status, 403)
        self.assertEqual([r["text"] for r in self.outbox()], ["one", "three"])

    def test_a_callback_that_fails_is_logged_without_its_query(self):
        # A dlr-url often carries the application's own secret in its query.
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", log_dir=self.dir.name)
        self.daemons.append(daemon)
        dead = "http://127.0.0.1:9/dlr?key=app-s3cret-key&type=%d"
        answer = self.send(to="+4917012345", text="accepted", **{"dlr-mask": "8", "dlr-url": dead})
        self.assertEqual(answer.status, 202, answer)
        wait_for(lambda: self.db.query("SELECT id FROM webhook_deliveries WHERE attempts > 0"), 60,
                 "the first attempt at the callback")
        wait_for(lambda: "/dlr?..." in self.server.output(), 10, "the failed attempt in the log")
        self.assertNotIn("app-s3cret-key", self.server.output())

    def test_a_database_failure_is_a_503(self):
        self.assertEqual(self.send(to="+4917012345", text="first").status, 202)  # the password is checked once
        self.db.execute("ALTER TABLE outbox RENAME TO outbox_away")
        answer = self.send(to="+4917012345", text="lost?")
        self.assertEqual(answer.status, 503, answer)
        self.assertTrue(answer.headers["Content-Type"].startswith("text/plain"))


class SqliteKannel(KannelChecks, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(why_no_postgres(), why_no_postgres())
class PostgresKannel(OnPostgres, KannelChecks, unittest.TestCase):
    pass


if __name__ == "__main__":
    unittest.main()
