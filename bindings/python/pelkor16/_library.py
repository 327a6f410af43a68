"""Loads libpelkor16 and declares every function of its C header.

The library is looked up, in order: the path in PELKOR16_LIBRARY; on Windows
PELKOR16.dll (stdcall, so through WinDLL); elsewhere the loader's own search for
libpelkor16.so.0, then for the name ctypes.util.find_library gives.
"""
import ctypes
import ctypes.util
import os
import sys

from ctypes import POINTER, c_char_p, c_int32, c_void_p

# Result codes and constants of pelkor16.h.
OK = 0
NOT_FOUND = -1
HANDED_TO_SEND = 1
ERR_TIMEOUT = 4
ERR_IDENTITY_UNKNOWN = 5
ERR_MEMORY_STATUS = 6
ERR_SMS_READ = 8
ERR_PHONEBOOK_READ = 10
ERR_SPEED_DIAL = 11
ERR_SETTING_REFUSED = 13
ERR_SMS_READ_OTHER = 14
ERR_PHONEBOOK_WRITE = 15
ERR_SMS_SEND = 19
ERR_TEXT_TOO_LONG = 21
ERR_REFUSED = 22
ERR_NO_CALL = 23
ERR_LOGO = 24

CONNECTION_CABLE = 0
CONNECTION_INFRARED = 1
LOGO_NONE, LOGO_STARTUP, LOGO_OPERATOR, LOGO_CALLER = 0, 1, 2, 3
SMS_OUTGOING, SMS_STATUS_REPORT, SMS_RECEIVED = 11, 12, 13
SMS_FIELD_TEXT, SMS_FIELD_SENDER, SMS_FIELD_DESTINATION = 1, 2, 3
SMS_OPTION_STATUS_REPORT = 0x10000
MEMORY_PHONE, MEMORY_SIM = 0, 1

_int = c_int32
_pint = POINTER(c_int32)
_str = c_char_p
_buf = ctypes.c_char_p  # caller buffers are passed as create_string_buffer objects

# name: (result type, argument types), in the header's order.
PROTOTYPES = {
    "init": (_int, [_str, _int]),
    "terminate": (_int, []),
    "isalive": (_int, []),
    "getimei": (_int, [_buf, _int]),
    "getrevision": (_int, [_buf, _int]),
    "getmodel": (_int, [_buf, _int]),
    "getswdate": (_int, [_buf, _int]),
    "getrflevel": (_int, [_pint]),
    "getbatterylevel": (_int, [_pint]),
    "uses_acdc_power": (_int, []),
    "getdisplaystatus": (_int, [_buf, _int]),
    "getdatetime": (_int, [_pint] * 6),
    "setdatetime": (_int, [_int] * 6),
    "getalarm": (_int, [_pint] * 3),
    "setalarm": (_int, [_int, _int]),
    "dialvoice": (_int, [_str]),
    "hangup": (_int, []),
    "send_dtmf": (_int, [_str]),
    "gsmbeep": (_int, [_int]),
    "play_tone": (_int, [_int, _int, _int]),
    "reset": (_int, [_str]),
    "incoming": (_int, [_buf, _int]),
    "incomingevent": (_int, []),
    "getnetworkinfo": (_int, [_buf, _int, _buf, _int, _buf, _int]),
    "netmonitor": (_int, [_str, _buf, _int]),
    "sendsms": (_int, [_str, _str, _int, _int]),
    "senducs2": (_int, [_str, _str, _int, _int]),
    "setsmsmessagecenter": (_int, [_int, _str]),
    "getsmsmessagecenter": (_int, [_buf, _int]),
    "updatesmslist": (_int, []),
    "getsmsmsgcount": (_int, [_int]),
    "getsmsmsgunread": (_int, []),
    "getsmsmsgtotal": (_int, []),
    "getsmssentread": (_int, [_int, _int]),
    "getsmsmsgdata": (_int, [_int, _int, _int, _buf, _int]),
    "getsmsmsgdatetime": (_int, [_int, _int] + [_pint] * 6),
    "deletesmsmsg": (_int, [_int, _int]),
    "smsreceivedcount": (_int, []),
    "getsms": (_int, [_int, _buf, _int, _buf, _int]),
    "ringtone_readfile": (_int, [_str]),
    "ringtone_writefile": (_int, [_str]),
    "ringtone_setnote": (_int, [_int, _str]),
    "ringtone_getnote": (_int, [_int, _buf, _int]),
    "ringtone_setnotes": (_int, [_int]),
    "ringtone_getnotes": (_int, []),
    "ringtone_settempo": (_int, [_int]),
    "ringtone_gettempo": (_int, []),
    "ringtone_setname": (_int, [_str]),
    "ringtone_getname": (_int, [_buf, _int]),
    "ringtone_upload": (_int, [_int]),
    "ringtone_sendsms": (_int, [_str]),
    "logo_setdata": (_int, [_int, _str]),
    "logo_getdata": (_int, [_pint, _pint, _pint, _buf, _int]),
    "logo_setpixel": (_int, [_int, _int, _int]),
    "logo_getpixel": (_int, [_int, _int]),
    "logo_setgroupnumber": (None, [_int]),
    "logo_getgroupnumber": (_int, []),
    "logo_setgroupname": (None, [_str]),
    "logo_getgroupname": (None, [_buf, _int]),
    "logo_readfile": (_int, [_str]),
    "logo_writefile": (_int, [_str]),
    "setlogo": (_int, [_int, _str, _int]),
    "logo_upload": (_int, []),
    "logo_download": (_int, [_int]),
    "sendoplogoviasms": (_int, [_str]),
    "getphonebookentry": (_int, [_int, _int, _buf, _int, _buf, _int, _pint]),
    "setphonebookentry": (_int, [_int, _int, _str, _str, _int]),
    "getspeeddial": (_int, [_int, _pint, _pint]),
    "setspeeddial": (_int, [_int, _int, _int]),
    "mfbwave_create": (c_void_p, [_str]),
    "mfbwave_add_tone": (None, [c_void_p, _int, _int]),
    "mfbwave_close": (None, [c_void_p]),
    "pelkor_settrace": (_int, [_str]),
    "pelkor_strerror": (_str, [_int]),
    "pelkor_version": (_str, []),
}

