#!/usr/bin/env python3
"""Times the control panel in headless Chromium on the simulated module: how long the page
takes to load from the local server, and how long a change takes to reach the screen (the
request, the plug-in, the bus, the read-back and the redraw of every view), as the page itself
measures them with the Performance API.

    bench/panel_bench.py PANEL-SERVER [ROUNDS]

Prints the median and the 95th percentile of each; it judges nothing, the numbers go into
docs/performance.md.
"""
import statistics
import subprocess
import sys

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


def main():
    server, rounds = sys.argv[1], int(sys.argv[2]) if len(sys.argv) > 2 else 40
    process = subprocess.Popen([server, "sim", "--listen", "127.0.0.1:0"], stdout=subprocess.PIPE,
                               text=True)
    url = process.stdout.readline().strip()
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
        driver.quit()
        process.terminate()
        process.wait()
    summary("page load (load event)", loads)
    summary("page ready (all views drawn)", ready)
    summary("change to screen", changes)


if __name__ == "__main__":
    main()
