#!/usr/bin/env python3
"""Writes the C table of every export's name and argument count, read off pelkor16.h:

  export_arities.py pelkor16.h export_arities.h

The stack-discipline host calls each export through a pointer typed only from this
count, as a Visual Basic `Declare` or a Delphi `external` declaration does: it never
includes the header. Every argument of the C API is 32 bits wide on i686 (integers,
pointers), which the script checks, so the count gives the bytes the callee must pop.
"""

import re
import sys

PROTOTYPE = re.compile(r"PELKOR_API\s+([\w\s\*]+?)\s*PELKOR_CALL\s+(\w+)\s*\(([^)]*)\)")
# A pointer of any kind, or a 32-bit integer.
WORD_SIZED = re.compile(r"^(const\s+)?\w+(\s*\*\s*|\s+\*?)\w+$")


def word_sized(parameter):
    return WORD_SIZED.match(parameter) and ("*" in parameter or parameter.split()[0] in ("int32_t", "uint32_t"))


def arities(header_text):
    table = []
    for _result, name, parameters in PROTOTYPE.findall(header_text):
        parameters = " ".join(parameters.split())
        if parameters in ("", "void"):
            table.append((name, 0))
            continue
        listed = [p.strip() for p in parameters.split(",")]
        for parameter in listed:
            if not word_sized(parameter):
                raise SystemExit(f"{name}: parameter '{parameter}' is not known to be 32 bits wide")
        table.append((name, len(listed)))
    return table


def main():
    if len(sys.argv) != 3:
        raise SystemExit(__doc__)
    with open(sys.argv[1]) as file:
        table = arities(file.read())
    if len(table) < 80:
        raise SystemExit(f"only {len(table)} exports found in {sys.argv[1]}: the header's layout changed")
    lines = ["/* Written by export_arities.py from pelkor16.h: every export and its argument count. */",
             "static const struct export_arity {", "  const char *name;", "  unsigned count;",
             "} export_arities[] = {"]
    lines += [f'    {{"{name}", {count}}},' for name, count in table]
    lines += ["};", ""]
    with open(sys.argv[2], "w") as file:
        file.write("\n".join(lines))


if __name__ == "__main__":
    main()
