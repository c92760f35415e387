// Helpers for the diagnostics tests: stderr capture, child processes for the
// paths that exit, and scoped environment settings.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct child_result {
  bool exited;     // false: ended by a signal
  int status;      // exit status, or the signal number
  std::string err; // everything written to standard error
};

// Runs BODY in a forked child with standard error sent to a file; a BODY that
// returns ends the child with status 0.
child_result run_in_child(const std::function<void()> &body);

// Runs BODY here, collecting what it writes to standard error.
std::string capture_stderr(const std::function<void()> &body);

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
