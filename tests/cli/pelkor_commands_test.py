"""Commands that must do what they say, run as a user types them against phonesim:
clock and alarm, status and the wire trace, the message centre of a send and long texts,
RTTTL files the tool refuses or warns of, demo's temporary folder and watch's summary."""
import os
import pty
import re
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")
EXAMPLES = os.environ.get("PELKOR_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))


def run(phone, *args, stdin=subprocess.DEVNULL, env=None):
    command = [PELKOR] + (["--port", phone.device] if phone is not None else []) + list(args)
    return subprocess.run(command, capture_output=True, timeout=120, text=True, stdin=stdin, env=env)


class ClockAndAlarm(unittest.TestCase):
    def setUp(self):
        self.phone = PhonesimOnStdin({"clock": {"alarm": {"enabled": True, "hour": 7, "minute": 30}}})

    def tearDown(self):
        self.phone.close()

    def test_clock_set_with_seconds_says_they_are_dropped(self):
        result = run(self.phone, "clock", "set", "2001-03-15 12:30:45")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("2001-03-15 12:30:00", result.stdout)
        self.assertIn("45 seconds were dropped", result.stdout)
        # Without seconds there is nothing to say.
        self.assertNotIn("dropped", run(self.phone, "clock", "set", "2001-03-15 12:30").stdout)

    def test_alarm_off_never_claims_an_alarm_that_stays_on_is_off(self):
        for args in (["alarm", "off"], ["alarm", "set", "off"]):
            result = run(self.phone, *args)
            self.assertEqual(result.returncode, 3, args)
            self.assertIn("07:30 stays switched on", result.stderr)
        self.assertTrue(self.phone.state()["clock"]["alarm"]["enabled"])

    def test_alarm_off_when_it_is_off(self):
        self.phone.close()
        self.phone = PhonesimOnStdin({"clock": {"alarm": {"enabled": False, "hour": 6, "minute": 0}}})
        result = run(self.phone, "alarm", "off")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("06:00, switched off already", result.stdout)


class StatusAndTrace(unittest.TestCase):
    def setUp(self):
        self.phone = PhonesimOnStdin({"display": {"indicators": {"1": True, "2": True, "4": True}}})

    def tearDown(self):
        self.phone.close()

    def test_status_names_the_indicators_it_knows(self):
        result = run(self.phone, "status")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertIn("display indicators 1 (call in progress), 2 and 4 (voice call)", result.stdout)
        self.assertNotIn("of 1-8", result.stdout)

    def test_trace_writes_the_sync_run_on_one_line(self):
        with tempfile.TemporaryDirectory() as folder:
            trace = os.path.join(folder, "trace.txt")
            self.assertEqual(run(self.phone, "--trace", trace, "identify").returncode, 0)
            with open(trace) as f:
                lines = f.read().splitlines()
        sync_only = [line for line in lines if re.fullmatch(r"\S+ tx +\d+:( 55)+", line)]
        self.assertEqual(len(sync_only), 1, lines[:5])
        self.assertRegex(sync_only[0], r"^\d\d:\d\d:\d\d\.\d{3} tx  32:( 55){32}$")


class MessageCentreAndLongTexts(unittest.TestCase):
    def setUp(self):
        self.phone = PhonesimOnStdin()

    def tearDown(self):
        self.phone.close()

    def sent_centres(self):
        return [m.get("centre") for m in self.phone.state()["sms"]["sent"]]

    def test_centre_get_reads_any_centre(self):
        self.assertIn("+358405202000", run(self.phone, "sms", "centre", "get").stdout)
        self.assertIn("+358405202999", run(self.phone, "sms", "centre", "get", "2").stdout)
        missing = run(self.phone, "sms", "centre", "get", "3")
        self.assertEqual(missing.returncode, 7)
        self.assertIn("no message centre 3", missing.stderr)

    def test_send_uses_the_centre_given_by_index_or_number(self):
        self.assertEqual(run(self.phone, "sms", "send", "+4912345", "a", "--centre", "2").returncode, 0)
        self.assertEqual(run(self.phone, "sms", "send", "+4912345", "b", "--centre", "+491234567").returncode, 0)
        self.assertEqual(run(self.phone, "sms", "send", "+4912345", "c").returncode, 0)
        self.assertEqual(self.sent_centres(), ["+358405202999", "+491234567", "+358405202000"])

    def test_a_bad_centre_and_centre_set_are_refused_before_anything_is_sent(self):
        bad = run(self.phone, "sms", "send", "+4912345", "hi", "--centre", "12abc")
        self.assertEqual(bad.returncode, 1)
        self.assertIn('not "12abc"', bad.stderr)
        gone = run(self.phone, "sms", "centre", "set", "1", "+491234567")
        self.assertEqual(gone.returncode, 1)
        self.assertIn("--centre", gone.stderr)
        self.assertEqual(self.sent_centres(), [])

    def test_a_text_of_many_parts_is_asked_for_on_a_terminal(self):
        text = "x" * 2000  # 14 parts
        master, slave = pty.openpty()
        try:
            os.write(master, b"n\n")
            declined = run(self.phone, "sms", "send", "+4912345", text, stdin=slave)
        finally:
            os.close(slave)
            os.close(master)
        self.assertEqual(declined.returncode, 1)
        self.assertIn("14 messages", declined.stderr)
        self.assertIn("not sent", declined.stderr)
        self.assertEqual(self.sent_centres(), [])
        # --max-parts sets the limit instead of asking; --yes sends.
        self.assertEqual(run(self.phone, "sms", "send", "+4912345", text, "--max-parts", "4").returncode, 1)
        master, slave = pty.openpty()
        try:
            sent = run(self.phone, "sms", "send", "+4912345", "y" * 700, "--yes", stdin=slave)
        finally:
            os.close(slave)
            os.close(master)
        self.assertEqual(sent.returncode, 0, sent.stderr)
        self.assertEqual(len(self.sent_centres()), 5)


class RtttlFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def tone(self, text):
        path = os.path.join(self.dir.name, "tone.rtttl")
        with open(path, "w") as f:
            f.write(text)
        return path

    def test_what_is_not_rtttl_is_refused_with_its_place(self):
        out = os.path.join(self.dir.name, "out.wav")
        for text, said in (("x:d=4,o=5,b=120:c,e,zz,q9", 'note 3: "zz" is not a note'),
                           ("x:d=4,o=5,b=0:c,e", '"b=0": the tempo'),
                           ("x:d=4,o=9,b=120:c,e", '"o=9": the phone\'s octaves are 4 to 7'),
                           ("x:d=4,o=5,b=120:c,3e", 'note 2: "3e": 3 is not a note length'),
                           ("x:d=4,o=5,b=120:c,e8", 'note 2: "e8": octave 8')):
            result = run(None, "ringtone", "wav", self.tone(text), out)
            self.assertEqual(result.returncode, 4, text)
            self.assertIn(said, result.stderr, text)
            self.assertFalse(os.path.exists(out), text)

    def test_what_is_rounded_or_cut_is_warned_of(self):
        out = os.path.join(self.dir.name, "out.wav")
        slow = run(None, "ringtone", "wav", self.tone("x:d=4,o=5,b=10:c,e"), out)
        self.assertEqual(slow.returncode, 0, slow.stderr)
        self.assertIn("warning", slow.stderr)
        self.assertIn("25 to 900", slow.stderr)
        many = run(None, "ringtone", "show", self.tone("x:d=4,o=5,b=120:" + ",".join(["c"] * 210)))
        self.assertEqual(many.returncode, 0, many.stderr)
        self.assertIn("only the first 200", many.stderr)

    def test_a_tone_of_25_minutes_needs_long(self):
        path = self.tone("long:d=1,o=5,b=25:" + ",".join(["c."] * 104))
        out = os.path.join(self.dir.name, "long.wav")
        refused = run(None, "ringtone", "wav", path, out)
        self.assertEqual(refused.returncode, 4)
        self.assertIn("24 min 57 s", refused.stderr)
        self.assertIn("--long", refused.stderr)
        self.assertFalse(os.path.exists(out))
        self.assertEqual(run(None, "ringtone", "convert", "--long", path, out).returncode, 0)
        self.assertGreater(os.path.getsize(out), 10 * 1024 * 1024)


class DemoAndWatch(unittest.TestCase):
    def test_demo_leaves_no_folder_unless_kept(self):
        with tempfile.TemporaryDirectory() as tmp:
            env = dict(os.environ, TMPDIR=tmp)
            self.assertEqual(run(None, "demo", "--examples", EXAMPLES, env=env).returncode, 0)
            self.assertEqual(os.listdir(tmp), [])
            kept = run(None, "demo", "--keep", "--examples", EXAMPLES, env=env)
            self.assertEqual(kept.returncode, 0, kept.stderr)
            folders = os.listdir(tmp)
            self.assertEqual(len(folders), 1)
            self.assertIn(os.path.join(tmp, folders[0], "ode_to_joy.wav"), kept.stdout)

    def test_watch_counts_in_words(self):
        phone = PhonesimOnStdin()
        try:
            watch = subprocess.Popen([PELKOR, "--port", phone.device, "watch", "--seconds", "6"],
                                     stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            self.assertIn("watching", watch.stdout.readline())
            phone.control("call incoming 0612345678")
            phone.control("sms deliver +4915550001 hello")
            out, err = watch.communicate(timeout=60)
        finally:
            phone.close()
        self.assertEqual(watch.returncode, 0, err)
        self.assertIn("incoming call from 0612345678", out)
        self.assertIn("watched: 1 call, 1 message", out)


if __name__ == "__main__":
    unittest.main()
