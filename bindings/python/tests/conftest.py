"""phonesim for the package's tests: PELKOR_PHONESIM names the program (else phonesim on
PATH); PELKOR16_LIBRARY, when set, the library to load."""
import json
import os
import subprocess

import pytest

STATE = {
    "identity": {"imei": "358765432109876", "model": "NSE-3"},
    "status": {"signal": 3, "battery": 4},
    "sms": {"capacity": 6, "messages": [
        {"location": 1, "kind": "received", "read": False, "text": "Grüße aus Straße", "sender": "+4917011",
         "time": [26, 12, 8, 17, 42, 5]},
        {"location": 2, "kind": "sent", "text": "on my way", "recipient": "+4917022"},
        {"location": 3, "kind": "received", "text": "second", "sender": "+4917033",
         "time": [26, 12, 9, 8, 15, 0]},
    ]},
}


class Simulator:
    def __init__(self, directory):
        state = directory / "state.json"
        state.write_text(json.dumps(STATE))
        self.dump = directory / "dump.json"
        program = os.environ.get("PELKOR_PHONESIM", "phonesim")
        self.process = subprocess.Popen(
            [program, "--state", str(state), "--dump-on-exit", str(self.dump), "--stdin"],
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, text=True)
        self.device = self.process.stdout.readline().strip()
        assert self.device, "phonesim printed no device"

    def control(self, line):
        """Sends one line command and returns the simulator's first line of reply."""
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        return self.process.stdout.readline().strip()

    def final_state(self):
        """Stops the simulator and returns the state it dumped."""
        self.process.terminate()
        self.process.wait(timeout=10)
        return json.loads(self.dump.read_text())

    def close(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(timeout=10)
        for stream in (self.process.stdin, self.process.stdout):
            try:
                stream.close()
            except BrokenPipeError:
                pass


@pytest.fixture
def phonesim(tmp_path):
    simulator = Simulator(tmp_path)
    yield simulator
    simulator.close()


@pytest.fixture
def examples():
    path = os.environ.get("PELKOR_EXAMPLES")
    if not path:
        path = os.path.join(os.path.dirname(__file__), "..", "..", "..", "examples")
    return os.path.abspath(path)
