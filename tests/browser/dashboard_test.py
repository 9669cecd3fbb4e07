#!/usr/bin/python3
"""The dashboard in a real browser: Debian's chromium, headless, through
python3-selenium and chromium-driver, against a running monitor (smdhost
--http, or tests/browser/mock_api.py).

Loads BASE_URL and waits until the page shows: rectifier FAULT_RECT as
faulted, the alarm ALARM_ID (with the catalogue's text) in the active list or
among the alarms of the plotted range, a plotted series (points, and its
line drawn on the canvas). Then it
saves a screenshot, plots the last week and logs the time from request to
drawn chart (measured, not judged), makes the server stale (GET STALE_URL, or
waits for it) and checks that the page says so. Any error in the browser's
console (a script error, a Content-Security-Policy violation) fails the run,
and so does text from the server that became markup (the mock's device
label has some in it).

Exit status 0 when every check held, 1 otherwise (the failed check on
standard error).
"""

import argparse
import json
import shutil
import sys
import tempfile
import time
import urllib.request

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By

CHROMIUM_FLAGS = ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                  "--disable-component-update", "--disable-sync", "--no-first-run", "--disable-extensions",
                  "--disable-dev-shm-usage", "--lang=en-US"]


class Failure(Exception):
    pass


def log(text):
    print("dashboard_test: " + text, flush=True)


def wait_for(what, timeout, probe, every=0.2):
    """probe() until it returns something true; Failure after `timeout` s."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
        except Exception as e:  # a page in the middle of a redraw
            last = e
        else:
            if last:
                return last
        if time.monotonic() >= deadline:
            raise Failure("%s: not seen within %g s (last: %r)" % (what, timeout, last))
        time.sleep(every)


def snapshot(driver):
    return driver.execute_script("return window.__dashboard && window.__dashboard.snapshot();")


def catalogue_text(base, alarm_id):
    with urllib.request.urlopen(base + "api/catalogue", timeout=10) as r:
        doc = json.loads(r.read().decode("utf-8"))
    return next((a.get("text2") for a in doc.get("alarms", []) if a.get("id") == alarm_id), None)


def check_alarm(driver, base, alarm_id, timeout):
    def row():
        for where in ("alarm-rows", "hist-spans"):
            rows = driver.find_elements(By.CSS_SELECTOR, "#%s tr[data-id='%s']" % (where, alarm_id))
            if rows:
                return where, rows[0].find_element(By.CSS_SELECTOR, ".alarm-text").text
        return None

    where, text = wait_for("alarm " + alarm_id, timeout, row)
    expected = catalogue_text(base, alarm_id)
    if expected is not None and expected not in text:
        raise Failure("alarm %s shows %r, the catalogue says %r" % (alarm_id, text, expected))
    log("alarm %s in %s: %s" % (alarm_id, "the active list" if where == "alarm-rows" else "the plotted range", text))


def check_fault(driver, rect, timeout):
    def tile():
        t = driver.find_elements(By.CSS_SELECTOR, ".rect-tile[data-rect='%d']" % rect)
        return t and "rect-fault" in t[0].get_attribute("class") and "FAULT" in t[0].text and t[0].text
    text = wait_for("rectifier %d shown faulted" % rect, timeout, tile)
    log("rectifier %d tile: %s" % (rect, " ".join(text.split())))


# Pixels inside the plot area in the colour of the first series' line.
LINE_PIXELS = """
const chart = Chart.getChart('hist-canvas');
if (!chart || !chart.data.datasets.length) return 0;
const a = chart.chartArea, ratio = chart.currentDevicePixelRatio;
const hex = parseInt(chart.data.datasets[0].borderColor.slice(1), 16);
const want = [hex >> 16, (hex >> 8) & 255, hex & 255];
const img = chart.ctx.getImageData(a.left * ratio, a.top * ratio, (a.right - a.left) * ratio, (a.bottom - a.top) * ratio).data;
let n = 0;
for (let i = 0; i < img.length; i += 4)
  if (Math.abs(img[i] - want[0]) < 40 && Math.abs(img[i + 1] - want[1]) < 40 && Math.abs(img[i + 2] - want[2]) < 40) n++;
