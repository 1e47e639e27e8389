"""The panel in headless Chromium, one story per thing a bring-up engineer does with it. One
browser serves every story; each story gets a panel of its own."""
import json
import os
import secrets
import signal
import subprocess
import time

import pytest
from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support import expected_conditions as ready
from selenium.webdriver.support.ui import Select, WebDriverWait

from conftest import CTL, SERVER, Panel, loadable

import sys
from pathlib import Path
sys.path.append(str(Path(__file__).parents[1] / "python"))
from emulated_adapter import EmulatedAdapter, missing  # noqa: E402

SHOTS = os.environ.get("VEXAR_SCREENSHOTS", ".")


def browser(width=1280, height=800):
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     f"--window-size={width},{height}"]:
        options.add_argument(argument)
    options.binary_location = "/usr/bin/chromium"
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


@pytest.fixture(scope="module")
def driver():
    shared = browser()
    yield shared
    shared.quit()


def open_page(driver, panel):
    driver.get(panel.url)
    wait(driver).until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
    return driver


@pytest.fixture
def page(driver, panel):
    driver.set_window_size(1280, 800)
    driver.execute_cdp_cmd("Emulation.setEmulatedMedia", {"features": []})
    yield open_page(driver, panel)
    # Refusals are answers the page shows; Chromium logs their status all the same.
    logs = [entry for entry in driver.get_log("browser")
            if entry["level"] == "SEVERE" and entry["source"] != "network"]
    assert not logs, logs


def wait(driver, seconds=10):
    return WebDriverWait(driver, seconds)


def by_id(driver, element_id):
    return driver.find_element(By.ID, element_id)


def text_of(driver, element_id):
    return by_id(driver, element_id).text


def shows(driver, element_id, fragment):
    try:
        wait(driver).until(ready.text_to_be_present_in_element((By.ID, element_id), fragment))
    except TimeoutException:
        raise AssertionError(f"#{element_id} never showed {fragment!r}: {text_of(driver, element_id)!r}")


def enter(driver, element_id, text, key=Keys.ENTER):
    field = by_id(driver, element_id)
    field.send_keys(Keys.CONTROL, "a")
    field.send_keys(text, key)


def activity_count(driver):
    return len(driver.find_elements(By.CSS_SELECTOR, "#activity > li"))


def test_every_line_is_of_now_and_reset_asks_first(page):
    enter(page, "p-FrameRate", "25")
    shows(page, "p-FrameRate-result", "requested 25 → applied 25")
    # The micro-frame count moves the frame rate: FrameRate's line is now of an earlier time.
    Select(by_id(page, "p-MicroFrameNumber")).select_by_value("8")
    wait(page).until(lambda d: text_of(d, "p-FrameRate-current") != "holds 25")
    shows(page, "p-FrameRate-result", "earlier, 1 change ago: requested 25")
    by_id(page, "p-StreamEnable").send_keys(Keys.SPACE)
    shows(page, "p-FrameRate-result", "earlier, 2 changes ago")
    assert "earlier" not in text_of(page, "p-MicroFrameNumber-result")
    # Reset by the keyboard: it asks in the page, naming what it does, Cancel focused first.
    by_id(page, "reset").send_keys(Keys.ENTER)
    assert "Every parameter and register" in text_of(page, "reset-confirm")
    assert page.switch_to.active_element.get_attribute("id") == "reset-no"
    page.switch_to.active_element.send_keys(Keys.ESCAPE)
    assert not by_id(page, "reset-confirm").is_displayed()
    assert page.switch_to.active_element.get_attribute("id") == "reset"
    page.switch_to.active_element.send_keys(Keys.ENTER)
    page.switch_to.active_element.send_keys(Keys.SHIFT, Keys.TAB)
    assert page.switch_to.active_element.get_attribute("id") == "reset-yes"
    page.switch_to.active_element.send_keys(Keys.ENTER)
    shows(page, "files-result", "reset to power-on")
    shows(page, "p-FrameRate-current", "holds 30")
    lines = page.execute_script(
        "return [...document.querySelectorAll('.control .result')].map((e) => e.textContent)")
    assert lines == [""] * len(lines)
    shows(page, "activity", "reset to power-on (this tab) · every field is back at power-on")


