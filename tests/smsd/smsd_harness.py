"""What the pelkor-smsd tests share: a phonesim on a pseudo-terminal, the daemon as a
process, and the two databases behind one small query interface."""
import glob
import json
import os
import shutil
import signal
import socket
import sqlite3
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "helpers"))
from phonesim_stdin import PhonesimOnStdin  # noqa: E402

SMSD = os.environ.get("SMSD", "pelkor-smsd")


def wait_for(predicate, timeout, what, interval=0.2):
    """Polls until predicate() is true; fails with `what` after `timeout` seconds."""
    end = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() > end:
            raise AssertionError("timed out waiting for " + what)
        time.sleep(interval)


class Phone(PhonesimOnStdin):
    """A phonesim driven by control lines on its stdin; a control line it refuses fails."""

    def control(self, line):
        reply = super().control(line)
        if reply.startswith("error"):
            raise AssertionError(f"phonesim: {line}: {reply}")
        return reply

    def deliver(self, sender, text):
        """A 7-bit message with its arrival notice."""
        return self.control(f"sms deliver {sender} {text}")

    def store(self, location, message, notify=True):
        """Any message at a location of the store, with its arrival notice."""
        entry = dict({"location": location, "kind": "received", "read": False}, **message)
        self.control("set /sms/messages/- " + json.dumps(entry, ensure_ascii=False))
        if notify:
            self.control(f"send 02 01 08 00 10 02 {location:02X} 00")

    def stored_texts(self):
        return [m.get("text") for m in self.state()["sms"]["messages"] if m.get("kind", "received") == "received"]

    def sent(self):
        """Submissions the phone confirmed: (destination, text, concat) each."""
        return [m for m in self.state()["sms"].get("sent", []) if m.get("outcome") == "sent"]

    def sent_texts(self):
        """Whole texts the phone sent: single messages and joined concatenated ones."""
        state = self.state()["sms"]
        singles = [m["text"] for m in state.get("sent", []) if m.get("outcome") == "sent" and "concat" not in m]
        return singles + [m["text"] for m in state.get("concatenated", [])]


