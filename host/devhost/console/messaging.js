// The messaging service's email message: the host delivers the text typed
// here, as it is, as the message's payload to the plugin.
import { call, showResult } from "./call.js";

export function createMessaging() {
  const form = document.getElementById("message-form");
  const output = document.getElementById("message-result");
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const result = await call("POST", "/_host/message", {
      body: form.payload.value, contentType: "text/plain; charset=utf-8" });
    showResult(output, result, result.ok
      ? `${result.data.eventType} event delivered to ${result.data.subscribers} subscription(s)`
      : "");
  });
}
