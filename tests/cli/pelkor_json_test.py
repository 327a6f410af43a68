"""Every command's --json output against the tool's JSON schema (docs/pelkor-json.schema.json):
one object on stdout, the same message, entry, logo, tone and error objects everywhere, and
a failure's "status" equal to the exit status."""
import json
import os
import re
import subprocess
import sys
import tempfile
import unittest

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(__file__), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.environ.get("PELKOR_EXAMPLES", os.path.join(HERE, "..", "..", "examples"))
SCHEMA_PATH = os.path.join(HERE, "..", "..", "docs", "pelkor-json.schema.json")

with open(SCHEMA_PATH, encoding="utf-8") as f:
    SCHEMA = json.load(f)
with open(os.path.join(EXAMPLES, "phone-state.json"), encoding="utf-8") as f:
    EXAMPLE_STATE = json.load(f)


def validator(definition):
    """A validator of one definition of the schema ("outputs/sms-list", "failure")."""
    return jsonschema.Draft202012Validator(dict(SCHEMA, **{"$ref": "#/$defs/" + definition}))


def check(testcase, document, definition, what):
    errors = sorted(validator(definition).iter_errors(document), key=lambda e: list(e.absolute_path))
    testcase.assertEqual([], [f"{list(e.absolute_path)}: {e.message}" for e in errors],
                         f"{what} against {definition}: {json.dumps(document)[:400]}")


