// Whole-file input and output for the jobs, and the messages of their failures.
#include "sim.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

void sim_error(const sim_run &run, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  fprintf(stderr, "%s: error: ", run.name);
  vfprintf(stderr, format, ap);
  fputc('\n', stderr);
  va_end(ap);
}

const char *display_name(const char *path) { return strcmp(path, "-") == 0 ? "<stdin>" : path; }

// Reads all of `fd`; false with errno set on a read error.
static bool read_all(int fd, std::string &text) {
  char buffer[65536];
  ssize_t got;
  while ((got = read(fd, buffer, sizeof buffer)) != 0) {
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return false;
    text.append(buffer, static_cast<size_t>(got));
  }
  return true;
}

bool read_input(const sim_run &run, const char *path, std::string &text) {
  if (strcmp(path, "-") == 0) {
    if (read_all(STDIN_FILENO, text)) return true;
    sim_error(run, "cannot read standard input: %s", strerror(errno));
    return false;
  }
  int fd = open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    sim_error(run, "cannot open %s: %s", path, strerror(errno));
    return false;
  }
  bool ok = read_all(fd, text);
  if (!ok) sim_error(run, "cannot read %s: %s", path, strerror(errno));
  close(fd);
  return ok;
}

static bool write_all(int fd, const std::string &text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t put = write(fd, text.data() + done, text.size() - done);
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) return false;
    done += static_cast<size_t>(put);
  }
  return true;
}

bool write_output(const sim_run &run, const char *path, const std::string &text) {
  if (strcmp(path, "-") == 0) {
    if (write_all(STDOUT_FILENO, text)) return true;
    sim_error(run, "cannot write standard output: %s", strerror(errno));
    return false;
  }
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0) {
    sim_error(run, "cannot open %s: %s", path, strerror(errno));
    return false;
  }
  bool written = write_all(fd, text);
  int saved = errno;
  if (close(fd) != 0 && written) {
    written = false;
    saved = errno;
  }
  if (!written) sim_error(run, "cannot write %s: %s", path, strerror(saved));
  return written;
}

std::string prefixed_lines(const std::string &text, const char *prefix) {
  std::string out;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    out += prefix;
    out.append(text, start, end - start);
    out += '\n';
    start = end + 1;
  }
  return out;
}
