#!/usr/bin/env python3
"""Writes the seed corpora of the fuzz targets under fuzz/corpus/<target>/.

Seeds are named seed-*; running this again replaces them and leaves every other file
(regression inputs, see README.md) alone. Before writing, it checks that the receiver
seeds cover every row of the reply routing table (the kRows tables beside the handlers in src/*/*.cpp) and the
simulator seeds every request the simulator routes (table.On(...) in
tools/phonesim/handlers_*.cpp), and fails naming what a new row or handler lacks.

    python3 fuzz/make_corpus.py          # write the corpora
    python3 fuzz/make_corpus.py --check  # only check the coverage of the routes
"""

import argparse
import pathlib
import re
import sys

FUZZ = pathlib.Path(__file__).resolve().parent
ROOT = FUZZ.parent

CABLE = 0x1E
INFRARED = 0x1C
HOST = 0x0C
PHONE = 0x00
ANY = "any"


# ---- framing ------------------------------------------------------------------------

def frame(destination, source, msg_type, payload, start=CABLE):
    """One FBUS frame; the payload carries its own trailer bytes."""
    payload = bytes(payload)
    assert len(payload) <= 255
    body = bytearray([start, destination, source, msg_type, 0x00, len(payload)]) + payload
    if len(payload) % 2:
        body.append(0x00)
    even = odd = 0
    for i, byte in enumerate(body):
        if i % 2 == 0:
            even ^= byte
        else:
            odd ^= byte
    return bytes(body + bytes([even, odd]))


