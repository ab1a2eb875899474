#include "host/devhost/plugin_build_info.h"

#include <elf.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <string>

namespace Halden::devhost {
namespace {

// What a library carries is devhost_test's, in /_host/plugin.
TEST(PluginBuildInfo, RefusedWithoutIt) {
  // A damaged library: its one section, the section names, says it is
  // larger than a plugin's names could be.
  const std::string damaged = ::testing::TempDir() + "damaged.so";
  Elf64_Ehdr header{};
  std::memcpy(header.e_ident, ELFMAG, SELFMAG);
  header.e_ident[EI_CLASS] = ELFCLASS64;
  header.e_shentsize = sizeof(Elf64_Shdr);
  header.e_shoff = sizeof header;
  header.e_shnum = 1;
  Elf64_Shdr names{};
  names.sh_size = 1 << 30;
  std::ofstream(damaged, std::ios::binary)
      .write(reinterpret_cast<const char*>(&header), sizeof header)
      .write(reinterpret_cast<const char*>(&names), sizeof names);
  // One whose build information says it is larger than memory.
  const std::string large = ::testing::TempDir() + "large.so";
  const char text[] = "\0.zvm_build_info";
  header.e_shnum = 2;
  names.sh_offset = sizeof header + 2 * sizeof names;
  names.sh_size = sizeof text;
  Elf64_Shdr info{};
  info.sh_name = 1;
  info.sh_size = uint64_t{1} << 40;
  std::ofstream(large, std::ios::binary)
      .write(reinterpret_cast<const char*>(&header), sizeof header)
      .write(reinterpret_cast<const char*>(&names), sizeof names)
      .write(reinterpret_cast<const char*>(&info), sizeof info)
      .write(text, sizeof text);
  // A library cut short: its section table lies past its end.
  const std::string cut = ::testing::TempDir() + "cut.so";
  header.e_shoff = 1 << 20;
  std::ofstream(cut, std::ios::binary).write(reinterpret_cast<const char*>(&header), sizeof header);
  // One whose section table is larger than a plugin's could be.
  const std::string many = ::testing::TempDir() + "many.so";
  header.e_shoff = sizeof header;
  header.e_shnum = 0xFFFF;
  std::ofstream(many, std::ios::binary)
      .write(reinterpret_cast<const char*>(&header), sizeof header);
  struct Case {
    std::string path;
    std::string error;
  } cases[] = {
      {"/no/such/library.so", "/no/such/library.so cannot be read as a 64-bit ELF file"},
      {ZVM_DEVHOST_CONFIG,
       std::string(ZVM_DEVHOST_CONFIG) + " cannot be read as a 64-bit ELF file"},
      // This test program is an ELF file without the section.
      {"/proc/self/exe", "/proc/self/exe has no section .zvm_build_info"},
      {damaged, damaged + ": the section names cannot be read"},
      {large, large + ": the section .zvm_build_info cannot be read"},
      {cut, cut + ": the section table cannot be read"},
      {many, many + ": the section table cannot be read"},
  };
  for (const Case& c : cases) {
    std::map<std::string, std::string> none;
    std::string error;
    EXPECT_FALSE(ReadPluginBuildInfo(c.path, none, error));
    EXPECT_EQ(error, c.error);
    EXPECT_TRUE(none.empty());
  }
  std::remove(damaged.c_str());
  std::remove(large.c_str());
  std::remove(cut.c_str());
  std::remove(many.c_str());
}

}  // namespace
}  // namespace Halden::devhost
