#!/usr/bin/python3
"""The development host driven over HTTP: zvm-devhost started on free ports,
its answers, refusals and event stream checked, its OpenAPI document given to
a validator, hostile clients sent at it (hostile_checks.py), its mock service
made to misbehave (fault_checks.py), its library reloaded (reload_checks.py),
sessions recorded and replayed (replay_checks.py), the README's curl lines,
the same host serving the notes example, and the load check run against it.

    devhost_checks.py <build dir> <OpenAPI validator command>
"""
import http.client
import json
import os
import re
import shlex
import socket
import subprocess
import sys
import tempfile

import fault_checks
import hostile_checks
import reload_checks
import replay_checks
from devhost_process import Devhost, EventClient, request

BUILD, VALIDATOR = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
LIBRARY = os.path.join(BUILD, "email_verification/zvm-be-qor-email-verification.so")
LOAD = os.path.join(BUILD, "zvm-devhost-load")
EMAIL = "/qor-email-verification/v1/email"
EVENT = "OnJsonApiEvent_qor-email-verification_v1_email"
NOTES = "/example-notes/v1/notes"
NOTES_EVENT = "OnJsonApiEvent_example-notes_v1_notes"
NOTES_PLUGIN = os.path.join(BUILD, "examples/notes/zvm-be-example-notes.so")
PASSWORD = "correct-horse"  # of the default configuration's first account
results = []


def check(holds, what):
    print(("ok     " if holds else "FAILED ") + what, flush=True)
    results.append(holds)


def raw(port, data):
    """Sends bytes as they are and leaves; the answer's first line, or "" when
    the host dropped the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        connection.sendall(data)
        connection.shutdown(socket.SHUT_WR)
        try:
            return connection.recv(4096).decode(errors="replace").split("\r\n")[0]
        except (ConnectionResetError, socket.timeout):
            return ""


def message(answer):
    try:
        return json.loads(answer[1]).get("message", "")
    except ValueError:
        return ""


def git(*arguments):
    return subprocess.run(["git", *arguments], capture_output=True, text=True).stdout.strip()


def expected_plugin(name, library):
    """What GET /_host/plugin should say, worked out from the sources: the
    project's version, with the commit unless HEAD has the version's tag."""
    with open("CMakeLists.txt") as cmake:
        version = re.search(r"project\(\S+ VERSION (\S+)", cmake.read()).group(1)
    commit = git("rev-parse", "HEAD")
    if not git("tag", "--points-at", "HEAD", "--list", "v" + version):
        version += "+g" + commit[:10]
    return {"name": name, "library": library, "version": version, "apiVersion": "18.0.0",
            "build": {"commit": commit, "type": "Release"}}


def validate(document):
    """The validator's verdict on an OpenAPI document, and whether it holds."""
    with tempfile.NamedTemporaryFile("w", suffix=".json", delete=False) as file:
        file.write(document)
    validation = subprocess.run([VALIDATOR, file.name], capture_output=True, text=True)
    os.unlink(file.name)
    return validation.returncode == 0 and '"valid": true' in validation.stdout, \
        validation.stdout.strip()[:300]


def operations(document):
    paths = json.loads(document)["paths"]
    return sorted((path, method) for path in paths for method in paths[path])


def serving(devhost):
    status, body = request(devhost.port, "GET", EMAIL)
    return status == 200


