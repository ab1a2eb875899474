// Every endpoint of the plugin's API table, from the OpenAPI document: its
// method, path, parameters, body and answers, and a form that sends the
// call. The form marks the fields the API requires (but sends without
// them, so that the API's refusal shows too), offers the body's content
// types, shows the call as a curl line while it is filled in, and the
// answer's status, headers and body. A body whose record has fields gets
// one input per field; fields named like a password are password inputs,
// emptied once sent and never shown in the curl line.
import { encodeBody } from "./body_encoding.js";
import { call, showResult } from "./call.js";
import { curlLine } from "./curl_line.js";
import { element, pretty } from "./dom.js";
import { resolve, schemaText } from "./schema_text.js";

const METHODS = ["get", "put", "post", "delete", "patch", "options", "head"];
const HIDDEN_PASSWORD = "<password>";

// `onCalled` runs after each call a form sent.
export function showEndpoints(openApi, onCalled) {
  const container = document.getElementById("endpoints");
  container.replaceChildren();
  for (const [path, item] of Object.entries(openApi.paths ?? {})) {
    for (const method of METHODS.filter((name) => item[name])) {
      container.append(endpoint(openApi, path, method, item[method], onCalled));
    }
  }
}

function endpoint(openApi, path, method, operation, onCalled) {
  const parameters = operation.parameters ?? [];
  const bodySchema = operation.requestBody?.content?.["application/json"]?.schema;
  const answers = Object.entries(operation.responses ?? {}).map(([status, answer]) => {
    const schema = answer.content?.["application/json"]?.schema;
    return schema ? `${status} ${schemaText(schema)}` : status;
  });
  return element("article", { class: "endpoint", "data-operation": operation.operationId },
    element("h3", {},
      element("span", { class: `method method-${method}` }, method.toUpperCase()), " ",
      element("code", {}, path)),
    element("p", { class: "summary" }, operation.summary ?? operation.operationId),
    parameters.length ? parameterTable(parameters) : null,
    bodySchema ? element("p", {}, `Body: ${schemaText(bodySchema)}` +
                         (operation.requestBody.required ? " (required)" : "")) : null,
    element("p", {}, `Answers: ${answers.join("; ")}`),
    tryForm(openApi, path, method, operation, onCalled));
}

function parameterTable(parameters) {
  const row = (cells, tag) => element("tr", {}, ...cells.map((cell) => element(tag, {}, cell)));
  return element("div", { class: "scroll" }, element("table", {},
    element("thead", {}, row(["Parameter", "In", "Type", "Required"], "th")),
    element("tbody", {}, ...parameters.map((parameter) => row([parameter.name, parameter.in,
      schemaText(parameter.schema), parameter.required ? "yes" : "no"], "td")))));
}

function input(name, where, schema, required) {
  const type = schema?.type === "boolean" ? "checkbox"
    : /password/i.test(name) ? "password" : "text";
  return element("label", {}, element("span", {}, `${name} (${where}, ${schemaText(schema)})`,
    required ? element("span", { class: "required", title: "required" }, " *") : null),
    element("input", { name, type, "data-in": where, autocomplete: "off", spellcheck: "false",
                       "aria-required": String(required) }));
}

