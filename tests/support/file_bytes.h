// The bytes of a file, for tests that check every byte written. The tests
// run side by side in one directory, each on files of its own names.
#pragma once

#include <fstream>
#include <sstream>
#include <string>

namespace pwdraw::test {

inline std::string read_bytes(const char* path) {  // "" when missing
  std::ostringstream bytes;
  bytes << std::ifstream(path, std::ios::binary).rdbuf();
  return bytes.str();
}

inline void write_bytes(const char* path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

}  // namespace pwdraw::test