class Daemon:
    """pelkor-smsd in the background, its log in a file."""

    def __init__(self, phone, url, *extra, log_dir, env=None):
        self.log_path = os.path.join(log_dir, f"smsd-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        # The library writes its dump files of UCS-2 messages under TMPDIR: the test's own.
        env = dict(os.environ, TMPDIR=log_dir, **(env or {}))
        self.process = subprocess.Popen([SMSD, "--port", phone.device, "--database", url, "--log-level", "debug",
                                         *extra], stdout=self.log, stderr=subprocess.STDOUT, env=env)

    def kill(self):
        self.process.send_signal(signal.SIGKILL)
        self.process.wait(timeout=10)
        self.log.close()

    def stop(self, timeout=20):
        self.process.send_signal(signal.SIGTERM)
        code = self.process.wait(timeout=timeout)
        self.log.close()
        return code

    def output(self):
        with open(self.log_path) as f:
            return f.read()


def smsd(*args, timeout=120):
    return subprocess.run([SMSD, *args], capture_output=True, text=True, timeout=timeout)


class SqliteDb:
    def __init__(self, directory):
        self.path = os.path.join(directory, "db", "sms.db")
        self.url = "sqlite://" + self.path

    def query(self, sql):
        if not os.path.exists(self.path):
            return []
        with sqlite3.connect(self.path, timeout=30) as db:
            db.row_factory = sqlite3.Row
            return [dict(row) for row in db.execute(sql)]

    def execute(self, sql):
        with sqlite3.connect(self.path, timeout=30) as db:
            db.execute(sql)

    def close(self):
        pass


def postgres_bin():
    found = sorted(glob.glob("/usr/lib/postgresql/*/bin/initdb"))
    return os.path.dirname(found[-1]) if found else None


def why_no_postgres():
    if postgres_bin() is None:
        return "PostgreSQL is not installed (/usr/lib/postgresql/*/bin/initdb)"
    if os.geteuid() != 0 or shutil.which("runuser") is None:
        return "starting a throwaway PostgreSQL cluster needs root and runuser"
    if shutil.which("psql") is None:
        return "psql is not installed"
    return None


class PostgresCluster:
    """A throwaway cluster of the postgres user on a Unix socket in a temporary
    directory, on a free port; stopped and removed by close()."""

    def __init__(self):
        self.bin = postgres_bin()
        self.dir = tempfile.mkdtemp(prefix="smsd-pg-")
        os.chmod(self.dir, 0o777)
        self.data = os.path.join(self.dir, "data")
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            self.port = s.getsockname()[1]
        self.as_postgres(os.path.join(self.bin, "initdb"), "-D", self.data, "-A", "trust", "-U", "postgres",
                         "--no-sync", "-E", "UTF8", "--locale=C")
        self.as_postgres(os.path.join(self.bin, "pg_ctl"), "-D", self.data, "-w", "-l",
                         os.path.join(self.dir, "server.log"), "-o",
                         f"-k {self.dir} -p {self.port} -c listen_addresses='' -c fsync=off", "start")
        self.databases = 0

    def as_postgres(self, *args):
        subprocess.run(["runuser", "-u", "postgres", "--", *args], check=True, capture_output=True, timeout=120)

    def database(self):
        self.databases += 1
        name = f"smsd{self.databases}"
        subprocess.run(["psql", "-h", self.dir, "-p", str(self.port), "-U", "postgres", "-d", "postgres", "-qAt",
                        "-c", f"CREATE DATABASE {name}"], check=True, capture_output=True, timeout=60)
        return PostgresDb(self, name)

    def close(self):
        subprocess.run(["runuser", "-u", "postgres", "--", os.path.join(self.bin, "pg_ctl"), "-D", self.data,
                        "-m", "fast", "-w", "stop"], capture_output=True, timeout=60)
        shutil.rmtree(self.dir, ignore_errors=True)


class PostgresDb:
    def __init__(self, cluster, name):
        self.cluster = cluster
        self.name = name
        self.url = f"postgresql:///{name}?host={cluster.dir}&port={cluster.port}&user=postgres"

    def psql(self, sql):
        result = subprocess.run(["psql", "-h", self.cluster.dir, "-p", str(self.cluster.port), "-U", "postgres",
                                 "-d", self.name, "-qAt", "-v", "ON_ERROR_STOP=1", "-c", sql],
                                capture_output=True, text=True, timeout=60)
        if result.returncode != 0:
            if "does not exist" in result.stderr:
                return None
            raise AssertionError("psql: " + result.stderr)
        return result.stdout

    def query(self, sql):
        out = self.psql(f"SELECT coalesce(json_agg(q), '[]') FROM ({sql}) q")
        return [] if out is None else json.loads(out)

    def execute(self, sql):
        self.psql(sql)

    def close(self):
        pass


class PhoneAndDatabase:
    """A test case's phone (phonesim, 40 locations), its database (make_db, given by each
    store's class) and the daemons it starts, ended when the test ends."""

    def make_db(self):
        raise NotImplementedError

    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.db = self.make_db()
        self.phone = Phone({"sms": {"capacity": 40}})
        self.daemons = []

    def tearDown(self):
        for d in self.daemons:
            if d.process.poll() is None:
                d.kill()
        self.phone.close()
        self.db.close()
        self.dir.cleanup()

    def once(self, *extra):
        result = smsd("--port", self.phone.device, "--database", self.db.url, "--once", *extra)
        self.assertEqual(result.returncode, 0, result.stderr)
        return result


class OnPostgres:
    """A test class's throwaway PostgreSQL cluster, started once for the class; each test
    gets a database of its own in it."""
    cluster = None

    @classmethod
    def setUpClass(cls):
        cls.cluster = PostgresCluster()

    @classmethod
    def tearDownClass(cls):
        if cls.cluster:
            cls.cluster.close()

    def make_db(self):
        return self.cluster.database()
