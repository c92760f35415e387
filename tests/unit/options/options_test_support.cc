#include "options_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "common/child_process.h"
#include "diagnostics/diagnostic.h"

std::string capture_diagnostics(const std::function<void()> &body) {
  diag_context_finish(global_dc);
  diag_context_init(global_dc);
  return capture_stderr(body);
}

unsigned decode_words(std::initializer_list<const char *> words, unsigned mask,
                      decoded_option *decoded) {
  std::vector<const char *> argv(words);
  argv.push_back(nullptr);
  return decode_cmdline_option(argv.data(), mask, decoded);
}

std::vector<decoded_option> decode_line(std::initializer_list<const char *> words, unsigned mask) {
  std::vector<const char *> argv{"quarn++"};
  argv.insert(argv.end(), words);
  decoded_option *decoded;
  unsigned count;
  decode_argv_options(static_cast<unsigned>(argv.size()), argv.data(), mask, &decoded, &count);
  std::vector<decoded_option> result(decoded, decoded + count);
  free(decoded);
  return result;
}

std::vector<std::string> canonical(const decoded_option &decoded) {
  return std::vector<std::string>(decoded.canonical_words,
                                  decoded.canonical_words + decoded.canonical_word_count);
}

void reset_options() { init_options_storage(); }