function tryForm(openApi, path, method, operation, onCalled) {
  const parameters = operation.parameters ?? [];
  const content = operation.requestBody?.content ?? {};
  const bodySchema = content["application/json"]?.schema;
  const fields = parameters.map((parameter) =>
    input(parameter.name, parameter.in, parameter.schema, parameter.required === true));
  const record = resolve(openApi, bodySchema);
  if (record?.properties) {
    const required = record.required ?? [];
    for (const [name, schema] of Object.entries(record.properties)) {
      fields.push(input(name, "body", schema, required.includes(name)));
    }
  } else if (bodySchema) {
    fields.push(element("label", {}, "Body (JSON)",
      element("textarea", { name: "body", "data-in": "raw", rows: "3", spellcheck: "false" })));
  }
  const types = Object.keys(content);
  // Held, not looked up by name on the form: a field of the API may be
  // named like any property of a form.
  const typeSelect = types.length ? element("select", { name: "content-type" },
    ...types.map((type) => element("option", { value: type }, type))) : null;
  const typeChoice = typeSelect ? element("label", {}, "Content type", typeSelect) : null;
  const preview = element("pre", { class: "payload preview" });
  const output = element("p", { class: "result" });
  const headers = element("pre", { class: "payload answer-headers" });
  const answer = element("pre", { class: "payload answer" });
  const form = element("form", { class: "try" }, ...fields, typeChoice,
    element("div", { class: "preview-head" }, element("span", {}, "As a curl line"),
            element("button", { type: "button", class: "copy" }, "Copy")),
    preview,
    element("div", { class: "actions" }, element("button", { type: "submit" }, "Send")),
    output, headers, answer);
  const verb = method.toUpperCase();
  const showPreview = () => {
    const request = readForm(form, path, record, typeSelect?.value, false);
    preview.textContent = curlLine(verb, location.origin + request.path, request.headers,
                                   request.body);
  };
  form.addEventListener("input", showPreview);
  form.querySelector(".copy").addEventListener("click", () =>
    navigator.clipboard?.writeText(preview.textContent));
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const request = readForm(form, path, record, typeSelect?.value, true);
    const result = await call(verb, request.path, {
      body: request.body, contentType: request.headers["Content-Type"], headers: request.headers });
    showResult(output, result, result.text ? "" : "(no body)");
    headers.textContent = result.headers.map(([name, value]) => `${name}: ${value}`).join("\n");
    answer.textContent = result.data !== null ? pretty(result.data) : result.text;
    showPreview();
    onCalled();
  });
  showPreview();
  return form;
}

// The call the form describes: {path, headers, body}, the body encoded in
// `contentType`. Its password inputs are emptied as read for a call
// (`sent`), and stand as HIDDEN_PASSWORD otherwise. A body typed as JSON
// goes as typed in a text format, and as its value in MessagePack; one that
// does not read as JSON goes as typed, for the plugin to refuse.
function readForm(form, template, record, contentType, sent) {
  let path = template;
  const query = new URLSearchParams();
  const headers = {};
  const fields = {};
  let text;
  for (const field of form.querySelectorAll("[data-in]")) {
    const { name } = field;
    const where = field.dataset.in;
    let value = field.type === "checkbox" ? field.checked : field.value;
    if (field.type === "password" && !sent && value !== "") value = HIDDEN_PASSWORD;
    if (field.type === "password" && sent) field.value = "";
    if (where === "path") path = path.replace(`{${name}}`, encodeURIComponent(value));
    else if (where === "query" && value !== "") query.append(name, value);
    else if (where === "header" && value !== "") headers[name] = value;
    else if (where === "raw" && value !== "") text = value;
    else if (where === "body") setField(fields, name, value, record.properties[name]);
  }
  const search = query.toString();
  let body;
  if (record?.properties) body = encodeBody(fields, contentType);
  else if (text !== undefined) body = rawBody(text, contentType);
  if (body !== undefined) headers["Content-Type"] = contentType;
  return { path: search ? `${path}?${search}` : path, headers, body };
}

function rawBody(text, contentType) {
  if (!contentType.startsWith("application/x-msgpack")) return text;
  try {
    return encodeBody(JSON.parse(text), contentType);
  } catch {
    return text;
  }
}

// Texts go in as typed; other values as the JSON they are written in, left
// out when empty.
function setField(body, name, value, schema) {
  if (schema?.type === "string" || typeof value === "boolean") {
    body[name] = value;
  } else if (value !== "") {
    try {
      body[name] = JSON.parse(value);
    } catch {
      body[name] = value;
    }
  }
}
