"""The mock service misbehaving on demand: for each kind of fault, a call
through the host whose answer (status and message) and log line are the
plugin's own, and a next call served at once. Run by devhost_checks.py on a
host of its own, whose clock of the plugin's time-outs is shortened with
--timeout-scale (the plugin's 30 s are 1.5 s)."""
import json
import os
import tempfile
import time

from devhost_process import CONFIRM, Devhost, EMAIL, EventClient, JSON, message, request

STATUS = "GET /v1/account/status"
CHANGE = "PUT /v1/account/email"
VERIFICATION = "POST /v1/account/email/verification"
CHANGED = '{"email": "fault@example.test", "password": "correct-horse"}'
HTML = "<!doctype html><title>Maintenance</title><p>Back soon.</p>"
FETCH = "EmailVerification: Email verification status fetch failure: "
UNREADABLE = ("Error deserializing json response for GET %s/v1/account/status: "
              "Error: Invalid value. at offset 0. given body ")

# Each fault, the call that meets it, and what the plugin answers and logs
# ("%s" stands for the mock service's address). The GETs come first: once
# one succeeds the plugin keeps the status and asks the service no more.
CASES = [
    (STATUS, {"answer": "not-json"}, "GET", EMAIL, None, 502, FETCH + UNREADABLE + HTML),
    (STATUS, {"answer": "hang"}, "GET", EMAIL, None, 500, FETCH + "No answer within 1.5 s"),
    (STATUS, {"delay": 2500}, "GET", EMAIL, None, 500, FETCH + "No answer within 1.5 s"),
    (VERIFICATION, {"answer": "close"}, "POST", CONFIRM, None, 500,
     "EmailVerification: Error setting changed email: Failed to read connection"),
    (CHANGE, {"answer": "status", "status": 503, "body": "Down for maintenance"}, "PUT", EMAIL,
     CHANGED, 503, "Down for maintenance"),
    (CHANGE, {"answer": "refuse-token"}, "PUT", EMAIL, CHANGED, 401,
     "Unknown or missing bearer token"),
]


def check_faults(devhost, check):
    port, mock = devhost.port, devhost.mock_url()
    log = EventClient(port, "/_host/log", ": log lines of the plugin")
    for endpoint, fault, method, path, body, status, text in CASES:
        expected = text.replace("%s", mock)
        set_answer = request(port, "POST", "/_host/faults", json.dumps({endpoint: fault}))
        answer = request(port, method, path, body, JSON if body else None)
        # The plugin logs its failures as it answers them: the service's
        # text after a prefix for a change of address, its own message else.
        line = log.event("log")
        logged = "email-verification: " + expected if method == "PUT" else expected
        check(set_answer[0] == 200 and answer[0] == status and message(answer) == expected and
              line == {"level": "ERROR", "text": logged},
              "%s %s: %s answered %s, logged %r" % (endpoint, json.dumps(fault), path, answer,
                                                     line["text"]))
        cleared = request(port, "DELETE", "/_host/faults")
        next_call = request(port, "POST", CONFIRM, timeout=5)
        check(cleared == (200, "{}") and next_call[0] == 204,
              "  the faults cleared, the next call served at once: %s" % (next_call,))
    log.close()

    request(port, "POST", "/_host/faults", json.dumps({STATUS: {"delay": 400}}))
    started = time.time()
    answer = request(port, "GET", EMAIL)
    took = time.time() - started
    check(answer[0] == 200 and took >= 0.4,
          "a delay within the time-out: the status after %.2f s: %s" % (took, answer))

    refusals = [
        ('{"GET /mailbox": {}}', "No endpoint 'GET /mailbox' takes faults; these do: "
         "GET /v1/account/status, PUT /v1/account/email, POST /v1/account/email/verification"),
        ('{"%s": {"answer": "slow"}}' % CHANGE, "The fault of PUT /v1/account/email has an "
         "answer that is none of status, not-json, close, hang and refuse-token"),
        ('{"%s": {"answer": "status"}}' % CHANGE,
         "The fault of PUT /v1/account/email answers a status without one from 100 to 599"),
        ('{"%s": {"delay": -1}}' % CHANGE, "The fault of PUT /v1/account/email has a delay that "
         "is not a number of milliseconds up to 600000"),
        ("[", "The faults do not read as JSON: Error: Invalid value. at offset 1."),
    ]
    for document, text in refusals:
        answer = request(port, "POST", "/_host/faults", document)
        check(answer[0] == 400 and message(answer).startswith(text),
              "faults refused: %s: %s" % (document, answer))
    check(request(port, "GET", "/_host/faults") == (200, '{"%s":{"delay":400}}' % STATUS),
          "a refused document changes none of the faults in force")


def check_configured(program, check):
    """Faults from the configuration file are in force from the start."""
    with open("host/devhost/devhost.yaml") as default:
        text = default.read()
    with tempfile.NamedTemporaryFile("w", suffix=".yaml", delete=False) as config:
        config.write(text + "\nfaults:\n  %s: {answer: status, status: 503, body: Down}\n" %
                     CHANGE)
    devhost = Devhost(program, "--no-reload", "--config=" + config.name)
    try:
        faults = request(devhost.port, "GET", "/_host/faults")
        answer = request(devhost.port, "PUT", EMAIL, CHANGED, JSON)
        check(faults == (200, '{"%s":{"answer":"status","body":"Down","status":503}}' % CHANGE)
              and answer[0] == 503 and message(answer) == "Down",
              "faults from the configuration file: %s, then %s" % (faults, answer))
    finally:
        devhost.stop()
        os.unlink(config.name)


def run(program, check):
    devhost = Devhost(program, "--no-reload", "--timeout-scale=0.05")
    try:
        check_faults(devhost, check)
    finally:
        devhost.stop()
    check_configured(program, check)
