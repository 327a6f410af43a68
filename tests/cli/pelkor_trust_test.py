"""What a remote sender, a full disk or another local user can do to pelkor: every file
it writes appears whole or not at all and is the user's alone, `watch` reports every
message however fast they come, and nothing from the phone reaches the terminal as a
control sequence. Each test runs its own phonesim."""
import json
import os
import queue
import stat
import subprocess
import sys
import tempfile
import threading
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

PELKOR = os.environ.get("PELKOR", "pelkor")
EXAMPLES = os.environ.get("PELKOR_EXAMPLES", os.path.join(os.path.dirname(__file__), "..", "..", "examples"))

STORE = {"sms": {"capacity": 10, "messages": [
    {"location": loc, "text": "message number %d " % loc + "x" * 120, "sender": "+4912345%03d" % loc}
    for loc in range(1, 9)]}}


def run(phone, *args, umask=None):
    def prepare():
        if umask is not None:
            os.umask(umask)
    command = [PELKOR] + (["--port", phone.device] if phone is not None else []) + list(args)
    return subprocess.run(command, capture_output=True, timeout=120, text=True, encoding="utf-8",
                          errors="strict", preexec_fn=prepare)


def example(*parts):
    return os.path.join(EXAMPLES, *parts)


def read_bytes(path):
    with open(path, "rb") as f:
        return f.read()


# What each kind of file is written by: (output name, pelkor arguments without the output).
OFFLINE_WRITERS = [
    ("tune.wav", lambda out: ["ringtone", "convert", example("ode_to_joy.rtttl"), out]),
    ("tune.mid", lambda out: ["ringtone", "convert", example("ode_to_joy.rtttl"), out]),
    ("tune.rtttl", lambda out: ["ringtone", "convert", example("ode_to_joy.rtttl"), out]),
    ("tones.wav", lambda out: ["wav", out, "440:2000", "880:2000"]),
    ("logo.nol", lambda out: ["logo", "convert", example("logos", "operator.nol"), out]),
    ("logo.ngg", lambda out: ["logo", "convert", example("logos", "caller_group.ngg"), out]),
    ("logo.form", lambda out: ["logo", "convert", example("logos", "startup.form"), out]),
    ("logo.png", lambda out: ["logo", "convert", example("logos", "startup.form"), out]),
    ("logo.bmp", lambda out: ["logo", "convert", example("logos", "startup.form"), out]),
]
PHONE_WRITERS = [
    ("sms.json", lambda out: ["sms", "backup", out]),
    ("pb.vcf", lambda out: ["pb", "backup", out, "--memory", "phone"]),
]


class FilesWrittenWhole(unittest.TestCase):
    """Backups and media files on a real full disk, their modes and a planted link."""

    def setUp(self):
        self.phone = PhonesimOnStdin(STORE)
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.phone.close()
        self.dir.cleanup()

    def writers(self):
        return [(name, make, None) for name, make in OFFLINE_WRITERS] + \
               [(name, make, self.phone) for name, make in PHONE_WRITERS]

    def test_a_full_disk_leaves_the_earlier_file_as_it_was(self):
        if os.geteuid() != 0:
            self.skipTest("mounting a small tmpfs as a full disk needs root")
        disk = os.path.join(self.dir.name, "disk")
        os.mkdir(disk)
        mounted = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", disk], capture_output=True,
                                 text=True)
        if mounted.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + mounted.stderr.strip())
        try:
            earlier = {}
            for name, make, phone in self.writers():
                path = os.path.join(disk, name)
                earlier[name] = ("an earlier %s that must survive\n" % name).encode()
                with open(path, "wb") as f:
                    f.write(earlier[name])
            # Fill what is left of the disk.
            filler = os.open(os.path.join(disk, "filler"), os.O_WRONLY | os.O_CREAT, 0o600)
            try:
                while os.write(filler, b"\0" * 512) > 0:
                    pass
            except OSError:
                pass
            os.close(filler)
            listing = sorted(os.listdir(disk))
            for name, make, phone in self.writers():
                path = os.path.join(disk, name)
                result = run(phone, *make(path))
                self.assertEqual(result.returncode, 5, (name, result.stdout, result.stderr))
                self.assertIn("cannot write " + path, result.stderr, name)
                self.assertEqual(read_bytes(path), earlier[name], name)
                self.assertEqual(sorted(os.listdir(disk)), listing, name + ": something was left behind")
        finally:
            subprocess.run(["umount", disk], check=False)

    def test_every_file_is_the_users_alone_whatever_the_umask(self):
        for name, make, phone in self.writers():
            path = os.path.join(self.dir.name, name)
            # One earlier file open to all, one new file: both end up 0600.
            if name.endswith((".json", ".wav", ".nol")):
                with open(path, "wb") as f:
                    f.write(b"old")
                os.chmod(path, 0o666)
            result = run(phone, *make(path), umask=0)
            self.assertEqual(result.returncode, 0, (name, result.stdout, result.stderr))
            self.assertEqual(stat.S_IMODE(os.lstat(path).st_mode), 0o600, name)
            self.assertGreater(os.path.getsize(path), 3, name)
        self.assertEqual(sorted(os.listdir(self.dir.name)), sorted(name for name, _, _ in self.writers()))
        with open(os.path.join(self.dir.name, "sms.json"), encoding="utf-8") as f:
            self.assertEqual(len(json.load(f)["messages"]), 8)

    def test_a_link_planted_at_the_target_is_replaced_not_written_through(self):
        victim = os.path.join(self.dir.name, "victim")
        with open(victim, "wb") as f:
            f.write(b"precious")
        for name, make, phone in self.writers():
            path = os.path.join(self.dir.name, name)
            os.symlink(victim, path)
            result = run(phone, *make(path))
            self.assertEqual(result.returncode, 0, (name, result.stdout, result.stderr))
            self.assertFalse(os.path.islink(path), name)
            self.assertTrue(stat.S_ISREG(os.lstat(path).st_mode), name)
            self.assertEqual(read_bytes(victim), b"precious", name)

    def test_a_directory_at_the_target_is_refused(self):
        path = os.path.join(self.dir.name, "sms.json")
        os.mkdir(path)
        result = run(self.phone, "sms", "backup", path)
        self.assertEqual(result.returncode, 5, result.stderr)
        self.assertIn("cannot write", result.stderr)
        self.assertEqual(os.listdir(self.dir.name), ["sms.json"])


