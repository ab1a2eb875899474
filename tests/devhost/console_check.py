#!/usr/bin/python3
"""The development host's web console in headless Chromium, driven by
Selenium: the story played on the page; the library rebuilt and reloaded
under it, a fault and a recording made from it; the host restarted; then the
notes example's page. Screenshots in build/console-check/.

    console_check.py <build dir>
"""
import glob
import os
import shutil
import subprocess
import sys
import time

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException, TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from devhost_process import EMAIL, PASSWORD, Devhost, request

BUILD = sys.argv[1]
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
LIBRARY = os.path.join(BUILD, "email_verification/zvm-be-qor-email-verification.so")
OUTPUT = "build/console-check"
# The host loads a copy of the library, which a build replaces: a compiler
# that only reads a source of this folder, then the built library copied.
LOADED = OUTPUT + "/plugin.so"
SOURCE = OUTPUT + "/sources/part.cc"
BUILD_COMMAND = "c++ -fsyntax-only %s && cp %s %s.new && mv %s.new %s" % (
    SOURCE, LIBRARY, LOADED, LOADED, LOADED)
DOWNLOADS = os.path.abspath(OUTPUT + "/downloads")
TOKEN = "dev-token-1"  # of the default configuration's first account
WRONG = "not-" + PASSWORD
FIRST = "player@example.test"
CHANGED = "changed.address@example.test"
EVENT = "OnJsonApiEvent_qor-email-verification_v1_email"
NO_TOKEN = "No KSA id token available"


def browser():
    options = webdriver.ChromeOptions()
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     # This machine's network is closed: nothing to fetch.
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", "--window-size=1280,900",
                     "--user-data-dir=" + os.path.abspath(OUTPUT + "/profile")]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Page.setDownloadBehavior",
                           {"behavior": "allow", "downloadPath": DOWNLOADS})
    return driver


class Page:
    """The console in the browser, read through what it shows."""

    def __init__(self, driver):
        self.driver = driver

    def texts(self, selector, displayed=False):
        """The texts of the elements as they show (of the displayed ones
        only, if asked), their spaces and line breaks as one space each."""
        return [" ".join(found.text.split())
                for found in self.driver.find_elements(By.CSS_SELECTOR, selector)
                if not displayed or found.is_displayed()]

    def text(self, selector):
        return (self.texts(selector) or ["(nothing)"])[0]

    def shown(self, selector):
        return self.texts(selector, displayed=True)

    def check(self, *rows):
        """Waits, for each row (selector, expected, what[, read]), until the
        first element's text satisfies `expected` (a text it equals, or a
        test); or, with read=Page.texts, the list of them."""
        for selector, expected, what, *read in rows:
            read = read[0] if read else Page.text
            holds = expected if callable(expected) else lambda text: text == expected
            try:
                # An element the page replaced while it was read is read again.
                WebDriverWait(self.driver, 10, ignored_exceptions=[
                    StaleElementReferenceException]).until(lambda _: holds(read(self, selector)))
            except TimeoutException:
                raise AssertionError("%s: %s shows %r" % (what, selector, read(self, selector)))
            print("ok     " + what, flush=True)

    def shows(self, selector, expected, what, read=None):
        self.check((selector, expected, what, read or Page.text))

    def fill(self, form, **values):
        for name, value in values.items():
            field = self.driver.find_element(By.CSS_SELECTOR, "%s [name=%s]" % (form, name))
            field.clear()
            field.send_keys(value)

    def click(self, selector, *rows):
        """Clicks the element, then checks the rows."""
        self.driver.find_element(By.CSS_SELECTOR, selector).click()
        self.check(*rows)

    def submit(self, form, **values):
        self.fill(form, **values)
        self.click(form + " button[type=submit]")

    def select(self, selector, value=None, text=None):
        found = Select(self.driver.find_element(By.CSS_SELECTOR, selector))
        found.select_by_value(value) if text is None else found.select_by_visible_text(text)

    def blank(self, *selectors):
        """Empties what the elements show, which the page must then show
        anew."""
        self.driver.execute_script(
            "for (const s of arguments) document.querySelector(s).textContent = ''", *selectors)

    def load(self, port, what):
        self.driver.get("http://127.0.0.1:%d/" % port)
        self.shows("html", lambda _: self.driver.execute_script(
            "return document.documentElement.dataset.ready") == "true", what)

    def sign_in(self, account, what):
        self.submit("#sign-in-form", token=TOKEN)
        self.shows("#token-state", "Signed in as " + account, what)


