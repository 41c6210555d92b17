#!/usr/bin/python3
"""What hostile clients cost an honest one, on loopback, against `tavloctl serve --http` on the
simulated matrix. An honest JSON client runs alongside each attack and times its answers.

1. flood: 60 MB of pipelined `GET /api/v1/status` without the token, as fast as the server
   takes it, over as many connections as it takes (each is closed at its first 401); then 12 MB
   of the same against a server without a token, the flooder reading every answer (each is a
   whole state document, so this one takes about a minute). Reported: the server's peak RSS
   above idle, and the honest client's worst answer.
2. slots: 70 page connections that never show the token sit idle; the time until a client with
   the token gets in, from the same address and from another loopback address.
3. departed queues: 30 clients queue 256 routes each and leave; the time an honest route then
   takes to reach the wire.

Run: bench/hostile_bench.py [BUILD]   (BUILD an absolute path, default build; about two minutes)
"""
import json
import os
import socket
import sys
import tempfile
import threading
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = os.path.abspath(sys.argv[1]) if len(sys.argv) > 1 else os.path.join(ROOT, "build")
os.environ.setdefault("TAVLOCTL", os.path.join(BUILD, "src/cli/tavloctl"))
sys.path.insert(0, os.path.join(ROOT, "tests/web"))

import subprocess  # noqa: E402

import webserve  # noqa: E402

TOKEN = "bench-token"
FLOOD_BYTES = 60 * 1024 * 1024
STATUS = b"GET /api/v1/status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"


class Serve:
    """`tavloctl serve` with every endpoint on a free port."""

    def __init__(self, matrix, folder, token=None):
        args = [webserve.TAVLOCTL, "--port", matrix.link, "serve", "--listen", "127.0.0.1:0",
                "--api", "127.0.0.1:0", "--http", "127.0.0.1:0"]
        if token:
            path = os.path.join(folder, "token")
            with open(path, "w", encoding="utf-8") as file:
                file.write(token + "\n")
            os.chmod(path, 0o600)
            args += ["--token-file", path]
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE,
                                        stderr=subprocess.DEVNULL, text=True)
        self.ports = {}
        for _ in range(3):
            name, address = self.process.stdout.readline().split()
            self.ports[name] = int(address.rsplit(":", 1)[1])
        self.token = token

    def rss_mb(self):
        with open(f"/proc/{self.process.pid}/status", encoding="ascii") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1]) / 1024
        return 0.0

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class JsonClient:
    """A client of the JSON endpoint, authenticated when the server has a token."""

    def __init__(self, port, token=None, source="127.0.0.1"):
        self.sock = socket.create_connection(("127.0.0.1", port), timeout=15,
                                             source_address=(source, 0))
        self.file = self.sock.makefile("rb")
        self.next_id = 0
        if token:
            answer = self.request({"cmd": "auth", "token": token})
            if not answer.get("ok"):
                raise ConnectionError(answer)

    def request(self, fields):
        self.next_id += 1
        self.sock.sendall(json.dumps({"id": self.next_id, **fields}).encode() + b"\n")
        while True:
            line = self.file.readline()
            if not line:
                raise ConnectionError("closed")
            answer = json.loads(line)
            if answer.get("id") == self.next_id or answer.get("id") is None:
                return answer

    def close(self):
        self.sock.close()


class Honest(threading.Thread):
    """Asks for the status every 50 ms and keeps the longest wait for an answer."""

    def __init__(self, port, token):
        super().__init__(daemon=True)
        self.client = JsonClient(port, token)
        self.worst = 0.0
        self.answers = 0
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.is_set():
            asked = time.monotonic()
            answer = self.client.request({"cmd": "status"})
            self.worst = max(self.worst, time.monotonic() - asked)
            self.answers += answer.get("ok", False)
            time.sleep(0.05)

    def stop(self):
        self.stopping.set()
        self.join(30)


