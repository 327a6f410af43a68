#!/usr/bin/env python3
"""Gammu and gnokii, two independent FBUS clients, against phonesim.

Each case starts phonesim with a known state on a fresh pseudo-terminal, runs one
client command with its own HOME and configuration (debug log on), and checks that
the command exits 0, that it printed what the state holds, and that the phone's state
dumped at the end holds what the command wrote or sent.

    peers.py --phonesim PATH --state FILE CASE     run one case (see --list)
    peers.py --list                                the case names

On a failure the client's output, its debug log and phonesim's frame log are kept in
the case's work folder, whose path is printed.
"""

import argparse
import calendar
import json
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time

CLIENT_TIMEOUT = 60  # seconds; a command that needs more has hung


class Failure(Exception):
    pass


def expect(condition, message):
    if not condition:
        raise Failure(message)


def expect_line(output, pattern, what):
    expect(re.search(pattern, output, re.MULTILINE) is not None,
           "%s: no line matching %r" % (what, pattern))


# ---- what the state holds ---------------------------------------------------------------

def popcount_hex(text):
    return sum(bin(b).count("1") for b in bytes.fromhex(text))


def check_bitmap(output, slot):
    """The client drew the slot's bitmap: as many set pixels, its height in rows."""
    rows = [line for line in output.splitlines() if re.fullmatch(r"[# ]{8,}", line)]
    expect(len(rows) == slot["height"], "bitmap: %d rows drawn, the logo has %d" % (len(rows), slot["height"]))
    expect(all(len(r.rstrip()) <= slot["width"] for r in rows), "bitmap: rows wider than %d" % slot["width"])
    drawn = sum(r.count("#") for r in rows)
    expect(drawn == popcount_hex(slot["bitmap"]),
           "bitmap: %d pixels drawn, the logo has %d" % (drawn, popcount_hex(slot["bitmap"])))


def phone_seconds(dump):
    """The phone's clock at the moment of the dump, as UTC seconds."""
    return time.time() + dump["clock"]["offset_seconds"]


def check_clock_set(dump, wanted):
    """The clock was set to `wanted` (a UTC tuple to the minute), give or take the run."""
    target = calendar.timegm(wanted + (0,) * (6 - len(wanted)))
    drift = phone_seconds(dump) - target
    expect(0 <= drift < 120, "clock: %.0f s away from the time set" % drift)


def message(state, location):
    return next(m for m in state["sms"]["messages"] if m["location"] == location)


def last_sent(dump):
    expect(dump["sms"].get("sent"), "sms: nothing was sent")
    return dump["sms"]["sent"][-1]


# ---- the cases ----------------------------------------------------------------------------
# Each case: client, arguments, stdin text or None, and a check(output, state, dump)
# where state is the state file as loaded and dump the phone's state at the end.
# gnokii draws logos on its standard error, so its logo checks read both streams
# ("both"); "log" adds Gammu's debug log to what the check reads.

NUMBER = "+491701234567"


def gammu_identify(out, st, dump):
    ident = st["identity"]
    expect_line(out, r"^IMEI\s+: %s$" % ident["imei"], "IMEI")
    expect_line(out, r"^Model\s+: .*\(%s\)$" % re.escape(ident["model"]), "model")
    expect_line(out, r"^Firmware\s+: %s .*\(%s\)$" % (re.escape(ident["software"].split()[-1]),
                                                     re.escape(ident["date"])), "firmware")
    expect_line(out, r"^Hardware\s+: %s$" % ident["hardware"], "hardware")
    expect_line(out, r"^Product code\s+: %s$" % ident["product_code"], "product code")
    expect_line(out, r"^Original IMEI\s+: %s$" % ident["original_imei"], "original IMEI")
    expect_line(out, r"^Simlock 1\s+: MCC\+MNC\s+26201, opened", "network lock")


def gammu_getdatetime(out, st, dump):
    m = re.search(r"Phone time is \w+ (\w+)\s+(\d+) (\d+):(\d+):(\d+) (\d+)", out)
    expect(m is not None, "no phone time printed")
    shown = time.strptime(" ".join(m.groups()), "%b %d %H %M %S %Y")
    expect(abs(calendar.timegm(shown) - phone_seconds(dump)) < 120, "the time shown is not the phone's")