def test_the_banner_follows_the_server_and_no_raw_json_replaces_the_page(driver):
    token = secrets.token_hex(32)
    served = [Panel(extra=["--token", token])]
    port = served[0].port
    page = open_page(driver, served[0])
    try:
        served[0].stop()
        shows(page, "banner", "Not connected.")
        assert by_id(page, "controls").get_attribute("disabled") is not None
        assert not by_id(page, "p-FrameRate").is_enabled()
        # The same server again, same address and token: the page reads everything again.
        second = Panel(extra=["--listen", f"127.0.0.1:{port}", "--token", token])
        served.append(second)
        second.json("PUT", "/api/parameters/FrameRate", {"value": 20})
        shows(page, "banner", "Reconnected.")
        shows(page, "p-FrameRate-current", "holds 20")
        assert by_id(page, "p-FrameRate").is_enabled()
        second.stop()
        served.append(Panel(extra=["--listen", f"127.0.0.1:{port}"]))
        shows(page, "banner", "This address no longer works.")
        assert "URL that vexar-ctl serve printed" in text_of(page, "banner")
        page.refresh()
        body = page.find_element(By.TAG_NAME, "body").text
        assert "address no longer works" in body and '"error"' not in body
    finally:
        for server in served:
            if server.process.poll() is None:
                server.stop()


def test_a_request_without_an_answer_fails_beside_its_control(driver):
    # Told a lock timeout of 0, the page waits 5 s for an answer.
    with Panel(extra=["--lock-timeout-ms", "0"]) as panel:
        page = open_page(driver, panel)
        panel.process.send_signal(signal.SIGSTOP)
        try:
            enter(page, "p-FrameRate", "20")
            wait(page, 8).until(ready.text_to_be_present_in_element(
                (By.ID, "p-FrameRate-result"), "failed: no answer within 5 s"))
        finally:
            panel.process.send_signal(signal.SIGCONT)
        # Whether the abandoned request ran or not, the control reads what the module holds.
        held = lambda: panel.json("GET", "/api/parameters/FrameRate")[1]["current"]["text"]
        wait(page).until(lambda d: text_of(d, "p-FrameRate-current") == f"holds {held()}")


def test_keyboard_focus_enter_escape_and_a_slider_at_rest(page):
    # The focus ring is on the control focused: the upload's label, not its neighbour.
    page.execute_script("document.getElementById('profile-upload').focus()")
    rings = page.execute_script("""
        const ring = (e) => getComputedStyle(e).outlineStyle;
        return [ring(document.getElementById('profile-upload').closest('label')),
                ring(document.getElementById('reset'))];""")
    assert rings == ["solid", "none"]
    # Tab leaves a number field without writing; Escape puts back the module's value.
    before = activity_count(page)
    enter(page, "p-FrameRate", "12", Keys.TAB)
    assert by_id(page, "p-FrameRate").get_attribute("value") == "30"
    enter(page, "p-FrameRate", "12", Keys.ESCAPE)
    assert by_id(page, "p-FrameRate").get_attribute("value") == "30"
    time.sleep(0.3)
    assert activity_count(page) == before
    # Five steps of the slider make one write, of where it came to rest.
    slider = page.find_element(By.CSS_SELECTOR, "#control-FrameRate input[type=range]")
    slider.send_keys(*[Keys.ARROW_RIGHT] * 5)
    assert "pending: 30.05" in text_of(page, "p-FrameRate-note")
    shows(page, "p-FrameRate-result", "requested 30.05 → applied 30.05")
    time.sleep(0.4)
    assert activity_count(page) == before + 1
    # Every control is named by its parameter and unit, never by its element.
    names = page.execute_script("""
        return [...document.querySelectorAll('.control input, .control select')].map((e) =>
            e.getAttribute('aria-label') || (e.labels[0] && e.labels[0].textContent))""")
    assert "IntegrationTime (ms)" in names and "MixingVoltage (%)" in names
    assert "RegionOfInterest width (pixels)" in names
    assert not [name for name in names if not name or "p-" in name]


