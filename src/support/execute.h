// Running the commands the specs build.
#pragma once

#include <cstdio>

// What the command runner reads from the driver's options and the failure
// counters it raises. Option handling fills it in; tests set it directly.
struct execute_state {
  bool verbose = false;          // -v: echo each command before it runs
  bool echo_only = false;        // -###: echo, quoted, and run nothing
  bool print_help = false;       // --help: children print their help too
  const char *wrapper = nullptr; // -wrapper text, comma separated
  bool report_bug = false;       // -freport-bug
  bool report_times = false;     // -time
  FILE *time_file = nullptr;     // -time= stream, or none
  // Children ended by a broken pipe.
  unsigned signal_failure_count = 0;
  // Largest nonzero child exit status; -pass-exit-codes hands it on.
  int greatest_exit_status = 1;
};

extern execute_state exec_state;
