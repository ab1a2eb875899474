#!/usr/bin/python3
"""The development host's web console in headless Chromium, driven by
Selenium: the whole story played on the page, each step checked on what the
page shows, the browser's log read for errors, and screenshots of the final
page, wide and narrow, saved under build/console-check/; then the page of the
host serving the notes example, without the email panels.

    console_check.py <build dir>
"""
import os
import shutil
import sys
import time

from selenium import webdriver
from selenium.common.exceptions import TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from devhost_process import Devhost, request

BUILD = sys.argv[1]
OUTPUT = "build/console-check"
TOKEN = "dev-token-1"  # of the default configuration's first account
PASSWORD = "correct-horse"
WRONG = "not-" + PASSWORD
FIRST = "player@example.test"
CHANGED = "changed.address@example.test"
EVENT = "OnJsonApiEvent_qor-email-verification_v1_email"
NOTES_PLUGIN = os.path.join(BUILD, "examples/notes/zvm-be-example-notes.so")
NOTES_EVENT = "OnJsonApiEvent_example-notes_v1_notes"


def browser():
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     # This machine's network is closed: nothing to fetch.
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run",
                     "--user-data-dir=" + os.path.abspath(OUTPUT + "/profile"),
                     "--window-size=1280,900"]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    return webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)


class Page:
    """The console in the browser, read through what it shows."""

    def __init__(self, driver):
        self.driver = driver

    def texts(self, selector):
        """The texts of the elements as they show, their spaces and line
        breaks as one space each."""
        return [" ".join(found.text.split())
                for found in self.driver.find_elements(By.CSS_SELECTOR, selector)]

    def text(self, selector):
        return (self.texts(selector) or ["(nothing)"])[0]

    def shows(self, selector, expected, what, read=None):
        """Waits until the first element's text satisfies `expected` (a text
        it equals, or a test); or, with read=Page.texts, the list of them."""
        read = read or Page.text
        holds = expected if callable(expected) else lambda text: text == expected
        try:
            WebDriverWait(self.driver, 10).until(lambda _: holds(read(self, selector)))
        except TimeoutException:
            raise AssertionError("%s: %s shows %r" % (what, selector, read(self, selector)))
        print("ok     " + what, flush=True)

    def fill(self, form, **values):
        for name, value in values.items():
            field = self.driver.find_element(By.CSS_SELECTOR, "%s [name=%s]" % (form, name))
            field.clear()
            field.send_keys(value)

    def click(self, selector):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()


def newest_events(email, verified):
    """A test of the event list: the newest two are the resource's Update,
    under its own name and the name for every resource, with the session."""
    session = '"email": "%s", "emailVerified": %s' % (email, verified)

    def test(entries):
        return (sorted(entry.split(" ")[0] for entry in entries[:2]) == ["OnJsonApiEvent", EVENT]
                and all(session in entry and '"eventType": "Update"' in entry
                        for entry in entries[:2]))
    return test


