// Sign-in and sign-out: the host sets or removes the access token and
// delivers its event to the plugin.
import { call, showResult } from "./call.js";

export function createSignIn() {
  const form = document.getElementById("sign-in-form");
  const state = document.getElementById("token-state");
  const output = document.getElementById("account-result");

  // The host says whom the token is of, when the mock service knows it.
  async function refreshState() {
    const result = await call("GET", "/_host/token");
    if (!result.ok) state.textContent = result.message;
    else if (!result.data.signedIn) state.textContent = "Signed out";
    else if (result.data.account) state.textContent = `Signed in as ${result.data.account}`;
    else state.textContent = "Signed in, with a token the mock service does not know";
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
  });

  document.getElementById("sign-out").addEventListener("click", async () => {
    const result = await call("POST", "/_host/sign-out");
    showResult(output, result, delivered(result));
    await refreshState();
  });

  return { refreshState };
}