def newest_event(email, verified, fatal="false"):
    """A test of the event list: the newest entry is the resource's Update
    with the session, shown once under both its names."""
    session = '"email": "%s", "emailVerified": %s, "fatalError": %s' % (email, verified, fatal)
    return lambda entries: (
        bool(entries) and entries[0].split(" ")[:2] == [EVENT, "OnJsonApiEvent"] and
        session in entries[0] and '"eventType": "Update"' in entries[0] and
        all(session not in entry for entry in entries[1:]))


def operation(name, selector=""):
    return "#endpoints [data-operation=%s] %s" % (name, selector)


def play(page, devhost):
    page.load(devhost.port, "the page loads")
    page.check(
        ("#events-state", "live", "the event stream is open"),
        ("#log-state", "live", "the log stream is open"),
        ("#token-state", "Signed out", "the host starts signed out"),
        ("#email-result", "500 EmailVerification: Email verification status fetch failure: " +
         NO_TOKEN, "without a token: the call's message"),
        ("#memory-counters [data-counter=liveBlocks]", lambda text: text.replace(",", "").strip(
            "0123456789") == "" and int("0" + text.replace(",", "")) > 0,
         "the plugin's memory counters"))

    page.sign_in(FIRST, "the page names the signed-in account")
    page.check(
        ("#account-result", "200 Create event delivered to 1 subscription(s)",
         "sign-in delivers the token's Create event"),
        ("#email dd", [FIRST, "no", "no"],
         "the status loaded: the account's address, not verified, no fatal error", Page.texts))

    page.submit("#change-form", email=CHANGED, password=WRONG)
    page.check(
        ("#change-result", "400 Wrong password", "a wrong password: the service's text"),
        ("#log-list li", lambda text: text.endswith("ERROR email-verification: Wrong password"),
         "the plugin's error line in the log"),
        ("#email-address", FIRST, "the address is unchanged"))
    page.submit("#change-form", password=PASSWORD)
    page.check(
        ("#change-result", lambda text: text.startswith("204 "), "the right password: 204"),
        ("#event-list li", newest_event(CHANGED, "false"),
         "the Update event listed first, once, with both its names", Page.texts),
        ("#email-address", CHANGED, "the event shows the new address"),
        ("#email-result", "Update event received", "the view follows the event"))

    page.click("#verification-send",
               ("#verification-result", "204 mail sent", "the verification request"),
               ("#mailbox-list li", lambda text: text.startswith("To %s (locale en_us)" % CHANGED),
                "the mail to the new address in the mailbox"))
    driver = page.driver
    console = driver.current_window_handle
    page.click("#mailbox-list a.mail-link")
    WebDriverWait(driver, 10).until(lambda _: len(driver.window_handles) == 2)
    driver.switch_to.window([handle for handle in driver.window_handles if handle != console][0])
    page.shows("body", "Validated " + CHANGED, "the mail's link validates the address")
    driver.close()
    driver.switch_to.window(console)
    page.check(
        ("#email dd", [CHANGED, "yes", "no"], "the verified state arrives through the events",
         Page.texts),
        ("#event-list li", newest_event(CHANGED, "true"), "its Update event listed first, once",
         Page.texts),
        ("#mailbox-list li", lambda text: text.endswith("(used)"), "the followed link shown used"))
    assert not driver.find_elements(By.CSS_SELECTOR, "#mailbox-list a"), "a used link is a link"

    play_forms(page, devhost)
    play_odd_shapes(page, devhost)
    play_event_tools(page)

    page.submit("#message-form", payload='{"emailStatus":')
    page.check(
        ("#message-result", "200 Create event delivered to 1 subscription(s)",
         "a messaging message sent from the page"),
        ("#email dd", [CHANGED, "yes", "yes"], "the unreadable message: the fatal error published",
         Page.texts),
        ("#event-list li", newest_event(CHANGED, "true", "true"), "its Update event listed first",
         Page.texts))
    allocations = "#memory-counters [data-counter=allocations]"
    before = page.text(allocations)
    page.click(
        "#memory-refresh",
        (allocations, lambda text: text != before,
         "the memory counters refreshed: %s allocations before" % before),
        ("#records > details.record summary", lambda texts: texts and all(
            text.startswith("QorEmailVerification") for text in texts),
         "the plugin's records first", Page.texts),
        ("#records > details.framework > summary",
         lambda text: text.startswith("Records of the framework and the host ("),
         "the others folded below them"))

    page.click("#sign-out", ("#account-result", "200 Delete event delivered to 1 subscription(s)",
                             "sign-out delivers the token's Delete event"),
               ("#token-state", "Signed out", "the page shows the host signed out"))
    page.click("#verification-send", ("#verification-result", lambda text: text.startswith(
        "500 ") and text.endswith(NO_TOKEN), "signed out, the request has no token"))

    values = driver.execute_script(
        "return [...document.querySelectorAll('input, textarea')].map(field => field.value)")
    shown = driver.execute_script("return document.body.innerText") + driver.page_source
    for password in [PASSWORD, WRONG]:
        assert not any(password in value for value in values), "a password stays in a field"
        assert password not in shown, "the page shows a password"
    print("ok     no password shown, none left in a field", flush=True)


