"""The dashboard of `pelkor-smsd serve`: signing in (cookie, CSRF on the form and on every
write), its files (no way out of its directory, no link followed), the hourly counts and
the tokens it shows, on SQLite and on PostgreSQL; then the whole app in headless Chromium
against phonesim and a phone daemon (skipped, visibly, where selenium or Chromium is not
installed). Screenshots go to $GATEWAY_SCREENSHOTS, or a temporary directory."""
import http.client
import json
import os
import re
import shutil
import subprocess
import tempfile
import time
import unittest
import urllib.parse

from gateway_harness import WithServer
from smsd_harness import SMSD, Daemon, OnPostgres, PhoneAndDatabase, SqliteDb, smsd, wait_for, why_no_postgres

DASHBOARD = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "smsd", "dashboard")
CHROMIUM, CHROMEDRIVER = "/usr/bin/chromium", "/usr/bin/chromedriver"
PASSWORD = "correct horse battery"
RECIPIENT = "+4917012345"
LONG_REPLY = "Got it, thanks. " + " ".join(f"word{i:02d}" for i in range(30))  # 2 parts: shown whole

try:
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service
    from selenium.common.exceptions import StaleElementReferenceException
    from selenium.webdriver.common.by import By
    from selenium.webdriver.support.ui import WebDriverWait
    NO_BROWSER = None if os.path.exists(CHROMIUM) and os.path.exists(CHROMEDRIVER) else "Chromium is not installed"
except ImportError:
    NO_BROWSER = "selenium is not installed for this Python (/usr/bin/python3 has it on Debian)"


class Browser:
    """One plain HTTP exchange at a time with the cookies a browser would keep, and no
    redirect followed (urllib's would hide the 303)."""

    def __init__(self, base):
        self.url = urllib.parse.urlsplit(base)
        self.cookies = {}

    def send(self, method, path, body=None, headers=None):
        headers = dict(headers or {})
        if self.cookies:
            headers["Cookie"] = "; ".join(f"{k}={v}" for k, v in self.cookies.items())
        if isinstance(body, dict) and headers.get("Content-Type") != "application/json":
            body = urllib.parse.urlencode(body)
            headers["Content-Type"] = "application/x-www-form-urlencoded"
        elif isinstance(body, dict):
            body = json.dumps(body)
        connection = http.client.HTTPConnection(self.url.hostname, self.url.port, timeout=30)
        connection.request(method, path, body=body, headers=headers)
        response = connection.getresponse()
        response.body = response.read().decode("utf-8", "replace")
        response.set_cookies = response.headers.get_all("Set-Cookie") or []
        for line in response.set_cookies:
            name, value = line.split(";")[0].split("=", 1)
            if re.search(r"Max-Age=0\b", line):
                self.cookies.pop(name, None)
            else:
                self.cookies[name] = value
        connection.close()
        return response

    def json(self, method, path, body=None, csrf=None):
        headers = {"Content-Type": "application/json"}
        if csrf:
            headers["X-CSRF-Token"] = csrf
        return self.send(method, path, body, headers)

    def sign_in(self, **fields):
        page = self.send("GET", "/")
        check = re.search(r'name="_csrf" value="([0-9a-f]+)"', page.body).group(1)
        return self.send("POST", "/login", dict(fields, _csrf=check))


def add_user(url, name, password):
    result = subprocess.run([SMSD, "--database", url, "user", "add", name, "--password-from", "-"], input=password,
                            capture_output=True, text=True, timeout=60)
    if result.returncode != 0:
        raise AssertionError("user add: " + result.stderr)