def gammu_getalarm(out, st, dump):
    alarm = dump["clock"]["alarm"]
    if alarm["enabled"]:
        expect_line(out, r"%02d:%02d" % (alarm["hour"], alarm["minute"]), "alarm time")
    else:
        expect_line(out, r"^Alarm \(1\) not set in phone$", "alarm off")


def network_lines(out, st):
    net = st["network"]
    expect_line(out, r"^Network\s+: %s %s .*LAC %04X, CID %04X$" % (net["mcc"], net["mnc"], net["lac"], net["cell_id"]),
                "network")


def gammu_monitor(out, st, dump):
    network_lines(out, st)
    expect_line(out, r"^SIM phonebook\s+:\s+1 used,\s+149 free$", "SIM phonebook")
    expect_line(out, r"^Phone phonebook\s+:\s+3 used,\s+97 free$", "phone phonebook")
    expect_line(out, r"^Battery level\s+: 100 percent$", "battery")  # 4 bars of 4
    expect_line(out, r"^Network level\s+: 75 percent$", "signal")  # 3 bars of 4


def gammu_networkinfo(out, st, dump):
    network_lines(out, st)
    expect_line(out, r"^Network state\s+: home network$", "registration")


def gammu_getsmsc(out, st, dump):
    centre = st["sms"]["centres"][0]
    expect_line(out, r'^Number\s+: "%s"$' % re.escape(centre["number"]), "centre number")
    expect_line(out, r'^Name\s+: "%s"$' % re.escape(centre["name"]), "centre name")
    expect_line(out, r"^Validity\s+: 3 days$", "validity")


def sms_texts(out, st, locations):
    for location in locations:
        m = message(st, location)
        if "text" in m:
            expect_line(out, "^" + re.escape(m["text"]) + "$", "message %d" % location)


def gammu_getallsms(out, st, dump):
    sms_texts(out, st, [m["location"] for m in st["sms"]["messages"]])
    first = message(st, 1)
    expect_line(out, r'^SMSC number\s+: "%s"$' % re.escape(first["centre"]), "centre of message 1")
    expect_line(out, r'^Remote number\s+: "%s"$' % re.escape(first["sender"]), "sender of message 1")
    expect_line(out, r"^Delivery status\s+: Delivered$", "status report")
    expect_line(out, r"^%d SMS parts in %d SMS sequences$" % ((len(st["sms"]["messages"]),) * 2), "count")


def gammu_getsms(out, st, dump):
    sms_texts(out, st, [1])
    expect_line(out, r'^Remote number\s+: "%s"$' % re.escape(message(st, 1)["sender"]), "sender")
    expect_line(out, r"^Sent\s+: Tue Dec  8 17:42:05 2026", "time stamp")


def deleted_first(out, st, dump):
    expect(all(m["location"] != 1 for m in dump["sms"]["messages"]), "message 1 is still in the store")
    expect(len(dump["sms"]["messages"]) == len(st["sms"]["messages"]) - 1, "another message went too")


def sent_text(text):
    def check(out, st, dump):
        sent = last_sent(dump)
        expect(sent["outcome"] == "sent", "the send was %s" % sent["outcome"])
        expect(sent["destination"] == NUMBER, "sent to %r" % sent["destination"])
        expect(sent["text"] == text, "the phone decoded %r" % sent["text"])
    return check


def sim_entries(out, st, dump):
    expect_line(out, r'^Name\s+: "Carol \(SIM\)"$', "name")
    expect_line(out, r'^General number\s+: "\+441632960003"$', "number")


def gammu_getmemory(out, st, dump):
    sim_entries(out, st, dump)
    expect_line(out, r"^2 entries empty, 1 entries filled$", "count")


def gammu_getspeeddial(out, st, dump):
    expect_line(out, r'^Name\s+: "Carol \(SIM\)"$', "name")
    expect_line(out, r'^Number\s+: "\+441632960003"', "number")


def logo(kind, index=None):
    def check(out, st, dump):
        slot = dump["logos"][kind] if index is None else dump["logos"][kind][index]
        check_bitmap(out, slot)
    return check


def dialled(out, st, dump):
    expect(dump["calls"]["dialled"][-1:] == [NUMBER], "dialled %r" % dump["calls"]["dialled"])


def gammu_caller_group(out, st, dump):
    # gammu prints the bitmap but shows the group's name as "" (default) and its tone as
    # ID 0 whatever the phone sends; its debug log shows what it decoded.
    group = dump["logos"]["caller_groups"][0]
    logo("caller_groups", 0)(out, st, dump)
    expect_line(out, r'^Name : "%s"$' % re.escape(group["name"]), "group name (debug log)")
    expect_line(out, r"^Ringtone ID: %x$" % group["ringtone"], "group ringtone (debug log)")


