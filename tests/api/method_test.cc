#include "api/method.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace Halden {
namespace {

TEST(MethodTest, NamesOfCodes) {
  struct Case {
    std::uint32_t code;
    const char* name;
  };
  const std::vector<Case> cases = {
      {kMethodAny, ""},
      {kMethodDelete, "DELETE"},
      {kMethodGet, "GET"},
      {kMethodHead, "HEAD"},
      {kMethodOptions, "OPTIONS"},
      {kMethodPatch, "PATCH"},
      {kMethodPost, "POST"},
      {kMethodPut, "PUT"},
      {kMethodNamed, ""},
      {9, ""},
      {0xFFFFFFFFu, ""},
  };
  for (const Case& c : cases) EXPECT_STREQ(MethodName(c.code), c.name) << c.code;
}

}  // namespace
}  // namespace Halden
