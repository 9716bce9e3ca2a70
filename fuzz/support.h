// Shared by the fuzz targets: the one assertion, which reports what broke
// and then crashes so that libFuzzer keeps the input, and the few plain
// helpers the checks need.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "app/parameters.h"

#define FUZZ_CHECK(condition)                                                            \
  do {                                                                                   \
    if (!(condition)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                      \
    }                                                                                    \
  } while (0)

namespace pwdraw::fuzz {

/// `text` as it lands on disk: each "\n" as CR LF.
inline std::string on_disk(std::string_view text) {
  std::string bytes;
  for (const char c : text) {
    if (c == '\n') bytes += '\r';
    bytes += c;
  }
  return bytes;
}

inline bool same(const Parameters& a, const Parameters& b) {
  return a.quality == b.quality && a.type == b.type && a.number == b.number;
}

}  // namespace pwdraw::fuzz