def processes_with(marker):
    """PIDs of the processes whose environment holds `marker`."""
    found = []
    for entry in os.listdir("/proc"):
        if entry.isdigit():
            try:
                with open("/proc/%s/environ" % entry, "rb") as f:
                    if marker.encode() in f.read():
                        found.append(int(entry))
            except OSError:
                pass
    return found


class Watch:
    """`pelkor watch --json` against a phone; its events as they come."""

    def __init__(self, phone, *extra, seconds=120):
        self.process = subprocess.Popen([PELKOR, "--port", phone.device, "--json", "watch", "--seconds",
                                         str(seconds), *extra], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                                        text=True, encoding="utf-8")
        # A thread reads the lines, so that a wait can end without losing any.
        self.lines = queue.Queue()
        self.reader = threading.Thread(target=self.read_lines, daemon=True)
        self.reader.start()
        first = self.lines.get(timeout=60)
        if first is None:
            raise AssertionError("watch did not start: " + self.process.stderr.read())
        assert json.loads(first) == {"event": "watching"}, first

    def read_lines(self):
        for line in self.process.stdout:
            self.lines.put(line)
        self.lines.put(None)

    def events(self, count, timeout):
        """The messages of the next `count` message events (fewer when the time runs out)."""
        got = []
        deadline = time.monotonic() + timeout
        while len(got) < count:
            try:
                line = self.lines.get(timeout=max(0.01, deadline - time.monotonic()))
            except queue.Empty:
                break
            if line is None:
                self.lines.put(None)
                break
            event = json.loads(line)
            if event.get("event") == "sms":
                got.append(event["message"])
        return got

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
        try:
            self.process.wait(timeout=30)
        finally:
            if self.process.poll() is None:
                self.process.kill()
            self.reader.join(timeout=10)
            self.stderr = self.process.stderr.read()
            self.process.stdout.close()
            self.process.stderr.close()


class WatchReportsEveryMessage(unittest.TestCase):
    def test_twelve_quick_arrivals_give_twelve_reports(self):
        phone = PhonesimOnStdin()
        try:
            watch = Watch(phone)
            try:
                for i in range(1, 13):
                    self.assertTrue(phone.control("sms deliver +4915550%03d quick %d" % (i, i)).startswith("ok"))
                events = watch.events(12, timeout=60)
                # Nothing more than the twelve comes after them.
                events += watch.events(1, timeout=2)
            finally:
                watch.stop()
            self.assertEqual(sorted(e["text"] for e in events), sorted("quick %d" % i for i in range(1, 13)))
            self.assertEqual(sorted(e["location"] for e in events), list(range(1, 13)))
        finally:
            phone.close()

    def test_more_arrivals_than_the_library_list_holds(self):
        # The store is emptied on the handset now and then; the watch itself deletes
        # nothing, and the library's list must never fill up and silence it.
        phone = PhonesimOnStdin({"sms": {"capacity": 40, "messages": []}})
        try:
            watch = Watch(phone, seconds=280)
            reported = []
            try:
                number = 0
                while number < 560:
                    for _ in range(8):
                        number += 1
                        self.assertTrue(phone.control("sms deliver +4915551000 arrival %d" % number)
                                        .startswith("ok"), number)
                    got = watch.events(8, timeout=30)
                    reported += got
                    self.assertEqual(len(got), 8, "silent after %d reports" % len(reported))
                    if number % 40 == 0:
                        self.assertEqual(phone.control("set /sms/messages []"), "ok")
            finally:
                watch.stop()
            self.assertEqual(sorted(e["text"] for e in reported), sorted("arrival %d" % i for i in range(1, 561)))
        finally:
            phone.close()

    def test_watch_deletes_nothing_from_the_phone(self):
        phone = PhonesimOnStdin()
        try:
            watch = Watch(phone)
            try:
                for i in range(1, 11):
                    phone.control("sms deliver +4915552000 keep %d" % i)
                self.assertEqual(len(watch.events(10, timeout=60)), 10)
            finally:
                watch.stop()
            self.assertEqual(len(phone.state()["sms"]["messages"]), 10)
        finally:
            phone.close()

    def test_exec_past_its_limit_is_ended_with_its_whole_process_group(self):
        phone = PhonesimOnStdin()
        marker = "pelkor-exec-%d-%d" % (os.getpid(), time.monotonic_ns())
        try:
            watch = Watch(phone, "--exec", "sleep 77 | cat", "--exec-timeout", "2")
            try:
                phone.control("sms deliver +4915553000 " + marker)
                self.assertEqual(len(watch.events(1, timeout=30)), 1)
                time.sleep(1)
                self.assertTrue(processes_with(marker), "the command did not start")
                deadline = time.monotonic() + 10
                while processes_with(marker) and time.monotonic() < deadline:
                    time.sleep(0.2)
                self.assertEqual(processes_with(marker), [], "sleep or cat outlived the limit")
                self.assertIsNone(watch.process.poll(), "the watch went on")
            finally:
                watch.stop()
                for pid in processes_with(marker):
                    os.kill(pid, 9)
            self.assertIn("ended after 2 s", watch.stderr)
        finally:
            phone.close()

    def test_exec_timeout_must_be_a_sensible_number(self):
        result = run(None, "watch", "--exec", "true", "--exec-timeout", "0")
        self.assertEqual(result.returncode, 1, result.stderr)
        self.assertIn("--exec-timeout", result.stderr)


