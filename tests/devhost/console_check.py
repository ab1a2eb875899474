#!/usr/bin/python3
"""console_check.py <build dir>: the development host's web console in headless Chromium,
driven by Selenium: the story played on the page; the library rebuilt and reloaded under it,
a fault and a recording made from it; the host restarted; the notes example's page.
Screenshots in build/console-check/."""
import glob
import os
import re
import shutil
import subprocess
import sys
import time

from selenium import webdriver
from selenium.common.exceptions import StaleElementReferenceException, TimeoutException
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import Select, WebDriverWait

from devhost_process import EMAIL, PASSWORD, Devhost, notes_options, request

BUILD, OUTPUT = sys.argv[1], "build/console-check"
PROGRAM = os.path.join(BUILD, "host/devhost/zvm-devhost")
LIBRARY = os.path.join(BUILD, "email_verification/zvm-be-qor-email-verification.so")
# The host loads a copy of the library, which a build replaces: a compiler
# that only reads a source of this folder, then the built library copied.
LOADED, SOURCE = OUTPUT + "/plugin.so", OUTPUT + "/sources/probe.cc"
BUILD_COMMAND = "c++ -fsyntax-only {0} && cp {1} {2}.new && mv {2}.new {2}".format(
    SOURCE, LIBRARY, LOADED)
DOWNLOADS = os.path.abspath(OUTPUT + "/downloads")
WRONG, FIRST, CHANGED = "not-" + PASSWORD, "player@example.test", "changed.address@example.test"


def browser():
    options = webdriver.ChromeOptions()
    # This machine's network is closed: nothing to fetch.
    for argument in ["--headless=new", "--no-sandbox", "--disable-dev-shm-usage",
                     "--disable-background-networking", "--disable-component-update",
                     "--disable-sync", "--no-first-run", "--window-size=1280,900",
                     "--user-data-dir=" + os.path.abspath(OUTPUT + "/profile")]:
        options.add_argument(argument)
    options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
    driver = webdriver.Chrome(service=Service("/usr/bin/chromedriver"), options=options)
    driver.execute_cdp_cmd("Page.setDownloadBehavior", {"behavior": "allow",
                                                        "downloadPath": DOWNLOADS})
    return driver


def verify(holds, what, found=None):
    if not holds:
        raise AssertionError("%s: %r" % (what, found))
    print("ok     " + what, flush=True)


class Page:
    """The console in the browser, read through what it shows."""

    def __init__(self, driver):
        self.driver = driver

    def texts(self, selector, displayed=False):
        """The elements' texts (the displayed ones', if asked), blanks folded."""
        return [" ".join(found.text.split())
                for found in self.driver.find_elements(By.CSS_SELECTOR, selector)
                if not displayed or found.is_displayed()]

    def text(self, selector):
        return (self.texts(selector) or ["(nothing)"])[0]

    def shown(self, selector):
        return self.texts(selector, displayed=True)

    def check(self, *rows):
        """Waits, for each row (selector, expected[, what[, read]]), until the first
        element's text, or with a list expected or read=Page.texts the list of them,
        equals `expected` or passes it as a test."""
        for selector, expected, *rest in rows:
            what = rest[0] if rest else "%s shows %r" % (selector, expected)
            read = rest[1] if rest[1:] else Page.texts if isinstance(expected, list) else Page.text
            holds = expected if callable(expected) else lambda found: found == expected
            try:
                # An element the page replaced while it was read is read again.
                WebDriverWait(self.driver, 10, ignored_exceptions=[
                    StaleElementReferenceException]).until(lambda _: holds(read(self, selector)))
            except TimeoutException:
                raise AssertionError("%s: %s shows %r" % (what, selector, read(self, selector)))
            print("ok     " + what, flush=True)

    def fill(self, form, **values):
        for name, value in values.items():
            field = self.driver.find_element(By.CSS_SELECTOR, "%s [name=%s]" % (form, name))
            field.clear()
            field.send_keys(value)

    def click(self, selector, *rows):
        self.driver.find_element(By.CSS_SELECTOR, selector).click()
        self.check(*rows)

    def submit(self, form, *rows, **values):
        self.fill(form, **values)
        self.click(form + " button[type=submit]", *rows)

    def select(self, selector, value=None, text=None):
        found = Select(self.driver.find_element(By.CSS_SELECTOR, selector))
        found.select_by_value(value) if text is None else found.select_by_visible_text(text)

    def blank(self, *selectors):
        """Empties what the elements show, which the page must then show anew."""
        self.driver.execute_script(
            "for (const s of arguments) document.querySelector(s).textContent = ''", *selectors)

    def load(self, port, what):
        self.driver.get("http://127.0.0.1:%d/" % port)
        self.check(("html", lambda _: self.driver.execute_script(
            "return document.documentElement.dataset.ready") == "true", what))

    def sign_in(self, account, what):
        # The default configuration's first account's token.
        self.submit("#sign-in-form", ("#token-state", "Signed in as " + account, what),
                    token="dev-token-1")


