#include "options_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "diagnostics/diagnostic.h"

std::string capture_diagnostics(const std::function<void()> &body) {
  diag_context_finish(global_dc);
  diag_context_init(global_dc);
  char name[] = "/tmp/quarn-options-test-XXXXXX";
  int fd = mkstemp(name);
  if (fd < 0)
    return "<no temporary file>";
  unlink(name);
  fflush(stderr);
  int saved = dup(STDERR_FILENO);
  dup2(fd, STDERR_FILENO);
  body();
  fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0)
    text.append(chunk, static_cast<size_t>(n));
  close(fd);
  return text;
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
