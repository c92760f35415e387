// The run log: one JSON line per run, so tests can see which programs ran, with
// which arguments, where, and with which of the driver's exported variables.
#include "sim.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <unistd.h>

// The variables the driver exports to its children, in the order they are logged.
static const char *const logged_variables[] = {
    "TETHER_QUARN", "TETHER_QUARN_OPTIONS", "TETHER_AS_OPTIONS", "TETHER_CAIRN",
    "COMPILER_PATH", "LIBRARY_PATH", "QUARN_EXEC_PREFIX", "MAKEFLAGS",
    "SOURCE_DATE_EPOCH", "OFFLOAD_TARGET_NAMES",
};

// Length of the well-formed UTF-8 sequence at `s`, or 0 when it is not one.
static size_t utf8_sequence_length(const unsigned char *s) {
  unsigned char c = s[0];
  size_t length;
  unsigned char low = 0x80, high = 0xbf;  // bounds of the second byte
  if (c >= 0xc2 && c <= 0xdf) {
    length = 2;
  } else if (c >= 0xe0 && c <= 0xef) {
    length = 3;
    if (c == 0xe0) low = 0xa0;       // overlong
    if (c == 0xed) high = 0x9f;      // surrogates
  } else if (c >= 0xf0 && c <= 0xf4) {
    length = 4;
    if (c == 0xf0) low = 0x90;       // overlong
    if (c == 0xf4) high = 0x8f;      // beyond U+10FFFF
  } else {
    return 0;
  }
  if (s[1] < low || s[1] > high) return 0;
  for (size_t i = 2; i < length; i++)
    if (s[i] < 0x80 || s[i] > 0xbf) return 0;
  return length;
}

// The JSON string literal for `text`, quotes included.
static std::string json_string(const char *text) {
  std::string out = "\"";
  const unsigned char *s = reinterpret_cast<const unsigned char *>(text);
  while (*s) {
    unsigned char c = *s;
    char escape[8];
    switch (c) {
    case '"': out += "\\\""; break;
    case '\\': out += "\\\\"; break;
    case '\b': out += "\\b"; break;
    case '\f': out += "\\f"; break;
    case '\n': out += "\\n"; break;
    case '\r': out += "\\r"; break;
    case '\t': out += "\\t"; break;
    default:
      if (c < 0x80 && c >= 0x20 && c != 0x7f) {
        out += static_cast<char>(c);
      } else if (size_t length = c >= 0x80 ? utf8_sequence_length(s) : 0) {
        out.append(reinterpret_cast<const char *>(s), length);
        s += length;
        continue;
      } else {
        // Control characters and bytes that are not UTF-8: the line must stay
        // valid JSON, so a stray byte is shown as the code point of its value.
        snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      }
    }
    s++;
  }
  out += '"';
  return out;
}

static std::string log_line(const sim_run &run) {
  std::string line = "{\"name\":" + json_string(run.name) + ",\"argv\":[";
  for (int i = 0; i < run.argc; i++) {
    if (i) line += ',';
    line += json_string(run.argv[i]);
  }
  line += "],\"cwd\":";
  char *cwd = getcwd(nullptr, 0);
  line += cwd ? json_string(cwd) : "null";
  free(cwd);
  line += ",\"env\":{";
  bool first = true;
  for (const char *variable : logged_variables) {
    const char *value = getenv(variable);
    if (!value) continue;
    if (!first) line += ',';
    first = false;
    line += json_string(variable) + ":" + json_string(value);
  }
  line += "}}\n";
  return line;
}

void append_log_line(const sim_run &run) {
  const char *path = getenv("QUARN_SIM_LOG");
  if (!path || !*path) return;
  std::string line = log_line(run);
  int fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    fprintf(stderr, "%s: warning: cannot open log %s: %s\n", run.name, path, strerror(errno));
    return;
  }
  // One write, so lines of programs running at the same time never interleave.
  ssize_t written;
  do
    written = write(fd, line.data(), line.size());
  while (written < 0 && errno == EINTR);
  if (written != static_cast<ssize_t>(line.size()))
    fprintf(stderr, "%s: warning: cannot write log %s\n", run.name, path);
  close(fd);
}
