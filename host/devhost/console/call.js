// Calls to the host from the page, and how their results read.

// Sends `method` `path` with `json` (a value sent as JSON), or with `body`
// (a text or bytes) in `contentType`. Resolves, never rejects, to {status,
// ok, bytes, text, data, message, headers}: `bytes` is the body as it came,
// `text` the body decoded as UTF-8, `data` the body read as JSON (null when
// it is not JSON), `message` the error's message for a failure ({"message",
// "status"}), or the body's text, `headers` the answer's headers as [name,
// value] pairs; status 0 when no answer came.
export async function call(method, path, { json, body, contentType, headers = {} } = {}) {
  const init = { method, headers: { ...headers }, cache: "no-store" };
  if (json !== undefined) {
    body = JSON.stringify(json);
    contentType = contentType ?? "application/json";
  }
  if (body !== undefined) {
    init.body = body;
    init.headers["Content-Type"] = contentType ?? "application/json";
  }
  let response;
  let bytes;
  try {
    response = await fetch(path, init);
    bytes = new Uint8Array(await response.arrayBuffer());
  } catch (error) {
    return { status: 0, ok: false, bytes: new Uint8Array(), text: "", data: null, headers: [],
             message: `No answer: ${error.message}` };
  }
  const text = new TextDecoder().decode(bytes);
  let data = null;
  try {
    data = text ? JSON.parse(text) : null;
  } catch {
    // Not JSON: the text stands for itself.
  }
  const failed = !response.ok && data !== null && typeof data.message === "string";
  return { status: response.status, ok: response.ok, bytes, text, data,
           headers: [...response.headers],
           message: failed ? data.message : text };
}

// Shows a result in `output`: "204 <success>" when it succeeded, otherwise
// the status and the message the call's answer carries.
export function showResult(output, result, success) {
  const status = result.status === 0 ? "—" : result.status;
  output.textContent = `${status} ${result.ok ? success : result.message}`.trim();
  output.classList.toggle("ok", result.ok);
  output.classList.toggle("error", !result.ok);
}
