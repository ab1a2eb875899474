#!/usr/bin/python3
"""The development host driven over HTTP: zvm-devhost started on free ports,
its OpenAPI document given to a validator and its console's pages read,
hostile clients sent at it (hostile_checks.py), the README's curl lines, the
same host serving the notes example, and the load check run against it. Its
answers, refusals, faults, recordings, reloads and demo are devhost_tests'
(devhost_test.cc).

    devhost_checks.py <build dir> <OpenAPI validator command>
"""
import http.client
import json
import os
import re
import shlex
import subprocess
import sys
import tempfile

import hostile_checks
from devhost_process import JSON, Devhost, EMAIL, PASSWORD, message, request

BUILD, VALIDATOR = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
LOAD = os.path.join(BUILD, "zvm-devhost-load")
NOTES = "/example-notes/v1/notes"
NOTES_PLUGIN = os.path.join(BUILD, "examples/notes/zvm-be-example-notes.so")
results = []


def check(holds, what):
    print(("ok     " if holds else "FAILED ") + what, flush=True)
    results.append(holds)


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


def check_http(devhost):
    """What only the program shows: its OpenAPI document as a validator reads
    it, the build it describes, and the console's pages. The answers and
    refusals are devhost_tests' (tests/devhost/devhost_test.cc)."""
    port = devhost.port
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
    """The notes example served as any plugin: its document, its calls and
    what the host says of it (its answers and events are notes_test's)."""
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

    answer = request(port, "GET", NOTES + "?contains=MILK")
    check(answer == (200, '{"notes":[{"id":"milk","priority":"High","text":"Buy milk"}]}'),
          "notes: the configuration's notes, filtered: %s" % (answer,))
    answer = request(port, "PUT", NOTES + "/tea", '{"text":"Buy tea","priority":"Low"}', JSON)
    check(answer == (200, '{"id":"tea","priority":"Low","text":"Buy tea"}'),
          "notes: PUT of a note: %s" % (answer,))
    answer = request(port, "PUT", NOTES + "/tea", '{"text":"Buy tea","priority":"Urgent"}', JSON)
    check(answer[0] == 500 and message(answer) ==
          "Urgent is not a valid ExampleNotesPriority enumeration value for 'priority'.",
          "notes: a refusal without a status is answered 500: %s" % (answer,))
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

    hostile_checks.run(PROGRAM, check)

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