def play(driver, devhost):
    page = Page(driver)
    driver.get("http://127.0.0.1:%d/" % devhost.port)
    page.shows("html", lambda _: driver.execute_script(
        "return document.documentElement.dataset.ready") == "true", "the page loads")
    page.shows("#events-state", "live", "the event stream is open")
    page.shows("#log-state", "live", "the log stream is open")
    page.shows("#token-state", "Signed out", "the host starts signed out")
    page.shows("#email-result", "500 EmailVerification: Email verification status fetch "
               "failure: No KSA id token available", "without a token: the call's message")

    page.fill("#sign-in-form", token=TOKEN)
    page.click("#sign-in-form button[type=submit]")
    page.shows("#account-result", "200 Create event delivered to 1 subscription(s)",
               "sign-in delivers the token's Create event")
    page.shows("#token-state", "Signed in", "the page shows the host signed in")
    page.shows("#email-address", FIRST, "the status loaded: the account's address")
    page.shows("#email-verified", "no", "the status loaded: not verified")
    page.shows("#email-fatal", "no", "the status loaded: no fatal error")

    page.fill("#change-form", email=CHANGED, password=WRONG)
    page.click("#change-form button[type=submit]")
    page.shows("#change-result", "400 Wrong password", "a wrong password: the service's text")
    page.shows("#log-list li", lambda text: text.endswith("ERROR email-verification: Wrong "
               "password"), "the plugin's error line in the log")
    page.shows("#email-address", FIRST, "the address is unchanged")

    page.fill("#change-form", password=PASSWORD)
    page.click("#change-form button[type=submit]")
    page.shows("#change-result", lambda text: text.startswith("204 "),
               "the right password: 204")
    page.shows("#event-list li", newest_events(CHANGED, "false"),
               "the Update events are listed first", Page.texts)
    page.shows("#email-address", CHANGED, "the event shows the new address")
    page.shows("#email-result", "Update event received", "the view follows the event")

    page.click("#verification-send")
    page.shows("#verification-result", "204 mail sent", "the verification request")
    page.shows("#mailbox-list li", lambda text: text.startswith("To %s (locale en_us)" % CHANGED),
               "the mail to the new address in the mailbox")

    console = driver.current_window_handle
    page.click("#mailbox-list .mail-link")
    WebDriverWait(driver, 10).until(lambda _: len(driver.window_handles) == 2)
    driver.switch_to.window([handle for handle in driver.window_handles if handle != console][0])
    page.shows("body", "Validated " + CHANGED, "the mail's link validates the address")
    driver.close()
    driver.switch_to.window(console)
    page.shows("#email-verified", "yes", "the verified state arrives through the events")
    page.shows("#event-list li", newest_events(CHANGED, "true"),
               "its Update events are listed first", Page.texts)

    page.click("#endpoints [data-operation=GetQorEmailVerificationV1Email] button")
    page.shows("#endpoints [data-operation=GetQorEmailVerificationV1Email] pre",
               lambda text: '"email": "%s"' % CHANGED in text and '"emailVerified": true' in text,
               "the API's GET sent from its form answers the verified status")
    page.shows("#declared-events", lambda text: "OnJsonApiEvent carries PluginResourceEvent" in
               text, "the declared events from the OpenAPI document")
    page.shows("#records", lambda text: "QorEmailVerificationEmailUpdate" in text,
               "the records from the OpenAPI document")

    values = driver.execute_script(
        "return [...document.querySelectorAll('input, textarea')].map(field => field.value)")
    shown = driver.execute_script("return document.body.innerText") + driver.page_source
    for password in [PASSWORD, WRONG]:
        assert not any(password in value for value in values), "a password stays in a field"
        assert password not in shown, "the page shows a password"
    print("ok     no password shown, none left in a field", flush=True)


def play_notes(driver, devhost):
    """Another plugin's page: only the panels every plugin has, and the API's
    forms, whose calls bring the plugin's events."""
    page = Page(driver)
    driver.get("http://127.0.0.1:%d/" % devhost.port)
    page.shows("html", lambda _: driver.execute_script(
        "return document.documentElement.dataset.ready") == "true", "notes: the page loads")
    page.shows("#plugin-title", "example-notes 18.0.0", "notes: the page names the plugin")
    hidden = driver.execute_script("return ['email', 'change', 'verification'].map("
                                   "(id) => document.getElementById(id).hidden)")
    assert hidden == [True, True, True], "notes: the email panels show: %s" % hidden
    print("ok     notes: the email panels are hidden", flush=True)
    page.shows("#token-state", "Signed in", "notes: the host starts signed in")

    put = "#endpoints [data-operation=PutExampleNotesV1NotesById]"
    page.fill(put, id="tea", text="Buy tea", priority="Low")
    page.click(put + " button")
    page.shows(put + " pre", lambda text: '"text": "Buy tea"' in text,
               "notes: the PUT form answers the note")
    page.shows("#event-list li", lambda entries: any(
        entry.startswith(NOTES_EVENT) and '"id": "tea"' in entry for entry in entries),
        "notes: the Update event is listed", Page.texts)
    page.shows("#log-list li", lambda entries: any(
        entry.endswith("OKAY example-notes: note tea saved") for entry in entries),
        "notes: the plugin's log line", Page.texts)
    get = "#endpoints [data-operation=GetExampleNotesV1Notes]"
    page.fill(get, contains="TEA")
    page.click(get + " button")
    page.shows(get + " pre", lambda text: '"id": "tea"' in text and "milk" not in text,
               "notes: the GET form filters by its query parameter")


