"""pelkor-smsd and its database when things are not as they should be: equal messages,
an older schema, outbox rows no phone can send, a bad `inject`, a user who may only read
the database, another program's lock, a umask that would make files readable by others.
With SQLite and with PostgreSQL (a throwaway cluster; skipped when it is not installed)."""
import os
import shutil
import stat
import subprocess
import threading
import time
import unittest

from smsd_harness import (Daemon, OnPostgres, Phone, PhoneAndDatabase, SqliteDb, smsd, wait_for,
                          why_no_postgres)

NO_DATE = [0, 0, 0, 0, 0, 0]  # a phone with no valid date: stored as 1970-01-01
SAME_TIME = [25, 5, 6, 7, 8, 9]

# The inbox of schema version 1, as the daemon of that version made it; the other tables
# are the same in both versions.
SQLITE_V1_INBOX = """CREATE TABLE inbox (
  id INTEGER PRIMARY KEY AUTOINCREMENT,
  phone_id TEXT NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL, coding TEXT, class INTEGER,
  phone_time TEXT NOT NULL, received_at TEXT NOT NULL DEFAULT (datetime('now')),
  concat_reference INTEGER, concat_part INTEGER, concat_total INTEGER, pdu BLOB,
  text_hash TEXT NOT NULL, part_key INTEGER NOT NULL DEFAULT 0,
  UNIQUE (phone_id, sender, phone_time, text_hash, part_key))"""
POSTGRES_V1_INBOX = """CREATE TABLE inbox (
  id BIGSERIAL PRIMARY KEY,
  phone_id TEXT NOT NULL, sender TEXT NOT NULL, text TEXT NOT NULL, coding TEXT, class INTEGER,
  phone_time TIMESTAMP NOT NULL, received_at TIMESTAMPTZ NOT NULL DEFAULT now(),
  concat_reference INTEGER, concat_part INTEGER, concat_total INTEGER, pdu BYTEA,
  text_hash TEXT NOT NULL, part_key INTEGER NOT NULL DEFAULT 0,
  UNIQUE (phone_id, sender, phone_time, text_hash, part_key))"""
# What version 3 added; dropped, they leave the schema of version 2.
# What versions 3 and 4 added, dropped to make a version 2 database of the current one.
V3_VIEWS = ["outbox_messages", "unmatched_reports"]
V3_TABLES = ["reports", "sent_parts", "webhook_deliveries", "webhooks", "idempotency_keys", "sessions", "users",
             "api_tokens"]
V3_OUTBOX_COLUMNS = ["delivery", "delivery_part", "delivery_error", "delivery_at", "dlr_url", "dlr_mask",
                     "validity_minutes", "coding"]
V1_VIEW = """CREATE VIEW inbox_messages AS
  SELECT id, phone_id, sender, text, phone_time, received_at FROM inbox WHERE concat_reference IS NULL"""


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


