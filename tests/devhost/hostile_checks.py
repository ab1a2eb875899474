"""The development host against a hostile neighbour on the same machine: a head past
its limit, paths and bytes not UTF-8, and slow clients. The other refusals, and the
bounds of the event streams, are devhost_tests'."""
import http.client
import json
import socket
import time
from concurrent.futures import ThreadPoolExecutor

from devhost_process import JSON, EMAIL, PASSWORD, request


def answer(port, data):
    """`data` sent on a connection of its own: the answer's status, body and headers."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        try:
            connection.sendall(data)
        except OSError:
            pass  # refused midway: the answer is still to be read
        response = http.client.HTTPResponse(connection)
        response.begin()
        return response.status, response.read(), response.headers


def raw(port, method, path, lines=(), body=b""):
    head = b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (method.encode(), path, port)
    return head + "".join(line + "\r\n" for line in lines).encode() + b"\r\n" + body


def check_requests(port, check):
    """Each request, its answer's status and the start of its message: JSON in UTF-8
    whatever came in, a refusal with its message, and none names other methods."""
    address = b'{"email":"bad\xff\xfe@example.test","password":"%s"}' % PASSWORD.encode()
    rows = [
        (raw(port, "GET", EMAIL.encode(), ["X-%d: %s" % (i, "y" * 8000) for i in range(20)]),
         431, "The request head is longer than 65536 bytes"),
        # The path named as it was sent.
        (raw(port, "GET", b"/x%ff"), 404, "No endpoint takes GET /x%ff"),
        (raw(port, "GET", b"/x\xff"), 404, "No endpoint takes GET /x\ufffd"),
        (raw(port, "GET", b"/qor-email-verification/v1/%65mail"),
         404, "No endpoint takes GET /qor-email-verification/v1/%65mail"),
        (raw(port, "GET", b"/console/a%00b.js"), 404, "No console file 'a\x00b.js' in "),
        # An address that is not UTF-8, stored and answered.
        (raw(port, "PUT", EMAIL.encode(), ["Content-Type: application/json",
                                           "Content-Length: %d" % len(address)], address), 204, ""),
        (raw(port, "POST", b"/qor-email-verification/v1/confirm-email"), 204, ""),
        (raw(port, "GET", b"/_host/mailbox"), 200, ""),
    ]
    for data, expected, text in rows:
        status, body, headers = answer(port, data)
        value = json.loads(body.decode("utf-8") or "{}")  # fails on bytes not UTF-8
        said = value.get("message", "") if isinstance(value, dict) else ""
        check(status == expected and said.startswith(text) and (status < 400 or said != "") and
              "allow" not in headers, "%s: %s %s" % (data[:60], status, body[:100]))
    mailbox = json.loads(request(port, "GET", "/_host/mailbox")[1])
    check(mailbox[-1]["to"] == "bad\ufffd\ufffd@example.test",
          "the mail to the stored address: %s" % mailbox[-1]["to"])


def check_slow_clients(devhost, check):
    """More slow connections than either server has workers (24 and 4), each sending
    a byte every half second: a PUT, which goes to the mock service too, is answered
    at once. That each slow one is dropped in 5 s is devhost_tests'."""
    def slow(target):
        with socket.create_connection(("127.0.0.1", target), timeout=15) as connection:
            for byte in raw(target, "GET", EMAIL.encode())[:16]:
                connection.sendall(bytes([byte]))
                time.sleep(0.5)

    mock = int(devhost.mock_url().rsplit(":", 1)[1])
    with ThreadPoolExecutor(36) as pool:
        # Each slow client fails once it is dropped, which the pool keeps to itself.
        pool.map(slow, [devhost.port] * 30 + [mock] * 6)
        time.sleep(1)
        started = time.time()
        update = '{"email":"slow@example.test","password":"%s"}' % PASSWORD
        status = request(devhost.port, "PUT", EMAIL, update, JSON, timeout=10)[0]
        elapsed = time.time() - started
        check(status == 204 and elapsed < 2, "under 36 slow connections a PUT through the "
              "mock service: %s in %.3f s" % (status, elapsed))


def run(devhost, check):
    check_requests(devhost.port, check)
    check_slow_clients(devhost, check)