def check_http(devhost):
    port = devhost.port
    status, body = request(port, "GET", EMAIL)
    check((status, body) == (200, '{"email":"player@example.test","emailVerified":false,'
                                  '"fatalError":false}'), "GET of the email loads the account")

    status, document = request(port, "GET", "/openapi.json")
    valid, verdict = validate(document)
    check(status == 200 and valid, "the OpenAPI document validates: " + verdict)
    check(operations(document) ==
          [("/qor-email-verification/v1/confirm-email", "post"), (EMAIL, "get"), (EMAIL, "put")],
          "the document has the three endpoints")
    status, plugin = request(port, "GET", "/_host/plugin")
    library = os.path.abspath(os.path.join(BUILD, "email_verification",
                                           "zvm-be-qor-email-verification.so"))
    check(status == 200 and
          json.loads(plugin) == expected_plugin("qor-email-verification", library),
          "/_host/plugin: " + plugin)

    for path, content_type in [("/", "text/html; charset=utf-8"),
                               ("/console/main.js", "text/javascript; charset=utf-8")]:
        connection = http.client.HTTPConnection("127.0.0.1", port, timeout=30)
        connection.request("GET", path)
        response = connection.getresponse()
        response.read()
        connection.close()
        check(response.status == 200 and response.getheader("Content-Type") == content_type and
              response.getheader("Content-Security-Policy").startswith("default-src 'none';"),
              "the console's %s: %s with its policy" % (path, content_type))
    check(request(port, "GET", "/_host/token") ==
          (200, '{"account":"player@example.test","signedIn":true}'),
          "the configuration's token: signed in, to the first account")
    answer = request(port, "PUT", EMAIL, "email=x",
                     {"Content-Type": "application/x-www-form-urlencoded"})
    check(answer[0] == 415 and json.loads(answer[1])["status"] == 415 and message(answer) ==
          "Unsupported body content type 'application/x-www-form-urlencoded': send the body as "
          "application/json, application/vnd.api+json, application/x-yaml or application/x-msgpack",
          "a form body: 415, the types the plugin reads named: %s" % (answer,))

    answer = request(port, "GET", "/no/such/path")
    check(answer[0] == 404 and message(answer) == "No endpoint takes GET /no/such/path",
          "an unknown path is answered 404 with a JSON message")

    # DNS rebinding, and cross-site requests.
    foreign = {"Origin": "http://evil.example"}
    refusals = [
        ("GET", EMAIL, None, {}, "evil.example:%d" % port, "Refused: the Host header"),
        ("PUT", EMAIL, '{"email":"x@evil","password":"%s"}' % PASSWORD, foreign, None,
         "Refused: a cross-site PUT"),
        ("POST", "/_host/sign-out", None, foreign, None, "Refused: a cross-site POST"),
        ("GET", "/events", None, foreign, None, "Refused: a cross-site GET /events"),
        ("GET", "/_host/log", None, foreign, None, "Refused: a cross-site GET /_host/log"),
        ("GET", "/_host/mailbox", None, foreign, None, "Refused: a cross-site GET /_host/mailbox"),
    ]
    for method, path, body, headers, host, reason in refusals:
        answer = request(port, method, path, body, headers, host)
        check(answer[0] == 403 and message(answer).startswith(reason),
              "%s %s refused: %s" % (method, path, answer))
    check(request(port, "GET", EMAIL, None, foreign, "localhost:%d" % port)[0] == 200,
          "a read from localhost with a foreign Origin passes")
    check(json.loads(request(port, "GET", EMAIL)[1])["email"] == "player@example.test",
          "the refused PUT changed nothing")

    events = EventClient(port)
    log = EventClient(port, "/_host/log", ": log lines of the plugin")
    wrong = "not-" + PASSWORD
    answer = request(port, "PUT", EMAIL, '{"email":"new@example.test","password":"%s"}' % wrong,
                     {"Content-Type": "application/json"})
    check(answer[0] == 400 and message(answer) == "Wrong password" and wrong not in answer[1],
          "a wrong password: 400 with the service's text")
    check(log.event("log") == {"level": "ERROR", "text": "email-verification: Wrong password"},
          "the plugin's error line on the log stream")
    log.close()
    answer = request(port, "PUT", EMAIL, '{"email":"new@example.test","password":"%s"}' % PASSWORD,
                     {"Content-Type": "application/json"})
    data = events.event(EVENT)
    check(answer[0] == 204 and data["data"]["email"] == "new@example.test",
          "the right password: 204, and the Update event on the stream")
    # Gone in the middle of the stream.
    events.close()
    check(serving(devhost), "a client leaving the event stream leaves the host serving")

    answer = request(port, "PUT", EMAIL, b"x" * (16 << 20 | 1), {"Content-Type": "application/json"})
    check(answer[0] == 413 and message(answer).startswith("The request body exceeds the limit"),
          "a body over 16 MiB: 413")
    for garbage in [b"GARBAGE\r\n\r\n", b"GET / HTTP/1.1\r\nHost\r\n\r\n",
                    b"PUT " + EMAIL.encode() + b" HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n"
                    b"Content-Length: 1000\r\n\r\n{\"email\"" % port]:
        line = raw(port, garbage)
        check((line == "" or line.startswith("HTTP/1.1 4")) and serving(devhost),
              "%r: answered %r or dropped, and the host serves on" % (garbage[:20], line))

    answer = request(port, "POST", "/_host/sign-out")
    check(answer == (200, '{"eventType":"Delete","subscribers":1}'), "sign-out: %s" % (answer,))
    answer = request(port, "POST", "/qor-email-verification/v1/confirm-email")
    check(answer[0] == 500 and message(answer).endswith("No KSA id token available"),
          "signed out, the plugin has no token: %s" % (answer,))
    answer = request(port, "POST", "/_host/sign-in", '{"token":"dev-token-2"}')
    check(answer == (200, '{"eventType":"Create","subscribers":1}'), "sign-in: %s" % (answer,))
    check(devhost.find(" ERROR| email-verification: Wrong password") is not None,
          "the plugin's error lines reach the terminal with their level")

    other = subprocess.run([PROGRAM, "--port=%d" % port], capture_output=True, text=True,
                           timeout=30)
    check(other.returncode == 1 and
          "port %d on 127.0.0.1 is already in use: choose another with --port=N, or --port=0 "
          "for a free one" % port in other.stderr,
          "a second host on the port: " + other.stderr.strip())
    mock = int(devhost.mock_url().rsplit(":", 1)[1])
    other = subprocess.run([PROGRAM, "--port=0", "--mock-port=%d" % mock], capture_output=True,
                           text=True, timeout=30)
    check(other.returncode == 1 and
          "port %d on 127.0.0.1 is already in use: choose another with --mock-port=N, or "
          "--mock-port=0 for a free one" % mock in other.stderr,
          "a second host on the mock service's port: " + other.stderr.strip())


