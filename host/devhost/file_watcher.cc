#include "host/devhost/file_watcher.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>

namespace Halden::devhost {
namespace {

constexpr uint32_t kChanges = IN_CLOSE_WRITE | IN_MOVED_TO | IN_MOVED_FROM | IN_CREATE | IN_DELETE;

}  // namespace

FileWatcher::FileWatcher()
    : inotify(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), wakeup(eventfd(0, EFD_CLOEXEC)) {}

FileWatcher::~FileWatcher() {
  if (inotify >= 0) close(inotify);
  if (wakeup >= 0) close(wakeup);
}

bool FileWatcher::Watch(const std::string& directory, bool recursive, std::string& error) {
  const int watch = inotify < 0 ? -1 : inotify_add_watch(inotify, directory.c_str(), kChanges);
  if (watch < 0) {
    error = "cannot watch " + directory + ": " + std::strerror(inotify < 0 ? EMFILE : errno);
    return false;
  }
  directories[watch] = {directory, recursive};
  if (!recursive) return true;
  // Folders come and go, and some cannot be read: a walk stops at its
  // first failure rather than throw.
  std::error_code failure;
  for (std::filesystem::directory_iterator entry(directory, failure), end; !failure && entry != end;
       entry.increment(failure)) {
    const std::string name = entry->path().filename().string();
    std::error_code gone;
    if (entry->is_directory(gone) && !name.starts_with(".") &&
        !Watch(entry->path().string(), true, error)) {
      return false;
    }
  }
  return true;
}

void FileWatcher::Note(const std::string& path, std::vector<std::string>& changed) {
  if (std::find(changed.begin(), changed.end(), path) == changed.end()) changed.push_back(path);
}

void FileWatcher::Read(std::vector<std::string>& changed) {
  alignas(inotify_event) char buffer[16384];
  const ssize_t length = read(inotify, buffer, sizeof buffer);
  for (ssize_t at = 0; at < length;) {
    const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
    at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    const auto found = directories.find(event->wd);
    if (found == directories.end() || event->len == 0) continue;
    const std::string path = found->second.first + "/" + event->name;
    if ((event->mask & IN_ISDIR) == 0) {
      Note(path, changed);
    } else if ((event->mask & (IN_CREATE | IN_MOVED_TO)) != 0 && found->second.second &&
               event->name[0] != '.') {
      // What was written in it before its watch began is a change too.
      std::string ignored;
      Watch(path, true, ignored);
      std::error_code failure;
      for (std::filesystem::recursive_directory_iterator
               entry(path, std::filesystem::directory_options::skip_permission_denied, failure),
           end;
           !failure && entry != end; entry.increment(failure)) {
        std::error_code gone;
        if (entry->is_regular_file(gone)) Note(entry->path().string(), changed);
      }
    }
  }
}

std::vector<std::string> FileWatcher::Wait(std::chrono::milliseconds timeout,
                                           std::chrono::milliseconds settle) {
  std::vector<std::string> changed;
  pollfd watched[] = {{inotify, POLLIN, 0}, {wakeup, POLLIN, 0}};
  for (int wait = static_cast<int>(timeout.count());;) {
    if (poll(watched, 2, wait) <= 0) return changed;
    if ((watched[1].revents & POLLIN) != 0) {
      uint64_t count;
      if (read(wakeup, &count, sizeof count) < 0) count = 0;
      return {};
    }
    Read(changed);
    wait = static_cast<int>(settle.count());
  }
}

void FileWatcher::Wake() {
  const uint64_t one = 1;
  if (write(wakeup, &one, sizeof one) < 0) return;
}

}  // namespace Halden::devhost
