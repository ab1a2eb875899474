#!/usr/bin/python3
"""devhost_checks.py <build dir> <OpenAPI validator command>: zvm-devhost as a program:
the OpenAPI documents of both plugins given to a validator, Ctrl-C, hostile clients
(hostile_checks.py), the README's curl lines, the notes example served as the README
starts it, and the load check."""
import http.client
import json
import os
import shlex
import subprocess
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import hostile_checks
from devhost_process import JSON, Devhost, EMAIL, PASSWORD, notes_options, request

BUILD, VALIDATOR = sys.argv[1], sys.argv[2]
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
NOTES = "/example-notes/v1/notes"
results = []


def check(holds, what):
    print(("ok     " if holds else "FAILED ") + what, flush=True)
    results.append(holds)


def check_document(devhost, operations):
    """The OpenAPI document, the plugin's operations in it, as a validator reads it."""
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
    """The README's curl lines, each as a user pastes it, on the host's port."""
    text = open("README.md").read().split("Calls from a terminal", 1)[1]
    for line in text.split("```sh\n", 1)[1].split("```", 1)[0].replace("\\\n", " ").splitlines():
        words = [word.replace(":8080/", ":%d/" % devhost.port) for word in shlex.split(line)]
        result = subprocess.run(words + ["-sS", "--fail-with-body"], capture_output=True,
                                text=True, timeout=30)
        check(result.returncode == 0, "README: %s: %s" % (line[:70], result.stdout.strip()))


def check_notes(devhost):
    """The notes example served as any plugin, with its configuration's notes."""
    check_document(devhost, [(NOTES, "get"), (NOTES + "/{id}", "delete"), (NOTES + "/{id}", "put")])
    answer = request(devhost.port, "GET", NOTES + "?contains=MILK")
    check(answer == (200, '{"notes":[{"id":"milk","priority":"High","text":"Buy milk"}]}'),
          "notes: the configuration's notes served: %s" % (answer,))


def check_load(devhost, clients=8, calls=10000):
    """Concurrent clients, each on a connection of its own, make GET and PUT calls of the
    email resource: none may fail, and the plugin's live blocks may grow by the region or
    two it keeps for later trees, not by a leak of one block every thousand calls."""
    def client(number, count):
        connection = http.client.HTTPConnection("127.0.0.1", devhost.port, timeout=30)
        failures = []
        for i in range(count):
            body = '{"email":"load-%d-%d@example.test","password":"%s"}' % (number, i, PASSWORD)
            try:
                connection.request(*("PUT", EMAIL, body, JSON) if i % 2 else ("GET", EMAIL))
                response = connection.getresponse()
                response.read()
                if response.status != (204 if i % 2 else 200):
                    failures.append(response.status)
            except OSError as failure:
                failures.append(repr(failure))
                connection.close()
        return failures

    def run(count):
        with ThreadPoolExecutor(clients) as pool:
            return sum(pool.map(client, range(clients), [count // clients] * clients), [])

    blocks = lambda: json.loads(request(devhost.port, "GET", "/_host/memory")[1])["liveBlocks"]
    run(calls // 4)  # settles the plugin's caches and pools
    before, started = blocks(), time.time()
    failures, seconds = run(calls), time.time() - started
    check(not failures, "load: %d calls from %d clients in %.2f s, %.0f requests/s; failed: %s" %
          (calls, clients, seconds, calls / seconds, failures[:3]))
    after = blocks()
    check(after <= before + 8, "the plugin's live blocks: %d before the load, %d after" %
          (before, after))
    check(not any("  OKAY|" in line for line in devhost.lines), "--quiet shows no OKAY lines")


def serve(check_host, *options):
    """Runs check_host on a host of its own: the host's exit code, and the host."""
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
    serve(lambda devhost: hostile_checks.run(devhost, check))
    serve(check_readme_calls)
    serve(check_notes, *notes_options(BUILD))
    serve(check_load, "--quiet")
    print("%d passed, %d failed" % (results.count(True), results.count(False)))
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
