"""End-to-end tests of the pelkor tool: the binary against the simulated phone it starts."""
import json
import os
import subprocess
import tempfile
import unittest
import wave

PELKOR = os.environ.get("PELKOR", "pelkor")
EXAMPLES = os.environ.get("PELKOR_EXAMPLES", "examples")


def run(*args, check_status=None):
    result = subprocess.run([PELKOR, *args], capture_output=True, text=True, timeout=120)
    if check_status is not None and result.returncode != check_status:
        raise AssertionError(f"pelkor {' '.join(args)} exited {result.returncode}\n"
                             f"stdout: {result.stdout}\nstderr: {result.stderr}")
    return result


def run_json(*args):
    return json.loads(run("--json", *args, check_status=0).stdout)


class PhoneCommands(unittest.TestCase):
    def test_demo_tours_the_library(self):
        out = run("demo", check_status=0).stdout
        self.assertIn("init -> 0 (ok)", out)
        self.assertIn("490154203237518", out)
        self.assertIn("terminate -> 0; isalive -> 0", out)
        self.assertIn("logo_upload -> ok", out)
        self.assertIn("ringtone_upload -> ok", out)
        self.assertIn('its ringtone is now "OdeToJoy" with 30 notes', out)

    def test_identify_as_text_and_json(self):
        self.assertIn("NSE-3", run("identify", check_status=0).stdout)
        data = run_json("identify")
        self.assertEqual(data["imei"], "490154203237518")
        self.assertEqual(data["revision"], "SWV 5.24, HW0520")

    def test_status_reports_levels_in_percent(self):
        data = run_json("status")
        self.assertEqual(data["signal_percent"], 75)
        self.assertEqual(data["display"], "10010000")

    def test_clock_and_alarm(self):
        self.assertEqual(run_json("clock", "set", "2001-03-15 12:30")["datetime"], "2001-03-15 12:30:00")
        self.assertRegex(run_json("clock", "get")["datetime"], r"^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$")
        self.assertEqual(run_json("alarm", "set", "07:30")["time"], "07:30")
        bad = run("alarm", "set", "25:99")
        self.assertEqual(bad.returncode, 1)
        self.assertIn("HH:MM", bad.stderr)

    def test_network_and_monitor(self):
        data = run_json("net", "info")
        self.assertEqual((data["network_code"], data["cell_id"], data["area_code"]), ("262 01", "1234", "5678"))
        self.assertIn("CELL 1234", run_json("net", "monitor", "2")["screen"])

    def test_calls_and_tones_return_success(self):
        for args in (["dial", "+4912345"], ["hangup"], ["dtmf", "12#"], ["beep"],
                     ["tone", "440", "--ms", "50"], ["reset", "soft"]):
            run(*args, check_status=0)

    def test_port_that_cannot_be_opened_gives_a_clear_message(self):
        result = run("--port", "/dev/pelkor-no-such-port", "identify")
        self.assertEqual(result.returncode, 6)
        self.assertIn("cannot open /dev/pelkor-no-such-port", result.stderr)
        self.assertIn("No such file or directory", result.stderr)

    def test_every_command_has_help_with_an_example(self):
        for args in (["identify"], ["status"], ["clock", "get"], ["clock", "set"], ["alarm", "get"],
                     ["alarm", "set"], ["dial"], ["hangup"], ["dtmf"], ["beep"], ["tone"], ["reset"],
                     ["watch"], ["net", "info"], ["net", "monitor"], ["sms", "send"], ["sms", "send-ucs2"],
                     ["sms", "list"], ["sms", "read"], ["sms", "delete"], ["sms", "counts"],
                     ["sms", "centre", "get"], ["pb", "get"], ["pb", "set"],
                     ["speeddial", "get"], ["speeddial", "set"], ["logo", "get"], ["logo", "put"],
                     ["logo", "send"], ["logo", "show"], ["logo", "convert"], ["ringtone", "show"],
                     ["ringtone", "wav"], ["ringtone", "put"], ["ringtone", "send"], ["wav"], ["demo"]):
            result = run(*args, "--help", check_status=0)
            self.assertRegex(result.stdout, r"Examples?:\s+pelkor ", args)


class PhonebookCommands(unittest.TestCase):
    def test_entries_and_speed_dials(self):
        entry = run_json("pb", "get", "1", "--memory", "1")
        self.assertIn("name", entry["entry"])
        self.assertEqual(run_json("pb", "set", "3", "Ada", "+4912345678")["entry"]["location"], 3)
        # Refused by the phone (3), or by the tool before anything is sent (1).
        self.assertIn(run("pb", "get", "999", "--memory", "1").returncode, (1, 3))
        self.assertIn(run_json("speeddial", "get", "2")["memory"], ("phone", "sim"))


