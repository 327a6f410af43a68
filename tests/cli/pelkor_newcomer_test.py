"""What a newcomer meets in pelkor, end to end against phonesim, by command family:
restores that keep what the phone holds, recipients of sent messages kept, folders
and missing files named, numbers as people write them, and the exit status table."""
import json
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")

PHONEBOOK = {"phonebook": {"memories": {"2": {"capacity": 6, "entries": {
    "1": {"name": "Alice Archer", "number": "+441632960001", "group": 0},
    "2": {"name": "Bob Baker", "number": "01632960002", "group": 2},
    "3": {"name": "", "number": "", "group": 5},  # over phonesim's default entry: empty
    "4": {"name": "Dora Dean", "number": "5550104", "group": 5}}}}}}
SMS = {"sms": {"capacity": 10, "messages": [
    {"location": 1, "kind": "received", "sender": "+4915112345678", "text": "hello", "time": [24, 5, 1, 10, 0, 0]},
    {"location": 3, "kind": "sent", "recipient": "+4917011112222", "text": "see you at 8"},
    {"location": 5, "kind": "sent", "recipient": "Info", "text": "to a name"},
    {"location": 4, "kind": "report", "recipient": "+4917011112222", "status": 0, "time": [24, 5, 1, 10, 0, 0]}]}}


def run(phone, *args):
    command = [PELKOR] + (["--port", phone.device] if phone is not None else []) + list(args)
    return subprocess.run(command, capture_output=True, timeout=120, text=True, encoding="utf-8")


def vcards(*cards):
    out = ""
    for name, number, location in cards:
        out += "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:%s\r\nTEL;TYPE=CELL:%s\r\n" % (name, number)
        if location:
            out += "X-PELKOR-LOCATION:%d\r\n" % location
        out += "END:VCARD\r\n"
    return out


class WithPhone(unittest.TestCase):
    STATE = None

    def setUp(self):
        self.phone = PhonesimOnStdin(self.STATE)
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.phone.close()
        self.dir.cleanup()

    def path(self, name, content=None):
        path = os.path.join(self.dir.name, name)
        if content is not None:
            with open(path, "w", encoding="utf-8", newline="") as f:
                f.write(content)
        return path

    def entries(self):
        return self.phone.state()["phonebook"]["memories"]["2"]["entries"]


class PhonebookRestore(WithPhone):
    STATE = PHONEBOOK

    def test_cards_without_a_location_go_to_free_locations(self):
        before = self.entries()
        done = run(self.phone, "pb", "restore", self.path("other.vcf", vcards(
            ("Xavier New", "+49 170 1234567", 0), ("Yvonne New", "(030) 123-45.6", 0))), "--memory", "phone")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("stored Xavier New at phone 3", done.stdout)
        self.assertIn("stored Yvonne New at phone 5", done.stdout)
        after = self.entries()
        for location in ("1", "2", "4"):
            self.assertEqual(after[location]["name"], before[location]["name"])
        self.assertEqual(after["3"]["number"], "+491701234567")
        self.assertEqual(after["5"]["number"], "030123456")

    def test_free_locations_start_after_the_highest_given(self):
        done = run(self.phone, "pb", "restore", self.path("mixed.vcf", vcards(
            ("Dora Dean", "5550104", 4), ("Xavier New", "555", 0))), "--memory", "phone")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("stored Xavier New at phone 5", done.stdout)

    def test_not_enough_room_writes_nothing(self):
        before = self.entries()
        done = run(self.phone, "pb", "restore", self.path("many.vcf", vcards(
            *[("New %d" % i, "55%d" % i, 0) for i in range(4)])), "--memory", "phone")
        self.assertEqual(done.returncode, 3, done.stdout + done.stderr)
        self.assertIn("nothing was written", done.stderr)
        self.assertEqual(self.entries(), before)

    def test_a_different_entry_is_overwritten_only_with_replace(self):
        card = self.path("zed.vcf", vcards(("Zed", "123", 2)))
        refused = run(self.phone, "pb", "restore", card, "--memory", "phone")
        self.assertEqual(refused.returncode, 1, refused.stdout + refused.stderr)
        self.assertIn('phone 2 holds "Bob Baker"', refused.stderr)
        self.assertEqual(self.entries()["2"]["name"], "Bob Baker")
        replaced = run(self.phone, "pb", "restore", card, "--memory", "phone", "--replace")
        self.assertEqual(replaced.returncode, 0, replaced.stderr)
        self.assertEqual(self.entries()["2"]["name"], "Zed")

    def test_letters_in_a_number_still_refuse_the_whole_restore(self):
        before = self.entries()
        done = run(self.phone, "pb", "restore", self.path("bad.vcf", vcards(
            ("Fine", "555", 0), ("Bad", "+49 170 CALLME", 0))), "--memory", "phone")
        self.assertEqual(done.returncode, 4)
        self.assertEqual(self.entries(), before)


