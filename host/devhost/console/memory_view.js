// The plugin's memory counters, as the host reads them.
import { call, showResult } from "./call.js";
import { element } from "./dom.js";

const NAMES = [
  ["peakBytes", "Peak bytes"],
  ["liveBlocks", "Live blocks"],
  ["allocations", "Allocations"],
  ["bytesAllocated", "Bytes allocated"],
  ["frees", "Frees"],
  ["bytesFreed", "Bytes freed"],
];

export function createMemoryView() {
  const counters = document.getElementById("memory-counters");
  const output = document.getElementById("memory-result");

  async function refresh() {
    const result = await call("GET", "/_host/memory");
    if (!result.ok) {
      showResult(output, result, "");
      return;
    }
    output.textContent = "";
    counters.replaceChildren(...NAMES.flatMap(([key, label]) => [
      element("dt", {}, label),
      element("dd", { "data-counter": key }, Number(result.data[key] ?? 0).toLocaleString("en")),
    ]));
  }

  document.getElementById("memory-refresh").addEventListener("click", refresh);
  return { refresh };
}
