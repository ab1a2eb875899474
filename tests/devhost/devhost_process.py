"""zvm-devhost as the checks run it: started on free ports, its output
collected line by line, and plain HTTP requests to it."""
import http.client
import json
import signal
import subprocess
import threading
import time

# The email verification plugin's endpoint; the default configuration's first
# account's password.
EMAIL = "/qor-email-verification/v1/email"
PASSWORD = "correct-horse"
JSON = {"Content-Type": "application/json"}


def notes_options(build):
    """The options that serve the notes example, as the README starts it."""
    return ["--plugin", build + "/examples/notes/zvm-be-example-notes.so", "--export",
            "load_example_notes", "--config", "examples/notes/devhost.yaml"]


class Devhost:
    def __init__(self, program, *options):
        self.process = subprocess.Popen([program, "--port=0", *options], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.lines = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        deadline = time.time() + 30
        while time.time() < deadline and not self.mock_url():
            time.sleep(0.05)
        serving = self.find("zvm-devhost: serving")
        if not serving or not self.mock_url():
            self.process.kill()
            raise SystemExit("zvm-devhost did not start:\n" + "".join(self.lines))
        self.port = int(serving.split(" on http://127.0.0.1:")[1].split(" ")[0])

    def _read(self):
        for line in self.process.stdout:
            self.lines.append(line)

    def find(self, text):
        return next((line for line in self.lines if text in line), None)

    def mock_url(self):
        line = self.find("mock email-verification service on ")
        return line.split(" on ")[1].split(" ")[0] if line else None

    def stop(self):
        self.process.send_signal(signal.SIGINT)
        code = self.process.wait(timeout=30)
        self.reader.join(timeout=5)
        return code


def request(port, method, path, body=None, headers=None, timeout=30):
    """The answer's status and body text."""
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    connection.request(method, path, body.encode() if isinstance(body, str) else body,
                       headers or {})
    response = connection.getresponse()
    answer = (response.status, response.read().decode(errors="replace"))
    connection.close()
    return answer


def message(body):
    """The message of a JSON answer in UTF-8 ("" when it has none), or None
    when the answer is not one."""
    try:
        value = json.loads(body.decode("utf-8") if isinstance(body, bytes) else body)
    except ValueError:
        return None
    return value.get("message", "") if isinstance(value, dict) else ""
