// Helpers for the diagnostics tests (besides the shared child-process ones):
// scoped environment settings, a terminal on stderr, a fresh context.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "common/child_process.h"

// Sets (or, with a null value, unsets) an environment variable until the end
// of the scope.
class scoped_env {
public:
  scoped_env(const char *name, const char *value);
  ~scoped_env();
  scoped_env(const scoped_env &) = delete;
  scoped_env &operator=(const scoped_env &) = delete;

private:
  std::string name_;
  bool had_value_;
  std::string old_value_;
};

// Makes descriptor 2 a pseudo-terminal for the rest of the (child) process.
bool make_stderr_a_terminal();

// A fresh global context whose printer writes to standard error.
void reset_global_context();