def check_readme_calls(devhost):
    """The README's curl lines, each as a user pastes it, but on the host's
    port."""
    text = open("README.md").read().split("Calls from a terminal", 1)[1]
    block = text.split("```sh\n", 1)[1].split("```", 1)[0].replace("\\\n", " ")
    for line in block.splitlines():
        words = [word.replace(":8080/", ":%d/" % devhost.port) for word in shlex.split(line)]
        result = subprocess.run(words + ["-sS", "--fail-with-body"], capture_output=True,
                                text=True, timeout=30)
        check(result.returncode == 0, "README: %s: %s" % (line[:70], result.stdout.strip()))


def check_notes(devhost):
    """The notes example served as any plugin: its document, its calls, its
    events and what the host says of it."""
    port = devhost.port
    status, plugin = request(port, "GET", "/_host/plugin")
    check(status == 200 and json.loads(plugin) == expected_plugin("example-notes", NOTES_PLUGIN),
          "notes: /_host/plugin: " + plugin)
    status, document = request(port, "GET", "/openapi.json")
    valid, verdict = validate(document)
    check(status == 200 and valid, "notes: the OpenAPI document validates: " + verdict)
    check(operations(document) == [(NOTES, "get"), (NOTES + "/{id}", "delete"),
                                   (NOTES + "/{id}", "put")],
          "notes: the document has the three endpoints")
    schemas = json.loads(document)["components"]["schemas"]
    check(schemas["ExampleNotesPriority"]["enum"] == ["High", "Low", "Normal"],
          "notes: the enumeration is a schema")
    webhook = json.loads(document).get("webhooks", {}).get(NOTES_EVENT, {}).get("post", {})
    check(webhook.get("requestBody", {}).get("content", {}).get("application/json") ==
          {"schema": {"$ref": "#/components/schemas/PluginResourceEvent"}} and
          "PluginResourceEvent" in schemas,
          "notes: the event it sends is a webhook carrying the resource event")

    answer = request(port, "GET", NOTES + "?contains=MILK")
    check(answer == (200, '{"notes":[{"id":"milk","priority":"High","text":"Buy milk"}]}'),
          "notes: the configuration's notes, filtered: %s" % (answer,))
    events = EventClient(port)
    answer = request(port, "PUT", NOTES + "/tea", '{"text":"Buy tea","priority":"Low"}',
                     {"Content-Type": "application/json"})
    check(answer == (200, '{"id":"tea","priority":"Low","text":"Buy tea"}'),
          "notes: PUT of a note: %s" % (answer,))
    data = events.event(NOTES_EVENT)
    check([note["id"] for note in data["data"]["notes"]] == ["milk", "plumber", "tea"],
          "notes: the Update event on the stream lists the three notes")
    events.close()
    answer = request(port, "PUT", NOTES + "/tea", "Buy tea", {"Content-Type": "text/plain"})
    check(answer[0] == 415 and message(answer).startswith("Unsupported body content type"),
          "notes: a body of a type the plugin does not read: %s" % (answer,))
    answer = request(port, "PUT", NOTES + "/tea", '{"text":"Buy tea","priority":"Urgent"}',
                     {"Content-Type": "application/json"})
    check(answer[0] == 500 and message(answer) ==
          "Urgent is not a valid ExampleNotesPriority enumeration value for 'priority'.",
          "notes: a refusal without a status is answered 500: %s" % (answer,))
    answer = request(port, "DELETE", NOTES + "/plumber")
    check(answer[0] == 204, "notes: DELETE of a note: %s" % (answer,))
    answer = request(port, "DELETE", NOTES + "/plumber")
    check(answer[0] == 404 and message(answer) == "No note plumber",
          "notes: DELETE of a note that is gone: %s" % (answer,))
    check(request(port, "POST", "/_host/sign-out")[0] == 200 and
          request(port, "DELETE", NOTES + "/tea")[0] == 401,
          "notes: signed out, changes are refused")