class StoreTrustChecks(PhoneAndDatabase):
    """The store when things are not as they should be, run against each database."""

    def inbox(self):
        return [(r["sender"], r["text"]) for r in self.db.query("SELECT sender, text FROM inbox ORDER BY id")]

    def test_equal_messages_are_each_stored_and_only_a_re_read_is_not(self):
        # Two real messages each: same sender, text and time stamp, at two locations;
        # the stamp of a phone with no valid date, and a valid one.
        self.phone.store(2, {"sender": "+4915100001", "text": "OK", "time": NO_DATE})
        self.phone.store(3, {"sender": "+4915100001", "text": "OK", "time": NO_DATE})
        self.phone.store(4, {"sender": "+4915100002", "text": "same", "time": SAME_TIME})
        self.phone.store(5, {"sender": "+4915100002", "text": "same", "time": SAME_TIME})
        self.once()
        self.assertEqual(sorted(self.inbox()), [("+4915100001", "OK")] * 2 + [("+4915100002", "same")] * 2)
        self.assertEqual(self.phone.stored_texts(), [])
        # Another "OK" later, at a location a delete has freed, is a new message too.
        for _ in range(2):
            self.phone.store(2, {"sender": "+4915100001", "text": "OK", "time": NO_DATE})
            self.once()
        self.assertEqual(self.inbox().count(("+4915100001", "OK")), 4)
        self.assertEqual(self.phone.stored_texts(), [])
        # A message read again while still on the phone (a crash between the commit and
        # the delete) is the same message: stored once, and deleted then.
        self.phone.store(6, {"sender": "+4915100001", "text": "OK", "time": NO_DATE})
        self.once("--delete-received", "false")
        self.once("--delete-received", "false")
        self.assertEqual(self.inbox().count(("+4915100001", "OK")), 5)
        self.assertEqual(self.phone.stored_texts(), ["OK"])
        self.once()
        self.assertEqual(self.inbox().count(("+4915100001", "OK")), 5)
        self.assertEqual(self.phone.stored_texts(), [])

    def test_a_version_1_database_is_migrated_keeping_its_rows(self):
        self.create_version_1()
        before = self.db.query("SELECT id, phone_id, sender, text, text_hash FROM inbox ORDER BY id")
        self.phone.store(1, {"sender": "+4915100009", "text": "again", "time": NO_DATE})
        self.phone.store(2, {"sender": "+4915100009", "text": "again", "time": NO_DATE})
        self.once()
        self.assertEqual(self.db.query("SELECT version FROM schema_version"), [{"version": 4}])
        after = self.db.query("SELECT id, phone_id, sender, text, text_hash FROM inbox ORDER BY id")
        self.assertEqual(after[:len(before)], before)
        new = after[len(before):]
        self.assertEqual([(r["sender"], r["text"]) for r in new], [("+4915100009", "again")] * 2)
        self.assertTrue(all(r["id"] > self.V1_LAST_ID for r in new), new)  # the id sequence goes on
        self.assertEqual(self.phone.stored_texts(), [])
        self.assertEqual([r["text"] for r in self.db.query("SELECT text FROM outbox")], ["queued before"])
        self.assertEqual(len(self.db.query("SELECT text FROM inbox_messages")), 4)
        self.check_application_extras(new)
        # A second start finds it current and changes nothing.
        self.once()
        self.assertEqual(self.db.query("SELECT version FROM schema_version"), [{"version": 4}])

    def test_a_version_2_database_is_migrated_keeping_its_rows(self):
        self.phone.control("set /network/report_delay_ms 3600000")  # no report during the test
        self.create_version_2()
        for sql in ["INSERT INTO outbox (destination, text, status) VALUES ('+4917000008', 'sent before', 'sent')",
                    "INSERT INTO sent (outbox_id, phone_id, parts, result) "
                    "SELECT id, 'old', 1, 0 FROM outbox WHERE text = 'sent before'",
                    "INSERT INTO outbox (destination, text, status_report) VALUES ('+4917000009', 'queued', '1')",
                    "INSERT INTO inbox (phone_id, sender, text, phone_time, text_hash) "
                    "VALUES ('old', '+491', 'kept', '2024-01-01 10:00:00', 'h1')"]:
            self.db.execute(sql)
        self.once()
        self.assertEqual(self.db.query("SELECT version FROM schema_version"), [{"version": 4}])
        self.assertEqual([r["text"] for r in self.db.query("SELECT text FROM inbox")], ["kept"])
        rows = self.db.query("SELECT text, status, delivery FROM outbox_messages ORDER BY id")
        self.assertEqual([(r["text"], r["status"], r["delivery"]) for r in rows],
                         [("sent before", "sent", "none"), ("queued", "sent", "pending")])
        sent = self.db.query("SELECT phone_id, message_references FROM sent ORDER BY id")
        [reference] = [m["message_reference"] for m in self.phone.sent()]
        self.assertEqual([(r["phone_id"], r["message_references"]) for r in sent],
                         [("old", None), (self.db.query("SELECT id FROM phones")[0]["id"], str(reference))])
        self.assertEqual([(p["reference"], p["status"]) for p in self.db.query("SELECT * FROM sent_parts")],
                         [(reference, "awaiting")])

    def test_rows_no_phone_can_send_fail_at_once_with_their_reason(self):
        self.once()  # the schema
        bad = self.unsendable_rows() + [
            ("'+49 170; rm -rf /'", "'shell line'", "destination has characters a number cannot have"),
            ("'not-a-number!'", "'hello'", "destination has characters a number cannot have"),
            ("''", "'to nobody'", "destination is empty"),
            ("'+'", "'no digits'", "destination has no digits"),
            ("'+" + "1" * 21 + "'", "'too long'", "destination has more than 20 digits"),
        ]
        for destination, text, _ in bad:
            self.db.execute(f"INSERT INTO outbox (destination, text) VALUES ({destination}, {text})")
        self.db.execute("INSERT INTO outbox (destination, text) VALUES ('+4917000001', 'fine')")
        self.once("--retry-backoff", "0")
        rows = self.db.query("SELECT status, attempts, last_result, last_error FROM outbox ORDER BY id")
        for (destination, text, reason), row in zip(bad, rows):
            self.assertEqual((row["status"], row["last_error"]), ("failed", reason), (destination, text))
            self.assertEqual((row["last_result"], row["attempts"]), (22, 0))  # no attempt made
        self.assertEqual(rows[-1]["status"], "sent")
        self.assertEqual(self.phone.sent_texts(), ["fine"])
        self.assertEqual(len(self.phone.state()["sms"].get("sent", [])), 1)  # nothing else reached the phone

    def test_inject_refuses_what_no_phone_can_send(self):
        self.once()
        for number, text, reason in [("not-a-number!", "hello", "characters a number cannot have"),
                                     ("+49 170; rm -rf /", "hello", "characters a number cannot have"),
                                     ("+4917000001", b"\xff\xfe", "not UTF-8"),
                                     ("+4917000001", "x" * (153 * 256), "more than 255 parts")]:
            result = subprocess.run([os.environ.get("SMSD", "pelkor-smsd"), "--database", self.db.url, "inject",
                                     number, text], capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 2, (number, result.stderr))
            self.assertIn(reason, result.stderr.decode(), number)
        self.assertEqual(self.db.query("SELECT id FROM outbox"), [])
        result = smsd("--database", self.db.url, "inject", "+4917000001", "a fine one")
        self.assertEqual(result.returncode, 0, result.stderr)

    def test_status_and_inject_wait_for_another_programs_lock(self):
        self.once()
        release = self.hold_write_lock()
        try:
            start = time.monotonic()
            status = smsd("--database", self.db.url, "status")
            status_time = time.monotonic() - start
            start = time.monotonic()
            inject = smsd("--database", self.db.url, "inject", "+4917000002", "after the lock")
            inject_time = time.monotonic() - start
        finally:
            release()
        self.assertEqual(status.returncode, 0, status.stderr)
        self.assertIn("outbox:", status.stdout)
        self.check_status_time(status_time)
        self.assertEqual(inject.returncode, 0, inject.stderr)
        self.assertGreater(inject_time, 1.0, "inject waited for the lock")
        self.assertEqual([r["text"] for r in self.db.query("SELECT text FROM outbox")], ["after the lock"])


