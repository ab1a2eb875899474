#include "formats/parameter_value.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/binding/conversion_test_support.h"

namespace Halden {
namespace {

using binding_test::Describe;

TEST(DecodeParameterValueTest, ChoosesTheFormat) {
  const struct {
    std::string value;
    std::string contentType;
    bool allowGuessing;
    std::string expected;  // the decoded value, or the call's error
  } cases[] = {
      // MessagePack; bytes after the first value are ignored.
      {"\x92\x01\x02\xc0", "application/x-msgpack", false, "[s1,s2]"},
      {"\x81\xa1k\x05", "", true, "{k:s5}"},
      {"\x81\xa1k\x05", "", false, "\"\x81\xa1k\x05\""},
      {"\xc1", "application/x-msgpack", false,
       "Couldn't deserialize MessagePack value for parameter 'p' of 'F': Invalid "
       "MessagePack data at position 1."},
      // JSON: guessed only after spaces, never for other content types.
      {"[1, 2]", "application/json; charset=utf-8", false, "[u1,u2]"},
      {"  [1, 2]", "", true, "[u1,u2]"},
      {" {\"a\": null}", "", true, "{a:~}"},
      {"\t[1]", "", true, "\"\t[1]\""},
      {"[1]", "text/plain", true, "\"[1]\""},
      {"", "application/json", false, "~"},
      {"[1,", "application/json", false,
       "Couldn't deserialize JSON value for parameter 'p' of 'F': Error: Invalid value. at "
       "offset 3."},
      {"{", "", true,
       "Couldn't deserialize JSON value for parameter 'p' of 'F': Error: Missing a name for "
       "object member. at offset 1."},
      // YAML, for text/x-yaml only.
      {"a: 1", "TEXT/X-YAML", false, "{a:u1}"},
      {"---\na: yes", "", true, "{a:true}"},
      {"  --- 5", "", true, "\"--- 5\""},  // YAML drops the spaces
      {"--", "", true, "\"--\""},
      {"a: 1", "application/x-yaml", false, "\"a: 1\""},
      {"a: 1", "next/x-yaml", false, "\"a: 1\""},
      {"a: [1", "text/x-yaml", false,
       "Couldn't deserialize YAML value for parameter 'p' of 'F': YAML parser error: did not "
       "find expected ',' or ']'. At line: 1 col: 0"},
      // Bytes and text keep every byte.
      {std::string("a\0b", 3), "application/octet-stream", false, "bYQBi"},
      {std::string("a\0b", 3), "", false, std::string("\"a\0b\"", 5)},
      {"5", "", true, "\"5\""}};
  for (const auto& c : cases) {
    // The target is a member of a tree, which a failure leaves as it was.
    BindingProperty arguments;
    BindingProperty& target = arguments.Member("p").SetSigned(9);
    BindingResult call;
    DecodeParameterValue(target, call, "F", "p", c.value, c.contentType, c.allowGuessing);
    EXPECT_EQ(call.Ok() ? Describe(target) : call.Error(), c.expected)
        << c.value << " as " << c.contentType;
    EXPECT_TRUE(call.Ok() || Describe(arguments) == "{p:s9}") << c.value;
  }
}

}  // namespace
}  // namespace Halden
