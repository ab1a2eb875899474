#include "host/devhost/devhost.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <map>

#include "formats/property_to_json.h"
#include "host/devhost/external_http.h"
#include "host/devhost/memory_counters.h"
#include "host/devhost/plugin_build_info.h"
#include "host/devhost/session_records.h"
#include "logging/log_level.h"

namespace Halden::devhost {
namespace {

constexpr std::size_t kMaxEventStreams = 8;
// A tab of the console holds one of each.
constexpr std::size_t kStreamsPerClient = 4;
constexpr const char* kCommandLineResource = "/haldenclient/command-line-args";

// When the file at `path` was last written, as "2024-05-01 14:03:22" in local
// time; empty when it cannot be read.
std::string WrittenAt(const std::string& path) {
  std::error_code failure;
  const auto written = std::filesystem::last_write_time(path, failure);
  if (failure) return "";
  const std::time_t time = std::chrono::system_clock::to_time_t(
      std::chrono::file_clock::to_sys(std::chrono::time_point_cast<std::chrono::seconds>(written)));
  std::tm local{};
  localtime_r(&time, &local);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
  return text;
}

// To the millisecond, for the event stream.
double Rounded(double seconds) { return std::round(seconds * 1000) / 1000; }

std::string Seconds(std::chrono::duration<double> took) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s", took.count());
  return text;
}

// A changed file as a developer named it: from the working directory where
// it is below it, and whole when that directory is gone.
std::string Shown(const std::string& path) {
  std::error_code gone;
  const std::filesystem::path working = std::filesystem::current_path(gone);
  if (gone) return path;
  const std::filesystem::path relative = std::filesystem::path(path).lexically_relative(working);
  return relative.empty() || relative.string().starts_with("..") ? path : relative.string();
}

std::string PluginName(const PluginRegistration& plugin) {
  return std::string(plugin.shortName != nullptr ? plugin.shortName : "") + " " +
         std::to_string(plugin.pluginMajor) + "." + std::to_string(plugin.pluginMinor) + "." +
         std::to_string(plugin.pluginPatch);
}

// What GET /_host/plugin answers; the version and the build only when the
// library carries them.
BindingProperty PluginDescription(const PluginRegistration& plugin, const std::string& path,
                                  const std::map<std::string, std::string>& build) {
  BindingProperty description;
  description.Member("name").SetString(plugin.shortName);
  description.Member("library").SetString(path);
  if (const auto version = build.find("version"); version != build.end()) {
    description.Member("version").SetString(version->second);
  }
  description.Member("apiVersion")
      .SetString(std::to_string(plugin.pluginMajor) + "." + std::to_string(plugin.pluginMinor) +
                 "." + std::to_string(plugin.pluginPatch));
  if (const auto commit = build.find("commit"); commit != build.end()) {
    description.Member("build").Member("commit").SetString(commit->second);
  }
  if (const auto type = build.find("build"); type != build.end()) {
    description.Member("build").Member("type").SetString(type->second);
  }
  return description;
}

}  // namespace

Devhost::Devhost(const DevhostOptions& options, Terminal& terminal)
    : options(options),
      terminal(terminal),
      plugin(host, recorder, options.plugin, options.exportName),
      events(kMaxEventStreams, kStreamsPerClient, "events of the plugin"),
      logLines(kMaxEventStreams, kStreamsPerClient, "log lines of the plugin"),
      mock([this](const MockAccount&) {
        const PluginGate::Pass pass = plugin.Enter();
        if (!pass) {
          this->terminal.Line(
              kLogError, "zvm-devhost: the validated address was not delivered: " + pass.Refusal());
          return;
        }
        controls->DeliverMessage(R"({"emailStatus":"validated"})");
      }),
      front(plugin, events, terminal, options.maxBody, options.consoleDir) {}

Devhost::~Devhost() { Stop(); }

