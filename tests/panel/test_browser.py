"""The panel in headless Chromium, one test per thing a bring-up engineer does with it."""
import json
import os

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as ready
from selenium.webdriver.support.ui import Select, WebDriverWait

from conftest import Panel


def browser(width=1280, height=800):
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}"]:
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"),
                            options=options)


@pytest.fixture
def page(panel):
    driver = browser()
    driver.get(panel.url)
    wait(driver).until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
    yield driver
    # Refusals are answers the page shows; Chromium logs their status all the same.
    logs = [entry for entry in driver.get_log("browser")
            if entry["level"] == "SEVERE" and entry["source"] != "network"]
    driver.quit()
    assert not logs, logs


def wait(driver):
    return WebDriverWait(driver, 10)


def text_of(driver, element_id):
    return driver.find_element(By.ID, element_id).text


def shows(driver, element_id, fragment):
    wait(driver).until(ready.text_to_be_present_in_element((By.ID, element_id), fragment))


def test_a_change_shows_the_applied_value_the_timing_and_the_fields(page):
    assert "33.333 ms" in text_of(page, "timing")
    Select(page.find_element(By.ID, "p-MicroFrameNumber")).select_by_value("8")
    shows(page, "p-MicroFrameNumber-result", "requested 8 → applied 8")
    # The frame rate follows the micro-frame count, and the drawing and the map follow both.
    shows(page, "p-FrameRate-current", "holds 15")
    shows(page, "timing", "8 micro-frames of 8.333 ms")
    wait(page).until(lambda d: d.find_elements(By.CSS_SELECTOR, "#registers tr.changed"))
    shows(page, "trace-title", "set MicroFrameNumber = 8")
    assert page.find_elements(By.CSS_SELECTOR, "#trace li")
    field = page.find_element(By.ID, "p-IntegrationTime")
    field.clear()
    field.send_keys("1", Keys.ENTER)
    shows(page, "p-IntegrationTime-result", "outside the advertised range")
    assert not page.find_element(By.CSS_SELECTOR, "#control-IntegrationTime .outside-mark").get_attribute("hidden")
    page.find_element(By.TAG_NAME, "body").click()
    page.execute_script("window.scrollTo(0, 0)")
    page.save_screenshot(os.environ.get("VEXAR_SCREENSHOT", "panel.png"))


def test_a_refusal_shows_the_message_and_what_is_allowed(page):
    field = page.find_element(By.ID, "p-FrameRate")
    field.clear()
    field.send_keys("-1", Keys.ENTER)
    shows(page, "p-FrameRate-result", "refused: FrameRate = -1: OutOfRange (-5)")
    assert "allowed: min=0 max=60 step=0.01" in text_of(page, "p-FrameRate-result")
    assert "holds 30" in text_of(page, "p-FrameRate-current")
    page.find_element(By.ID, "p-RegionOfInterest-x").send_keys("64", Keys.ENTER)
    shows(page, "p-RegionOfInterest-result", "the plug-in would refuse ModulationFrequency")


def test_profile_round_trip_and_a_malformed_profile_refused_whole(page, panel, tmp_path):
    for voltage in ("MixingVoltage", "LeftIlluminationVoltage", "RightIlluminationVoltage"):
        assert panel.json("PUT", f"/api/parameters/{voltage}", {"value": 40})[0] == 200
    field = page.find_element(By.ID, "p-ModulationFrequency")
    field.clear()
    field.send_keys("20", Keys.ENTER)
    shows(page, "p-ModulationFrequency-result", "applied 20")
    saved = page.execute_async_script(
        "fetch('/api/profile').then(r => r.text()).then(arguments[0])")
    profile = tmp_path / "profile.json"
    profile.write_text(saved)
    page.find_element(By.ID, "reset").click()
    shows(page, "files-result", "reset to power-on")
    shows(page, "p-ModulationFrequency-current", "holds nan")
    # The upload is previewed first: Cancel writes nothing, Apply writes what was shown.
    for button in ("preview-cancel", "preview-apply"):
        page.find_element(By.ID, "profile-upload").send_keys(str(profile))
        shows(page, "preview-summary", "nothing written yet; ")
        assert "ModulationMultiplier (0x10c bits 16-21): 0x0 → 0x28" in text_of(page, "preview")
        page.find_element(By.ID, button).click()
        wait(page).until(lambda d: not d.find_elements(By.ID, "preview"))
    shows(page, "files-result", "profile profile.json applied")
    shows(page, "p-ModulationFrequency-current", "holds 20")
    bad = tmp_path / "bad.json"
    bad.write_text(json.dumps({"FrameRate": "fast", "Brightness": 2}))
    page.find_element(By.ID, "profile-upload").send_keys(str(bad))
    shows(page, "files-result", "profile refused whole, nothing written: 2 bad entries")
    reasons = text_of(page, "files-result")
    assert "Brightness: no such parameter" in reasons and "FrameRate" in reasons


def test_two_tabs_stay_in_step(page, panel):
    other = browser()
    try:
        other.get(panel.url)
        wait(other).until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
        page.find_element(By.ID, "p-StreamEnable").click()
        shows(other, "p-StreamEnable-current", "holds true")
        shows(other, "activity", "set StreamEnable = true (another tab)")
        shows(page, "activity", "set StreamEnable = true (this tab)")
    finally:
        other.quit()


def test_keyboard_alone_labels_and_both_widths(page):
    body = page.find_element(By.TAG_NAME, "body")
    for _ in range(80):
        if page.switch_to.active_element.get_attribute("id") == "p-FrameRate":
            break
        page.switch_to.active_element.send_keys(Keys.TAB) if _ else body.send_keys(Keys.TAB)
    active = page.switch_to.active_element
    assert active.get_attribute("id") == "p-FrameRate"
    active.send_keys(Keys.CONTROL, "a")
    active.send_keys("25", Keys.ENTER)
    shows(page, "p-FrameRate-result", "requested 25 → applied 25")
    unlabelled = page.execute_script("""
        return [...document.querySelectorAll('input, select, button')].filter((e) =>
            !(e.labels && e.labels.length) && !e.getAttribute('aria-label') &&
            !e.getAttribute('aria-labelledby') && !e.textContent.trim()).map((e) => e.outerHTML);""")
    assert unlabelled == []
    for width in (1280, 375):
        page.set_window_size(width, 800)
        wait(page).until(lambda d: d.execute_script("return window.innerWidth") <= width)
        overflow = page.execute_script(
            "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
        assert overflow <= 0, f"{overflow} px of horizontal scroll at {width} px"
