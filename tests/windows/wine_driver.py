#!/usr/bin/env python3
"""Runs the C host programs of the library against the simulated phone and checks what
the phone received.

  wine_driver.py linux   --library libpelkor16.so --host host_api_test --files-test file_families_test
  wine_driver.py wine32  --win32 build-win32   the i686 DLL under 32-bit Wine (a win32 prefix)
  wine_driver.py wine64  --win64 build-win64   the x86_64 DLL under wine64 (--shim modem_lines_shim.so)
  wine_driver.py all     all three, then each Windows file tree compared with the Linux one

Common options: --phonesim, --examples, --header (defaults: this source tree and build/).

In each run the driver starts phonesim with examples/phone-state.json, runs
host_api_test and answers its "@control LINE" requests through phonesim's control
socket, checks the host program's summary line, then checks phonesim's state (what the
phone received: SMS, ringtones, logo, phonebook write, clock and alarm, calls). It runs
file_families_test into an output directory and checks those files on its own; given
the Linux run too it compares the output trees byte for byte.

Each Wine run uses a fresh WINEPREFIX of its architecture, a wineserver of its own
(stopped at the end) and COM5 as a dosdevices symlink to phonesim's pseudo-terminal.
The x86_64 host runs twice, with the modem-line shim preloaded into wine64 (comm-event
waits work) and without it (they fail and the library polls); the i686 host runs
without it, as on a driver without comm events, and the i686 run adds
stack_check_test, which calls every export as a VB6 or Delphi host does and checks the
stack pointer and the callee-saved registers after each call.
"""

import argparse
import calendar
import filecmp
import json
import os
import queue
import re
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

HOST_TIMEOUT_S = 150
FILES_TIMEOUT_S = 60
WINE_COMMAND_TIMEOUT_S = 60
WINEBOOT_TIMEOUT_S = 120
COM_PORT = "COM5"
MISSING_COM_PORT = "COM77"
MISSING_LINUX_PORT = "/dev/pelkor-no-such-port"


# ---- Reporting -----------------------------------------------------------------------------

class Report:
    def __init__(self):
        self.passed = 0
        self.failed = 0
        self.failures = []

    def step(self, text):
        print(f"== {text}", flush=True)

    def check(self, passed, what, detail=""):
        if passed:
            self.passed += 1
            print(f"  ok - {what}", flush=True)
        else:
            self.failed += 1
            self.failures.append(what)
            print(f"  FAIL - {what}" + (f": {detail}" if detail else ""), flush=True)
        return passed

    def equal(self, got, expected, what):
        return self.check(got == expected, what, f"got {got!r}, expected {expected!r}")


# ---- The simulated phone ---------------------------------------------------------------------