def gammu_getringtone(out, st, dump):
    tone = st["ringtone"]["stored"][0]
    expect_line(out, r'^Nokia binary format, ringtone "%s"$' % re.escape(tone["name"]), "ringtone name")


def gammu_security(out, st, dump):
    expect_line(out, r"^Nothing to enter\.$", "security status")


def reset_soft(out, st, dump):
    expect(dump["resets"] == ["soft"], "resets %r" % dump["resets"])


def gnokii_identify(out, st, dump):
    ident = st["identity"]
    expect_line(out, r"^IMEI\s+: %s$" % ident["imei"], "IMEI")
    expect_line(out, r"^Model\s+: %s$" % re.escape(ident["model"]), "model")
    expect_line(out, r"^Revision\s+: SW .* HW %s$" % ident["hardware"], "revision")


def gnokii_getdatetime(out, st, dump):
    m = re.search(r"^Date: (\d+)/(\d+)/(\d+)\nTime: (\d+):(\d+):(\d+)$", out, re.MULTILINE)
    expect(m is not None, "no date and time printed")
    shown = calendar.timegm(tuple(int(g) for g in m.groups()))
    expect(abs(shown - phone_seconds(dump)) < 120, "the time shown is not the phone's")


def gnokii_getalarm(out, st, dump):
    alarm = dump["clock"]["alarm"]
    expect_line(out, r"^Alarm: %s$" % ("on" if alarm["enabled"] else "off"), "alarm state")
    expect_line(out, r"^Time: %02d:%02d$" % (alarm["hour"], alarm["minute"]), "alarm time")


def gnokii_netmonitor(out, st, dump):
    expect_line(out, "^" + re.escape(dump["netmonitor"]["screens"]["1"].rstrip()), "screen 1")
    expect(dump["netmonitor"]["mode"] == "field", "the monitor is %r" % dump["netmonitor"]["mode"])


def gnokii_getsms(out, st, dump):
    sms_texts(out, st, [1, 2, 3])
    first = message(st, 1)
    expect_line(out, r"^Sender: %s Msg Center: %s$" % (re.escape(first["sender"]), re.escape(first["centre"])),
                "sender and centre")
    expect_line(out, r"^Date/time: 08/12/2026 17:42:05", "time stamp")


def gnokii_getphonebook(out, st, dump):
    expect_line(out, r"^1\. Name: Carol \(SIM\)$", "name")
    expect_line(out, r"^Number: \+441632960003$", "number")


def gnokii_getspeeddial(out, st, dump):
    dial = st["phonebook"]["speed_dials"]["1"]
    memory = {2: 0, 3: 1}[dial["memory"]]  # gnokii numbers the phone's memory 0, the SIM 1
    expect_line(out, r"^SpeedDial nr\. 1: %d:%d$" % (memory, dial["location"]), "speed dial")


def gnokii_getlogo_op(out, st, dump):
    logo("operator")(out, st, dump)
    net = st["network"]
    expect_line(out, r"^Operator logo for %s %s .*got successfully$" % (net["mcc"], net["mnc"]), "network code")


def gnokii_getsmsc(out, st, dump):
    centre = st["sms"]["centres"][0]
    expect_line(out, r'^No\. 1: "%s"' % re.escape(centre["name"]), "centre name")
    expect_line(out, r"^SMS center number is %s$" % re.escape(centre["number"]), "centre number")


# Status reports as the network leaves them in the store: delivered, failed and still
# trying, each with the reference of its submission and its own discharge time.
REPORTS = [
    {"location": 1, "kind": "report", "read": False, "reference": 17, "recipient": NUMBER, "status": 0x00,
     "time": [26, 12, 10, 9, 5, 7], "discharge_time": [26, 12, 10, 9, 6, 30]},
    {"location": 2, "kind": "report", "read": False, "reference": 18, "recipient": NUMBER, "status": 0x41,
     "time": [26, 12, 10, 9, 5, 9], "discharge_time": [26, 12, 11, 10, 0, 0]},
    {"location": 3, "kind": "report", "read": True, "reference": 19, "recipient": "+447700900123",
     "status": 0x20, "time": [26, 12, 10, 9, 5, 11], "discharge_time": [26, 12, 10, 9, 7, 0]},
]
REPORT_WORDS = {0x00: "Delivered", 0x41: "Failed", 0x20: "Pending"}


