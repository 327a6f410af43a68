"""`pelkor-smsd serve` itself: API tokens and dashboard users (kept as hashes, checked,
revoked), the server's settings, TLS, and requests it must refuse."""
import hashlib
import os
import ssl
import subprocess
import tempfile
import unittest
import urllib.request

from gateway_harness import Server, WithServer, create_token, request
from smsd_harness import OnPostgres, PhoneAndDatabase, SqliteDb, smsd, why_no_postgres

NO_POSTGRES = why_no_postgres()


class TokenChecks(WithServer):
    """Tokens and users, on either database."""

    def test_a_token_lets_in_until_it_is_revoked(self):
        server = self.start_server()
        self.assertEqual(server.call("GET", "/v1/phones").status, 200)
        # Nothing, another scheme, a malformed token, a known id with another secret.
        other_secret = server.token[:-4] + ("0000" if not server.token.endswith("0000") else "1111")
        for headers in [{}, {"Authorization": "Basic " + server.token}, {"Authorization": "Bearer pk_1_x"},
                        {"Authorization": "Bearer " + other_secret}]:
            answer = server.call("GET", "/v1/phones", headers=headers, token=False)
            self.assertEqual(answer.status, 401, headers)
            self.assertEqual(answer.headers.get("Content-Type"), "application/problem+json")
            self.assertIn("Bearer", answer.headers.get("WWW-Authenticate", ""))
            self.assertEqual(answer.json["status"], 401)
        # The scheme's name is case-insensitive.
        self.assertEqual(server.call("GET", "/v1/phones", headers={"Authorization": "bearer " + server.token},
                                     token=False).status, 200)
        result = smsd("--database", self.db.url, "token", "revoke", "tests1")
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(server.call("GET", "/v1/phones").status, 401)
        again = smsd("--database", self.db.url, "token", "revoke", "tests1")
        self.assertEqual(again.returncode, 2)
        self.assertIn("no token tests1", again.stderr)

    def test_tokens_and_passwords_are_stored_only_as_hashes(self):
        token = create_token(self.db.url, "app")
        self.assertRegex(token, r"^pk_\d+_[0-9a-f]{64}$")
        rows = self.db.query("SELECT name, token_hash FROM api_tokens")
        self.assertEqual(rows, [{"name": "app", "token_hash": hashlib.sha256(token.encode()).hexdigest()}])
        listing = smsd("--database", self.db.url, "token", "list")
        self.assertIn("app", listing.stdout)
        self.assertNotIn(token, listing.stdout + listing.stderr)
        # A name is taken once; names are printable without spaces.
        self.assertEqual(smsd("--database", self.db.url, "token", "create", "app").returncode, 2)
        self.assertEqual(smsd("--database", self.db.url, "token", "create", "two words").returncode, 2)

        password_file = os.path.join(self.dir.name, "password")
        with open(password_file, "w") as f:
            f.write("correct horse battery\n")
        result = smsd("--database", self.db.url, "user", "add", "ops", "--password-from", password_file)
        self.assertEqual(result.returncode, 0, result.stderr)
        stored = self.db.query("SELECT password_hash FROM users WHERE name = 'ops'")[0]["password_hash"]
        self.assertTrue(stored.startswith("pbkdf2-sha256$"), stored)
        self.assertNotIn("correct horse", stored)
        # Too short a password is refused, read from standard input too.
        short = subprocess.run([os.environ.get("SMSD", "pelkor-smsd"), "--database", self.db.url, "user", "add",
                                "dev"], input="short\n", capture_output=True, text=True, timeout=60)
        self.assertEqual(short.returncode, 2)
        self.assertIn("8 characters", short.stderr)
        self.assertEqual(self.db.query("SELECT name FROM users ORDER BY name"), [{"name": "ops"}])


class SqliteTokens(TokenChecks, PhoneAndDatabase, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(NO_POSTGRES, NO_POSTGRES or "")
class PostgresTokens(OnPostgres, TokenChecks, PhoneAndDatabase, unittest.TestCase):
    pass


class ServerSettings(WithServer, PhoneAndDatabase, unittest.TestCase):
    """What serve refuses and how it serves, on SQLite."""

    def make_db(self):
        return SqliteDb(self.dir.name)

    def test_bad_settings_stop_it_before_it_listens(self):
        cases = [(["--tls-cert", "/nonexistent.pem"], 2, "tls_cert and tls_key go together"),
                 (["--threads", "0"], 2, "threads must be a whole number from 1 to 256"),
                 (["--listen", "localhost"], 1, "listen must be host:port"),
                 (["--listen", "127.0.0.1:99999"], 1, "listen must be host:port")]
        for extra, code, message in cases:
            result = smsd("--database", self.db.url, "serve", *extra, timeout=30)
            self.assertEqual(result.returncode, code, (extra, result.stderr))
            self.assertIn(message, result.stderr)

    def test_it_serves_https_with_the_given_certificate(self):
        cert, key = os.path.join(self.dir.name, "cert.pem"), os.path.join(self.dir.name, "key.pem")
        subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "1", "-subj", "/CN=127.0.0.1"], check=True, capture_output=True, timeout=60)
        server = self.start_server("--tls-cert", cert, "--tls-key", key)
        self.assertTrue(server.base.startswith("https://"), server.base)
        context = ssl.create_default_context(cafile=cert)
        context.check_hostname = False
        with urllib.request.urlopen(server.base + "/healthz", context=context, timeout=30) as r:
            self.assertEqual(r.status, 200)
        # Plain HTTP to the TLS port gets no answer a client could take for one.
        with self.assertRaises(Exception):
            urllib.request.urlopen(server.base.replace("https://", "http://") + "/healthz", timeout=10).read()

    def test_requests_it_refuses(self):
        server = self.start_server()
        # A body over the limit is refused before any handler reads it.
        self.assertEqual(server.call("POST", "/v1/messages", body=b"x" * (2 << 20),
                                     headers={"Content-Type": "application/json"}).status, 413)
        unknown = server.call("GET", "/v1/no/such/route")
        self.assertEqual(unknown.status, 404)
        self.assertEqual(unknown.json["title"], "Not Found")
        health = request(server.base + "/healthz")
        self.assertEqual(health.headers.get("X-Content-Type-Options"), "nosniff")
        self.assertEqual(health.json["database"], "ok")


if __name__ == "__main__":
    unittest.main()
