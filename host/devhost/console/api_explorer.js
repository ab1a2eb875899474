// Every endpoint of the plugin's API table, from the OpenAPI document: its
// method, path, parameters, body and answers, and a form that sends the
// call and shows the answer's status and body. A body whose record has
// fields gets one input per field; fields named like a password are
// password inputs, emptied once sent.
import { call, showResult } from "./call.js";
import { element, pretty } from "./dom.js";
import { resolve, schemaText } from "./schema_text.js";

const METHODS = ["get", "put", "post", "delete", "patch", "options", "head"];

// `onCalled` runs after each call a form sent.
export function showEndpoints(openApi, onCalled) {
  const container = document.getElementById("endpoints");
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
    tryForm(openApi, path, method, parameters, bodySchema, onCalled));
}

function parameterTable(parameters) {
  const row = (cells, tag) => element("tr", {}, ...cells.map((cell) => element(tag, {}, cell)));
  return element("div", { class: "scroll" }, element("table", {},
    element("thead", {}, row(["Parameter", "In", "Type", "Required"], "th")),
    element("tbody", {}, ...parameters.map((parameter) => row([parameter.name, parameter.in,
      schemaText(parameter.schema), parameter.required ? "yes" : "no"], "td")))));
}

// Nothing is required here: a call the API refuses shows its answer too.
function input(name, where, schema) {
  const type = schema?.type === "boolean" ? "checkbox"
    : /password/i.test(name) ? "password" : "text";
  return element("label", {}, `${name} (${where}, ${schemaText(schema)})`,
    element("input", { name, type, "data-in": where, autocomplete: "off", spellcheck: "false" }));
}

function tryForm(openApi, path, method, parameters, bodySchema, onCalled) {
  const fields = parameters.map((parameter) =>
    input(parameter.name, parameter.in, parameter.schema));
  const record = resolve(openApi, bodySchema);
  if (record?.properties) {
    for (const [name, schema] of Object.entries(record.properties)) {
      fields.push(input(name, "body", schema));
    }
  } else if (bodySchema) {
    fields.push(element("label", {}, "Body (JSON)",
      element("textarea", { name: "body", "data-in": "raw", rows: "3", spellcheck: "false" })));
  }
  const output = element("p", { class: "result" });
  const answer = element("pre", { class: "payload answer" });
  const form = element("form", { class: "try" }, ...fields,
    element("div", { class: "actions" }, element("button", { type: "submit" }, "Send")),
    output, answer);
  form.addEventListener("submit", async (event) => {
    event.preventDefault();
    const request = readForm(form, path, record);
    const result = await call(method.toUpperCase(), request.path, request);
    showResult(output, result, result.text ? "" : "(no body)");
    answer.textContent = result.data !== null ? pretty(result.data) : result.text;
    onCalled();
  });
  return form;
}

// The call the form describes; its password inputs are emptied as read.
function readForm(form, template, record) {
  let path = template;
  const query = new URLSearchParams();
  const headers = {};
  const body = {};
  let text;
  for (const field of form.querySelectorAll("[data-in]")) {
    const { name } = field;
    const where = field.dataset.in;
    const value = field.type === "checkbox" ? field.checked : field.value;
    if (field.type === "password") field.value = "";
    if (where === "path") path = path.replace(`{${name}}`, encodeURIComponent(value));
    else if (where === "query" && value !== "") query.append(name, value);
    else if (where === "header" && value !== "") headers[name] = value;
    else if (where === "raw" && value !== "") text = value;
    else if (where === "body") setField(body, name, value, record.properties[name]);
  }
  const search = query.toString();
  return { path: search ? `${path}?${search}` : path, headers,
           json: record?.properties ? body : undefined, text };
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