def stamp(parts, layout):
    """A [yy, mm, dd, hh, mi, ss] time stamp as a client prints it (UTC)."""
    return time.strftime(layout, time.gmtime(calendar.timegm((2000 + parts[0],) + tuple(parts[1:]))))


def gammu_reports(out, st, dump):
    # Gammu prints one block per location; each must carry its own report's fields.
    blocks = re.split(r"^(?=Location \d+,)", out, flags=re.M)
    for report in REPORTS:
        block = next((b for b in blocks if b.startswith("Location %d," % report["location"])), "")
        expect(block, "no block for location %d" % report["location"])
        expect_line(block, r"^SMS status report$", "kind at %d" % report["location"])
        expect_line(block, r'^Remote number\s+: "%s"$' % re.escape(report["recipient"]), "recipient")
        expect_line(block, r"^Reference number\s+: %d$" % report["reference"], "reference")
        expect_line(block, r"^Sent\s+: %s" % re.escape(stamp(report["time"], "%a %b %d %H:%M:%S %Y")),
                    "time stamp of %d" % report["location"])
        expect_line(block, r"^SMSC response\s+: %s" % re.escape(stamp(report["discharge_time"],
                                                                       "%a %b %d %H:%M:%S %Y")),
                    "discharge time of %d" % report["location"])
        expect_line(block, r"^Delivery status\s+: %s$" % REPORT_WORDS[report["status"]], "status")
    expect_line(out, r"^3 SMS parts in 3 SMS sequences$", "count")


def gnokii_reports(out, st, dump):
    blocks = re.split(r"^(?=\d+\. )", out, flags=re.M)
    for report in REPORTS:
        block = next((b for b in blocks if b.startswith("%d. Status Report" % report["location"])), "")
        expect(block, "no status report at %d" % report["location"])
        expect_line(block, r"^Sending date/time: %s" % re.escape(stamp(report["time"], "%d/%m/%Y %H:%M:%S")),
                    "time stamp of %d" % report["location"])
        expect_line(block, r"^Delivery date/time: %s" % re.escape(stamp(report["discharge_time"],
                                                                        "%d/%m/%Y %H:%M:%S")),
                    "discharge time of %d" % report["location"])
        expect_line(block, r"^Recipient: %s " % re.escape(report["recipient"]), "recipient")
        expect_line(block, r"^%s$" % REPORT_WORDS[report["status"]], "status")


def gammu_sent_report(out, st, dump):
    # The network's reference reaches Gammu, and the report it stores carries it back.
    sent = last_sent(dump)
    expect(sent.get("status_report"), "no report was asked for")
    reference = sent.get("message_reference")
    expect(reference == st["network"]["next_reference"], "reference %r" % reference)
    expect_line(out, r"message reference=%d$" % reference, "the reference Gammu was given")
    reports = [m for m in dump["sms"]["messages"] if m.get("kind") == "report"]
    expect(len(reports) == 1, "%d reports in the store" % len(reports))
    expect(reports[0]["reference"] == reference and reports[0]["recipient"] == NUMBER, "report %r" % reports[0])
    expect(reports[0]["status"] == 0x00, "status %r" % reports[0]["status"])


# State laid over the state file for a case (objects merge, other values replace).
STATE_PATCHES = {
    "gammu.getallsms_reports": {"sms": {"messages": REPORTS}},
    "gnokii.getsms_reports": {"sms": {"messages": REPORTS}},
    "gammu.sendsms_report": {"sms": {"messages": []}, "network": {"next_reference": 200}},
}


def merge_patch(target, patch):
    if not isinstance(patch, dict) or not isinstance(target, dict):
        return patch
    merged = dict(target)
    for key, value in patch.items():
        merged[key] = merge_patch(merged.get(key), value)
    return merged


GAMMU_TEXT = "Hello from Gammu"
GNOKII_TEXT = "Hello from gnokii"

