// The plugin's log lines, newest first: time, level and text.
import { clock, element, prepend } from "./dom.js";

const KEPT = 500;

export function createLogList() {
  const list = document.getElementById("log-list");
  return {
    // `line`: {level: "OKAY" | "WARN" | "ERROR" | "ALWAYS", text}.
    add(line) {
      prepend(list, element("li", { class: "log-line" },
        element("time", {}, clock()),
        element("span", { class: `level level-${String(line.level).toLowerCase()}` }, line.level),
        element("span", { class: "log-text" }, line.text)), KEPT);
    },
  };
}