def test_widgets_show_no_position_they_do_not_know(page, panel):
    slider = "#control-{} input[type=range]"
    unknown = lambda name: "unknown" in page.find_element(
        By.CSS_SELECTOR, slider.format(name)).get_attribute("class")
    # Write-only and never written here; a NaN at power-on.
    assert unknown("MixingVoltage")
    assert "no position known" in text_of(page, "p-MixingVoltage-note")
    assert unknown("ModulationFrequency")
    assert "nan: no position on the slider" in text_of(page, "p-ModulationFrequency-note")
    enter(page, "p-MixingVoltage", "40")
    shows(page, "p-MixingVoltage-note", "written here, not read back")
    assert not unknown("MixingVoltage")
    assert page.find_element(By.CSS_SELECTOR, slider.format("MixingVoltage")).get_attribute("value") == "40"
    shows(page, "p-MixingVoltage-current", "last written here: 40 (not read back)")
    # Outside the advertised range: marked, and what the module made of the request is said.
    enter(page, "p-IntegrationTime", "1")
    shows(page, "p-IntegrationTime-result", "outside the advertised range")
    assert ", not the 1 asked" in text_of(page, "p-IntegrationTime-result")
    assert by_id(page, "control-IntegrationTime").find_element(
        By.CLASS_NAME, "outside-mark").is_displayed()


def test_errors_read_like_the_tools(page, tmp_path):
    enter(page, "p-FrameRate", "-1")
    shows(page, "p-FrameRate-result", "refused: FrameRate = -1: OutOfRange (-5)")
    assert text_of(page, "p-FrameRate-result").count("min=0 max=60 step=0.01") == 1
    bad = tmp_path / "bad.json"
    bad.write_text('{"FrameRate": 30,,\n "MicroFrameNumber": 4}')
    by_id(page, "profile-upload").send_keys(str(bad))
    shows(page, "files-result", "the profile is not JSON: line 1, column")
    assert "near '" in text_of(page, "files-result") and "json.exception" not in text_of(page, "files-result")
    bad.write_text(json.dumps({"FrameRate": "fast", "Brightness": 2}))
    by_id(page, "profile-upload").send_keys(str(bad))
    shows(page, "files-result", "profile refused whole, nothing written: 2 bad entries")
    assert "Brightness: no such parameter" in text_of(page, "files-result")


def test_a_profile_upload_is_previewed_then_applied_or_cancelled(page, panel, tmp_path):
    loadable(panel)
    shows(page, "p-ModulationFrequency-current", "holds 20")
    profile = tmp_path / "profile.json"
    profile.write_text(page.execute_async_script(
        "fetch('/api/profile').then(r => r.text()).then(arguments[0])"))
    assert panel.json("POST", "/api/reset")[0] == 200
    shows(page, "p-ModulationFrequency-current", "holds nan")
    # Cancel writes nothing, Apply writes what was shown.
    for button in ("preview-cancel", "preview-apply"):
        page.find_element(By.ID, "profile-upload").send_keys(str(profile))
        shows(page, "preview-summary", "nothing written yet; ")
        assert "ModulationMultiplier (0x10c bits 16-21): 0x0 → 0x28" in text_of(page, "preview")
        if button == "preview-cancel":
            assert "holds nan" in text_of(page, "p-ModulationFrequency-current")
        page.find_element(By.ID, button).click()
        wait(page).until(lambda d: not d.find_elements(By.ID, "preview"))
    shows(page, "files-result", "profile profile.json applied")
    shows(page, "p-ModulationFrequency-current", "holds 20")


