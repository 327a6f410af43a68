"""The library's logo and ringtone in memory, with their files. No phone needed."""
import ctypes
from typing import List

from . import _library as L
from .errors import PelkorError, check

lib = L.lib


def _path(path):
    return str(path).encode()


class Logo:
    """The library's one logo. Pixels are True for black."""

    @staticmethod
    def load(path):
        check(lib.logo_readfile(_path(path)), f"logo_readfile {path}")
        return Logo()

    @staticmethod
    def new(kind, network_code=None):
        lib.logo_setdata(kind, None if network_code is None else network_code.encode("latin-1"))
        return Logo()

    def save(self, path):
        check(lib.logo_writefile(_path(path)), f"logo_writefile {path}")

    def _data(self):
        kind, width, height = ctypes.c_int32(), ctypes.c_int32(), ctypes.c_int32()
        code = ctypes.create_string_buffer(8)
        lib.logo_getdata(ctypes.byref(kind), ctypes.byref(width), ctypes.byref(height), code, 8)
        return kind.value, width.value, height.value, code.value.decode("latin-1")

    kind = property(lambda self: self._data()[0])
    width = property(lambda self: self._data()[1])
    height = property(lambda self: self._data()[2])
    network_code = property(lambda self: self._data()[3])

    def __getitem__(self, point):
        x, y = point
        return lib.logo_getpixel(x, y) == 0

    def __setitem__(self, point, black):
        x, y = point
        lib.logo_setpixel(x, y, 0 if black else 1)

    def rows(self) -> List[str]:
        """The picture as text rows, '#' for black and '.' for white."""
        _, width, height, _ = self._data()
        return ["".join("#" if self[x, y] else "." for x in range(width)) for y in range(height)]


class Ringtone:
    """The library's one ringtone: name, tempo and notes in RTTTL form."""

    @staticmethod
    def load(path):
        check(lib.ringtone_readfile(_path(path)), f"ringtone_readfile {path}")
        return Ringtone()

    def save(self, path):
        check(lib.ringtone_writefile(_path(path)), f"ringtone_writefile {path}")

    @property
    def name(self) -> str:
        buffer = ctypes.create_string_buffer(64)
        lib.ringtone_getname(buffer, 64)
        return buffer.value.decode("latin-1")

    @name.setter
    def name(self, value):
        lib.ringtone_setname(value.encode("latin-1", errors="replace"))

    @property
    def tempo(self) -> int:
        return lib.ringtone_gettempo()

    @tempo.setter
    def tempo(self, bpm):
        lib.ringtone_settempo(bpm)

    @property
    def notes(self) -> List[str]:
        result = []
        for i in range(lib.ringtone_getnotes()):
            buffer = ctypes.create_string_buffer(64)
            lib.ringtone_getnote(i, buffer, 64)
            result.append(buffer.value.decode("ascii"))
        return result

    @notes.setter
    def notes(self, notes):
        notes = list(notes)
        check(lib.ringtone_setnotes(len(notes)), "ringtone_setnotes")
        for i, note in enumerate(notes):
            lib.ringtone_setnote(i, note.encode("ascii"))


def write_wave(path, tones):
    """Writes a WAV file (8000 Hz, 8-bit mono) of (frequency in Hz, duration in ms)
    tones; a frequency of 0 is silence."""
    writer = lib.mfbwave_create(_path(path))
    if not writer:
        raise PelkorError(L.NOT_FOUND, f"mfbwave_create {path}")
    try:
        for frequency, duration in tones:
            lib.mfbwave_add_tone(writer, frequency, duration)
    finally:
        lib.mfbwave_close(writer)
