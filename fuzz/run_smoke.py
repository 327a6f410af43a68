#!/usr/bin/env python3
"""Runs every fuzz target for a short while over a copy of its seed corpus.

    python3 fuzz/run_smoke.py BUILD_DIR [--seconds 30] [--target NAME ...]

BUILD_DIR is a build configured with PELKOR_FUZZ=ON whose `fuzz` target is built; the
binaries are BUILD_DIR/fuzz/fuzz_<name>, the seeds fuzz/corpus/<name>/. Nothing is
built here, and the tree is not changed: each target works on a temporary copy of its
corpus. The targets run one after another. Anything a target reports (crash, leak,
time-out, out-of-memory) fails the run; the input and the target's log are kept under
BUILD_DIR/fuzz-smoke/<name>/. One line per target, then one summary line.
"""

import argparse
import os
import pathlib
import re
import shutil
import subprocess
import sys
import tempfile
import time

FUZZ = pathlib.Path(__file__).resolve().parent
CORPORA = FUZZ / "corpus"
FINDING_PREFIXES = ("crash-", "leak-", "timeout-", "oom-")
STATUS = re.compile(r"^#(\d+)\s+(INITED|NEW|REDUCE|pulse|DONE)\b.*?cov: (\d+) ft: (\d+) corp: (\d+)")
STAT = re.compile(r"^stat::(\w+):\s+(\d+)")


def targets():
    return sorted(p.name for p in CORPORA.iterdir() if p.is_dir())


def report_lines(log_text):
    """The lines of a target's log that say what went wrong, and the top of its stack."""
    lines = log_text.splitlines()
    out = []
    for i, line in enumerate(lines):
        if ("check failed" in line or line.startswith("SUMMARY:") or "ERROR:" in line or
                "what():" in line or "runtime error:" in line):
            out.append(line)
            if i > 0 and "check failed" in line and not lines[i - 1].startswith(("#", "INFO", "MS:")):
                out.insert(len(out) - 1, lines[i - 1])  # the check's explanation
    runtime = ("fuzzer::", "__sanitizer", "libc.so", "libstdc++", "fuzzing::CheckFailed", " nptl/", " signal/",
               " stdlib/", " csu/", "LLVMFuzzerTestOneInput", " main ", " _start ")
    frames = [l for l in lines if re.match(r"\s+#\d+ 0x[0-9a-f]+ in ", l) and not any(r in l for r in runtime)]
    return list(dict.fromkeys(out))[:8] + [l.strip() for l in frames[:8]]


def run_target(name, binary, seconds, artifacts, scratch):
    artifacts.mkdir(parents=True, exist_ok=True)
    work = scratch / name
    shutil.copytree(CORPORA / name, work)
    seeds = sum(1 for p in work.iterdir() if p.is_file())
    log_path = artifacts / (name + ".log")
    command = [str(binary), "-max_total_time=%d" % seconds, "-timeout=10", "-rss_limit_mb=2048",
               "-print_final_stats=1", "-artifact_prefix=%s/" % artifacts, str(work)]
    env = dict(os.environ)
    env.setdefault("UBSAN_OPTIONS", "print_stacktrace=1")
    with open(log_path, "w") as log:
        log.write(" ".join(command) + "\n")
        log.flush()
        began = time.monotonic()
        try:
            code = subprocess.run(command, stdout=log, stderr=subprocess.STDOUT, env=env,
                                  timeout=seconds + 120).returncode
        except subprocess.TimeoutExpired:
            code = None
        elapsed = max(time.monotonic() - began, 1e-3)
    text = log_path.read_text(errors="replace")

    status = None
    stats = {}
    for line in text.splitlines():
        m = STATUS.match(line)
        if m:
            status = m
        s = STAT.match(line)
        if s:
            stats[s.group(1)] = int(s.group(2))
    findings = sorted(p for p in artifacts.iterdir() if p.name.startswith(FINDING_PREFIXES))

    executions = stats.get("number_of_executed_units", int(status.group(1)) if status else 0)
    # After a finding the final stats may be missing, or say 0 for a run under a second.
    rate = stats.get("average_exec_per_sec") or int(executions / elapsed)
    coverage = "cov %s ft %s corpus %d->%s" % (status.group(3), status.group(4), seeds, status.group(5)) \
        if status else "no coverage reported"
    if code == 0 and not findings:
        result = "ok"
    elif code is None:
        result = "FAILED: did not stop within %d s" % (seconds + 120)
    elif findings:
        result = "FINDING: " + ", ".join(str(p) for p in findings)
    else:
        result = "FAILED: exit code %d" % code
    print("fuzz-smoke: %-17s %9d execs (%6d/s)  %-36s %s" % (name, executions, rate, coverage, result), flush=True)
    if result != "ok":
        for line in report_lines(text):
            print("    " + line)
        print("    log: %s" % log_path, flush=True)
    return result == "ok"


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("build_dir", type=pathlib.Path)
    parser.add_argument("--seconds", type=int, default=30, help="fuzzing time per target (default 30)")
    parser.add_argument("--target", action="append", choices=targets(), help="run only this target (repeatable)")
    parser.add_argument("--artifacts", type=pathlib.Path,
                        help="where findings and logs go (default BUILD_DIR/fuzz-smoke)")
    args = parser.parse_args()

    names = args.target or targets()
    artifacts = (args.artifacts or args.build_dir / "fuzz-smoke").resolve()
    missing = [n for n in names if not (args.build_dir / "fuzz" / ("fuzz_" + n)).is_file()]
    if missing:
        print("fuzz-smoke: not built in %s: %s (build the `fuzz` target of a PELKOR_FUZZ=ON build)"
              % (args.build_dir, ", ".join("fuzz_" + n for n in missing)), file=sys.stderr)
        return 2

    passed = 0
    with tempfile.TemporaryDirectory(prefix="pelkor-fuzz-smoke-") as scratch:
        for name in names:
            target_artifacts = artifacts / name
            shutil.rmtree(target_artifacts, ignore_errors=True)
            binary = (args.build_dir / "fuzz" / ("fuzz_" + name)).resolve()
            passed += run_target(name, binary, args.seconds, target_artifacts, pathlib.Path(scratch))
    failed = len(names) - passed
    print("fuzz-smoke: %d targets, %d s each: %d passed, %d failed%s"
          % (len(names), args.seconds, passed, failed, "" if not failed else " (findings under %s)" % artifacts))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
