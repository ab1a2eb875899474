// The records and events of the API description, from the OpenAPI
// document: each declared event with the record it carries, and each record
// with its fields, or each enumeration with its values, the plugin's own
// first.
import { element } from "./dom.js";
import { referenceName, schemaText } from "./schema_text.js";

export function showDescription(openApi) {
  const events = document.getElementById("declared-events");
  const list = element("ul", { class: "declared" });
  for (const [name, item] of Object.entries(openApi.webhooks ?? {})) {
    const schema = item.post?.requestBody?.content?.["application/json"]?.schema;
    list.append(element("li", {}, element("code", {}, name), " carries ",
      schema?.$ref ? recordLink(referenceName(schema.$ref)) : schemaText(schema),
      item.post?.summary ? ` — ${item.post.summary}` : ""));
  }
  events.replaceChildren(list);

  // The plugin's own records carry its tag; the framework's and the host's
  // are folded away below them.
  const tag = `Plugin ${openApi.info?.title}`;
  const own = [];
  const others = [];
  for (const [name, schema] of Object.entries(openApi.components?.schemas ?? {})) {
    (schema["x-tags"]?.includes(tag) ? own : others).push(record(name, schema));
  }
  document.getElementById("records").replaceChildren(...own,
    element("details", { class: "framework" },
      element("summary", {}, `Records of the framework and the host (${others.length})`),
      ...others));
}

function record(name, schema) {
  return element("details", { class: "record", id: `record-${name}` },
    element("summary", {}, element("code", {}, name),
            schema.description ? ` — ${schema.description}` : ""),
    schema.enum ? enumeration(schema) : fieldTable(schema));
}

// Opens the record it leads to.
function recordLink(name) {
  const link = element("a", { href: `#record-${name}` }, name);
  link.addEventListener("click", () => {
    const target = document.getElementById(`record-${name}`);
    target?.setAttribute("open", "");
    target?.closest("details.framework")?.setAttribute("open", "");
  });
  return link;
}

function enumeration(schema) {
  const values = schema["x-enum-values"] ?? {};
  return element("ul", {}, ...schema.enum.map((name) =>
    element("li", {}, element("code", {}, name), name in values ? ` = ${values[name]}` : "")));
}

function fieldTable(schema) {
  const required = schema.required ?? [];
  const row = (cells, tag) => element("tr", {}, ...cells.map((cell) => element(tag, {}, cell)));
  return element("div", { class: "scroll" }, element("table", {},
    element("thead", {}, row(["Field", "Type", "Required", "Description"], "th")),
    element("tbody", {}, ...Object.entries(schema.properties ?? {}).map(([name, field]) => row([
      name, field.$ref ? recordLink(referenceName(field.$ref)) : schemaText(field),
      required.includes(name) ? "yes" : "no", field.description ?? ""], "td")))));
}
