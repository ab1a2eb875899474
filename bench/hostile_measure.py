#!/usr/bin/python3
"""Measures zvm-devhost under the hostile clients that tests/devhost/hostile_checks.py
sends at it, at full size; run by hand, on any build, to compare builds:

    hostile_measure.py <zvm-devhost> chunked <MiB>   peak memory after a chunked
                                                     body of that size
    hostile_measure.py <zvm-devhost> headers <lines> peak memory after a head of
                                                     that many 8000-byte lines
    hostile_measure.py <zvm-devhost> slow <count>    time to answer a GET while
                                                     that many clients send a
                                                     byte a second
    hostile_measure.py <zvm-devhost> slow-mock <count>  the same for a PUT, which
                                                     goes to the mock service,
                                                     with the slow clients there
"""
import socket
import sys
import threading
import time

from devhost_process import EMAIL, Devhost, request


def peak_memory(devhost):
    with open("/proc/%d/status" % devhost.process.pid) as status:
        return int(next(line for line in status if line.startswith("VmHWM:")).split()[1]) // 1024


def first_line(connection):
    try:
        return connection.recv(4096).decode(errors="replace").split("\r\n")[0]
    except OSError as failure:
        return repr(failure)


def send_all(connection, head, pieces):
    """Sends the head, then each piece, as long as the host reads."""
    try:
        connection.sendall(head)
        for piece in pieces:
            connection.sendall(piece)
    except OSError as failure:
        print("the host stopped reading: %r" % failure)


def measure_size(devhost, what, count):
    port = devhost.port
    before = peak_memory(devhost)
    with socket.create_connection(("127.0.0.1", port), timeout=300) as connection:
        host = b"Host: 127.0.0.1:%d\r\n" % port
        if what == "chunked":
            chunk = b"100000\r\n" + b"x" * 0x100000 + b"\r\n"
            send_all(connection, b"POST /_host/message HTTP/1.1\r\n" + host +
                     b"Transfer-Encoding: chunked\r\n\r\n", [chunk] * count + [b"0\r\n\r\n"])
        else:
            line = b"X-Filler-%d: " + b"y" * 7980 + b"\r\n"
            send_all(connection, b"GET " + EMAIL.encode() + b" HTTP/1.1\r\n" + host,
                     [line % i for i in range(count)] + [b"\r\n"])
        print("answer: %s" % first_line(connection))
    time.sleep(1)
    print("peak memory: %d MiB before, %d MiB after" % (before, peak_memory(devhost)))


def measure_slow(devhost, what, count):
    port = devhost.port
    target = port if what == "slow" else int(devhost.mock_url().rsplit(":", 1)[1])
    stop = threading.Event()

    def slow():
        while not stop.is_set():
            try:
                with socket.create_connection(("127.0.0.1", target), timeout=60) as connection:
                    for byte in b"GET / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n":
                        if stop.is_set():
                            return
                        connection.sendall(bytes([byte]))
                        time.sleep(1)
            except OSError:
                time.sleep(0.1)

    for _ in range(count):
        threading.Thread(target=slow, daemon=True).start()
    time.sleep(3)
    for i in range(5):
        started = time.time()
        try:
            if what == "slow":
                status = request(port, "GET", EMAIL, timeout=30)[0]
            else:
                status = request(port, "PUT", EMAIL,
                                 '{"email":"m%d@example.test","password":"correct-horse"}' % i,
                                 {"Content-Type": "application/json"}, timeout=30)[0]
        except OSError as failure:
            status = repr(failure)
        print("%s answered %s in %.3f s" % ("GET" if what == "slow" else "PUT", status,
                                            time.time() - started), flush=True)
        time.sleep(1)
    stop.set()


def main():
    program, what, count = sys.argv[1], sys.argv[2], int(sys.argv[3])
    devhost = Devhost(program, "--quiet")
    try:
        if what in ("chunked", "headers"):
            measure_size(devhost, what, count)
        else:
            measure_slow(devhost, what, count)
    finally:
        devhost.stop()


if __name__ == "__main__":
    main()
