#!/usr/bin/python3
"""What the control page costs, on loopback, against `tavloctl serve --http` on the simulated
matrix, in headless Chromium:

- page ready: DOMContentLoaded of the page loaded again in a warm browser;
- click to wire: from the click on a crosspoint to the first byte of its command at the matrix
  (the 100 ms pause included);
- the server's CPU while 20 pages are open and nothing happens.

Run from the build folder's parent: bench/web_bench.py [build]   (about a minute)
"""
import os
import statistics
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
BUILD = sys.argv[1] if len(sys.argv) > 1 else os.path.join(ROOT, "build")
os.environ.setdefault("TAVLOCTL", os.path.join(BUILD, "src/cli/tavloctl"))
sys.path.insert(0, os.path.join(ROOT, "tests/web"))

import webserve  # noqa: E402
from webserve import wait_until  # noqa: E402

LOADS = 20
CLICKS = 30
PAGES = 20
IDLE_SECONDS = 20


def page_ready(driver, url):
    driver.get(url)  # the first load fills the cache
    times = []
    for _ in range(LOADS):
        driver.get(url)
        times.append(driver.execute_script(
            "return performance.getEntriesByType('navigation')[0].domContentLoadedEventEnd"))
    return times


def click_to_wire(driver, matrix, started):
    """The click's time in the browser and the command's first byte at the matrix, both on the
    wall clock: the matrix's log counts from its start, taken when it said it was ready (so the
    figures err on the long side by the few ms it took to say so)."""
    latencies = []
    for n in range(CLICKS):
        output, input_ = n % 4 + 1, (n // 4) % 4 + 1
        before = len(matrix.log_records())
        clicked = driver.execute_script(
            "const b = document.querySelector(arguments[0]);"
            "const t = performance.timeOrigin + performance.now(); b.click(); return t;",
            f'button.cross[data-output="{output}"][data-input="{input_}"]')
        wait_until(lambda: any(r[1].startswith("#video_d") for r in matrix.log_records()[before:]),
                   3)
        record = next(r for r in matrix.log_records()[before:] if r[1].startswith("#video_d"))
        latencies.append(started * 1000 + record[0] - clicked)
        time.sleep(0.7)  # the confirming block and the page's redraw
    return latencies


def cpu_seconds(pid):
    with open(f"/proc/{pid}/stat", encoding="ascii") as stat:
        fields = stat.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def idle_cpu(driver, server):
    for _ in range(PAGES - 1):
        driver.switch_to.new_window("tab")
        driver.get(server.url)
    wait_until(lambda: driver.execute_script("return socket && socket.readyState === 1"), 10)
    time.sleep(3)
    before, start = cpu_seconds(server.process.pid), time.monotonic()
    time.sleep(IDLE_SECONDS)
    return (cpu_seconds(server.process.pid) - before) / (time.monotonic() - start) * 100


def main():
    folder = tempfile.mkdtemp(prefix="tavlo-web-bench-")
    matrix = webserve.Matrix(folder)
    started = matrix.started
    server = webserve.Server(matrix)
    server.wait_acquired()
    driver = webserve.browser()
    try:
        ready = page_ready(driver, server.url)
        print(f"page ready (DOMContentLoaded, warm, {LOADS} loads): median "
              f"{statistics.median(ready):.1f} ms, max {max(ready):.1f} ms")
        driver.get(server.url)
        wait_until(lambda: driver.execute_script("return socket && socket.readyState === 1"), 10)
        wire = click_to_wire(driver, matrix, started)
        print(f"click to wire ({CLICKS} clicks): median {statistics.median(wire):.1f} ms, "
              f"min {min(wire):.1f} ms, max {max(wire):.1f} ms")
        cpu = idle_cpu(driver, server)
        print(f"server CPU with {PAGES} pages open, idle {IDLE_SECONDS} s: {cpu:.2f} % of a core")
    finally:
        driver.quit()
        server.stop()
        matrix.stop()


if __name__ == "__main__":
    main()
