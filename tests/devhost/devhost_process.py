"""zvm-devhost as the checks run it: on free ports, its output collected line
by line, and plain HTTP requests to it."""
import http.client
import signal
import subprocess
import threading
import time

# The email plugin's endpoint; the default configuration's first account's password.
EMAIL, PASSWORD = "/qor-email-verification/v1/email", "correct-horse"
JSON = {"Content-Type": "application/json"}


def notes_options(build):
    """The notes example served as the README starts it."""
    return ["--plugin", build + "/examples/notes/zvm-be-example-notes.so", "--export",
            "load_example_notes", "--config", "examples/notes/devhost.yaml"]


class Devhost:
    def __init__(self, program, *options):
        self.process = subprocess.Popen([program, "--port=0", *options], stdout=subprocess.PIPE,
                                        stderr=subprocess.STDOUT, text=True)
        self.lines = []
        self.reader = threading.Thread(target=self.lines.extend, args=(self.process.stdout,),
                                       daemon=True)
        self.reader.start()
        deadline = time.time() + 30
        while time.time() < deadline and not self.mock_url():
            time.sleep(0.05)
        serving = self.find("zvm-devhost: serving")
        if not serving or not self.mock_url():
            self.process.kill()
            raise SystemExit("zvm-devhost did not start:\n" + "".join(self.lines))
        self.port = int(serving.split(" on http://127.0.0.1:")[1].split(" ")[0])

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