class Phone:
    """phonesim on a pseudo-terminal, with its Unix control socket."""

    def __init__(self, phonesim, state, workdir, link=None):
        self.socket_path = os.path.join(workdir, "phonesim.sock")
        command = [phonesim, "--state", state, "--control", self.socket_path]
        if link:
            command += ["--link", link]
        self.log_path = os.path.join(workdir, "phonesim.log")
        self.log = open(self.log_path, "wb")
        self.process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self.log)
        self.device = self._first_line(10)
        self.connection = None
        deadline = time.monotonic() + 10
        while self.connection is None:
            try:
                connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
                connection.connect(self.socket_path)
                self.connection = connection
            except OSError:
                connection.close()
                if time.monotonic() > deadline or self.process.poll() is not None:
                    raise RuntimeError("phonesim's control socket did not come up")
                time.sleep(0.05)
        self.connection.settimeout(15)
        self.pending = b""

    def _first_line(self, timeout):
        """The device path phonesim prints first."""
        data = b""
        deadline = time.monotonic() + timeout
        fd = self.process.stdout.fileno()
        while b"\n" not in data:
            left = deadline - time.monotonic()
            if left <= 0 or not select.select([fd], [], [], left)[0]:
                raise RuntimeError("phonesim printed no device path")
            chunk = os.read(fd, 4096)
            if not chunk:
                raise RuntimeError("phonesim ended before printing its device path")
            data += chunk
        return data.split(b"\n", 1)[0].decode().strip()

    def control(self, line):
        """Sends one control line; phonesim's one-line answer. (Multi-line answers such
        as "frames" are not for this channel.)"""
        self.connection.sendall(line.encode() + b"\n")
        while b"\n" not in self.pending:
            chunk = self.connection.recv(1 << 20)
            if not chunk:
                raise RuntimeError("phonesim closed its control socket")
            self.pending += chunk
        answer, self.pending = self.pending.split(b"\n", 1)
        return answer.decode(errors="replace")

    def dump(self):
        return json.loads(self.control("dump"))

    def stop(self):
        try:
            if self.connection is not None:
                self.control("quit")
                self.connection.close()
        except (OSError, RuntimeError):
            pass
        try:
            self.process.wait(timeout=5)
        except subprocess.TimeoutExpired:
            self.process.terminate()
            try:
                self.process.wait(timeout=5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
        self.log.close()


# ---- Running the host program -----------------------------------------------------------------

SUMMARY = re.compile(r"^(host_api_test|file_families_test|stack_check_test): (\d+) checks, (\d+) failed$")


def run_checked_program(report, name, command, env, cwd, timeout, phone=None):
    """Runs a program of the check-line format, relaying its @control requests to the
    phone; checks its summary line against its check lines and its exit status. True
    when it passed, False when it failed, None when it did not get to its summary."""
    stderr_file = tempfile.TemporaryFile()
    started = time.monotonic()
    process = subprocess.Popen(command, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr_file,
                               env=env, cwd=cwd)
    lines = queue.Queue()

    def read_lines():
        for raw in process.stdout:
            lines.put(raw.decode(errors="replace").rstrip("\r\n"))
        lines.put(None)

    reader = threading.Thread(target=read_lines, daemon=True)
    reader.start()
    ok = failed = 0
    summary = None
    timed_out = False
    deadline = started + timeout
    exited_at = None
    while True:
        try:
            line = lines.get(timeout=0.2)
        except queue.Empty:
            # Under Wine a process left behind may hold the pipe open after the program
            # has ended: stop reading a moment after its exit instead of at end of file.
            if exited_at is None and process.poll() is not None:
                exited_at = time.monotonic()
            if exited_at is not None and time.monotonic() - exited_at > 2:
                break
            if time.monotonic() > deadline:
                timed_out = True
                break
            continue
        if line is None:
            break
        if line.startswith("@control "):
            request = line[len("@control "):]
            try:
                answer = phone.control(request) if phone is not None else "error: no phone"
            except (OSError, RuntimeError) as failure:  # the program gets an answer all the same
                answer = f"error: the control channel failed: {failure}"
            print(f"    @control {request} -> {answer}", flush=True)
            try:
                process.stdin.write(answer.encode() + b"\n")
                process.stdin.flush()
            except OSError:
                pass
            continue
        print(f"    {line}", flush=True)
        if line.startswith("ok - "):
            ok += 1
        elif line.startswith("FAIL - "):
            failed += 1
        elif SUMMARY.match(line):
            summary = SUMMARY.match(line)
        if time.monotonic() > deadline:
            timed_out = True
            break
    if timed_out:
        process.kill()
    try:
        status = process.wait(timeout=15)
    except subprocess.TimeoutExpired:
        process.kill()
        status = process.wait()
    reader.join(timeout=5)
    try:
        process.stdin.close()
    except OSError:
        pass
    took = time.monotonic() - started
    stderr_file.seek(0)
    stderr_text = stderr_file.read().decode(errors="replace")
    stderr_file.close()

    report.check(not timed_out, f"{name} ended within {timeout} s", f"killed after {took:.0f} s")
    if summary is None:
        report.check(False, f"{name} printed its summary line", stderr_text[-2000:])
        return None
    counted = int(summary.group(2)), int(summary.group(3))
    report.equal(counted, (ok + failed, failed), f"{name}'s summary agrees with its check lines")
    report.check(counted[1] == 0 and counted[0] > 0, f"{name}: {counted[0]} checks, {counted[1]} failed",
                 "see the FAIL lines above")
    report.check(status == (0 if counted[1] == 0 else 1), f"{name} exit status matches its result",
                 f"status {status}; stderr: {stderr_text[-1000:]}")
    print(f"    ({name} took {took:.1f} s)", flush=True)
    return counted[1] == 0 and status == 0


def header_exports(header):
    with open(header) as file:
        return sorted(set(re.findall(r"PELKOR_CALL\s+(\w+)\s*\(", file.read())))


def run_to_files(command, env, cwd, timeout):
    """subprocess.run with the output in files rather than pipes: Wine leaves processes
    behind (services, device drivers) that would hold a pipe open until the wineserver
    ends. A command still running at the time-out is killed."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out, stderr=err, env=env, cwd=cwd)
        try:
            status = process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()
            raise
        out.seek(0)
        err.seek(0)
        return subprocess.CompletedProcess(command, status, out.read(), err.read())


def check_export_list(report, command, env, cwd, header, timeout):
    result = run_to_files(command, env, cwd, timeout)
    names = sorted(result.stdout.decode(errors="replace").split())
    expected = header_exports(header)
    report.check(result.returncode == 0 and names == expected,
                 f"host_api_test resolves exactly the {len(expected)} exports of pelkor16.h",
                 f"missing {sorted(set(expected) - set(names))}, extra {sorted(set(names) - set(expected))}")


# ---- What the phone received ------------------------------------------------------------------

TEMPO_TABLE = [25, 28, 31, 35, 40, 45, 50, 56, 63, 70, 80, 90, 100, 112, 125, 140, 160, 180, 200, 225, 250,
               285, 320, 355, 400, 450, 500, 565, 635, 715, 800, 900]
DURATIONS = {"1": "whole", "2": "half", "4": "quarter", "8": "eighth", "16": "sixteenth", "32": "thirty-second"}
SPECIFIERS = ["none", "dotted", "double-dotted"]
NOTE = re.compile(r"^(\d*)([a-hA-HpP])(#?)(\.?)(\d?)(\.?)$")


def phone_tempo(bpm):
    """The tempo a phone plays: the first entry of its table at or above bpm."""
    return next((entry for entry in TEMPO_TABLE if entry >= bpm), TEMPO_TABLE[-1])


def rtttl_as_phone_notes(text):
    """Name, tempo and notes of an RTTTL text, in the form phonesim decodes tones into."""
    name, settings, body = [part.strip() for part in text.strip().split(":")]
    duration, octave, tempo = "4", 6, 63
    for setting in settings.split(","):
        key, _, value = setting.strip().partition("=")
        if key.lower() == "d":
            duration = value
        elif key.lower() == "o":
            octave = int(value)
        elif key.lower() == "b":
            tempo = int(value)
    notes = []
    for piece in body.split(","):
        match = NOTE.match(piece.strip())
        if not match:
            raise ValueError(f"not an RTTTL note: {piece!r}")
        length, letter, sharp, dot1, note_octave, dot2 = match.groups()
        letter = letter.lower()
        note = {"duration": DURATIONS[length or duration], "specifier": SPECIFIERS[len(dot1) + len(dot2)]}
        if letter == "p":
            note["note"] = "pause"
        else:
            note["note"] = ("b" if letter == "h" else letter) + sharp
            v = int(note_octave) if note_octave else octave
            note["scale"] = v if v <= 3 else (0 if v == 4 else v - 4)
        notes.append(note)
    return name, tempo, notes


def long_text(length):
    return "".join(chr(ord("a") + i % 26) for i in range(length))


def drawn_operator_pixel(x, y):
    """The operator logo host_api_test draws."""
    return x == 0 or y == 0 or x == 71 or y == 13 or (x + 2 * y) % 9 == 0


def row_major_bitmap(width, height, pixel):
    data = bytearray((width * height) // 8)
    for y in range(height):
        for x in range(width):
            if pixel(x, y):
                data[y * (width // 8) + x // 8] |= 0x80 >> (x % 8)
    return bytes(data)


def hex_bytes(text):
    return bytes.fromhex(text.replace(" ", ""))


def check_phone_state(report, state, examples, started_wall):
    if state is None:
        report.check(False, "the phone's state can be judged", "host_api_test did not run to its end")
        return
    sent = state["sms"]["sent"]
    report.equal(len(sent), 4, "the phone was handed four SMS (short, two parts, operator logo)")
    if len(sent) >= 3:
        first = sent[0]
        report.equal({k: first.get(k) for k in ("outcome", "destination", "centre", "text", "coding", "class")},
                     {"outcome": "sent", "destination": "+1234567", "centre": "+4477001122", "text": "Hello world",
                      "coding": "gsm", "class": 1}, "the short SMS arrived as sent")
        parts = sent[1:3]
        report.equal([(p.get("concat") or {}).get("part") for p in parts], [1, 2],
                     "the long SMS came as parts 1 and 2")
        report.equal([(p.get("concat") or {}).get("parts") for p in parts], [2, 2], "both parts announce two parts")
        report.equal("".join(p.get("text", "") for p in parts), long_text(161),
                     "the two parts join to the 161-character text")
    if len(sent) >= 4:
        logo = sent[3]
        content = logo.get("content", {})
        report.equal((logo.get("outcome"), (logo.get("ports") or {}).get("destination"), content.get("logo"),
                      content.get("network")), ("sent", 0x1582, "operator", "244 05"),
                     "the operator logo SMS went to port 0x1582 for 244 05")
        rows = ["".join("#" if drawn_operator_pixel(x, y) else "." for x in range(72)) for y in range(14)]
        report.equal(content.get("rows"), rows, "the receiving phone sees the drawn operator logo")

    operator = state["logos"]["operator"]
    report.equal(operator.get("network"), "244 05", "the uploaded operator logo is stored for 244 05")
    report.equal(hex_bytes(operator.get("bitmap", "")), row_major_bitmap(72, 14, drawn_operator_pixel),
                 "the uploaded operator logo has the drawn pixels")

    uploads = state["ringtone"]["uploads"]
    report.equal(len(uploads), 2, "the phone took two ringtone uploads")
    with open(os.path.join(examples, "ode_to_joy.rtttl")) as file:
        name, tempo, notes = rtttl_as_phone_notes(file.read())
    if len(uploads) >= 1:
        tone = uploads[0].get("tone", {})
        report.check("error" not in uploads[0] and "error" not in tone, "the first ringtone decodes without error",
                     json.dumps(uploads[0])[:400])
        report.equal(uploads[0].get("message_type"), 0x12, "the first ringtone came as message type 0x12")
        report.equal((tone.get("name"), tone.get("tempo")), (name, phone_tempo(tempo)),
                     f"the first ringtone is {name} at {phone_tempo(tempo)} bpm")
        report.equal(tone.get("notes"), notes, "the first ringtone's notes are those of ode_to_joy.rtttl")
    if len(uploads) >= 2:
        tone = uploads[1].get("tone", {})
        report.equal(uploads[1].get("message_type"), 0x05, "the second ringtone came as message type 0x05")
        report.equal((tone.get("name"), tone.get("tempo"), tone.get("notes")),
                     ("Built", 160, [{"note": "c", "scale": 1, "duration": "eighth", "specifier": "none"},
                                     {"note": "pause", "duration": "eighth", "specifier": "none"},
                                     {"note": "g#", "scale": 2, "duration": "quarter", "specifier": "dotted"}]),
                     "the built ringtone arrived note for note")

    phonebook = state["phonebook"]
    report.equal(phonebook["memories"]["2"]["entries"].get("7"),
                 {"name": "Dora Diaz", "number": "+441632960007", "group": 3},
                 "the phonebook write reached location 7 of the phone's memory")
    report.equal(phonebook["speed_dials"].get("4"), {"memory": 2, "location": 7},
                 "speed dial 4 points at location 7 of the phone's memory")

    clock = state["clock"]
    report.equal(clock.get("alarm"), {"enabled": True, "hour": 6, "minute": 45}, "the alarm is set to 06:45")
    set_at = calendar.timegm((2001, 3, 15, 12, 30, 0, 0, 0, 0))
    phone_now = time.time() + clock.get("offset_seconds", 0)
    report.check(0 <= phone_now - set_at <= time.time() - started_wall + 5,
                 "the phone's clock runs from 2001-03-15 12:30:00", f"it reads {phone_now - set_at:.0f} s past that")

    calls = state["calls"]
    report.equal((calls.get("dialled"), calls.get("dtmf"), calls.get("hangups"), calls.get("last_hangup_id")),
                 (["12345"], ["12#*"], 2, 7), "the phone dialled 12345, sent 12#* and hung up call 7 last")
    report.check(any(t.get("volume") == 4 and t.get("frequency") == 1000 for t in state["tones"]),
                 "the phone played the 1000 Hz tone")
    report.equal(state.get("resets"), ["soft"], "the phone was reset once, softly")

    messages = {m["location"]: m for m in state["sms"]["messages"]}
    report.equal(sorted(messages), [1, 2, 3, 4, 5], "the store holds locations 1 to 5 (5: the UCS-2 message)")
    report.equal((messages.get(2, {}).get("sender"), messages.get(2, {}).get("text")),
                 ("+4915550001", "Hello from the network"),
                 "the deleted message is gone and the new one took its location")


# ---- File families ----------------------------------------------------------------------------

def file_inputs(examples):
    logos = sorted(os.path.join(examples, "logos", name) for name in os.listdir(os.path.join(examples, "logos"))
                   if os.path.splitext(name)[1] in (".nol", ".ngg", ".form", ".nlm"))
    tones = sorted(os.path.join(examples, name) for name in os.listdir(examples) if name.endswith(".rtttl"))
    return logos + tones


def text_bits(data, count):
    """Bitmap bytes from NOL/NGG text bits ("1" a set bit, most significant first)."""
    out = bytearray(count)
    for i in range(count):
        for bit in range(8):
            if data[i * 8 + bit] == ord("1"):
                out[i] |= 0x80 >> bit
    return bytes(out)


def check_file_tree(report, directory, examples):
    def read(name):
        with open(os.path.join(directory, name), "rb") as file:
            return file.read()

    # A logo read and written in its own format is the file it came from.
    for source, written in (("operator.nol", "operator-operator.nol"), ("caller_group.ngg", "caller_group-caller.ngg"),
                            ("startup.form", "startup-startup.form")):
        if os.path.exists(os.path.join(examples, "logos", source)):
            with open(os.path.join(examples, "logos", source), "rb") as file:
                report.check(file.read() == read(written), f"{written} is byte for byte {source}")

    nol = read("drawn-operator.nol")
    report.equal((len(nol), nol[:3], nol[6] | nol[7] << 8, nol[8], nol[10], nol[12]), (1028, b"NOL", 244, 5, 72, 14),
                 "drawn-operator.nol: 1028 bytes, NOL, 244 05, 72 x 14")
    report.equal(text_bits(nol[20:], 126), row_major_bitmap(72, 14, lambda x, y: (x // 3 + y) % 4 == 0),
                 "drawn-operator.nol holds the drawn pixels")
    form = read("drawn-startup.form")
    report.equal((len(form), form[:12].hex()), (580, "464f524d023e56455253002a"),
                 "drawn-startup.form: 580 bytes, FORM then VERS")

    def ring(x, y):
        d = (x - 42) ** 2 + (y - 24) ** 2
        return x in (0, 83) or y in (0, 47) or 16 * 16 <= d <= 20 * 20

    banded = bytearray(504)
    for y in range(48):
        for x in range(84):
            if ring(x, y):
                banded[x + (y // 8) * 84] |= 1 << (y % 8)
    report.equal(form[64:70], b"NSLD\x01\xf8", "drawn-startup.form has its 504-byte logo chunk at 64")
    report.equal(form[70:574], bytes(banded), "drawn-startup.form holds the drawn pixels in 8-row bands")

    for tone_file in ("ode_to_joy.rtttl", "scale.rtttl"):
        if os.path.exists(os.path.join(examples, tone_file)):
            with open(os.path.join(examples, tone_file)) as file:
                expected = rtttl_as_phone_notes(file.read())
            got = rtttl_as_phone_notes(read(tone_file).decode())
            report.equal(got, expected, f"{tone_file} written back has the name, tempo and notes of the example")

    with wave.open(os.path.join(directory, "tones.wav")) as tones:
        report.equal((tones.getnchannels(), tones.getsampwidth(), tones.getframerate(), tones.getnframes()),
                     (1, 1, 8000, 8 * (500 + 250 + 7 + 3000 + 125)), "tones.wav: mono, 8-bit, 8000 Hz, 31056 samples")
        samples = tones.readframes(tones.getnframes())
        report.check(max(samples) <= 247 and min(samples) >= 9 and set(samples[4000:6000]) == {128},
                     "tones.wav stays within 9..247 and the 0 Hz tone is silence")
    with wave.open(os.path.join(directory, "empty.wav")) as empty:
        report.equal(empty.getnframes(), 0, "empty.wav holds no samples")


def compare_trees(report, first, second, arch):
    names = sorted(set(os.listdir(first)) | set(os.listdir(second)))
    match, mismatch, errors = filecmp.cmpfiles(first, second, names, shallow=False)
    report.check(not mismatch and not errors and len(match) == len(names),
                 f"the Linux and Windows {arch} file trees are the same, byte for byte ({len(match)} files)",
                 f"differ: {mismatch}, missing on one side: {errors}")


# ---- Modes ---------------------------------------------------------------------------------------

def inputs_exist(report, what, paths):
    missing = [path for path in paths if not os.path.exists(path)]
    return report.check(not missing, f"{what}: the programs and files to run exist", f"missing {missing}")


def check_ucs2_dumps(report, folder, where):
    """The copies of the one UCS-2 message host_api_test reads (text "Hi")."""
    text_dump = os.path.join(folder, "UCS2-1.txt")
    message_dump = os.path.join(folder, "UCS2-1.dat")
    if report.check(os.path.isfile(text_dump), f"UCS2-1.txt was written to {where}"):
        with open(text_dump, "rb") as dump:
            content = dump.read()
        report.check(content == b"\xfe\xff\x00H\x00i", "UCS2-1.txt holds FE FF 00 48 00 69", content.hex(" "))
    if report.check(os.path.isfile(message_dump), f"UCS2-1.dat was written to {where}"):
        with open(message_dump, "rb") as dump:
            content = dump.read()
        report.check(len(content) > 4 and b"\x00H\x00i" in content, "UCS2-1.dat is the whole message with its text",
                     content.hex(" "))


def run_linux(report, args, workdir):
    if not inputs_exist(report, "Linux", [args.phonesim, args.library, args.host, args.files_test, args.header,
                                          os.path.join(args.examples, "phone-state.json")]):
        return None
    report.step("Linux: phonesim with examples/phone-state.json")
    phone = Phone(args.phonesim, os.path.join(args.examples, "phone-state.json"), workdir)
    env = dict(os.environ)
    dumps = os.path.join(workdir, "dumps")
    os.makedirs(dumps)
    env["TMPDIR"] = dumps
    try:
        print(f"    phone on {phone.device}", flush=True)
        report.step("Linux: export list of host_api_test against pelkor16.h")
        check_export_list(report, [args.host, "--list-exports"], env, workdir, args.header, 30)
        report.step(f"Linux: host_api_test {args.library}")
        started_wall = time.time()
        finished = run_checked_program(report, "host_api_test",
                                       [args.host, args.library, phone.device, MISSING_LINUX_PORT, args.examples],
                                       env, workdir, HOST_TIMEOUT_S, phone)
        report.step("Linux: what the phone received")
        check_phone_state(report, phone.dump() if finished is not None else None, args.examples, started_wall)
        check_ucs2_dumps(report, dumps, "TMPDIR")
    finally:
        phone.stop()
    out = os.path.join(workdir, "files-linux")
    os.makedirs(out)
    report.step("Linux: file_families_test")
    run_checked_program(report, "file_families_test", [args.files_test, out] + file_inputs(args.examples), env,
                        workdir, FILES_TIMEOUT_S)
    check_file_tree(report, out, args.examples)
    return out


def windows_path(path):
    """The path under Wine's Z: drive, which maps the Unix root."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


class Wine:
    def __init__(self, loader, wineserver, workdir, arch):
        self.wine = loader
        self.wineserver = wineserver
        self.arch = arch
        self.prefix = os.path.join(workdir, "prefix")
        os.makedirs(self.prefix)
        self.env = dict(os.environ)
        self.env.update({"WINEPREFIX": self.prefix, "WINEARCH": arch, "WINEDEBUG": "-all",
                         "WINEDLLOVERRIDES": "mscoree,mshtml="})
        self.env.pop("DISPLAY", None)
        self.env.pop("WAYLAND_DISPLAY", None)
        self.server = None

    def start_server(self):
        # In the foreground (-f) the server stays our child, so that it is reaped when
        # "wineserver -k" ends it; in a session of its own it is detached from ours.
        self.server = subprocess.Popen([self.wineserver, "-f", "-p"], env=self.env, stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        # Wine commands started before the server listens would start one of their own.
        marker = os.path.join(self.prefix, "wineserver")
        deadline = time.monotonic() + 15
        while not self._server_socket() and time.monotonic() < deadline and self.server.poll() is None:
            time.sleep(0.05)
        if not os.path.exists(marker):
            raise RuntimeError("the wineserver did not come up")

    def _server_directory(self):
        """The folder the server keeps its socket in, named in prefix/wineserver."""
        try:
            with open(os.path.join(self.prefix, "wineserver")) as file:
                name = file.read().strip()
        except OSError:
            return None
        if not re.fullmatch(r"wine-\w+", name):
            return None
        for parent in (tempfile.gettempdir(), "/tmp"):
            if os.path.isdir(os.path.join(parent, name)):
                return os.path.join(parent, name)
        return None

    def _server_socket(self):
        directory = self._server_directory()
        if directory is None or not os.path.isdir(directory):
            return False
        return any(os.path.exists(os.path.join(directory, entry, "socket")) for entry in os.listdir(directory))

    def run(self, arguments, timeout=WINE_COMMAND_TIMEOUT_S, cwd=None):
        return run_to_files([self.wine] + arguments, self.env, cwd, timeout)

    def stop(self):
        try:
            run_to_files([self.wineserver, "-k"], self.env, None, 30)
        except (OSError, subprocess.TimeoutExpired):
            pass
        if self.server is not None:
            try:
                self.server.wait(timeout=15)
            except subprocess.TimeoutExpired:
                self.server.kill()
                self.server.wait()
        # The server leaves its (empty) socket folder behind.
        directory = self._server_directory()
        if directory is not None:
            shutil.rmtree(directory, ignore_errors=True)


def run_wine(report, args, workdir, arch):
    """One DLL under its own Wine: i686 under the 32-bit loader in a win32 prefix,
    x86_64 under wine64. Returns the folder of the files it wrote, or None."""
    label = f"Wine {arch}"
    build = args.win32 if arch == "i686" else args.win64
    programs = [os.path.join(build, name) for name in ("PELKOR16.dll", "host_api_test.exe", "file_families_test.exe")]
    if arch == "i686":
        programs.append(os.path.join(build, "stack_check_test.exe"))
    loader = args.wine32 if arch == "i686" else args.wine64
    # The modem-line shim is a 64-bit Linux library: it can be preloaded into wine64 only.
    shim = args.shim if arch == "x86_64" else None
    if not inputs_exist(report, label, [loader, args.wineserver, args.phonesim, args.header,
                                        os.path.join(args.examples, "phone-state.json")] + programs +
                        ([shim] if shim else [])):
        return None
    wine = Wine(loader, args.wineserver, workdir, "win32" if arch == "i686" else "win64")
    phone = None
    state = os.path.join(args.examples, "phone-state.json")
    try:
        report.step(f"{label}: fresh {wine.arch} prefix and a wineserver of our own")
        wine.start_server()
        started = time.monotonic()
        booted = wine.run(["wineboot", "-i"], timeout=WINEBOOT_TIMEOUT_S)
        report.check(booted.returncode == 0, f"{label}: wineboot prepared the prefix ({time.monotonic() - started:.0f} s)",
                     booted.stderr.decode(errors="replace")[-1000:])
        dosdevices = os.path.join(wine.prefix, "dosdevices")
        if not report.check(os.path.isdir(dosdevices), f"{label}: the prefix has its dosdevices folder"):
            return None
        stage = os.path.join(wine.prefix, "drive_c", "pelkor")
        os.makedirs(stage)
        for program in programs:
            shutil.copy(program, stage)
        dll, host, files_test = ("C:\\pelkor\\" + os.path.basename(p) for p in programs[:3])
        report.check(not os.path.lexists(os.path.join(dosdevices, MISSING_COM_PORT.lower())),
                     f"{label}: {MISSING_COM_PORT} does not exist in the prefix")

        dumps = os.path.join(wine.prefix, "drive_c", "temp")  # the library does not create it
        os.makedirs(dumps, exist_ok=True)
        link = os.path.join(dosdevices, COM_PORT.lower())
        report.step(f"{label}: phonesim on {COM_PORT} (dosdevices/{COM_PORT.lower()})")
        phone = Phone(args.phonesim, state, workdir, link=link)
        print(f"    phone on {phone.device}", flush=True)

        report.step(f"{label}: export list of host_api_test against pelkor16.h")
        check_export_list(report, [wine.wine, host, "--list-exports"], wine.env, stage, args.header,
                          WINE_COMMAND_TIMEOUT_S)

        host_env = dict(wine.env)
        if shim:
            host_env["LD_PRELOAD"] = os.path.abspath(shim)
            report.step(f"{label}: host_api_test {COM_PORT} (modem lines from {shim})")
        else:
            # Without the shim Wine's comm-event waits fail at once, as they do with drivers
            # that cannot wait for comm events: the library must still work, polling instead.
            report.step(f"{label}: host_api_test {COM_PORT} (no modem lines: comm-event waits fail, the library polls)")
        started_wall = time.time()
        finished = run_checked_program(report, f"{arch} host_api_test",
                                       [wine.wine, host, dll, COM_PORT, MISSING_COM_PORT, windows_path(args.examples)],
                                       host_env, stage, HOST_TIMEOUT_S, phone)
        report.step(f"{label}: what the phone received")
        check_phone_state(report, phone.dump() if finished is not None else None, args.examples, started_wall)
        check_ucs2_dumps(report, dumps, f"{arch} c:\\temp")
        phone.stop()
        phone = None

        if shim:
            report.step(f"{label}: host_api_test again without the modem-line shim (comm-event waits fail)")
            phone = Phone(args.phonesim, state, workdir, link=link)
            run_checked_program(report, f"{arch} host_api_test without the shim",
                                [wine.wine, host, dll, COM_PORT, MISSING_COM_PORT, windows_path(args.examples)],
                                wine.env, stage, HOST_TIMEOUT_S, phone)
            phone.stop()
            phone = None

        if arch == "i686":
            report.step(f"{label}: stack_check_test (every export through a thunk typed from its argument count)")
            phone = Phone(args.phonesim, state, workdir, link=link)
            run_checked_program(report, "stack_check_test", [wine.wine, "C:\\pelkor\\stack_check_test.exe", dll,
                                                             COM_PORT], wine.env, stage, HOST_TIMEOUT_S, phone)
            phone.stop()
            phone = None

        out = os.path.join(workdir, f"files-wine-{arch}")
        os.makedirs(out)
        report.step(f"{label}: file_families_test")
        run_checked_program(report, f"{arch} file_families_test",
                            [wine.wine, files_test, windows_path(out)] +
                            [windows_path(p) for p in file_inputs(args.examples)],
                            wine.env, stage, FILES_TIMEOUT_S)
        check_file_tree(report, out, args.examples)
        return out
    finally:
        if phone is not None:
            phone.stop()
        report.step(f"{label}: stopping the wineserver")
        wine.stop()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("mode", choices=["linux", "wine32", "wine64", "all"])
    parser.add_argument("--phonesim", default=os.path.join(ROOT, "build", "tools", "phonesim", "phonesim"))
    parser.add_argument("--examples", default=os.path.join(ROOT, "examples"))
    parser.add_argument("--header", default=os.path.join(ROOT, "include", "pelkor16.h"))
    parser.add_argument("--library", default=os.path.join(ROOT, "build", "src", "libpelkor16.so"),
                        help="Linux: the shared library")
    parser.add_argument("--host", help="Linux: host_api_test")
    parser.add_argument("--files-test", help="Linux: file_families_test")
    parser.add_argument("--win32", default=os.path.join(ROOT, "build-win32"),
                        help="the i686 build folder (PELKOR16.dll and the .exe host programs)")
    parser.add_argument("--win64", default=os.path.join(ROOT, "build-win64"), help="the x86_64 build folder")
    parser.add_argument("--shim", help="Wine x86_64: modem_lines_shim.so")
    parser.add_argument("--wine32", default="/usr/lib/wine/wine", help="the 32-bit Wine loader")
    parser.add_argument("--wine64", default="/usr/lib/wine/wine64", help="the 64-bit Wine loader")
    parser.add_argument("--wineserver", default="/usr/lib/wine/wineserver")
    parser.add_argument("--keep", help="keep the work folder here (created) instead of a temporary one")
    args = parser.parse_args()

    build = os.path.join(ROOT, "build", "tests", "windows")
    args.host = args.host or os.path.join(build, "host_api_test")
    args.files_test = args.files_test or os.path.join(build, "file_families_test")
    args.shim = args.shim or os.path.join(build, "modem_lines_shim.so")

    report = Report()
    started = time.monotonic()
    if args.keep:
        os.makedirs(args.keep, exist_ok=True)
        workdir = args.keep
    else:
        workdir = tempfile.mkdtemp(prefix="pelkor-hosts-")
    trees = {}
    runs = {"linux": ["linux"], "wine32": ["i686"], "wine64": ["x86_64"], "all": ["linux", "i686", "x86_64"]}
    try:
        for run in runs[args.mode]:
            run_dir = os.path.join(workdir, run)
            os.makedirs(run_dir, exist_ok=True)
            run_started = time.monotonic()
            try:
                trees[run] = run_linux(report, args, run_dir) if run == "linux" else run_wine(report, args, run_dir, run)
            except Exception as failure:  # a step that could not run at all is a failure too
                report.check(False, f"the {run} run went through", f"{type(failure).__name__}: {failure}")
            print(f"    ({run} run took {time.monotonic() - run_started:.0f} s)", flush=True)
        for run in ("i686", "x86_64"):
            if trees.get("linux") and trees.get(run):
                report.step(f"Linux and Windows {run} file trees")
                compare_trees(report, trees["linux"], trees[run], run)
    finally:
        if not args.keep:
            shutil.rmtree(workdir, ignore_errors=True)
    print(f"(run took {time.monotonic() - started:.0f} s)")
    print(f"wine_driver: {report.passed} passed, {report.failed} failed", flush=True)
    return 0 if report.failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