def test_groups_fold_and_the_filter_narrows_controls_and_registers(page):
    groups = [e.text for e in page.find_elements(By.CSS_SELECTOR, "details.group > summary")]
    assert groups == ["frame timing", "modulation and dealiasing", "illumination and mixing",
                      "output and streaming"]
    timing = by_id(page, "group-frame-timing")
    timing.find_element(By.TAG_NAME, "summary").click()
    assert not by_id(page, "control-FrameRate").is_displayed()
    timing.find_element(By.TAG_NAME, "summary").click()
    page.find_element(By.TAG_NAME, "body").send_keys("/")
    assert page.switch_to.active_element.get_attribute("id") == "filter"
    page.switch_to.active_element.send_keys("dealias")
    visible = lambda: [e.get_attribute("data-name") for e in page.find_elements(By.CSS_SELECTOR, ".control")
                       if e.is_displayed()]
    assert visible() == ["DealiasingOn", "DealiasingFrequency"]
    address = page.find_element(By.CSS_SELECTOR, "#registers tbody tr").get_attribute("data-address")
    by_id(page, "filter").clear()
    by_id(page, "filter").send_keys(address)
    rows = page.execute_script(
        "return [...document.querySelectorAll('#registers tbody tr')].filter((r) => !r.hidden).map((r) => r.dataset.address)")
    assert rows and set(rows) == {address}
    by_id(page, "filter").send_keys(Keys.ESCAPE)
    assert len(visible()) == 16


def test_register_view_names_every_field_and_raw_writes_need_the_switch(page):
    names = page.execute_script(
        "return [...document.querySelectorAll('#registers tbody tr td:first-child')].map((c) => c.textContent)")
    assert not [name for name in names if name.startswith("#")]
    assert any(name.startswith("field ") and " of register 0x" in name for name in names)
    Select(by_id(page, "p-MicroFrameNumber")).select_by_value("8")
    shows(page, "p-MicroFrameNumber-result", "applied 8")
    by_id(page, "registers-changed").click()
    changed = page.execute_script("""return [...document.querySelectorAll('#registers tbody tr')]
        .filter((r) => !r.hidden).map((r) => [r.cells[3].textContent, r.cells[4].textContent])""")
    assert changed and all(value != reset for value, reset in changed)
    assert not by_id(page, "raw-send").is_enabled()
    by_id(page, "raw-allow").click()
    address = page.execute_script("return document.querySelector('#registers tbody tr').dataset.address")
    by_id(page, "raw-target").send_keys(address)
    by_id(page, "raw-value").send_keys("0")
    by_id(page, "raw-send").click()
    shows(page, "raw-result", f"register {address} written")
    shows(page, "activity", f"raw write: register {address} = 0x0 (this tab), ")
    assert page.find_elements(By.CSS_SELECTOR, "#activity > li ol li")
    page.refresh()
    wait(page).until(lambda d: d.find_element(By.TAG_NAME, "body").get_attribute("data-ready"))
    assert not by_id(page, "raw-allow").is_selected() and not by_id(page, "raw-send").is_enabled()


def test_undo_writes_the_earlier_values_back_one_at_a_time(page, panel):
    loadable(panel)
    enter(page, "p-FrameRate", "25")
    shows(page, "p-FrameRate-result", "applied 25")
    by_id(page, "p-StreamEnable").click()
    shows(page, "p-StreamEnable-current", "holds true")
    assert "StreamEnable (back to false)" in text_of(page, "undo")
    by_id(page, "undo").click()
    shows(page, "p-StreamEnable-current", "holds false")
    shows(page, "p-StreamEnable-result", "requested false → applied false")
    # A reset is undone by the settings before it, written back as a profile.
    by_id(page, "reset").click()
    by_id(page, "reset-yes").click()
    shows(page, "p-FrameRate-current", "holds 30")
    shows(page, "undo", "Undo reset to power-on")
    by_id(page, "undo").click()
    shows(page, "files-result", "settings before it written back")
    shows(page, "p-FrameRate-current", "holds 25")
    shows(page, "activity", "undo: profile applied")
    by_id(page, "undo").click()
    shows(page, "p-FrameRate-current", "holds 30")
    shows(page, "activity", "undo: set FrameRate = 30 (this tab)")
    assert not by_id(page, "undo").is_enabled()


