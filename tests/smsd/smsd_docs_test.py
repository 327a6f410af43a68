"""The commands docs/smsd.md gives for trying the daemon against the simulator, run as
the docs write them: each fenced block marked "run by tests/smsd/smsd_docs_test.py",
with the build's binaries for build/... and a directory of its own for /tmp/."""
import os
import re
import signal
import subprocess
import tempfile
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
DOCS = os.path.join(HERE, "..", "..", "docs", "smsd.md")
MARK = "<!-- run by tests/smsd/smsd_docs_test.py -->"


def marked_blocks():
    with open(DOCS, encoding="utf-8") as f:
        text = f.read()
    return re.findall(re.escape(MARK) + r"\n```sh\n(.*?)```", text, re.S)


class DocsCommands(unittest.TestCase):
    def test_the_simulator_walkthrough_delivers_stores_and_sends(self):
        blocks = marked_blocks()
        self.assertEqual(len(blocks), 1, "the marked block of docs/smsd.md")
        with tempfile.TemporaryDirectory() as tmp:
            # /tmp/ first: the build's own paths may lie under /tmp (a clone there).
            script = blocks[0].replace("/tmp/", tmp + "/")
            script = script.replace("build/tools/smsd/pelkor-smsd", os.environ["SMSD"])
            script = script.replace("build/tools/phonesim/phonesim", os.environ["PHONESIM"])
            process = subprocess.Popen(["bash", "-e", "-c", script + "\nwait\n"], stdout=subprocess.PIPE,
                                       stderr=subprocess.PIPE, text=True, cwd=tmp, start_new_session=True,
                                       env=dict(os.environ, TMPDIR=tmp))
            try:
                out, err = process.communicate(timeout=60)
            finally:
                if process.poll() is None:
                    os.killpg(process.pid, signal.SIGKILL)
                    process.wait()
            self.assertEqual(process.returncode, 0, out + err)
            lines = out.splitlines()
            self.assertIn("ok 1", lines, "the delivery's answer: " + out + err)
            self.assertIn("+4915112345|Hello from the network", lines, out + err)
            self.assertRegex(out, r"outbox: 0 queued, 0 sending, 1 sent, 0 failed", out + err)
            self.assertRegex(out, r"\n\S*phone +\d{15} .* up ", "the phone's heartbeat in status: " + out)
            self.assertIn("received from +4915112345", err)


if __name__ == "__main__":
    unittest.main()
