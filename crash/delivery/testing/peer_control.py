"""The control connection between a test program and a test server.

The test listens on 127.0.0.1 and passes its port as --control. The server
connects, announces its ports ("port NAME N"), says "ready", and then
answers requests, one line each, with items ("item NAME SIZE", then SIZE
bytes) closed by "end". When the test closes the connection, or dies, the
server process ends.
"""
import os
import socket
import threading


class Control:
    def __init__(self, port):
        self._sock = socket.create_connection(("127.0.0.1", port), timeout=30)
        self._sock.settimeout(None)
        self._lock = threading.Lock()
        self._events = []

    def announce(self, name, port):
        self._sock.sendall(f"port {name} {port}\n".encode())

    def event(self, text):
        """Remembers one thing that happened, in order, for the test to ask."""
        with self._lock:
            self._events.append(text)

    def serve(self, answer):
        """Answers requests until the test goes away, then ends the process.

        answer(request) gives a list of (name, bytes); "events" is built in.
        """
        self._sock.sendall(b"ready\n")
        reader = self._sock.makefile("rb")
        for line in reader:
            request = line.decode().strip()
            if request == "events":
                with self._lock:
                    items = [("events", "\n".join(self._events).encode())]
            else:
                items = answer(request)
            out = bytearray()
            for name, data in items:
                out += f"item {name} {len(data)}\n".encode() + data
            out += b"end\n"
            self._sock.sendall(out)
        os._exit(0)


def free_port_on_all(addresses, kind):
    """Binds one socket per address, all on the same free port."""
    for _ in range(50):
        first = socket.socket(socket.AF_INET, kind)
        first.bind((addresses[0], 0))
        port = first.getsockname()[1]
        socks = [first]
        try:
            for address in addresses[1:]:
                s = socket.socket(socket.AF_INET, kind)
                socks.append(s)
                s.bind((address, port))
            return port, socks
        except OSError:
            for s in socks:
                s.close()
    raise OSError("no port free on all of " + ", ".join(addresses))