HOSTILE = "\x1b[2J\x1b]0;owned\x07\rX\x08\x9b31m\u202etxt\x7f\nsecond line"
NAME = "Eve\x1b[8m\x9bhidden"


def assert_nothing_raw(test, output):
    for raw in ("\x1b", "\x07", "\r", "\x08", "\x9b", "\u202e", "\x7f"):
        test.assertNotIn(raw, output)


class NoTerminalEscapesFromThePhone(unittest.TestCase):
    def setUp(self):
        self.phone = PhonesimOnStdin({"phonebook": {"memories": {"2": {"capacity": 5, "entries": {
            "1": {"name": NAME, "number": "5551234", "group": 0}}}}}})
        self.assertEqual(self.phone.control("set /sms/capacity 15"), "ok")
        self.assertEqual(self.phone.control("set /sms/messages/- " + json.dumps(
            {"location": 3, "coding": "ucs2", "text": HOSTILE, "sender": "+4917000"})), "ok")

    def tearDown(self):
        self.phone.close()

    def check_shown(self, output):
        assert_nothing_raw(self, output)
        self.assertIn("\\x1b[2J", output)
        self.assertIn("\\x1b]0;owned\\x07", output)
        self.assertIn("\\rX", output)
        # The line break stays a line break.
        self.assertRegex(output, r"\\u202etxt\\x7f\n(   )?second line")

    def test_list_and_read_show_controls_and_json_stays_exact(self):
        for args in (["sms", "list"], ["sms", "read", "3"]):
            shown = run(self.phone, *args)
            self.assertEqual(shown.returncode, 0, shown.stderr)
            self.check_shown(shown.stdout)
            exact = run(self.phone, "--json", *args)
            self.assertEqual(exact.returncode, 0, exact.stderr)
            data = json.loads(exact.stdout)
            text = data["messages"][0]["text"] if "messages" in data else data["message"]["text"]
            self.assertEqual(text, HOSTILE)

    def test_watch_shows_an_arrival_visibly(self):
        watch = subprocess.Popen([PELKOR, "--port", self.phone.device, "watch", "--seconds", "4"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True, encoding="utf-8")
        try:
            self.assertIn("watching", watch.stdout.readline())
            self.assertEqual(self.phone.control("set /sms/messages/- " + json.dumps(
                {"location": 5, "coding": "ucs2", "text": HOSTILE, "sender": "+4917001"})), "ok")
            self.assertEqual(self.phone.control("send 02 01 08 00 10 02 05 00"), "ok")
            out, err = watch.communicate(timeout=60)
        finally:
            if watch.poll() is None:
                watch.kill()
                watch.communicate()
        self.assertEqual(watch.returncode, 0, err)
        self.assertIn("new message at location 5", out)
        self.check_shown(out)

    def test_phonebook_names_are_shown_visibly(self):
        shown = run(self.phone, "pb", "list", "--memory", "phone")
        self.assertEqual(shown.returncode, 0, shown.stderr)
        assert_nothing_raw(self, shown.stdout)
        self.assertIn("Eve\\x1b[8m\\u009bhidden", shown.stdout)
        exact = json.loads(run(self.phone, "--json", "pb", "list", "--memory", "phone").stdout)
        self.assertEqual(exact["entries"][0]["name"], NAME)


if __name__ == "__main__":
    unittest.main()
