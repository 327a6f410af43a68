#!/usr/bin/env python3
"""Throughput of pelkor-smsd: outbox rows sent per minute through one and two phonesims
paced at the real line rate (115200 baud), and received messages stored per minute
through one, set against what the line itself could carry.

    python3 bench/smsd_bench.py build [--rows 300] [--submit-delay 3000] [--delayed-rows 20]

The sending runs are made twice: with a network that confirms at once, and with one that
takes --submit-delay milliseconds a submission, as a real one takes seconds.

Speed is measured here, never asserted in a test."""
import argparse
import os
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "smsd"))

LINE_BYTES_PER_SECOND = 115200 / 10  # 8N1: ten bits a byte


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="the build directory")
    parser.add_argument("--rows", type=int, default=300, help="outbox rows per run")
    parser.add_argument("--submit-delay", type=int, default=3000,
                        help="milliseconds the network takes a submission in the second run (0: no such run)")
    parser.add_argument("--delayed-rows", type=int, default=20, help="outbox rows per run with the network's delay")
    args = parser.parse_args()
    os.environ["SMSD"] = os.path.join(args.build, "tools", "smsd", "pelkor-smsd")
    os.environ["PHONESIM"] = os.path.join(args.build, "tools", "phonesim", "phonesim")
    import smsd_harness as h

    text = ("Gateway throughput " * 9)[:160]  # one full 7-bit message

    def send_runs(rows, delay_ms):
        print(f"{rows} outbox rows of 160 GSM characters each, SQLite, phonesim paced at 115200 baud, "
              f"the network taking {delay_ms / 1000:g} s a submission")
        print(f"{'phones':>6} {'seconds':>8} {'msgs/min':>9} {'per phone':>10} {'line limit/phone':>17}")
        for phones in (1, 2):
            with tempfile.TemporaryDirectory() as d:
                db = h.SqliteDb(d)
                sims = [h.Phone() for _ in range(phones)]
                try:
                    for s in sims:
                        s.control("pace on")
                        s.control(f"set /network/submit_delay_ms {delay_ms}")
                    h.smsd("--port", sims[0].device, "--database", db.url, "--once")  # the schema
                    with __import__("sqlite3").connect(db.path) as c:
                        c.executemany("INSERT INTO outbox (destination, text) VALUES (?, ?)",
                                      [(f"+4917{i:06d}", text) for i in range(rows)])
                    for s in sims:
                        s.control("wire clear")
                    start = time.monotonic()
                    daemons = [h.Daemon(s, db.url, "--poll-interval", "0.2", "--phone-id", f"bench{i}", log_dir=d)
                               for i, s in enumerate(sims)]
                    h.wait_for(lambda: not db.query("SELECT 1 FROM outbox WHERE status <> 'sent'"), 600 + rows * 10,
                               "every row sent", interval=0.05)
                    elapsed = time.monotonic() - start
                    for daemon in daemons:
                        daemon.stop()
                    # Bytes the computer wrote to the phone per message (frames, their
                    # acknowledgements, the status polls between) bound what one line carries.
                    written = sum(len(s.control("wire").split()) for s in sims)
                    sent = sum(len(s.sent()) for s in sims)
                    line_limit = 60 * LINE_BYTES_PER_SECOND / (written / sent)
                    rate = 60 * rows / elapsed
                    print(f"{phones:>6} {elapsed:>8.1f} {rate:>9.1f} {rate / phones:>10.1f} {line_limit:>17.0f}")
                finally:
                    for s in sims:
                        s.close()

    send_runs(args.rows, 0)
    if args.submit_delay > 0:
        send_runs(args.delayed_rows, args.submit_delay)

    with tempfile.TemporaryDirectory() as d:
        db = h.SqliteDb(d)
        sim = h.Phone({"sms": {"capacity": 40}})
        try:
            sim.control("pace on")
            h.smsd("--port", sim.device, "--database", db.url, "--once")
            for i in range(1, 41):
                sim.store(i, {"sender": f"+4915{i:06d}", "text": text, "time": [25, 1, 1, 0, 0, i]}, notify=False)
            start = time.monotonic()
            h.smsd("--port", sim.device, "--database", db.url, "--once")
            elapsed = time.monotonic() - start
            stored = len(db.query("SELECT id FROM inbox"))
            print(f"receiving: {stored} stored messages of 160 characters read, stored and deleted in "
                  f"{elapsed:.1f} s: {60 * stored / elapsed:.0f} a minute (one phone, one --once pass)")
        finally:
            sim.close()


if __name__ == "__main__":
    main()