def watch_events(testcase, device, seconds, while_watching):
    """The events of `pelkor --json watch` on `device` for `seconds`, with
    `while_watching()` run once the watch has said it is watching; each event is
    checked against the schema, and the watch must end with status 0."""
    watch = subprocess.Popen([PELKOR, "--json", "--port", device, "watch", "--seconds", str(seconds)],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        first = watch.stdout.readline()
        while_watching()
        rest, err = watch.communicate(timeout=60)
    finally:
        if watch.poll() is None:
            watch.kill()
            watch.wait()
    testcase.assertEqual(watch.returncode, 0, err)
    events = [json.loads(line) for line in [first] + rest.splitlines()]
    for event in events:
        check(testcase, event, "outputs/watch-event", "a watch line")
    return events


def leaf_commands(words=()):
    """The commands `pelkor --help` lists, subcommands followed down to the leaves."""
    out = subprocess.run([PELKOR, *words, "--help"], capture_output=True, text=True, timeout=30).stdout
    section = re.search(r"^Subcommands:\n((?:  .*\n?)+)", out, re.M)
    if section is None:
        return [words]
    leaves = []
    for line in section.group(1).splitlines():
        name = line.split()[0]
        leaves += leaf_commands((*words, name))
    return leaves


def path_to(*parts):
    return os.path.join(EXAMPLES, *parts)


class JsonOutputs(unittest.TestCase):
    def setUp(self):
        self.phone = PhonesimOnStdin(EXAMPLE_STATE)
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.phone.close()
        self.tmp.cleanup()

    def out(self, name):
        return os.path.join(self.tmp.name, name)

    def run_json(self, *args, port=True):
        command = [PELKOR, "--json"] + (["--port", self.phone.device] if port else []) + list(args)
        result = subprocess.run(command, capture_output=True, text=True, timeout=120, stdin=subprocess.DEVNULL)
        try:
            document = json.loads(result.stdout)  # the whole of stdout: one object, nothing else
        except json.JSONDecodeError:
            self.fail(f"pelkor {' '.join(args)} printed no single JSON object (exit {result.returncode}):\n"
                      f"stdout: {result.stdout!r}\nstderr: {result.stderr!r}")
        self.assertIsInstance(document, dict, args)
        return result.returncode, document

    def cases(self):
        """(schema name, arguments) for every command, in an order that leaves each
        command something to act on."""
        rtttl, nol = path_to("scale.rtttl"), path_to("logos", "operator.nol")
        ucs2 = self.out("hello.ucs2")
        with open(ucs2, "wb") as f:
            f.write("\ufeffGrüße".encode("utf-16-be"))
        return [
            ("identify", ["identify"]), ("status", ["status"]),
            ("clock-get", ["clock", "get"]), ("clock-set", ["clock", "set", "2001-03-15 12:30:45"]),
            ("alarm-set", ["alarm", "set", "07:30"]), ("alarm-get", ["alarm", "get"]),
            ("dial", ["dial", "+4912345"]), ("dtmf", ["dtmf", "12#"]), ("hangup", ["hangup"]),
            ("beep", ["beep"]), ("tone", ["tone", "440", "--ms", "100"]), ("reset", ["reset", "soft"]),
            ("net-info", ["net", "info"]), ("net-monitor", ["net", "monitor", "2"]),
            # First of the sends: the phone's first reference, 0, is the one waited for.
            ("sms-send", ["sms", "send", "--report", "+491701234", "hello"]),
            ("sms-wait-report", ["sms", "wait-report", "0", "--timeout", "30"]),
            ("sms-send", ["sms", "send", "+491701234", "hello"]),
            ("sms-send-ucs2", ["sms", "send-ucs2", "+491701234", ucs2]),
            ("sms-list", ["sms", "list"]), ("sms-read", ["sms", "read", "1"]), ("sms-read", ["sms", "read", "3"]),
            ("sms-counts", ["sms", "counts"]), ("sms-centre-get", ["sms", "centre", "get"]),
            ("sms-backup", ["sms", "backup", self.out("sms.json")]),
            ("sms-restore", ["sms", "restore", self.out("sms.json")]),
            ("sms-delete", ["sms", "delete", "2"]),
            ("pb-get", ["pb", "get", "1"]), ("pb-set", ["pb", "set", "5", "Bob", "+4912"]),
            ("pb-list", ["pb", "list"]), ("pb-backup", ["pb", "backup", self.out("pb.vcf")]),
            ("pb-restore", ["pb", "restore", self.out("pb.vcf")]),
            ("speeddial-set", ["speeddial", "set", "2", "1"]), ("speeddial-get", ["speeddial", "get", "2"]),
            ("ringtone-show", ["ringtone", "show", rtttl]),
            ("ringtone-wav", ["ringtone", "wav", rtttl, self.out("s.wav")]),
            ("ringtone-convert", ["ringtone", "convert", rtttl, self.out("s.mid")]),
            ("ringtone-put", ["ringtone", "put", rtttl]), ("ringtone-send", ["ringtone", "send", rtttl, "+4912"]),
            ("logo-show", ["logo", "show", nol]), ("logo-show", ["logo", "show", path_to("logos", "caller_group.ngg")]),
            ("logo-convert", ["logo", "convert", nol, self.out("o.png")]),
            ("logo-get", ["logo", "get", "operator", self.out("got.nol")]), ("logo-get", ["logo", "get", "caller"]),
            ("logo-put", ["logo", "put", nol]), ("logo-send", ["logo", "send", nol, "+4912"]),
            ("wav", ["wav", self.out("w.wav"), "440:100", "0:50"]),
        ]

    def test_every_command_is_in_the_schema_and_checked_here(self):
        outputs = SCHEMA["$defs"]["outputs"]
        checked = {name for name, _ in self.cases()} | {"demo", "watch", "alarm-off"}
        for words in leaf_commands():
            name = "-".join(words)
            self.assertIn("watch-event" if name == "watch" else name, outputs, f"no schema for pelkor {name}")
            self.assertIn(name, checked, f"pelkor {name} is not checked by this test")

    def test_each_command_prints_one_object_of_its_schema(self):
        for name, args in self.cases():
            with self.subTest(command=" ".join(args)):
                status, document = self.run_json(*args)
                self.assertEqual(status, 0, document)
                check(self, document, "outputs/" + name, " ".join(args))

    def test_demo_is_one_object_of_steps(self):
        status, document = self.run_json("demo", "--examples", EXAMPLES, port=False)
        self.assertEqual(status, 0, document)
        check(self, document, "outputs/demo", "demo")
        titles = [step["title"] for step in document["steps"]]
        self.assertIn("Opening the link (init)", titles)
        self.assertTrue(any("init -> 0 (ok)" in line for step in document["steps"] for line in step["lines"]))

    def test_one_message_object_in_list_read_delete_and_backup(self):
        _, listed = self.run_json("sms", "list")
        by_location = {m["location"]: m for m in listed["messages"]}
        self.assertEqual(by_location[3]["to"], "+4917011112222")
        self.assertEqual((by_location[1]["state"], by_location[2]["state"], by_location[3]["state"]),
                         ("read", "unread", "sent"))
        for location in (1, 2, 3):
            self.assertEqual(self.run_json("sms", "read", str(location))[1]["message"], by_location[location])
        self.run_json("sms", "backup", self.out("b.json"))
        with open(self.out("b.json"), encoding="utf-8") as f:
            backup = json.load(f)
        self.assertEqual(backup["version"], 2)
        self.assertEqual(backup["messages"], listed["messages"])
        self.assertEqual(self.run_json("sms", "delete", "2")[1]["deleted"], by_location[2])

    def test_backups_of_version_1_restore_with_their_states(self):
        old = {"format": "pelkor sms backup", "version": 1, "messages": [
            {"location": 7, "kind": "inbox", "from": "+4911", "time": "2024-01-02 03:04:05", "read": False,
             "text": "unread one"},
            {"location": 8, "kind": "sent", "to": "+4922", "time": None, "sent": False, "text": "draft"}]}
        with open(self.out("v1.json"), "w", encoding="utf-8") as f:
            json.dump(old, f)
        status, restored = self.run_json("sms", "restore", self.out("v1.json"))
        self.assertEqual(status, 0, restored)
        check(self, restored, "outputs/sms-restore", "restore of a version 1 backup")
        self.assertEqual([(m["location"], m["state"]) for m in restored["stored"]], [(7, "unread"), (8, "unsent")])
        _, listed = self.run_json("sms", "list")
        states = {m["location"]: m["state"] for m in listed["messages"]}
        self.assertEqual((states[7], states[8]), ("unread", "unsent"))

    def test_failures_are_error_objects_with_the_exit_status(self):
        with open(self.out("bad-state.json"), "w", encoding="utf-8") as f:
            json.dump({"messages": [{"location": 9, "kind": "inbox", "state": "sent", "text": "x"}]}, f)
        failures = [
            (["sms", "read", "99"], 7),  # no message there
            (["sms", "restore", self.out("bad-state.json")], 4),  # a state its kind has not
            (["sms", "send", "12abc", "hi"], 1),
            (["ringtone", "show", self.out("missing.rtttl")], 4),
            (["pb", "restore", self.tmp.name], 4),  # a folder
            (["wav", "/nonexistent-dir/w.wav", "440:100"], 5),
            (["nosuch"], 1),  # the command line itself: still JSON
            (["sms", "read"], 1),
            (["sms", "read", "abc"], 1),
            (["tone", "440", "100"], 1),
            (["identify", "--bogus"], 1),
        ]
        for args, expected in failures:
            with self.subTest(command=" ".join(args)):
                status, document = self.run_json(*args)
                self.assertEqual(status, expected, document)
                check(self, document, "failure", " ".join(args))
                self.assertEqual(document["error"]["status"], status)
                self.assertNotIn("library_code", document["error"])
        # A failure the library reports carries its code beside the exit status.
        self.phone.close()
        status, document = self.run_json("identify")
        self.phone = PhonesimOnStdin(EXAMPLE_STATE)
        self.assertNotEqual(status, 0)
        check(self, document, "failure", "identify without a phone")
        self.assertEqual(document["error"]["status"], status)

    def test_watch_prints_one_event_object_a_line(self):
        def arrivals():
            self.phone.control("call incoming 0612345678")
            self.phone.control("sms deliver +4915550001 hello")

        events = watch_events(self, self.phone.device, 5, arrivals)
        self.assertEqual(events[0], {"event": "watching"})
        self.assertEqual(events[-1], {"event": "stopped", "calls": 1, "messages": 1, "reports": 0})
        message = [e["message"] for e in events if e["event"] == "sms"][0]
        self.assertEqual((message["from"], message["text"], message["state"]), ("+4915550001", "hello", "unread"))


class AlarmOff(unittest.TestCase):
    def test_alarm_off_of_an_alarm_already_off_and_one_that_stays_on(self):
        for enabled, expected in ((False, 0), (True, 3)):
            phone = PhonesimOnStdin({"clock": {"alarm": {"enabled": enabled, "hour": 6, "minute": 15}}})
            try:
                result = subprocess.run([PELKOR, "--json", "--port", phone.device, "alarm", "off"],
                                        capture_output=True, text=True, timeout=60)
            finally:
                phone.close()
            document = json.loads(result.stdout)
            self.assertEqual(result.returncode, expected, document)
            check(self, document, "outputs/alarm-off" if expected == 0 else "failure", "alarm off")
            if expected == 0:
                self.assertEqual(document, {"time": "06:15", "enabled": False})


if __name__ == "__main__":
    unittest.main()
