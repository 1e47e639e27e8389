#!/usr/bin/env python3
"""Times the control panel in headless Chromium on the simulated module: how long the page
takes to load from the local server, and how long a change takes to reach the screen (the
request, the plug-in, the bus, the read-back and the redraw of every view), as the page itself
measures them with the Performance API.

    bench/panel_bench.py PANEL-SERVER [ROUNDS] [OTHERS]

OTHERS (default 0) other clients stay connected meanwhile, each with an event stream open and
asking for every parameter four times a second, as other tabs and scripts would.
Prints the median and the 95th percentile of each; it judges nothing, the numbers go into
docs/performance.md.
"""
import re
import socket
import statistics
import subprocess
import sys
import threading
import time

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait


def browser():
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--window-size=1280,800"]:
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


def summary(name, samples):
    samples = sorted(samples)
    p95 = samples[min(len(samples) - 1, int(len(samples) * 0.95))]
    print(f"{name:<28} median {statistics.median(samples):7.1f} ms   95th {p95:7.1f} ms   "
          f"({len(samples)} samples)")


def other_client(port, token, stop):
    head = f"Host: 127.0.0.1:{port}\r\nAuthorization: Bearer {token}\r\n"
    stream = socket.create_connection(("127.0.0.1", port))
    stream.sendall(f"GET /api/events HTTP/1.1\r\n{head}\r\n".encode())
    stream.settimeout(0.05)
    asker = socket.create_connection(("127.0.0.1", port))
    asker.settimeout(5)
    while not stop.is_set():
        asker.sendall(f"GET /api/parameters HTTP/1.1\r\n{head}\r\n".encode())
        answer = b""
        while b"\r\n\r\n" not in answer or not answer.rstrip().endswith(b"]}"):
            answer += asker.recv(65536)
        try:
            while stream.recv(65536):
                pass
        except socket.timeout:
            pass
        time.sleep(0.25)
    stream.close()
    asker.close()


def main():
    server, rounds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 40
    others = int(sys.argv[3]) if len(sys.argv) > 3 else 0
    process = subprocess.Popen([server, "sim", "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE,
                               text=True)
    url = process.stdout.readline().strip()
    port, token = re.fullmatch(r"http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+)", url).groups()
    stop = threading.Event()
    clients = [threading.Thread(target=other_client, args=(int(port), token, stop), daemon=True)
               for _ in range(others)]
    for client in clients:
        client.start()
    driver = browser()
    loads, ready, changes = [], [], []
    try:
        for _ in range(max(10, rounds // 4)):
            driver.get(url)
            WebDriverWait(driver, 10).until(
                lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
            timing = driver.execute_script("""
                const [navigation] = performance.getEntriesByType('navigation');
                const [mark] = performance.getEntriesByName('panel-ready');
                return [navigation.loadEventEnd, mark.startTime];""")
            loads.append(timing[0])
            ready.append(timing[1])
        choice = Select(driver.find_element(By.ID, "p-MicroFrameNumber"))
        for i in range(rounds):
            choice.select_by_value(["8", "4", "2", "1"][i % 4])
            WebDriverWait(driver, 10).until(lambda d: d.execute_script(
                "return performance.getEntriesByName('change-to-screen').length") > i)
        changes = driver.execute_script(
            "return performance.getEntriesByName('change-to-screen').map((e) => e.duration)")
    finally:
        stop.set()
        for client in clients:
            client.join(2)
        driver.quit()
        process.terminate()
        process.wait()
    print(f"with {others} other clients connected")
    summary("page load (load event)", loads)
    summary("page ready (all views drawn)", ready)
    summary("change to screen", changes)


if __name__ == "__main__":
    main()
