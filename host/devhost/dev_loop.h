// The development host's loop of edit, rebuild and reload. It watches the
// plugin library's file and, given a build command, the source directories:
// when a source file changes (a .h, .cc, .map or .def file, or a
// CMakeLists.txt) it runs the build, and when the library's file changes,
// by that build or any other, it has the host reload it. A build that fails
// leaves the library as it was, and so the old one serving.
//
// The callbacks run on the loop's own thread, one at a time.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "host/devhost/file_watcher.h"
#include "host/devhost/library_build.h"

namespace Halden::devhost {

class DevLoop {
 public:
  struct Settings {
    std::string library;
    std::vector<std::string> sources;
    std::string build;
  };
  struct Callbacks {
    // A build begins: the file whose change set it off.
    std::function<void(const std::string& changed)> building;
    std::function<void(const BuildOutcome& outcome)> built;
    std::function<void()> libraryChanged;
  };

  DevLoop(Settings settings, Callbacks callbacks)
      : settings(std::move(settings)), callbacks(std::move(callbacks)) {}
  ~DevLoop() { Stop(); }
  DevLoop(const DevLoop&) = delete;
  DevLoop& operator=(const DevLoop&) = delete;

  // Watches, and runs the loop on a thread of its own. False with `error`
  // set when a directory cannot be watched.
  bool Start(std::string& error);
  // Stops a build under way and the loop.
  void Stop();

 private:
  void Run();

  const Settings settings;
  const Callbacks callbacks;
  FileWatcher watcher;
  std::thread thread;
  std::atomic<bool> stopping{false};
  std::atomic<pid_t> build{0};
};

}  // namespace Halden::devhost
