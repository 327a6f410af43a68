"""pelkor-smsd against phonesim: what is received lands in the inbox exactly once and
leaves the phone, what is queued reaches the phone at most once, with SQLite and with
PostgreSQL (a throwaway cluster; skipped when PostgreSQL is not installed)."""
import calendar
import collections
import os
import random
import signal
import sys
import time
import unittest

from smsd_harness import (Daemon, OnPostgres, Phone, PhoneAndDatabase, SqliteDb, smsd, wait_for,
                          why_no_postgres)

UCS2_TEXT = "Привет, мир ☺ – Grüße"
LONG_TEXT = " ".join(f"word{i:03d}" for i in range(50))  # 399 characters: three parts
# A three-part message as a sender splits it: 153 characters in each full part.
PARTS = [("Part one of three " * 9)[:153], ("and part two of it " * 9)[:153], "and the short end."]


class GatewayChecks(PhoneAndDatabase):
    """The receive and send checks, run against each database."""

    def start(self, *extra, phone=None):
        daemon = Daemon(phone or self.phone, self.db.url, *extra, log_dir=self.dir.name)
        self.daemons.append(daemon)
        return daemon

    def inject(self, number, text, *extra):
        result = smsd("--database", self.db.url, "inject", number, text, *extra)
        self.assertEqual(result.returncode, 0, result.stderr)
        return int(result.stdout)

    def inbox_texts(self):
        return [r["text"] for r in self.db.query("SELECT text FROM inbox ORDER BY id")]

    def test_received_messages_are_stored_with_their_text_and_deleted_from_the_phone(self):
        self.phone.deliver("+4915100001", "Plain 7-bit text @ £5 {ok}")
        self.phone.store(2, {"sender": "+4915100002", "coding": "ucs2", "text": UCS2_TEXT, "time": [25, 3, 4, 5, 6, 7],
                             "class": 0})
        for part, text in enumerate(PARTS, 1):  # full parts: each read answer takes several frames
            self.phone.store(2 + part, {"sender": "+4915100003", "text": text, "header": f"0500032A03{part:02X}"})
        self.once()
        rows = self.db.query("SELECT sender, text, coding, class, phone_time, phone_id, concat_reference AS ref, "
                             "concat_part AS part, concat_total AS total, pdu IS NOT NULL AS has_pdu "
                             "FROM inbox ORDER BY sender, concat_part")
        self.assertEqual([r["text"] for r in rows], ["Plain 7-bit text @ £5 {ok}", UCS2_TEXT] + PARTS)
        self.assertEqual([(r["coding"], r["class"]) for r in rows[:2]], [("gsm", None), ("ucs2", 0)])
        self.assertTrue(str(rows[1]["phone_time"]).startswith("2025-03-04") and "05:06:07" in str(rows[1]["phone_time"]))
        self.assertEqual([(r["ref"], r["part"], r["total"]) for r in rows[2:]], [(0x2A, 1, 3), (0x2A, 2, 3), (0x2A, 3, 3)])
        self.assertEqual([(r["ref"], r["part"]) for r in rows[:2]], [(None, None), (None, None)])
        self.assertTrue(all(r["has_pdu"] for r in rows))
        self.assertEqual({r["phone_id"] for r in rows}, {self.phone.device[len("/dev/"):].replace("/", "")})
        self.assertEqual(self.phone.stored_texts(), [])
        # One message each in the view, the parts joined in order.
        view = self.db.query("SELECT text, parts, complete FROM inbox_messages ORDER BY sender")
        self.assertEqual([(r["text"], r["parts"], bool(r["complete"])) for r in view],
                         [("Plain 7-bit text @ £5 {ok}", 1, True), (UCS2_TEXT, 1, True), ("".join(PARTS), 3, True)])

    def test_delivered_messages_carry_the_phones_clock_and_come_in_parts_or_ucs2_as_needed(self):
        emoji = "Hello \U0001F600 and \u20ac, \u043f\u0440\u0438\u0432\u0435\u0442"
        long_gsm = " ".join(f"w{i:03d}" for i in range(60))  # 299 characters: two parts of 7-bit
        long_ucs2 = "\u263a" * 150  # 150 units: three parts of UCS-2
        before = time.time()
        self.assertEqual(self.phone.deliver("+4915100040", emoji), "ok 1")
        self.assertEqual(self.phone.deliver("+4915100041", long_gsm), "ok 2 3")
        self.assertEqual(self.phone.deliver("+4915100042", long_ucs2), "ok 4 5 6")
        self.phone.deliver("+4915100043", "same text")
        time.sleep(1.1)  # the centre's stamp has whole seconds
        self.phone.deliver("+4915100043", "same text")
        self.once()
        view = self.db.query("SELECT sender, text, parts, complete FROM inbox_messages ORDER BY sender, id")
        self.assertEqual([(r["sender"], r["text"], r["parts"], bool(r["complete"])) for r in view],
                         [("+4915100040", emoji, 1, True), ("+4915100041", long_gsm, 2, True),
                          ("+4915100042", long_ucs2, 3, True), ("+4915100043", "same text", 1, True),
                          ("+4915100043", "same text", 1, True)])
        rows = self.db.query("SELECT sender, coding, phone_time, concat_reference AS ref FROM inbox ORDER BY id")
        self.assertEqual({r["sender"]: r["coding"] for r in rows},
                         {"+4915100040": "ucs2", "+4915100041": "gsm", "+4915100042": "ucs2", "+4915100043": "gsm"})
        refs = {r["sender"]: r["ref"] for r in rows if r["ref"] is not None}
        self.assertEqual(set(refs), {"+4915100041", "+4915100042"})
        self.assertNotEqual(refs["+4915100041"], refs["+4915100042"], "each concatenated message its own reference")
        # The simulator's clock runs with the host's UTC clock: the stamps are today's.
        for r in rows:
            stamp = calendar.timegm(time.strptime(str(r["phone_time"])[:19].replace("T", " "), "%Y-%m-%d %H:%M:%S"))
            self.assertLess(abs(stamp - before), 120, r)
        same = [str(r["phone_time"]) for r in rows if r["sender"] == "+4915100043"]
        self.assertNotEqual(same[0], same[1])

    def test_a_concatenated_message_with_a_part_missing_is_kept(self):
        for part in (3, 1):  # out of order, part 2 never comes
            self.phone.store(part, {"sender": "+4915100005", "text": PARTS[part - 1], "header": f"0500037103{part:02X}"})
        self.once()
        view = self.db.query("SELECT text, parts, complete FROM inbox_messages")
        self.assertEqual([(r["text"], r["parts"], bool(r["complete"])) for r in view], [(PARTS[0] + PARTS[2], 2, False)])
        self.assertEqual(self.phone.stored_texts(), [])
        # The missing part comes later and completes it.
        self.phone.store(2, {"sender": "+4915100005", "text": PARTS[1], "header": "050003710302"})
        self.once()
        view = self.db.query("SELECT text, parts, complete FROM inbox_messages")
        self.assertEqual([(r["text"], r["parts"], bool(r["complete"])) for r in view], [("".join(PARTS), 3, True)])

    def test_a_time_stamp_no_calendar_has_does_not_keep_a_message_out(self):
        self.phone.store(1, {"sender": "+4915100006", "text": "the 30th of February", "time": [25, 2, 30, 10, 0, 0]})
        self.phone.store(2, {"sender": "+4915100006", "text": "a leap day", "time": [24, 2, 29, 10, 0, 0]})
        self.once()
        rows = {r["text"]: str(r["phone_time"]) for r in self.db.query("SELECT text, phone_time FROM inbox")}
        self.assertTrue(rows["the 30th of February"].startswith("1970-01-01"), rows)
        self.assertTrue(rows["a leap day"].startswith("2024-02-29"), rows)
        self.assertEqual(self.phone.stored_texts(), [])

    def test_a_message_stored_but_not_deleted_is_not_stored_twice(self):
        # As after a crash between the commit and the delete: the message is still on
        # the phone, and the next pass finds it again.
        self.phone.store(1, {"sender": "+4915100004", "text": "only once", "time": [25, 1, 2, 3, 4, 5]})
        self.once("--delete-received", "false")
        self.assertEqual(self.phone.stored_texts(), ["only once"])
        self.once()
        self.assertEqual(self.inbox_texts(), ["only once"])
        self.assertEqual(self.phone.stored_texts(), [])
        # The same sender and text at another time is another message.
        self.phone.store(1, {"sender": "+4915100004", "text": "only once", "time": [25, 1, 2, 3, 4, 6]})
        self.once()
        self.assertEqual(self.inbox_texts(), ["only once", "only once"])

    def test_outbox_rows_reach_the_phone_with_their_exact_text(self):
        ids = [self.inject("+4917000001", "Hello from the outbox"), self.inject("+4917000002", UCS2_TEXT),
               self.inject("+4917000003", LONG_TEXT, "--class", "1")]
        self.once()
        self.assertEqual(sorted(self.phone.sent_texts()), sorted(["Hello from the outbox", UCS2_TEXT, LONG_TEXT]))
        submitted = self.phone.sent()
        self.assertEqual(len(submitted), 5)  # 1 + 1 + 3 parts
        self.assertEqual({m["destination"] for m in submitted if "concat" in m}, {"+4917000003"})
        outbox = self.db.query("SELECT id, status, attempts FROM outbox ORDER BY id")
        self.assertEqual([(r["id"], r["status"], r["attempts"]) for r in outbox], [(i, "sent", 0) for i in ids])
        sent = self.db.query("SELECT outbox_id, parts, result FROM sent ORDER BY outbox_id")
        self.assertEqual([(r["outbox_id"], r["parts"], r["result"]) for r in sent],
                         [(ids[0], 1, 0), (ids[1], 1, 0), (ids[2], 3, 0)])
        # Nothing is left to send: another pass sends nothing again.
        self.once()
        self.assertEqual(len(self.phone.sent()), 5)

    def test_priority_first_and_nothing_before_its_time(self):
        self.inject("+4917000020", "low")
        self.inject("+4917000021", "high", "--priority", "5")
        later = self.inject("+4917000022", "later")
        self.db.execute(f"UPDATE outbox SET not_before = {self.db_now_plus(3600)} WHERE id = {later}")
        self.once()
        self.assertEqual([m["text"] for m in self.phone.sent()], ["high", "low"])
        self.assertEqual(self.db.query(f"SELECT status FROM outbox WHERE id = {later}"), [{"status": "queued"}])

    def test_a_row_left_sending_by_a_crash_is_not_sent_again_unless_asked(self):
        phone_id = self.phone.device[len("/dev/"):].replace("/", "")
        self.once()  # the schema
        for text, claimed_by in [("mine", phone_id), ("mine too", phone_id), ("for another phone", "elsewhere")]:
            self.db.execute("INSERT INTO outbox (destination, text, status, claimed_by) "
                            f"VALUES ('+4917000030', '{text}', 'sending', '{claimed_by}')")
        self.once()
        rows = {r["text"]: r["status"] for r in self.db.query("SELECT text, status FROM outbox")}
        self.assertEqual(rows, {"mine": "unknown", "mine too": "unknown", "for another phone": "sending"})
        self.assertEqual(self.phone.sent(), [])
        # Requeued by hand, or found sending with resend_unknown: sent.
        self.db.execute("UPDATE outbox SET status = 'queued' WHERE text = 'mine'")
        self.db.execute("UPDATE outbox SET status = 'sending' WHERE text = 'mine too'")
        self.once("--resend-unknown", "true")
        self.assertEqual(sorted(m["text"] for m in self.phone.sent()), ["mine", "mine too"])

    def test_a_refused_send_is_retried_and_then_succeeds(self):
        self.phone.control("sms fail-next")
        row = self.inject("+4917000004", "second time lucky")
        self.once("--retry-backoff", "1")
        first = self.db.query(f"SELECT status, attempts, last_result FROM outbox WHERE id = {row}")[0]
        self.assertEqual((first["status"], first["attempts"], first["last_result"]), ("queued", 1, 19))
        self.assertEqual(self.phone.sent_texts(), [])
        # Not before its backoff has passed.
        self.once("--retry-backoff", "1")
        time.sleep(1.5)
        self.once("--retry-backoff", "1")
        self.assertEqual(self.phone.sent_texts(), ["second time lucky"])
        outcomes = [m["outcome"] for m in self.phone.state()["sms"]["sent"]]
        self.assertEqual(outcomes, ["refused", "sent"])
        done = self.db.query(f"SELECT status, attempts FROM outbox WHERE id = {row}")[0]
        self.assertEqual((done["status"], done["attempts"]), ("sent", 1))

    def test_refusals_use_up_the_attempts(self):
        row = self.inject("+4917000005", "never")
        for attempt in range(2):
            if attempt:
                time.sleep(1.2)
            self.phone.control("sms fail-next")
            self.once("--retry-backoff", "1", "--max-attempts", "2")
        self.assertEqual(self.db.query(f"SELECT status, attempts FROM outbox WHERE id = {row}"),
                         [{"status": "failed", "attempts": 2}])
        time.sleep(1.2)
        self.once("--retry-backoff", "1", "--max-attempts", "2")
        self.assertEqual([m["outcome"] for m in self.phone.state()["sms"]["sent"]], ["refused", "refused"])

    def test_a_silent_phone_delays_but_loses_nothing(self):
        daemon = self.start("--poll-interval", "0.5", "--retry-backoff", "1")
        wait_for(lambda: self.db.query("SELECT id FROM phones"), 20, "the first heartbeat")
        self.phone.control("silent on")
        time.sleep(2.5)  # the link is seen down
        self.phone.deliver("+4915100010", "sent while silent")
        row = self.inject("+4917000010", "queued while silent")
        time.sleep(2)
        self.assertEqual(self.inbox_texts(), [])
        self.phone.control("silent off")
        wait_for(lambda: self.inbox_texts() == ["sent while silent"], 40, "the message in the inbox")
        wait_for(lambda: self.db.query(f"SELECT 1 FROM outbox WHERE id = {row} AND status = 'sent'"), 40,
                 "the outbox row sent")
        self.assertEqual(self.phone.sent_texts(), ["queued while silent"])
        self.assertEqual(self.phone.stored_texts(), [])
        self.assertEqual(daemon.stop(), 0)

    def test_arrivals_are_picked_up_at_once_and_the_daemon_stops_on_sigterm(self):
        hook_out = os.path.join(self.dir.name, "hook.txt")
        daemon = self.start("--poll-interval", "60", "--run-on-receive",
                            f'printf "%s|%s|%s\\n" "$SMS_ID" "$SMS_SENDER" "$SMS_TEXT" >> {hook_out}')
        wait_for(lambda: self.db.query("SELECT id FROM phones"), 20, "the first heartbeat")
        self.phone.deliver("+4915100020", "arrives between polls")
        wait_for(lambda: self.inbox_texts() == ["arrives between polls"], 20, "the arrival picked up")
        row = self.db.query("SELECT id FROM inbox")[0]["id"]
        wait_for(lambda: os.path.exists(hook_out), 10, "the run-on-receive command")
        with open(hook_out) as f:
            self.assertEqual(f.read(), f"{row}|+4915100020|arrives between polls\n")
        start = time.monotonic()
        self.assertEqual(daemon.stop(), 0)
        self.assertLess(time.monotonic() - start, 10)
        self.assertIn("stopped", daemon.output())

    def test_status_shows_the_heartbeat(self):
        self.once()
        result = smsd("--database", self.db.url, "status")
        self.assertEqual(result.returncode, 0, result.stderr)
        phone_id = self.phone.device[len("/dev/"):].replace("/", "")
        line = next(l for l in result.stdout.splitlines() if l.startswith(phone_id))
        imei = self.phone.state()["identity"]["imei"]
        self.assertIn(imei, line)
        self.assertRegex(line, r" \d+% +\d+% ", "signal and battery as percentages of the four bars")
        self.assertIn("outbox: 0 queued", result.stdout)

    def test_kill_9_at_random_points_loses_and_repeats_nothing(self):
        rng = random.Random(1717)
        delivered, queued = [], []
        for round_ in range(20):
            daemon = self.start("--poll-interval", "0.3", "--retry-backoff", "0")
            for k in range(2):
                text = f"in {round_}.{k}"
                self.phone.deliver(f"+49151{round_:03d}{k}", text)
                delivered.append(text)
            for k in range(2):
                text = f"out {round_}.{k}" + (" " + LONG_TEXT if k == 1 and round_ % 5 == 0 else "")
                queued.append((self.inject(f"+49170{round_:03d}{k}", text), text))
            time.sleep(rng.uniform(0.05, 1.2))
            daemon.kill()
        daemon = self.start("--poll-interval", "0.3")

        def settled():
            open_rows = self.db.query("SELECT 1 FROM outbox WHERE status IN ('queued', 'sending')")
            return len(self.inbox_texts()) >= len(delivered) and not open_rows and not self.phone.stored_texts()

        wait_for(settled, 90, "every message stored and every row done")
        self.assertEqual(daemon.stop(), 0)
        self.assertEqual(collections.Counter(self.inbox_texts()), collections.Counter(delivered))
        sent_by_phone = collections.Counter(self.phone.sent_texts())
        self.assertTrue(all(n == 1 for n in sent_by_phone.values()), sent_by_phone)
        parts = collections.Counter((m["destination"], m.get("concat", {}).get("part")) for m in self.phone.sent())
        self.assertTrue(all(n == 1 for n in parts.values()), parts)  # no part twice either
        status = {r["id"]: r["status"] for r in self.db.query("SELECT id, status FROM outbox")}
        for row, text in queued:
            if status[row] == "sent":
                self.assertEqual(sent_by_phone[text], 1, text)
            else:  # cut off while sending: at most once, never twice
                self.assertEqual(status[row], "unknown", text)
        counts = collections.Counter(status.values())
        print(f"\nkill -9 x20: {len(delivered)} received, outbox {dict(counts)}", file=sys.stderr)
        self.assertGreater(counts["sent"], len(queued) // 2)
        self.assertEqual(len(self.db.query("SELECT outbox_id FROM sent")),
                         sum(1 for s in status.values() if s == "sent"))


class SqliteGateway(GatewayChecks, unittest.TestCase):


    def make_db(self):
        return SqliteDb(self.dir.name)

    @staticmethod
    def db_now_plus(seconds):
        return f"datetime('now', '+{seconds} seconds')"

    def test_a_database_of_a_newer_schema_is_refused(self):
        self.once()
        self.assertEqual(self.db.query("SELECT version FROM schema_version"), [{"version": 4}])
        self.db.execute("UPDATE schema_version SET version = 99")
        result = smsd("--database", self.db.url, "status")
        self.assertEqual(result.returncode, 1)
        self.assertIn("schema version 99", result.stderr)

    def test_configuration_file_and_its_mistakes(self):
        conf = os.path.join(self.dir.name, "smsd.conf")
        with open(conf, "w") as f:
            f.write(f"[phone]\nport = {self.phone.device}\nid = office\n[database]\nurl = {self.db.url}\n"
                    "[daemon]\npoll_interval = 2\ndelete_received = no\n")
        self.phone.deliver("+4915100030", "configured")
        result = smsd("--config", conf, "--once")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(self.db.query("SELECT phone_id, text FROM inbox"), [{"phone_id": "office", "text": "configured"}])
        self.assertEqual(self.phone.stored_texts(), ["configured"])  # delete_received = no
        # A flag wins over the file.
        self.assertEqual(smsd("--config", conf, "--once", "--delete-received", "true").returncode, 0)
        self.assertEqual(self.phone.stored_texts(), [])
        for bad, word in [("[daemon]\npoll_intervall = 3\n", "unknown setting poll_intervall"),
                          ("[daemon]\ndelete_received = perhaps\n", "true or false"),
                          ("[outbox]\nmax_attempts = 0\n", "max_attempts"),
                          ("[phone]\nconnection = bluetooth\n", "cable or infrared")]:
            with open(conf, "w") as f:
                f.write(bad)
            result = smsd("--config", conf, "status")
            self.assertEqual(result.returncode, 2, bad)
            self.assertIn(word, result.stderr)
        # A file given that cannot be read is refused with its reason, a folder too; the
        # daemon never goes on with the defaults.
        missing = os.path.join(self.dir.name, "missing.conf")
        for path, reason in [(missing, "No such file or directory"), (self.dir.name, "it is a folder, not a file"),
                             (os.path.join(conf, "x"), "Not a directory")]:
            result = smsd("--config", path, "--once")
            self.assertEqual(result.returncode, 2, path)
            self.assertIn(f"cannot read {path}: {reason}", result.stderr)
        if os.geteuid() != 0:  # root reads any file
            os.chmod(conf, 0)
            result = smsd("--config", conf, "status")
            self.assertEqual(result.returncode, 2)
            self.assertIn("Permission denied", result.stderr)

NO_POSTGRES = why_no_postgres()


@unittest.skipIf(NO_POSTGRES, NO_POSTGRES or "")
class PostgresGateway(OnPostgres, GatewayChecks, unittest.TestCase):

    @staticmethod
    def db_now_plus(seconds):
        return f"now() + interval '{seconds} seconds'"

    def test_two_daemons_on_two_phones_share_one_outbox(self):
        other = Phone()
        try:
            # The schema first, then 200 rows in one statement.
            self.once("--phone-id", "left")
            self.db.execute("INSERT INTO outbox (destination, text) "
                            "SELECT '+4917' || lpad(i::text, 6, '0'), 'shared ' || i FROM generate_series(1, 200) i")
            first = self.start("--poll-interval", "0.5", "--phone-id", "left")
            second = self.start("--poll-interval", "0.5", "--phone-id", "right", phone=other)
            wait_for(lambda: not self.db.query("SELECT 1 FROM outbox WHERE status <> 'sent'"), 150,
                     "all 200 rows sent", interval=1)
            self.assertEqual(first.stop(), 0)
            self.assertEqual(second.stop(), 0)
            left, right = self.phone.sent_texts(), other.sent_texts()
            self.assertEqual(collections.Counter(left + right),
                             collections.Counter(f"shared {i}" for i in range(1, 201)))
            self.assertGreater(len(left), 0)
            self.assertGreater(len(right), 0)
            by_phone = {r["phone_id"]: r["n"] for r in
                        self.db.query("SELECT phone_id, count(*) AS n FROM sent GROUP BY phone_id")}
            self.assertEqual(by_phone, {"left": len(left), "right": len(right)})
            self.assertEqual(self.db.query("SELECT count(DISTINCT outbox_id) AS n FROM sent"), [{"n": 200}])
            heartbeats = self.db.query("SELECT id, imei FROM phones ORDER BY id")
            self.assertEqual([r["id"] for r in heartbeats], ["left", "right"])
        finally:
            other.close()


if __name__ == "__main__":
    unittest.main()
