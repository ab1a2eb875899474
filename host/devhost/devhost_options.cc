#include "host/devhost/devhost_options.h"

#include <algorithm>
#include <charconv>
#include <iterator>

namespace Halden::devhost {
namespace {

template <typename Number>
bool ReadNumber(const std::string& text, Number minimum, Number maximum, Number& value) {
  Number read{};
  const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), read);
  if (failure != std::errc() || end != text.data() + text.size() || read < minimum ||
      read > maximum) {
    return false;
  }
  value = read;
  return true;
}

// The options that take a value.
constexpr const char* kValued[] = {
    "--port",
    "--mock-port",
    "--max-body",
    "--config",
    "--plugin",
    "--export",
    "--console-dir",
    "--watch",
    "--build",
    "--timeout-scale",
    "--record",
    "--replay",
    "--email-verification.hostname",
};

}  // namespace

const char* const kDevhostUsage =
    "Usage: zvm-devhost [options]\n"
    "Serves a plugin (the email verification plugin unless --plugin names\n"
    "another) over HTTP on 127.0.0.1, with a mock email-verification service on\n"
    "another loopback port.\n"
    "  --port=N            the HTTP port (8080; 0 picks a free one)\n"
    "  --mock-port=N       the mock service's port (a free one)\n"
    "  --config=FILE       the configuration (YAML)\n"
    "  --plugin=FILE       the plugin library to load (the email verification one)\n"
    "  --export=SYMBOL     the export that registers it (that library's)\n"
    "  --console-dir=DIR   where the web console's files are (the source tree's)\n"
    "  --max-body=BYTES    the longest request body accepted (16777216)\n"
    "  --email-verification.hostname=URL\n"
    "                      passed on to the plugin's command line\n"
    "  --no-reload         keep the library loaded when its file changes\n"
    "  --watch=DIR         with --build: a source directory whose changes rebuild\n"
    "                      the library (repeatable)\n"
    "  --build=COMMAND     the shell command that rebuilds the library\n"
    "  --timeout-scale=F   multiply the plugin's time-outs of external requests by F\n"
    "                      (0 < F <= 1; for tests)\n"
    "  --record=FILE       record the session at the plugin's boundary, a JSON\n"
    "                      object a line\n"
    "  --replay=FILE       play a recorded session's host side against the library,\n"
    "                      print what the plugin did otherwise and exit (1 if anything)\n"
    "  --quiet             only errors on the terminal\n"
    "  --demo              play the whole story against the mock service, then exit\n";

bool ParseDevhostOptions(const std::vector<std::string>& arguments, DevhostOptions& options,
                         std::string& error) {
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const std::size_t equals = name.find('='); equals != std::string::npos) {
      value = name.substr(equals + 1);
      name.resize(equals);
    }
    if (name == "--quiet" || name == "--demo" || name == "--help" || name == "--no-reload") {
      if (value) {
        error = name + " takes no value";
        return false;
      }
      options.quiet = options.quiet || name == "--quiet";
      options.demo = options.demo || name == "--demo";
      options.help = options.help || name == "--help";
      options.reload = options.reload && name != "--no-reload";
      continue;
    }
    if (std::find(std::begin(kValued), std::end(kValued), name) == std::end(kValued)) {
      error = "Unknown option " + name;
      return false;
    }
    if (!value && i + 1 < arguments.size()) value = arguments[++i];
    if (!value) {
      error = name + " needs a value";
      return false;
    }
    int port = 0;
    bool read = true;
    if (name == "--port") {
      read = ReadNumber(*value, 0, 65535, port);
      options.port = port;
    } else if (name == "--mock-port") {
      read = ReadNumber(*value, 0, 65535, options.mockPort);
    } else if (name == "--max-body") {
      read = ReadNumber<std::size_t>(*value, 1, std::size_t{1} << 31, options.maxBody);
    } else if (name == "--config") {
      options.config = *value;
    } else if (name == "--plugin") {
      options.plugin = *value;
    } else if (name == "--export") {
      options.exportName = *value;
    } else if (name == "--console-dir") {
      options.consoleDir = *value;
    } else if (name == "--watch") {
      options.watch.push_back(*value);
    } else if (name == "--build") {
      options.build = *value;
    } else if (name == "--timeout-scale") {
      read = ReadNumber(*value, 0.0, 1.0, options.timeoutScale) && options.timeoutScale > 0;
    } else if (name == "--record") {
      options.record = *value;
    } else if (name == "--replay") {
      options.replay = *value;
    } else {
      options.hostname = *value;
    }
    if (!read) {
      error = "The value of " + name + " does not read: '" + *value + "'";
      return false;
    }
  }
  return true;
}

}  // namespace Halden::devhost
