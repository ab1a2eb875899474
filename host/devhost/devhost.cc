#include "host/devhost/devhost.h"

#include <map>

#include "formats/property_to_json.h"
#include "host/devhost/external_http.h"
#include "host/devhost/memory_counters.h"
#include "host/devhost/plugin_build_info.h"
#include "logging/log_level.h"

namespace Halden::devhost {
namespace {

constexpr std::size_t kMaxEventStreams = 8;
// A tab of the console holds one of each.
constexpr std::size_t kStreamsPerClient = 4;
constexpr const char* kCommandLineResource = "/haldenclient/command-line-args";

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
      events(kMaxEventStreams, kStreamsPerClient, "events of the plugin"),
      logLines(kMaxEventStreams, kStreamsPerClient, "log lines of the plugin"),
      mock([this](const MockAccount&) {
        controls->DeliverMessage(R"({"emailStatus":"validated"})");
      }),
      front(host, events, terminal, options.maxBody, options.consoleDir) {}

Devhost::~Devhost() { Stop(); }

bool Devhost::Start(std::string& error) {
  const int port = options.port.value_or(options.demo ? 0 : 8080);
  if (!front.Bind(port, error) || !mock.Bind(options.mockPort, error) || !Configure(error)) {
    return false;
  }
  host.SetRecording(false);
  host.SetExternalHandler(&CarryExternalRequest);
  host.SetEventListener([this](const host::SentEvent& event) {
    events.Publish(event.name, event.payload);
    if (terminal.Shows(kLogOkay))
      terminal.Line(kLogOkay, "event " + event.name + " " + event.payload);
  });
  host.SetLogListener([this](const host::LoggedLine& line) {
    terminal.Line(line.level, line.message);
    BindingProperty data;
    const std::string level = LevelName(line.level);
    data.Member("level").SetString(level.substr(level.find_first_not_of(' ')));
    data.Member("text").SetString(line.message);
    logLines.Publish("log", PropertyToJson(data, nullptr, nullptr));
  });
  if (!host.Load(options.plugin, options.exportName)) {
    error = "cannot load the plugin library: " + host.Error();
    return false;
  }
  if (!host.Initialize()) {
    error = "the plugin's Initialize failed";
    return false;
  }
  std::map<std::string, std::string> build;
  std::string unread;
  if (!ReadPluginBuildInfo(options.plugin, build, unread)) {
    terminal.Line(kLogWarning, "zvm-devhost: no version: " + unread);
  }
  const BindingProperty plugin = PluginDescription(host.Registration(), options.plugin, build);
  controls->DescribePlugin(plugin);
  mock.Start();
  front.Start(*controls);
  serving = true;
  terminal.Line(kLogAlways, "zvm-devhost: serving " + plugin.Find("name").ToText() + " " +
                                plugin.Find("version").ToText() + " (plugin API " +
                                plugin.Find("apiVersion").ToText() + ") on " + Url() +
                                " (events: /events, OpenAPI: /openapi.json)");
  terminal.Line(kLogAlways, "zvm-devhost: mock email-verification service on " + MockUrl() +
                                " (mailbox: /mailbox)");
  terminal.Line(kLogAlways, "zvm-devhost: the console is at " + Url() + "/");
  return true;
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
  std::optional<BindingProperty> token;
  if (const auto found = config.resources.find(kTokenResource); found != config.resources.end()) {
    token = found->second;
  }
  controls = std::make_unique<HostControls>(host, std::move(token), mock, events, logLines);
  return true;
}

void Devhost::Stop() {
  if (!serving) return;
  serving = false;
  events.Close();
  logLines.Close();
  front.Stop();
  mock.Stop();
  terminal.Line(kLogAlways, "zvm-devhost: memory counters of the plugin at shutdown: " +
                                MemoryCountersText(host.GetMemoryStats()));
  host.Shutdown();
}

}  // namespace Halden::devhost