class DashboardServerChecks(WithServer, PhoneAndDatabase):

    def setUp(self):
        super().setUp()
        add_user(self.db.url, "alice", PASSWORD)

    def test_signing_in_the_cookie_and_csrf_on_every_write(self):
        server = self.start_server()
        browser = Browser(server.base)
        page = browser.send("GET", "/")
        self.assertEqual(page.status, 200)
        self.assertIn('action="/login"', page.body)
        self.assertIn("default-src 'self'", page.getheader("Content-Security-Policy"))
        # The form's check is double-submitted: without its cookie (a form posted from
        # another site) it is refused, whatever the credentials.
        check = re.search(r'name="_csrf" value="([0-9a-f]{64})"', page.body).group(1)
        stranger = Browser(server.base).send("POST", "/login", {"_csrf": check, "user": "alice",
                                                                "password": PASSWORD})
        self.assertEqual(stranger.status, 403)
        self.assertNotIn("pelkor_session", " ".join(stranger.set_cookies))
        # A wrong password and an unknown user get the same answer.
        answers = [browser.sign_in(user="alice", password="not the password"),
                   browser.sign_in(user="mallory", password=PASSWORD),
                   browser.sign_in(token="pk_1_" + "0" * 64)]
        for answer in answers:
            self.assertEqual(answer.status, 401)
            self.assertIn("those credentials are not valid", answer.body)
            self.assertNotIn("pelkor_session", browser.cookies)
        self.assertEqual(len({re.sub(r"[0-9a-f]{64}", "", a.body) for a in answers}), 1)

        signed_in = browser.sign_in(user="alice", password=PASSWORD)
        self.assertEqual((signed_in.status, signed_in.getheader("Location")), (303, "/"))
        cookie = next(c for c in signed_in.set_cookies if c.startswith("pelkor_session="))
        attributes = [a.strip() for a in cookie.split(";")[1:]]
        self.assertEqual(sorted(attributes), sorted(["HttpOnly", "SameSite=Strict", "Path=/", "Max-Age=43200"]))
        self.assertNotIn(PASSWORD, server.output())
        self.assertIn("<script src=\"/dashboard/app.js\"", browser.send("GET", "/").body)

        # Signing in again ends the session signed in before; behind a proxy that says
        # the browser came over HTTPS, the cookie is Secure.
        first_cookie = browser.cookies["pelkor_session"]
        again = browser.send("GET", "/")
        check = re.search(r'name="_csrf" value="([0-9a-f]{64})"', again.body)
        self.assertIsNone(check, "a signed-in browser gets the app")
        browser.cookies["pelkor_login"] = "a" * 64
        proxied = browser.send("POST", "/login", {"_csrf": "a" * 64, "user": "alice", "password": PASSWORD},
                               {"X-Forwarded-Proto": "https"})
        self.assertEqual(proxied.status, 303)
        self.assertIn("Secure", next(c for c in proxied.set_cookies if c.startswith("pelkor_session=")).split("; "))
        self.assertNotEqual(browser.cookies["pelkor_session"], first_cookie)
        stale = Browser(server.base)
        stale.cookies["pelkor_session"] = first_cookie
        self.assertEqual(stale.send("GET", "/v1/session").status, 401)
        cookie = next(c for c in proxied.set_cookies if c.startswith("pelkor_session="))

        session = json.loads(browser.send("GET", "/v1/session").body)
        self.assertEqual(session["name"], "alice")
        # A write of the session's without its CSRF token, or with another, is refused and
        # does nothing; with it, it is done.
        for csrf in [None, "0" * 64]:
            refused = browser.json("POST", "/v1/tokens", {"name": "from-a-form"}, csrf)
            self.assertEqual(refused.status, 403)
        self.assertEqual(self.db.query("SELECT name FROM api_tokens WHERE name = 'from-a-form'"), [])
        self.assertEqual(browser.json("POST", "/v1/tokens", {"name": "from-a-form"}, session["csrf"]).status, 201)
        self.assertEqual(browser.send("POST", "/logout").status, 403)
        out = browser.send("POST", "/logout", {"_csrf": session["csrf"]})
        self.assertEqual((out.status, out.getheader("Location")), (303, "/"))
        self.assertTrue(any(c.startswith("pelkor_session=;") and "Max-Age=0" in c for c in out.set_cookies))
        # The ended session is gone from the server, not only from this browser.
        old = Browser(server.base)
        old.cookies["pelkor_session"] = cookie.split(";")[0].split("=", 1)[1]
        self.assertEqual(old.send("GET", "/v1/session").status, 401)
        self.assertIn('action="/login"', old.send("GET", "/").body)

    def test_signing_in_with_a_token_and_losing_the_session_when_it_is_revoked(self):
        server = self.start_server()
        browser = Browser(server.base)
        self.assertEqual(browser.sign_in(token=server.token).status, 303)
        self.assertEqual(json.loads(browser.send("GET", "/v1/session").body)["name"], "tests1")
        token_id = int(server.token.split("_")[1])
        self.assertEqual(server.call("DELETE", f"/v1/tokens/{token_id}", token=create_token_named(self, "admin"))
                         .status, 204)
        self.assertEqual(browser.send("GET", "/v1/session").status, 401)

    def test_only_the_dashboards_own_files_are_served(self):
        root = os.path.join(self.dir.name, "dashboard")
        shutil.copytree(DASHBOARD, root)
        secret = os.path.join(self.dir.name, "secret.js")
        with open(secret, "w") as f:
            f.write("the database password")
        os.makedirs(os.path.join(root, "nested"))
        with open(os.path.join(root, "nested", "ok.js"), "w") as f:
            f.write("// nested\n")
        os.makedirs(os.path.join(self.dir.name, "outside"))
        with open(os.path.join(self.dir.name, "outside", "a.js"), "w") as f:
            f.write("outside")
        os.symlink(secret, os.path.join(root, "linked.js"))
        os.symlink(os.path.join(self.dir.name, "outside"), os.path.join(root, "elsewhere"))
        os.mkfifo(os.path.join(root, "pipe.js"))
        with open(os.path.join(root, "notes.exe"), "w") as f:
            f.write("x")
        server = self.start_server("--dashboard-dir", root)
        browser = Browser(server.base)

        for path, kind in [("/dashboard/app.js", "text/javascript"), ("/dashboard/style.css", "text/css"),
                           ("/dashboard/icon.svg", "image/svg+xml"), ("/dashboard/nested/ok.js", "text/javascript")]:
            answer = browser.send("GET", path)
            self.assertEqual(answer.status, 200, path)
            self.assertTrue(answer.getheader("Content-Type").startswith(kind), path)
            self.assertIn("script-src 'self'", answer.getheader("Content-Security-Policy"))
            self.assertEqual(answer.getheader("X-Content-Type-Options"), "nosniff")
        started = time.monotonic()
        for path in ["/dashboard/linked.js", "/dashboard/elsewhere/a.js", "/dashboard/pipe.js",
                     "/dashboard/notes.exe", "/dashboard/../secret.js", "/dashboard/%2e%2e/secret.js",
                     "/dashboard/nested/%2e%2e/%2e%2e/secret.js", "/dashboard/nested//ok.js", "/dashboard/.hidden.js",
                     "/dashboard/login.html", "/dashboard/index.html", "/dashboard/nested", "/dashboard/app.js%00.css",
                     "/dashboard/"]:
            answer = browser.send("GET", path)
            self.assertEqual(answer.status, 404, path)
            self.assertNotIn("password", answer.body)
            self.assertNotIn("outside", answer.body)
        self.assertLess(time.monotonic() - started, 10, "a FIFO held a request")

    def test_hourly_counts_of_sent_and_received_messages(self):
        server = self.start_server()
        hour = int(time.time()) // 3600 * 3600
        sent = [hour - 2 * 3600 + 10, hour - 2 * 3600 + 3599, hour - 47 * 3600 + 5, hour - 48 * 3600 + 5, hour + 1]
        for i, at in enumerate(sent):
            self.db.execute(f"INSERT INTO outbox (destination, text, status) VALUES ('{RECIPIENT}', 'm{i}', 'sent')")
            self.db.execute("INSERT INTO sent (outbox_id, phone_id, parts, result, sent_at) "
                            f"SELECT MAX(id), 'phone', 1, 0, {self.time_literal(at)} FROM outbox")
        # A long message counts once, in the hour its last part came.
        received = [(hour - 3600 + 100, None, None), (hour - 5 * 3600 - 1, 7, 1), (hour - 5 * 3600 + 1, 7, 2)]
        for i, (at, reference, part) in enumerate(received):
            concat = "NULL, NULL, NULL" if reference is None else f"{reference}, {part}, 2"
            self.db.execute("INSERT INTO inbox (phone_id, sender, text, phone_time, received_at, concat_reference, "
                            f"concat_part, concat_total, text_hash) VALUES ('phone', '+4930123', 'part {i}', "
                            f"'2026-01-01 00:00:0{i}', {self.time_literal(at)}, {concat}, 'h{i}')")

        hours = server.call("GET", "/v1/stats/hourly").json["hours"]
        self.assertEqual(len(hours), 48)
        self.assertEqual(hours[-1]["hour"], time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(hour)))
        self.assertEqual(hours[0]["hour"], time.strftime("%Y-%m-%dT%H:%M:%SZ", time.gmtime(hour - 47 * 3600)))
        by_hour = {(hour - (47 - i) * 3600): (h["sent"], h["received"]) for i, h in enumerate(hours)}
        expected = {hour - 2 * 3600: (2, 0), hour - 47 * 3600: (1, 0), hour: (1, 0), hour - 3600: (0, 1),
                    hour - 5 * 3600: (0, 1)}
        self.assertEqual({at: counts for at, counts in by_hour.items() if counts != (0, 0)}, expected)
        self.assertEqual(len(server.call("GET", "/v1/stats/hourly?hours=1").json["hours"]), 1)
        self.assertEqual(len(server.call("GET", "/v1/stats/hourly?hours=168").json["hours"]), 168)
        for bad in ["0", "169", "-1", "48.5", "abc", "", "99999999999999999999"]:
            answer = server.call("GET", "/v1/stats/hourly?hours=" + bad)
            self.assertEqual(answer.status, 400, bad)
            self.assertEqual(answer.headers["Content-Type"], "application/problem+json")
            self.assertEqual(answer.json["field"], "hours")
        self.assertEqual(server.call("GET", "/v1/stats/hourly", token=False).status, 401)

    def test_tokens_listed_created_and_revoked_by_id(self):
        server = self.start_server()
        created = server.call("POST", "/v1/tokens", {"name": "billing"})
        self.assertEqual(created.status, 201)
        self.assertRegex(created.json["token"], r"^pk_%d_[0-9a-f]{64}$" % created.json["id"])
        self.assertEqual(server.call("GET", "/v1/phones", token=created.json["token"]).status, 200)
        self.assertEqual(server.call("POST", "/v1/tokens", {"name": "billing"}).status, 409)
        for body, field in [({"name": ""}, "name"), ({"name": "two words"}, "name"), ({"name": 5}, "name"),
                            ({}, "name"), ({"name": "x" * 65}, "name")]:
            answer = server.call("POST", "/v1/tokens", body)
            self.assertEqual((answer.status, answer.json.get("field")), (400, field), body)
        self.assertEqual(server.call("POST", "/v1/tokens", "[1]").status, 400)
        # A token named like another's id is not taken for it.
        named = server.call("POST", "/v1/tokens", {"name": "999"}).json
        self.assertEqual(server.call("DELETE", "/v1/tokens/999").status, 404)

        listed = {t["name"]: t for t in server.call("GET", "/v1/tokens").json["tokens"]}
        self.assertEqual(set(listed), {"tests1", "billing", "999"})
        self.assertNotIn("token", listed["billing"])
        self.assertRegex(listed["billing"]["created_at"], r"^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$")
        self.assertIsNone(listed["999"]["revoked_at"])
        self.assertEqual(server.call("DELETE", f"/v1/tokens/{created.json['id']}").status, 204)
        self.assertEqual(server.call("DELETE", f"/v1/tokens/{created.json['id']}").status, 404)
        self.assertEqual(server.call("GET", "/v1/phones", token=created.json["token"]).status, 401)
        self.assertIsNotNone({t["name"]: t for t in server.call("GET", "/v1/tokens").json["tokens"]}
                             ["billing"]["revoked_at"])
        self.assertEqual(server.call("GET", "/v1/phones", token=f"pk_{named['id']}_" + "1" * 64).status, 401)
        self.assertNotIn(created.json["token"], server.output())

    def time_literal(self, unix):
        text = time.strftime("%Y-%m-%d %H:%M:%S", time.gmtime(unix))
        return f"'{text}+00'" if "postgresql" in self.db.url else f"'{text}'"


