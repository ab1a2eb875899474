// Follows one of the host's streams of server-sent events (GET /events,
// GET /_host/log). It reads them through fetch rather than EventSource,
// which hands over only events whose names are known beforehand, while the
// plugin's event names are its resources'. After the stream ends it
// reconnects, two seconds later.

// Calls onEvent({id, name, data}) for each event, `data` read as JSON (the
// text when it is not), and onState(connected) when the stream opens or
// ends.
export function followServerEvents(path, onEvent, onState) {
  async function connect() {
    try {
      const response = await fetch(path, { cache: "no-store" });
      if (!response.ok) throw new Error(`status ${response.status}`);
      onState(true);
      const reader = response.body.pipeThrough(new TextDecoderStream()).getReader();
      let buffer = "";
      for (;;) {
        const { value, done } = await reader.read();
        if (done) break;
        buffer += value;
        for (let end = buffer.indexOf("\n\n"); end >= 0; end = buffer.indexOf("\n\n")) {
          const event = parseEvent(buffer.slice(0, end));
          buffer = buffer.slice(end + 2);
          if (event !== null) onEvent(event);
        }
      }
    } catch {
      // A refused or broken stream: the state below says so, and it is
      // tried again.
    }
    onState(false);
    setTimeout(connect, 2000);
  }
  connect();
}

// One event's lines ("id: 3", "event: name", "data: {...}"); null for a
// comment alone.
function parseEvent(block) {
  const fields = { id: "", event: "message", data: null };
  for (const line of block.split("\n")) {
    const colon = line.indexOf(":");
    if (colon <= 0) continue;
    const name = line.slice(0, colon);
    const value = line.slice(colon + 1).replace(/^ /, "");
    if (name === "data") fields.data = fields.data === null ? value : `${fields.data}\n${value}`;
    else if (name in fields) fields[name] = value;
  }
  if (fields.data === null) return null;
  let data = fields.data;
  try {
    data = JSON.parse(data);
  } catch {
    // Shown as the text it is.
  }
  return { id: fields.id, name: fields.event, data };
}
