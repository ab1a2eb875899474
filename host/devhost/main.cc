// zvm-devhost: the development host. Serves the plugin until Ctrl-C, or
// plays the demo (--demo) or a recorded session (--replay) and exits with
// its outcome.
#include <pthread.h>

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "host/devhost/demo_story.h"
#include "host/devhost/devhost.h"
#include "host/devhost/session_replay.h"
#include "logging/log_level.h"

int main(int argc, char** argv) {
  using namespace Halden::devhost;
  DevhostOptions options;
  options.config = ZVM_DEVHOST_CONFIG;
  options.plugin = ZVM_DEVHOST_PLUGIN;
  options.exportName = ZVM_DEVHOST_EXPORT;
  options.consoleDir = ZVM_DEVHOST_CONSOLE;
  std::string error;
  if (!ParseDevhostOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    std::fprintf(stderr, "zvm-devhost: %s\n%s", error.c_str(), kDevhostUsage);
    return 2;
  }
  if (options.help) {
    std::fputs(kDevhostUsage, stdout);
    return 0;
  }
  if (options.replay) {
    return ReplaySession(options.plugin, options.exportName, *options.replay, stdout);
  }
  // Ctrl-C and SIGTERM are taken by sigwait below, so every thread started
  // from here on blocks them; a client that goes away must not end the
  // process.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  // The demo's transcript shows every request; only errors besides it.
  Terminal terminal(stdout, options.quiet || options.demo);
  Devhost devhost(options, terminal);
  if (!devhost.Start(error)) {
    std::fprintf(stderr, "zvm-devhost: %s\n", error.c_str());
    return 1;
  }
  int status = 0;
  if (options.demo) {
    if (devhost.Config().accounts.empty()) {
      std::fprintf(stderr, "zvm-devhost: the demo needs an account in the configuration\n");
      status = 1;
    } else {
      status = RunDemo(devhost.Url(), devhost.MockUrl(), devhost.Config().accounts.front(), stdout);
    }
  } else {
    int signal = 0;
    sigwait(&stopSignals, &signal);
    terminal.Line(Halden::kLogAlways, "zvm-devhost: stopping");
  }
  devhost.Stop();
  return status;
}
