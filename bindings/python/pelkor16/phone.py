"""A session with the phone as a Python object."""
import ctypes
import datetime
from dataclasses import dataclass
from typing import Iterator, List, Optional

from . import _library as L
from .errors import PelkorError, check

lib = L.lib
ENCODING = "latin-1"  # the library's 8-bit texts


def _text(raw):
    return raw.split(b"\0", 1)[0].decode(ENCODING)


def _bytes(text):
    return None if text is None else text.encode(ENCODING, errors="replace")


def _read(function, size, *leading):
    buffer = ctypes.create_string_buffer(size)
    code = function(*leading, buffer, size)
    return code, _text(buffer.raw)


def _read_utf8(function, size, *leading):
    buffer = ctypes.create_string_buffer(size)
    code = function(*leading, buffer, size)
    return code, buffer.raw.split(b"\0", 1)[0].decode("utf-8", errors="replace")


@dataclass
class NetworkInfo:
    network_code: str
    area_code: str
    cell_id: str


@dataclass
class PhonebookEntry:
    name: str
    number: str
    group: int = 0


# The kinds by the words `pelkor` uses for them, and back.
KIND_WORDS = {L.SMS_RECEIVED: "inbox", L.SMS_OUTGOING: "sent", L.SMS_STATUS_REPORT: "report"}
KIND_CODES = {word: code for code, word in KIND_WORDS.items()}


def _kind_code(kind):
    """A kind given as a word ("inbox", "sent", "report") or as a library code."""
    if isinstance(kind, str):
        if kind not in KIND_CODES:
            raise ValueError(f"unknown message kind {kind!r}: inbox, sent or report")
        return KIND_CODES[kind]
    return kind


@dataclass
class Message:
    """One message of the library's SMS list."""
    kind: str           # "inbox", "sent" or "report", as pelkor prints them
    index: int          # the phone's location of the message, as pelkor shows it
    sender: str
    text: str
    time: Optional[datetime.datetime]  # None when the message carries none
    read_or_sent: bool
    ordinal: int = 0    # its ordinal number within its kind in the library's list, from 1


