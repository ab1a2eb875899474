// The verification request: the plugin asks the service to mail a link to
// the account's address.
import { call, showResult } from "./call.js";

// `onSent` runs after the service took the request.
export function createVerification(onSent) {
  const output = document.getElementById("verification-result");
  document.getElementById("verification-send").addEventListener("click", async () => {
    const result = await call("POST", "/qor-email-verification/v1/confirm-email");
    showResult(output, result, "mail sent");
    if (result.ok) onSent();
  });
}
