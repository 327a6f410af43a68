#!/usr/bin/env python3
"""Requests a second and latency of the gateway's API: POST /v1/messages and
GET /v1/messages/{id}, on SQLite and on PostgreSQL (a throwaway cluster, where it can
be started), with client threads each opening a connection per request, as most
integrations do.

    python3 bench/gateway_bench.py build [--requests 2000] [--clients 16] [--threads 8]

No phone daemon runs: the rows stay queued, so the figures are the server's and the
database's alone. Speed is measured here, never asserted in a test."""
import argparse
import concurrent.futures
import os
import random
import statistics
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "tests", "smsd"))


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(round(p / 100 * (len(ordered) - 1))))]


def run(server, requests, clients, make):
    """`requests` calls of make(i) -> (method, path, body) over `clients` threads: the
    requests a second, the latencies, and the statuses seen."""
    def one(i):
        method, path, body = make(i)
        started = time.perf_counter()
        answer = server.call(method, path, body)
        return time.perf_counter() - started, answer
    started = time.perf_counter()
    with concurrent.futures.ThreadPoolExecutor(clients) as pool:
        results = list(pool.map(one, range(requests)))
    wall = time.perf_counter() - started
    statuses = {}
    for _, a in results:
        statuses[a.status] = statuses.get(a.status, 0) + 1
    return requests / wall, [s for s, _ in results], statuses, [a for _, a in results]


def bench(name, url, args, h, g):
    with tempfile.TemporaryDirectory() as d:
        server = g.Server(url, "--threads", str(args.threads), log_dir=d)
        try:
            server.token = g.create_token(url, "bench")
            server.call("POST", "/v1/messages", {"to": "+4917000000", "text": "warm-up"})
            post_rate, post_lat, post_status, answers = run(
                server, args.requests, args.clients,
                lambda i: ("POST", "/v1/messages", {"to": f"+49170{i:07d}", "text": f"benchmark message {i}"}))
            ids = [a.json["id"] for a in answers if a.status == 201]
            get_rate, get_lat, get_status, _ = run(
                server, args.requests, args.clients, lambda i: ("GET", f"/v1/messages/{random.choice(ids)}", None))
        finally:
            server.stop()
    for route, rate, lat, status in [("POST /v1/messages", post_rate, post_lat, post_status),
                                     ("GET /v1/messages/{id}", get_rate, get_lat, get_status)]:
        print(f"| {name} | `{route}` | {rate:,.0f} | {statistics.median(lat) * 1000:.1f} | "
              f"{percentile(lat, 99) * 1000:.1f} | {', '.join(f'{k}: {v}' for k, v in sorted(status.items()))} |")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("build", help="the build directory")
    parser.add_argument("--requests", type=int, default=2000, help="requests per route and database")
    parser.add_argument("--clients", type=int, default=16, help="client threads")
    parser.add_argument("--threads", type=int, default=8, help="the server's threads (serve --threads)")
    args = parser.parse_args()
    os.environ["SMSD"] = os.path.join(args.build, "tools", "smsd", "pelkor-smsd")
    import smsd_harness as h
    import gateway_harness as g

    print(f"{args.requests} requests per route, {args.clients} client threads, serve --threads {args.threads}, "
          f"{os.cpu_count()} cores\n")
    print("| database | route | requests/s | p50 ms | p99 ms | answers |")
    print("|---|---|---:|---:|---:|---|")
    with tempfile.TemporaryDirectory() as d:
        bench("SQLite", h.SqliteDb(d).url, args, h, g)
    why = h.why_no_postgres()
    if why:
        print(f"\nPostgreSQL skipped: {why}")
        return
    cluster = h.PostgresCluster()
    try:
        bench("PostgreSQL", cluster.database().url, args, h, g)
    finally:
        cluster.close()


if __name__ == "__main__":
    main()