return n;
"""


def check_chart(driver, timeout):
    counts = wait_for("a plotted series", timeout,
                      lambda: [c for c in (snapshot(driver) or {}).get("chart", []) if c["points"] > 0])
    pixels = wait_for("the first series drawn", timeout, lambda: driver.execute_script(LINE_PIXELS) >= 100)
    log("plotted: " + ", ".join("%s %d points" % (c["name"], c["points"]) for c in counts) +
        "; the first line drawn (%s pixels of its colour)" % driver.execute_script(LINE_PIXELS))


def measure_week(driver, timeout):
    before = (snapshot(driver).get("last_plot") or {}).get("serial", 0)
    started = time.monotonic()
    driver.find_element(By.CSS_SELECTOR, "[data-range='604800']").click()
    plot = wait_for("a week plotted", timeout, lambda: (lambda p: p and p["serial"] > before and
                                                        p["range_ms"] == 604800000 and p)(snapshot(driver).get("last_plot")),
                    every=0.02)
    seen = (time.monotonic() - started) * 1000
    if plot["points"] == 0:
        raise Failure("the week's plot has no point")
    log("week plot: %d points, one per %.0f s; request to drawn chart %.0f ms (fetch %.0f ms, draw %.0f ms); "
        "click to drawn, seen through WebDriver, %.0f ms" % (plot["points"], plot["bucket_s"], plot["total_ms"],
                                                           plot["fetch_ms"], plot["draw_ms"], seen))


def check_stale(driver, stale_url, timeout):
    if stale_url:
        urllib.request.urlopen(stale_url, timeout=10).read()

    def shown():
        banner = driver.find_element(By.ID, "stale-banner")
        pill = driver.find_element(By.ID, "status").text
        body = driver.find_element(By.TAG_NAME, "body").get_attribute("class") or ""
        return banner.is_displayed() and "STALE" in banner.text and pill == "STALE" and "stale" in body and banner.text
    text = wait_for("the stale banner", timeout, shown)
    log("stale: " + " ".join(text.split()))


def check_no_markup(driver):
    """No text from the server became an element: the page makes no image,
    frame or inline script of its own, and the device label is bare text."""
    found = driver.execute_script(
        "return [...document.querySelectorAll('img, iframe, object, embed, svg, script:not([src]), #device-label *')]"
        ".map((e) => e.outerHTML.slice(0, 120)).concat(window.__pwned !== undefined ? ['window.__pwned'] : []);")
    if found:
        raise Failure("text from the server became markup: " + "; ".join(found))


def check_console(driver):
    errors = [e for e in driver.get_log("browser") if e.get("level") == "SEVERE"]
    if errors:
        raise Failure("browser console: " + "; ".join(e.get("message", "") for e in errors))


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("base_url", help="the monitor, e.g. http://127.0.0.1:9752/")
    ap.add_argument("--screenshot", help="save a PNG of the page here")
    ap.add_argument("--window", default="1366x768", help="viewport WIDTHxHEIGHT (default 1366x768)")
    ap.add_argument("--fault-rect", type=int, default=1, help="rectifier expected faulted (default 1)")
    ap.add_argument("--alarm-id", default="220600140010", help="alarm expected (default: mains failure, mode 2)")
    ap.add_argument("--stale-url", help="GET this to make the server stale (the mock's /mock/stale)")
    ap.add_argument("--stale-wait", type=float, default=75, help="seconds to wait for stale (default 75)")
    ap.add_argument("--timeout", type=float, default=30, help="seconds to wait for each other check")
    ap.add_argument("--chromium", default="/usr/bin/chromium")
    ap.add_argument("--chromedriver", default="/usr/bin/chromedriver")
    args = ap.parse_args()
    base = args.base_url if args.base_url.endswith("/") else args.base_url + "/"
    width, height = (int(x) for x in args.window.split("x"))

    profile = tempfile.mkdtemp(prefix="dashboard-test-")
    options = webdriver.ChromeOptions()
    options.binary_location = args.chromium
    for flag in CHROMIUM_FLAGS + ["--user-data-dir=" + profile, "--window-size=%d,%d" % (width, height)]:
        options.add_argument(flag)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = None
    try:
        driver = webdriver.Chrome(service=Service(executable_path=args.chromedriver), options=options)
        inner = driver.execute_script("return [innerWidth, innerHeight];")
        outer = driver.get_window_size()
        driver.set_window_size(width + outer["width"] - inner[0], height + outer["height"] - inner[1])
        started = time.monotonic()
        driver.get(base)
        wait_for("the page ready", args.timeout, lambda: driver.execute_script(
            "return Boolean(window.__dashboard && window.__dashboard.ready);"))
        log("page ready in %.0f ms; viewport %s" % ((time.monotonic() - started) * 1000,
                                                   driver.execute_script("return innerWidth + 'x' + innerHeight;")))
        check_alarm(driver, base, args.alarm_id, args.timeout)
        check_fault(driver, args.fault_rect, args.timeout)
        check_chart(driver, args.timeout)
        if args.screenshot:
            if not driver.save_screenshot(args.screenshot):
                raise Failure("could not write " + args.screenshot)
            log("screenshot " + args.screenshot)
        measure_week(driver, args.timeout)
        check_stale(driver, args.stale_url, 15 if args.stale_url else args.stale_wait)
        check_no_markup(driver)
        check_console(driver)
    except Failure as e:
        print("dashboard_test: FAIL: %s" % e, file=sys.stderr)
        if driver is not None:
            print("dashboard_test: page state: %s" % json.dumps(snapshot(driver)), file=sys.stderr)
        return 1
    finally:
        if driver is not None:
            driver.quit()
        shutil.rmtree(profile, ignore_errors=True)
    log("all checks passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