def newest_event(entries):
    """The newest entry is the resource's Update, shown once under both its names."""
    session = '"email": "%s", "emailVerified": false, "fatalError": false' % CHANGED
    return (bool(entries) and entries[0].split(" ")[:2] == [
        "OnJsonApiEvent_qor-email-verification_v1_email", "OnJsonApiEvent"] and session in
        entries[0] and '"eventType": "Update"' in entries[0] and
        all(session not in entry for entry in entries[1:]))


def operation(name, selector=""):
    return "#endpoints [data-operation=%s] %s" % (name, selector)


def play(page, devhost):
    page.load(devhost.port, "the page loads")
    page.check(("#log-state", "live"), ("#email-result", "500 EmailVerification: Email "
                "verification status fetch failure: No KSA id token available"),
               ("#memory-counters [data-counter=liveBlocks]", lambda text: re.fullmatch(
                   "[0-9,]*[1-9][0-9,]*", text), "the plugin's memory counters"))
    page.sign_in(FIRST, "the page names the signed-in account")
    page.check(("#account-result", "200 Create event delivered to 1 subscription(s)"),
               ("#email dd", [FIRST, "no", "no"], "the status: not verified, no fatal error"))
    page.submit("#change-form", ("#change-result", "400 Wrong password"), (
        "#log-list li", lambda text: text.endswith("ERROR email-verification: Wrong password"),
        "the plugin's error line in the log"), ("#email-address", FIRST,
                                               "the address is unchanged"),
                email=CHANGED, password=WRONG)
    page.submit(
        "#change-form", ("#change-result", lambda text: text.startswith("204 "), "the right one"),
        ("#event-list li", newest_event,
         "the Update event listed first, once, with both its names", Page.texts),
        ("#email-address", CHANGED, "the event shows the new address"),
        ("#email-result", "Update event received"), password=PASSWORD)
    page.click("#verification-send", ("#verification-result", "204 mail sent"),
               ("#mailbox-list li", lambda text: text.startswith("To %s (locale en_us)" % CHANGED),
                "the mail to the new address in the mailbox"))
    driver = page.driver
    console = driver.current_window_handle
    page.click("#mailbox-list a.mail-link")
    WebDriverWait(driver, 10).until(lambda _: len(driver.window_handles) == 2)
    driver.switch_to.window([handle for handle in driver.window_handles if handle != console][0])
    page.check(("body", "Validated " + CHANGED, "the mail's link validates the address"))
    driver.close()
    driver.switch_to.window(console)
    page.check(
        ("#email dd", [CHANGED, "yes", "no"], "the verified state arrives through the events"),
        ("#mailbox-list li", lambda text: text.endswith("(used)"), "the followed link shown used"),
        ("#mailbox-list a", [], "a used link is no link"))
    play_forms(page, devhost)
    play_odd_shapes(page, devhost)
    # The event list's filter and its Clear.
    count = len(page.texts("#event-list li"))
    page.fill("#events", filter='"emailVerified": true')
    page.check(("#event-list li", lambda texts: len(texts) == 1 and '"emailVerified": true' in
                texts[0], "the filter keeps the one matching event", Page.shown))
    page.fill("#events", filter=" ")
    page.check(("#event-list li", lambda texts: len(texts) == count, "an empty filter shows all",
                Page.shown))
    page.click("#event-clear", ("#event-list li", [], "Clear empties the list"))
    page.submit(
        "#message-form", ("#message-result", "200 Create event delivered to 1 subscription(s)"),
        ("#email dd", [CHANGED, "yes", "yes"], "the unreadable message: the fatal error published"),
        payload='{"emailStatus":')
    allocations = "#memory-counters [data-counter=allocations]"
    before = page.text(allocations)
    page.click(
        "#memory-refresh", (allocations, lambda text: text != before,
                            "the memory counters refreshed: %s allocations before" % before),
        ("#records > details.record summary", lambda texts: texts and all(
            text.startswith("QorEmailVerification") for text in texts),
         "the plugin's records first", Page.texts),
        ("#records > details.framework > summary", lambda text: text.startswith(
            "Records of the framework and the host ("), "the others folded below them"))
    page.click("#sign-out", ("#account-result", "200 Delete event delivered to 1 subscription(s)"),
               ("#token-state", "Signed out"))
    values = driver.execute_script(
        "return [...document.querySelectorAll('input, textarea')].map(field => field.value)")
    shown = driver.execute_script("return document.body.innerText") + driver.page_source
    verify(not any(password in text for password in [PASSWORD, WRONG] for text in values + [shown]),
           "no password shown, none left in a field", values)