def test_the_region_moves_by_keys_snapping_and_rounding_is_marked(page, panel):
    loadable(panel)
    shows(page, "p-ModulationFrequency-current", "holds 20")
    value = lambda field: int(by_id(page, f"p-RegionOfInterest-{field}").get_attribute("value"))
    # Narrower by one step, then one step right: a single write once the keys rest.
    sensor = by_id(page, "p-RegionOfInterest-sensor")
    sensor.send_keys(Keys.SHIFT, Keys.ARROW_LEFT)
    sensor.send_keys(Keys.ARROW_RIGHT)
    x, width = value("x"), value("width")
    assert x > 0 and width < 320 and x + width == 320
    shows(page, "p-RegionOfInterest-result", f"requested {x},0,{width},240 → applied {x},0,{width},240")
    # The corner dragged with the pointer: narrower and lower, snapped to the steps, one write.
    handle = page.find_element(By.CSS_SELECTOR, "#p-RegionOfInterest-sensor .handle")
    ActionChains(page).click_and_hold(handle).move_by_offset(-50, -30).release().perform()
    shows(page, "p-RegionOfInterest-result", f"requested {x},0,")
    assert value("width") < width and value("height") < 240
    for field, value in zip(["x", "y", "width", "height"], ["0", "48", "100", "120"]):
        by_id(page, f"p-RegionOfInterest-{field}").clear()
        by_id(page, f"p-RegionOfInterest-{field}").send_keys(value)
    by_id(page, "p-RegionOfInterest-height").send_keys(Keys.ENTER)
    shows(page, "p-RegionOfInterest-result", "the module holds")
    assert "not the 0,48,100,120 asked" in text_of(page, "p-RegionOfInterest-result")


def test_presets_save_compare_load_delete_shared_with_the_tool(driver, tmp_path):
    env = dict(os.environ, XDG_CONFIG_HOME=str(tmp_path))
    with Panel(env=env) as panel:
        loadable(panel)
        page = open_page(driver, panel)
        by_id(page, "preset-name").send_keys("bench-a", Keys.ENTER)
        shows(page, "presets", "bench-a")
        listed = subprocess.run([CTL, "preset", "list"], env=env, capture_output=True, text=True)
        assert "bench-a" in listed.stdout, listed
        enter(page, "p-FrameRate", "25")
        shows(page, "p-FrameRate-result", "applied 25")
        by_id(page, "presets").find_element(By.CSS_SELECTOR, "[aria-label='compare preset bench-a with the module']").click()
        shows(page, "preset-result", "preset bench-a differs from the module in")
        assert "FrameRate 30 25" in text_of(page, "preset-result")
        by_id(page, "presets").find_element(By.CSS_SELECTOR, "[aria-label='load preset bench-a']").click()
        # Previewed first, as an upload is: the module still holds 25 until Apply.
        shows(page, "preview-summary", "nothing written yet; ")
        assert "FrameRate = 30" in text_of(page, "preview")
        assert "holds 25" in text_of(page, "p-FrameRate-current")
        by_id(page, "preview-apply").click()
        shows(page, "preset-result", "preset bench-a loaded")
        shows(page, "p-FrameRate-current", "holds 30")
        shows(page, "activity", "preset bench-a loaded")
        by_id(page, "presets").find_element(By.CSS_SELECTOR, "[aria-label='delete preset bench-a']").click()
        shows(page, "preset-result", "preset bench-a deleted")
        assert "bench-a" not in text_of(page, "presets")


def test_another_process_reset_and_two_tabs_are_followed(driver, tmp_path):
    image = tmp_path / "camera.img"
    with Panel(f"image:{image}") as panel:
        other = browser()
        try:
            page = open_page(driver, panel)
            open_page(other, panel)
            by_id(page, "p-StreamEnable").click()
            shows(other, "p-StreamEnable-current", "holds true")
            shows(other, "activity", "set StreamEnable = true (another tab)")
            shows(page, "activity", "set StreamEnable = true (this tab)")
            subprocess.run([SERVER, f"image:{image}", "--reset"], check=True)
            shows(page, "activity", "module reset to power-on (another process)")
            shows(page, "p-StreamEnable-current", "holds false")
        finally:
            other.quit()


