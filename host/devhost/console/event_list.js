// The events the plugin sends, newest first: name, time of arrival and
// payload.
import { clock, element, prepend, pretty } from "./dom.js";

const KEPT = 200;

export function createEventList() {
  const list = document.getElementById("event-list");
  return {
    add(event) {
      prepend(list, element("li", { class: "event" },
        element("div", { class: "entry-head" },
          element("code", { class: "event-name" }, event.name),
          element("time", {}, clock())),
        element("pre", { class: "payload" }, pretty(event.data))), KEPT);
    },
  };
}
