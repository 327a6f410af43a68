"""docs/openapi.json against the server: its paths and methods are exactly the routes
`serve` declares (the dashboard's own pages apart), each path parameter is described,
each reference resolves, and /v1/openapi.json serves the document as it stands."""
import json
import os
import re
import tempfile
import unittest

from gateway_harness import Server
from smsd_harness import smsd

DOCUMENT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "docs", "openapi.json")
METHODS = {"get", "post", "put", "delete", "patch"}
# Routes the API's description leaves out: the dashboard's pages, files and sign-in form.
NOT_API = re.compile(r"^(/|/login|/logout|/dashboard(/.*)?)$")


def load_document():
    with open(DOCUMENT, encoding="utf-8") as f:
        return json.load(f)


class OpenApiDocument(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.dir = tempfile.TemporaryDirectory()
        cls.url = "sqlite://" + os.path.join(cls.dir.name, "db", "sms.db")
        result = smsd("--database", cls.url, "serve", "--list-routes")
        if result.returncode != 0:
            raise AssertionError("serve --list-routes: " + result.stderr)
        cls.declared = [tuple(line.split(" ", 1)) for line in result.stdout.splitlines() if line]
        cls.routes = set(cls.declared)
        cls.document = load_document()

    @classmethod
    def tearDownClass(cls):
        cls.dir.cleanup()

    def documented(self):
        return {(method.upper(), path) for path, item in self.document["paths"].items() for method in item
                if method in METHODS}

    def test_the_document_describes_exactly_the_declared_routes(self):
        declared = {(m, r) for m, r in self.routes if not NOT_API.match(r)}
        self.assertIn(("POST", "/v1/messages"), declared)
        self.assertEqual(sorted(declared - self.documented()), [], "declared routes the document lacks")
        self.assertEqual(sorted(self.documented() - declared), [], "documented routes the server lacks")

    def test_no_route_is_declared_twice(self):
        # The first declaration would take every request: the second is dead code, or a
        # merge that called a group of routes twice.
        self.assertEqual(sorted(r for r in self.routes if self.declared.count(r) > 1), [])

    def test_every_path_parameter_and_reference_is_described(self):
        self.assertTrue(self.document["openapi"].startswith("3."))
        for path, item in self.document["paths"].items():
            for method, operation in item.items():
                with self.subTest(method=method, path=path):
                    self.assertIn(method, METHODS)
                    self.assertTrue(operation.get("responses"), "an operation without responses")
                    named = {p["name"] for p in operation.get("parameters", []) if p["in"] == "path"}
                    self.assertEqual(named, set(re.findall(r"\{(\w+)\}", path)))

        def refs(node):
            if isinstance(node, dict):
                for key, value in node.items():
                    if key == "$ref":
                        yield value
                    else:
                        yield from refs(value)
            elif isinstance(node, list):
                for value in node:
                    yield from refs(value)
        for ref in set(refs(self.document)):
            with self.subTest(ref=ref):
                node = self.document
                self.assertTrue(ref.startswith("#/"))
                for part in ref[2:].split("/"):
                    self.assertIn(part, node)
                    node = node[part]

    def test_the_server_serves_the_document_without_a_token(self):
        server = Server(self.url, log_dir=self.dir.name)
        try:
            answer = server.call("GET", "/v1/openapi.json", token=False)
            self.assertEqual(answer.status, 200, answer)
            self.assertTrue(answer.headers["Content-Type"].startswith("application/json"))
            self.assertEqual(answer.json, self.document)
        finally:
            self.assertEqual(server.stop(), 0)


if __name__ == "__main__":
    unittest.main()