bool Devhost::Start(std::string& error) {
  const int port = options.port.value_or(options.demo ? 0 : 8080);
  if (!front.Bind(port, error) || !mock.Bind(options.mockPort, error) || !Configure(error)) {
    return false;
  }
  if (options.record && !recorder.OpenFile(*options.record, error)) return false;
  ListenToThePlugin();
  if (!plugin.Load(error)) return false;
  const BindingProperty described = Describe();
  mock.Start();
  front.Start(*controls);
  serving = true;
  terminal.Line(kLogAlways, "zvm-devhost: serving " + described.Find("name").ToText() + " " +
                                described.Find("version").ToText() + " (plugin API " +
                                described.Find("apiVersion").ToText() + ") on " + Url() +
                                " (events: /events, OpenAPI: /openapi.json)");
  terminal.Line(kLogAlways, "zvm-devhost: mock email-verification service on " + MockUrl() +
                                " (mailbox: /mailbox)");
  terminal.Line(kLogAlways, "zvm-devhost: the console is at " + Url() + "/");
  return options.demo || !options.reload || StartLoop(error);
}

bool Devhost::Configure(std::string& error) {
  if (!LoadDevhostConfig(options.config, mock.Url(), config, error)) return false;
  // The story of the demo begins before sign-in.
  if (options.demo) config.resources.erase(kTokenResource);
  if (options.hostname) {
    BindingProperty& arguments = config.resources[kCommandLineResource];
    arguments.MakeCollection();
    arguments.Append().SetString("--email-verification.hostname=" + *options.hostname);
  }
  for (const auto& [path, body] : config.resources) host.SetResourceBody(path, body);
  mock.SetAccounts(config.accounts);
  if (!config.faults.IsEmpty()) mock.SetFaults(config.faults, error);
  std::optional<BindingProperty> token;
  if (const auto found = config.resources.find(kTokenResource); found != config.resources.end()) {
    token = found->second;
  }
  controls =
      std::make_unique<HostControls>(plugin, std::move(token), mock, events, logLines, *this);
  return true;
}

// What the plugin does goes to the event stream, the log stream, the
// terminal and the recording.
void Devhost::ListenToThePlugin() {
  host.SetRecording(false);
  host.SetExternalHandler([this](const host::ExternalCall& call) {
    const host::ExternalAnswer answer = CarryExternalRequest(call, options.timeoutScale);
    recorder.Add([&] { return ExternalRecord(call, answer); });
    return answer;
  });
  host.SetResourceFilter([this](const host::RecordedRequest& request, host::ResourceAnswer answer) {
    recorder.Add([&] { return ReadRecord(request, answer); });
    return answer;
  });
  host.SetEventListener([this](const host::SentEvent& event) {
    recorder.Add([&] { return SentRecord(event); });
    events.Publish(event.name, event.payload);
    if (terminal.Shows(kLogOkay))
      terminal.Line(kLogOkay, "event " + event.name + " " + event.payload);
  });
  host.SetLogListener([this](const host::LoggedLine& line) {
    recorder.Add([&] { return LogRecord(line); });
    terminal.Line(line.level, line.message);
    BindingProperty data;
    const std::string level = LevelName(line.level);
    data.Member("level").SetString(level.substr(level.find_first_not_of(' ')));
    data.Member("text").SetString(line.message);
    logLines.Publish("log", PropertyToJson(data, nullptr, nullptr));
  });
}

bool Devhost::StartLoop(std::string& error) {
  DevLoop::Callbacks callbacks;
  callbacks.building = [this](const std::string& changed) {
    terminal.Line(kLogAlways, "zvm-devhost: " + Shown(changed) + " changed: building the library");
    BindingProperty data;
    data.Member("state").SetString("building");
    data.Member("changed").SetString(Shown(changed));
    Report("host build", data);
  };
  callbacks.built = [this](const BuildOutcome& outcome) {
    BindingProperty data;
    data.Member("state").SetString(outcome.ok ? "built" : "failed");
    data.Member("seconds").SetFloat(Rounded(outcome.took.count()));
    if (outcome.ok) {
      terminal.Line(kLogAlways, "zvm-devhost: built in " + Seconds(outcome.took));
    } else {
      const std::string first = FirstError(outcome.output);
      data.Member("error").SetString(first);
      terminal.Line(kLogError, "zvm-devhost: the build failed after " + Seconds(outcome.took) +
                                   "; the old library serves on. First error: " + first);
    }
    Report("host build", data);
  };
  callbacks.libraryChanged = [this] { Reload({}); };
  loop = std::make_unique<DevLoop>(DevLoop::Settings{options.plugin, options.watch, options.build},
                                   std::move(callbacks));
  if (!loop->Start(error)) return false;
  watching = true;
  terminal.Line(
      kLogAlways,
      "zvm-devhost: reloads the library when it changes" +
          std::string(options.build.empty() ? "" : ", and rebuilds it when a source does") +
          " (--no-reload: not)");
  return true;
}

