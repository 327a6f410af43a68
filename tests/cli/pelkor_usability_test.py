"""pelkor as people and scripts meet it: exit statuses, messages in words, arguments and
files checked before anything is sent, media conversions, and the tool's conventions.
The binary runs against the simulated phone it starts itself, or against a phonesim
started here when a test needs to steer or inspect the phone."""
import calendar
import json
import os
import pty
import re
import select
import shutil
import socket
import struct
import subprocess
import tempfile
import time
import unittest
import wave
import zlib

PELKOR = os.environ.get("PELKOR", "pelkor")
PHONESIM = os.environ.get("PHONESIM", "phonesim")
EXAMPLES = os.environ.get("PELKOR_EXAMPLES", "examples")
SOURCE = os.environ.get("PELKOR_SOURCE", os.path.join(os.path.dirname(__file__), "..", ".."))
PROVIDERS = "/usr/share/mobile-broadband-provider-info/serviceproviders.xml"


def run(*args, env=None, status=None):
    full_env = dict(os.environ)
    full_env.pop("PELKOR_PORT", None)
    full_env.update(env or {})
    result = subprocess.run([PELKOR, *args], capture_output=True, text=True, timeout=120, env=full_env)
    if status is not None and result.returncode != status:
        raise AssertionError(f"pelkor {' '.join(args)} exited {result.returncode}, not {status}\n"
                             f"stdout: {result.stdout}\nstderr: {result.stderr}")
    return result


def run_json(*args, env=None):
    return json.loads(run("--json", *args, env=env, status=0).stdout)


def example(*parts):
    return os.path.join(EXAMPLES, *parts)


# ---- small writers of the image formats, for inputs the tool has never seen ----

def png_bytes(width, height, pixels, alpha=None):
    """A grey (or grey + alpha) PNG; pixels and alpha are rows of 0-255 values."""
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    colour = 4 if alpha else 0
    raw = b""
    for y in range(height):
        raw += b"\x00"
        for x in range(width):
            raw += bytes([pixels[y][x]] + ([alpha[y][x]] if alpha else []))
    header = struct.pack(">IIBBBBB", width, height, 8, colour, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw)) +
            chunk(b"IEND", b""))


def bmp24_bytes(width, height, pixels):
    """A 24-bit bottom-up BMP of grey rows."""
    stride = (width * 3 + 3) // 4 * 4
    body = b""
    for y in reversed(range(height)):
        row = b"".join(bytes([pixels[y][x]] * 3) for x in range(width))
        body += row + b"\x00" * (stride - len(row))
    header = struct.pack("<2sIHHI", b"BM", 54 + len(body), 0, 0, 54)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, len(body), 2835, 2835, 0, 0)
    return header + info + body


def rows_to_grey(rows, factor=1):
    """'#'/'.' rows as grey pixels, each pixel blown up to factor x factor."""
    out = []
    for row in rows:
        line = [0 if c == "#" else 255 for c in row for _ in range(factor)]
        out.extend([line] * factor)
    return out


def row_major_hex(rows):
    """'#'/'.' rows as the phone holds a 72-pixel logo: row by row, leftmost pixel in the top bit."""
    bits = "".join("1" if c == "#" else "0" for row in rows for c in row)
    return " ".join(f"{int(bits[i:i + 8], 2):02X}" for i in range(0, len(bits), 8))


def midi_events(data):
    """(tempo in microseconds a quarter, [(key, ticks)...], total ticks) of a format 0 file."""
    assert data[:4] == b"MThd" and struct.unpack(">IHHH", data[4:14]) == (6, 0, 1, 480), data[:14]
    assert data[14:18] == b"MTrk"
    length = struct.unpack(">I", data[18:22])[0]
    track = data[22:22 + length]
    assert len(track) == length and track.endswith(b"\xff\x2f\x00")
    at, now, tempo, notes, started = 0, 0, None, [], {}

    def variable():
        nonlocal at
        value = 0
        while True:
            byte = track[at]
            at += 1
            value = (value << 7) | (byte & 0x7F)
            if byte < 0x80:
                return value
    while at < len(track):
        now += variable()
        status = track[at]
        at += 1
        if status == 0xFF:
            kind = track[at]
            at += 1
            size = variable()
            if kind == 0x51:
                tempo = int.from_bytes(track[at:at + 3], "big")
            at += size
        elif status & 0xF0 == 0xC0:
            at += 1
        elif status & 0xF0 == 0x90:
            started[track[at]] = now
            at += 2
        elif status & 0xF0 == 0x80:
            notes.append((track[at], now - started.pop(track[at])))
            at += 2
        else:
            raise AssertionError(f"unexpected MIDI status {status:#x}")
    return tempo, notes, now


