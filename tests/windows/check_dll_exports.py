#!/usr/bin/env python3
"""Static checks of the Windows DLLs, run where they cannot be loaded.

For each PELKOR16.dll given: its export table holds exactly the functions the public
header declares, under their plain names; it imports the system's own DLLs only; and
the i686 build is PE32 code whose exports pop their own arguments (stdcall: `ret $8`
for init's two arguments, a plain `ret` for a function without any).

usage: check_dll_exports.py HEADER ARCH=DLL...   (ARCH is i686 or x86_64)
"""
import re
import subprocess
import sys

SYSTEM_DLLS = {"kernel32.dll", "msvcrt.dll"}
PLAIN_NAME = re.compile(r"^[a-z_][a-z0-9_]*$")


def header_exports(header_path):
    """Maps each exported name of the header to the number of its arguments."""
    text = open(header_path, encoding="utf-8").read()
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    exports = {}
    for match in re.finditer(r"PELKOR_API\s+[\w\s\*]+?PELKOR_CALL\s+(\w+)\s*\(([^)]*)\)", text):
        name, arguments = match.group(1), match.group(2).strip()
        exports[name] = 0 if arguments in ("", "void") else arguments.count(",") + 1
    return exports


def objdump(tool, *args):
    return subprocess.run([tool, *args], check=True, capture_output=True, text=True).stdout


def export_table(tool, dll):
    """(image base, {name: rva}) from the DLL's export directory."""
    dump = objdump(tool, "-p", dll)
    base = int(re.search(r"^ImageBase\s+([0-9a-fA-F]+)", dump, re.M).group(1), 16)
    rvas = [int(r, 16) for r in re.findall(r"^\s*\[\s*\d+\] \+base\[\s*\d+\]\s+([0-9a-f]+) Export RVA", dump, re.M)]
    names_block = dump.split("[Ordinal/Name Pointer] Table", 1)[1].split("\n\n", 1)[0]
    entries = re.findall(r"^\s*\[\s*(\d+)\]\s+(\S+)\s*$", names_block, re.M)
    table = {name: rvas[int(ordinal)] for ordinal, name in entries}
    imports = [m.lower() for m in re.findall(r"DLL Name:\s*(\S+)", dump)]
    magic = re.search(r"^Magic\s+(\w+)", dump, re.M).group(1)
    return base, table, imports, magic


def returns_of(tool, dll, address):
    """The return instructions of the function at `address` (up to the next symbol), and
    whether it ends in a tail call (an unconditional jump to another function)."""
    listing = objdump(tool, "-d", "--no-show-raw-insn", f"--start-address={address:#x}",
                      f"--stop-address={address + 4096:#x}", dll)
    returns, tail_call, started = [], False, False
    for line in listing.splitlines():
        if re.match(r"^[0-9a-f]+ <.*>:$", line):
            if started:
                break
            started = True
            continue
        if not started or "\t" not in line:
            continue
        instruction = line.split("\t", 1)[-1].strip()
        if re.match(r"^ret[lq]?\b", instruction):
            returns.append(" ".join(instruction.split()))
        elif re.match(r"^jmp\s+[0-9a-f]+ <[^+>]+>$", instruction) and not returns:
            tail_call = True
            break
    return returns, tail_call


def check(header, arch, dll):
    tool = {"i686": "i686-w64-mingw32-objdump", "x86_64": "x86_64-w64-mingw32-objdump"}[arch]
    wanted = header_exports(header)
    base, table, imports, magic = export_table(tool, dll)
    failures = []
    missing = sorted(set(wanted) - set(table))
    extra = sorted(set(table) - set(wanted))
    if missing:
        failures.append(f"missing exports: {' '.join(missing)}")
    if extra:
        failures.append(f"exports the header does not declare: {' '.join(extra)}")
    decorated = [name for name in table if not PLAIN_NAME.match(name)]
    if decorated:
        failures.append(f"decorated export names: {' '.join(decorated)}")
    foreign = sorted(set(imports) - SYSTEM_DLLS)
    if foreign:
        failures.append(f"imports beyond the system DLLs: {' '.join(foreign)}")
    expected_magic = "010b" if arch == "i686" else "020b"
    if magic != expected_magic:
        failures.append(f"optional header magic {magic}, expected {expected_magic}")
    popped = 0
    if arch == "i686":
        for name, count in sorted(wanted.items()):
            if name not in table:
                continue
            returns, tail_call = returns_of(tool, dll, base + table[name])
            expected = f"ret ${4 * count:#x}" if count else "ret"
            # A function without arguments may end in a jump to another one: neither
            # pops anything. With arguments that would leave them on the caller's stack.
            if tail_call and count == 0 and not returns:
                popped += 1
            elif not returns or any(r != expected for r in returns):
                failures.append(f"{name}: returns {returns or 'by a tail call'}, expected {expected!r}")
            else:
                popped += 1
    summary = f"{dll} ({arch}): {len(table)} exports, imports {', '.join(sorted(set(imports)))}"
    if arch == "i686":
        summary += f"; {popped} of {len(wanted)} exports pop their own arguments"
    return summary, failures


def main(argv):
    if len(argv) < 3:
        print(__doc__)
        return 2
    header = argv[1]
    total_failures = 0
    for pair in argv[2:]:
        arch, _, dll = pair.partition("=")
        if arch not in ("i686", "x86_64") or not dll:
            print(__doc__)
            return 2
        summary, failures = check(header, arch, dll)
        print(summary)
        for failure in failures:
            print(f"  FAIL {failure}")
        total_failures += len(failures)
    print(f"dll export checks: {len(argv) - 2} DLLs, {total_failures} failures")
    return 1 if total_failures else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
