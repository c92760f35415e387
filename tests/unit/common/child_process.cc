#include "common/child_process.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

static std::string read_file_from_start(int fd) {
  std::string text;
  lseek(fd, 0, SEEK_SET);
  char chunk[4096];
  ssize_t n;
  while ((n = read(fd, chunk, sizeof chunk)) > 0)
    text.append(chunk, static_cast<size_t>(n));
  return text;
}

static int make_temp_file() {
  char name[] = "/tmp/quarn-unit-test-XXXXXX";
  int fd = mkstemp(name);
  if (fd >= 0)
    unlink(name);
  return fd;
}

child_result run_in_child(const std::function<void()> &body) {
  child_result result{false, -1, ""};
  int fd = make_temp_file();
  if (fd < 0)
    return result;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fd, STDERR_FILENO);
    body();
    fflush(nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.exited = WIFEXITED(status);
  result.status = result.exited ? WEXITSTATUS(status) : WTERMSIG(status);
  result.err = read_file_from_start(fd);
  close(fd);
  return result;
}

static std::string capture(int target, const std::function<void()> &body) {
  int fd = make_temp_file();
  if (fd < 0)
    return "<no temporary file>";
  fflush(nullptr);
  int saved = dup(target);
  dup2(fd, target);
  body();
  fflush(nullptr);
  dup2(saved, target);
  close(saved);
  std::string text = read_file_from_start(fd);
  close(fd);
  return text;
}

std::string capture_stderr(const std::function<void()> &body) {
  return capture(STDERR_FILENO, body);
}

std::string capture_stdout(const std::function<void()> &body) {
  return capture(STDOUT_FILENO, body);
}

std::string fatal_error_output(const std::string &message) {
  return "quarn++: fatal error: " + message + "\ncompilation terminated.\n";
}

std::string read_file(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}
