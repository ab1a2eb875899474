// The console page: its parts set up, the host's two streams followed, the
// OpenAPI document read; then the page marks itself ready (data-ready on
// the root element), for whoever drives it.
import { showEndpoints } from "./api_explorer.js";
import { showDescription } from "./api_records.js";
import { call, showResult } from "./call.js";
import { createEmailChange } from "./email_change.js";
import { createEmailView } from "./email_view.js";
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
const signIn = createSignIn(emailView.load);
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

async function loadDescription() {
  const result = await call("GET", "/openapi.json");
  if (!result.ok) {
    showResult(document.getElementById("api-result"), result, "");
    return;
  }
  const { info } = result.data;
  document.getElementById("plugin-title").textContent = `${info.title} ${info.version}`;
  showEndpoints(result.data, mailbox.refresh);
  showDescription(result.data);
}

await Promise.all([
  follow("/events", "events-state", (event) => {
    eventList.add(event);
    emailView.applyEvent(event.data);
  }),
  follow("/_host/log", "log-state", (event) => logList.add(event.data)),
  emailView.load(),
  signIn.refreshState(),
  mailbox.refresh(),
  loadDescription(),
]);
document.documentElement.dataset.ready = "true";
