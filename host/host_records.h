// What the in-process host records of the plugin's calls, and what a test
// scripts it to answer.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "binding/property.h"
#include "boundary/host_interface.h"

namespace Halden::host {

using HeaderList = std::vector<std::pair<std::string, std::string>>;

struct LoggedLine {
  uint32_t level;
  std::string message;
};

// A request the plugin made to the host's local JSON API; the parameters
// as a JSON object of name to value.
struct RecordedRequest {
  uint32_t method;
  std::string url;
  std::string parameters;
  uintptr_t hostToken;
};

// How the host answers requests for one path: a body, an error with its
// status, or a body streamed in chunks.
struct ResourceAnswer {
  BindingProperty body;
  bool fails = false;
  std::string error;
  uint32_t status = 200;
  // Streamed: `streamed` is sent in chunks of `chunkSize` bytes.
  bool stream = false;
  std::string streamed;
  uint32_t chunkSize = 4096;
  uint32_t expectedLength = 0;
  // Faults: the read fails at this chunk (counted from 1), or reports this
  // many bytes more than it copied.
  uint32_t failAtChunk = 0;
  uint32_t overReport = 0;
};

// An external request as the host received it.
struct ExternalCall {
  uint32_t method;
  std::string url;
  HeaderList headers;
  std::string body;
  bool nullBody;
  uint32_t timeout;
  uint32_t further;
};

// The host's answer to an external request. The faults give the plugin what
// a broken host could: a null body pointer with a length, a null header
// array with a count, headers with null names.
struct ExternalAnswer {
  int32_t transport = 0;
  uint32_t status = 200;
  HeaderList headers;
  std::string body;
  bool nullBody = false;
  bool nullHeaderArray = false;
  bool nullHeaderNames = false;
};

// A subscription the plugin made with the host.
struct HostSubscription {
  std::string name;
  uintptr_t token;
  HostEventCallback callback;
  uintptr_t userData;
  uint32_t kind;
};

// An event the plugin sent, its payload as compact JSON.
struct SentEvent {
  std::string name;
  uint32_t kind;
  std::string payload;
};

// A local call into the plugin's API table.
struct CallRequest {
  uint32_t method = 2;
  std::string methodName;
  // With the query, as the client sends it.
  std::string path;
  HeaderList headers;
  std::string contentType;
  std::string body;
  bool hasBody = false;
  // Explicit arguments; their memory stays the caller's.
  std::vector<HostParameter> arguments;
  uintptr_t hostContext = 0;
};

// What the plugin answered, read from its response record before the host
// released it.
struct CallResponse {
  bool found = false;
  bool error = false;
  std::string errorText;
  uint32_t status = 0;
  uint32_t kind = 0;
  std::string contentType;
  HeaderList headers;
  // The body tree as compact JSON (empty text for an empty body, or one that
  // does not convert).
  std::string json;
  // A stream read whole; a read that fails sets `error`.
  bool streamed = false;
  std::string streamedBody;
};

}  // namespace Halden::host
