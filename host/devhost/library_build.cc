#include "host/devhost/library_build.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <sstream>

extern char** environ;

namespace Halden::devhost {

BuildOutcome RunBuild(const std::string& command, std::atomic<pid_t>& running) {
  const auto start = std::chrono::steady_clock::now();
  BuildOutcome outcome;
  int output[2];
  if (pipe2(output, O_CLOEXEC) != 0) {
    outcome.output = "error: cannot make a pipe for the build's output";
    return outcome;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, output[1], STDERR_FILENO);
  // The host's sockets and files are not the build's: a daemon a build
  // leaves behind would hold the host's ports after it ends.
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  // Nor its signals: blocked ones, and ignored ones, which exec keeps
  // ignored (SIGPIPE, so that a pipe's writer would fail with an error).
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attributes, &none);
  sigset_t all;
  sigfillset(&all);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setpgroup(&attributes, 0);
  posix_spawnattr_setflags(&attributes,
                           POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
  const char* arguments[] = {"/bin/sh", "-c", command.c_str(), nullptr};
  pid_t child = 0;
  const int failure = posix_spawn(&child, "/bin/sh", &actions, &attributes,
                                  const_cast<char* const*>(arguments), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  close(output[1]);
  if (failure != 0) {
    close(output[0]);
    outcome.output = "error: cannot run /bin/sh for the build";
    return outcome;
  }
  running = child;
  char buffer[4096];
  for (ssize_t length; (length = read(output[0], buffer, sizeof buffer)) != 0;) {
    if (length > 0) outcome.output.append(buffer, static_cast<std::size_t>(length));
    if (length < 0 && errno != EINTR) break;
  }
  close(output[0]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  running = 0;
  outcome.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  outcome.took = std::chrono::steady_clock::now() - start;
  return outcome;
}

void StopBuild(std::atomic<pid_t>& running) {
  if (const pid_t group = running; group > 0) kill(-group, SIGTERM);
}

std::string FirstError(const std::string& output) {
  std::istringstream lines(output);
  std::string last;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("error:") != std::string::npos) return line;
    if (!line.empty()) last = line;
  }
  return last;
}

}  // namespace Halden::devhost
