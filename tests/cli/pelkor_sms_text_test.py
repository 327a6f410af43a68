"""End-to-end tests of pelkor's text handling: UTF-8 messages and phonebook names, valid
JSON whatever the phone holds, the SMS commands scripts rely on, and backups. Each test
runs its own phonesim so that it can see what the phone received."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")


class Phone(PhonesimOnStdin):
    """A phonesim on a pseudo-terminal, driven by control lines on its stdin."""


def run(phone, *args):
    return subprocess.run([PELKOR, "--port", phone.device, *args], capture_output=True, timeout=120,
                          text=True, encoding="utf-8", errors="strict")


def run_json(phone, *args):
    result = run(phone, "--json", *args)
    if result.returncode != 0:
        raise AssertionError(f"pelkor {' '.join(args)} exited {result.returncode}: {result.stdout} {result.stderr}")
    return json.loads(result.stdout)


STORE = {"sms": {"capacity": 8, "messages": [
    {"location": 1, "coding": "ucs2", "text": "Привет 日本", "sender": "+79161234567",
     "time": [26, 12, 8, 9, 15, 0]},
    {"location": 2, "text": "Grüße aus Köln", "sender": "+4922112345", "read": False},
    {"location": 3, "kind": "sent", "text": "draft {1}", "recipient": "555"},
    {"location": 5, "coding": "8bit", "data": "4B F6 6C 6E FF", "sender": "INDOSAT"},
    {"location": 6, "kind": "report", "status": 0, "recipient": "+4912345"},
]}}


class Utf8Messages(unittest.TestCase):
    def setUp(self):
        self.phone = Phone(STORE)

    def tearDown(self):
        self.phone.close()

    def sent(self):
        return self.phone.state()["sms"]["sent"]

    def test_the_garbled_message_arrives_as_typed_in_ucs2(self):
        text = "Grüße €uro ÄÖÜ ñ 日本 {x}"
        result = run(self.phone, "sms", "send", "+4912345678", text)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("sent as UCS-2 in 1 part", result.stdout)
        sent = self.sent()
        self.assertEqual(len(sent), 1)
        self.assertEqual(sent[0]["coding"], "ucs2")
        self.assertEqual(sent[0]["text"], text)

    def test_extension_characters_stay_in_the_gsm_alphabet(self):
        data = run_json(self.phone, "sms", "send", "+4912345678", "Grüße €uro {x} [y] ~^|\\")
        self.assertEqual((data["coding"], data["parts"], data["parts_sent"]), ("gsm", 1, 1))
        self.assertEqual(self.sent()[0]["text"], "Grüße €uro {x} [y] ~^|\\")
        self.assertNotIn("?", self.sent()[0]["text"])

    def test_long_text_goes_in_parts_with_a_line_per_part(self):
        text = "Ж" * 140
        result = run(self.phone, "sms", "send", "+4912345678", text)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("sending as UCS-2 in 3 parts", result.stdout)
        for part in (1, 2, 3):
            self.assertIn(f"part {part} of 3 sent", result.stdout)
        state = self.phone.state()["sms"]
        self.assertEqual([m["concat"]["part"] for m in state["sent"]], [1, 2, 3])
        self.assertEqual(state["concatenated"][0]["text"], text)

    def test_max_parts_refuses_before_anything_is_sent(self):
        result = run(self.phone, "sms", "send", "+4912345678", "a" * 400, "--max-parts", "2")
        self.assertEqual(result.returncode, 1)  # refused by the tool: usage
        self.assertIn("3 parts", result.stderr)
        self.assertIn("--max-parts 2", result.stderr)
        self.assertEqual(self.sent(), [])

    def test_list_and_read_give_utf8_and_valid_json(self):
        data = run_json(self.phone, "sms", "list")
        by_location = {m["location"]: m for m in data["messages"]}
        self.assertEqual(sorted(by_location), [1, 2, 3, 5, 6])
        self.assertEqual(by_location[1]["text"], "Привет 日本")
        self.assertEqual(by_location[1]["time"], "2026-12-08 09:15:00")
        self.assertEqual(by_location[1]["kind"], "inbox")
        self.assertEqual(by_location[2]["text"], "Grüße aus Köln")
        self.assertEqual(by_location[2]["state"], "unread")
        self.assertEqual(by_location[3]["kind"], "sent")
        self.assertEqual(by_location[3]["text"], "draft {1}")
        self.assertIsNone(by_location[3]["time"])
        self.assertEqual(by_location[5]["text"], "Köln\u00ff")
        self.assertEqual(by_location[5]["from"], "INDOSAT")
        self.assertEqual(by_location[6]["kind"], "report")
        self.assertEqual(by_location[6]["text"], "Delivered")

        for location, kind in ((1, "inbox"), (3, "sent"), (5, "inbox"), (6, "report")):
            # The same message object as the list's, time and state included.
            self.assertEqual(run_json(self.phone, "sms", "read", str(location))["message"], by_location[location])
            self.assertEqual(by_location[location]["kind"], kind)
        text = run(self.phone, "sms", "list", "--kind", "inbox").stdout
        self.assertIn("1  inbox  2026-12-08 09:15:00  +79161234567", text)
        self.assertIn("Привет 日本", text)
        self.assertIn("(new)", text)
        self.assertNotIn("report", text)

    def test_delete_takes_the_location_list_shows(self):
        data = run_json(self.phone, "sms", "delete", "5")
        self.assertEqual(data["deleted"]["location"], 5)
        left = [m["location"] for m in self.phone.state()["sms"]["messages"]]
        self.assertEqual(left, [1, 2, 3, 6])
        missing = run(self.phone, "sms", "delete", "4")
        self.assertEqual(missing.returncode, 7)  # not found
        self.assertIn("no message at location 4", missing.stderr)

    def test_read_of_an_empty_or_missing_location_says_so(self):
        empty = run(self.phone, "sms", "read", "4")
        self.assertEqual(empty.returncode, 7)
        self.assertIn("location 4 is empty", empty.stderr)
        self.assertNotEqual(run(self.phone, "sms", "read", "9").returncode, 0)

    def test_backup_holds_every_location_and_restores_onto_another_phone(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "sms.json")
            data = run_json(self.phone, "sms", "backup", path)
            self.assertEqual(data["count"], 5)
            with open(path, encoding="utf-8") as f:
                backup = json.load(f)
            self.assertEqual([m["location"] for m in backup["messages"]], [1, 2, 3, 5, 6])
            self.assertEqual(backup["messages"][0]["text"], "Привет 日本")

            other = Phone({"sms": {"capacity": 8, "messages": [{"location": 7, "text": "stays"}]}})
            try:
                restored = run_json(other, "sms", "restore", path)
                self.assertEqual([m["location"] for m in restored["stored"]], [1, 2, 3, 5])
                self.assertEqual([m["location"] for m in restored["left_out"]], [6])
                after = {m["location"]: m for m in run_json(other, "sms", "list")["messages"]}
                self.assertEqual(sorted(after), [1, 2, 3, 5, 7])
                for location in (1, 2, 3, 5):
                    before = next(m for m in backup["messages"] if m["location"] == location)
                    for key in ("kind", "to" if before["kind"] == "sent" else "from", "time", "text"):
                        self.assertEqual(after[location][key], before[key], (location, key))
                self.assertEqual(after[2]["state"], "unread")
            finally:
                other.close()

            # A backup holding a message no phone can store is refused whole.
            backup["messages"].append({"location": 4, "kind": "inbox", "text": "x" * 200})
            with open(path, "w", encoding="utf-8") as f:
                json.dump(backup, f, ensure_ascii=False)
            other = Phone({"sms": {"capacity": 8, "messages": []}})
            try:
                refused = run(other, "sms", "restore", path)
                self.assertEqual(refused.returncode, 4)  # a bad input file
                self.assertIn("does not fit one message", refused.stderr)
                self.assertEqual(other.state()["sms"]["messages"], [])
            finally:
                other.close()

    def test_text_that_is_not_utf8_is_refused(self):
        result = subprocess.run([PELKOR, "--port", self.phone.device, "sms", "send", "+4912345678",
                                 b"Gr\xfc\xdfe"], capture_output=True, timeout=60)
        self.assertEqual(result.returncode, 1)
        self.assertIn(b"not UTF-8", result.stderr)
        self.assertEqual(self.sent(), [])


class Utf8Phonebook(unittest.TestCase):
    def setUp(self):
        self.phone = Phone()

    def tearDown(self):
        self.phone.close()

    def test_names_in_utf8_and_named_memories(self):
        data = run_json(self.phone, "pb", "set", "4", "Jürgen", "+4930123456", "--memory", "phone")
        self.assertEqual((data["entry"]["location"], data["entry"]["memory"]), (4, "phone"))
        entry = self.phone.state()["phonebook"]["memories"]["2"]["entries"]["4"]
        self.assertEqual(entry["name"], "Jürgen")
        got = run_json(self.phone, "pb", "get", "4", "--memory", "phone")
        self.assertEqual((got["entry"]["name"], got["entry"]["memory"]), ("Jürgen", "phone"))
        self.assertEqual(run_json(self.phone, "pb", "get", "1", "--memory", "sim")["entry"]["memory"], "sim")

    def test_a_name_the_phone_cannot_hold_is_refused_unsent(self):
        result = run(self.phone, "pb", "set", "5", "日本", "123")
        self.assertEqual(result.returncode, 1)
        self.assertIn("cannot store", result.stderr)
        self.assertNotIn("5", self.phone.state()["phonebook"]["memories"]["3"]["entries"])
        self.assertNotEqual(run(self.phone, "pb", "get", "1", "--memory", "card").returncode, 0)

    def test_list_over_a_range_and_vcard_backup_and_restore(self):
        listed = run_json(self.phone, "pb", "list", "--memory", "phone")
        self.assertEqual([e["location"] for e in listed["entries"]], [1, 2, 3])
        self.assertEqual(listed["entries"][0]["name"], "Alice Archer")
        self.assertEqual([e["location"] for e in run_json(self.phone, "pb", "list", "2-3", "--memory", "phone")
                          ["entries"]], [2, 3])
        run_json(self.phone, "pb", "set", "2", "Zoë Çelik", "+4930555", "--memory", "phone")
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "phone.vcf")
            self.assertEqual(run_json(self.phone, "pb", "backup", path, "--memory", "phone")["count"], 3)
            with open(path, "rb") as f:
                card = f.read().decode("utf-8")
            self.assertIn("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Zoë Çelik\r\n", card)
            self.assertIn("X-PELKOR-LOCATION:2\r\n", card)
            # Onto a fresh phone's SIM, whose own entry at 1 differs: replaced on request only.
            other = Phone()
            try:
                refused = run(other, "pb", "restore", path, "--memory", "sim")
                self.assertEqual(refused.returncode, 1, refused.stderr)
                self.assertIn('sim 1 holds "Carol (SIM)"', refused.stderr)
                data = run_json(other, "pb", "restore", path, "--memory", "sim", "--replace")
                self.assertEqual(len(data["stored"]), 3)
                entries = other.state()["phonebook"]["memories"]["3"]["entries"]
                self.assertEqual(entries["2"]["name"], "Zoë Çelik")
                self.assertEqual(entries["2"]["number"], "+4930555")
            finally:
                other.close()
            # A card the phone cannot hold stops the restore before anything is written.
            with open(path, "a", encoding="utf-8") as f:
                f.write("BEGIN:VCARD\r\nVERSION:3.0\r\nFN:山田\r\nTEL:123\r\nEND:VCARD\r\n")
            other = Phone()
            try:
                refused = run(other, "pb", "restore", path, "--memory", "sim")
                self.assertEqual(refused.returncode, 4)
                self.assertIn("山田", refused.stderr)
                self.assertNotIn("2", other.state()["phonebook"]["memories"]["3"]["entries"])
            finally:
                other.close()


class Watching(unittest.TestCase):
    def test_json_lines_as_events_happen_and_a_command_per_message(self):
        phone = Phone()
        with tempfile.TemporaryDirectory() as d:
            log = os.path.join(d, "messages.log")
            command = ('printf "%s|%s|%s|%s|%s\\n" "$PELKOR_SMS_LOCATION" "$PELKOR_SMS_KIND" "$PELKOR_SMS_FROM" '
                       '"$PELKOR_SMS_TIME" "$PELKOR_SMS_TEXT" >> ' + log)
            watch = subprocess.Popen([PELKOR, "--port", phone.device, "--json", "watch", "--seconds", "5",
                                      "--exec", command], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                     text=True, encoding="utf-8")
            try:
                self.assertEqual(json.loads(watch.stdout.readline()), {"event": "watching"})
                self.assertTrue(phone.control("sms deliver +4915550001 Grüße aus Köln, 5 €").startswith("ok"))
                # Each event is a line of its own as it happens, before the watch ends.
                line = watch.stdout.readline()
                if not line:
                    watch.wait(timeout=30)
                    self.fail("no event line; pelkor said: " + watch.stderr.read() +
                              " phone: " + json.dumps(phone.state()["sms"]))
                event = json.loads(line)
                self.assertEqual(watch.poll(), None)
                message = event["message"]
                self.assertEqual((event["event"], message["location"], message["from"], message["text"]),
                                 ("sms", 1, "+4915550001", "Grüße aus Köln, 5 €"))
                self.assertRegex(message["time"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
                phone.control("call incoming 0612345678")
                rest = [json.loads(line) for line in watch.stdout]
                self.assertEqual(watch.wait(timeout=30), 0)
            finally:
                if watch.poll() is None:
                    watch.kill()
                watch.stdout.close()
                watch.stderr.close()
                phone.close()
            self.assertIn({"event": "call", "number": "0612345678"}, rest)
            with open(log, encoding="utf-8") as f:
                logged = f.read().splitlines()
        self.assertEqual(len(logged), 1)
        location, kind, sender, stamp, text = logged[0].split("|")
        self.assertEqual((location, kind, sender, stamp, text),
                         ("1", "inbox", "+4915550001", message["time"], "Grüße aus Köln, 5 €"))


if __name__ == "__main__":
    unittest.main()
