// The events the plugin sends, and those the host delivers to it (named
// "delivered <name>"), newest first: names, time of arrival and payload.
// The plugin sends each resource change twice in a row, under the
// resource's own event name and under OnJsonApiEvent for every resource;
// the list shows it once with both names. A filter keeps the entries whose
// names or payload hold its text; "Clear" empties the list.
import { clock, element, prepend, pretty } from "./dom.js";

const KEPT = 200;

export function createEventList() {
  const list = document.getElementById("event-list");
  const filter = document.getElementById("event-filter");
  let newest = null;  // {id, names, data, entry}

  function matches(entry) {
    const text = filter.value.trim().toLowerCase();
    return text === "" || entry.textContent.toLowerCase().includes(text);
  }

  function applyFilter() {
    for (const entry of list.children) entry.hidden = !matches(entry);
  }

  filter.addEventListener("input", applyFilter);
  document.getElementById("event-clear").addEventListener("click", () => {
    list.replaceChildren();
    newest = null;
  });

  return {
    // True when the event made an entry of its own.
    add(event) {
      const data = JSON.stringify(event.data);
      if (newest && Number(event.id) === newest.id + 1 && data === newest.data &&
          !newest.names.includes(event.name)) {
        newest.names.push(event.name);
        newest.id += 1;
        newest.entry.querySelector(".event-names")
          .append(element("code", { class: "event-name" }, event.name));
        newest.entry.hidden = !matches(newest.entry);
        return false;
      }
      const delivered = event.name.startsWith("delivered ");
      const entry = element("li", { class: delivered ? "event delivered" : "event" },
        element("div", { class: "entry-head" },
          element("span", { class: "event-names" },
            element("code", { class: "event-name" }, event.name)),
          element("time", {}, clock())),
        element("pre", { class: "payload" }, pretty(event.data)));
      entry.hidden = !matches(entry);
      prepend(list, entry, KEPT);
      newest = { id: Number(event.id), names: [event.name], data, entry };
      return true;
    },
  };
}
