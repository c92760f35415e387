// Helpers every unit-test program shares: running code that ends the process
// in a forked child, and collecting what code writes to standard error.
#pragma once

#include <functional>
#include <string>

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
// Runs BODY here, collecting what it writes to standard output.
std::string capture_stdout(const std::function<void()> &body);

// What the file at PATH holds; empty when it cannot be read.
std::string read_file(const std::string &path);

// What the driver writes to standard error when a fatal error ends it.
std::string fatal_error_output(const std::string &message);
