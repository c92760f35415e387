#include "diag_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "diagnostics/diagnostic.h"

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
  char name[] = "/tmp/quarn-diag-test-XXXXXX";
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

std::string capture_stderr(const std::function<void()> &body) {
  int fd = make_temp_file();
  if (fd < 0)
    return "<no temporary file>";
  fflush(stderr);
  int saved = dup(STDERR_FILENO);
  dup2(fd, STDERR_FILENO);
  body();
  fflush(stderr);
  dup2(saved, STDERR_FILENO);
  close(saved);
  std::string text = read_file_from_start(fd);
  close(fd);
  return text;
}

scoped_env::scoped_env(const char *name, const char *value) : name_(name) {
  const char *old = getenv(name);
  had_value_ = old != nullptr;
  if (old)
    old_value_ = old;
  if (value)
    setenv(name, value, 1);
  else
    unsetenv(name);
}

scoped_env::~scoped_env() {
  if (had_value_)
    setenv(name_.c_str(), old_value_.c_str(), 1);
  else
    unsetenv(name_.c_str());
}

bool make_stderr_a_terminal() {
  int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
    return false;
  const char *name = ptsname(master);
  int slave = name ? open(name, O_RDWR | O_NOCTTY) : -1;
  if (slave < 0)
    return false;
  dup2(slave, STDERR_FILENO);
  return isatty(STDERR_FILENO) != 0;
}

void reset_global_context() {
  diag_context_finish(global_dc);
  diag_context_init(global_dc);
}
