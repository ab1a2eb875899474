// The console page: its parts set up, the OpenAPI document read, the host's
// two streams followed; then the page marks itself ready (data-ready on the
// root element), for whoever drives it. The email verification panels, and
// the faults of the mock email-verification service, show only when the
// plugin served has the email resource. When a stream comes back after it
// was lost (the host restarted, say), or the host reloaded the plugin,
// everything the page shows is read again, since anything may have changed
// meanwhile.
import { showEndpoints } from "./api_explorer.js";
import { showDescription } from "./api_records.js";
import { call, showResult } from "./call.js";
import { createEmailChange } from "./email_change.js";
import { createEmailView, EMAIL_RESOURCE } from "./email_view.js";
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
const EMAIL_PANELS = ["email", "change", "verification", "messaging", "faults"];
// Set with each reading of the OpenAPI document.
let emailFeature = false;

function refreshMailbox() {
  return emailFeature ? mailbox.refresh() : Promise.resolve();
}

async function loadDescription() {
  const result = await call("GET", "/openapi.json");
  const failure = document.getElementById("api-result");
  if (!result.ok) {
    showResult(failure, result, "");
    return;
  }
  // A failure shown before, by an earlier reload, is over.
  failure.textContent = "";
  failure.classList.remove("error");
  const { info, paths } = result.data;
  document.getElementById("plugin-title").textContent = `${info.title} ${info.version}`;
  emailFeature = Boolean(paths?.[EMAIL_RESOURCE]);
  for (const id of EMAIL_PANELS) document.getElementById(id).hidden = !emailFeature;
  showEndpoints(result.data, () => Promise.all([refreshMailbox(), memory.refresh()]));
  showDescription(result.data);
}

function loadState() {
  return Promise.all([signIn.refreshState(), memory.refresh(), refreshMailbox(), library.refresh(),
                      ...(emailFeature ? [emailView.load(), faults.refresh()] : [])]);
}

// The OpenAPI document first: it tells which panels show.
async function loadAll() {
  await loadDescription();
  await loadState();
}

// Resolves once the stream is open the first time.
function follow(path, stateId, onEvent) {
  const state = document.getElementById(stateId);
  let lost = false;
  return new Promise((opened) => {
    followServerEvents(path, onEvent, async (connected) => {
      // Settled before the read again: a loss while it runs must stand.
      const reread = connected && lost;
      lost = !connected;
      state.textContent = connected ? "live" : "reconnecting…";
      state.classList.toggle("down", !connected);
      if (connected) opened();
      if (reread) await loadAll();
    });
  });
}

await loadDescription();
await Promise.all([
  follow("/events", "events-state", (event) => {
    // A sign-in or sign-out, made here or elsewhere, is delivered, and a
    // link followed changes the resource: what they change is read again.
    if (eventList.add(event)) {
      signIn.refreshState();
      refreshMailbox();
    }
    if (emailFeature && event.data?.uri === TOKEN_RESOURCE) emailView.load();
    emailView.applyEvent(event.data);
    library.applyEvent(event);
    if (event.name === "host reload") loadAll();
  }),
  follow("/_host/log", "log-state", (event) => logList.add(event.data)),
  loadState(),
]);
document.documentElement.dataset.ready = "true";