def play_forms(page, devhost):
    """The API's forms: required fields marked, the call as a curl line,
    each content type of the body, the answer's headers."""
    get = "GetQorEmailVerificationV1Email"
    put = "PutQorEmailVerificationV1Email"
    url = "http://127.0.0.1:%d%s" % (devhost.port, EMAIL)
    page.shows(operation(get, ".preview"), "curl '%s'" % url, "the GET form's curl line")
    page.click(
        operation(get, "button[type=submit]"),
        (operation(get, "pre.answer"),
         lambda text: '"email": "%s"' % CHANGED in text and '"emailVerified": true' in text,
         "the API's GET sent from its form answers the verified status"),
        (operation(get, "pre.answer-headers"),
         lambda text: "content-type: application/json" in text, "with its answer's headers"),
        (operation(put, "label"), lambda texts: [text for text in texts if text.endswith("*")] ==
         ["email (body, string) *", "password (body, string) *"],
         "the PUT form marks its required fields", Page.texts))
    page.fill(operation(put), email="form@example.test", password=WRONG)
    page.shows(operation(put, ".preview"),
               "curl -X PUT '%s' -H 'Content-Type: application/json' --data-raw "
               "'{\"email\":\"form@example.test\",\"password\":\"<password>\"}'" % url,
               "the PUT form's curl line, its password left out")
    for content_type, line in [("application/x-yaml", '"email": "form@example.test"'),
                               ("application/x-msgpack",
                                r"printf '\x82\xa5email\xb1form@example.test\xa8password")]:
        page.select(operation(put, "select"), content_type)
        page.fill(operation(put), password=WRONG)
        page.shows(operation(put, ".preview"), lambda text: line in text and
                   "-H 'Content-Type: %s'" % content_type in text,
                   "the curl line in %s" % content_type)
        page.blank(operation(put, "p.result"))
        page.click(operation(put, "button[type=submit]"), (operation(put, "p.result"),
                   "400 Wrong password", "a body in %s read by the plugin" % content_type))
    # A long text in MessagePack (a fixmap, its key, a str32 head and the
    # text), and an empty record in YAML, which must still be a body.
    encoded = page.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        import("/console/body_encoding.js").then(({encodeBody}) => done(
            [encodeBody({t: "x".repeat(100000)}, "application/x-msgpack").length,
             encodeBody({}, "application/x-yaml")])).catch((error) => done(String(error)));""")
    assert encoded == [1 + 2 + 5 + 100000, "{}"], encoded
    print("ok     a long text in MessagePack, an empty record in YAML", flush=True)


def play_odd_shapes(page, devhost):
    """What the plugin's own API cannot show: a field named like a form's
    property, a typed body sent as MessagePack, YAML's line breaks, an
    answer cut short, a HEAD's curl line."""
    shown = page.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        Promise.all(["body_encoding", "call", "curl_line", "api_explorer"].map(
            (name) => import(`/console/${name}.js`))).then(async (
                [{encodeBody}, {call}, {curlLine}, {showEndpoints}]) => {
          const types = {"application/json": {}, "application/x-msgpack": {}};
          const body = (schema) => ({requestBody: {content: Object.fromEntries(
              Object.keys(types).map((type) => [type, {schema}]))}});
          const endpoints = document.getElementById("endpoints");
          const kept = [...endpoints.childNodes];
          showEndpoints({paths: {
            "/a": {put: body({type: "object", properties: {elements: {type: "string"}}})},
            "/b": {put: body({type: "integer"})}}}, () => {});
          const [named, typed] = endpoints.querySelectorAll("form.try");
          typed.querySelector("select").value = "application/x-msgpack";
          typed.querySelector("textarea").value = "5";
          typed.querySelector("textarea").dispatchEvent(new Event("input", {bubbles: true}));
          const previews = [named, typed].map((form) => form.querySelector(".preview").textContent);
          endpoints.replaceChildren(...kept);
          const fetched = window.fetch;
          window.fetch = async () => ({status: 200, ok: true, headers: new Headers(),
                                       arrayBuffer: async () => { throw new Error("cut"); }});
          const cut = await call("GET", "/a").catch((error) => `rejected: ${error}`);
          window.fetch = fetched;
          done([...previews, encodeBody({t: "a\u0085b\u2028c\u2029"}, "application/x-yaml"),
                cut.message ?? cut, curlLine("HEAD", "http://h/a", {}, undefined)]);
        }).catch((error) => done(String(error)));""")
    origin = "http://127.0.0.1:%d" % devhost.port
    assert shown == [
        "curl -X PUT '%s/a' -H 'Content-Type: application/json' --data-raw "
        "'{\"elements\":\"\"}'" % origin,
        "printf '\\x05' | curl -X PUT '%s/b' -H 'Content-Type: application/x-msgpack' "
        "--data-binary @-" % origin,
        '"t": "a\\u0085b\\u2028c\\u2029"', "No answer: cut", "curl --head 'http://h/a'"], shown
    print("ok     a field named 'elements', a typed body in MessagePack, YAML's line breaks, "
          "an answer cut short, a HEAD's curl line", flush=True)


def play_event_tools(page):
    """The event list's filter and its Clear."""
    count = len(page.texts("#event-list li"))
    page.fill("#events", filter='"emailVerified": true')
    page.shows("#event-list li", lambda texts: len(texts) == 1 and '"emailVerified": true' in
               texts[0], "the filter keeps the one matching event", Page.shown)
    page.fill("#events", filter="no such text")
    page.shows("#event-list li", [], "a filter nothing matches hides every event", Page.shown)
    page.driver.execute_script("const filter = document.getElementById('event-filter');"
                               "filter.value = ''; filter.dispatchEvent(new Event('input'))")
    page.shows("#event-list li", lambda texts: len(texts) == count, "an empty filter shows all",
               Page.shown)
    page.click("#event-clear", ("#event-list li", [], "Clear empties the list", Page.texts))


