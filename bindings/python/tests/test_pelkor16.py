"""The Python package against phonesim, and the phone-free helpers."""
import datetime
import json
import pathlib
import re
import wave

import pytest

import pelkor16
from pelkor16 import _library

HEADER = pathlib.Path(__file__).resolve().parents[3] / "include" / "pelkor16.h"


def header_exports():
    text = re.sub(r"/\*.*?\*/", " ", HEADER.read_text(), flags=re.S)
    found = {}
    for match in re.finditer(r"PELKOR_API\s+[\w\s\*]+?PELKOR_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        arguments = match.group(2).strip()
        found[match.group(1)] = 0 if arguments in ("", "void") else arguments.count(",") + 1
    return found


def test_every_export_of_the_header_is_declared_with_its_arguments():
    exports = header_exports()
    assert len(exports) > 70
    optional = {name: len(args) for name, (_, args) in _library.OPTIONAL_PROTOTYPES.items()}
    declared = {name: len(args) for name, (_, args) in _library.PROTOTYPES.items()}
    for name, count in exports.items():
        assert declared.get(name, optional.get(name)) == count, name
    assert set(declared) <= set(exports)
    assert pelkor16.version() == pelkor16.__version__


def test_phone_as_context_manager_reads_identity_and_status_then_closes(phonesim):
    with pelkor16.Phone(phonesim.device) as phone:
        assert phone.alive
        assert phone.imei == "358765432109876"
        assert phone.model == "NSE-3"
        assert phone.revision.startswith("SW")
        # Per cent of the four bars, as `pelkor status` shows them.
        assert (phone.signal_level, phone.battery_level) == (75, 100)
        assert len(phone.display_indicators) == 8
        assert len(phone.network.area_code) == 4
    # Leaving the block ended the session: the identity queries find none.
    assert pelkor16.lib.getimei(None, 0) == pelkor16.NOT_FOUND


def test_settings_round_trip(phonesim):
    with pelkor16.Phone(phonesim.device) as phone:
        phone.clock = datetime.datetime(2001, 3, 15, 12, 30)
        assert phone.clock.replace(second=0) == datetime.datetime(2001, 3, 15, 12, 30)
        phone.alarm = datetime.time(7, 45)
        assert phone.alarm == datetime.time(7, 45)
        phone.set_entry(4, pelkor16.PhonebookEntry("Ada", "+4912345678", 1))
        assert phone.entry(4) == pelkor16.PhonebookEntry("Ada", "+4912345678", 1)
        # The SIM unless told otherwise, as `pelkor pb get 4` reads it.
        assert phone.entry(4, pelkor16.MEMORY_SIM) == pelkor16.PhonebookEntry("Ada", "+4912345678", 1)
        assert phone.entry(4, pelkor16.MEMORY_PHONE) != pelkor16.PhonebookEntry("Ada", "+4912345678", 1)


def test_messages_yields_the_stored_messages_by_kind(phonesim):
    with pelkor16.Phone(phonesim.device) as phone:
        messages = list(phone.messages())
        # Kinds as pelkor names them, and the phone's locations that pelkor shows.
        assert [(m.kind, m.index, m.ordinal, m.text) for m in messages] == [
            ("inbox", 1, 1, "Grüße aus Straße"),
            ("inbox", 3, 2, "second"),
            ("sent", 2, 1, "on my way"),
        ]
        first = messages[0]
        assert first.sender == "+4917011"
        assert first.time == datetime.datetime(2026, 12, 8, 17, 42, 5)
        assert not first.read_or_sent
        phone.delete_message(first)
        assert [m.text for m in phone.messages(pelkor16.SMS_RECEIVED)] == ["second"]
        assert [(m.index, m.text) for m in phone.messages("inbox")] == [(3, "second")]
        second = next(phone.messages("inbox"))
        phone.delete_message(second)  # by its ordinal, not its location 3
        assert list(phone.messages("inbox")) == []
        assert [m.text for m in phone.messages("sent")] == ["on my way"]
        with pytest.raises(ValueError):
            list(phone.messages("received"))


def test_send_sms_takes_python_text(phonesim):
    with pelkor16.Phone(phonesim.device) as phone:
        phone.send_sms("+4915550001", "Grüße €")
    sent = phonesim.final_state()["sms"]["sent"][-1]
    assert sent["destination"] == "+4915550001"
    if _library.has("pelkor_sendsms_utf8"):
        assert sent["text"] == "Grüße €"
    else:
        # The 8-bit path: Latin-1, and '?' for what it lacks.
        assert sent["text"] == "Grüße ?"


def test_failures_raise_with_the_result_code_and_its_text(phonesim):
    with pytest.raises(pelkor16.PelkorError) as refused:
        pelkor16.Phone("/nonexistent/tty-of-no-phone")
    assert refused.value.code == pelkor16.ERR_REFUSED
    assert refused.value.text == pelkor16.strerror(pelkor16.ERR_REFUSED)
    with pelkor16.Phone(phonesim.device) as phone:
        phonesim.control("silent on")
        with pytest.raises(pelkor16.PelkorError) as silent:
            phone.clock
        assert silent.value.code == pelkor16.ERR_TIMEOUT
        assert str(silent.value) == "getdatetime: no answer from the phone in time (code 4)"
        phonesim.control("silent off")


def test_logo_ringtone_and_wave_files_need_no_phone(tmp_path, examples):
    logo = pelkor16.Logo.load(pathlib.Path(examples) / "logos" / "operator.nol")
    assert (logo.kind, logo.width, logo.height) == (pelkor16.LOGO_OPERATOR, 72, 14)
    rows = logo.rows()
    assert len(rows) == 14 and all(len(r) == 72 for r in rows)
    logo[0, 0] = True
    assert logo[0, 0]
    logo.save(tmp_path / "copy.nol")
    logo[0, 0] = False
    assert pelkor16.Logo.load(tmp_path / "copy.nol")[0, 0]
    with pytest.raises(pelkor16.PelkorError) as missing:
        pelkor16.Logo.load(tmp_path / "missing.nol")
    assert missing.value.code == pelkor16.NOT_FOUND

    tone = pelkor16.Ringtone.load(pathlib.Path(examples) / "scale.rtttl")
    assert tone.notes
    tone.name, tone.notes = "Py", ["4c", "8d#", "2e."]
    tone.save(tmp_path / "py.rtttl")
    tone.notes = []
    again = pelkor16.Ringtone.load(tmp_path / "py.rtttl")
    assert again.name == "Py"
    assert len(again.notes) == 3

    pelkor16.write_wave(tmp_path / "beep.wav", [(1000, 100), (0, 50)])
    with wave.open(str(tmp_path / "beep.wav")) as w:
        assert (w.getframerate(), w.getsampwidth(), w.getnchannels()) == (8000, 1, 1)
        assert w.getnframes() == 1200


def test_phonebook_names_are_python_text_and_refused_where_the_phone_has_no_letter(phonesim):
    with pelkor16.Phone(phonesim.device) as phone:
        phone.set_entry(5, pelkor16.PhonebookEntry("Jürgen", "+4930123", 0))
        assert phone.entry(5).name == "Jürgen"
        with pytest.raises(pelkor16.PelkorError) as refused:
            phone.set_entry(6, pelkor16.PhonebookEntry("日本", "+8112", 0))
        assert refused.value.code == pelkor16.ERR_REFUSED
    entries = phonesim.final_state()["phonebook"]
    assert "Jürgen" in json.dumps(entries, ensure_ascii=False)
    assert "日本" not in json.dumps(entries, ensure_ascii=False)
