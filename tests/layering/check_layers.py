#!/usr/bin/env python3
"""Checks the library's layering from its #include lines.

Each folder of src/ may include only the folders listed for it below (and itself); only
src/platform/ may include system headers or test _WIN32. Prints one line per breach and
exits 1, or a summary line and exits 0. Run: python3 tests/layering/check_layers.py [ROOT]
"""
import pathlib
import re
import sys

# A layer sees the layers beneath it, never those above. The transaction layer stands
# on the link; text (character sets, pure code) stands on nothing of the protocol. The
# families (services, sms, logo, phonebook, ringtone, wave) stand on the transaction
# layer and text; logo and ringtone send through sms.
ALLOWED = {
    "platform": set(),
    "text": {"platform"},
    "link": {"platform"},
    "transaction": {"link", "platform"},
    "services": {"link", "platform", "transaction", "text"},
    "sms": {"link", "platform", "services", "transaction", "text"},
    "phonebook": {"link", "platform", "services", "transaction", "text"},
    "wave": {"link", "platform", "services", "transaction", "text"},
    "logo": {"link", "platform", "services", "transaction", "text", "sms"},
    "ringtone": {"link", "platform", "services", "transaction", "text", "sms"},
    "session": {"link", "platform", "services", "transaction", "text", "sms", "phonebook", "wave", "logo", "ringtone"},
    "api": {"link", "platform", "services", "transaction", "text", "sms", "phonebook", "wave", "logo", "ringtone",
            "session"},
}

# The C and C++ standard headers (and the library's own public header) are fine anywhere.
STANDARD = {
    "algorithm", "array", "atomic", "cctype", "cerrno", "chrono", "climits", "cmath", "condition_variable",
    "cstdarg", "cstddef", "cstdint", "cstdio", "cstdlib", "cstring", "ctime", "functional", "initializer_list",
    "iterator", "limits", "memory", "mutex", "new", "numeric", "optional", "span", "string", "string_view",
    "system_error", "thread", "tuple", "type_traits", "utility", "vector", "pelkor16.h",
}

QUOTED = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
ANGLED = re.compile(r"^\s*#\s*include\s+<([^>]+)>")
WIN32_TEST = re.compile(r"^\s*#\s*(if|ifdef|ifndef|elif)\b.*\b_WIN32\b")


def breaches(root):
    src = root / "src"
    found = []
    files = sorted(p for p in src.rglob("*") if p.suffix in {".h", ".cpp", ".inc"})
    for path in files:
        layer = path.relative_to(src).parts[0]
        if layer not in ALLOWED:
            found.append("%s: folder src/%s has no place in the layer table" % (path.relative_to(root), layer))
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            where = "%s:%d" % (path.relative_to(root), number)
            quoted = QUOTED.match(line)
            if quoted:
                target = quoted.group(1).split("/")[0] if "/" in quoted.group(1) else layer
                if target != layer and target not in ALLOWED.get(layer, set()):
                    found.append("%s: src/%s includes %s, above it" % (where, layer, quoted.group(1)))
                continue
            angled = ANGLED.match(line)
            if angled and layer != "platform" and angled.group(1) not in STANDARD:
                found.append("%s: system header <%s> outside src/platform/" % (where, angled.group(1)))
            if WIN32_TEST.match(line) and layer != "platform":
                found.append("%s: tests _WIN32 outside src/platform/" % where)
    return files, found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parents[2])
    files, found = breaches(root)
    for line in found:
        print(line)
    if found:
        print("layering: %d breaches in %d files" % (len(found), len(files)))
        return 1
    print("layering: %d files of src/ include only the layers beneath them" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main())
