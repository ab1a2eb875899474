// Calls through an API table entry, as the client's core makes them.
#pragma once

#include <benchmark/benchmark.h>

#include <cstring>
#include <stdexcept>

#include "boundary/api_table.h"

namespace Halden::bench {

// The entry of `table` whose function is named `name`; throws when none is.
inline const ApiEndpointEntry& FindEntry(const ApiTable& table, const char* name) {
  for (uint32_t i = 0; i < table.entryCount; ++i) {
    if (std::strcmp(table.entries[i].function.name, name) == 0) return table.entries[i];
  }
  throw std::runtime_error(std::string("no endpoint ") + name);
}

// Calls `entry` with `call`, then releases the response the plugin filled;
// an error response throws.
inline void CallThroughTable(const ApiEndpointEntry& entry, ApiCallRecord& call) {
  call.callContext = entry.function.callContext;
  JsonApiResponse response{};
  entry.callback(&response, &call);
  if (response.errorText != nullptr) throw std::runtime_error(response.errorText);
  benchmark::DoNotOptimize(response.body);
  response.release(&response);
}

}  // namespace Halden::bench
