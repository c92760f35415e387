// Running the commands the specs build.
#pragma once

#include <cstdio>

#include "support/arg_vector.h"

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
  // Calls of execute that ran or printed commands; the link step reads it to
  // learn whether the linker ran.
  int commands_run = 0;
  // The input file being compiled (spec interpretation keeps it current);
  // a crash is only reproduced for a named input.
  const char *input_name = nullptr;
  // Set while the arguments of a spec function are being expanded: no command
  // may run then.
  bool in_spec_function = false;
};

extern execute_state exec_state;

// Runs the commands of `command_args` (a lone "|" separates the commands of a
// pipeline): inserts the -wrapper words, finds every program, echoes under -v
// and -### (and stops there under -###), runs them and judges their statuses.
// Returns 0 when all succeeded, -1 when one failed; a fatal failure does not
// return. The vector may gain the wrapper words; its owner empties it after.
int execute(arg_vector *command_args);

// Puts the words of a comma-separated -wrapper text in front of the arguments.
void insert_wrapper(arg_vector *command_args, const char *wrapper);
