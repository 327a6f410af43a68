#!/usr/bin/env python3
"""Runs the fault soak and the init/terminate cycle test and rewrites their sections of
docs/reliability.md from the JSON figures they write.

    tests/soak/reliability_report.py                     # both, 120 s soak, 1000 cycles
    tests/soak/reliability_report.py --seconds 600 --seed 42
    tests/soak/reliability_report.py --only soak
    tests/soak/reliability_report.py --from-json soak.json cycles.json   # no run

The binaries are looked for under the build directory (--build, default build/). Only
the text between the markers <!-- soak:begin --> / <!-- soak:end --> and
<!-- cycles:begin --> / <!-- cycles:end --> is replaced; everything else in the document
is left as it is. A missing document is created with the markers in place. The exit
status is that of the runs: 0 only when every run passed.
"""

import argparse
import json
import os
import shlex
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
SCRIPT = Path(__file__).resolve().relative_to(ROOT).as_posix()

SKELETON = """# Reliability

The figures below are written by `{script}`; run it again to bring them up to date.
Text outside the marked sections is kept when it rewrites them.

## Fault soak

<!-- soak:begin -->
<!-- soak:end -->

## Init/terminate cycles

<!-- cycles:begin -->
<!-- cycles:end -->
"""


def find_binary(build: Path, name: str) -> Path:
    for candidate in (build / "tests" / "soak" / name, build / "soak" / name, build / name):
        if candidate.is_file() and os.access(candidate, os.X_OK):
            return candidate
    sys.exit(f"{name} not found under {build} (build it, or pass --build)")


def run(binary: Path, env_updates: dict, report_env: str):
    """Runs one test binary with its report path set; returns (exit code, figures, command)."""
    with tempfile.TemporaryDirectory(prefix="pelkor-reliability-") as tmp:
        report = Path(tmp) / "figures.json"
        env = dict(os.environ, **{k: str(v) for k, v in env_updates.items()})
        env[report_env] = str(report)
        shown = " ".join(f"{k}={shlex.quote(str(v))}" for k, v in env_updates.items())
        command = f"{shown} {binary.name}".strip()
        print(f"== {command}", flush=True)
        code = subprocess.call([str(binary)], env=env)
        figures = json.loads(report.read_text()) if report.is_file() else None
        return code, figures, command


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "|".join("---" for _ in header) + "|"]
    lines += ["| " + " | ".join(str(c) for c in row) + " |" for row in rows]
    return "\n".join(lines)


def codes(results: dict) -> str:
    return ", ".join(f"{code}: {n}" for code, n in sorted(results.items(), key=lambda kv: int(kv[0]))) or "(values)"


