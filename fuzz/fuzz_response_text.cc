// Response-file text: splitting fuzzed text never fails, and writing a list of
// arguments then splitting what was written gives the same list back.
#include <cstring>

#include "fuzz_common.h"
#include "support/arg_vector.h"
#include "support/response_files.h"

namespace {

std::vector<std::string> split(const char *text) {
  arg_vector words = split_response_text(text);
  std::vector<std::string> result(words.items, words.items + words.count);
  FUZZ_CHECK(words.items[words.count] == nullptr);
  arg_vector_free(&words);
  return result;
}

// What write_response_file puts down for ARGS.
std::string written(const std::vector<std::string> &args) {
  std::vector<const char *> vector;
  for (const std::string &arg : args)
    vector.push_back(arg.c_str());
  vector.push_back(nullptr);
  char *memory = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&memory, &size);
  FUZZ_CHECK(stream != nullptr);
  FUZZ_CHECK(write_response_file(vector.data(), stream) == 0);
  fclose(stream);
  std::string text(memory, size);
  free(memory);
  return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  // The input as the text of a file: at least one argument comes out, and
  // what they say survives being written and read again.
  std::string text(reinterpret_cast<const char *>(data), size);
  std::vector<std::string> words = split(text.c_str());
  FUZZ_CHECK(!words.empty());
  FUZZ_CHECK(split(written(words).c_str()) == words);

  // The input as a list of arguments (cut at NUL bytes): a round trip.
  std::vector<std::string> args = split_at_nul(data, size);
  std::string file = written(args);
  FUZZ_CHECK(split(file.c_str()) == args);
  return 0;
}