def frames(destination, source, msg_type, message, sequence=0, start=CABLE, block=120):
    """The frames of one message as a phone or the library splits it: blocks of 120
    bytes, frames-left counting down to 1, the first sequence byte with 0x40."""
    message = bytes(message)
    count = max(1, (len(message) + block - 1) // block)
    out = []
    for i in range(count):
        part = message[i * block:(i + 1) * block]
        seq = (sequence + i) % 8
        trailer = bytes([count - i, (0x40 | seq) if i == 0 else seq])
        out.append(frame(destination, source, msg_type, part + trailer, start))
    return out


def reply(msg_type, message, sequence=0, start=CABLE):
    """A whole reply from the phone to the library."""
    return b"".join(frames(HOST, PHONE, msg_type, message, sequence, start))


def request(msg_type, message, sequence=0, start=CABLE):
    """A whole request from the library to the phone."""
    return b"".join(frames(PHONE, HOST, msg_type, message, sequence, start))


# ---- codecs -------------------------------------------------------------------------

def pack_septets(text, fill=0):
    """GSM 7-bit packing of plain ASCII letters and digits (their codes are the same)."""
    bits = [0] * fill
    for ch in text:
        code = ord(ch)
        bits += [(code >> b) & 1 for b in range(7)]
    out = bytearray()
    for i in range(0, len(bits), 8):
        chunk = bits[i:i + 8]
        out.append(sum(bit << b for b, bit in enumerate(chunk)))
    return bytes(out)


def semi_octets(digits):
    digits = digits + ("F" if len(digits) % 2 else "")
    return bytes(int(digits[i + 1], 16) << 4 | int(digits[i], 16) for i in range(0, len(digits), 2))


def bcd_swapped(value):
    return ((value % 10) << 4) | (value // 10)


def bits_text(bitmap):
    return b"".join(format(byte, "08b").encode() for byte in bitmap)


def pattern(count, salt=0):
    return bytes((i * 37 + salt) & 0xFF for i in range(count))


# ---- receiver: one reply per routed (type, command) -----------------------------------

def sms_read_message(message_type, status, first_octet=0x04, coding=0x00, declared=0,
                     sender=b"", stamp=None, user_data=b"", report_status=None):
    """A stored-message reply laid out by message type: received 0x00 (r = 4), status
    report 0x01 (r = 3), stored outgoing 0x02 (r = 5)."""
    r = {0x00: 4, 0x01: 3, 0x02: 5}.get(message_type, 4)
    out = bytearray([0x01, 0x08, 0x00, 0x08, status, 0x03, 0x00, message_type])
    out += bytes(r + 39 - len(out))
    out[8:14] = bytes([0x05, 0x91, 0x21, 0x43, 0x65, 0xF7])  # centre +1234567
    out[20] = first_octet
    if report_status is not None:
        out[22] = report_status
    out[r + 18] = coding
    out[r + 19] = declared
    out[r + 20:r + 20 + len(sender)] = sender
    if stamp is not None:
        out[r + 32:r + 39] = stamp
    return bytes(out[:r + 39]) + user_data


STAMP = bytes([0x42, 0x50, 0x60, 0x71, 0x32, 0x54, 0x00])  # 24-05-06 17:23:45


def sms_read_replies():
    name = pack_septets("INDOSAT")
    alpha_sender = bytes([14, 0xD0]) + name
    numeric_sender = bytes([4, 0x81]) + semi_octets("1234")
    concat = bytes([0x05, 0x00, 0x03, 0x01, 0x02, 0x01])
    ucs2 = "Grüße".encode("utf-16-be")
    return {
        "received-7bit": sms_read_message(0x00, 0x01, 0x04, 0x00, 10, alpha_sender, STAMP,
                                          pack_septets("hellohello")),
        "received-concatenated": sms_read_message(0x00, 0x03, 0x44, 0x00, 20, numeric_sender, STAMP,
                                                  concat + pack_septets("Hello, world!", 1)),
        "received-8bit": sms_read_message(0x00, 0x01, 0x04, 0xF5, 6, numeric_sender, STAMP,
                                          bytes([0x00, 0xFF, 0x10, 0x80, 0x41, 0x42])),
        "received-ucs2": sms_read_message(0x00, 0x01, 0x04, 0x08, len(ucs2), numeric_sender, STAMP, ucs2),
        "status-report": sms_read_message(0x01, 0x01, 0x06, 0x00, 0, bytes([3, 0x91, 0x21, 0xF3]),
                                          STAMP, report_status=0x00),
        "stored-outgoing": sms_read_message(0x02, 0x05, 0x11, 0x00, 5, b"", None, pack_septets("hello")),
        "other-type": sms_read_message(0x07, 0x01, 0x04, 0x00, 2, numeric_sender, STAMP, pack_septets("ok")),
        "declares-more-than-sent": sms_read_message(0x00, 0x01, 0x04, 0x00, 160, numeric_sender, STAMP,
                                                    pack_septets("short")),
    }


def startup_logo_message():
    return (bytes([0x01, 0x00, 0x00, 0x17, 0x03, 0x01, 48, 84]) + pattern(504, 1) +
            bytes([0x02, 0x05]) + b"Hello" + bytes([0x03, 0x00]))


def operator_logo_message():
    return bytes([0x01, 0x00, 0x00, 0x34, 0x42, 0xF4, 0x50, 0x00, 0x00, 0x82, 0x00, 72, 14, 0x01]) + pattern(126, 2)


def caller_logo_message():
    return (bytes([0x01, 0x00, 0x00, 0x11, 0x02, 0x05]) + b"Frien" +
            bytes([0x17, 0x01, 0x00, 0x82, 0x00, 72, 14, 0x01]) + pattern(126, 3))


def startup_identity_message():
    out = bytearray(60)
    out[0:4] = bytes([0x01, 0x00, 0x00, 0x11])
    for offset, text in ((9, b"490154203237518"), (25, b"NSE-3"), (39, b"0520"), (44, b"V 5.24")):
        out[offset:offset + len(text)] = text
    return bytes(out)


def centre_details_message():
    out = bytearray(40)
    out[0:5] = bytes([0x01, 0x08, 0x00, 0x34, 0x01])
    out[21:27] = bytes([0x05, 0x91, 0x21, 0x43, 0x65, 0xF7])
    return bytes(out)


def receiver_seeds():
    """(type, command or ANY) -> {name: bytes}; each value is a whole byte stream."""
    seeds = {}

    def add(msg_type, command, name, message, sequence=0):
        seeds.setdefault((msg_type, command), {})[name] = reply(msg_type, message, sequence)

    # The phone's acknowledgement: [type, number], neither a first frame nor a continuation.
    seeds[(0x7F, ANY)] = {"ack": frame(HOST, PHONE, 0x7F, bytes([0x04, 0x02]))}

    for command, extra in ((0x03, [0x05]), (0x04, []), (0x0A, []), (0x05, [0x00, 0x00, 10] + list(b"0612345678"))):
        add(0x01, ANY, "call-%02x" % command, bytes([0x01, 0x00, 0x00, command] + extra))
    add(0x04, 0x02, "phone-status", bytes([0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02]))
    add(0x0A, 0x71, "network-info", bytes([0x01, 0x00, 0x00, 0x71, 0, 0, 0, 0, 0x01, 0x00,
                                           0x12, 0x34, 0x56, 0x78, 0x62, 0xF2, 0x10]))
    add(0x0D, 0x52, "display-status", bytes([0x01, 0x00, 0x00, 0x52, 0x02, 0x01, 0x02, 0x04, 0x02]))
    add(0x11, 0x61, "date-time-set", bytes([0x01, 0x00, 0x00, 0x61, 0x01]))
    add(0x11, 0x63, "date-time", bytes([0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00,
                                        0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x2D]))
    add(0x11, 0x6C, "alarm-set", bytes([0x01, 0x00, 0x00, 0x6C, 0x02]))
    add(0x11, 0x6E, "alarm", bytes([0x01, 0x00, 0x00, 0x6E, 0x01, 0x20, 0x03, 0x00, 0x02, 0x07, 0x1E]))
    add(0x40, 0x66, "imei", bytes([0x01, 0x00, 0x66, 0x01]) + b"490154203237518\x00")
    add(0x40, 0xC8, "hardware", bytes([0x01, 0x00, 0xC8, 0x05, 0x00]) + b"0520\x00")
    add(0x40, 0x7E, "net-monitor", bytes([0x01, 0x00, 0x7E, 0x01]) + b"CH 12 RX -75 dBm\x00")
    add(0x64, ANY, "startup-identity", startup_identity_message())
    add(0xD2, 0x03, "version", bytes([0x01, 0x00, 0x00, 0x03, 0x00, 0x00]) + b"V 5.24\n15-07-99\nNSE-3\n")

    add(0x02, 0x02, "sms-sent", bytes([0x01, 0x08, 0x00, 0x02, 0x64, 0x00]))
    add(0x02, 0x03, "sms-send-refused", bytes([0x01, 0x08, 0x00, 0x03, 0x64, 0x00]))
    add(0x02, 0x10, "sms-arrival", bytes([0x01, 0x08, 0x00, 0x10, 0x02, 0x05, 0x00]))
    add(0x02, 0x31, "centre-stored", bytes([0x01, 0x08, 0x00, 0x31]))
    add(0x02, 0x34, "centre-details", centre_details_message())
    add(0x02, 0x35, "centre-refused", bytes([0x01, 0x08, 0x00, 0x35, 0x00]))
    for name, message in sms_read_replies().items():
        add(0x14, 0x08, "sms-read-" + name, message)
    add(0x14, 0x09, "sms-read-invalid", bytes([0x01, 0x08, 0x00, 0x09, 0x02]))
    add(0x14, 0x09, "sms-read-empty", bytes([0x01, 0x08, 0x00, 0x09, 0x07]))
    add(0x14, 0x0B, "sms-deleted", bytes([0x01, 0x08, 0x00, 0x0B]))
    add(0x14, 0x37, "sms-counts", bytes([0x01, 0x08, 0x00, 0x37, 0, 0, 0, 0, 0, 0, 0x05, 0x02]))
    add(0x14, 0x05, "sms-store-05", bytes([0x01, 0x08, 0x00, 0x05]))
    add(0x14, 0x06, "sms-store-06", bytes([0x01, 0x08, 0x00, 0x06]))
    add(0x14, ANY, "sms-counts-refused", bytes([0x01, 0x08, 0x00, 0x38, 0x00]))

    add(0x05, 0x17, "startup-logo", startup_logo_message())
    add(0x05, 0x19, "startup-stored", bytes([0x01, 0x00, 0x00, 0x19]))
    add(0x05, 0x31, "operator-stored", bytes([0x01, 0x00, 0x00, 0x31]))
    add(0x05, 0x32, "operator-store-error", bytes([0x01, 0x00, 0x00, 0x32]))
    add(0x05, 0x34, "operator-logo", operator_logo_message())
    add(0x05, 0x35, "operator-read-error", bytes([0x01, 0x00, 0x00, 0x35]))
    add(0x03, 0x11, "caller-logo", caller_logo_message())
    add(0x03, 0x12, "caller-read-error", bytes([0x01, 0x00, 0x00, 0x12]))
    add(0x03, 0x14, "caller-stored", bytes([0x01, 0x00, 0x00, 0x14]))
    add(0x03, 0x15, "caller-store-error", bytes([0x01, 0x00, 0x00, 0x15]))

    add(0x03, 0x02, "phonebook-entry", bytes([0x01, 0x00, 0x00, 0x02, 0x02, 0x05]) + b"Alice" +
        bytes([0x0A]) + b"0612345678" + bytes([0x03]))
    add(0x03, 0x03, "phonebook-read-error", bytes([0x01, 0x00, 0x00, 0x03, 0x7D]))
    add(0x03, 0x05, "phonebook-stored", bytes([0x01, 0x00, 0x00, 0x05]))
    add(0x03, 0x06, "phonebook-store-error", bytes([0x01, 0x00, 0x00, 0x06, 0x7D]))
    add(0x03, 0x08, "memory-status", bytes([0x01, 0x00, 0x00, 0x08, 0x02, 0x96, 0x04]))
    for code in (0x6F, 0x7D, 0x8D):
        add(0x03, 0x09, "memory-status-error-%02x" % code, bytes([0x01, 0x00, 0x00, 0x09, code]))
    add(0x03, 0x17, "speed-dial", bytes([0x01, 0x00, 0x00, 0x17, 0x02, 0x05]))
    add(0x03, 0x18, "speed-dial-read-error", bytes([0x01, 0x00, 0x00, 0x18]))
    add(0x03, 0x1A, "speed-dial-stored", bytes([0x01, 0x00, 0x00, 0x1A]))
    add(0x03, 0x1B, "speed-dial-store-error", bytes([0x01, 0x00, 0x00, 0x1B]))
    return seeds


def receiver_streams():
    """Streams about the link rather than one handler: noise, several messages, the
    ways a multi-frame message goes wrong."""
    status = reply(0x04, bytes([0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02]), 3)
    logo = frames(HOST, PHONE, 0x05, startup_logo_message(), 5)
    date = reply(0x11, bytes([0x01, 0x00, 0x00, 0x63, 0x01, 0x01, 0x07, 0x00,
                              0x07, 0xD1, 0x03, 0x0F, 0x0C, 0x1E, 0x2D]), 1)
    ack = frame(HOST, PHONE, 0x7F, bytes([0x11, 0x01]))
    long_ack = frame(HOST, PHONE, 0x7F, bytes([0x05, 0x02, 0x00, 0x00]))  # as long as a command byte
    operator = frames(HOST, PHONE, 0x05, operator_logo_message(), 2)
    two_frame_status = frames(HOST, PHONE, 0x04, bytes([0x01, 0x08, 0x00, 0x02]) + bytes(200), 6)
    return {
        "noise-then-status": bytes([0x55] * 16 + [0xC1, 0x1E, 0x0C, 0x13]) + status,
        "status-then-date": status + date,
        "repeated-frame": status + status,
        "ack-then-logo": ack + b"".join(logo),
        "logo-with-ack-between": b"".join(logo[:2]) + ack + b"".join(logo[2:]),
        "operator-logo-with-long-ack-between": operator[0] + long_ack + operator[1],
        "logo-third-frame-lost": b"".join(logo[:2] + logo[3:]),
        "logo-frames-reordered": b"".join([logo[0], logo[2], logo[1], logo[3], logo[4]]),
        "unfinished-then-status": two_frame_status[0] + status,
        "infrared-start-byte": reply(0x04, bytes([0x01, 0x08, 0x00, 0x02, 0x01, 0x03, 0x01, 0x00, 0x02]),
                                     2, INFRARED),
        "bad-checksum": status[:-1] + bytes([status[-1] ^ 0x01]),
    }


# ---- simulator: one request per routed (type, command) ---------------------------------

def submit_request(first_octet, coding, declared, user_data):
    out = bytearray([0x00, 0x01, 0x00, 0x01, 0x02, 0x00, 0x05, 0x91])
    out += semi_octets("1234567").ljust(10, b"\x00")
    out += bytes([first_octet, 0x00, 0x00, coding, declared, 10, 0x81])
    out += semi_octets("0612345678").ljust(10, b"\x00")
    out += bytes([0xA9]) + bytes(6)
    return bytes(out) + user_data


# A tone named A, tempo 100, notes (32, 14), (32, 255), (16, 28) in the Smart Messaging form.
SMART_TONE = bytes([0x02, 0x4A, 0x3A, 0x45, 0x04, 0x04, 0x00, 0x10, 0xD8, 0xC4, 0x91, 0x42, 0xC8,
                    0x21, 0x44, 0x58, 0x00])


def phonesim_seeds():
    seeds = {}

    def add(msg_type, command, name, message, sequence=0):
        seeds.setdefault((msg_type, command), {})[name] = request(msg_type, message, sequence)

    add(0x01, 0x01, "dial", bytes([0x00, 0x01, 0x00, 0x01, 0x05]) + b"12345" +
        bytes([0x05, 0x01, 0x01, 0x05, 0x81, 0x01, 0x00, 0x00]))
    add(0x01, 0x08, "hang-up", bytes([0x00, 0x01, 0x00, 0x08, 0x00, 0x85]))
    add(0x01, 0x50, "dtmf", bytes([0x00, 0x01, 0x00, 0x50, 0x03]) + b"1*#")
    for value, name in ((0x01, "preparatory"), (0x03, "soft-reset"), (0x04, "hard-reset")):
        add(0x40, 0x64, name, bytes([0x00, 0x01, 0x64, value]))
    add(0x11, 0x62, "get-date-time", bytes([0x00, 0x01, 0x00, 0x62]))
    add(0x11, 0x60, "set-date-time", bytes([0x00, 0x01, 0x00, 0x60, 0x01, 0x01, 0x07, 0x07, 0xD1,
                                            0x03, 0x0F, 0x0C, 0x1E, 0x00]))
    add(0x11, 0x6D, "get-alarm", bytes([0x00, 0x01, 0x00, 0x6D]))
    add(0x11, 0x6B, "set-alarm", bytes([0x00, 0x01, 0x00, 0x6B, 0x01, 0x20, 0x03, 0x02, 0x07, 0x1E, 0x00]))
    add(0x0D, 0x51, "display-status", bytes([0x00, 0x01, 0x00, 0x51]))
    add(0x64, 0x10, "startup-identity", bytes([0x00, 0x01, 0x00, 0x10]))
    add(0x05, 0x16, "get-startup-logo", bytes([0x00, 0x01, 0x00, 0x16]))
    add(0x05, 0x18, "set-startup-logo", bytes([0x00, 0x01, 0x00, 0x18, 0x01, 0x01, 48, 84]) + pattern(504, 4))
    add(0x05, 0x18, "set-startup-text", bytes([0x00, 0x01, 0x00, 0x18, 0x01, 0x02, 0x05]) + b"Hello")
    add(0x05, 0x33, "get-operator-logo", bytes([0x00, 0x01, 0x00, 0x33, 0x00]))
    add(0x05, 0x30, "set-operator-logo", bytes([0x00, 0x01, 0x00, 0x30, 0x00, 0x42, 0xF4, 0x50, 0x00, 0x82,
                                                0x00, 72, 14, 0x01]) + pattern(126, 5))
    add(0x03, 0x10, "get-caller-logo", bytes([0x00, 0x01, 0x00, 0x10, 0x02]))
    add(0x03, 0x13, "set-caller-logo", bytes([0x00, 0x01, 0x00, 0x13, 0x02, 0x05]) + b"Frien" +
        bytes([0x11, 0x01, 0x00, 0x82, 0x00, 72, 14, 0x01]) + pattern(126, 6))
    add(0x0A, 0x70, "network-info", bytes([0x00, 0x01, 0x00, 0x70]))
    add(0x40, 0x7E, "net-monitor", bytes([0x00, 0x01, 0x7E, 0xF2]))
    add(0x03, 0x07, "memory-status", bytes([0x00, 0x01, 0x00, 0x07, 0x02]))
    add(0x03, 0x01, "read-entry", bytes([0x00, 0x01, 0x00, 0x01, 0x02, 0x01, 0x00]))
    add(0x03, 0x04, "write-entry", bytes([0x00, 0x01, 0x00, 0x04, 0x02, 0x01, 0x05]) + b"Alice" +
        bytes([0x0A]) + b"0612345678" + bytes([0x03]))
    add(0x03, 0x16, "read-speed-dial", bytes([0x00, 0x01, 0x00, 0x16, 0x02]))
    add(0x03, 0x19, "write-speed-dial", bytes([0x00, 0x01, 0x00, 0x19, 0x03, 0x02, 0x05]))
    add(0x12, ANY, "ringtone-direct", bytes([0x0C, 0x01, 0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81]) +
        SMART_TONE + bytes([0x01]))
    add(0x05, 0x36, "ringtone-command", bytes([0x00, 0x01, 0x00, 0x36, 0x00, 0x00, len(SMART_TONE)]) +
        SMART_TONE + bytes([0x01]))
    add(0x02, 0x01, "submit-7bit", submit_request(0x11, 0x00, 5, pack_septets("hello")))
    add(0x02, 0x01, "submit-ucs2", submit_request(0x11, 0x18, 10, "Grüße".encode("utf-16-be")))
    smart = bytes([0x06, 0x05, 0x04, 0x15, 0x81, 0x15, 0x81]) + SMART_TONE
    add(0x02, 0x01, "submit-smart-ringtone", submit_request(0x51, 0xF5, len(smart), smart))
    operator_logo = bytes([0x06, 0x05, 0x04, 0x15, 0x82, 0x00, 0x00, 0x42, 0xF4, 0x50, 0x00, 72, 14, 0x01]) + pattern(126, 15)
    add(0x02, 0x01, "submit-smart-operator-logo", submit_request(0x51, 0xF5, len(operator_logo), operator_logo))
    caller_logo = bytes([0x06, 0x05, 0x04, 0x15, 0x83, 0x00, 0x00, 0x00, 72, 14, 0x01]) + pattern(126, 16)
    add(0x02, 0x01, "submit-smart-caller-logo", submit_request(0x51, 0xF5, len(caller_logo), caller_logo))
    add(0x02, 0x33, "centre-query", bytes([0x00, 0x01, 0x00, 0x33, 0x64, 0x01]))
    for location in range(1, 8):  # the harness stores messages at 1 to 6
        add(0x14, 0x07, "read-sms-%d" % location, bytes([0x00, 0x01, 0x00, 0x07, 0x02, location, 0x01, 0x64]))
    add(0x14, 0x0A, "delete-sms", bytes([0x00, 0x01, 0x00, 0x0A, 0x02, 0x01]))
    add(0x14, 0x36, "sms-counts", bytes([0x00, 0x01, 0x00, 0x36, 0x64]))
    add(0x04, 0x01, "phone-status", bytes([0x00, 0x01, 0x00, 0x01]))
    add(0x40, 0x8F, "tone-on", bytes([0x00, 0x01, 0x8F, 0x04, 0x09, 0xC4]))
    add(0x40, 0x8F, "tone-off", bytes([0x00, 0x01, 0x8F, 0x00, 0x00, 0x00]))
    add(0x40, 0x66, "imei", bytes([0x00, 0x01, 0x66]))
    add(0x40, 0xC8, "hardware", bytes([0x00, 0x01, 0xC8, 0x05]))
    add(0xD1, 0x03, "version", bytes([0x00, 0x01, 0x00, 0x03, 0x00]))
    # What the independent FBUS clients ask at start-up and for their everyday commands.
    add(0x40, 0x7C, "dial-by-service", bytes([0x00, 0x01, 0x7C, 0x01]) + b"5551234" + bytes([0x00]))
    add(0x05, 0x13, "profile-feature", bytes([0x00, 0x01, 0x00, 0x13, 0x01, 0x00, 0x03]))
    add(0x08, 0x07, "security-status", bytes([0x00, 0x01, 0x00, 0x07]))
    add(0x40, 0x8A, "sim-locks", bytes([0x00, 0x01, 0x8A, 0x00]))
    add(0x02, 0x07, "read-sms-on-type-02", bytes([0x00, 0x01, 0x00, 0x07, 0x02, 0x01, 0x01, 0x64]))
    add(0x02, 0x0D, "cell-broadcast", bytes([0x00, 0x01, 0x00, 0x0D, 0x00, 0x00, 0x02]))
    add(0x02, 0x20, "sms-status-query", bytes([0x00, 0x01, 0x00, 0x20, 0x02]))
    add(0x0C, 0x40, "key-map", bytes([0x00, 0x01, 0x00, 0x40, 0x01]))
    for command, what in ((0xCC, 0x01), (0xCC, 0x02), (0xCA, 0x01)):
        add(0x40, command, "identity-text-%02x-%02x" % (command, what), bytes([0x00, 0x01, command, what]))
    add(0x40, 0xB4, "identity-block", bytes([0x00, 0x01, 0xB4, 0x00, 0xB4]))
    for location in (0, 1):  # the harness keeps a tone at location 1 (asked as 0); 2 is empty
        add(0x40, 0x9E, "ringtone-download-%d" % location, bytes([0x00, 0x01, 0x9E, location]))
    centre = bytes([0x05, 0x91]) + semi_octets("1234567").ljust(10, b"\x00")
    party = bytes([10, 0x81]) + semi_octets("0612345678").ljust(10, b"\x00")
    stamp = bytes([0x62, 0x21, 0x80, 0x71, 0x24, 0x50, 0x00])
    add(0x14, 0x04, "save-received", bytes([0x00, 0x01, 0x00, 0x04, 0x03, 0x05, 0x00, 0x00]) + centre +
        bytes([0x04, 0x00, 0x00, 5]) + party + stamp + pack_septets("hello"))
    add(0x14, 0x04, "save-sent", bytes([0x00, 0x01, 0x00, 0x04, 0x07, 0x06, 0x00, 0x02]) + centre +
        bytes([0x11, 0x00, 0x00, 0x00, 5]) + party + stamp + pack_septets("hello"))
    return seeds


def phonesim_streams():
    status = request(0x04, bytes([0x00, 0x01, 0x00, 0x01]), 2)
    logo = frames(PHONE, HOST, 0x05, bytes([0x00, 0x01, 0x00, 0x18, 0x01, 0x01, 48, 84]) + pattern(504, 7), 3)
    return {
        "sync-then-status": bytes([0x55] * 32 + [0xC1]) + status,
        "host-ack": frame(PHONE, HOST, 0x7F, bytes([0x04, 0x01])),
        "upload-with-status-between": b"".join(logo[:2]) + status + b"".join(logo[2:]),
        "upload-frame-lost": b"".join(logo[:2] + logo[3:]),
        "infrared-status": request(0x04, bytes([0x00, 0x01, 0x00, 0x01]), 4, INFRARED),
        "torn-frame-then-status": status[:7] + status,
    }


# ---- files ----------------------------------------------------------------------------

def nol(width, height, bitmap, country=244, network=5):
    header = b"NOL" + bytes([0x00, 0x01, 0x00, country & 0xFF, country >> 8, network, 0x00, width, 0x00,
                             height, 0x00, 0x01, 0x00, 0x01, 0x00, 0x53, 0x00])
    return header + bits_text(bitmap)


def ngg(width, height, bitmap):
    header = b"NGG" + bytes([0x00, 0x01, 0x00, width, 0x00, height, 0x00, 0x01, 0x00, 0x01, 0x00, 0x4A, 0x00])
    return header + bits_text(bitmap)


def chunk(name, data):
    return name + bytes([len(data) >> 8, len(data) & 0xFF]) + data


def form(bitmap, extra=b""):
    body = (chunk(b"VERS", b"Nokia Startup Logo Editor File Version 1.0") + chunk(b"MODL", b"6100") + extra +
            chunk(b"NSLD", bitmap) + chunk(b"COMM", b""))
    return b"FORM" + bytes([len(body) >> 8, len(body) & 0xFF]) + body


def nlm(kind, width, height, image, skipped=b"\x00"):
    return b"NLM" + bytes([0x20, 0x01, kind]) + skipped + bytes([width, height, 0x01]) + image


def logo_file_seeds():
    small = pattern(126, 8)
    return {
        "nol-72x14": nol(72, 14, small),
        "nol-16x8": nol(16, 8, pattern(16, 9), 262, 1),
        "ngg-72x14": ngg(72, 14, small),
        "form": form(pattern(504, 10)),
        "form-extra-chunk": form(pattern(504, 11), chunk(b"XTRA", b"abc")),
        "nlm-operator": nlm(0, 72, 14, pattern(9 * 14, 12)),
        "nlm-caller": nlm(1, 72, 14, pattern(9 * 14, 13), b"\x41\x40\x00"),
        "nlm-startup": nlm(2, 84, 48, pattern(11 * 48, 14)),
        "nol-short": nol(72, 14, small)[:500],
        "windows-bitmap": b"BM" + bytes(60),
    }


def ringtone_file_seeds():
    many = ",".join(["8c", "8d#6", "4e.", "16f#5", "32g..", "2a#7", "1h", "p"] * 30)
    return {
        "example-tune": b"Test:d=4,o=5,b=100:8c,4e.,2g6,p",
        "unnamed": b":d=8,o=6,b=140:c,d,e,f,g,a,h,c7",
        "odd-letters": b"Odd:d=16,o=4,b=900:e#,b#5,H,h,x,32c#..7,4c5.,8c.5.,2p.",
        "lines-and-junk": b"Lines:d=2,o=7,b=63:\r\n4c,\r\n4d,\r\n4e\r\n,, \n",
        "many-notes": ("Long:d=4,o=5,b=225:" + many).encode(),
        "name-only": b"Just a name",
        "settings-with-spaces": b"Spaced:d = 4, o= 5, b =120:c,d",
        "unknown-numbers": b"Junk:d=3,o=12,b=99999999:3c,64d,0e,1000000f9",
        "zero-byte-inside": b"Zero:d=4,o=5,b=100:c,d\x00,e,f",
    }


def sms_read_reply_seeds():
    return {name: message + bytes([0x01, 0x41]) for name, message in sms_read_replies().items()}


# ---- route coverage -------------------------------------------------------------------

ROW = re.compile(r"\{\s*(0x[0-9A-Fa-f]+)\s*,\s*\d+\s*,\s*(0x[0-9A-Fa-f]+|kAnyCommand)\s*,\s*(\w+)\s*,\s*\w+\s*\}")


def reply_routes():
    routes = []
    for path in sorted(ROOT.glob("src/*/*.cpp")):
        for line in path.read_text().splitlines():
            if line.lstrip().startswith("//"):
                continue
            for msg_type, command, handler in ROW.findall(line):
                routes.append((int(msg_type, 16), ANY if command == "kAnyCommand" else int(command, 16),
                               handler, path.relative_to(ROOT)))
    return routes


def phonesim_routes():
    routes = []
    for path in sorted(ROOT.glob("tools/phonesim/handlers_*.cpp")):
        text = path.read_text()
        constants = {name: int(value, 16) for name, value in
                     re.findall(r"constexpr\s+uint8_t\s+(\w+)\s*=\s*(0x[0-9A-Fa-f]+)\s*;", text)}

        def value(token):
            return int(token, 16) if token.startswith("0x") else constants[token]

        # A row registered in a loop (`for (const uint8_t command : {uint8_t{0xC8}, ...})`)
        # stands for each value of its list.
        loops = {name: [int(v, 16) for v in re.findall(r"0x[0-9A-Fa-f]+", values)] for name, values in
                 re.findall(r"for \(const uint8_t (\w+) : \{([^;]*?)\}\)", text)}
        for msg_type, command in re.findall(r"table\.On\(\s*(\w+)\s*,\s*(\w+)\s*,", text):
            for each in loops.get(command, [None]):
                routes.append((value(msg_type), each if each is not None else value(command),
                               path.relative_to(ROOT)))
        for msg_type in re.findall(r"table\.OnType\(\s*(\w+)\s*,", text):
            routes.append((value(msg_type), ANY, path.relative_to(ROOT)))
    return routes


def describe(msg_type, command):
    return "type 0x%02X %s" % (msg_type, "any command" if command == ANY else "command 0x%02X" % command)


def check_coverage(receiver, simulator):
    missing = []
    for msg_type, command, handler, path in reply_routes():
        if (msg_type, command) not in receiver:
            missing.append("receiver: no seed for %s (%s in %s)" % (describe(msg_type, command), handler, path))
    routes = phonesim_routes()
    if not routes:
        missing.append("phonesim_request: found no table.On(...) rows in tools/phonesim")
    for msg_type, command, path in routes:
        if (msg_type, command) not in simulator:
            missing.append("phonesim_request: no seed for %s (%s)" % (describe(msg_type, command), path))
    return missing


# ---- writing --------------------------------------------------------------------------

def write_corpus(target, seeds):
    directory = FUZZ / "corpus" / target
    directory.mkdir(parents=True, exist_ok=True)
    for old in directory.glob("seed-*"):
        old.unlink()
    for name, data in sorted(seeds.items()):
        (directory / ("seed-" + name)).write_bytes(data)
    return len(seeds)


def flatten(by_route, prefix):
    out = {}
    for (msg_type, command), named in by_route.items():
        for name, data in named.items():
            key = "%s%02x-%s-%s" % (prefix, msg_type, "any" if command == ANY else "%02x" % command, name)
            out[key] = data
    return out


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--check", action="store_true", help="only check that every route has a seed")
    args = parser.parse_args()

    receiver = receiver_seeds()
    simulator = phonesim_seeds()
    missing = check_coverage(receiver, simulator)
    for line in missing:
        print("make_corpus: " + line, file=sys.stderr)
    if missing:
        print("make_corpus: add the missing seeds to fuzz/make_corpus.py", file=sys.stderr)
        return 1
    if args.check:
        print("make_corpus: every routed reply and simulator request has a seed")
        return 0

    corpora = {
        "receiver": {**flatten(receiver, "route-"), **{"stream-" + k: v for k, v in receiver_streams().items()}},
        "phonesim_request": {**flatten(simulator, "request-"),
                             **{"stream-" + k: v for k, v in phonesim_streams().items()}},
        "logo_file": logo_file_seeds(),
        "ringtone_file": ringtone_file_seeds(),
        "sms_read_reply": sms_read_reply_seeds(),
    }
    for target, seeds in corpora.items():
        print("make_corpus: %-17s %3d seeds" % (target, write_corpus(target, seeds)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
