#include "host/devhost/dev_loop.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "host/devhost/file_watcher.h"
#include "host/devhost/library_build.h"

namespace Halden::devhost {
namespace {

using std::chrono::milliseconds;
using Paths = std::vector<std::string>;

TEST(FileWatcher, SeesFilesWrittenBelowAndSettles) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("watched-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "old");
  std::filesystem::create_directories(folder / ".hidden");
  const auto at = [&](const char* name) { return (folder / name).string(); };
  const auto changes = [](FileWatcher& watcher) {
    Paths changed = watcher.Wait(milliseconds(5000), milliseconds(200));
    std::sort(changed.begin(), changed.end());
    return changed;
  };
  FileWatcher watcher, flat;
  std::string error;
  ASSERT_TRUE(watcher.Watch(folder.string(), true, error)) << error;
  // A new folder is watched, with what came before; a file written twice is one change;
  // a hidden folder is not watched.
  std::filesystem::create_directory(folder / "new");
  for (const char* name : {"old/a.cc", "new/b.h", "old/a.cc", ".hidden/c.cc"}) {
    std::ofstream(folder / name) << name;
  }
  EXPECT_EQ(changes(watcher), (Paths{at("new/b.h"), at("old/a.cc")}));
  // A folder made in that new folder is watched too.
  std::filesystem::create_directory(folder / "new/deeper");
  EXPECT_TRUE(changes(watcher).empty());
  std::ofstream(folder / "new/deeper/d.cc") << "d";
  EXPECT_EQ(changes(watcher), Paths{at("new/deeper/d.cc")});
  std::thread waker([&] {
    std::this_thread::sleep_for(milliseconds(50));
    watcher.Wake();
  });
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(watcher.Wait(milliseconds(60000), milliseconds(200)).empty());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  waker.join();
  // Not recursive: the folder's own files only.
  ASSERT_TRUE(flat.Watch(folder.string(), false, error)) << error;
  for (const char* name : {"old/c.cc", "d.cc"}) std::ofstream(folder / name) << name;
  EXPECT_EQ(changes(flat), Paths{at("d.cc")});
  // A folder deleted: the files it held are changes, its watch's end is none.
  watcher.Wait(milliseconds(0), milliseconds(0));
  std::filesystem::remove_all(folder / "old");
  EXPECT_EQ(changes(watcher), (Paths{at("old/a.cc"), at("old/c.cc")}));
  // A folder moved in with an unreadable one in it: the rest is read.
  const std::filesystem::path moved = folder.string() + "-moved";
  std::filesystem::create_directories(moved / "locked");
  std::ofstream(moved / "a.cc") << "a";
  std::filesystem::permissions(moved / "locked", std::filesystem::perms::none);
  std::filesystem::rename(moved, folder / "moved");
  {
    struct OtherUser {  // root reads any folder
      const bool root = geteuid() == 0;
      OtherUser() { EXPECT_TRUE(!root || seteuid(65534) == 0); }
      ~OtherUser() { EXPECT_TRUE(!root || seteuid(0) == 0); }
    } user;
    EXPECT_EQ(changes(watcher), Paths{at("moved/a.cc")});
  }
  // A flat watch does not go into it.
  EXPECT_TRUE(flat.Wait(milliseconds(0), milliseconds(0)).empty());
  std::filesystem::permissions(folder / "moved/locked", std::filesystem::perms::owner_all);
  // A wake ends the wait with no change, even with one waiting.
  std::ofstream(folder / "e.cc") << "e";
  flat.Wake();
  EXPECT_TRUE(changes(flat).empty());
  // A loop does not start whose library's or source folder it cannot watch.
  EXPECT_FALSE(DevLoop({at("x.so"), {at("none")}, "true"}, {}).Start(error));
  EXPECT_FALSE(DevLoop({at("none/x.so"), {}, "true"}, {}).Start(error));
  std::filesystem::remove_all(folder);
  // A watcher's descriptor is closed even when it is 0 (standard input closed).
  const int input = dup(0);
  close(0);
  std::optional<FileWatcher> watching(std::in_place);
  EXPECT_NE(fcntl(0, F_GETFD), -1);
  watching.reset();
  EXPECT_EQ(fcntl(0, F_GETFD), -1);
  dup2(input, 0);
  close(input);
}

// What a loop reports once `files` are written in turn, up to `count` reports in 20 s.
std::vector<std::string> Reports(const DevLoop::Settings& settings,
                                 const std::vector<std::filesystem::path>& files,
                                 std::size_t count) {
  std::mutex lock;
  std::vector<std::string> seen;
  const auto note = [&](const std::string& what) {
    std::lock_guard guard(lock);
    seen.push_back(what);
  };
  DevLoop loop(settings,
               {[&](const std::string& path) { note("building " + path); },
                [&](const BuildOutcome& outcome) { note(outcome.ok ? "built" : "failed"); },
                [&] { note("reload"); }});
  std::string error;
  EXPECT_TRUE(loop.Start(error)) << error;
  // Longer than the loop's settling time: a loop at rest reports nothing.
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  for (const std::filesystem::path& file : files) std::ofstream(file) << "changed";
  for (int wait = 0; wait < 2000; ++wait) {
    std::this_thread::sleep_for(milliseconds(10));
    if (std::lock_guard guard(lock); seen.size() >= count) break;
  }
  loop.Stop();
  return seen;
}

// A library replaced with a source is reloaded after the build, which left it as it was.
TEST(DevLoop, ReloadsALibraryChangedBeforeTheBuild) {
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("loop-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder / "sub");
  const std::string library = (folder / "x.so").string();
  EXPECT_EQ(
      Reports({library, {folder.string()}, "true"}, {library, folder / "sub/a.cc"}, 3),
      (std::vector<std::string>{"building " + (folder / "sub/a.cc").string(), "built", "reload"}));
  // Sources are watched below their folders; the library alone in its own.
  EXPECT_EQ(Reports({library, {}, "true"}, {folder / "sub/b.cc", library}, 1),
            std::vector<std::string>{"reload"});
  // However the folders are spelled.
  EXPECT_EQ(
      Reports({(folder / "sub/../x.so").string(), {folder.string() + "/."}, "true"}, {library}, 1),
      std::vector<std::string>{"reload"});
  std::filesystem::remove_all(folder);
}

TEST(LibraryBuild, RunsTheCommandAndFindsTheFirstError) {
  std::atomic<pid_t> running{0};
  const BuildOutcome passed = RunBuild("echo compiled; echo warned >&2", running);
  EXPECT_EQ(std::tie(passed.ok, passed.output), std::tuple(true, "compiled\nwarned\n"));
  // Output of a single byte is kept too.
  const BuildOutcome failed = RunBuild("printf e; exit 3", running);
  EXPECT_EQ(std::tie(failed.ok, failed.output), std::tuple(false, "e"));
  EXPECT_EQ(running, 0);
  // Neither a signal the host ignores nor a descriptor it holds reach the build.
  const auto handler = std::signal(SIGPIPE, SIG_IGN);
  const int held = dup(STDIN_FILENO);
  const BuildOutcome isolated = RunBuild(
      "yes | head -n 1; if [ -e /proc/$$/fd/" + std::to_string(held) + " ]; then echo held; fi",
      running);
  close(held);
  std::signal(SIGPIPE, handler);
  EXPECT_EQ(std::tie(isolated.ok, isolated.output), std::tuple(true, "y\n"));
  // Stopped, the build ends at once with every process it started.
  std::thread stopper([&] {
    while (running == 0) std::this_thread::sleep_for(milliseconds(1));
    StopBuild(running);
  });
  const BuildOutcome stopped = RunBuild("sleep 20 & wait; echo done", running);
  stopper.join();
  EXPECT_EQ(std::tie(stopped.ok, stopped.output), std::tuple(false, ""));
  EXPECT_LT(stopped.took, std::chrono::seconds(10));
  const std::pair<const char*, const char*> cases[] = {
      {"[1/2] Building x.o\nFAILED: x.o\nc++ -Werror -c x.cc\nx.cc: In function 'f':\n"
       "x.cc:3:9: error: 'y' was not declared\n    3 |   return y;\nx.cc:4:1: error: z\n",
       "x.cc:3:9: error: 'y' was not declared"},
      {"make: *** [all] Interrupted\n\n", "make: *** [all] Interrupted"},
      {"", ""},
  };
  for (const auto& [output, first] : cases) EXPECT_EQ(FirstError(output), first) << output;
}

}  // namespace
}  // namespace Halden::devhost
