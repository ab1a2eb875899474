// The console page: its parts set up, the OpenAPI document read, the host's
// two streams followed; then the page marks itself ready (data-ready on the
// root element), for whoever drives it. The email verification panels show
// only when the plugin served has the email resource.
import { showEndpoints } from "./api_explorer.js";
import { showDescription } from "./api_records.js";
import { call, showResult } from "./call.js";
import { createEmailChange } from "./email_change.js";
import { createEmailView, EMAIL_RESOURCE } from "./email_view.js";
import { createEventList } from "./event_list.js";
import { createLogList } from "./log_list.js";
import { createMailbox } from "./mailbox.js";
import { followServerEvents } from "./server_events.js";
import { createSignIn } from "./sign_in.js";
import { createVerification } from "./verification.js";

const emailView = createEmailView();
const eventList = createEventList();
const logList = createLogList();
const mailbox = createMailbox();
// Set once the OpenAPI document is read.
let emailFeature = false;
const signIn = createSignIn(() => emailFeature && emailView.load());
createEmailChange();
createVerification(mailbox.refresh);

// Resolves once the stream is open.
function follow(path, stateId, onEvent) {
  const state = document.getElementById(stateId);
  return new Promise((opened) => {
    followServerEvents(path, onEvent, (connected) => {
      state.textContent = connected ? "live" : "reconnecting…";
      state.classList.toggle("down", !connected);
      if (connected) opened();
    });
  });
}

// The document, or null when it cannot be read.
async function loadDescription() {
  const result = await call("GET", "/openapi.json");
  if (!result.ok) {
    showResult(document.getElementById("api-result"), result, "");
    return null;
  }
  const { info } = result.data;
  document.getElementById("plugin-title").textContent = `${info.title} ${info.version}`;
  showEndpoints(result.data, () => emailFeature && mailbox.refresh());
  showDescription(result.data);
  return result.data;
}

const openApi = await loadDescription();
emailFeature = Boolean(openApi?.paths?.[EMAIL_RESOURCE]);
for (const id of ["email", "change", "verification"]) {
  document.getElementById(id).hidden = !emailFeature;
}
await Promise.all([
  follow("/events", "events-state", (event) => {
    eventList.add(event);
    emailView.applyEvent(event.data);
  }),
  follow("/_host/log", "log-state", (event) => logList.add(event.data)),
  signIn.refreshState(),
  ...(emailFeature ? [emailView.load(), mailbox.refresh()] : []),
]);
document.documentElement.dataset.ready = "true";