# Extensions that a library may or may not have; declared only where present.
OPTIONAL_PROTOTYPES = {
    # (destination, UTF-8 text, centre index, options, parts sent out) -> result code
    "pelkor_sendsms_utf8": (_int, [_str, _str, _int, _int, _pint]),
    "pelkor_smsparts_utf8": (_int, [_str, _pint, _pint]),
    "pelkor_sendsmspart_utf8": (_int, [_str, _str, _int, _int, _int, _int]),
    "pelkor_getsmsmsgtext_utf8": (_int, [_int, _int, _buf, _int]),
    "pelkor_getsmsmsgsender_utf8": (_int, [_int, _int, _buf, _int]),
    "pelkor_getsmsmsglocation": (_int, [_int, _int]),
    "pelkor_getsmsmsgdetails": (_int, [_int, _int, _pint, _pint, _pint, _pint, _pint]),
    "pelkor_getsmsmsgpdu": (_int, [_int, _int, _buf, _int]),
    # (references out, their room) -> parts the phone confirmed in the last send
    "pelkor_getsendreferences": (_int, [_pint, _int]),
    # (n, reference, recipient, its size, submitted[6], discharged[6], status) -> result
    "pelkor_getsmsreportdetails": (_int, [_int, _pint, _buf, _int, _pint, _pint, _pint]),
    "pelkor_getsms_utf8": (_int, [_int, _buf, _int, _buf, _int]),
    "pelkor_savesms_utf8": (_int, [_int, _int, _int, _str, _str, _pint]),
    "pelkor_getphonebookentry_utf8": (_int, [_int, _int, _buf, _int, _buf, _int, _pint]),
    "pelkor_setphonebookentry_utf8": (_int, [_int, _int, _str, _str, _int]),
}


def _candidates():
    explicit = os.environ.get("PELKOR16_LIBRARY")
    if explicit:
        return [explicit]
    if sys.platform == "win32":
        return ["PELKOR16.dll"]
    names = ["libpelkor16.so.0", "libpelkor16.so"]
    found = ctypes.util.find_library("pelkor16")
    if found:
        names.append(found)
    return names


def _load():
    loader = ctypes.WinDLL if sys.platform == "win32" else ctypes.CDLL
    errors = []
    for name in _candidates():
        try:
            return loader(name)
        except OSError as error:
            errors.append(f"{name}: {error}")
    raise ImportError("cannot load the pelkor16 library (set PELKOR16_LIBRARY to its path): "
                      + "; ".join(errors))


lib = _load()
for _name, (_result, _arguments) in PROTOTYPES.items():
    _function = getattr(lib, _name)
    _function.restype = _result
    _function.argtypes = _arguments

available = set(PROTOTYPES)
for _name, (_result, _arguments) in OPTIONAL_PROTOTYPES.items():
    try:
        _function = getattr(lib, _name)
    except AttributeError:
        continue
    _function.restype = _result
    _function.argtypes = _arguments
    available.add(_name)


def has(name):
    """Whether the loaded library exports `name`."""
    return name in available


def strerror(code):
    return lib.pelkor_strerror(code).decode("ascii")


def version():
    return lib.pelkor_version().decode("ascii")