def check_load(devhost):
    load = subprocess.run([LOAD, "http://127.0.0.1:%d" % devhost.port, PASSWORD],
                          capture_output=True, text=True, timeout=600)
    print(load.stdout + load.stderr, end="")
    check(load.returncode == 0, "the load check")
    check(not any("  OKAY|" in line for line in devhost.lines), "--quiet shows no OKAY lines")


def main():
    devhost = Devhost(PROGRAM)
    try:
        check_http(devhost)
    finally:
        code = devhost.stop()
    check(code == 0 and devhost.find("memory counters of the plugin at shutdown") is not None,
          "Ctrl-C shuts the plugin down and prints its memory counters")

    # The program's own option reaches the plugin's command line, and a
    # service that refuses the connection is a transport failure.
    devhost = Devhost(PROGRAM, "--email-verification.hostname=http://127.0.0.1:1")
    try:
        answer = request(devhost.port, "GET", EMAIL)
        check(answer[0] == 500 and message(answer).endswith(": Could not establish connection"),
              "--email-verification.hostname= reaches the plugin: %s" % (answer,))
    finally:
        devhost.stop()

    hostile_checks.run(PROGRAM, check)
    fault_checks.run(PROGRAM, check)
    reload_checks.run(PROGRAM, LIBRARY, NOTES_PLUGIN, check)
    replay_checks.run(PROGRAM, check)

    devhost = Devhost(PROGRAM)
    try:
        check_readme_calls(devhost)
    finally:
        devhost.stop()

    devhost = Devhost(PROGRAM, "--plugin", NOTES_PLUGIN, "--export", "load_example_notes",
                      "--config", "examples/notes/devhost.yaml")
    try:
        check_notes(devhost)
    finally:
        devhost.stop()

    devhost = Devhost(PROGRAM, "--quiet")
    try:
        check_load(devhost)
    finally:
        devhost.stop()
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
