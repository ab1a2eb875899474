// A request body written in the content type chosen for it: JSON, YAML or
// MessagePack, the three formats the plugin reads.

// The body of `value` in `contentType`: a text, or bytes for MessagePack.
export function encodeBody(value, contentType) {
  if (contentType.startsWith("application/x-msgpack")) return messagePack(value);
  if (contentType.startsWith("application/x-yaml")) return yaml(value);
  return JSON.stringify(value);
}

// A record as one "name: value" line per field; JSON's texts, numbers and
// flow collections are YAML too, and so is "{}", which no lines would not be,
// once the three characters that YAML reads as line breaks and JSON leaves
// as they are are escaped.
function yaml(value) {
  const text = (item) => JSON.stringify(item).replace(/[\u0085\u2028\u2029]/g,
    (c) => `\\u${c.charCodeAt(0).toString(16).padStart(4, "0")}`);
  if (value === null || typeof value !== "object" || Array.isArray(value) ||
      Object.keys(value).length === 0) {
    return text(value);
  }
  return Object.entries(value).map(([name, field]) => `${text(name)}: ${text(field)}`).join("\n");
}

function messagePack(value) {
  const bytes = [];
  const push = (...more) => bytes.push(...more);
  const sized = (length, small, codes, smallLimit) => {
    if (length < smallLimit) push(small | length);
    else if (length < 0x100 && codes[0] !== undefined) push(codes[0], length);
    else if (length < 0x10000) push(codes[1], length >> 8, length & 0xff);
    else push(codes[2], (length >>> 24) & 0xff, (length >> 16) & 0xff, (length >> 8) & 0xff,
              length & 0xff);
  };
  const write = (item) => {
    if (item === null || item === undefined) {
      push(0xc0);
    } else if (typeof item === "boolean") {
      push(item ? 0xc3 : 0xc2);
    } else if (typeof item === "number" && Number.isInteger(item) && item >= 0 &&
               item < 0x80000000) {
      if (item < 0x80) push(item);
      else push(0xce, (item >>> 24) & 0xff, (item >> 16) & 0xff, (item >> 8) & 0xff, item & 0xff);
    } else if (typeof item === "number") {
      const view = new DataView(new ArrayBuffer(8));
      view.setFloat64(0, item);
      push(0xcb, ...new Uint8Array(view.buffer));
    } else if (typeof item === "string") {
      const text = new TextEncoder().encode(item);
      sized(text.length, 0xa0, [0xd9, 0xda, 0xdb], 32);
      // Byte by byte: spread as arguments, a long text overflows the stack.
      for (const byte of text) bytes.push(byte);
    } else if (Array.isArray(item)) {
      sized(item.length, 0x90, [undefined, 0xdc, 0xdd], 16);
      item.forEach(write);
    } else {
      const entries = Object.entries(item);
      sized(entries.length, 0x80, [undefined, 0xde, 0xdf], 16);
      for (const [name, field] of entries) {
        write(name);
        write(field);
      }
    }
  };
  write(value);
  return new Uint8Array(bytes);
}
