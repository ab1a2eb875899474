// Changes to the files of some directories, through Linux's inotify: a file
// written and closed, moved in or out, created or deleted.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

namespace Halden::devhost {

class FileWatcher {
 public:
  FileWatcher();
  ~FileWatcher();
  FileWatcher(const FileWatcher&) = delete;
  FileWatcher& operator=(const FileWatcher&) = delete;

  // Watches `directory`, and with `recursive` every directory below it (but
  // hidden ones), those made later included: the files in such a one count
  // as changed when it is found. False with `error` set when it cannot.
  bool Watch(const std::string& directory, bool recursive, std::string& error);
  // Waits up to `timeout` for a change, then for as long as more follow
  // within `settle` of each other (an editor's save, a linker's output
  // written in parts). The paths changed, each once; none when the time ran
  // out or Wake was called.
  std::vector<std::string> Wait(std::chrono::milliseconds timeout,
                                std::chrono::milliseconds settle);
  // Ends a Wait under way, from any thread.
  void Wake();

 private:
  // Reads the events at hand, if any, into `changed`.
  void Read(std::vector<std::string>& changed);
  static void Note(const std::string& path, std::vector<std::string>& changed);

  const int inotify;
  const int wakeup;
  // The directory of each watch, and whether directories made in it are
  // watched too.
  std::map<int, std::pair<std::string, bool>> directories;
};

}  // namespace Halden::devhost