CASES = {
    "gammu.identify": ("gammu", ["identify"], None, gammu_identify),
    "gammu.getdatetime": ("gammu", ["getdatetime"], None, gammu_getdatetime),
    "gammu.setdatetime": ("gammu", ["setdatetime", "03:04:05", "2027/01/02"], None,
                          lambda o, s, d: check_clock_set(d, (2027, 1, 2, 3, 4))),
    "gammu.getalarm": ("gammu", ["getalarm"], None, gammu_getalarm),
    "gammu.monitor": ("gammu", ["monitor", "1"], None, gammu_monitor),
    "gammu.networkinfo": ("gammu", ["networkinfo"], None, gammu_networkinfo),
    "gammu.getsmsc": ("gammu", ["getsmsc", "1"], None, gammu_getsmsc),
    "gammu.getallsms": ("gammu", ["getallsms"], None, gammu_getallsms),
    "gammu.getsms": ("gammu", ["getsms", "0", "1"], None, gammu_getsms),
    "gammu.getallsms_reports": ("gammu", ["getallsms"], None, gammu_reports),
    "gammu.sendsms_report": ("gammu", ["sendsms", "TEXT", NUMBER, "-report", "-text", GAMMU_TEXT], None,
                             gammu_sent_report),
    "gammu.deletesms": ("gammu", ["deletesms", "0", "1"], None, deleted_first),
    "gammu.sendsms": ("gammu", ["sendsms", "TEXT", NUMBER, "-text", GAMMU_TEXT], None, sent_text(GAMMU_TEXT)),
    "gammu.getmemory": ("gammu", ["getmemory", "SM", "1", "3"], None, gammu_getmemory),
    "gammu.getallmemory": ("gammu", ["getallmemory", "SM"], None, sim_entries),
    "gammu.getspeeddial": ("gammu", ["getspeeddial", "1"], None, gammu_getspeeddial),
    "gammu.getbitmap_startup": ("gammu", ["getbitmap", "STARTUP"], None, logo("startup")),
    "gammu.getbitmap_operator": ("gammu", ["getbitmap", "OPERATOR"], None, logo("operator")),
    "gammu.getbitmap_caller": ("gammu", ["getbitmap", "CALLER", "1"], None, gammu_caller_group, "log"),
    "gammu.getringtone": ("gammu", ["getringtone", "1"], None, gammu_getringtone),
    "gammu.dialvoice": ("gammu", ["dialvoice", NUMBER], None, dialled),
    "gammu.getsecuritystatus": ("gammu", ["getsecuritystatus"], None, gammu_security),
    "gammu.reset": ("gammu", ["reset", "SOFT"], None, reset_soft),
    "gnokii.identify": ("gnokii", ["--identify"], None, gnokii_identify),
    "gnokii.getdatetime": ("gnokii", ["--getdatetime"], None, gnokii_getdatetime),
    "gnokii.setdatetime": ("gnokii", ["--setdatetime", "2027", "1", "2", "3", "4"], None,
                           lambda o, s, d: check_clock_set(d, (2027, 1, 2, 3, 4))),
    "gnokii.getalarm": ("gnokii", ["--getalarm"], None, gnokii_getalarm),
    "gnokii.netmonitor": ("gnokii", ["--netmonitor", "field"], None, gnokii_netmonitor),
    "gnokii.getsms": ("gnokii", ["--getsms", "SM", "1", "3"], None, gnokii_getsms),
    "gnokii.getsms_reports": ("gnokii", ["--getsms", "SM", "1", "3"], None, gnokii_reports),
    "gnokii.deletesms": ("gnokii", ["--deletesms", "SM", "1"], None, deleted_first),
    "gnokii.sendsms": ("gnokii", ["--sendsms", NUMBER], GNOKII_TEXT, sent_text(GNOKII_TEXT)),
    "gnokii.getphonebook": ("gnokii", ["--getphonebook", "SM", "1", "3"], None, gnokii_getphonebook),
    "gnokii.getspeeddial": ("gnokii", ["--getspeeddial", "1"], None, gnokii_getspeeddial),
    "gnokii.getlogo_op": ("gnokii", ["--getlogo", "op"], None, gnokii_getlogo_op, "both"),
    "gnokii.getlogo_startup": ("gnokii", ["--getlogo", "startup"], None, logo("startup"), "both"),
    "gnokii.getsmsc": ("gnokii", ["--getsmsc", "1"], None, gnokii_getsmsc),
    "gnokii.dialvoice": ("gnokii", ["--dialvoice", NUMBER], None, dialled),
}


# ---- running one case ---------------------------------------------------------------------

