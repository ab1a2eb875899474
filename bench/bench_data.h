// Access to the shared benchmark inputs.
#pragma once

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace Halden::bench {

// The whole content of a file of the benchmark data folder; throws when it
// cannot be read.
inline std::string ReadBenchFile(const std::string& name) {
  const std::string path = std::string(ZVM_BENCH_DATA_DIR) + "/" + name;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace Halden::bench
