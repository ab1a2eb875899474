"""The development host against a hostile neighbour on the same machine:
bodies and heads past the limits, slow clients, pipelined requests, pages
of other sites and clients that take every stream. Run by devhost_checks.py
on a host of its own, started with a small --max-body."""
import json
import socket
import threading
import time

from devhost_process import JSON, Devhost, EMAIL, PASSWORD, request

MAX_BODY = 1 << 16


def peak_memory(devhost):
    """The host's peak resident memory so far, in MiB."""
    with open("/proc/%d/status" % devhost.process.pid) as status:
        line = next(line for line in status if line.startswith("VmHWM:"))
    return int(line.split()[1]) // 1024


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
            status = int(line.split()[1])
            headers = {}
            for header in iter(reader.readline, b"\r\n"):
                name, value = header.decode().split(":", 1)
                headers[name.lower()] = value.strip()
            found.append((status, reader.read(int(headers.get("content-length", 0))), headers))
        return found


def shown(found):
    return [(status, body.decode(errors="replace")) for status, body, _ in found]


def message(body):
    """The message of a JSON answer; "" when the answer is not JSON in
    UTF-8."""
    try:
        return json.loads(body).get("message", "")
    except ValueError:
        return ""


def head(port, method, path, lines=()):
    return ("%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n" % (method, path, port) +
            "".join(line + "\r\n" for line in lines)).encode()


def check_bodies(devhost, check):
    port = devhost.port
    before = peak_memory(devhost)
    chunk = b"%x\r\n%s\r\n" % (MAX_BODY, b"x" * MAX_BODY)
    found = answers(port, head(port, "POST", "/_host/message", ["Transfer-Encoding: chunked"]) +
                    b"\r\n" + chunk * 64 + b"0\r\n\r\n", 1)
    check(bool(found) and found[0][0] == 413 and
          message(found[0][1]) == "The request body exceeds the limit of %d bytes" % MAX_BODY,
          "a chunked body of 64 times --max-body: %s" % shown(found))
    print("       peak memory of the host: %d MiB before the body, %d MiB after" %
          (before, peak_memory(devhost)), flush=True)
    refusals = [
        (["Content-Encoding: gzip", "Content-Length: 4"], 415),
        (["Transfer-Encoding: gzip"], 501),
        (["Content-Length: 4", "Transfer-Encoding: chunked"], 400),
        (["Content-Length: %d" % (MAX_BODY + 1)], 413),
    ]
    for lines, status in refusals:
        found = answers(port, head(port, "POST", "/_host/message", lines) + b"\r\nbody", 1)
        check(bool(found) and found[0][0] == status and message(found[0][1]) != "",
              "a body with %s: %s" % (", ".join(lines), shown(found)))


def check_heads(devhost, check):
    port = devhost.port
    before = peak_memory(devhost)
    many = ["X-Filler-%d: %s" % (i, "y" * 100) for i in range(200)]
    large = ["X-Filler-%d: %s" % (i, "y" * 8000) for i in range(20)]
    for lines, reason in [(many, "The request has more than 100 header lines"),
                          (large, "The request head is longer than 65536 bytes"),
                          (["X: " + "y" * 9000], "A header line is longer than 8192 bytes")]:
        found = answers(port, head(port, "GET", EMAIL, lines) + b"\r\n", 1)
        check(bool(found) and found[0][0] == 431 and message(found[0][1]) == reason,
              "a head with %d lines of %d bytes: %s" % (len(lines), len(lines[0]), shown(found)))
    print("       peak memory of the host: %d MiB before the heads, %d MiB after" %
          (before, peak_memory(devhost)), flush=True)


def check_slow_clients(devhost, check):
    """More slow connections than either server has workers (24 and 4),
    each sending a byte every half second: a normal call, which goes to the
    mock service too, is answered at once, and each slow one is dropped when
    its request has not come whole within 5 seconds."""
    port, mock = devhost.port, int(devhost.mock_url().rsplit(":", 1)[1])
    outcomes = []

    def slow(target):
        with socket.create_connection(("127.0.0.1", target), timeout=15) as connection:
            try:
                for byte in head(target, "GET", EMAIL)[:16]:
                    connection.sendall(bytes([byte]))
                    time.sleep(0.5)
            except OSError:
                outcomes.append("dropped")
                return
            outcomes.append("never dropped")

    threads = [threading.Thread(target=slow, args=(target,))
               for target in [port] * 30 + [mock] * 6]
    for thread in threads:
        thread.start()
    time.sleep(1)
    started = time.time()
    update = '{"email":"slow@example.test","password":"%s"}' % PASSWORD
    try:
        status = request(port, "PUT", EMAIL, update, JSON,
                         timeout=10)[0]
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


def check_foreign_pages(devhost, check):
    """What a browser marks as coming from another site: the streams, the
    control endpoints and the changing calls refused, reads let through."""
    port = devhost.port
    for site, method, path in [("cross-site", "GET", "/events"), ("same-site", "GET", "/_host/log"),
                               ("cross-site", "GET", "/_host/token"),
                               ("same-site", "POST", "/_host/sign-out"),
                               ("cross-site", "PUT", EMAIL)]:
        try:
            answer = request(port, method, path, "{}", {"Sec-Fetch-Site": site}, timeout=5)
        except OSError as failure:  # a stream served
            answer = (0, repr(failure))
        check(answer[0] == 403 and message(answer[1]).startswith(
            "Refused: a %s %s %s (Sec-Fetch-Site: %s)" % (site, method, path, site)),
            "%s %s marked %s: %s" % (method, path, site, answer))
    check(request(port, "GET", EMAIL, None, {"Sec-Fetch-Site": "cross-site"})[0] == 200,
          "a cross-site read of the plugin's resource passes")


