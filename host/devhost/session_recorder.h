// Writes the records of a session (session_records.h) as they happen: to
// the file of --record from the host's start, and to a buffer between the
// console's start and stop of a recording. Each written line has its step,
// its time and the step of the host's action it was made during, counted
// from the beginning of that file or buffer.
//
// A host action is recorded through Begin, which it holds while it runs;
// what the plugin does on the same thread until then (its reads, external
// requests, events and log lines, and the call's response) is recorded
// through Add as done during it. Both take a function that makes the
// record, called only when something records. Any thread may record.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>

#include "binding/property.h"

namespace Halden::devhost {

class SessionRecorder {
 public:
  // The console's recording stops taking lines at this size.
  static constexpr std::size_t kMaxBuffer = 64 << 20;

  SessionRecorder() = default;
  ~SessionRecorder();
  SessionRecorder(const SessionRecorder&) = delete;
  SessionRecorder& operator=(const SessionRecorder&) = delete;

  // Starts writing to the file at `path`, which is replaced. False with
  // `error` set when it cannot be written.
  bool OpenFile(const std::string& path, std::string& error);
  // The console's recording: started anew, and ended with its lines;
  // nothing when none was running.
  void StartBuffer();
  std::optional<std::string> StopBuffer();
  bool Buffering() const;

  class Action {
   public:
    ~Action();
    Action(const Action&) = delete;
    Action& operator=(const Action&) = delete;

   private:
    friend class SessionRecorder;
    explicit Action(uint64_t previous) : previous(previous) {}
    uint64_t previous;
  };
  template <typename MakeRecord>
  [[nodiscard]] Action Begin(MakeRecord make) {
    const uint64_t previous = currentAction;
    currentAction = active ? Write(make(), 0) : 0;
    return Action(previous);
  }
  template <typename MakeRecord>
  void Add(MakeRecord make) {
    if (active) Write(make(), currentAction);
  }

 private:
  // The step of the host's action under way on this thread; 0 for none.
  static thread_local uint64_t currentAction;
  using Clock = std::chrono::steady_clock;
  struct Sink {
    uint64_t firstStep = 0;
    Clock::time_point start;
  };
  // The step given to `record`.
  uint64_t Write(const BindingProperty& record, uint64_t during);
  static std::string Line(const Sink& sink, const std::string& json, uint64_t step,
                          uint64_t during);

  std::atomic<bool> active{false};
  mutable std::mutex lock;
  uint64_t nextStep = 1;
  std::FILE* file = nullptr;
  Sink fileSink;
  bool buffering = false;
  std::string buffer;
  Sink bufferSink;
};

}  // namespace Halden::devhost