class PhonebookEntries(WithPhone):
    STATE = PHONEBOOK

    def test_exit_statuses_of_get_and_set(self):
        empty = run(self.phone, "pb", "get", "3", "--memory", "phone")
        self.assertEqual(empty.returncode, 7, empty.stdout)
        self.assertIn("is empty", empty.stderr)
        past = run(self.phone, "pb", "get", "7", "--memory", "phone")
        self.assertEqual(past.returncode, 7)
        self.assertIn("past the end of the phone memory", past.stderr)
        for args in (["get", "0"], ["set", "500", "Name", "123"], ["set", "7", "Name", "123", "--memory", "phone"]):
            done = run(self.phone, "pb", *args)
            self.assertEqual(done.returncode, 1, args)
            self.assertNotIn("code 22", done.stderr)
        cyrillic = run(self.phone, "pb", "set", "3", "Жора", "123", "--memory", "phone")
        self.assertEqual(cyrillic.returncode, 1)
        self.assertEqual(self.entries()["3"]["name"], "")

    def test_set_strips_separators(self):
        done = run(self.phone, "pb", "set", "3", "Carl", "+49 (0)30 123-45", "--memory", "phone")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(self.entries()["3"]["number"], "+493012345")


class SentMessages(WithPhone):
    STATE = SMS

    def test_list_read_and_json_show_the_recipient(self):
        listed = run(self.phone, "sms", "list")
        self.assertIn("3  sent  to +4917011112222", listed.stdout)
        self.assertIn("5  sent  to Info", listed.stdout)
        items = {m["location"]: m for m in json.loads(run(self.phone, "--json", "sms", "list").stdout)["messages"]}
        self.assertEqual(items[3]["to"], "+4917011112222")
        self.assertEqual(items[1]["from"], "+4915112345678")
        read = json.loads(run(self.phone, "--json", "sms", "read", "3").stdout)
        self.assertEqual(read["message"]["to"], "+4917011112222")

    def test_backup_and_restore_keep_the_recipient(self):
        backup = self.path("messages.json")
        self.assertEqual(run(self.phone, "sms", "backup", backup).returncode, 0)
        with open(backup, encoding="utf-8") as f:
            saved = {m["location"]: m for m in json.load(f)["messages"]}
        self.assertEqual(saved[3]["to"], "+4917011112222")
        done = run(self.phone, "sms", "restore", backup)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("left out 1 status report (location 4)", done.stdout)
        self.assertNotIn("stores none", done.stdout)
        stored = {m["location"]: m for m in self.phone.state()["sms"]["messages"]}
        self.assertEqual(stored[3].get("recipient"), "+4917011112222")
        self.assertEqual(stored[5].get("recipient"), "Info")


class FilesAndFolders(WithPhone):
    STATE = SMS

    def test_a_folder_or_a_missing_file_is_exit_4(self):
        folder = self.path("adir")
        os.mkdir(folder)
        for args in (["pb", "restore", folder], ["sms", "restore", folder], ["sms", "send-ucs2", "+4912345", folder],
                     ["ringtone", "put", folder], ["logo", "put", folder]):
            done = run(self.phone, *args)
            self.assertEqual(done.returncode, 4, (args, done.stderr))
            self.assertIn("it is a folder, not a file", done.stderr)
            self.assertNotIn("terminate", done.stderr)
        for args in (["sms", "send-ucs2", "+4912345", self.path("nofile")], ["pb", "restore", self.path("nofile")]):
            done = run(self.phone, *args)
            self.assertEqual(done.returncode, 4, args)
            self.assertIn("no such file", done.stderr)
            self.assertNotIn("code 22", done.stderr)

    def test_sim_state_that_cannot_be_read(self):
        for state in (self.path("missing.json"), self.dir.name):
            done = run(None, "--sim-state", state, "status")
            self.assertEqual(done.returncode, 4, done.stderr)

    def test_a_ringtone_too_long_for_the_phone(self):
        tone = self.path("long.rtttl", "long:d=4,o=5,b=120:" + ",".join(["c", "d", "e", "f", "g", "a", "b"] * 23))
        done = run(self.phone, "ringtone", "put", tone)
        self.assertEqual(done.returncode, 4)
        self.assertIn("too many notes for the phone", done.stderr)


class Numbers(WithPhone):
    STATE = SMS

    def test_sms_send_takes_a_number_as_written(self):
        done = run(self.phone, "sms", "send", "+49 170 1234567", "hi")
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertIn("+491701234567", done.stdout)
        refused = run(self.phone, "sms", "send", "+49 170 CALLME", "hi")
        self.assertEqual(refused.returncode, 1)


class CommandLine(unittest.TestCase):

    def test_an_unknown_command_is_named_with_the_list(self):
        done = run(None, "bogus")
        self.assertEqual(done.returncode, 1)
        self.assertIn("unknown command bogus", done.stderr)
        self.assertIn("sms", done.stderr)
        self.assertNotIn("A subcommand is required", done.stderr)
        as_json = json.loads(run(None, "--json", "bogus").stdout)
        self.assertIn("unknown command bogus", as_json["error"]["message"])


if __name__ == "__main__":
    unittest.main()