def play_forms(page, devhost):
    """The API's forms: required fields marked, the call as a curl line, each
    content type of the body, the answer's headers."""
    get = operation("GetQorEmailVerificationV1Email")
    put = operation("PutQorEmailVerificationV1Email")
    url = "http://127.0.0.1:%d%s" % (devhost.port, EMAIL)
    page.check((get + ".preview", "curl '%s'" % url, "the GET form's curl line"))
    page.click(get + "button[type=submit]", (get + "pre.answer", lambda text: '"email": "%s"' %
                                             CHANGED in text and '"emailVerified": true' in text,
                                             "the API's GET from its form answers the status"),
               (get + "pre.answer-headers", lambda text: "content-type: application/json" in text,
                "with its answer's headers"),
               (put + "label", lambda texts: [text for text in texts if text.endswith("*")] ==
                ["email (body, string) *", "password (body, string) *"],
                "the PUT form marks its required fields", Page.texts))
    page.fill(put, email="form@example.test", password=WRONG)
    page.check((put + ".preview", "curl -X PUT '%s' -H 'Content-Type: application/json' "
                "--data-raw '{\"email\":\"form@example.test\",\"password\":\"<password>\"}'" % url,
                "the PUT form's curl line, its password left out"))
    for content_type, line in [("application/x-yaml", '"email": "form@example.test"'),
                               ("application/x-msgpack",
                                r"printf '\x82\xa5email\xb1form@example.test\xa8password")]:
        page.select(put + "select", content_type)
        page.fill(put, password=WRONG)
        page.check((put + ".preview", lambda text: line in text and "-H 'Content-Type: %s'" %
                    content_type in text, "the curl line in %s" % content_type))
        page.blank(put + "p.result")
        page.click(put + "button[type=submit]", (put + "p.result", "400 Wrong password",
                                                 "a body in %s read by the plugin" % content_type))