def create_token_named(test, name):
    result = smsd("--database", test.db.url, "token", "create", name)
    test.assertEqual(result.returncode, 0, result.stderr)
    return result.stdout.strip()


class SqliteDashboard(DashboardServerChecks, unittest.TestCase):
    def make_db(self):
        return SqliteDb(self.dir.name)


@unittest.skipIf(why_no_postgres(), why_no_postgres() or "")
class PostgresDashboard(OnPostgres, DashboardServerChecks, unittest.TestCase):
    pass


@unittest.skipIf(NO_BROWSER, NO_BROWSER or "")
class SqliteDashboardInChromium(WithServer, PhoneAndDatabase, unittest.TestCase):
    """Every page in a real browser, with a phone behind the server."""

    def make_db(self):
        return SqliteDb(self.dir.name)

    def setUp(self):
        super().setUp()
        self.shots = os.environ.get("GATEWAY_SCREENSHOTS") or tempfile.mkdtemp(prefix="dashboard-screenshots-")
        os.makedirs(self.shots, exist_ok=True)
        print(f"\nscreenshots in {self.shots}", flush=True)
        add_user(self.db.url, "alice", PASSWORD)
        self.phone.control("set /network/report_delay_ms 500")
        self.daemons.append(Daemon(self.phone, self.db.url, "--poll-interval", "0.2", log_dir=self.dir.name))
        self.server = self.start_server()
        options = webdriver.ChromeOptions()
        options.binary_location = CHROMIUM
        for flag in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage", "--disable-gpu",
                     "--window-size=1280,900", "--lang=en-GB"]:
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        self.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        self.addCleanup(self.driver.quit)
        self.console = []

    def wait(self, condition, what, timeout=60):
        try:
            return WebDriverWait(self.driver, timeout, poll_frequency=0.2).until(lambda d: condition())
        except Exception as e:
            self.shoot("failed")
            raise AssertionError(f"timed out waiting for {what}: {e}; notice: {self.text('#notice')!r}")

    def find(self, selector):
        return self.driver.find_element(By.CSS_SELECTOR, selector)

    def find_all(self, selector):
        return self.driver.find_elements(By.CSS_SELECTOR, selector)

    def text(self, selector):
        """The text of the first element `selector` finds, "" for none (or one just replaced)."""
        try:
            found = self.find_all(selector)
            return found[0].text if found else ""
        except StaleElementReferenceException:
            return ""

    def open_page(self, name):
        """The page `name` (#overview ...), loaded afresh from another page."""
        self.driver.get(self.server.base + "/#" + ("compose" if name != "compose" else "overview"))
        self.driver.get(self.server.base + "/#" + name)
        self.wait(lambda: self.driver.execute_script("return document.body.dataset.loaded") == name,
                  f"the {name} page to load")

    def shoot(self, name):
        """The whole page, as tall as it is, at the window's width."""
        width, height = self.driver.get_window_size()["width"], self.driver.get_window_size()["height"]
        full = self.driver.execute_script("return document.documentElement.scrollHeight")
        self.driver.set_window_size(width, max(height, full + 200))
        self.driver.save_screenshot(os.path.join(self.shots, f"dashboard-{name}.png"))
        self.driver.set_window_size(width, height)

    def unlabelled_fields(self):
        """The fields of the page (on every page of the app, hidden or not) without a label."""
        return self.driver.execute_script("""
            return [...document.querySelectorAll("input, select, textarea")]
                .filter((f) => f.type !== "hidden" && !f.labels.length && !f.getAttribute("aria-label"))
                .map((f) => f.id || f.name || f.outerHTML);""")

    def collect_console(self):
        self.console += [e for e in self.driver.get_log("browser") if e["level"] in ("SEVERE", "WARNING")]

    def test_the_dashboard_end_to_end(self):
        driver, base = self.driver, self.server.base
        driver.get(base + "/")
        self.assertEqual(self.unlabelled_fields(), [])
        self.find("#user").send_keys("alice")
        self.find("#password").send_keys(PASSWORD)
        self.shoot("sign-in")
        self.find("#sign-in").click()
        self.wait(lambda: self.driver.execute_script("return document.body.dataset.loaded") == "overview",
                  "the overview after signing in")
        self.assertEqual(self.text("#who"), "alice")
        self.assertEqual(self.unlabelled_fields(), [])
        self.collect_console()

        # Compose: the live count from the server, then the row followed to delivered.
        self.open_page("compose")
        self.find("#compose-to").send_keys(RECIPIENT)
        self.find("#compose-text").send_keys("Hello from the dashboard")
        self.wait(lambda: "1 part" in self.text("#compose-count"), "the count of parts")
        self.assertIn("GSM", self.text("#compose-count").upper())
        self.find("#compose-text").send_keys(" " + "ж" * 70)
        self.wait(lambda: "2 parts" in self.text("#compose-count"), "two parts in UCS-2")
        self.assertIn("UCS", self.text("#compose-count").upper())
        self.find("#compose-text").clear()
        self.find("#compose-text").send_keys("Hello from the dashboard")
        self.find("#compose-send").click()
        self.wait(lambda: self.text("#compose-sent .tracked-status") == "delivered", "the row to reach delivered")
        row = self.db.query("SELECT id, status, delivery FROM outbox")
        self.assertEqual([(r["status"], r["delivery"]) for r in row], [("sent", "delivered")])
        self.assertIn("Hello from the dashboard", self.phone.sent_texts())
        self.shoot("compose")
        self.collect_console()

        # A message through the phone, in its conversation, beside the one sent to it.
        self.phone.deliver(RECIPIENT, LONG_REPLY)
        wait_for(lambda: len(self.db.query("SELECT id FROM inbox")) == 2, 30, "both parts received")
        self.open_page("conversations")
        self.find(f'button.conversation[data-number="{RECIPIENT}"]').click()
        self.wait(lambda: len(self.find_all("#conversation .bubble")) == 2, "both messages in the conversation")
        bubbles = self.find_all("#conversation .bubble")
        self.assertEqual([(b.get_attribute("class"), b.find_element(By.CSS_SELECTOR, ".text").text)
                          for b in bubbles],
                         [("bubble out", "Hello from the dashboard"), ("bubble in", LONG_REPLY)])
        self.shoot("conversations")
        self.collect_console()

        # A row held back by not_before is cancelled from the outbox.
        later = self.server.call("POST", "/v1/messages", {"to": "+4917099999", "text": "<b>not</b> yet",
                                                          "not_before": "2099-01-01T00:00:00Z"}).json["id"]
        self.open_page("outbox")
        cancel = self.find(f'#outbox-rows tr[data-id="{later}"] button.cancel')
        self.assertEqual(self.find(f'#outbox-rows tr[data-id="{later}"] td.text').text, "<b>not</b> yet")
        cancel.send_keys("\n")  # by keyboard
        self.wait(lambda: self.text(f'#outbox-rows tr[data-id="{later}"] td.status') == "failed", "the cancel")
        self.assertEqual(self.text(f'#outbox-rows tr[data-id="{later}"] td.error-text'), "cancelled")
        self.assertEqual(self.server.call("GET", f"/v1/messages/{later}").json["status"], "failed")
        self.assertFalse(self.find_all(f'#outbox-rows tr[data-id="{later}"] button.cancel'))
        self.shoot("outbox")
        # Retried, the cancelled row goes out now (its not_before is dropped).
        self.find(f'#outbox-rows tr[data-id="{later}"] button.retry').click()
        self.wait(lambda: self.text(f'#outbox-rows tr[data-id="{later}"] td.status') in ("queued", "sending", "sent"),
                  "the retry")
        wait_for(lambda: self.server.call("GET", f"/v1/messages/{later}").json["status"] == "sent", 30,
                 "the retried row sent")
        self.collect_console()

        # Webhooks and tokens: a hook added (its secret shown once), the test's token revoked.
        self.open_page("settings")
        self.find("#webhook-url").send_keys("http://127.0.0.1:9/hook")
        self.find("#event-message\\.delivered").click()
        self.find("#webhook-form button[type=submit]").click()
        self.wait(lambda: "shown this once" in self.text("#webhook-secret-shown"), "the new hook's secret")
        hooks = self.server.call("GET", "/v1/webhooks").json["webhooks"]
        self.assertEqual([(h["url"], sorted(h["events"])) for h in hooks],
                         [("http://127.0.0.1:9/hook", ["message.delivered", "message.received"])])
        self.wait(lambda: self.find_all(f'#webhook-rows tr[data-id="{hooks[0]["id"]}"] button'), "the hook listed")
        self.find(f'#webhook-rows tr[data-id="{hooks[0]["id"]}"] button').click()
        self.wait(lambda: not self.find("#deliveries").get_attribute("hidden"), "the hook's deliveries")
        token_id = int(self.server.token.split("_")[1])
        self.find(f'#token-rows tr[data-id="{token_id}"] button.revoke').click()
        driver.switch_to.alert.accept()
        self.wait(lambda: self.text(f'#token-rows tr[data-id="{token_id}"] td.revoked-at') != "", "the revocation")
        self.assertEqual(self.server.call("GET", "/v1/phones").status, 401)
        self.shoot("settings")
        self.collect_console()

        # The overview, last, with the traffic above in its chart.
        self.open_page("overview")
        self.wait(lambda: self.find_all(".card.phone.up"), "the phone shown up")
        # phonesim's three bars of four, and two of battery.
        self.assertIn("Signal: 75%", self.text(".card.phone").replace("\n", " ").replace(":  ", ": "))
        imei = self.db.query("SELECT imei FROM phones")[0]["imei"]
        self.assertIn("IMEI " + imei, self.text(".card.phone"))
        self.assertEqual(self.text(".status-count.sent dd"), "2")
        self.assertEqual(self.text(".status-count.failed dd"), "0")
        self.assertIn("2 sent, 1 received", self.text("#chart .legend"))
        self.shoot("overview")
        driver.set_window_size(390, 844)
        self.shoot("overview-phone")
        self.collect_console()
        self.assertEqual(self.console, [])

        # Signing out ends the session: the sign-in page again.
        driver.set_window_size(1280, 900)
        self.find("#sign-out").click()
        self.wait(lambda: self.find_all("#password-form"), "the sign-in page")
        self.collect_console()
        self.assertEqual(self.console, [])


if __name__ == "__main__":
    unittest.main()