@pytest.mark.skipif(missing() is not None, reason=str(missing()))
def test_an_adapter_that_goes_and_comes_back_is_told_and_its_settings_offered(driver):
    adapter = EmulatedAdapter()
    panel = Panel(command=[*adapter.argv(), CTL, "--bus", "/dev/i2c-1", "serve"], env=adapter.env)
    try:
        page = open_page(driver, panel)
        enter(page, "p-FrameRate", "20")
        shows(page, "p-FrameRate-result", "applied 20")
        adapter.command("unplug")
        shows(page, "banner", "Module disconnected.")
        assert "/dev/i2c-1 went away" in text_of(page, "banner")
        assert not by_id(page, "p-FrameRate").is_enabled()
        shows(page, "activity", "module disconnected")
        # Back after a power cycle: everything read again, the loss named, the restore offered.
        adapter.command("power-cycle")
        adapter.command("plug")
        shows(page, "banner", "Module reconnected without its settings.")
        assert "FrameRate" in text_of(page, "banner")
        shows(page, "p-FrameRate-current", "holds 30")
        assert by_id(page, "p-FrameRate").is_enabled()
        by_id(page, "restore").click()
        shows(page, "activity", "settings written back (this tab)")
        shows(page, "p-FrameRate-current", "holds 20")
    finally:
        panel.stop()
        adapter.close()


CONTRAST = """
const parse = (c) => (c.match(/[\\d.]+/g) || []).map(Number);
const lum = ([r, g, b]) => {
  const f = (v) => { v /= 255; return v <= 0.03928 ? v / 12.92 : ((v + 0.055) / 1.055) ** 2.4; };
  return 0.2126 * f(r) + 0.7152 * f(g) + 0.0722 * f(b);
};
const ground = (e) => {
  for (; e; e = e.parentElement) {
    const c = parse(getComputedStyle(e).backgroundColor);
    if (c.length === 3 || c[3] > 0) return c;
  }
  return parse(getComputedStyle(document.documentElement).backgroundColor);
};
const bad = [];
for (const e of document.querySelectorAll('body *')) {
  if (e.closest('svg, fieldset:disabled, [hidden]') || !e.getClientRects().length) continue;
  if (![...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim())) continue;
  const a = lum(parse(getComputedStyle(e).color)), b = lum(ground(e));
  const ratio = (Math.max(a, b) + 0.05) / (Math.min(a, b) + 0.05);
  if (ratio < 4.5) bad.push(`${e.tagName}#${e.id}.${e.className} ${ratio.toFixed(2)}`);
}
return bad;"""


def test_both_schemes_both_widths_readable_with_screenshots(page):
    Select(by_id(page, "p-MicroFrameNumber")).select_by_value("8")
    shows(page, "timing", "8 micro-frames of 8.333 ms")
    enter(page, "p-IntegrationTime", "1")
    shows(page, "p-IntegrationTime-result", "outside the advertised range")
    page.find_element(By.TAG_NAME, "body").click()
    for scheme in ("light", "dark"):
        page.execute_cdp_cmd("Emulation.setEmulatedMedia",
                             {"features": [{"name": "prefers-color-scheme", "value": scheme}]})
        assert page.execute_script(
            f"return matchMedia('(prefers-color-scheme: {scheme})').matches")
        assert page.execute_script(CONTRAST) == []
        for width in (1280, 375):
            page.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
                "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": False})
            wait(page).until(lambda d: d.execute_script("return window.innerWidth") == width)
            overflow = page.execute_script(
                "return document.documentElement.scrollWidth - document.documentElement.clientWidth")
            assert overflow <= 0, f"{overflow} px of horizontal scroll at {width} px ({scheme})"
            page.execute_script("window.scrollTo(0, 0)")
            page.save_screenshot(os.path.join(SHOTS, f"panel-{width}-{scheme}.png"))
    page.execute_cdp_cmd("Emulation.clearDeviceMetricsOverride", {})
