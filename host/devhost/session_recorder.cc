#include "host/devhost/session_recorder.h"

#include <cstring>

#include "formats/property_to_json.h"

namespace Halden::devhost {

thread_local uint64_t SessionRecorder::currentAction = 0;

SessionRecorder::~SessionRecorder() {
  if (file != nullptr) std::fclose(file);
}

bool SessionRecorder::OpenFile(const std::string& path, std::string& error) {
  std::FILE* opened = std::fopen(path.c_str(), "w");
  if (opened == nullptr) {
    error = "cannot write the recording '" + path + "': " + std::strerror(errno);
    return false;
  }
  std::lock_guard guard(lock);
  file = opened;
  fileSink = {nextStep, Clock::now()};
  active = true;
  return true;
}

void SessionRecorder::StartBuffer() {
  std::lock_guard guard(lock);
  buffering = true;
  buffer.clear();
  bufferSink = {nextStep, Clock::now()};
  active = true;
}

std::optional<std::string> SessionRecorder::StopBuffer() {
  std::lock_guard guard(lock);
  if (!buffering) return std::nullopt;
  buffering = false;
  active = file != nullptr;
  return std::move(buffer);
}

bool SessionRecorder::Buffering() const {
  std::lock_guard guard(lock);
  return buffering;
}

SessionRecorder::Action::~Action() { currentAction = previous; }

uint64_t SessionRecorder::Write(const BindingProperty& record, uint64_t during) {
  const std::string json = PropertyToJson(record, nullptr, nullptr);
  std::lock_guard guard(lock);
  const uint64_t step = nextStep++;
  if (file != nullptr) {
    std::fputs(Line(fileSink, json, step, during).c_str(), file);
    std::fflush(file);
  }
  if (buffering && buffer.size() < kMaxBuffer) buffer += Line(bufferSink, json, step, during);
  return step;
}

// {"step":3,"time":0.125,"during":2, followed by the record's members.
std::string SessionRecorder::Line(const Sink& sink, const std::string& json, uint64_t step,
                                  uint64_t during) {
  const std::chrono::duration<double> time = Clock::now() - sink.start;
  char head[96];
  std::snprintf(head, sizeof head, "{\"step\":%llu,\"time\":%.3f,",
                static_cast<unsigned long long>(step - sink.firstStep + 1), time.count());
  std::string line = head;
  // An action begun before this recording began is not in it.
  if (during >= sink.firstStep) {
    line += "\"during\":" + std::to_string(during - sink.firstStep + 1) + ",";
  }
  return line + json.substr(1) + "\n";
}

}  // namespace Halden::devhost
