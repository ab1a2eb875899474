#include "host/devhost/plugin_build_info.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <string>

namespace Halden::devhost {
namespace {

// A file in the test's temporary folder holding `parts` in turn; its path.
template <typename... Parts>
std::string Library(const char* name, const Parts&... parts) {
  const std::string path = ::testing::TempDir() + name;
  std::ofstream file(path, std::ios::binary);
  (file.write(reinterpret_cast<const char*>(&parts), sizeof parts), ...);
  return path;
}

// What a library carries is devhost_test's, in /_host/plugin.
TEST(PluginBuildInfo, RefusedWithoutIt) {
  // Damaged: its one section, the names, larger than a plugin's could be.
  Elf64_Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = ELFCLASS64;
  header.e_shentsize = sizeof(Elf64_Shdr);
  header.e_shoff = sizeof header;
  header.e_shnum = 1;
  Elf64_Shdr names{};
  names.sh_size = 1 << 30;
  const std::string damaged = Library("damaged.so", header, names);
  // One whose build information says it is larger than memory.
  const char text[] = "\0.zvm_build_info";
  header.e_shnum = 2;
  names.sh_offset = sizeof header + 2 * sizeof names;
  names.sh_size = sizeof text;
  Elf64_Shdr info{};
  info.sh_name = 1;
  info.sh_size = uint64_t{1} << 40;
  const std::string large = Library("large.so", header, names, info, text);
  // A library cut short: its section table lies past its end.
  header.e_shoff = 1 << 20;
  const std::string cut = Library("cut.so", header);
  // A section table larger than a plugin's could be, though the file holds it.
  header.e_shoff = sizeof header;
  header.e_shnum = 20000;
  const auto table = std::make_unique<std::array<Elf64_Shdr, 20000>>();
  const std::string many = Library("many.so", header, *table);
  const std::pair<std::string, const char*> cases[] = {
      // the error after the path
      {ZVM_DEVHOST_CONFIG, " cannot be read as a 64-bit ELF file"},
      // This test program is an ELF file without the section.
      {"/proc/self/exe", " has no section .zvm_build_info"},
      {damaged, ": the section names cannot be read"},
      {large, ": the section .zvm_build_info cannot be read"},
      {cut, ": the section table cannot be read"},
      {many, ": the section table cannot be read"},
  };
  for (const auto& [path, refusal] : cases) {
    std::map<std::string, std::string> none;
    std::string error;
    EXPECT_FALSE(ReadPluginBuildInfo(path, none, error));
    EXPECT_EQ(error, path + refusal);
    EXPECT_TRUE(none.empty());
  }
  for (const std::string& path : {damaged, large, cut, many}) std::remove(path.c_str());
}

}  // namespace
}  // namespace Halden::devhost