class Trace(unittest.TestCase):
    def test_trace_file_has_time_stamped_frames_both_ways(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "wire.txt")
            run("--trace", path, "status", check_status=0)
            with open(path) as f:
                lines = f.read().splitlines()
        self.assertTrue(any(" tx " in l and "1E 00 0C 04" in l for l in lines))
        self.assertTrue(any(" rx " in l and "1E 0C 00 04" in l for l in lines))
        for line in lines:
            self.assertRegex(line, r"^\d\d:\d\d:\d\d\.\d{3} (tx|rx) +\d+:( [0-9A-F]{2})+$")


class SmsCommands(unittest.TestCase):
    def test_send_and_refusals(self):
        self.assertEqual(run_json("sms", "send", "+4912345678", "Hello from pelkor")["to"], "+4912345678")
        bad = run("sms", "send", "+49-12a", "x")  # separators go, letters are refused
        self.assertIn(bad.returncode, (1, 3))

    def test_list_reads_the_store(self):
        data = run_json("sms", "list", "--kind", "inbox")
        self.assertEqual(data["kind"], "inbox")
        self.assertIsInstance(data["messages"], list)


class TransferCommands(unittest.TestCase):
    def test_ringtone_upload_and_sms(self):
        tune = os.path.join(EXAMPLES, "ode_to_joy.rtttl")
        self.assertEqual(run_json("ringtone", "put", tune)["input"], tune)
        run("ringtone", "put", tune, "--variant", "0", check_status=0)
        self.assertEqual(run_json("ringtone", "send", tune, "+4912345678")["to"], "+4912345678")

    def test_logo_download_upload_and_sms(self):
        with tempfile.TemporaryDirectory() as d:
            out = os.path.join(d, "startup.png")
            data = run_json("logo", "get", "startup", out)
            self.assertEqual(len(data["logo"]["rows"]), 48)
            self.assertTrue(os.path.getsize(out) > 0)
        nol = os.path.join(EXAMPLES, "logos", "operator.nol")
        run("logo", "put", nol, check_status=0)
        self.assertEqual(run_json("logo", "send", nol, "+4912345678")["to"], "+4912345678")
        # A start-up logo cannot go by SMS: nothing to send (code -1).
        self.assertNotEqual(run("logo", "send", os.path.join(EXAMPLES, "logos", "startup.form"), "+49").returncode, 0)


class FileCommands(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_ringtone_show_and_render(self):
        data = run_json("ringtone", "show", os.path.join(EXAMPLES, "scale.rtttl"))
        self.assertGreater(len(data["tone"]["notes"]), 0)
        out = self.path("scale.wav")
        run("ringtone", "wav", os.path.join(EXAMPLES, "scale.rtttl"), out, check_status=0)
        with wave.open(out) as w:
            self.assertEqual((w.getnchannels(), w.getsampwidth(), w.getframerate()), (1, 1, 8000))
            self.assertGreater(w.getnframes(), 8000)

    def test_wav_tones_and_bad_tone(self):
        out = self.path("beep.wav")
        run("wav", out, "1000:200", "0:100", "1000:200", check_status=0)
        with wave.open(out) as w:
            self.assertEqual(w.getnframes(), 4000)
        self.assertEqual(run("wav", out, "loud").returncode, 1)

    def test_logo_png_round_trip_keeps_every_pixel(self):
        nol = os.path.join(EXAMPLES, "logos", "operator.nol")
        original = run_json("logo", "show", nol)["logo"]["rows"]
        png = self.path("operator.png")
        run("logo", "convert", nol, png, check_status=0)
        self.assertEqual(run_json("logo", "show", png)["logo"]["rows"], original)
        back = self.path("back.nol")
        run("logo", "convert", png, back, "--network", "262 01", check_status=0)
        self.assertEqual(run_json("logo", "show", back)["logo"]["rows"], original)

    def test_logo_show_draws_blocks(self):
        out = run("logo", "show", os.path.join(EXAMPLES, "logos", "startup.form"), check_status=0).stdout
        self.assertIn("84x48", out)
        self.assertIn("\u2588", out)

    def test_missing_file_is_reported(self):
        result = run("logo", "show", self.path("nothing.nol"))
        self.assertEqual(result.returncode, 4)
        self.assertIn("nothing.nol: no such file", result.stderr)


if __name__ == "__main__":
    unittest.main()