class SqliteStoreTrust(StoreTrustChecks, unittest.TestCase):
    V1_LAST_ID = 3

    def make_db(self):
        return SqliteDb(self.dir.name)

    def create_version_2(self):
        # The version 2 schema as the earlier daemon made it.
        self.once()
        for view in V3_VIEWS:
            self.db.execute(f"DROP VIEW {view}")
        for table in V3_TABLES:
            self.db.execute(f"DROP TABLE {table}")
        for column in V3_OUTBOX_COLUMNS:
            self.db.execute(f"ALTER TABLE outbox DROP COLUMN {column}")
        self.db.execute("UPDATE schema_version SET version = 2")

    def create_version_1(self):
        # The version 1 schema as the earlier daemon made it, with rows of its own.
        self.create_version_2()
        self.db.execute("DROP VIEW inbox_messages")
        self.db.execute("DROP TABLE inbox")
        self.db.execute(SQLITE_V1_INBOX)
        self.db.execute(V1_VIEW)
        for sql in ["UPDATE schema_version SET version = 1",
                    "INSERT INTO inbox (phone_id, sender, text, phone_time, text_hash) "
                    "VALUES ('old', '+491', 'kept', '2024-01-01 10:00:00', 'h1')",
                    "INSERT INTO inbox (phone_id, sender, text, phone_time, text_hash) "
                    "VALUES ('old', '+492', 'kept too', '1970-01-01 00:00:00', 'h2')",
                    "INSERT INTO outbox (destination, text) VALUES ('+4917000009', 'queued before')"]:
            self.db.execute(sql)
        # The last of the old ids was deleted: it is not given out again.
        self.db.execute("INSERT INTO inbox (phone_id, sender, text, phone_time, text_hash) "
                        "VALUES ('old', '+493', 'gone', '2024-01-01 10:00:00', 'h3')")
        self.db.execute("DELETE FROM inbox WHERE text = 'gone'")
        # What an application added to the inbox stays.
        self.db.execute("CREATE VIEW app_view AS SELECT sender, text FROM inbox")
        self.db.execute("CREATE INDEX app_index ON inbox (sender)")
        self.db.execute("CREATE TABLE app_log (inbox_id INTEGER)")
        self.db.execute("CREATE TRIGGER app_trigger AFTER INSERT ON inbox BEGIN "
                        "INSERT INTO app_log VALUES (new.id); END")

    def check_application_extras(self, new_rows):
        self.assertEqual(len(self.db.query("SELECT * FROM app_view")), 2 + len(new_rows))
        self.assertEqual(self.db.query("SELECT name FROM sqlite_master WHERE name IN ('app_index', 'app_trigger') "
                                       "ORDER BY name"), [{"name": "app_index"}, {"name": "app_trigger"}])
        self.assertEqual([r["inbox_id"] for r in self.db.query("SELECT inbox_id FROM app_log ORDER BY inbox_id")],
                         [r["id"] for r in new_rows])

    def unsendable_rows(self):
        # SQLite keeps what it is given: a NUL inside a text or a number, bytes that are
        # not UTF-8. None of it may go out cut short or be tried again.
        return [("'+4917000003'", "'emb' || char(0) || 'edded'",
                 "the text has a NUL character, which a message cannot carry"),
                ("'+4917000003' || char(0) || '99'", "'cut number'",
                 "destination has characters a number cannot have"),
                ("'+4917000003'", "CAST(x'48ff49' AS TEXT)", "the text is not UTF-8")]

    def hold_write_lock(self):
        # Another program takes the write lock and keeps it for 2.5 s.
        script = ("import sqlite3, sys, time\n"
                  "db = sqlite3.connect(sys.argv[1], isolation_level=None)\n"
                  "db.execute('BEGIN IMMEDIATE')\n"
                  "db.execute(\"UPDATE phones SET model = model\")\n"
                  "print('locked', flush=True)\n"
                  "time.sleep(2.5)\n"
                  "db.execute('COMMIT')\n")
        holder = subprocess.Popen(["python3", "-c", script, self.db.path], stdout=subprocess.PIPE, text=True)
        self.assertEqual(holder.stdout.readline().strip(), "locked")
        holder.stdout.close()
        return lambda: holder.wait(timeout=30)

    def check_status_time(self, seconds):
        # A reader of a WAL database does not wait for a writer at all.
        self.assertLess(seconds, 1.5)

    def test_the_database_and_its_directories_are_nobody_elses(self):
        old = os.umask(0o022)
        try:
            path = os.path.join(self.dir.name, "new", "deeper", "sms.db")
            daemon = Daemon(self.phone, "sqlite://" + path, "--poll-interval", "0.5", log_dir=self.dir.name)
            self.daemons.append(daemon)
            wait_for(lambda: os.path.exists(path + "-shm") and os.path.exists(path + "-wal"), 20, "the WAL files")
            # The WAL files take the database's mode.
            self.assertEqual((mode(path + "-wal"), mode(path + "-shm")), (0o600, 0o600))
            self.assertEqual(daemon.stop(), 0)
            inject = smsd("--database", os.path.join(self.dir.name, "other", "sms.db"), "inject", "+491", "x")
            self.assertEqual(inject.returncode, 0, inject.stderr)
        finally:
            os.umask(old)
        self.assertEqual(mode(os.path.join(self.dir.name, "new")), 0o700)
        self.assertEqual(mode(os.path.dirname(path)), 0o700)
        self.assertEqual(mode(path), 0o600)
        self.assertEqual(mode(os.path.join(self.dir.name, "other")), 0o700)
        self.assertEqual(mode(os.path.join(self.dir.name, "other", "sms.db")), 0o600)

    @unittest.skipIf(os.geteuid() != 0 or shutil.which("runuser") is None,
                     "reading as another user needs root and runuser")
    def test_status_reads_a_database_the_user_may_only_read(self):
        self.once()
        self.db.execute("INSERT INTO outbox (destination, text, status) VALUES ('+491', 'x', 'failed')")
        for d in (self.dir.name, os.path.dirname(self.db.path)):
            os.chmod(d, 0o755)
        for name in os.listdir(os.path.dirname(self.db.path)):  # the database, and its -wal/-shm if there
            os.chmod(os.path.join(os.path.dirname(self.db.path), name), 0o644)
        with open(self.db.path, "rb") as f:
            before = f.read()

        def status_as_nobody():
            return subprocess.run(["runuser", "-u", "nobody", "--", os.environ.get("SMSD", "pelkor-smsd"),
                                   "--database", self.db.url, "status"], capture_output=True, text=True, timeout=60)

        # Whatever WAL files the writers left; nobody may create them.
        result = status_as_nobody()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("1 failed", result.stdout)
        with open(self.db.path, "rb") as f:
            self.assertEqual(f.read(), before, "status wrote to the database")
        # No -wal, no -shm (a daemon stopped cleanly).
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.5", log_dir=self.dir.name)
        self.daemons.append(daemon)
        wait_for(lambda: "answered" in daemon.output(), 20, "the daemon running")
        self.assertEqual(daemon.stop(), 0)
        self.assertEqual(os.listdir(os.path.dirname(self.db.path)), ["sms.db"])
        result = status_as_nobody()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("1 failed", result.stdout)
        # With a daemon running (its -wal and -shm there, with the database's mode).
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.5", log_dir=self.dir.name)
        self.daemons.append(daemon)
        wait_for(lambda: os.path.exists(self.db.path + "-shm"), 20, "the WAL files")
        result = status_as_nobody()
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("1 failed", result.stdout)
        self.assertEqual(daemon.stop(), 0)


