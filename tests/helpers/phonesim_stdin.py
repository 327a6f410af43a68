"""A phonesim of a test's own on a pseudo-terminal, driven by control lines on its stdin,
for the Python tests that need to see and steer what the phone holds."""
import json
import os
import subprocess
import tempfile

PHONESIM = os.environ.get("PHONESIM", "phonesim")


class PhonesimOnStdin:
    """Starts phonesim (with `state` laid over its defaults, if given); `device` is its
    pseudo-terminal. Its diagnostics go to a file, so a long test never fills a pipe."""

    def __init__(self, state=None):
        self.dir = tempfile.TemporaryDirectory()
        args = [PHONESIM, "--stdin"]
        if state is not None:
            path = os.path.join(self.dir.name, "state.json")
            with open(path, "w", encoding="utf-8") as f:
                json.dump(state, f, ensure_ascii=False)
            args += ["--state", path]
        self.stderr_path = os.path.join(self.dir.name, "phonesim.err")
        with open(self.stderr_path, "w") as stderr:
            self.process = subprocess.Popen(args, stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=stderr,
                                            text=True, encoding="utf-8")
        self.device = self.process.stdout.readline().strip()
        if not self.device:
            with open(self.stderr_path) as f:
                raise AssertionError("phonesim did not start: " + f.read())

    def control(self, line):
        """One control line; phonesim's one-line answer."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip()

    def state(self):
        return json.loads(self.control("dump"))

    def close(self):
        try:
            self.process.stdin.close()
        except BrokenPipeError:
            pass
        self.process.terminate()
        self.process.wait(timeout=10)
        self.process.stdout.close()
        self.dir.cleanup()
