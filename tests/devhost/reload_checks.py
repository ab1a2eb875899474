"""The development host's reload: a library file replaced while the host
serves (renamed into place, as a linker writes a new file), with the event
stream open and the developer signed in; a call made during a reload; a
library that does not load; a build that fails, then one that succeeds; and
--no-reload; and the notes example, served through --plugin and --export,
reloaded the same way. Run by devhost_checks.py on hosts that load a copy of
the library, in a folder of their own."""
import json
import os
import shutil
import tempfile
import threading
import time

from devhost_process import CONFIRM, JSON, Devhost, EMAIL, EventClient, NOTES, message, request



def replace(source, target):
    """Puts a copy of `source` at `target` as a linker does: a new file."""
    shutil.copyfile(source, target + ".new")
    os.rename(target + ".new", target)


def timed(results, name, *arguments, **options):
    """A request on a thread of its own: its answer and when it came."""
    def send():
        answer = request(*arguments, **options)
        results[name] = (answer, time.monotonic())
    thread = threading.Thread(target=send)
    thread.start()
    return thread


def check_reload(program, library, folder, check):
    target = os.path.join(folder, "plugin.so")
    shutil.copyfile(library, target)
    # The plugin's 30 s of time-out are 6 s: long enough to reload meanwhile.
    devhost = Devhost(program, "--plugin=" + target, "--timeout-scale=0.2")
    port = devhost.port
    try:
        events = EventClient(port)
        replace(library, target)
        # The new plugin has its state before anyone else calls it.
        token = events.event("delivered OnJsonApiEvent_ksa-auth_v1_authorization")
        reload = events.event("host reload")
        check(reload.get("plugin") == "qor-email-verification 18.0.0" and
              reload["liveBlocks"] == 0 and reload["builtAt"],
              "the library replaced: reloaded on the open event stream, the old one leaving no "
              "block: %s" % reload)
        check(token["eventType"] == "Create" and token["data"]["token"] == "dev-token-1" and
              request(port, "POST", CONFIRM)[0] == 204,
              "the new plugin has the token again: still signed in")
        check(devhost.find("zvm-devhost: reloaded qor-email-verification 18.0.0, built ")
              is not None, "the terminal shows the reload and the library's time")

        # A reload waits for the call under way (held by a service that does
        # not answer), and a call that comes meanwhile waits for the reload.
        request(port, "POST", "/_host/faults", '{"GET /v1/account/status": {"answer": "hang"}}')
        results = {}
        slow = timed(results, "slow", port, "GET", EMAIL)
        time.sleep(0.5)
        replace(library, target)
        time.sleep(1.5)
        waiting = timed(results, "waiting", port, "GET", "/_host/memory")
        slow.join()
        waiting.join()
        (slow_answer, slow_end), (waiting_answer, waiting_end) = results["slow"], results["waiting"]
        check(message(slow_answer).endswith("No answer within 6 s") and
              waiting_answer[0] == 200 and waiting_end >= slow_end and
              events.event("host reload")["liveBlocks"] == 0,
              "a call during a reload waits for it, which waits for the call under way: %s, "
              "then %s" % (slow_answer, waiting_answer[0]))
        request(port, "DELETE", "/_host/faults")

        with open(target + ".new", "w") as broken:
            broken.write("not a library")
        os.rename(target + ".new", target)
        failed = events.event("host reload")
        answer = request(port, "GET", EMAIL)
        check(failed["error"].endswith("file too short") and answer[0] == 503 and
              message(answer) == "The plugin is not loaded: " + failed["error"],
              "a library that does not load: calls refused with 503 and why: %s" % (answer,))
        replace(library, target)
        events.event("host reload")
        answer = request(port, "GET", EMAIL)
        check(answer[0] == 200 and json.loads(answer[1])["email"] == "player@example.test",
              "a library that loads again serves, signed in: %s" % (answer,))
        events.close()
    finally:
        devhost.stop()


