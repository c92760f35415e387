// Shared helpers of the fuzz targets: cutting the input into pieces and
// failing loudly when a checked property does not hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The input cut at every NUL byte: the pieces become C strings.
inline std::vector<std::string> split_at_nul(const uint8_t *data, size_t size) {
  std::vector<std::string> pieces(1);
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == 0)
      pieces.emplace_back();
    else
      pieces.back().push_back(static_cast<char>(data[i]));
  }
  return pieces;
}

// A broken property is a finding: abort so that libFuzzer keeps the input.
#define FUZZ_CHECK(cond)                                                                           \
  do {                                                                                             \
    if (!(cond)) {                                                                                 \
      fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);                  \
      abort();                                                                                     \
    }                                                                                              \
  } while (0)
