// The plugin library as the host's reload loop keeps it: when the file was
// built, the last build (its time, or the compiler's first error while the
// old library serves on) and the last reload, from GET /_host/reload and
// then from the host's "host build" and "host reload" events. And the
// recording of the session: started here (which reloads the plugin, so
// that the recording holds its whole life) and stopped, downloaded as
// session-<time>.jsonl for `zvm-devhost --replay`.
import { call, showResult } from "./call.js";
import { clock } from "./dom.js";

export function createLibraryView() {
  const built = document.getElementById("library-built");
  const build = document.getElementById("library-build");
  const reload = document.getElementById("library-reload");
  const output = document.getElementById("library-result");
  const toggle = document.getElementById("recording-toggle");
  const recordingOutput = document.getElementById("recording-result");
  let recording = false;

  function showBuild(data) {
    const seconds = `${Number(data.seconds).toFixed(1)} s`;
    build.textContent = data.state === "building" ? `building: ${data.changed} changed`
      : data.state === "built" ? `built in ${seconds}`
      : `failed after ${seconds}; the old library serves on: ${data.error}`;
    build.className = data.state === "failed" ? "bad" : "";
  }

  function showReload(data) {
    if (data.builtAt) built.textContent = data.builtAt;
    reload.textContent = data.error ? `failed: ${data.error}`
      : `${data.plugin} in ${data.milliseconds} ms, the old one left ${data.liveBlocks} live blocks`;
    reload.className = data.error ? "bad" : "good";
  }

  function showRecording(running) {
    recording = running;
    toggle.textContent = running ? "Stop recording and download" : "Start recording";
  }

  async function refresh() {
    const [state, record] = await Promise.all([call("GET", "/_host/reload"),
                                               call("GET", "/_host/recording")]);
    if (!state.ok) {
      showResult(output, state, "");
      return;
    }
    built.textContent = state.data.builtAt || "—";
    output.textContent = state.data.watching ? "Reloaded when its file changes"
      : "Not reloaded: the host runs with --no-reload";
    if (state.data.build) showBuild(state.data.build);
    if (state.data.reload) showReload(state.data.reload);
    if (record.ok) showRecording(record.data.recording);
  }

  toggle.addEventListener("click", async () => {
    if (!recording) {
      const result = await call("POST", "/_host/recording");
      showResult(recordingOutput, result, "recording since the plugin reloaded");
      if (result.ok) showRecording(true);
      return;
    }
    const result = await call("DELETE", "/_host/recording");
    showRecording(false);
    if (!result.ok) {
      showResult(recordingOutput, result, "");
      return;
    }
    const name = `session-${clock().replaceAll(":", "-").replace(".", "-")}.jsonl`;
    const link = document.createElement("a");
    // The bytes as recorded: a text decoded from them would replace any that
    // are not UTF-8.
    link.href = URL.createObjectURL(new Blob([result.bytes], { type: "application/x-ndjson" }));
    link.download = name;
    link.click();
    setTimeout(() => URL.revokeObjectURL(link.href));
    const lines = result.text.split("\n").filter((line) => line).length;
    showResult(recordingOutput, result, `${lines} records downloaded as ${name}`);
  });

  return {
    refresh,
    // "host build" and "host reload" events.
    applyEvent(event) {
      if (event.name === "host build") showBuild(event.data);
      if (event.name === "host reload") showReload(event.data);
    },
  };
}