def play_notes(page, devhost):
    """Another plugin's page: only the panels every plugin has, and the API's
    forms, whose calls bring the plugin's events."""
    page.load(devhost.port, "notes: the page loads")
    page.shows("#plugin-title", "example-notes 18.0.0", "notes: the page names the plugin")
    hidden = page.driver.execute_script("return ['email', 'change', 'verification', 'faults', "
                                        "'library'].map((id) => document.getElementById(id).hidden)")
    assert hidden == [True, True, True, True, False], \
        "notes: the email panels or the library's show wrongly: %s" % hidden
    print("ok     notes: the email panels and the faults are hidden, the library's card shows",
          flush=True)
    # The notes configuration has no accounts of the mock service.
    page.shows("#token-state", "Signed in, with a token the mock service does not know",
               "notes: the host starts signed in")
    put = operation("PutExampleNotesV1NotesById")
    page.submit(put, id="tea", text="Buy tea", priority="Low")
    page.check(
        (put + " pre.answer", lambda text: '"text": "Buy tea"' in text,
         "notes: the PUT form answers the note"),
        ("#event-list li", lambda entries: any(
            entry.startswith("OnJsonApiEvent_example-notes_v1_notes") and '"id": "tea"' in entry
            for entry in entries), "notes: the Update event is listed", Page.texts),
        ("#log-list li", lambda entries: any(
            entry.endswith("OKAY example-notes: note tea saved") for entry in entries),
         "notes: the plugin's log line", Page.texts))
    get = operation("GetExampleNotesV1Notes")
    page.submit(get, contains="TEA")
    page.shows(get + " pre.answer", lambda text: '"id": "tea"' in text and "milk" not in text,
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


def play_development_loop(page, devhost):
    """The library rebuilt while the page is open: a build that fails shows
    its first error and the old library serves on; one that passes is
    reloaded, and the page, its streams never lost, stays signed in. Then a
    fault set from the page, and a session recorded from it."""
    driver = page.driver
    page.sign_in(CHANGED, "signed in before the rebuild")
    driver.execute_script("""
        window.streamsLost = 0;
        for (const id of ["events-state", "log-state"]) {
          new MutationObserver(() => {
            if (document.getElementById(id).textContent !== "live") window.streamsLost++;
          }).observe(document.getElementById(id), {childList: true, characterData: true,
                                                  subtree: true});
        }""")
    with open(SOURCE, "w") as source:
        source.write("int Part() { return undeclared; }\n")
    # The compiler quotes with ‘’ under a UTF-8 locale, with '' under others.
    page.shows("#library-build", lambda text: text.startswith("failed after ") and
               text.translate(str.maketrans("‘’", "''")).endswith(
                   "the old library serves on: %s:1:21: error: 'undeclared' was not "
                   "declared in this scope" % SOURCE),
               "a build that fails: its first error shown")
    page.blank("#email-result")
    page.click("#email-reload", ("#email-result", "200 loaded", "the old library serves on"))
    # What the page shows now, it must read again from the reloaded plugin.
    page.blank("#token-state", "#email-address", "#email-result")
    with open(SOURCE, "w") as source:
        source.write("int Part() { return 1; }\n")
    page.check(
        ("#library-build", lambda text: text.startswith("built in "),
         "a build that passes: its time shown"),
        ("#library-reload", lambda text: text.startswith("qor-email-verification 18.0.0 in ") and
         text.endswith(" ms, the old one left 0 live blocks"),
         "the library reloaded, the old one leaving no block"),
        ("#event-list li", lambda texts: any(text.startswith("host reload ") for text in texts),
         "the reload listed among the events", Page.texts),
        ("#token-state", "Signed in as " + CHANGED, "still signed in after the reload"),
        ("#email-address", CHANGED, "the reloaded plugin reads the account with the token"),
        ("#events-state", "live", "the event stream stayed open"))
    assert driver.execute_script("return window.streamsLost") == 0, "a stream was lost"
    print("ok     neither stream was lost across the reload", flush=True)

    page.select("#fault-form [name=endpoint]", text="POST /v1/account/email/verification")
    page.select("#fault-form [name=answer]", "close")
    page.click("#fault-form button[type=submit]", (
        "#fault-list li", "POST /v1/account/email/verification: the connection closed",
        "a fault set from the page is listed"))
    page.click("#verification-send", (
        "#verification-result", "500 EmailVerification: Error setting changed email: "
        "Failed to read connection", "the plugin's answer to a connection closed"))
    page.click("#faults-clear", ("#fault-list li", [], "the faults cleared", Page.texts))

    page.click("#recording-toggle", ("#recording-result", "200 recording since the plugin reloaded",
                                     "a recording started from the page"))
    page.blank("#email-result")
    page.click("#email-reload", ("#email-result", "200 loaded", "a call recorded"))
    # A header that is not UTF-8, which the download must keep as it is.
    assert request(devhost.port, "GET", EMAIL, headers={"X-Raw": "a\xffb"})[0] == 200
    page.click("#recording-toggle", ("#recording-result", lambda text: text.startswith("200 ") and
                                     " records downloaded as session-" in text,
                                     "the recording stopped and downloaded"))
    recording = WebDriverWait(driver, 10).until(
        lambda _: glob.glob(DOWNLOADS + "/session-*.jsonl"))[0]
    with open(recording, "rb") as downloaded:
        assert b'"x-raw","a\xffb"' in downloaded.read(), "the download changed a header's bytes"
    replay = subprocess.run([PROGRAM, "--replay=" + recording], capture_output=True, text=True,
                            timeout=60)
    assert replay.returncode == 0, "the downloaded recording does not replay:\n" + replay.stdout
    print("ok     the downloaded recording replays: " + replay.stdout.strip(), flush=True)


def reconnect(page, devhost):
    """A sign-out made elsewhere, then the host restarted on its port: the
    page follows, and reads all it shows again. Returns the new host."""
    page.sign_in(CHANGED, "signed in again, to the changed address")
    assert request(devhost.port, "POST", "/_host/sign-out")[0] == 200
    page.shows("#token-state", "Signed out", "a sign-out made elsewhere shows")
    devhost.stop()
    page.shows("#events-state", "reconnecting…", "the host stopped: the streams reconnect")
    devhost = Devhost(PROGRAM, "--port=%d" % devhost.port)
    page.check(
        ("#events-state", "live", "the host back on its port: the streams live again"),
        ("#token-state", "Signed in as " + FIRST, "the new host's sign-in read again"),
        ("#email-address", FIRST, "the new host's account read again"),
        ("#mailbox-list li", [], "the new host's empty mailbox read again", Page.texts))
    return devhost


def check_browser_log(driver, devhost, prefix=""):
    """No line at error level in the browser's log, but for the plugin's
    calls the story fails on purpose (each answer is checked where it is
    made) and the icon the browser asks of the mock service, in the tab of
    the mail's link."""
    failed = "http://127.0.0.1:%d/qor-email-verification/v1/" % devhost.port
    icon = devhost.mock_url() + "/favicon.ico - "
    severe = [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    errors = [text for text in severe if not text.startswith(icon) and
              not (text.startswith(failed) and "the server responded" in text)]
    assert not errors, prefix + "the browser's log has errors:\n  " + "\n  ".join(errors)
    print("ok     %sno errors in the browser's log" % prefix, flush=True)


def main():
    started = time.time()
    shutil.rmtree(OUTPUT, ignore_errors=True)
    os.makedirs(os.path.dirname(SOURCE))
    os.makedirs(DOWNLOADS)
    shutil.copyfile(LIBRARY, LOADED)
    devhost = Devhost(PROGRAM, "--plugin=" + LOADED, "--watch=" + os.path.dirname(SOURCE),
                      "--build=" + BUILD_COMMAND)
    driver = None
    passed = False
    try:
        # The default configuration signs in at start; the story begins
        # before sign-in.
        assert request(devhost.port, "POST", "/_host/sign-out")[0] == 200
        driver = browser()
        page = Page(driver)
        play(page, devhost)
        play_development_loop(page, devhost)
        check_browser_log(driver, devhost)
        screenshots(driver)
        devhost = reconnect(page, devhost)
        # Left before its host stops, the page would log its streams' end.
        driver.get("about:blank")
        driver.get_log("browser")
        devhost.stop()
        devhost = Devhost(PROGRAM, "--plugin", os.path.join(
            BUILD, "examples/notes/zvm-be-example-notes.so"), "--export", "load_example_notes",
            "--config", "examples/notes/devhost.yaml")
        play_notes(page, devhost)
        check_browser_log(driver, devhost, "notes: ")
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