def play_odd_shapes(page, devhost):
    """What the plugin's own API cannot show: a field named like a form's property, a
    typed body as MessagePack, YAML's line breaks, an answer cut short, a HEAD's curl
    line; a long text in MessagePack (a fixmap, its key, a str32 head and the text), and
    an empty record in YAML, which must still be a body."""
    shown = page.driver.execute_async_script("""
        const done = arguments[arguments.length - 1];
        Promise.all(["body_encoding", "call", "curl_line", "api_explorer"].map(
            (name) => import(`/console/${name}.js`))).then(async (
                [{encodeBody}, {call}, {curlLine}, {showEndpoints}]) => {
          const body = (schema) => ({requestBody: {content: Object.fromEntries(
              ["application/json", "application/x-msgpack"].map((type) => [type, {schema}]))}});
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
                cut.message ?? cut, curlLine("HEAD", "http://h/a", {}, undefined),
                encodeBody({t: "x".repeat(100000)}, "application/x-msgpack").length,
                encodeBody({}, "application/x-yaml")]);
        }).catch((error) => done(String(error)));""")
    origin = "http://127.0.0.1:%d" % devhost.port
    verify(shown == [
        "curl -X PUT '%s/a' -H 'Content-Type: application/json' --data-raw "
        "'{\"elements\":\"\"}'" % origin,
        "printf '\\x05' | curl -X PUT '%s/b' -H 'Content-Type: application/x-msgpack' "
        "--data-binary @-" % origin,
        '"t": "a\\u0085b\\u2028c\\u2029"', "No answer: cut", "curl --head 'http://h/a'",
        1 + 2 + 5 + 100000, "{}"], "a field named 'elements', a typed body in MessagePack, YAML's "
        "line breaks, an answer cut short, a HEAD's curl line, long and empty bodies", shown)


def play_notes(page, devhost):
    """Another plugin's page: only the panels every plugin has, and the API's forms, a
    path and a query parameter filled."""
    page.load(devhost.port, "notes: the page loads")
    page.check(("#plugin-title", "example-notes 18.0.0"))
    hidden = page.driver.execute_script("return ['email', 'change', 'verification', 'faults', "
                                        "'library'].map((id) => document.getElementById(id)"
                                        ".hidden)")
    verify(hidden == [True, True, True, True, False],
           "notes: the email panels and the faults are hidden, the library's card shows", hidden)
    # The notes configuration has no accounts of the mock service.
    page.check(("#token-state", "Signed in, with a token the mock service does not know"))
    put, get = operation("PutExampleNotesV1NotesById"), operation("GetExampleNotesV1Notes")
    page.submit(put, (put + "pre.answer", lambda text: '"text": "Buy tea"' in text,
                      "notes: the PUT form, its id in the path, answers the note"),
                id="tea", text="Buy tea", priority="Low")
    page.submit(get, (get + "pre.answer", lambda text: '"id": "tea"' in text and "milk" not in
                      text, "notes: the GET form filters by its query parameter"), contains="TEA")


def screenshots(driver):
    """The whole page, wide and as narrow as a phone's, nothing running over the side;
    the viewport emulated, as no window is narrower than 500."""
    for name, width in [("console.png", 1280), ("console-narrow.png", 360)]:
        metrics = {"width": width, "height": 900, "deviceScaleFactor": 1, "mobile": False}
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        metrics["height"], wide = driver.execute_script(
            "const root = document.documentElement; return [root.scrollHeight, root.scrollWidth]")
        driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", metrics)
        driver.save_screenshot("%s/%s" % (OUTPUT, name))
        verify(wide <= width, "%d pixels wide, nothing runs over the side" % width, wide)


def play_development_loop(page, devhost):
    """The library rebuilt under the open page: a failed build shows its first error and
    the old library serves on; one that passes is reloaded, and the page, its streams
    never lost, stays signed in. Then a fault set from the page, and a session recorded."""
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
        source.write("int f() { return undeclared; }\n")
    # The compiler quotes with ‘’ under a UTF-8 locale, with '' under others.
    page.check(("#library-build", lambda text: text.startswith("failed after ") and
                text.translate(str.maketrans("‘’", "''")).endswith(
                    "the old library serves on: %s:1:18: error: 'undeclared' was not "
                    "declared in this scope" % SOURCE), "a failed build: its first error"))
    # What the page shows now, it must read again from the reloaded plugin.
    page.blank("#token-state", "#email-address", "#email-result")
    with open(SOURCE, "w") as source:
        source.write("int f() { return 1; }\n")
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
    lost = driver.execute_script("return window.streamsLost")
    verify(lost == 0, "neither stream was lost across the reload", lost)

    page.select("#fault-form [name=endpoint]", text="POST /v1/account/email/verification")
    page.select("#fault-form [name=answer]", "close")
    page.click("#fault-form button[type=submit]",
               ("#fault-list li", "POST /v1/account/email/verification: the connection closed"))
    page.click("#verification-send", ("#verification-result", "500 EmailVerification: Error "
                                      "setting changed email: Failed to read connection"))
    page.click("#faults-clear", ("#fault-list li", []))

    page.click("#recording-toggle",
               ("#recording-result", "200 recording since the plugin reloaded"))
    page.blank("#email-result")
    page.click("#email-reload", ("#email-result", "200 loaded", "a call recorded"))
    # A header that is not UTF-8, which the download must keep as it is.
    verify(request(devhost.port, "GET", EMAIL, headers={"X-Raw": "a\xffb"})[0] == 200,
           "a call with a header that is not UTF-8")
    page.click("#recording-toggle", ("#recording-result", lambda text: text.startswith("200 ") and
                                     " records downloaded as session-" in text,
                                     "the recording stopped and downloaded"))
    recording = WebDriverWait(driver, 10).until(
        lambda _: glob.glob(DOWNLOADS + "/session-*.jsonl"))[0]
    with open(recording, "rb") as downloaded:
        verify(b'"x-raw","a\xffb"' in downloaded.read(), "the download keeps a header's bytes")
    replay = subprocess.run([PROGRAM, "--replay=" + recording], capture_output=True, text=True,
                            timeout=60)
    verify(replay.returncode == 0, "the downloaded recording replays", replay.stdout)