def write_config(client, work, device):
    if client == "gammu":
        path = os.path.join(work, "gammurc")
        with open(path, "w") as f:
            f.write("[gammu]\ndevice = %s\nconnection = fbus\nmodel = 6110\nlogfile = %s\nlogformat = textall\n"
                    % (device, os.path.join(work, "client.log")))
        return ["gammu", "-c", path]
    path = os.path.join(work, "gnokiirc")
    with open(path, "w") as f:
        f.write("[global]\nport = %s\nmodel = 6110\nconnection = serial\n[logging]\ndebug = on\n" % device)
    return ["gnokii", "--config", path]


class Phone:
    """phonesim on its own pseudo-terminal, with a symlink at work/phone."""

    def __init__(self, phonesim, state, work, paced=False):
        self.link = os.path.join(work, "phone")
        self.dump_path = os.path.join(work, "dump.json")
        args = [phonesim, "--state", state, "--link", self.link, "--dump-on-exit", self.dump_path, "-v"]
        if paced:
            args.append("--pace")
        self.log = open(os.path.join(work, "phonesim.log"), "w")
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                        stderr=self.log, text=True)
        first = self.process.stdout.readline()  # the device path, once the phone is up
        if not first or not os.path.exists(self.link):
            self.stop()
            raise Failure("phonesim did not start (see %s)" % self.log.name)

    def stop(self):
        """Ends phonesim and returns the state it dumped."""
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.log.close()
        if not os.path.exists(self.dump_path):
            return None
        with open(self.dump_path) as f:
            return json.load(f)


def run_case(name, phonesim, state_file, keep):
    client, arguments, stdin, check = CASES[name][:4]
    extra = CASES[name][4] if len(CASES[name]) > 4 else None
    with open(state_file) as f:
        state = json.load(f)
    # Short: gnokii cuts the port's path at 30 characters.
    work = tempfile.mkdtemp(prefix="pe-", dir="/tmp")
    ok = False
    try:
        if name in STATE_PATCHES:
            state = merge_patch(state, STATE_PATCHES[name])
            state_file = os.path.join(work, "state.json")
            with open(state_file, "w") as f:
                json.dump(state, f)
        phone = Phone(phonesim, state_file, work)
        env = dict(os.environ, HOME=work, TZ="UTC", LC_ALL="C.UTF-8", LANG="C.UTF-8")
        command = write_config(client, work, phone.link) + arguments
        started = time.monotonic()
        try:
            result = subprocess.run(command, input=stdin if stdin is not None else "", capture_output=True,
                                    text=True, errors="replace", env=env, cwd=work, timeout=CLIENT_TIMEOUT)
            status, out, err = result.returncode, result.stdout, result.stderr
        except subprocess.TimeoutExpired as e:
            status, out, err = None, e.stdout or "", e.stderr or ""
            out = out if isinstance(out, str) else out.decode(errors="replace")
            err = err if isinstance(err, str) else err.decode(errors="replace")
        took = time.monotonic() - started
        dump = phone.stop()
        with open(os.path.join(work, "client.out"), "w") as f:
            f.write(out + "\n---- stderr ----\n" + err)
        print("%s: %s exited %s after %.1f s" % (name, " ".join([client] + arguments), status, took))
        try:
            expect(status == 0, "exit status %s" % status)
            expect(dump is not None, "phonesim left no dump")
            seen = out
            if extra == "both":
                seen = out + "\n" + err
            elif extra == "log":
                with open(os.path.join(work, "client.log"), errors="replace") as f:
                    seen = out + "\n" + f.read()
            check(seen, state, dump)
            ok = True
        except Failure as failure:
            print("FAILED: %s" % failure)
            print("---- client output ----\n%s" % out[-4000:])
            if client == "gnokii":
                print("---- client stderr (debug log) ----\n%s" % err[-4000:])
            print("(everything is in %s)" % work)
            keep = True
    finally:
        if ok and not keep:
            shutil.rmtree(work, ignore_errors=True)
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--phonesim")
    parser.add_argument("--state")
    parser.add_argument("--keep", action="store_true", help="keep the work folder of a passing case")
    parser.add_argument("--list", action="store_true")
    parser.add_argument("cases", nargs="*")
    args = parser.parse_args()
    if args.list:
        print("\n".join(CASES))
        return 0
    if not args.phonesim or not args.state:
        parser.error("--phonesim and --state are needed")
    unknown = [c for c in args.cases if c not in CASES]
    if unknown:
        parser.error("unknown case(s): %s" % ", ".join(unknown))
    results = [run_case(c, args.phonesim, args.state, args.keep) for c in args.cases or CASES]
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
