#!/usr/bin/python3
"""The development host driven over HTTP: zvm-devhost started on free ports,
the OpenAPI documents of both plugins given to a validator, Ctrl-C, hostile
clients sent at it (hostile_checks.py), the README's curl lines, the notes
example served as the README starts it, and the load check run against it.
Its answers, refusals, faults, recordings, reloads and demo are
devhost_tests' (devhost_test.cc).

    devhost_checks.py <build dir> <OpenAPI validator command>
"""
import json
import os
import shlex
import subprocess
import sys
import tempfile

import hostile_checks
from devhost_process import JSON, Devhost, EMAIL, PASSWORD, message, request

BUILD, VALIDATOR = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
NOTES = "/example-notes/v1/notes"
results = []


def check(holds, what):
    print(("ok     " if holds else "FAILED ") + what, flush=True)
    results.append(holds)


def check_document(devhost, operations):
    """The OpenAPI document as a validator reads it, with the plugin's
    operations."""
    status, document = request(devhost.port, "GET", "/openapi.json")
    with tempfile.NamedTemporaryFile("w", suffix=".json") as file:
        file.write(document)
        file.flush()
        validation = subprocess.run([VALIDATOR, file.name], capture_output=True, text=True)
    paths = json.loads(document)["paths"]
    check(status == 200 and validation.returncode == 0 and '"valid": true' in validation.stdout
          and sorted((path, method) for path in paths for method in paths[path]) == operations,
          "the OpenAPI document validates: " + validation.stdout.strip()[:300])


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
    """The notes example served as any plugin (its answers and events are
    notes_test's): a refusal without a status is answered 500."""
    check_document(devhost, [(NOTES, "get"), (NOTES + "/{id}", "delete"),
                             (NOTES + "/{id}", "put")])
    for method, path, body, status, text in [
            ("GET", NOTES + "?contains=MILK", None, 200,
             '{"notes":[{"id":"milk","priority":"High","text":"Buy milk"}]}'),
            ("PUT", NOTES + "/tea", '{"text":"Buy tea","priority":"Urgent"}', 500,
             "Urgent is not a valid ExampleNotesPriority enumeration value for 'priority'.")]:
        answer = request(devhost.port, method, path, body, JSON if body else None)
        check(answer[0] == status and text in (answer[1], message(answer[1])),
              "notes: %s %s: %s" % (method, path, answer))


def check_load(devhost):
    load = subprocess.run([os.path.join(BUILD, "zvm-devhost-load"),
                           "http://127.0.0.1:%d" % devhost.port, PASSWORD],
                          capture_output=True, text=True, timeout=600)
    print(load.stdout + load.stderr, end="")
    check(load.returncode == 0, "the load check")
    check(not any("  OKAY|" in line for line in devhost.lines), "--quiet shows no OKAY lines")


def serve(check_host, *options):
    """Runs check_host on a host of its own: the host's exit code, and the
    host."""
    devhost = Devhost(PROGRAM, *options)
    try:
        check_host(devhost)
    finally:
        code = devhost.stop()
    return code, devhost


def main():
    code, devhost = serve(lambda devhost: check_document(devhost, [
        ("/qor-email-verification/v1/confirm-email", "post"), (EMAIL, "get"), (EMAIL, "put")]))
    check(code == 0 and devhost.find("memory counters of the plugin at shutdown") is not None,
          "Ctrl-C shuts the plugin down and prints its memory counters")
    hostile_checks.run(PROGRAM, check)
    serve(check_readme_calls)
    serve(check_notes, "--plugin", os.path.join(BUILD, "examples/notes/zvm-be-example-notes.so"),
          "--export", "load_example_notes", "--config", "examples/notes/devhost.yaml")
    serve(check_load, "--quiet")
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
