// Shared by the API tests: the sample plugin registered and initialized, and an
// entry of an API table found by its function's name or its path template.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string_view>

#include "host/in_process_host.h"
#include "tests/support/sample_plugin.h"

namespace Halden {

inline const ApiEndpointEntry& Find(const ApiTable& table, std::string_view key) {
  for (uint32_t i = 0; i < table.entryCount; ++i) {
    const ApiEndpointEntry& entry = table.entries[i];
    if (entry.function.name == key || entry.pathTemplate == key) return entry;
  }
  ADD_FAILURE() << "no entry " << key;
  return table.entries[0];
}

class Dispatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(host.Register(&testing::LoadSamplePlugin));
    ASSERT_TRUE(host.Initialize());
    plugin = static_cast<testing::SamplePlugin*>(host.Registration().instance);
  }

  const ApiEndpointEntry& Entry(const char* name) { return Find(*host.Table(), name); }

  host::InProcessHost host;
  testing::SamplePlugin* plugin = nullptr;
};

}  // namespace Halden
