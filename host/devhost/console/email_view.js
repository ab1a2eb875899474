// The plugin's email resource as the page shows it: loaded with GET, then
// kept current by the resource's events.
import { call, showResult } from "./call.js";

export const EMAIL_RESOURCE = "/qor-email-verification/v1/email";

export function createEmailView() {
  const address = document.getElementById("email-address");
  const verified = document.getElementById("email-verified");
  const fatal = document.getElementById("email-fatal");
  const output = document.getElementById("email-result");

  function show(session) {
    const yesNo = (value) => (value === undefined ? "—" : value ? "yes" : "no");
    address.textContent = session?.email || "—";
    verified.textContent = yesNo(session?.emailVerified);
    fatal.textContent = yesNo(session?.fatalError);
    verified.className = session?.emailVerified ? "good" : "";
    fatal.className = session?.fatalError ? "bad" : "";
  }

  // What cannot be read is not shown as it was.
  async function load() {
    const result = await call("GET", EMAIL_RESOURCE);
    showResult(output, result, "loaded");
    show(result.ok ? result.data : null);
  }

  // A resource event of the plugin: {uri, eventType, data}.
  function applyEvent(payload) {
    if (payload?.uri !== EMAIL_RESOURCE) return;
    if (payload.eventType === "Delete") {
      show(null);
    } else {
      show(payload.data);
    }
    output.textContent = `${payload.eventType} event received`;
    output.classList.remove("error");
    output.classList.add("ok");
  }

  document.getElementById("email-reload").addEventListener("click", load);
  return { load, applyEvent };
}
