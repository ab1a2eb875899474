#include "api/camel_case_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace Halden {
namespace {

TEST(CamelCaseNameTest, NamesFromMethodAndPath) {
  struct Case {
    std::string method;
    std::string path;
    std::string name;
  };
  const std::vector<Case> cases = {
      {"GET", "/qor-email-verification/v1/email", "GetQorEmailVerificationV1Email"},
      {"POST", "/qor-email-verification/v1/confirm-email",
       "PostQorEmailVerificationV1ConfirmEmail"},
      {"", "qor-email-verification", "QorEmailVerification"},
      {"DELETE", "/v1/items/{itemId}", "DeleteV1ItemsByItemId"},
      {"PATCH", "/files/{+path}", "PatchFilesByPath"},
      {"PUT", "/doc{#frag}", "PutDocBy#frag"},
      {"get", "/a", "GetA"},
      {"MkCol", "/x", "MkcolX"},
      {"X", "", "X"},
      {"", "", ""},
      {"", "/a_b.c!d+e-f", "ABCDEF"},
      {"", "{}", "By"},
      {"", "x}y", "Xy"},
      {"", "{a}b", "ByAb"},
      {"", "already Camel", "Already Camel"},
      {"", "//v1//", "V1"}};
  for (const Case& c : cases) {
    EXPECT_EQ(CamelCaseName(c.method, c.path), c.name) << c.method << " " << c.path;
  }
}

}  // namespace
}  // namespace Halden
