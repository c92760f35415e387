#include "diag_test_support.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include "diagnostics/diagnostic.h"

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