void Devhost::Reload(const std::function<void()>& unloaded) {
  // Named while the reload still holds the plugin: once it returns, another
  // reload may be unloading the library that holds the name.
  std::string name;
  const LoadedPlugin::Reloaded outcome = plugin.Reload(unloaded, [this, &name] {
    name = PluginName(host.Registration());
    controls->Restore();
    Describe();
  });
  const double milliseconds = std::round(outcome.took.count() * 1e4) / 10;
  char took[32];
  std::snprintf(took, sizeof took, "%.1f ms", milliseconds);
  BindingProperty data;
  data.Member("builtAt").SetString(WrittenAt(options.plugin));
  data.Member("milliseconds").SetFloat(milliseconds);
  data.Member("liveBlocks").SetUnsigned(outcome.liveBlocks);
  if (outcome.error.empty()) {
    data.Member("plugin").SetString(name);
    terminal.Line(kLogAlways, "zvm-devhost: reloaded " + name + ", built " +
                                  WrittenAt(options.plugin) + ", in " + took +
                                  "; the old one left " + std::to_string(outcome.liveBlocks) +
                                  " live blocks");
  } else {
    data.Member("error").SetString(outcome.error);
    terminal.Line(kLogError,
                  "zvm-devhost: the reload failed, and calls are refused until the "
                  "library loads: " +
                      outcome.error);
  }
  Report("host reload", data);
}

BindingProperty Devhost::Describe() {
  std::map<std::string, std::string> build;
  std::string unread;
  if (!ReadPluginBuildInfo(options.plugin, build, unread)) {
    terminal.Line(kLogWarning, "zvm-devhost: no version: " + unread);
  }
  BindingProperty described = PluginDescription(host.Registration(), options.plugin, build);
  controls->DescribePlugin(described);
  return described;
}

void Devhost::Report(const char* name, const BindingProperty& data) {
  {
    std::lock_guard guard(reportLock);
    (std::string(name) == "host build" ? lastBuild : lastReload) = data;
  }
  events.Publish(name, PropertyToJson(data, nullptr, nullptr));
}

BindingProperty Devhost::ReloadState() const {
  BindingProperty state;
  state.Member("watching").SetBool(watching);
  state.Member("library").SetString(options.plugin);
  state.Member("builtAt").SetString(WrittenAt(options.plugin));
  std::lock_guard guard(reportLock);
  if (!lastBuild.IsEmpty()) state.Member("build") = lastBuild;
  if (!lastReload.IsEmpty()) state.Member("reload") = lastReload;
  return state;
}

bool Devhost::StartRecording() {
  std::lock_guard guard(recordingLock);
  if (recorder.Buffering()) return false;
  terminal.Line(kLogAlways, "zvm-devhost: the console's recording begins; the plugin reloads");
  Reload([this] { recorder.StartBuffer(); });
  return true;
}

std::optional<std::string> Devhost::StopRecording() {
  std::lock_guard guard(recordingLock);
  std::optional<std::string> lines = recorder.StopBuffer();
  if (lines) terminal.Line(kLogAlways, "zvm-devhost: the console's recording ended");
  return lines;
}

void Devhost::Stop() {
  if (!serving) return;
  serving = false;
  if (loop) loop->Stop();
  events.Close();
  logLines.Close();
  // The mock first: a call of the plugin's that a fault holds there then
  // ends at once, where the front would wait for the plugin's time-out.
  mock.Stop();
  front.Stop();
  terminal.Line(kLogAlways, "zvm-devhost: memory counters of the plugin at shutdown: " +
                                MemoryCountersText(plugin.Shutdown()));
}

}  // namespace Halden::devhost
