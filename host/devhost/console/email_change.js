// The change-email form. The password goes into the request only: the
// field is emptied as soon as it is read, whatever the answer.
import { call, showResult } from "./call.js";
import { EMAIL_RESOURCE } from "./email_view.js";

export function createEmailChange() {
  const form = document.getElementById("change-form");
  const output = document.getElementById("change-result");

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const update = { email: form.email.value, password: form.password.value };
    form.password.value = "";
    const result = await call("PUT", EMAIL_RESOURCE, { json: update });
    showResult(output, result, "changed; the resource's event follows");
  });
}
