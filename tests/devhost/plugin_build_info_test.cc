#include "host/devhost/plugin_build_info.h"

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace Halden::devhost {
namespace {

// What a library carries is devhost_test's, in /_host/plugin.
TEST(PluginBuildInfo, RefusedWithoutIt) {
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {"/no/such/library.so", "/no/such/library.so cannot be read as a 64-bit ELF file"},
      {ZVM_DEVHOST_CONFIG,
       std::string(ZVM_DEVHOST_CONFIG) + " cannot be read as a 64-bit ELF file"},
      // This test program is an ELF file without the section.
      {"/proc/self/exe", "/proc/self/exe has no section .zvm_build_info"},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> none;
    std::string error;
    EXPECT_FALSE(ReadPluginBuildInfo(c.path, none, error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(none.empty());
  }
}

}  // namespace
}  // namespace Halden::devhost
