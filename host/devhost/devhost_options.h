// The development host's command line.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace Halden::devhost {

struct DevhostOptions {
  // The front's port; 8080, or a free one for the demo, when not given.
  std::optional<int> port;
  int mockPort = 0;
  std::string config;
  // The plugin library and the export the host calls to register it.
  std::string plugin;
  std::string exportName;
  // Where the web console's files are.
  std::string consoleDir;
  std::size_t maxBody = 16u << 20;
  // The value of --email-verification.hostname=, passed on to the plugin.
  std::optional<std::string> hostname;
  // Reload the library when its file changes; with a build command, run it
  // when a file under one of the `watch` directories changes.
  bool reload = true;
  std::vector<std::string> watch;
  std::string build;
  // The plugin's time-outs of external requests are multiplied by it, so
  // that a test waits less for one to pass.
  double timeoutScale = 1;
  // Where the session is recorded, and the recording to replay instead of
  // serving.
  std::optional<std::string> record;
  std::optional<std::string> replay;
  bool quiet = false;
  bool demo = false;
  bool help = false;
};

// What --help prints.
extern const char* const kDevhostUsage;

// Reads the arguments after the program name, "--name=value" or
// "--name value"; `config`, `plugin`, `exportName` and `consoleDir` start as
// the given defaults. False with `error` set for an unknown option or a value that
// does not read.
bool ParseDevhostOptions(const std::vector<std::string>& arguments, DevhostOptions& options,
                         std::string& error);

}  // namespace Halden::devhost