NO_POSTGRES = why_no_postgres()


@unittest.skipIf(NO_POSTGRES, NO_POSTGRES or "")
class PostgresStoreTrust(OnPostgres, StoreTrustChecks, unittest.TestCase):
    V1_LAST_ID = 2

    def create_version_2(self):
        self.once()
        self.db.execute("".join(f"DROP VIEW {v}; " for v in V3_VIEWS) + "".join(f"DROP TABLE {t}; " for t in V3_TABLES)
                        + "ALTER TABLE outbox " + ", ".join(f"DROP COLUMN {c}" for c in V3_OUTBOX_COLUMNS) + "; "
                        "UPDATE schema_version SET version = 2")

    def create_version_1(self):
        self.create_version_2()
        self.db.execute("DROP VIEW inbox_messages; DROP TABLE inbox; " + POSTGRES_V1_INBOX + "; " + V1_VIEW + "; "
                        "UPDATE schema_version SET version = 1; "
                        "INSERT INTO inbox (phone_id, sender, text, phone_time, text_hash) VALUES "
                        "('old', '+491', 'kept', '2024-01-01 10:00:00', 'h1'), "
                        "('old', '+492', 'kept too', '1970-01-01 00:00:00', 'h2'); "
                        "INSERT INTO outbox (destination, text) VALUES ('+4917000009', 'queued before')")

    def check_application_extras(self, new_rows):
        pass  # the table is changed in place

    def unsendable_rows(self):
        # PostgreSQL's text holds no NUL and only valid UTF-8 (the cluster is UTF8): what
        # is left are the numbers.
        return []

    def hold_write_lock(self, seconds=2.5):
        holder = subprocess.Popen(["psql", "-h", self.cluster.dir, "-p", str(self.cluster.port), "-U", "postgres",
                                   "-d", self.db.name, "-qAt", "-c",
                                   "BEGIN; LOCK TABLE outbox IN EXCLUSIVE MODE; "
                                   f"SELECT 'locked'; SELECT pg_sleep({seconds}); COMMIT;"],
                                  stdout=subprocess.DEVNULL)
        wait_for(lambda: self.db.query("SELECT 1 FROM pg_locks l JOIN pg_class c ON c.oid = l.relation "
                                       "WHERE c.relname = 'outbox' AND l.mode = 'ExclusiveLock' AND l.granted"),
                 20, "the lock taken")
        return lambda: holder.wait(timeout=60)

    def check_status_time(self, seconds):
        # Counting the outbox waits for the lock (EXCLUSIVE lets reads in; so it is quick).
        self.assertLess(seconds, 10)

    def test_inject_gives_up_on_a_lock_held_too_long(self):
        self.once()
        release = self.hold_write_lock(seconds=14)
        try:
            start = time.monotonic()
            inject = smsd("--database", self.db.url, "inject", "+4917000002", "never queued")
            waited = time.monotonic() - start
        finally:
            release()
        self.assertEqual(inject.returncode, 1, inject.stdout)
        self.assertIn("lock timeout", inject.stderr)
        self.assertGreater(waited, 8)
        self.assertLess(waited, 13)
        self.assertEqual(self.db.query("SELECT id FROM outbox"), [])

    def test_status_reads_with_a_user_who_may_only_read(self):
        self.once()
        self.db.execute("INSERT INTO outbox (destination, text, status) VALUES ('+491', 'x', 'failed')")
        self.db.execute("CREATE ROLE reader LOGIN; GRANT SELECT ON ALL TABLES IN SCHEMA public TO reader")
        try:
            url = self.db.url.replace("user=postgres", "user=reader")
            result = smsd("--database", url, "status")
            self.assertEqual(result.returncode, 0, result.stderr)
            self.assertIn("1 failed", result.stdout)
        finally:
            self.db.execute(f"REVOKE ALL ON ALL TABLES IN SCHEMA public FROM reader; DROP OWNED BY reader; "
                            "DROP ROLE reader")


if __name__ == "__main__":
    unittest.main()
