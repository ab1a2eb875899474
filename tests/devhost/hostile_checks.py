"""The development host against a hostile neighbour on the same machine: a
body, a head and a head line past the limits, paths and bytes not UTF-8,
clients that take every stream and slow clients. The other refusals are
devhost_tests'."""
import json
import socket
import threading
import time

from devhost_process import JSON, EMAIL, PASSWORD, message, request

MAX_BODY = 1 << 16


def answer(port, data):
    """Sends `data` on a connection of its own: the answer's status, body
    bytes and headers; no status if the host closed it unanswered."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        try:
            connection.sendall(data)
        except OSError:
            pass  # refused midway: the answer is still to be read
        reader = connection.makefile("rb")
        line = reader.readline()
        lines = iter(reader.readline, b"\r\n") if line else []
        headers = {name.lower(): value.strip()
                   for name, value in (header.decode().split(":", 1) for header in lines)}
        length = int(headers.get("content-length", 0))
        return int(line.split()[1]) if line else None, reader.read(length), headers


def raw(port, method, path, lines=(), body=b""):
    """A request as bytes, the path as sent."""
    head = b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (method.encode(), path, port)
    return head + "".join(line + "\r\n" for line in lines).encode() + b"\r\n" + body


def check_requests(devhost, check):
    """Each request and the answer it must have: the status and the start of
    the message. Every answer is JSON in UTF-8 whatever came in, a refusal
    with its message, and none names other methods."""
    port = devhost.port
    chunks = b"%x\r\n%s\r\n" % (MAX_BODY, b"x" * MAX_BODY) * 64 + b"0\r\n\r\n"
    address = b'{"email":"bad\xff\xfe@example.test","password":"%s"}' % PASSWORD.encode()
    rows = [
        # A body past --max-body, sent whole, is refused as it comes.
        (raw(port, "POST", b"/_host/message", ["Transfer-Encoding: chunked"], chunks),
         413, "The request body exceeds the limit of %d bytes" % MAX_BODY),
        (raw(port, "GET", EMAIL.encode(), ["X: " + "y" * 9000]),
         431, "A header line is longer than 8192 bytes"),
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
        (raw(port, "GET", EMAIL.encode()), 200, ""),
        (raw(port, "POST", b"/qor-email-verification/v1/confirm-email"), 204, ""),
        (raw(port, "GET", b"/_host/mailbox"), 200, ""),
    ]
    for data, expected, text in rows:
        status, body, headers = answer(port, data)
        said = message(body) if status != 204 else ""
        check(status == expected and said is not None and said.startswith(text) and
              (status < 400 or said != "") and "allow" not in headers,
              "%s: %s %s" % (data[:60], status, body[:100].decode(errors="replace")))
    mailbox = json.loads(request(port, "GET", "/_host/mailbox")[1])
    check(mailbox[-1]["to"] == "bad\ufffd\ufffd@example.test",
          "the mail to the stored address: %s" % mailbox[-1]["to"])


def open_stream(port, agent):
    """GET /events as the client `agent`: the connection, left open, and the
    answer's status."""
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.sendall(raw(port, "GET", b"/events", ["User-Agent: " + agent]))
    return connection, int(connection.recv(12, socket.MSG_WAITALL).split()[1])


def check_stream_bounds(devhost, check):
    """Eight streams at most, of clients told apart by their User-Agent (the
    refusals' texts are devhost_tests'); a client that leaves frees its
    stream at once, though no event is sent that would find it gone."""
    held = [open_stream(devhost.port, agent) for agent in ["one"] * 4 + ["two"] * 4 + ["three"]]
    check([status for _, status in held] == [200] * 8 + [503],
          "eight streams in all: %s" % [status for _, status in held])
    held.pop(0)[0].close()
    time.sleep(2)
    held.append(open_stream(devhost.port, "three"))
    check(held[-1][1] == 200, "a stream left is free again within 2 s: %s" % held[-1][1])
    for connection, _ in held:
        connection.close()


def check_slow_clients(devhost, check):
    """More slow connections than either server has workers (24 and 4),
    each sending a byte every half second: a normal call, which goes to the
    mock service too, is answered at once, and each slow one is dropped when
    its request has not come whole within 5 seconds."""
    mock = int(devhost.mock_url().rsplit(":", 1)[1])
    outcomes = []

    def slow(target):
        with socket.create_connection(("127.0.0.1", target), timeout=15) as connection:
            try:
                for byte in raw(target, "GET", EMAIL.encode())[:16]:
                    connection.sendall(bytes([byte]))
                    time.sleep(0.5)
                outcomes.append("never dropped")
            except OSError:
                outcomes.append("dropped")

    threads = [threading.Thread(target=slow, args=(target,))
               for target in [devhost.port] * 30 + [mock] * 6]
    for thread in threads:
        thread.start()
    time.sleep(1)
    started = time.time()
    update = '{"email":"slow@example.test","password":"%s"}' % PASSWORD
    try:
        status = request(devhost.port, "PUT", EMAIL, update, JSON, timeout=10)[0]
    except OSError as failure:
        status = failure
    elapsed = time.time() - started
    check(status == 204 and elapsed < 2, "under 36 slow connections a PUT through the mock "
          "service: %s in %.3f s" % (status, elapsed))
    for thread in threads:
        thread.join()
    check(outcomes == ["dropped"] * 36,
          "every slow connection dropped within 8 s: %s" % sorted(set(outcomes)))


def run(devhost, check):
    """The checks on a host started with --max-body=MAX_BODY."""
    check_requests(devhost, check)
    check_stream_bounds(devhost, check)
    check_slow_clients(devhost, check)
