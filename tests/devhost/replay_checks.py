"""Sessions recorded and replayed: the demo's recording, with a change made
to what the plugin did then, fails its replay with that difference; a
host's recording (--record) and the console's (POST, then DELETE
/_host/recording) replay without one. Run by devhost_checks.py."""
import json
import os
import subprocess
import tempfile

from devhost_process import Devhost, EMAIL, JSON, request

SESSION = "tests/devhost/demo_session.jsonl"
PUT_EMAIL = "call PUT /qor-email-verification/v1/email"

# A change made to the recording, as a change of the plugin would show, and
# the difference the replay prints: the step, what the recording has and
# what the plugin did.
CHANGES = [
    ('"text":"email-verification: Wrong password"', '"text":"email-verification: Bad password"',
     'step 18, a log during step 16 (%s):\n'
     '  expected {"kind":"log","level":"ERROR","text":"email-verification: Bad password"}\n'
     '  got      {"kind":"log","level":"ERROR","text":"email-verification: Wrong password"}\n'
     % PUT_EMAIL),
    ('"errorText":"Wrong password","found":true,"headers":[],"kind":"response","status":400',
     '"errorText":"Wrong password","found":true,"headers":[],"kind":"response","status":401',
     'step 19, a response during step 16 (%s):\n'
     '  expected {"contentType":"","error":true,"errorText":"Wrong password","found":true,'
     '"headers":[],"kind":"response","status":401}\n'
     '  got      {"contentType":"","error":true,"errorText":"Wrong password","found":true,'
     '"headers":[],"kind":"response","status":400}\n' % PUT_EMAIL),
]


def replay(program, path):
    return subprocess.run([program, "--replay=" + path], capture_output=True, text=True,
                          timeout=60)


def check_changed(program, folder, check):
    with open(SESSION) as file:
        session = file.read()
    for before, after, difference in CHANGES:
        path = os.path.join(folder, "changed.jsonl")
        with open(path, "w") as file:
            file.write(session.replace(before, after, 1))
        result = replay(program, path)
        check(session.count(before) == 1 and result.returncode == 1 and
              result.stdout == difference + "replay of %s: 13 actions, 1 differences\n" % path,
              "a changed recording: the replay prints the difference:\n" + result.stdout)
    path = os.path.join(folder, "shortened.jsonl")
    with open(path, "w") as file:
        file.write("".join(line for line in session.splitlines(True)
                           if '"step":18,' not in line))
    result = replay(program, path)
    check(result.returncode == 1 and result.stdout.startswith(
          "a log during step 16 (%s), not in the recording:\n  expected nothing\n" % PUT_EMAIL),
          "a recording without a log line: the replay names the line it did not expect")


def story(port):
    """Calls that cross the boundary every way: reads, external requests,
    events delivered and sent, log lines."""
    request(port, "GET", EMAIL)
    request(port, "PUT", EMAIL, '{"email": "x@example.test", "password": "wrong"}', JSON)
    request(port, "PUT", EMAIL, '{"email": "x@example.test", "password": "correct-horse"}', JSON)
    request(port, "POST", "/_host/message", '{"emailStatus":"validated"}')
    request(port, "POST", "/_host/sign-out")


def check_recorded(program, folder, check):
    path = os.path.join(folder, "host.jsonl")
    devhost = Devhost(program, "--no-reload", "--record=" + path)
    try:
        story(devhost.port)
    finally:
        devhost.stop()
    result = replay(program, path)
    check(result.returncode == 0 and result.stdout.endswith("actions, 0 differences\n"),
          "--record: the host's session replays as recorded: " + result.stdout.strip())

    devhost = Devhost(program, "--no-reload")
    try:
        started = request(devhost.port, "POST", "/_host/recording")
        story(devhost.port)
        stopped = request(devhost.port, "DELETE", "/_host/recording")
        again = request(devhost.port, "DELETE", "/_host/recording")
    finally:
        devhost.stop()
    records = [json.loads(line) for line in stopped[1].splitlines()]
    path = os.path.join(folder, "console.jsonl")
    with open(path, "w") as file:
        file.write(stopped[1])
    result = replay(program, path)
    check(started == (200, '{"recording":true}') and stopped[0] == 200 and
          records[0] == {"step": 1, "time": records[0]["time"], "kind": "initialize"} and
          any(record["kind"] == "deliver" and record["payload"]["data"]["token"] == "dev-token-1"
              for record in records) and again[0] == 409 and result.returncode == 0,
          "the console's recording begins with the plugin reloaded, its token delivered again, "
          "and replays as recorded: " + result.stdout.strip())


def run(program, check):
    with tempfile.TemporaryDirectory() as folder:
        check_changed(program, folder, check)
        check_recorded(program, folder, check)
