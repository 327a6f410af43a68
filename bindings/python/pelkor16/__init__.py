"""Drive a phone of the Nokia 6110 family over FBUS through libpelkor16.

    with pelkor16.Phone("/dev/ttyUSB0") as phone:
        print(phone.imei)
"""
from ._library import (  # noqa: F401
    OK, NOT_FOUND, HANDED_TO_SEND, ERR_TIMEOUT, ERR_IDENTITY_UNKNOWN, ERR_MEMORY_STATUS,
    ERR_SMS_READ, ERR_PHONEBOOK_READ, ERR_SPEED_DIAL, ERR_SETTING_REFUSED, ERR_SMS_READ_OTHER,
    ERR_PHONEBOOK_WRITE, ERR_SMS_SEND, ERR_TEXT_TOO_LONG, ERR_REFUSED, ERR_NO_CALL, ERR_LOGO,
    LOGO_NONE, LOGO_STARTUP, LOGO_OPERATOR, LOGO_CALLER,
    SMS_OUTGOING, SMS_STATUS_REPORT, SMS_RECEIVED, MEMORY_PHONE, MEMORY_SIM,
    lib, strerror, version,
)
from .errors import PelkorError  # noqa: F401
from .files import Logo, Ringtone, write_wave  # noqa: F401
from .phone import Message, NetworkInfo, Phone, PhonebookEntry  # noqa: F401

__version__ = "0.1.0"
