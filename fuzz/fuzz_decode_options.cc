// Option decoding of a command line made from the input (words cut at NUL
// bytes) with the driver's option class: program name first, and every
// decoded option names a real row or a special entry with its words in place.
#include <cstring>

#include "fuzz_common.h"
#include "options/opts.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  std::vector<std::string> words = split_at_nul(data, size);
  if (words.size() > 64)
    words.resize(64);
  std::vector<const char *> argv = {"/usr/local/pell12/bin/quarn++"};
  for (const std::string &word : words)
    argv.push_back(word.c_str());
  argv.push_back(nullptr);

  init_options_storage();
  decoded_option *options = nullptr;
  unsigned count = 0;
  decode_argv_options(static_cast<unsigned>(argv.size() - 1), argv.data(), CL_DRIVER, &options,
                      &count);
  FUZZ_CHECK(options != nullptr && count >= 1);
  FUZZ_CHECK(options[0].row == SPECIAL_PROGRAM_NAME);
  FUZZ_CHECK(strcmp(options[0].arg, argv[0]) == 0);
  for (unsigned i = 0; i < count; ++i) {
    const decoded_option &d = options[i];
    FUZZ_CHECK(d.row < option_row_count ||
               (d.row >= SPECIAL_UNKNOWN && d.row <= SPECIAL_INPUT_FILE));
    FUZZ_CHECK(d.canonical_word_count <= 4);
    for (size_t w = 0; w < d.canonical_word_count; ++w)
      FUZZ_CHECK(d.canonical_words[w] != nullptr);
    if (d.row == SPECIAL_INPUT_FILE)
      FUZZ_CHECK(d.arg != nullptr);
    if (d.given_text)
      FUZZ_CHECK(strlen(d.given_text) < 1u << 20);
  }
  free(options);
  return 0;
}
