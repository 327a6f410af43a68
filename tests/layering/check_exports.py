#!/usr/bin/env python3
"""Checks that every list of the library's exports names what the public header declares.

The header (include/pelkor16.h) is the reference. Against it are checked: the definitions
in src/api/*.cpp, the Windows export list src/api/pelkor16.def (which also gives the Linux
version script), the C host's table in tests/windows/host_api_test.c, the Python binding's
prototypes in bindings/python/pelkor16/_library.py and, when --library is given, the
dynamic symbol table of the built shared library. Prints one line per name missing from
or extra in a list and exits 1, or a summary line and exits 0.

usage: check_exports.py [ROOT] [--library PATH]
"""
import ast
import pathlib
import re
import subprocess
import sys

DECLARATION = re.compile(r"PELKOR_API\s+[\w\s\*]+?PELKOR_CALL\s+(\w+)\s*\(")
HOST_ENTRY = re.compile(r"^\s*X\(\s*[^,]+,\s*(\w+)\s*,", re.M)


def without_comments(text):
    text = re.sub(r"/\*.*?\*/", " ", text, flags=re.S)
    return re.sub(r"//[^\n]*", " ", text)


def header_names(root):
    return DECLARATION.findall(without_comments((root / "include/pelkor16.h").read_text(encoding="utf-8")))


def definition_names(root):
    names = []
    for path in sorted((root / "src/api").glob("*.cpp")):
        names += DECLARATION.findall(without_comments(path.read_text(encoding="utf-8")))
    return names


def def_file_names(root):
    names, started = [], False
    for line in (root / "src/api/pelkor16.def").read_text(encoding="utf-8").splitlines():
        word = line.split(";", 1)[0].strip()
        if not word:
            continue
        if word == "EXPORTS":
            started = True
        elif started:
            names.append(word)
    return names


def host_names(root):
    text = (root / "tests/windows/host_api_test.c").read_text(encoding="utf-8")
    start = text.index("#define PELKOR_EXPORTS(X)")
    # The table is one macro: it ends at the first line without a continuation.
    lines = []
    for line in text[start:].splitlines():
        lines.append(line)
        if not line.rstrip().endswith("\\"):
            break
    return HOST_ENTRY.findall("\n".join(line.rstrip("\\") for line in lines))


def python_names(root):
    tree = ast.parse((root / "bindings/python/pelkor16/_library.py").read_text(encoding="utf-8"))
    names = []
    for node in tree.body:
        if isinstance(node, ast.Assign) and isinstance(node.value, ast.Dict):
            targets = [t.id for t in node.targets if isinstance(t, ast.Name)]
            if "PROTOTYPES" in targets or "OPTIONAL_PROTOTYPES" in targets:
                names += [key.value for key in node.value.keys if isinstance(key, ast.Constant)]
    return names


def library_names(path):
    listing = subprocess.run(["nm", "-D", "--defined-only", path], check=True, capture_output=True, text=True).stdout
    return [fields[2] for fields in (line.split() for line in listing.splitlines()) if len(fields) == 3
            and fields[1] == "T"]


def compare(what, names, declared):
    problems = []
    seen = set()
    for name in names:
        if name in seen:
            problems.append("%s: %s listed twice" % (what, name))
        seen.add(name)
    problems += ["%s: %s is missing" % (what, name) for name in sorted(declared - seen)]
    problems += ["%s: %s is not declared in include/pelkor16.h" % (what, name) for name in sorted(seen - declared)]
    return problems


def main(argv):
    arguments = argv[1:]
    library = None
    if "--library" in arguments:
        at = arguments.index("--library")
        if at + 1 >= len(arguments):
            print(__doc__)
            return 2
        library = arguments[at + 1]
        del arguments[at:at + 2]
    root = pathlib.Path(arguments[0] if arguments else pathlib.Path(__file__).resolve().parents[2])

    header = header_names(root)
    declared = set(header)
    problems = compare("include/pelkor16.h", header, declared)  # only duplicates can show
    if not declared:
        problems.append("include/pelkor16.h: no export found")
    lists = [
        ("src/api/*.cpp", definition_names(root)),
        ("src/api/pelkor16.def", def_file_names(root)),
        ("tests/windows/host_api_test.c", host_names(root)),
        ("bindings/python/pelkor16/_library.py", python_names(root)),
    ]
    if library is not None:
        lists.append((library, library_names(library)))
    for what, names in lists:
        problems += compare(what, names, declared)

    for line in problems:
        print(line)
    if problems:
        print("exports: %d problems" % len(problems))
        return 1
    print("exports: the %d exports of include/pelkor16.h are in all %d lists" % (len(declared), len(lists)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
