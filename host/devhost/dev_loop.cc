#include "host/devhost/dev_loop.h"

#include <filesystem>

namespace Halden::devhost {
namespace {

// How long a change waits for the ones that come with it; an idle wait.
constexpr std::chrono::milliseconds kSettle{300};
constexpr std::chrono::milliseconds kIdle{60 * 60 * 1000};

bool IsSource(const std::filesystem::path& path) {
  const std::string extension = path.extension().string();
  return !path.filename().string().starts_with(".") &&
         (extension == ".h" || extension == ".cc" || extension == ".map" || extension == ".def" ||
          path.filename() == "CMakeLists.txt");
}

// A path in one spelling: a folder watched twice keeps the name it was
// watched under last, and its changes come under that name, so "x/." or
// "x/y/.." would hide the library's changes behind another name.
std::filesystem::path Spelled(const std::string& path) {
  std::filesystem::path normal = std::filesystem::absolute(path).lexically_normal();
  return normal.has_filename() || !normal.has_relative_path() ? normal : normal.parent_path();
}

}  // namespace

bool DevLoop::Start(std::string& error) {
  if (!watcher.Watch(Spelled(settings.library).parent_path().string(), false, error)) return false;
  for (const std::string& directory : settings.sources) {
    if (!watcher.Watch(Spelled(directory).string(), true, error)) return false;
  }
  thread = std::thread([this] { Run(); });
  return true;
}

void DevLoop::Stop() {
  if (!thread.joinable()) return;
  stopping = true;
  StopBuild(build);
  watcher.Wake();
  thread.join();
}

void DevLoop::Run() {
  const std::string library = Spelled(settings.library).string();
  bool libraryChanged = false;
  std::string sourceChanged;
  while (!stopping) {
    const bool pending = libraryChanged || !sourceChanged.empty();
    for (const std::string& path : watcher.Wait(pending ? kSettle : kIdle, kSettle)) {
      if (path == library) {
        libraryChanged = true;
      } else if (sourceChanged.empty() && IsSource(path)) {
        sourceChanged = path;
      }
    }
    if (stopping) break;
    if (!sourceChanged.empty() && !settings.build.empty()) {
      callbacks.building(sourceChanged);
      sourceChanged.clear();
      const BuildOutcome outcome = RunBuild(settings.build, build);
      if (stopping) break;
      callbacks.built(outcome);
      // What the build wrote, the library among it, comes with the next
      // wait; a library changed before stays to be reloaded then.
      continue;
    }
    sourceChanged.clear();
    if (libraryChanged) {
      libraryChanged = false;
      callbacks.libraryChanged();
    }
  }
}

}  // namespace Halden::devhost
