// QUARN_COLORS on fuzzed values: whatever the text, every entry of the color
// table stays a well-formed SGR sequence, and colors are on exactly when the
// value is not empty.
#include <cstring>

#include "diagnostics/diagnostic-color.h"
#include "fuzz_common.h"

namespace {

// ESC "[" digits-and-semicolons "m" ESC "[K".
bool is_sgr_sequence(const char *sequence) {
  size_t length = strlen(sequence);
  if (length < 6 || memcmp(sequence, "\33[", 2) != 0 ||
      memcmp(sequence + length - 4, "m\33[K", 4) != 0)
    return false;
  for (size_t i = 2; i < length - 4; ++i)
    if (sequence[i] != ';' && (sequence[i] < '0' || sequence[i] > '9'))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::string value = split_at_nul(data, size)[0];
  // putenv takes the buffer itself, where setenv would keep a copy of every
  // value for ever; the previous buffer goes only once it is replaced.
  static char *assignment;
  char *next = strdup(("QUARN_COLORS=" + value).c_str());
  putenv(next);
  free(assignment);
  assignment = next;
  bool on = parse_quarn_colors();
  FUZZ_CHECK(on == !value.empty());
  for (const color_entry &entry : color_table) {
    FUZZ_CHECK(strlen(entry.name) == entry.name_length);
    FUZZ_CHECK(is_sgr_sequence(entry.sequence));
    FUZZ_CHECK(strcmp(colorize_start(true, entry.name), entry.sequence) == 0);
  }
  // A value of only known names with digit values sets exactly those.
  if (value == "error=7:note=") {
    FUZZ_CHECK(strcmp(colorize_start(true, "error"), "\33[7m\33[K") == 0);
    FUZZ_CHECK(strcmp(colorize_start(true, "note"), "\33[m\33[K") == 0);
  }
  return 0;
}