def open_stream(port, agent):
    """GET /events as the client `agent`: the connection, left open, and the
    answer's status and message (empty for a stream)."""
    connection = socket.create_connection(("127.0.0.1", port), timeout=10)
    connection.sendall(head(port, "GET", "/events", ["User-Agent: " + agent]) + b"\r\n")
    text = b""
    while b"\r\n\r\n" not in text:
        text += connection.recv(4096)
    status = int(text.split()[1])
    if status == 200:
        return connection, status, ""
    while not text.endswith(b"}"):
        text += connection.recv(4096)
    return connection, status, message(text.split(b"\r\n\r\n", 1)[1])


def check_stream_bounds(devhost, check):
    """Four streams for one client and eight in all, so that no client, a
    foreign page's image tags or a leaking script, takes every stream; a
    client that leaves frees its stream at once."""
    port = devhost.port
    held = [open_stream(port, "one") for _ in range(4)]
    refused = open_stream(port, "one")
    check(refused[1:] == (429, "Too many streams: this client holds 4 streams of the events of "
                               "the plugin, the most one client may hold (8 in all)"),
          "a fifth stream for one client: %s %s" % refused[1:])
    held += [open_stream(port, "two") for _ in range(4)]
    full = open_stream(port, "three")
    check(full[1:] == (503, "Too many streams: 8 streams of the events of the plugin are open, "
                            "the most the host serves at once"),
          "a ninth stream: %s %s" % full[1:])
    check([status for _, status, _ in held] == [200] * 8, "eight streams for two clients")
    held.pop()[0].close()
    time.sleep(2)
    again = open_stream(port, "three")
    check(again[1] == 200, "a stream left is free again within 2 s: %s" % again[1])
    for connection, _, _ in held + [refused, full, again]:
        connection.close()


def check_pipelining(devhost, check):
    port = devhost.port
    body = '{"emailStatus":"validated"}'
    found = answers(port, head(port, "GET", "/_host/token") + b"\r\n" +
                    head(port, "POST", "/_host/message", ["Content-Length: %d" % len(body)]) +
                    b"\r\n" + body.encode() +
                    head(port, "GET", "/no/such/path", ["Connection: close"]) + b"\r\n", 3)
    check([answer[0] for answer in found] == [200, 200, 404] and
          message(found[2][1]) == "No endpoint takes GET /no/such/path",
          "three requests sent back to back, answered in turn: %s" % shown(found))


def check_replies(devhost, check):
    """Every JSON answer is JSON in UTF-8 whatever came in, and names the
    path as it was sent."""
    port = devhost.port
    update = b'{"email":"bad\xff\xfe@example.test","password":"%s"}' % PASSWORD.encode()
    cases = [
        ("GET", b"/x%ff", b"", 404, "No endpoint takes GET /x%ff"),
        ("GET", b"/x\xff", b"", 404, "No endpoint takes GET /x\ufffd"),
        ("GET", b"/qor-email-verification/v1/%65mail", b"", 404,
         "No endpoint takes GET /qor-email-verification/v1/%65mail"),
        ("GET", b"/console/a%00b.js", b"", 404, "No console file 'a\x00b.js' in "),
        ("PUT", EMAIL.encode(), update, 204, None),
        ("GET", EMAIL.encode(), b"", 200, None),
        ("POST", b"/qor-email-verification/v1/confirm-email", b"", 204, None),
        ("GET", b"/_host/mailbox", b"", 200, None),
    ]
    for method, path, body, status, text in cases:
        lines = ["Content-Type: application/json", "Content-Length: %d" % len(body)]
        found = answers(port, b"%s %s HTTP/1.1\r\nHost: 127.0.0.1:%d\r\n%s\r\n%s" % (
            method.encode(), path, port, "".join(l + "\r\n" for l in lines).encode(), body), 1)
        answer = found[0] if found else (0, b"", {})
        try:
            valid = answer[0] == 204 or json.loads(answer[1].decode("utf-8")) is not None
        except ValueError:
            valid = False
        check(answer[0] == status and valid and "allow" not in answer[2] and
              (text is None or message(answer[1]).startswith(text)),
              "%s %r: %s" % (method, path, shown(found)))
    mailbox = json.loads(request(port, "GET", "/_host/mailbox")[1])
    check(mailbox[-1]["to"] == "bad\ufffd\ufffd@example.test", "the mail to the stored address: %s"
          % mailbox[-1]["to"])


def run(program, check):
    devhost = Devhost(program, "--max-body=%d" % MAX_BODY)
    try:
        check_bodies(devhost, check)
        check_heads(devhost, check)
        check_pipelining(devhost, check)
        check_foreign_pages(devhost, check)
        check_stream_bounds(devhost, check)
        check_replies(devhost, check)
        check_slow_clients(devhost, check)
    finally:
        devhost.stop()
