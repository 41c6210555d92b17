"""`tavloctl serve --http` on a simulated matrix, and a headless Chromium to look at its page.

Shared by the browser tests and the page's benchmark. Everything listens on loopback ports the
system picks; every process is ended by the object that started it.
"""
import json
import os
import re
import subprocess
import tempfile
import time
import urllib.error
import urllib.request

TAVLOCTL = os.environ.get("TAVLOCTL", "tavloctl")
CHROMIUM = os.environ.get("TAVLO_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("TAVLO_CHROMEDRIVER", "/usr/bin/chromedriver")

# Without the background-networking flags Chromium reaches out to the internet at start, which
# a closed network refuses slowly.
CHROMIUM_FLAGS = [
    "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--disable-dev-shm-usage",
]

_LOG_LINE = re.compile(r"^\s*([\d.]+) ms\s+gap\s+\S+ ms\s+(\S+)\s+(.*?)(  \(.*\))?$")


def wait_until(check, timeout, step=0.02):
    """The first true value of check() within the time, else None."""
    deadline = time.monotonic() + timeout
    while True:
        value = check()
        if value or time.monotonic() > deadline:
            return value
        time.sleep(step)


class Matrix:
    """`tavloctl sim` on a pseudo-terminal, its command log in a file."""

    def __init__(self, folder):
        self.link = os.path.join(folder, "tty")
        self.log = os.path.join(folder, "sim.log")
        self.process = subprocess.Popen(
            [TAVLOCTL, "sim", "--link", self.link, "--log", self.log],
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
        # It says where it is once it serves: its log counts time from (just before) then.
        if not self.process.stdout.readline():
            raise RuntimeError("the simulated matrix did not start")
        self.started = time.time()

    def log_records(self):
        """(ms since the matrix started, command) for every command it took, oldest first."""
        if not os.path.exists(self.log):
            return []
        with open(self.log, encoding="utf-8", errors="replace") as log:
            found = (_LOG_LINE.match(line.rstrip("\n")) for line in log)
            return [(float(m.group(1)), m.group(3)) for m in found if m]

    def commands(self):
        """Every command the matrix took, oldest first."""
        return [command for _, command in self.log_records()]

    def client_commands(self):
        """The commands of clients: the server's own requests for the state left out."""
        return [c for c in self.commands() if not c.startswith("#upper:")]

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


class Server:
    """`tavloctl serve` with the page, raw and JSON endpoints on free ports."""

    def __init__(self, matrix, http="127.0.0.1:0", token=None, folder=None, extra=()):
        args = [TAVLOCTL, "--port", matrix.link, "serve", "--listen", "127.0.0.1:0",
                "--api", "127.0.0.1:0", "--http", http, *extra]
        if token:
            token_file = os.path.join(folder, "token")
            with open(token_file, "w", encoding="utf-8") as file:
                file.write(token + "\n")
            os.chmod(token_file, 0o600)  # the server refuses a token others can read
            args += ["--token-file", token_file]
        self.token = token
        self.process = subprocess.Popen(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        text=True)
        ports = {}
        for _ in range(3):
            name, address = self.process.stdout.readline().split()
            ports[name] = int(address.rsplit(":", 1)[1])
        # Behind TLS (--tls-cert) the page's line says https.
        scheme = "https" if "https" in ports else "http"
        self.raw_port, self.http_port = ports["raw"], ports[scheme]
        self.url = f"{scheme}://127.0.0.1:{self.http_port}/"

    def call(self, method, path, body=None, headers=None):
        """(status, JSON answer) of one request to the REST API."""
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.url + path.lstrip("/"), data=data, method=method,
                                         headers=headers or {})
        if data is not None:
            request.add_header("Content-Type", "application/json")
        if self.token:
            request.add_header("Authorization", f"Bearer {self.token}")
        try:
            with urllib.request.urlopen(request, timeout=10) as answer:
                return answer.status, json.loads(answer.read() or b"{}")
        except urllib.error.HTTPError as error:
            return error.code, json.loads(error.read() or b"{}")

    def state(self):
        return self.call("GET", "api/v1/status")[1]["state"]

    def wait_acquired(self, timeout=30):
        """The state once the matrix has sent routing and the output names."""
        def whole():
            state = self.state()
            outputs = state["outputs"]
            return state if outputs[0]["input"] and outputs[3]["hdbtName"] is not None else None
        return wait_until(whole, timeout, step=0.2)

    def tavloctl(self, *args):
        """tavloctl as a client of the raw endpoint; returns when the command is sent."""
        return subprocess.run([TAVLOCTL, "--port", f"socket://127.0.0.1:{self.raw_port}", *args],
                              capture_output=True, text=True, timeout=30, check=True)

    def stop(self):
        self.process.terminate()
        self.process.wait(10)


def browser(width=1280, height=900, flags=()):
    """A headless Chromium with a fresh profile, driven through chromedriver."""
    from selenium import webdriver
    from selenium.webdriver.chrome.service import Service

    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in CHROMIUM_FLAGS:
        options.add_argument(flag)
    profile = tempfile.mkdtemp(prefix="tavlo-chromium-")
    options.add_argument(f"--user-data-dir={profile}")
    options.add_argument(f"--window-size={width},{height}")
    for flag in flags:
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    driver.set_page_load_timeout(20)
    return driver
