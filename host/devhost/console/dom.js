// Building elements: text always goes in as text, never as markup, since
// payloads, log lines and mails come from the plugin and the network.

// element("li", {class: "x"}, "text", child, ...): attributes are set as
// given; children are nodes or texts, null ones left out.
export function element(tag, attributes = {}, ...children) {
  const node = document.createElement(tag);
  for (const [name, value] of Object.entries(attributes)) node.setAttribute(name, value);
  for (const child of children) {
    if (child !== null && child !== undefined) node.append(child);
  }
  return node;
}

// Puts `node` first in `list` and drops the entries beyond `limit`.
export function prepend(list, node, limit) {
  list.prepend(node);
  while (list.children.length > limit) list.lastElementChild.remove();
}

// "14:03:07.250", the local time of now.
export function clock() {
  const now = new Date();
  const pad = (number, width) => String(number).padStart(width, "0");
  return `${pad(now.getHours(), 2)}:${pad(now.getMinutes(), 2)}:${pad(now.getSeconds(), 2)}` +
    `.${pad(now.getMilliseconds(), 3)}`;
}

// A value as indented JSON.
export function pretty(value) {
  return typeof value === "string" ? value : JSON.stringify(value, null, 2);
}
