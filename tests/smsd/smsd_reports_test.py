"""pelkor-smsd and delivery reports against phonesim: the reference of every sent part,
reports paired with the part they are about (or kept when they pair with nothing), each
outbox row's delivery state, expiry, the run-on-report command, and a daemon killed
between pairing a report and deleting it. With SQLite and with PostgreSQL (a throwaway
cluster; skipped when it is not installed)."""
import json
import os
import random
import time
import unittest

from smsd_harness import Daemon, OnPostgres, PhoneAndDatabase, SqliteDb, smsd, wait_for, why_no_postgres

RECIPIENT = "+4917012345"
SUBMITTED = [26, 12, 10, 9, 30, 0]
DISCHARGED = [26, 12, 10, 9, 30, 5]
LONG_TEXT = "".join(f"word{i:03d} " for i in range(50))  # 450 characters: 3 parts
DELIVERED, STILL_TRYING, INCOMPATIBLE = 0x00, 0x21, 0x41


class ReportChecks(PhoneAndDatabase):

    def setUp(self):
        super().setUp()
        self.hook_log = os.path.join(self.dir.name, "reports.log")
        self.hook = ["--run-on-report",
                     f"printf '%s %s %s %s %s\\n' \"$SMS_ID\" \"$SMS_DELIVERY\" \"$SMS_PART\" \"$SMS_STATUS\" "
                     f"\"$SMS_RECIPIENT\" >> {self.hook_log}"]
        # The network's own reports come in an hour: each test places its reports in the
        # phone's store, or sets the delay it needs.
        self.phone.control("set /network/report_delay_ms 3600000")

    def inject(self, text, number=RECIPIENT, report=True):
        result = smsd("--database", self.db.url, "inject", number, text, *(["--status-report"] if report else []))
        self.assertEqual(result.returncode, 0, result.stderr)
        return int(self.db.query("SELECT MAX(id) AS id FROM outbox")[0]["id"])

    def place_report(self, location, reference, status, recipient=RECIPIENT, submitted=SUBMITTED,
                     discharged=DISCHARGED, notify=True):
        """A status report in the phone's store, with its arrival notice unless not `notify`."""
        self.phone.store(location, {"kind": "report", "recipient": recipient, "reference": reference,
                                    "status": status, "time": submitted, "discharge_time": discharged}, notify)

    def phone_references(self):
        """The references the phone gave its confirmed submissions, in order."""
        return [m["message_reference"] for m in self.phone.sent()]

    def parts(self, outbox_id):
        return self.db.query(f"SELECT part, parts, reference, status, status_code FROM sent_parts "
                             f"WHERE outbox_id = {outbox_id} ORDER BY part")

    def delivery(self, outbox_id):
        return self.db.query(f"SELECT delivery, delivery_part, delivery_error FROM outbox WHERE id = {outbox_id}")[0]

    def phone_reports(self):
        return [m for m in self.phone.state()["sms"]["messages"] if m.get("kind") == "report"]

    def hook_lines(self):
        if not os.path.exists(self.hook_log):
            return []
        with open(self.hook_log) as f:
            return f.read().splitlines()

    def test_every_part_has_its_reference_and_a_failed_second_part_fails_the_message(self):
        long_id = self.inject(LONG_TEXT)
        single_id = self.inject("no report asked", report=False)
        self.once(*self.hook)
        references = self.phone_references()
        self.assertEqual(len(references), 4)
        self.assertEqual([(p["part"], p["parts"], p["reference"], p["status"]) for p in self.parts(long_id)],
                         [(1, 3, references[0], "awaiting"), (2, 3, references[1], "awaiting"),
                          (3, 3, references[2], "awaiting")])
        self.assertEqual([(p["reference"], p["status"]) for p in self.parts(single_id)], [(references[3], "none")])
        sent = {r["outbox_id"]: r["message_references"] for r in self.db.query("SELECT * FROM sent")}
        self.assertEqual(sent, {long_id: ",".join(map(str, references[:3])), single_id: str(references[3])})
        self.assertEqual(self.delivery(long_id)["delivery"], "pending")
        self.assertEqual(self.delivery(single_id)["delivery"], "none")
        # Parts 1 and 3 delivered, part 2 refused by the recipient's side.
        self.place_report(1, references[0], DELIVERED)
        self.place_report(2, references[1], INCOMPATIBLE)
        self.place_report(3, references[2], DELIVERED)
        self.once(*self.hook)
        self.assertEqual([(p["status"], p["status_code"]) for p in self.parts(long_id)],
                         [("delivered", 0), ("failed", INCOMPATIBLE), ("delivered", 0)])
        d = self.delivery(long_id)
        self.assertEqual((d["delivery"], d["delivery_part"]), ("failed", 2))
        self.assertIn("incompatible destination (status 0x41)", d["delivery_error"])
        self.assertEqual(self.hook_lines(), [f"{long_id} failed 2 65 {RECIPIENT}"])
        view = self.db.query(f"SELECT * FROM outbox_messages WHERE id = {long_id}")[0]
        self.assertEqual((view["part_states"], view["parts"], view["parts_sent"], view["parts_delivered"]),
                         ("1:delivered 2:failed 3:delivered", 3, 3, 2))
        self.assertEqual(len(self.db.query("SELECT * FROM outbox_messages")), 2)
        paired = self.db.query("SELECT outbox_id, part FROM reports ORDER BY part")
        self.assertEqual(paired, [{"outbox_id": long_id, "part": n} for n in (1, 2, 3)])
        self.assertEqual(self.phone_reports(), [])
        self.assertEqual(self.delivery(single_id)["delivery"], "none")

    def test_pending_then_delivered_and_a_report_for_nothing(self):
        outbox_id = self.inject("one part")
        self.once(*self.hook)
        [reference] = self.phone_references()
        self.place_report(1, reference, STILL_TRYING)
        self.once(*self.hook)
        self.assertEqual([(p["status"], p["status_code"]) for p in self.parts(outbox_id)],
                         [("pending", STILL_TRYING)])
        self.assertEqual(self.delivery(outbox_id)["delivery"], "pending")
        self.assertEqual(self.hook_lines(), [])  # nothing settled yet
        later = [26, 12, 10, 9, 45, 0]
        self.place_report(1, reference, DELIVERED, discharged=later)
        # Another recipient under the same reference, and a reference nothing was sent
        # with: both kept with their fields, paired with nothing.
        self.place_report(2, reference, DELIVERED, recipient="+4917099999")
        self.place_report(3, (reference + 100) % 256, INCOMPATIBLE)
        self.phone.deliver("+4915100001", "a message among the reports")
        self.once(*self.hook)
        self.assertEqual([r["text"] for r in self.db.query("SELECT text FROM inbox")], ["a message among the reports"])
        self.assertEqual(self.phone.state()["sms"]["messages"], [])
        self.assertEqual([(p["status"], p["status_code"]) for p in self.parts(outbox_id)], [("delivered", 0)])
        self.assertEqual(self.delivery(outbox_id), {"delivery": "delivered", "delivery_part": None,
                                                    "delivery_error": None})
        self.assertEqual(self.hook_lines(), [f"{outbox_id} delivered   {RECIPIENT}"])
        unmatched = self.db.query("SELECT reference, recipient, submitted, discharged, status_code "
                                  "FROM unmatched_reports ORDER BY reference")
        expected = sorted([(reference, "+4917099999", DELIVERED), ((reference + 100) % 256, RECIPIENT, INCOMPATIBLE)])
        self.assertEqual([(u["reference"], u["recipient"], u["status_code"]) for u in unmatched], expected)
        for u in unmatched:
            self.assertEqual((str(u["submitted"])[:19].replace("T", " "), str(u["discharged"])[:19].replace("T", " ")),
                             ("2026-12-10 09:30:00", "2026-12-10 09:30:05"))
        self.assertEqual(len(self.db.query("SELECT id FROM reports")), 4)  # the pending one is kept too
        self.assertEqual(self.phone_reports(), [])
        # Read again, nothing changes.
        self.once(*self.hook)
        self.assertEqual(len(self.db.query("SELECT id FROM reports")), 4)

    def background(self, *extra):
        daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", *self.hook, *extra, log_dir=self.dir.name)
        self.daemons.append(daemon)
        return daemon

    def test_through_the_network_a_failed_second_part_and_pending_then_delivered(self):
        self.phone.control("set /network/report_delay_ms 0")
        self.phone.control("set /network/report_rules " + json.dumps([
            {"destination": RECIPIENT, "part": 2, "status": "failed"},
            {"destination": "+4917055555", "status": "pending", "then": {"status": "delivered", "after_ms": 1500}}]))
        long_id = self.inject(LONG_TEXT)
        later_id = self.inject("still trying, then there", number="+4917055555")
        self.background()
        wait_for(lambda: len(self.hook_lines()) == 2, 60, "both rows settled")
        self.assertEqual([(p["status"], p["status_code"]) for p in self.parts(long_id)],
                         [("delivered", 0), ("failed", INCOMPATIBLE), ("delivered", 0)])
        self.assertEqual((self.delivery(long_id)["delivery"], self.delivery(long_id)["delivery_part"]), ("failed", 2))
        self.assertEqual([(p["status"], p["status_code"]) for p in self.parts(later_id)], [("delivered", 0)])
        self.assertEqual(self.delivery(later_id)["delivery"], "delivered")
        self.assertEqual([r["status_code"] for r in self.db.query(
            f"SELECT status_code FROM reports WHERE outbox_id = {later_id} ORDER BY id")], [0x20, 0x00])
        self.assertEqual(sorted(self.hook_lines()), sorted([f"{long_id} failed 2 65 {RECIPIENT}",
                                                            f"{later_id} delivered   +4917055555"]))
        self.assertEqual(self.db.query("SELECT id FROM unmatched_reports"), [])
        wait_for(lambda: self.phone_reports() == [], 30, "the reports deleted from the phone")

    def test_reports_that_came_while_the_daemon_was_stopped_are_paired_at_the_next_start(self):
        self.phone.control("set /network/report_delay_ms 3000")
        self.phone.control("set /network/report_rules " + json.dumps([
            {"destination": "+4917066666", "status": 0x62}]))  # the centre gave up: no answer from the phone
        daemon = self.background()
        first, second = self.inject("first"), self.inject("second", number="+4917066666")
        wait_for(lambda: len(self.db.query("SELECT id FROM sent")) == 2, 60, "both sent")
        self.assertEqual(daemon.stop(), 0)
        self.assertEqual(self.delivery(first)["delivery"], "pending")
        wait_for(lambda: len(self.phone_reports()) == 2, 30, "both reports on the phone")
        self.background()
        wait_for(lambda: len(self.hook_lines()) == 2, 60, "both rows settled")
        self.assertEqual(self.delivery(first)["delivery"], "delivered")
        self.assertEqual(self.delivery(second)["delivery"], "failed")
        self.assertEqual(sorted(self.hook_lines()),
                         sorted([f"{first} delivered   {RECIPIENT}", f"{second} failed 1 98 +4917066666"]))
        wait_for(lambda: self.phone_reports() == [], 30, "the reports deleted from the phone")

    def test_references_wrap_and_a_reused_one_pairs_with_the_newer_part(self):
        # The phone's next reference is 250: the 300 sends use 250-255, 0-255 and 0-37,
        # and the network reports on each at once.
        self.phone.control("set /network/next_reference 250")
        self.phone.control("set /network/report_delay_ms 0")
        ids = [self.inject(f"message {i}") for i in range(300)]
        self.once()
        # The last reports may come after the pass has looked: one more pass takes them.
        wait_for(lambda: len(self.phone_reports()) + len(self.db.query("SELECT id FROM reports")) == 300, 30,
                 "the network's 300 reports")
        self.once()
        references = self.phone_references()
        self.assertEqual(references, [(250 + i) % 256 for i in range(300)])
        stored = {r["outbox_id"]: r["reference"] for r in self.db.query("SELECT outbox_id, reference FROM sent_parts")}
        self.assertEqual([stored[i] for i in ids], references)
        self.assertEqual(self.db.query("SELECT id FROM outbox WHERE delivery <> 'delivered'"), [])
        # Reports are stored in the order the passes read them, which two reports that came
        # close together need not keep: each must pair with its own row.
        paired = self.db.query("SELECT outbox_id, reference FROM reports")
        self.assertEqual(sorted((r["outbox_id"], r["reference"]) for r in paired), list(zip(ids, references)))
        # Reference 10 went to message 16 and again to message 272: a late report with it
        # pairs with the newer, which it leaves as it settled.
        self.place_report(1, 10, INCOMPATIBLE)
        self.once()
        late = self.db.query("SELECT outbox_id, part FROM reports ORDER BY id DESC LIMIT 1")[0]
        self.assertEqual((late["outbox_id"], late["part"]), (ids[272], 1))
        self.assertEqual(self.delivery(ids[272])["delivery"], "delivered")
        self.assertEqual(self.db.query("SELECT id FROM unmatched_reports"), [])

    def test_parts_without_a_final_report_in_time_expire(self):
        expiry = ["--report-expiry", "0.0005"]  # 1.8 s
        waiting, pending = self.inject("never reported"), self.inject("only still trying")
        plain = self.inject("no report asked", report=False)
        self.once(*self.hook, *expiry)
        references = self.phone_references()
        self.place_report(1, references[1], STILL_TRYING)
        self.once(*self.hook, *expiry)
        self.assertEqual(self.delivery(pending)["delivery"], "pending")
        time.sleep(2.5)
        self.once(*self.hook, *expiry)
        for outbox_id in (waiting, pending):
            d = self.delivery(outbox_id)
            self.assertEqual((d["delivery"], d["delivery_part"]), ("expired", 1))
            self.assertEqual([p["status"] for p in self.parts(outbox_id)], ["expired"])
        self.assertIn("still trying", self.delivery(pending)["delivery_error"])
        self.assertEqual(self.delivery(plain)["delivery"], "none")
        self.assertEqual([p["status"] for p in self.parts(plain)], ["none"])
        self.assertEqual(sorted(self.hook_lines()),
                         sorted([f"{waiting} expired 1  {RECIPIENT}", f"{pending} expired 1 33 {RECIPIENT}"]))
        # A report after the window pairs with nothing: the expired part stays expired.
        self.place_report(1, references[0], DELIVERED)
        self.once(*self.hook, *expiry)
        self.assertEqual(self.delivery(waiting)["delivery"], "expired")
        self.assertEqual([u["reference"] for u in self.db.query("SELECT reference FROM unmatched_reports")],
                         [references[0]])

    def test_a_report_read_again_after_its_commit_is_not_paired_twice(self):
        ids = [self.inject(f"row {i}") for i in range(21)]
        self.once()
        references = self.phone_references()
        # The commit without the delete, as a crash would leave it: read again, it is
        # the same report.
        self.place_report(1, references[0], STILL_TRYING)
        self.once("--delete-received", "false")
        self.place_report(2, references[0], DELIVERED)
        self.once("--delete-received", "false", *self.hook)
        self.once(*self.hook)
        self.assertEqual(self.hook_lines(), [f"{ids[0]} delivered   {RECIPIENT}"])
        self.assertEqual(len(self.db.query("SELECT id FROM reports")), 2)
        self.assertEqual(self.phone_reports(), [])
        # kill -9 at random points of passes over 20 reports (each a commit, then a
        # delete the phone answers at the pace of the line), until the phone has none.
        self.phone.control("pace on")
        for n in range(1, 21):
            self.place_report(n, references[n], DELIVERED, notify=False)
        rng = random.Random(2323)
        for _ in range(40):
            if not self.phone_reports():
                break
            daemon = Daemon(self.phone, self.db.url, "--poll-interval", "0.2", *self.hook, log_dir=self.dir.name)
            self.daemons.append(daemon)
            time.sleep(rng.uniform(0.3, 0.6))
            daemon.kill()
        self.once(*self.hook)
        self.assertEqual(self.phone_reports(), [])
        reports = self.db.query("SELECT outbox_id, part FROM reports ORDER BY outbox_id, id")
        self.assertEqual([(r["outbox_id"], r["part"]) for r in reports], [(ids[0], 1)] * 2 + [(i, 1) for i in ids[1:]])
        self.assertEqual(self.db.query("SELECT id FROM outbox WHERE delivery <> 'delivered'"), [])
        # Each row's command ran at most once (a killed daemon may not have run it).
        lines = self.hook_lines()
        self.assertEqual(len(lines), len(set(lines)), lines)

    def test_settings_of_reports_are_checked(self):
        for value in ["0", "-1", "8761", "nan", "soon"]:
            result = smsd("--database", self.db.url, "--report-expiry", value, "status")
            self.assertEqual(result.returncode, 2, value)
            self.assertIn("report_expiry must be a number from 0.0001 to 8760", result.stderr)


class SqliteReports(ReportChecks, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(why_no_postgres(), why_no_postgres())
class PostgresReports(OnPostgres, ReportChecks, unittest.TestCase):
    pass


if __name__ == "__main__":
    unittest.main()
