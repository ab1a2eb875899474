"""The development host against a hostile neighbour on the same machine:
bodies and heads past the limits, pipelined requests, bytes that are not
UTF-8, clients that take every stream and slow clients."""
import json
import socket
import threading
import time

from devhost_process import JSON, EMAIL, PASSWORD, message, request

MAX_BODY = 1 << 16


def answers(port, data, count):
    """Sends `data` on one connection and reads `count` answers, or as many
    as come before the host closes it: [(status, body bytes, headers)]."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as connection:
        try:
            connection.sendall(data)
        except OSError:
            pass  # refused midway: the answer is still to be read
        reader = connection.makefile("rb")
        found = []
        while len(found) < count:
            line = reader.readline()
            if not line:
                break
            headers = {}
            for header in iter(reader.readline, b"\r\n"):
                name, value = header.decode().split(":", 1)
                headers[name.lower()] = value.strip()
            body = reader.read(int(headers.get("content-length", 0)))
            found.append((int(line.split()[1]), body, headers))
        return found


def raw(port, method, path, lines=(), body=b""):
    """A request as bytes, the path as sent."""
    head = b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (method.encode(), path, port)
    return head + "".join(line + "\r\n" for line in lines).encode() + b"\r\n" + body


def check_requests(devhost, check):
    """Each request (or requests sent back to back) and the answers it must
    have, in turn: the status and the start of the message. Every answer is
    JSON in UTF-8 whatever came in, a refusal with its message, and no
    answer here names other methods."""
    port = devhost.port

    def post(lines, body=b"body"):
        return raw(port, "POST", b"/_host/message", lines, body)

    def get(path, lines=()):
        return raw(port, "GET", path, lines)

    def put(body):
        lines = ["Content-Type: application/json", "Content-Length: %d" % len(body)]
        return raw(port, "PUT", EMAIL.encode(), lines, body)

    message_body = b'{"emailStatus":"validated"}'
    chunks = b"%x\r\n%s\r\n" % (MAX_BODY, b"x" * MAX_BODY) * 64 + b"0\r\n\r\n"
    filler = ["X-Filler-%d: %s" % (i, "y" * 100) for i in range(200)]
    large = ["X-Filler-%d: %s" % (i, "y" * 8000) for i in range(20)]
    rows = [
        # A body past --max-body, however it comes, is refused as it comes.
        (post(["Transfer-Encoding: chunked"], chunks),
         [(413, "The request body exceeds the limit of %d bytes" % MAX_BODY)]),
        (post(["Content-Length: %d" % (MAX_BODY + 1)]), [(413, "The request body exceeds")]),
        (post(["Content-Encoding: gzip", "Content-Length: 4"]), [(415, "")]),
        (post(["Transfer-Encoding: gzip"]), [(501, "")]),
        (post(["Content-Length: 4", "Transfer-Encoding: chunked"]), [(400, "")]),
        (get(EMAIL.encode(), filler), [(431, "The request has more than 100 header lines")]),
        (get(EMAIL.encode(), large), [(431, "The request head is longer than 65536 bytes")]),
        (get(EMAIL.encode(), ["X: " + "y" * 9000]),
         [(431, "A header line is longer than 8192 bytes")]),
        # Sent back to back on one connection, answered in turn.
        (get(b"/_host/token") + post(["Content-Length: %d" % len(message_body)], message_body) +
         get(b"/no/such/path", ["Connection: close"]),
         [(200, ""), (200, ""), (404, "No endpoint takes GET /no/such/path")]),
        # The path named as it was sent.
        (get(b"/x%ff"), [(404, "No endpoint takes GET /x%ff")]),
        (get(b"/x\xff"), [(404, "No endpoint takes GET /x\ufffd")]),
        (get(b"/qor-email-verification/v1/%65mail"),
         [(404, "No endpoint takes GET /qor-email-verification/v1/%65mail")]),
        (get(b"/console/a%00b.js"), [(404, "No console file 'a\x00b.js' in ")]),
        # An address that is not UTF-8, stored and answered.
        (put(b'{"email":"bad\xff\xfe@example.test","password":"%s"}' % PASSWORD.encode()),
         [(204, "")]),
        (get(EMAIL.encode()), [(200, "")]),
        (raw(port, "POST", b"/qor-email-verification/v1/confirm-email"), [(204, "")]),
        (get(b"/_host/mailbox"), [(200, "")]),
    ]
    for data, expected in rows:
        found = answers(port, data, len(expected))
        holds = len(found) == len(expected)
        for (status, body, headers), (expected_status, text) in zip(found, expected):
            said = message(body) if status != 204 else ""
            holds &= (status == expected_status and said is not None and said.startswith(text) and
                      (status < 400 or said != "") and "allow" not in headers)
        shown = [(status, body[:100].decode(errors="replace")) for status, body, _ in found]
        check(holds, "%s: %s" % (data[:60], shown))
    mailbox = json.loads(request(port, "GET", "/_host/mailbox")[1])
    check(mailbox[-1]["to"] == "bad\ufffd\ufffd@example.test",
          "the mail to the stored address: %s" % mailbox[-1]["to"])


def open_stream(port, agent):
    """GET /events as the client `agent`: the connection, left open, and the
    answer's status and message (empty for a stream)."""
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.sendall(raw(port, "GET", b"/events", ["User-Agent: " + agent]))
    text = b""
    while b"\r\n\r\n" not in text:
        text += connection.recv(4096)
    status = int(text.split()[1])
    while status != 200 and not text.endswith(b"}"):
        text += connection.recv(4096)
    return connection, status, message(text.split(b"\r\n\r\n", 1)[1]) if status != 200 else ""


def check_stream_bounds(devhost, check):
    """Four streams for one client and eight in all, so that no client, a
    foreign page's image tags or a leaking script, takes every stream; a
    client that leaves frees its stream at once."""
    port = devhost.port
    held = [open_stream(port, agent) for agent in ["one"] * 5 + ["two"] * 4 + ["three"]]
    check([stream[1:] for stream in held] == [(200, "")] * 4 + [
        (429, "Too many streams: this client holds 4 streams of the events of the plugin, the "
              "most one client may hold (8 in all)")] + [(200, "")] * 4 + [
        (503, "Too many streams: 8 streams of the events of the plugin are open, the most the "
              "host serves at once")],
        "four streams for a client, eight in all: %s" % [stream[1] for stream in held])
    held.pop(0)[0].close()
    time.sleep(2)
    held.append(open_stream(port, "three"))
    check(held[-1][1] == 200, "a stream left is free again within 2 s: %s" % held[-1][1])
    for connection, _, _ in held:
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
            except OSError:
                outcomes.append("dropped")
                return
            outcomes.append("never dropped")

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
    check(status == 204 and elapsed < 2,
          "under 36 slow connections a PUT through the mock service: %s in %.3f s" %
          (status, elapsed))
    for thread in threads:
        thread.join()
    check(outcomes == ["dropped"] * 36,
          "every slow connection dropped within 8 s: %s" % sorted(set(outcomes)))


def run(devhost, check):
    """The checks on a host started with --max-body=MAX_BODY."""
    check_requests(devhost, check)
    check_stream_bounds(devhost, check)
    check_slow_clients(devhost, check)
