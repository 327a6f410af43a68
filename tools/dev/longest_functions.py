#!/usr/bin/env python3
"""Lists the longest functions of the tree, from universal-ctags' line and end fields.

Usage: tools/dev/longest_functions.py [--top N] [--over LINES] [PATH ...]
With --over, prints only the functions longer than LINES and exits 1 if there is one,
so a folder's limit can be checked by hand or in a script.
"""
import argparse
import json
import pathlib
import subprocess
import sys

SOURCE_SUFFIXES = {".cpp", ".h", ".hpp", ".c"}


def functions(paths):
    files = []
    for path in paths:
        p = pathlib.Path(path)
        if p.is_dir():
            files += [f for f in sorted(p.rglob("*")) if f.suffix in SOURCE_SUFFIXES]
        else:
            files.append(p)
    if not files:
        return []
    out = subprocess.run(
        ["ctags", "--output-format=json", "--fields=+ne", "--kinds-c++=f", "--kinds-c=f",
         "-o", "-"] + [str(f) for f in files],
        check=True, capture_output=True, text=True).stdout
    found = []
    for line in out.splitlines():
        tag = json.loads(line)
        if "end" not in tag or "line" not in tag:
            continue
        scope = tag.get("scope", "")
        name = f"{scope}::{tag['name']}" if scope and "__anon" not in scope else tag["name"]
        found.append((tag["end"] - tag["line"] + 1, tag["path"], tag["line"], name))
    return sorted(found, reverse=True)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--top", type=int, default=15)
    parser.add_argument("--over", type=int)
    parser.add_argument("paths", nargs="*", default=["src", "tools"])
    args = parser.parse_args()
    found = functions(args.paths)
    if args.over is not None:
        found = [f for f in found if f[0] > args.over]
    else:
        found = found[:args.top]
    for length, path, line, name in found:
        print(f"{length:5}  {path}:{line}  {name}")
    return 1 if args.over is not None and found else 0


if __name__ == "__main__":
    sys.exit(main())
