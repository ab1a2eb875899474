// The mock service's faults: one set per endpoint from the form (an answer
// "as usual" without a delay clears the endpoint's), all cleared at once,
// and those in force listed.
import { call, showResult } from "./call.js";
import { element } from "./dom.js";

const ANSWERS = {
  status: "a status with a body",
  "not-json": "a body that is not JSON",
  close: "the connection closed",
  hang: "no answer until the time-out",
  "refuse-token": "the token refused",
};

export function createFaults() {
  const form = document.getElementById("fault-form");
  const list = document.getElementById("fault-list");
  const output = document.getElementById("fault-result");

  function show(faults) {
    list.replaceChildren(...Object.entries(faults).map(([endpoint, fault]) => {
      const answer = fault.answer === "status" ? `status ${fault.status} "${fault.body}"`
        : ANSWERS[fault.answer] ?? "the usual answer";
      const delay = fault.delay ? `, after ${fault.delay} ms` : "";
      return element("li", { class: "fault" }, element("code", {}, endpoint), `: ${answer}${delay}`);
    }));
  }

  async function refresh() {
    const result = await call("GET", "/_host/faults");
    if (result.ok) show(result.data);
    else showResult(output, result, "");
  }

  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const fault = {};
    if (Number(form.delay.value) > 0) fault.delay = Number(form.delay.value);
    if (form.answer.value) fault.answer = form.answer.value;
    if (form.answer.value === "status") {
      fault.status = Number(form.status.value);
      fault.body = form.body.value;
    }
    const result = await call("POST", "/_host/faults", { json: { [form.endpoint.value]: fault } });
    showResult(output, result, Object.keys(fault).length ? "set" : "cleared");
    if (result.ok) show(result.data);
  });

  document.getElementById("faults-clear").addEventListener("click", async () => {
    const result = await call("DELETE", "/_host/faults");
    showResult(output, result, "all cleared");
    if (result.ok) show(result.data);
  });

  return { refresh };
}