class Phonesim:
    """A phonesim of our own with its control socket, for steering and inspecting the phone."""

    def __init__(self):
        self.dir = tempfile.TemporaryDirectory()
        self.control = os.path.join(self.dir.name, "control.sock")
        self.process = subprocess.Popen([PHONESIM, "--control", self.control], stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.device = self.process.stdout.readline().strip()
        for _ in range(100):
            if os.path.exists(self.control):
                break
            time.sleep(0.02)

    def command(self, line):
        with socket.socket(socket.AF_UNIX) as s:
            # The socket file appears at bind, a moment before the simulator listens.
            for attempt in range(100):
                try:
                    s.connect(self.control)
                    break
                except ConnectionRefusedError:
                    if attempt == 99:
                        raise
                    time.sleep(0.02)
            s.sendall(line.encode() + b"\n")
            s.settimeout(0.5)
            data = b""
            try:
                while True:
                    part = s.recv(65536)
                    if not part:
                        break
                    data += part
                    if line == "dump" and data.rstrip().endswith(b"}"):
                        try:
                            text = data.decode()
                            return json.loads(text[text.index("{"):])
                        except ValueError:
                            continue
            except socket.timeout:
                pass
            return data.decode()

    def close(self):
        self.process.terminate()
        self.process.wait(timeout=10)
        self.dir.cleanup()


class Conventions(unittest.TestCase):
    def test_version_is_the_project_version(self):
        with open(os.path.join(SOURCE, "CMakeLists.txt")) as f:
            version = re.search(r"project\(pelkor16 VERSION ([0-9.]+)", f.read()).group(1)
        self.assertEqual(run("--version", status=0).stdout.strip(), f"pelkor {version}")

    def test_one_exit_status_table_in_help_and_readme(self):
        help_table = dict(re.findall(r"^  (\d)  (.+)$", run("--help", status=0).stdout, re.M))
        self.assertEqual(sorted(help_table), [str(n) for n in range(8)])
        with open(os.path.join(SOURCE, "README.md")) as f:
            readme_table = dict(re.findall(r"^\| (\d) \| (.+?) \|$", f.read(), re.M))
        self.assertEqual(readme_table, help_table)

    def test_command_line_mistakes_are_usage_errors(self):
        for args in (["--no-such-option", "identify"], ["clock", "set"], ["tone", "loud"], ["nonsense"]):
            self.assertEqual(run(*args).returncode, 1, args)

    def test_each_group_help_shows_its_own_examples(self):
        for group in ("clock", "alarm", "net", "sms", "pb", "speeddial", "logo", "ringtone"):
            out = run(group, "--help", status=0).stdout
            self.assertRegex(out, rf"Examples?:\n(  pelkor .*\n)*  pelkor {group} ", group)
            self.assertNotIn("Exit status:", out, group)

    def test_clock_set_now_and_the_demo_use_local_time(self):
        zone = {"TZ": "JST-9"}  # nine hours east of UTC, no daylight saving
        # Wall-clock readings as seconds, compared with the time now nine hours east.
        def wall(text):
            return calendar.timegm(time.strptime(text, "%Y-%m-%d %H:%M:%S"))
        data = run_json("clock", "set", "now", env=zone)
        self.assertLess(abs(wall(data["datetime"]) - (time.time() + 9 * 3600)), 120, data)
        with tempfile.TemporaryDirectory() as tmp:
            out = run("demo", "--keep", env=dict(zone, TMPDIR=tmp), status=0).stdout
            reads = re.search(r"local time: ok; the phone now reads (\S+ \S+)", out).group(1)
            self.assertLess(abs(wall(reads) - (time.time() + 9 * 3600)), 120, reads)
            wav_path = re.search(r"rendered \d+ ms of it to (\S+)", out).group(1)
            self.assertTrue(wav_path.startswith(tmp + "/pelkor-demo-"), wav_path)
            with wave.open(wav_path) as w:
                self.assertGreater(w.getnframes(), 8000)
        self.assertRegex(out, r"== Reading the message store\n  read the whole message store; inbox \d+")


class PortsAndTheSimulatedPhone(unittest.TestCase):
    def test_the_simulated_phone_is_announced(self):
        result = run("identify", status=0)
        self.assertIn("no --port given: using the simulated phone", result.stderr)

    def test_port_from_the_environment_and_its_resolved_path(self):
        result = run("identify", env={"PELKOR_PORT": "COM200"})
        self.assertEqual(result.returncode, 6)
        self.assertIn("cannot open COM200 (from PELKOR_PORT) = /dev/ttyS199: No such file or directory",
                      result.stderr)
        self.assertNotIn("simulated", result.stderr)

    def test_a_file_that_is_no_serial_port(self):
        result = run("--port", "/dev/null", "status")
        self.assertEqual(result.returncode, 6)
        self.assertIn("it is not a serial port", result.stderr)

    @unittest.skipUnless(os.geteuid() == 0 and shutil.which("setpriv"), "needs root to run as another user")
    def test_permission_refused_gives_the_dialout_hint(self):
        with tempfile.NamedTemporaryFile() as port:
            os.chmod(port.name, 0o600)
            result = subprocess.run(["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups",
                                     PELKOR, "--port", port.name, "identify"],
                                    capture_output=True, text=True, timeout=60)
        self.assertEqual(result.returncode, 6, result.stderr)
        self.assertIn(f"cannot open {port.name} (from --port): Permission denied", result.stderr)
        self.assertIn("dialout group", result.stderr)

    def test_a_silent_phone_shows_the_wait_and_exits_2(self):
        phone = Phonesim()
        try:
            phone.command("silent on")
            master, slave = pty.openpty()
            env = dict(os.environ)
            env.pop("PELKOR_PORT", None)
            process = subprocess.Popen([PELKOR, "--port", phone.device + "F", "identify"],
                                       stdout=subprocess.PIPE, stderr=slave, env=env)
            os.close(slave)
            process.stdout.read()
            process.wait(timeout=30)
            seen = b""
            while select.select([master], [], [], 0.2)[0]:
                try:
                    part = os.read(master, 4096)
                except OSError:
                    break
                if not part:
                    break
                seen += part
            os.close(master)
        finally:
            phone.close()
        text = seen.decode(errors="replace")
        self.assertEqual(process.returncode, 2)
        self.assertRegex(text, r"[|/\\-] waiting for the phone on " + re.escape(phone.device) + r"F .*\(up to 0\.1 s\)")
        self.assertIn("did not answer within 0.1 s", text)


class ArgumentsAreCheckedFirst(unittest.TestCase):
    """Bad arguments are refused in words, with status 1, before a phone is even opened."""

    CASES = [
        (["clock", "set", "2026-02-30 10:00"], "2026-02 has no day 30"),
        (["clock", "set", "2028-02-29 10:00:61"], "no time of day"),
        (["clock", "set", "26-01-01 10:00"], "four digits"),
        (["clock", "set", "2026-13-01 10:00"], "no month 13"),
        (["clock", "set", "yesterday"], "YYYY-MM-DD HH:MM"),
        (["alarm", "set", "7:3x"], "HH:MM"),
        (["dial", "12ab"], "not a number to dial"),
        (["dial", "1" * 50], "at most 49"),
        (["dtmf", "12x"], "'x' is not a DTMF digit"),
        (["tone", "5"], "the frequency 5 Hz is outside 20-20000 Hz"),
        (["tone", "440", "--ms", "0"], "the duration 0 ms"),
        (["tone", "440", "--volume", "300"], "the volume 300"),
        (["net", "monitor", "300"], "0-255"),
        (["net", "monitor", "bogus"], "next, field, devel, off and reset"),
        (["watch", "--seconds", "-1"], "below 0"),
        (["logo", "put", example("logos", "caller_group.ngg"), "--group", "9"], "the caller group 9 is outside 0-4"),
        (["logo", "put", example("logos", "operator.nol"), "--network", "2620"], "three country digits"),
        (["logo", "put", example("logos", "operator.nol"), "--network", "262 01", "--group", "1"], "not both"),
        (["logo", "put", example("logos", "startup.form"), "--network", "262 01"], "no network code or caller group"),
        (["logo", "send", example("logos", "startup.form"), "+4912345"], "only operator and caller-group logos"),
        (["logo", "send", example("logos", "operator.nol"), "0049-12a"], "not a phone number"),
        (["logo", "get", "caller", "--group", "5"], "outside 0-4"),
        (["logo", "get", "operator", "x.form"], "a FORM file holds a start-up logo"),
        (["ringtone", "send", example("scale.rtttl"), "+49 12x"], "not a phone number"),
        (["wav", "out.wav", "440:0"], "the duration in 440:0"),
        (["wav", "out.wav", "99999:10"], "the frequency in 99999:10"),
    ]

    def test_each_bad_argument_is_named_and_nothing_is_opened(self):
        with tempfile.TemporaryDirectory() as d:
            for args, words in self.CASES:
                result = run(*[os.path.join(d, a) if a.endswith(".wav") else a for a in args])
                self.assertEqual(result.returncode, 1, (args, result.stderr))
                self.assertIn(words, result.stderr, args)
                self.assertNotIn("simulated phone", result.stderr, args)
            self.assertEqual(os.listdir(d), [])

    def test_errors_in_json_mode_are_json(self):
        result = run("--json", "tone", "5")
        self.assertEqual(result.returncode, 1)
        error = json.loads(result.stdout)["error"]
        self.assertIn("frequency 5 Hz", error["message"])


class BadFiles(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def file(self, name, data):
        path = os.path.join(self.dir.name, name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_logo_files_say_what_is_wrong(self):
        with open(example("logos", "operator.nol"), "rb") as f:
            nol = f.read()
        with open(example("logos", "startup.form"), "rb") as f:
            form = f.read()
        nlm_startup_small = b"NLM \x01\x02\x00" + bytes([72, 14, 1]) + b"\x00" * 126
        cases = [
            (os.path.join(self.dir.name, "absent.nol"), "no such file"),
            (self.dir.name, "it is a folder"),
            (self.file("empty.nol", b""), "the file is empty"),
            (self.file("notes.txt", b"just some text\n"), "not a logo file"),
            (self.file("head.nol", nol[:12]), "ends inside its NOL header"),
            (self.file("cut.nol", nol[:500]), "ends inside the bitmap (480 of 1008 pixel characters for 72x14)"),
            (self.file("junk.nol", nol[:40] + b"x" + nol[41:]), "other than 0 and 1 at byte 40"),
            (self.file("huge.nol", nol[:10] + bytes([200, 0, 100, 0]) + nol[14:]), "200x100 pixels"),
            (self.file("nochunk.form", b"FORM\x00\x10VERS\x00\x02ab"), "without a start-up logo chunk"),
            (self.file("cut.form", form[:300]), "ends inside the bitmap"),
            (self.file("type.nlm", b"NLM \x01\x07\x00\x48\x0e\x01"), "unknown logo type 7"),
            (self.file("small.nlm", nlm_startup_small), "the whole 84x48 screen"),
            (self.file("cut.png", png_bytes(72, 14, [[255] * 72] * 14)[:60]), "ends inside the image data"),
            (self.file("cut.bmp", bmp24_bytes(84, 48, [[255] * 84] * 48)[:500]), "ends inside the bitmap"),
        ]
        for path, words in cases:
            for command in (["logo", "show", path], ["logo", "put", path]):
                result = run(*command)
                self.assertEqual(result.returncode, 4, (command, result.stderr))
                self.assertIn(os.path.basename(path) + ": ", result.stderr)
                self.assertIn(words, result.stderr, command)
                self.assertNotIn("simulated phone", result.stderr, command)

    def test_ringtone_files_without_a_note_are_refused(self):
        cases = [
            (os.path.join(self.dir.name, "absent.rtttl"), "no such file"),
            (self.dir.name, "it is a folder"),
            (self.file("empty.rtttl", b""), "the file is empty"),
            (self.file("prose.rtttl", b"this is not a tune at all"), "no notes found"),
            (self.file("pauses.rtttl", b"Quiet:d=4,o=5,b=100:p,8p,2p"), "no valid note"),
            (self.file("junk.rtttl", b"Quiet:d=4,o=5,b=100:p,zz,8q"), 'note 2: "zz" is not a note'),
        ]
        for path, words in cases:
            for command in (["ringtone", "show", path], ["ringtone", "put", path],
                            ["ringtone", "convert", path, os.path.join(self.dir.name, "out.mid")]):
                result = run(*command)
                self.assertEqual(result.returncode, 4, (command, result.stderr))
                self.assertIn(words, result.stderr, command)
        self.assertFalse(os.path.exists(os.path.join(self.dir.name, "out.mid")))

    def test_an_output_that_cannot_be_written(self):
        missing = os.path.join(self.dir.name, "no", "such", "folder")
        for command in (["logo", "convert", example("logos", "operator.nol"), missing + "/o.png"],
                        ["ringtone", "convert", example("scale.rtttl"), missing + "/s.mid"],
                        ["wav", missing + "/t.wav", "440:10"]):
            result = run(*command)
            self.assertEqual(result.returncode, 5, (command, result.stderr))
            self.assertIn("cannot write " + missing, result.stderr)


class ResultsInWords(unittest.TestCase):
    def test_status_names_the_lit_indicators(self):
        out = run("status", status=0).stdout
        self.assertRegex(out, r"display +display indicators 1 \(call in progress\) and 4 \(voice call\)\n")
        self.assertRegex(out, r"power +battery")
        self.assertNotIn("10010000", out)
        data = run_json("status")
        self.assertEqual((data["display"], data["indicators_on"]), ("10010000", [1, 4]))

    def test_tone_and_monitor_in_words(self):
        self.assertIn("played 440 Hz for 50 ms at volume 4", run("tone", "440", "--ms", "50", status=0).stdout)
        self.assertEqual(run_json("tone", "440", "--ms", "50")["played"], {"frequency": 440, "ms": 50, "volume": 4})
        self.assertRegex(run("net", "monitor", "2", status=0).stdout, r"^screen 2: .*CELL 1234")
        self.assertIn("alarm            07:00, switched off", run("alarm", "get", status=0).stdout)
        for command in (["status"], ["alarm", "get"], ["beep"], ["hangup"], ["reset", "soft"], ["identify"]):
            out = run(*command, status=0).stdout
            self.assertNotRegex(out, r"\b(true|false)\b|[{}]", command)

    def test_network_name_from_the_provider_database(self):
        with tempfile.TemporaryDirectory() as d:
            xml = os.path.join(d, "providers.xml")
            with open(xml, "w") as f:
                f.write('<serviceproviders><country code="de">'
                        '<provider><name>Reseller &amp; Co</name><gsm><network-id mcc="262" mnc="01"/></gsm></provider>'
                        '<provider primary="true"><name xml:lang="de">Netz Eins</name>'
                        '<gsm><network-id mcc="262" mnc="1"/><apn value="x"><name>Web</name></apn></gsm></provider>'
                        '<provider><name>Other</name><gsm><network-id mcc="262" mnc="02"/></gsm></provider>'
                        '</country></serviceproviders>')
            data = run_json("net", "info", env={"PELKOR_PROVIDERS_XML": xml})
            self.assertEqual((data["network_code"], data["network_name"]), ("262 01", "Netz Eins"))
            self.assertRegex(run("net", "info", env={"PELKOR_PROVIDERS_XML": xml}, status=0).stdout,
                             r"network +262 01 \(Netz Eins\)")
            with open(xml, "w") as f:
                f.write('<serviceproviders><provider><name>Reseller &amp; Co</name>'
                        '<gsm><network-id mcc="262" mnc="01"/></gsm></provider></serviceproviders>')
            self.assertEqual(run_json("net", "info", env={"PELKOR_PROVIDERS_XML": xml})["network_name"], "Reseller & Co")
        # Without a database the code alone is shown.
        data = run_json("net", "info", env={"PELKOR_PROVIDERS_XML": "/nonexistent/providers.xml"})
        self.assertIsNone(data["network_name"])
        self.assertRegex(run("net", "info", env={"PELKOR_PROVIDERS_XML": "/nonexistent"}, status=0).stdout,
                         r"network +262 01\n")

    @unittest.skipUnless(os.path.exists(PROVIDERS), "mobile-broadband-provider-info is not installed")
    def test_network_name_from_the_installed_database(self):
        self.assertTrue(run_json("net", "info")["network_name"])


class LogoMedia(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.dir.cleanup()

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def write(self, name, data):
        with open(self.path(name), "wb") as f:
            f.write(data)
        return self.path(name)

    def test_convert_follows_the_output_extension(self):
        nol = example("logos", "operator.nol")
        rows = run_json("logo", "show", nol)["logo"]["rows"]
        run("logo", "convert", nol, self.path("group.ngg"), status=0)
        with open(self.path("group.ngg"), "rb") as f:
            self.assertEqual(f.read(3), b"NGG")
        shown = run_json("logo", "show", self.path("group.ngg"))
        self.assertEqual((shown["logo"]["kind"], shown["logo"]["rows"]), ("caller", rows))
        run("logo", "convert", nol, self.path("o.bmp"), status=0)
        with open(self.path("o.bmp"), "rb") as f:
            self.assertEqual(f.read(2), b"BM")
        self.assertEqual(run_json("logo", "show", self.path("o.bmp"))["logo"]["rows"], rows)
        form_rows = run_json("logo", "show", example("logos", "startup.form"))["logo"]["rows"]
        run("logo", "convert", example("logos", "startup.form"), self.path("s.fml"), status=0)
        with open(self.path("s.fml"), "rb") as f:
            self.assertEqual(f.read(4), b"FORM")
        self.assertEqual(run_json("logo", "show", self.path("s.fml"))["logo"]["rows"], form_rows)
        for source, kind in ((nol, "operator"), (self.path("group.ngg"), "caller"),
                             (example("logos", "startup.form"), "startup")):
            nlm = self.path("copy.nlm")
            run("logo", "convert", source, nlm, status=0)
            with open(nlm, "rb") as f:
                self.assertEqual(f.read(6)[:3], b"NLM")
            shown = run_json("logo", "show", nlm)
            self.assertEqual((shown["logo"]["kind"], shown["logo"]["rows"]),
                             (kind, form_rows if kind == "startup" else rows))
        for output, words in (("x.gif", "unknown output type"),
                              ("x.form", "cannot be written as a start-up logo")):
            result = run("logo", "convert", nol, self.path(output))
            self.assertEqual(result.returncode, 1, output)
            self.assertIn(words, result.stderr)
            self.assertFalse(os.path.exists(self.path(output)))

    def test_network_code_is_set_and_kept(self):
        png = self.path("o.png")
        run("logo", "convert", example("logos", "operator.nol"), png, status=0)
        refused = run("logo", "convert", png, self.path("o.nol"))
        self.assertEqual(refused.returncode, 1)
        self.assertIn("--network", refused.stderr)
        run("logo", "convert", png, self.path("o.nol"), "--network", "24405", status=0)
        self.assertEqual(run_json("logo", "show", self.path("o.nol"))["logo"]["network_code"], "244 05")

    def test_images_of_another_size_are_scaled_not_blanked(self):
        rows = run_json("logo", "show", example("logos", "startup.form"))["logo"]["rows"]
        big = self.write("big.png", png_bytes(168, 96, rows_to_grey(rows, 2)))
        result = run("--json", "logo", "show", big, status=0)
        self.assertIn("scaled the 168x96 image to fit the 84x48 start-up logo", result.stderr)
        self.assertEqual(json.loads(result.stdout)["logo"]["rows"], rows)
        bmp = self.write("big.bmp", bmp24_bytes(168, 96, rows_to_grey(rows, 2)))
        self.assertEqual(run_json("logo", "show", bmp)["logo"]["rows"], rows)
        # A wide image becomes an operator logo; one of another shape is centred in the kind
        # the output asks for; an image that would vanish is refused.
        shown = run_json("logo", "show", self.write("wide.png", png_bytes(144, 14, [[0] * 144] * 14)))
        self.assertEqual(shown["logo"]["kind"], "operator")
        self.assertEqual(shown["logo"]["rows"], ["." * 72] * 3 + ["#" * 72] * 7 + ["." * 72] * 4)
        narrow = self.write("narrow.png", png_bytes(36, 14, [[0] * 36] * 14))
        run("logo", "convert", narrow, self.path("narrow.nol"), "--network", "262 01", status=0)
        self.assertEqual(run_json("logo", "show", self.path("narrow.nol"))["logo"]["rows"], ["." * 18 + "#" * 36 + "." * 18] * 14)
        hairline = [[255] * 400 for _ in range(400)]
        hairline[200] = [0] * 400
        result = run("logo", "show", self.write("hairline.png", png_bytes(400, 400, hairline)))
        self.assertEqual(result.returncode, 4)
        self.assertIn("nothing dark is left", result.stderr)

    def test_transparent_parts_of_a_png_are_light(self):
        grey = [[0] * 72 for _ in range(14)]  # black everywhere...
        alpha = [[255 if x < 8 else 0 for x in range(72)] for _ in range(14)]  # ...but only 8 columns opaque
        rows = run_json("logo", "show", self.write("t.png", png_bytes(72, 14, grey, alpha)))["logo"]["rows"]
        self.assertEqual(rows, ["#" * 8 + "." * 64] * 14)

    def test_put_with_network_and_group_reaches_the_phone(self):
        phone = Phonesim()
        try:
            before = phone.command("dump")["logos"]["caller_groups"][2]
            run("--port", phone.device, "logo", "put", example("logos", "caller_group.ngg"), "--group", "2", status=0)
            png = self.write("op.png", png_bytes(72, 14, [[0 if (x + y) % 3 == 0 else 255 for x in range(72)]
                                                          for y in range(14)]))
            out = run("--port", phone.device, "logo", "put", png, "--network", "244 05", status=0).stdout
            self.assertRegex(out, r"network +244 05")
            logos = phone.command("dump")["logos"]
        finally:
            phone.close()
        group = logos["caller_groups"][2]
        # The group keeps its name and ringtone; the picture is the file's.
        self.assertEqual((group["name"], group["ringtone"]), (before["name"], before["ringtone"]))
        rows = run_json("logo", "show", example("logos", "caller_group.ngg"))["logo"]["rows"]
        self.assertEqual(group["bitmap"], row_major_hex(rows))
        self.assertNotEqual(before["bitmap"], group["bitmap"])
        self.assertEqual(logos["operator"]["network"], "244 05")
        self.assertEqual(logos["operator"]["bitmap"].split()[0], "92")  # 1001 0010: every third pixel


class RingtoneMedia(unittest.TestCase):
    def test_midi_beside_wav_and_rtttl(self):
        with tempfile.TemporaryDirectory() as d:
            tune = example("scale.rtttl")  # Scale:d=8,o=5,b=140:c,d,e,f,g,a,h,c6,4p,c6,h,a,g,f,e,d,4c
            midi = os.path.join(d, "scale.mid")
            data = run_json("ringtone", "convert", tune, midi)
            with open(midi, "rb") as f:
                tempo, notes, total = midi_events(f.read())
            self.assertEqual(tempo, 60000000 // 140)
            self.assertEqual([k for k, _ in notes],
                             [72, 74, 76, 77, 79, 81, 83, 84, 84, 83, 81, 79, 77, 76, 74, 72])
            self.assertEqual([t for _, t in notes], [240] * 15 + [480])
            self.assertEqual(total, 240 * 15 + 480 + 480)  # the quarter rest keeps its time
            self.assertAlmostEqual(data["tone"]["milliseconds"], total * 60000 / 140 / 480, delta=10)
            wav_path = os.path.join(d, "scale.wav")
            run("ringtone", "convert", tune, wav_path, status=0)
            with wave.open(wav_path) as w:
                self.assertAlmostEqual(w.getnframes() / 8, data["tone"]["milliseconds"], delta=20)
            rtttl = os.path.join(d, "copy.rtttl")
            run("ringtone", "convert", tune, rtttl, status=0)
            self.assertEqual(run_json("ringtone", "show", rtttl)["tone"]["notes"],
                         run_json("ringtone", "show", tune)["tone"]["notes"])
            result = run("ringtone", "convert", tune, os.path.join(d, "scale.mp3"))
            self.assertEqual(result.returncode, 1)
            self.assertIn("unknown output type", result.stderr)

    def test_dotted_and_sharp_notes_in_midi(self):
        with tempfile.TemporaryDirectory() as d:
            tune = os.path.join(d, "t.rtttl")
            with open(tune, "w") as f:
                f.write("T:d=4,o=5,b=120:4c#.,8a4,2p,16h7")
            midi = os.path.join(d, "t.mid")
            run("ringtone", "convert", tune, midi, status=0)
            with open(midi, "rb") as f:
                tempo, notes, total = midi_events(f.read())
        self.assertEqual(tempo, 500000)
        self.assertEqual(notes, [(73, 720), (69, 240), (107, 120)])
        self.assertEqual(total, 720 + 240 + 960 + 120)


if __name__ == "__main__":
    unittest.main()