class RssWatch(threading.Thread):
    def __init__(self, server):
        super().__init__(daemon=True)
        self.server = server
        self.peak = 0.0
        self.stopping = threading.Event()

    def run(self):
        while not self.stopping.is_set():
            self.peak = max(self.peak, self.server.rss_mb())
            time.sleep(0.02)


def flood(port, total, read_answers):
    """Writes total bytes of pipelined requests, reconnecting whenever the server closes."""
    chunk = STATUS * (64 * 1024 // len(STATUS))
    sent = connections = 0
    while sent < total:
        connections += 1
        sock = socket.create_connection(("127.0.0.1", port))
        sock.setblocking(False)
        try:
            while sent < total:
                try:
                    sent += sock.send(chunk)
                except BlockingIOError:
                    pass
                try:
                    while read_answers:
                        if not sock.recv(1 << 16):
                            raise ConnectionError
                except BlockingIOError:
                    pass
                if not read_answers:
                    time.sleep(0)
        except (ConnectionError, OSError):
            pass
        finally:
            sock.close()
    return connections


def flood_figures(matrix, folder, token, total):
    server = Serve(matrix, folder, token)
    try:
        honest = Honest(server.ports["json"], token)
        time.sleep(1.5)
        idle = server.rss_mb()
        watch = RssWatch(server)
        watch.start()
        honest.start()
        started = time.monotonic()
        connections = flood(server.ports["http"], total, read_answers=not token)
        seconds = time.monotonic() - started
        time.sleep(0.5)
        honest.stop()
        watch.stopping.set()
        watch.join()
        return {"idle_mb": idle, "peak_above_idle_mb": watch.peak - idle,
                "honest_worst_s": honest.worst, "honest_answers": honest.answers,
                "flood_s": seconds, "connections": connections}
    finally:
        server.stop()


def slot_figures(matrix, folder):
    server = Serve(matrix, folder, TOKEN)
    idle = []
    try:
        for _ in range(70):
            try:
                idle.append(socket.create_connection(("127.0.0.1", server.ports["http"])))
            except OSError:
                break
        time.sleep(0.3)
        figures = {}
        for source in ("127.0.0.2", "127.0.0.1"):
            started = time.monotonic()
            while True:
                try:
                    JsonClient(server.ports["json"], TOKEN, source).close()
                    break
                except (ConnectionError, OSError):
                    time.sleep(0.1)
            figures[f"in_from_{source}_s"] = time.monotonic() - started
        return figures
    finally:
        for sock in idle:
            sock.close()
        server.stop()


def departed_figures(matrix, folder):
    server = Serve(matrix, folder)
    try:
        time.sleep(1.5)
        for n in range(30):
            leaver = JsonClient(server.ports["json"], source=f"127.0.0.{n % 8 + 2}")
            lines = b"".join(
                json.dumps({"id": i, "cmd": "route", "input": i % 4 + 1,
                            "output": (i + n) % 4 + 1}).encode() + b"\n" for i in range(256))
            leaver.sock.sendall(lines)
            time.sleep(0.02)
            leaver.close()
        time.sleep(0.2)
        honest = JsonClient(server.ports["json"])
        asked = time.monotonic()
        answer = honest.request({"cmd": "route", "input": 3, "output": 2})
        return {"honest_route_to_wire_s": time.monotonic() - asked, "ok": answer.get("ok")}
    finally:
        server.stop()


def main():
    folder = tempfile.mkdtemp(prefix="tavlo-hostile-bench-")
    matrix = webserve.Matrix(folder)
    try:
        results = {
            "60 MB flood without the token": flood_figures(matrix, folder, TOKEN, FLOOD_BYTES),
            "12 MB flood, no token on the server, answers read":
                flood_figures(matrix, folder, None, FLOOD_BYTES // 5),
            "70 idle page connections without the token": slot_figures(matrix, folder),
            "30 clients queued 256 commands each and left": departed_figures(matrix, folder),
        }
    finally:
        matrix.stop()
    for name, figures in results.items():
        print(name)
        for key, value in figures.items():
            print(f"  {key}: {value:.3f}" if isinstance(value, float) else f"  {key}: {value}")


if __name__ == "__main__":
    main()
