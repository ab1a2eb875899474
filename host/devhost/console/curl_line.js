// The curl command line that sends a request as the page would, for a
// terminal.

const quote = (text) => `'${text.replaceAll("'", "'\\''")}'`;

// `body` is a text or bytes (MessagePack), undefined for none.
export function curlLine(method, url, headers, body) {
  const words = ["curl"];
  // "-X HEAD" would wait for the body the answer's length announces.
  if (method === "HEAD") words.push("--head");
  else if (method !== "GET" || body !== undefined) words.push("-X", method);
  words.push(quote(url));
  for (const [name, value] of Object.entries(headers)) words.push("-H", quote(`${name}: ${value}`));
  if (typeof body === "string") return [...words, "--data-raw", quote(body)].join(" ");
  if (body === undefined) return words.join(" ");
  // printf takes the bytes: printable ones as they are, the others escaped.
  const escaped = [...body].map((byte) => (byte >= 0x20 && byte < 0x7f && !"'\\%".includes(
    String.fromCharCode(byte)) ? String.fromCharCode(byte)
    : `\\x${byte.toString(16).padStart(2, "0")}`)).join("");
  return `printf ${quote(escaped)} | ${[...words, "--data-binary", "@-"].join(" ")}`;
}