def screenshots(driver):
    """The whole page, wide and as narrow as a phone's; at either width
    nothing may run over the side. The window cannot be made narrower than
    500 pixels, so the viewport is set through the browser's emulation."""
    for name, width in [("console.png", 1280), ("console-narrow.png", 360)]:
        metrics = {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": False}
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        metrics["height"], wide = driver.execute_script(
            "const root = document.documentElement; return [root.scrollHeight, root.scrollWidth]")
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        driver.save_screenshot("%s/%s" % (OUTPUT, name))
        assert wide <= width, "at %d pixels the page is %d wide" % (width, wide)
    print("ok     wide and narrow, nothing runs over the side", flush=True)


def console_errors(driver, devhost):
    """The browser's log lines at error level, but for the two failed calls
    the story makes (before sign-in, and with the wrong password) and for the
    icon the browser asks of the mock service, in the tab of the mail's
    link."""
    expected = ["http://127.0.0.1:%d/qor-email-verification/v1/email - Failed to load resource: "
                "the server responded with a status of %s" % (devhost.port, status)
                for status in ["500 (Internal Server Error)", "400 (Bad Request)"]]
    icon = devhost.mock_url() + "/favicon.ico - "
    errors = [entry["message"] for entry in driver.get_log("browser")
              if entry["level"] == "SEVERE" and not entry["message"].startswith(icon)]
    for message in expected:
        if message in errors:
            errors.remove(message)
        else:
            errors.append("missing: " + message)
    return errors


def main():
    started = time.time()
    shutil.rmtree(OUTPUT, ignore_errors=True)
    os.makedirs(OUTPUT)
    devhost = Devhost(os.path.join(BUILD, "host/devhost/zvm-devhost"))
    driver = None
    passed = False
    try:
        # The default configuration signs in at start; the story begins
        # before sign-in.
        assert request(devhost.port, "POST", "/_host/sign-out")[0] == 200
        driver = browser()
        play(driver, devhost)
        errors = console_errors(driver, devhost)
        assert not errors, "the browser's log has errors:\n  " + "\n  ".join(errors)
        print("ok     no errors in the browser's log", flush=True)
        screenshots(driver)
        # Left before its host stops, the page would log its streams' end.
        driver.get("about:blank")
        driver.get_log("browser")
        devhost.stop()
        devhost = Devhost(os.path.join(BUILD, "host/devhost/zvm-devhost"), "--plugin",
                          NOTES_PLUGIN, "--export", "load_example_notes", "--config",
                          "examples/notes/devhost.yaml")
        play_notes(driver, devhost)
        errors = [entry["message"] for entry in driver.get_log("browser")
                  if entry["level"] == "SEVERE"]
        assert not errors, "notes: the browser's log has errors:\n  " + "\n  ".join(errors)
        print("ok     notes: no errors in the browser's log", flush=True)
        passed = True
    except AssertionError as failure:
        print("FAILED %s" % failure, flush=True)
        if driver is not None:
            driver.save_screenshot(OUTPUT + "/failure.png")
            print("the page at the failure: %s/failure.png" % OUTPUT)
        print("".join(devhost.lines), end="")
    finally:
        if driver is not None:
            driver.quit()
        devhost.stop()
    print("console check %s in %.1f s; screenshots in %s" %
          ("passed" if passed else "FAILED", time.time() - started, OUTPUT))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
