// The records and events of the API description, from the OpenAPI
// document: each declared event with the record it carries, and each record
// with its fields, or each enumeration with its values.
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

  const records = document.getElementById("records");
  for (const [name, schema] of Object.entries(openApi.components?.schemas ?? {})) {
    records.append(element("details", { class: "record", id: `record-${name}` },
      element("summary", {}, element("code", {}, name),
              schema.description ? ` — ${schema.description}` : ""),
      schema.enum ? enumeration(schema) : fieldTable(schema)));
  }
}

// Opens the record it leads to.
function recordLink(name) {
  const link = element("a", { href: `#record-${name}` }, name);
  link.addEventListener("click", () => {
    document.getElementById(`record-${name}`)?.setAttribute("open", "");
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