def soak_section(f: dict, command: str, code: int) -> str:
    if f is None:
        return f"The soak wrote no figures (exit status {code}); it crashed or could not start.\n"
    verdict = "passed" if f.get("passed") and code == 0 else "FAILED"
    out = [
        f"Run of {f['date']}: {f['seconds_run']:.0f} s of faults (planned {f['seconds_planned']} s), "
        f"seed {f['seed']}, {f['calls']} calls; **{verdict}**.",
        "",
        f"Produced by `{SCRIPT}`, which ran `{command}`; `SOAK_SEED={f['seed']}` replays the run's choices "
        "(timing on the line still varies).",
    ]
    if f.get("excluded_actions"):
        out += ["", "Actions left out: " + ", ".join(f["excluded_actions"]) + "."]
    if f.get("hung"):
        out += ["", f"The run ended early: {f['hung']}."]

    out += ["", "### Faults injected", ""]
    names = {
        "noise": "noise bursts",
        "corrupt_frame": "frames with a bad checksum",
        "lost_frame": "frames lost from long replies (at random; scenes: just before a download)",
        "refused_send": "sends refused by the phone",
        "no_acks": "spells without acknowledgements",
        "silence": "silences (the cable pulled)",
    }
    rows = []
    for kind, data in f["faults"].items():
        detail = []
        if "bytes" in data:
            detail.append(f"{data['bytes']} bytes")
        if "seconds" in data:
            detail.append(f"{data['seconds']:.1f} s in all")
        if "longest_ms" in data:
            detail.append(f"longest {data['longest_ms'] / 1000:.1f} s, {data['of_10_s_and_more']} of 10 s and more")
        if "scenes" in data:
            detail.append(f"{data['scenes']} scenes ({data['scenes_without_acks']} without acknowledgements)")
        if "applied" in data:
            detail.append(f"{data['applied']} hit a reply, {data.get('withdrawn', 0)} withdrawn unused")
        rows.append([names.get(kind, kind), data["count"], "; ".join(detail)])
    out.append(table(["fault", "count", "detail"], rows))

    s = f.get("sms", {})
    out += ["", "### Nothing lost", ""]
    out.append(table(["what", "count"], [
        ["SMS sends (all senders)", s.get("sends", "-")],
        ["reported sent (0)", s.get("reported_sent", "-")],
        ["of those, in the phone's store exactly once as sent", s.get("stored_exactly_once", "-")],
        ["lost", s.get("lost", "-")],
        ["duplicated", s.get("duplicated", "-")],
        ["stored altered", s.get("altered", "-")],
        ["refused (19, 22)", s.get("refused", "-")],
        ["refused but stored", s.get("refused_but_stored", "-")],
        ["timed out (4)", s.get("timed_out", "-")],
        ["timed out, yet reached the phone", s.get("timed_out_but_reached_the_phone", "-")],
        ["phonebook entries reported written", f["phonebook"]["written"]],
        ["of those, stored exactly", f["phonebook"]["stored_exactly"]],
        ["phonebook writes refused", f["phonebook"]["refused"]],
        ["speed dials reported written", f["speed_dials"]["written"]],
        ["of those, stored exactly", f["speed_dials"]["stored_exactly"]],
    ]))

    a = f["isalive"]
    out += ["", "### isalive", "",
            f"{a['episodes']} times (after each silence, each spell without acknowledgements and at the end) "
            f"the idle line was watched: isalive must read 1 within {a['bound_ms']} ms; then, once the phone "
            f"had answered one request, it must stay 1 for 3 s (no two 0 readings in a row, 100 ms apart). "
            f"Longest wait for 1: {a['longest_back_after_ms']} ms; episodes with isolated 0 readings "
            f"afterwards: {a['episodes_with_zero_samples_after']}."]

    if f.get("multi_frame"):
        out += ["", "### Multi-frame messages", ""]
        out.append(table(["kind", "count"], sorted(f["multi_frame"].items())))

    out += ["", "### Calls per export", "",
            "Longest wait against the export's limit (its counted polls and fixed sleeps); "
            "the allowed time adds 250 ms and a fifth of the limit.", ""]
    rows = []
    for name, e in sorted(f["exports"].items()):
        rows.append([f"`{name}`", e["calls"], e["longest_ms"], e["limit_ms"], e["allowed_ms"], codes(e["results"])])
    out.append(table(["export", "calls", "longest ms", "limit ms", "allowed ms", "results"], rows))

    out += ["", "### Result codes", "", table(["code", "calls"], sorted(f["results"].items(), key=lambda kv: int(kv[0])))]
    if f.get("timeouts_on_a_clean_link"):
        out += ["", "Time-outs while no fault was under way: " +
                ", ".join(f"`{k}` {v}" for k, v in sorted(f["timeouts_on_a_clean_link"].items())) + "."]
    if f.get("failures"):
        out += ["", "### Failures", ""]
        for kind, data in f["failures"].items():
            out.append(f"- {kind}: {data['count']}")
            out += [f"  - {sample}" for sample in data["samples"]]
    return "\n".join(out) + "\n"


