// Sign-in and sign-out: the host sets or removes the access token and
// delivers its event to the plugin.
import { call, showResult } from "./call.js";

// `onSignedIn` runs after a sign-in was delivered.
export function createSignIn(onSignedIn) {
  const form = document.getElementById("sign-in-form");
  const state = document.getElementById("token-state");
  const output = document.getElementById("account-result");

  async function refreshState() {
    const result = await call("GET", "/_host/token");
    state.textContent = !result.ok ? result.message
      : result.data.signedIn ? "Signed in" : "Signed out";
  }

  function delivered(result) {
    return result.ok
      ? `${result.data.eventType} event delivered to ${result.data.subscribers} subscription(s)`
      : "";
  }

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const result = await call("POST", "/_host/sign-in", { json: { token: form.token.value } });
    showResult(output, result, delivered(result));
    await refreshState();
    if (result.ok) onSignedIn();
  });

  document.getElementById("sign-out").addEventListener("click", async () => {
    const result = await call("POST", "/_host/sign-out");
    showResult(output, result, delivered(result));
    await refreshState();
  });

  return { refreshState };
}
