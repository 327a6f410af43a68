"""What the gateway tests share: `pelkor-smsd serve` as a process on a free port, an
HTTP client for it (standard library only), and a token to call it with."""
import json
import os
import re
import signal
import subprocess
import time
import urllib.error
import urllib.request

from smsd_harness import SMSD, smsd, wait_for


class Answer:
    """An HTTP answer: status, headers, body (bytes) and the body as JSON when it is."""

    def __init__(self, status, headers, body):
        self.status = status
        self.headers = headers
        self.body = body

    @property
    def json(self):
        return json.loads(self.body.decode("utf-8"))

    @property
    def text(self):
        return self.body.decode("utf-8", "replace")

    def __repr__(self):
        return f"<{self.status} {self.text[:300]}>"


def request(url, method="GET", body=None, headers=None, timeout=30):
    """One request; `body` a dict is sent as JSON, bytes or str as they are. Never raises
    for an HTTP status: the answer carries it."""
    headers = dict(headers or {})
    data = None
    if isinstance(body, (dict, list)):
        data = json.dumps(body).encode()
        headers.setdefault("Content-Type", "application/json")
    elif isinstance(body, str):
        data = body.encode()
    elif body is not None:
        data = body
    req = urllib.request.Request(url, data=data, method=method, headers=headers)
    try:
        with urllib.request.urlopen(req, timeout=timeout) as r:
            return Answer(r.status, dict(r.headers), r.read())
    except urllib.error.HTTPError as e:
        return Answer(e.code, dict(e.headers), e.read())


class Server:
    """`pelkor-smsd serve` on 127.0.0.1 and a port of its choosing, its log in a file."""

    def __init__(self, url, *extra, log_dir, env=None):
        self.log_path = os.path.join(log_dir, f"serve-{time.monotonic_ns()}.log")
        self.log = open(self.log_path, "w")
        self.process = subprocess.Popen([SMSD, "--database", url, "--log-level", "debug", "serve", "--listen",
                                         "127.0.0.1:0", *extra], stdout=self.log, stderr=subprocess.STDOUT,
                                        env=dict(os.environ, **(env or {})))
        found = wait_for(lambda: self.process.poll() is not None or re.search(r"listening on (https?://[^,\s]+)",
                                                                            self.output()),
                         30, "serve to listen")
        if self.process.poll() is not None:
            raise AssertionError("serve exited: " + self.output())
        self.base = found.group(1)
        self.token = None

    def output(self):
        with open(self.log_path) as f:
            return f.read()

    def call(self, method, path, body=None, headers=None, token=True, timeout=30):
        """A request to this server; with the test's token unless token=False (or another
        token given as a string)."""
        headers = dict(headers or {})
        chosen = self.token if token is True else (token or None)
        if chosen:
            headers.setdefault("Authorization", "Bearer " + chosen)
        return request(self.base + path, method, body, headers, timeout)

    def stop(self, timeout=20):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGTERM)
            self.process.wait(timeout=timeout)
        self.log.close()
        return self.process.returncode

    def kill(self):
        if self.process.poll() is None:
            self.process.send_signal(signal.SIGKILL)
            self.process.wait(timeout=10)
        self.log.close()


def create_token(url, name="tests"):
    result = smsd("--database", url, "token", "create", name)
    if result.returncode != 0:
        raise AssertionError("token create: " + result.stderr)
    return result.stdout.strip()


class WithServer:
    """Mixed into a PhoneAndDatabase test case: start_server() starts serve on the test's
    database with a fresh token; the servers are ended when the test ends."""

    def start_server(self, *extra, env=None):
        if not hasattr(self, "servers"):
            self.servers = []
            self.addCleanup(lambda: [s.kill() for s in self.servers])
        server = Server(self.db.url, *extra, log_dir=self.dir.name, env=env)
        self.servers.append(server)
        server.token = create_token(self.db.url, f"tests{len(self.servers)}")
        return server
