#include "host/devhost/plugin_build_info.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace Halden::devhost {
namespace {

constexpr const char* kSectionName = ".zvm_build_info";
// Larger section tables or texts mean a damaged file, not a plugin.
constexpr uint64_t kMostBytes = 1 << 20;

bool ReadAt(std::ifstream& file, uint64_t offset, void* out, uint64_t size) {
  if (size > kMostBytes) return false;
  file.seekg(static_cast<std::streamoff>(offset));
  return static_cast<bool>(file.read(static_cast<char*>(out), static_cast<std::streamsize>(size)));
}

bool ReadText(std::ifstream& file, uint64_t offset, uint64_t size, std::string& text) {
  if (size > kMostBytes) return false;
  text.resize(size);
  return ReadAt(file, offset, text.data(), size);
}

// The section's text up to its first NUL, each "key=value" line.
void ReadLines(const std::string& text, std::map<std::string, std::string>& info) {
  const std::string lines = text.substr(0, text.find('\0'));
  std::size_t start = 0;
  while (start < lines.size()) {
    std::size_t end = lines.find('\n', start);
    if (end == std::string::npos) end = lines.size();
    const std::string line = lines.substr(start, end - start);
    if (const std::size_t equals = line.find('='); equals != std::string::npos) {
      info[line.substr(0, equals)] = line.substr(equals + 1);
    }
    start = end + 1;
  }
}

}  // namespace

bool ReadPluginBuildInfo(const std::string& path, std::map<std::string, std::string>& info,
                         std::string& error) {
  std::ifstream file(path, std::ios::binary);
  Elf64_Ehdr header{};
  if (!file || !ReadAt(file, 0, &header, sizeof header) ||
      std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
      header.e_shentsize != sizeof(Elf64_Shdr)) {
    error = path + " cannot be read as a 64-bit ELF file";
    return false;
  }
  std::vector<Elf64_Shdr> sections(header.e_shnum);
  if (!ReadAt(file, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr)) ||
      header.e_shstrndx >= sections.size()) {
    error = path + ": the section table cannot be read";
    return false;
  }
  const Elf64_Shdr& nameTable = sections[header.e_shstrndx];
  std::string names;
  if (!ReadText(file, nameTable.sh_offset, nameTable.sh_size, names)) {
    error = path + ": the section names cannot be read";
    return false;
  }
  for (const Elf64_Shdr& section : sections) {
    if (section.sh_name >= names.size() ||
        std::strcmp(names.c_str() + section.sh_name, kSectionName) != 0) {
      continue;
    }
    std::string text;
    if (!ReadText(file, section.sh_offset, section.sh_size, text)) {
      error = path + std::string(": the section ") + kSectionName + " cannot be read";
      return false;
    }
    ReadLines(text, info);
    return true;
  }
  error = path + std::string(" has no section ") + kSectionName;
  return false;
}

}  // namespace Halden::devhost