def cycles_section(f: dict, command: str, code: int) -> str:
    if f is None:
        return f"The cycle test wrote no figures (exit status {code}); it crashed or could not start.\n"
    verdict = "passed" if f.get("passed") and code == 0 else "FAILED"
    d, t = f["descriptors"], f["threads"]
    kept = ", ".join(d.get("kept_from_the_first_session", [])) or "nothing"
    out = [
        f"Run of {f['date']}: {f['cycles']} cycles of `init` and `terminate` with quick start "
        f"(port name `{f['port']}`, its trailing capital F) in "
        f"{f['seconds']:.1f} s, {f['mean_cycle_ms']:.1f} ms a cycle (longest {f['longest_cycle_ms']} ms); "
        f"**{verdict}**.",
        "",
        f"Produced by `{SCRIPT}`, which ran `{command}`.",
        "",
        table(["", "open descriptors", "threads"], [
            ["before the first session", d["fresh"], t["fresh"]],
            ["with a session open", d["session_open"], t["session_open"]],
            ["after the first session (the baseline)", d["before"], t["before"]],
            ["highest seen during the cycles", d["peak_during"], t["peak_during"]],
            ["after the last cycle", d["after"], t["after"]],
        ]),
        "",
        f"Kept for the life of the process from the first session: {kept}.",
        f"init results: {codes(f['init_results'])}; longest init {f['longest_init_ms']} ms "
        f"(limit {f['init_limit_ms']} ms), longest terminate {f['longest_terminate_ms']} ms "
        f"(limit {f['terminate_limit_ms']} ms); sessions not alive right after init: "
        f"{f['sessions_not_alive_after_init']}.",
    ]
    return "\n".join(out) + "\n"


def replace_section(doc: str, name: str, body: str) -> str:
    begin, end = f"<!-- {name}:begin -->", f"<!-- {name}:end -->"
    if begin not in doc or end not in doc:
        doc = doc.rstrip("\n") + f"\n\n{begin}\n{end}\n"
    head, rest = doc.split(begin, 1)
    _, tail = rest.split(end, 1)
    return f"{head}{begin}\n{body}{end}{tail}"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=ROOT / "build", help="build directory (default build/)")
    parser.add_argument("--doc", type=Path, default=ROOT / "docs" / "reliability.md")
    parser.add_argument("--seconds", type=int, default=120, help="length of the soak (SOAK_SECONDS)")
    parser.add_argument("--seed", type=int, help="replay a soak (SOAK_SEED)")
    parser.add_argument("--cycles", type=int, default=1000, help="init/terminate cycles (CYCLES)")
    parser.add_argument("--only", choices=["soak", "cycles"])
    parser.add_argument("--from-json", nargs=2, metavar=("SOAK", "CYCLES"),
                        help="rewrite the document from these figure files without running anything")
    args = parser.parse_args()

    status = 0
    sections = {}
    if args.from_json:
        for name, path in zip(("soak", "cycles"), args.from_json):
            figures = json.loads(Path(path).read_text())
            render = soak_section if name == "soak" else cycles_section
            sections[name] = render(figures, f"(figures from {Path(path).name})", 0 if figures.get("passed") else 1)
    else:
        if args.only in (None, "soak"):
            env = {"SOAK_SECONDS": args.seconds}
            if args.seed is not None:
                env["SOAK_SEED"] = args.seed
            code, figures, command = run(find_binary(args.build, "soak_tests"), env, "SOAK_REPORT")
            sections["soak"] = soak_section(figures, command, code)
            status |= code != 0
        if args.only in (None, "cycles"):
            code, figures, command = run(find_binary(args.build, "cycle_tests"), {"CYCLES": args.cycles},
                                         "CYCLES_REPORT")
            sections["cycles"] = cycles_section(figures, command, code)
            status |= code != 0

    doc = args.doc.read_text() if args.doc.is_file() else SKELETON.format(script=SCRIPT)
    for name, body in sections.items():
        doc = replace_section(doc, name, body)
    args.doc.parent.mkdir(parents=True, exist_ok=True)
    args.doc.write_text(doc)
    print(f"== wrote {args.doc}")
    return 1 if status else 0


if __name__ == "__main__":
    sys.exit(main())
