// The console page: its parts set up, the host's two streams followed, the
// OpenAPI document read; then the page marks itself ready (data-ready on
// the root element), for whoever drives it. When a stream comes back after
// it was lost (the host restarted, say), or the host reloaded the plugin,
// everything the page shows is read again, since anything may have changed
// meanwhile.
import { showEndpoints } from "./api_explorer.js";
import { showDescription } from "./api_records.js";
import { call, showResult } from "./call.js";
import { createEmailChange } from "./email_change.js";
import { createEmailView } from "./email_view.js";
import { createEventList } from "./event_list.js";
import { createFaults } from "./faults.js";
import { createLibraryView } from "./library.js";
import { createLogList } from "./log_list.js";
import { createMailbox } from "./mailbox.js";
import { createMemoryView } from "./memory_view.js";
import { createMessaging } from "./messaging.js";
import { followServerEvents } from "./server_events.js";
import { createSignIn } from "./sign_in.js";
import { createVerification } from "./verification.js";

const emailView = createEmailView();
const eventList = createEventList();
const logList = createLogList();
const mailbox = createMailbox();
const memory = createMemoryView();
const signIn = createSignIn();
const library = createLibraryView();
const faults = createFaults();
createEmailChange();
createVerification(mailbox.refresh);
createMessaging();

const TOKEN_RESOURCE = "/ksa-auth/v1/authorization/access-token";

async function loadDescription() {
  const result = await call("GET", "/openapi.json");
  if (!result.ok) {
    showResult(document.getElementById("api-result"), result, "");
    return;
  }
  const { info } = result.data;
  document.getElementById("plugin-title").textContent = `${info.title} ${info.version}`;
  showEndpoints(result.data, () => Promise.all([mailbox.refresh(), memory.refresh()]));
  showDescription(result.data);
}

function loadAll() {
  return Promise.all([emailView.load(), signIn.refreshState(), mailbox.refresh(),
                      memory.refresh(), loadDescription(), library.refresh(), faults.refresh()]);
}

// Resolves once the stream is open the first time.
function follow(path, stateId, onEvent) {
  const state = document.getElementById(stateId);
  let lost = false;
  return new Promise((opened) => {
    followServerEvents(path, onEvent, async (connected) => {
      if (connected && lost) await loadAll();
      lost = !connected;
      state.textContent = connected ? "live" : "reconnecting…";
      state.classList.toggle("down", !connected);
      if (connected) opened();
    });
  });
}

await Promise.all([
  follow("/events", "events-state", (event) => {
    // A sign-in or sign-out, made here or elsewhere, is delivered, and a
    // link followed changes the resource: what they change is read again.
    if (eventList.add(event)) {
      signIn.refreshState();
      mailbox.refresh();
    }
    if (event.data?.uri === TOKEN_RESOURCE) emailView.load();
    emailView.applyEvent(event.data);
    library.applyEvent(event);
    if (event.name === "host reload") loadAll();
  }),
  follow("/_host/log", "log-state", (event) => logList.add(event.data)),
  loadAll(),
]);
document.documentElement.dataset.ready = "true";