class Phone:
    """The library's one session: opened by the constructor, closed by close() or by
    leaving the `with` block. Raises PelkorError when the port cannot be opened or the
    phone does not answer."""

    def __init__(self, port, infrared=False):
        code = lib.init(_bytes(port), L.CONNECTION_INFRARED if infrared else L.CONNECTION_CABLE)
        if code != L.OK:
            lib.terminate()  # an unanswered init leaves the port open
            raise PelkorError(code, f"init {port}")
        self._open = True

    def close(self):
        if self._open:
            lib.terminate()
            self._open = False

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
        return False

    # -- identity and status -------------------------------------------------------

    def _identity(self, function, name):
        code, text = _read(function, 32)
        check(code, name)
        return text

    @property
    def alive(self) -> bool:
        return lib.isalive() == 1

    @property
    def imei(self) -> str:
        return self._identity(lib.getimei, "getimei")

    @property
    def model(self) -> str:
        return self._identity(lib.getmodel, "getmodel")

    @property
    def revision(self) -> str:
        return self._identity(lib.getrevision, "getrevision")

    @property
    def software_date(self) -> str:
        return self._identity(lib.getswdate, "getswdate")

    def _level(self, function, name):
        level = ctypes.c_int32(-1)
        check(function(ctypes.byref(level)), name)
        return level.value

    @property
    def signal_level(self) -> int:
        """The phone's signal level in per cent (of its four bars), as pelkor shows it."""
        return self._level(lib.getrflevel, "getrflevel") // 4

    @property
    def battery_level(self) -> int:
        """The phone's battery level in per cent (of its four bars), as pelkor shows it."""
        return self._level(lib.getbatterylevel, "getbatterylevel") // 4

    @property
    def external_power(self) -> bool:
        return lib.uses_acdc_power() == 1

    @property
    def display_indicators(self) -> List[bool]:
        code, flags = _read(lib.getdisplaystatus, 9)
        check(code, "getdisplaystatus")
        return [c == "1" for c in flags]

    @property
    def network(self) -> NetworkInfo:
        buffers = [ctypes.create_string_buffer(16) for _ in range(3)]
        check(lib.getnetworkinfo(buffers[0], 16, buffers[1], 16, buffers[2], 16), "getnetworkinfo")
        return NetworkInfo(*(_text(b.raw) for b in buffers))

    def net_monitor(self, screen="field") -> str:
        return _read(lib.netmonitor, 64, _bytes(str(screen)))[1]

    # -- clock and alarm -----------------------------------------------------------

    @property
    def clock(self) -> datetime.datetime:
        parts = [ctypes.c_int32() for _ in range(6)]
        check(lib.getdatetime(*(ctypes.byref(p) for p in parts)), "getdatetime")
        return datetime.datetime(*(p.value for p in parts))

    @clock.setter
    def clock(self, when: datetime.datetime):
        check(lib.setdatetime(when.year, when.month, when.day, when.hour, when.minute, when.second),
              "setdatetime")

    @property
    def alarm(self) -> Optional[datetime.time]:
        """The alarm time, or None when the alarm is off."""
        enabled, hour, minute = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        check(lib.getalarm(ctypes.byref(enabled), ctypes.byref(hour), ctypes.byref(minute)), "getalarm")
        return datetime.time(hour.value, minute.value) if enabled.value else None

    @alarm.setter
    def alarm(self, when: datetime.time):
        check(lib.setalarm(when.hour, when.minute), "setalarm")

    # -- calls ---------------------------------------------------------------------

    def dial(self, number):
        check(lib.dialvoice(_bytes(number)), "dialvoice")

    def hang_up(self):
        check(lib.hangup(), "hangup")

    def dtmf(self, digits):
        check(lib.send_dtmf(_bytes(digits)), "send_dtmf")

    def beep(self, on=True):
        lib.gsmbeep(1 if on else 0)

    def reset(self, hard=False):
        check(lib.reset(b"hard" if hard else b"soft"), "reset")

    @property
    def incoming_call(self) -> Optional[str]:
        """The number of the last incoming call, or None when no call is known."""
        code, number = _read(lib.incoming, 64)
        if code == L.ERR_NO_CALL:
            return None
        check(code, "incoming")
        return number

    # -- SMS -----------------------------------------------------------------------

    def send_sms(self, number, text, centre=1, status_report=False, message_class=0):
        """Sends `text` (a str). Through the library's UTF-8 extension where it has
        one; otherwise as Latin-1 text, characters it lacks sent as '?'. Returns the
        number of parts sent when the library tells it, else None."""
        options = (message_class & 0xFFFF) | (L.SMS_OPTION_STATUS_REPORT if status_report else 0)
        if L.has("pelkor_sendsms_utf8"):
            parts = ctypes.c_int32(0)
            check(lib.pelkor_sendsms_utf8(_bytes(number), text.encode("utf-8"), centre, options,
                                          ctypes.byref(parts)), "pelkor_sendsms_utf8")
            return parts.value
        check(lib.sendsms(_bytes(number), _bytes(text), centre, options), "sendsms")
        return None

    @property
    def message_centre(self) -> str:
        return _read(lib.getsmsmessagecenter, 48)[1]

    def set_message_centre(self, index, number=""):
        check(lib.setsmsmessagecenter(index, _bytes(number)), "setsmsmessagecenter")

    def messages(self, kind=None) -> Iterator[Message]:
        """Reads the phone's stored messages into the library's list and yields them,
        received first, then outgoing, then status reports (or only those of `kind`:
        "inbox", "sent" or "report", or the library's code)."""
        code = lib.updatesmslist()
        if code not in (L.OK, L.ERR_SMS_READ):
            raise PelkorError(code, "updatesmslist")
        kinds = [_kind_code(kind)] if kind is not None else [L.SMS_RECEIVED, L.SMS_OUTGOING, L.SMS_STATUS_REPORT]
        for k in kinds:
            for n in range(1, lib.getsmsmsgcount(k) + 1):
                yield self._message(k, n)

    def _message(self, kind, n):
        if L.has("pelkor_getsmsmsgtext_utf8"):  # every coding, the extension table included
            text = _read_utf8(lib.pelkor_getsmsmsgtext_utf8, 1024, kind, n)[1]
            sender = _read_utf8(lib.pelkor_getsmsmsgsender_utf8, 96, kind, n)[1]
        else:
            text = _read(lib.getsmsmsgdata, 512, kind, n, L.SMS_FIELD_TEXT)[1]
            sender = _read(lib.getsmsmsgdata, 48, kind, n, L.SMS_FIELD_SENDER)[1]
        parts = [ctypes.c_int32() for _ in range(6)]
        lib.getsmsmsgdatetime(kind, n, *(ctypes.byref(p) for p in parts))
        year, *rest = (p.value for p in parts)
        # The network gives two digits: 90-99 are taken as 1990-1999, the rest as 20xx.
        year += 1900 if year >= 90 else 2000
        try:
            when = datetime.datetime(year, *rest)
        except ValueError:  # no time stamp (an outgoing message)
            when = None
        location = lib.pelkor_getsmsmsglocation(kind, n) if L.has("pelkor_getsmsmsglocation") else n
        return Message(KIND_WORDS.get(kind, str(kind)), location, sender, text, when, lib.getsmssentread(kind, n) == 1,
                       ordinal=n)

    def delete_message(self, message: Message):
        """Deletes a message that messages() gave, on the phone and from the list. The
        ordinal numbers of the later messages of its kind move down by one."""
        check(lib.deletesmsmsg(_kind_code(message.kind), message.ordinal), "deletesmsmsg")

    @property
    def unread_messages(self) -> int:
        return lib.getsmsmsgunread()

    @property
    def stored_messages(self) -> int:
        return lib.getsmsmsgtotal()

    # -- phonebook -----------------------------------------------------------------

    # The memory is the SIM unless given, as in `pelkor pb`.
    def entry(self, location, memory=L.MEMORY_SIM) -> PhonebookEntry:
        name, number = ctypes.create_string_buffer(96), ctypes.create_string_buffer(48)
        group = ctypes.c_int32()
        if L.has("pelkor_getphonebookentry_utf8"):
            check(lib.pelkor_getphonebookentry_utf8(location, memory, name, 96, number, 48,
                                                    ctypes.byref(group)), "pelkor_getphonebookentry_utf8")
            return PhonebookEntry(name.raw.split(b"\0", 1)[0].decode("utf-8", errors="replace"),
                                  _text(number.raw), group.value)
        check(lib.getphonebookentry(location, memory, name, 48, number, 48, ctypes.byref(group)),
              "getphonebookentry")
        return PhonebookEntry(_text(name.raw), _text(number.raw), group.value)

    def set_entry(self, location, entry: PhonebookEntry, memory=L.MEMORY_SIM):
        """Stores an entry. A name with a character the phone's Latin-1 set lacks is
        refused (PelkorError 22) where the library has its UTF-8 extension."""
        if L.has("pelkor_setphonebookentry_utf8"):
            check(lib.pelkor_setphonebookentry_utf8(location, memory, entry.name.encode("utf-8"),
                                                    _bytes(entry.number), entry.group),
                  "pelkor_setphonebookentry_utf8")
            return
        check(lib.setphonebookentry(location, memory, _bytes(entry.name), _bytes(entry.number), entry.group),
              "setphonebookentry")

    def speed_dial(self, key):
        """(memory, location) of a speed-dial key: memory 0 is the phone's own."""
        memory, location = ctypes.c_int32(), ctypes.c_int32()
        check(lib.getspeeddial(key, ctypes.byref(memory), ctypes.byref(location)), "getspeeddial")
        return memory.value, location.value

    def set_speed_dial(self, key, location, memory=L.MEMORY_SIM):
        check(lib.setspeeddial(key, memory, location), "setspeeddial")

    # -- logo and ringtone transfer -----------------------------------------------

    def upload_logo(self):
        """Uploads the library's logo (see Logo)."""
        check(lib.logo_upload(), "logo_upload")

    def download_logo(self, kind):
        check(lib.logo_download(kind), "logo_download")

    def set_startup_text(self, text):
        check(lib.setlogo(0, _bytes(text), 0), "setlogo")

    def upload_ringtone(self, variant=0):
        """Uploads the library's ringtone (see Ringtone); nothing is awaited."""
        check(lib.ringtone_upload(variant), "ringtone_upload")