def reconnect(page, devhost):
    """A sign-out made elsewhere, then the host restarted on its port: the page follows,
    and reads all it shows again. Returns the new host."""
    page.sign_in(CHANGED, "signed in again, to the changed address")
    verify(request(devhost.port, "POST", "/_host/sign-out")[0] == 200, "signed out elsewhere")
    page.check(("#token-state", "Signed out", "a sign-out made elsewhere shows"))
    devhost.stop()
    page.check(("#events-state", "reconnecting…", "the host stopped: the streams reconnect"))
    devhost = Devhost(PROGRAM, "--port=%d" % devhost.port)
    # The new host's sign-in, account and empty mailbox read again.
    page.check(("#events-state", "live"), ("#token-state", "Signed in as " + FIRST),
               ("#email-address", FIRST), ("#mailbox-list li", []))
    return devhost


def check_browser_log(driver, devhost, prefix=""):
    """No error in the browser's log but the plugin's calls the story fails on purpose
    (each answer checked where it is made) and the icon of the mail link's tab, which
    the mock service has not."""
    failed = "http://127.0.0.1:%d/qor-email-verification/v1/" % devhost.port
    icon = devhost.mock_url() + "/favicon.ico - "
    severe = [entry["message"] for entry in driver.get_log("browser") if entry["level"] == "SEVERE"]
    errors = [text for text in severe if not text.startswith(icon) and
              not (text.startswith(failed) and "the server responded" in text)]
    verify(not errors, prefix + "no errors in the browser's log", errors)


def main():
    started = time.time()
    shutil.rmtree(OUTPUT, ignore_errors=True)
    os.makedirs(os.path.dirname(SOURCE))
    os.makedirs(DOWNLOADS)
    shutil.copyfile(LIBRARY, LOADED)
    devhost = Devhost(PROGRAM, "--plugin=" + LOADED, "--watch=" + os.path.dirname(SOURCE),
                      "--build=" + BUILD_COMMAND)
    driver, passed = None, False
    try:
        # The default configuration signs in at start; the story begins before sign-in.
        verify(request(devhost.port, "POST", "/_host/sign-out")[0] == 200, "signed out at start")
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
        devhost = Devhost(PROGRAM, *notes_options(BUILD))
        play_notes(page, devhost)
        check_browser_log(driver, devhost, "notes: ")
        passed = True
    except AssertionError as failure:
        print("FAILED %s\n%s" % (failure, "".join(devhost.lines)), flush=True)
        if driver is not None:
            driver.save_screenshot(OUTPUT + "/failure.png")
    finally:
        if driver is not None:
            driver.quit()
        devhost.stop()
    print("console check %s in %.1f s; screenshots in %s" %
          ("passed" if passed else "FAILED", time.time() - started, OUTPUT))
    return 0 if passed else 1


if __name__ == "__main__":
    sys.exit(main())
