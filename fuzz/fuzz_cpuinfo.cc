// Host processor detection: any cpuinfo text gives either nothing or an option
// of the form the self specs put back on the command line ("-march=NAME...",
// "-mcpu=NAME..." or "-mtune=NAME", with only "+"-joined extensions after the
// name), never a crash or a read past a line. The text is handed over as a
// file through QUARN_CPUINFO, as the driver reads it.
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "specs/spec_functions.h"

namespace {

int cpuinfo_fd = -1;

bool set_up() {
  cpuinfo_fd = memfd_create("cpuinfo", 0);
  if (cpuinfo_fd < 0)
    abort();
  std::string path = "/proc/self/fd/" + std::to_string(cpuinfo_fd);
  setenv("QUARN_CPUINFO", path.c_str(), 1);
  return true;
}

void write_cpuinfo(const uint8_t *data, size_t size) {
  if (ftruncate(cpuinfo_fd, 0) != 0 || lseek(cpuinfo_fd, 0, SEEK_SET) != 0)
    abort();
  while (size > 0) {
    ssize_t written = write(cpuinfo_fd, data, size);
    if (written <= 0)
      abort();
    data += written;
    size -= size_t(written);
  }
}

bool is_name_char(char c) {
  return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
}

void check_option(const char *option, const char *prefix, bool extensions_allowed) {
  size_t length = strlen(prefix);
  FUZZ_CHECK(strncmp(option, prefix, length) == 0);
  const char *p = option + length;
  FUZZ_CHECK(is_name_char(*p));
  while (is_name_char(*p))
    p++;
  if (!extensions_allowed) {
    FUZZ_CHECK(*p == '\0');
    return;
  }
  while (*p == '+') {
    p++;
    FUZZ_CHECK(is_name_char(*p));
    while (is_name_char(*p))
      p++;
  }
  FUZZ_CHECK(*p == '\0');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = set_up();
  (void)ready;
  write_cpuinfo(data, size);
  struct {
    const char *word;
    const char *prefix;
    const char *other_prefix;
    bool extensions;
  } const requests[] = {
      {"arch", "-march=", nullptr, true},
      {"cpu", "-mcpu=", "-march=", true},
      {"tune", "-mtune=", "-march=", false},
  };
  for (const auto &request : requests) {
    const char *argv[] = {request.word};
    const char *option = host_detect_local_cpu(1, argv);
    if (!option)
      continue;
    if (request.other_prefix && strncmp(option, request.other_prefix, 7) == 0)
      check_option(option, request.other_prefix, request.extensions);
    else
      check_option(option, request.prefix, request.extensions);
  }
  return 0;
}
