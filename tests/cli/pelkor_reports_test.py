"""Delivery reports through the tool: the references `sms send --report` prints, the
reports `sms list --kind report`, `watch` and `sms wait-report` show, against phonesim's
network (its rules decide each part's status)."""
import json
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402
from pelkor_json_test import check, watch_events  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")
LONG_TEXT = "Part of a long message. " * 14  # 336 characters: three parts


def network(next_reference=0, rules=None, report_delay_ms=0):
    return {"sms": {"capacity": 20, "messages": []},
            "network": {"next_reference": next_reference, "report_delay_ms": report_delay_ms,
                        "report_rules": rules or []}}


class Reports(unittest.TestCase):
    def start(self, state):
        self.phone = PhonesimOnStdin(state)
        self.addCleanup(self.phone.close)

    def run_json(self, *args, timeout=120):
        result = subprocess.run([PELKOR, "--json", "--port", self.phone.device, *args], capture_output=True,
                                text=True, timeout=timeout, stdin=subprocess.DEVNULL)
        return result.returncode, json.loads(result.stdout)

    def test_every_part_has_its_reference_and_its_report(self):
        self.start(network(next_reference=254))
        status, sent = self.run_json("sms", "send", "--report", "--yes", "+4917012345", LONG_TEXT)
        self.assertEqual(status, 0, sent)
        check(self, sent, "outputs/sms-send", "sms send --report")
        self.assertEqual(sent["references"], [254, 255, 0])  # the phone's references wrap at 256
        self.assertEqual([p["message_reference"] for p in self.phone.state()["sms"]["sent"]], [254, 255, 0])
        status, waited = self.run_json("sms", "wait-report", "254", "255", "0", "--timeout", "60")
        self.assertEqual(status, 0, waited)
        check(self, waited, "outputs/sms-wait-report", "sms wait-report")
        self.assertEqual([(m["reference"], m["status"], m["to"]) for m in waited["reports"]],
                         [(254, "delivered", "+4917012345"), (255, "delivered", "+4917012345"),
                          (0, "delivered", "+4917012345")])
        _, listed = self.run_json("sms", "list", "--kind", "report")
        check(self, listed, "outputs/sms-list", "sms list --kind report")
        self.assertEqual(sorted(m["reference"] for m in listed["messages"]), [0, 254, 255])
        for m in listed["messages"]:
            self.assertEqual(m["status_code"], 0)
            self.assertRegex(m["submitted"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
            self.assertRegex(m["discharged"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        shown = subprocess.run([PELKOR, "--port", self.phone.device, "sms", "list", "--kind", "report"],
                               capture_output=True, text=True, timeout=60).stdout
        self.assertIn("reference 255: delivered (status 0x00)", shown)

    def test_a_failed_part_makes_the_wait_fail_and_says_which(self):
        self.start(network(next_reference=10, rules=[{"destination": "+49170*", "part": 2, "status": "failed"}]))
        status, sent = self.run_json("sms", "send", "--report", "--yes", "+4917012345", LONG_TEXT)
        self.assertEqual((status, sent["references"]), (0, [10, 11, 12]), sent)
        status, waited = self.run_json("sms", "wait-report", "10", "11", "12", "--timeout", "60")
        self.assertEqual(status, 3, waited)  # refused: one message was not delivered
        check(self, waited, "failure", "sms wait-report with a failed part")
        self.assertEqual([(m["reference"], m["status"]) for m in waited["reports"]],
                         [(10, "delivered"), (11, "failed"), (12, "delivered")])
        self.assertGreaterEqual(waited["reports"][1]["status_code"], 0x40)

    def test_pending_then_delivered_waits_for_the_final_report(self):
        self.start(network(next_reference=40, rules=[
            {"status": "pending", "then": {"status": "delivered", "after_ms": 1500}}]))
        status, sent = self.run_json("sms", "send", "--report", "+4915550001", "soon")
        self.assertEqual((status, sent["references"]), (0, [40]), sent)
        status, waited = self.run_json("sms", "wait-report", "40", "--timeout", "60")
        self.assertEqual(status, 0, waited)
        self.assertEqual(waited["reports"][0]["status"], "delivered")
        _, listed = self.run_json("sms", "list", "--kind", "report")
        self.assertEqual(sorted(m["status"] for m in listed["messages"]), ["delivered", "pending"])

    def test_no_report_within_the_limit_is_said_with_status_2(self):
        self.start(network(next_reference=5))
        status, sent = self.run_json("sms", "send", "+4915550001", "no report asked")
        self.assertEqual((status, sent["references"]), (0, [5]), sent)
        status, waited = self.run_json("sms", "wait-report", "5", "--timeout", "2")
        self.assertEqual(status, 2, waited)
        self.assertEqual((waited["reports"], waited["waiting"]), ([], [5]))
        self.assertEqual(self.run_json("sms", "wait-report", "256")[0], 1)  # not a reference

    def test_watch_reports_a_report_as_its_own_event(self):
        self.start(network())

        def report_arrives():
            # The network's report for an earlier send arrives: stored, then announced.
            report = {"location": 1, "kind": "report", "read": False, "reference": 7, "recipient": "+4915550001",
                      "time": [26, 12, 10, 9, 0, 0], "discharge_time": [26, 12, 10, 9, 0, 4], "status": 0}
            self.assertEqual(self.phone.control("set /sms/messages " + json.dumps([report])), "ok")
            self.assertEqual(self.phone.control("send 02 01 08 00 10 02 01"), "ok")

        events = watch_events(self, self.phone.device, 6, report_arrives)
        self.assertEqual(events[0], {"event": "watching"})
        reports = [e["message"] for e in events if e["event"] == "report"]
        self.assertEqual([(m["reference"], m["status"], m["to"], m["discharged"]) for m in reports],
                         [(7, "delivered", "+4915550001", "2026-12-10 09:00:04")])
        self.assertEqual(events[-1], {"event": "stopped", "calls": 0, "messages": 0, "reports": 1})

if __name__ == "__main__":
    unittest.main()