def check_build(program, library, folder, check):
    """The build runs when a source changes; here a compiler that only
    reads the source, and a copy of the library for a link."""
    target = os.path.join(folder, "built.so")
    shutil.copyfile(library, target)
    sources = os.path.join(folder, "sources")
    os.mkdir(sources)
    source = os.path.join(sources, "part.cc")
    build = "c++ -fsyntax-only %s && cp %s %s.new && mv %s.new %s" % (
        source, library, target, target, target)
    devhost = Devhost(program, "--plugin=" + target, "--watch=" + sources, "--build=" + build)
    try:
        events = EventClient(devhost.port)
        with open(source, "w") as file:
            file.write("int Part() { return undeclared; }\n")
        building = events.event("host build")
        failed = events.event("host build")
        check(building == {"state": "building", "changed": source} and
              failed["state"] == "failed" and
              failed["error"].startswith(source + ":1:21: error: ") and
              "undeclared" in failed["error"],
              "a source changed, the build fails: its first error: %s" % failed.get("error"))
        check(devhost.find("the old library serves on. First error: " + source + ":1:21: error")
              is not None and request(devhost.port, "POST", CONFIRM)[0] == 204,
              "the terminal shows the error, and the old library serves on")
        state = json.loads(request(devhost.port, "GET", "/_host/reload")[1])
        check(state["watching"] and state["build"] == failed and "reload" not in state,
              "GET /_host/reload shows the failed build")
        with open(source, "w") as file:
            file.write("int Part() { return 1; }\n")
        events.event("host build")
        built = events.event("host build")
        reload = events.event("host reload")
        check(built["state"] == "built" and built["seconds"] >= 0 and "plugin" in reload,
              "the source mended: built in %s s and reloaded" % built["seconds"])
        events.close()
    finally:
        devhost.stop()


def check_no_reload(program, library, folder, check):
    target = os.path.join(folder, "kept.so")
    shutil.copyfile(library, target)
    devhost = Devhost(program, "--plugin=" + target, "--no-reload")
    try:
        replace(library, target)
        # A reload comes within half a second of the change where it is on.
        time.sleep(1.5)
        state = json.loads(request(devhost.port, "GET", "/_host/reload")[1])
        check(not state["watching"] and "reload" not in state and
              devhost.find("reloaded") is None,
              "--no-reload: the library replaced, and not reloaded")
    finally:
        devhost.stop()


def check_notes_reload(program, notes, folder, check):
    """Another plugin's library, named by --plugin and --export, reloaded:
    /_host/plugin names the copy, and the sign-in state follows the reload
    both ways."""
    target = os.path.join(folder, "notes.so")
    shutil.copyfile(notes, target)
    devhost = Devhost(program, "--plugin", target, "--export", "load_example_notes",
                      "--config", "examples/notes/devhost.yaml")
    port = devhost.port
    put = (NOTES + "/tea", '{"text":"Buy tea"}', JSON)
    try:
        events = EventClient(port)
        replace(notes, target)
        reload = events.event("host reload")
        plugin = json.loads(request(port, "GET", "/_host/plugin")[1])
        check(reload.get("plugin") == "example-notes 18.0.0" and reload["liveBlocks"] == 0 and
              plugin["name"] == "example-notes" and plugin["library"] == target,
              "notes: the library replaced: reloaded through its export: %s, %s" %
              (reload, plugin))
        answer = request(port, "PUT", *put)
        check(answer[0] == 200 and request(port, "GET", NOTES + "?contains=milk")[0] == 200,
              "notes: the reloaded plugin serves, still signed in: %s" % (answer,))
        check(request(port, "POST", "/_host/sign-out")[0] == 200,
              "notes: signed out before the next reload")
        replace(notes, target)
        events.event("host reload")
        answer = request(port, "PUT", *put)
        check(answer[0] == 401, "notes: after the reload, still signed out: %s" % (answer,))
        events.close()
    finally:
        devhost.stop()


def run(program, library, notes, check):
    with tempfile.TemporaryDirectory() as folder:
        check_reload(program, library, folder, check)
        check_build(program, library, folder, check)
        check_no_reload(program, library, folder, check)
        check_notes_reload(program, notes, folder, check)
