#include "driver/env_manager.h"

#include <cstdio>
#include <cstdlib>

#include "support/alloc.h"
#include "support/execute.h"

env_manager driver_env;

const char *env_manager::getenv(const char *name) const { return ::getenv(name); }

void env_manager::xput(const char *assignment) {
  if (exec_state.verbose) {
    fputs(assignment, stderr);
    fputc('\n', stderr);
  }
  // putenv keeps the string itself, so it must never be freed.
  putenv(xstrdup(assignment));
}
