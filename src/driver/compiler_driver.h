// The driver's run: a fixed sequence of phases, each a named step.
#pragma once

#include "options/opt-suggestions.h"

struct decoded_option;

class compiler_driver {
public:
  compiler_driver();
  ~compiler_driver();
  compiler_driver(const compiler_driver &) = delete;
  compiler_driver &operator=(const compiler_driver &) = delete;

  int run(int argc, char **argv);

private:
  void set_program_name(const char *argv0);
  void expand_response_files(int *argc, char ***argv);
  void decode_arguments(int argc, char **argv);
  void initialize_process();
  void build_multilib_strings();
  void set_up_specs_and_prefixes();
  void export_as_options();
  void export_driver_name(const char *argv0);
  void export_cairn();
  void export_offload_targets();
  void report_unknown_switches();
  bool answer_completion();
  bool answer_queries();
  bool prepare_inputs();
  void compile_inputs();
  void link(const char *argv0);
  void finish();
  int end_run();
  int end_run_answered();

  // One byte per input: 1 when the input goes to the linker unchanged.
  unsigned char *link_only_marks = nullptr;
  decoded_option *decoded_args = nullptr;
  unsigned decoded_arg_count = 0;
  // Near spellings of unknown options and the --completion= answers.
  spelling_proposer option_suggester;
};

// The exit status of the run from the error count and the child failures.
int driver_exit_status();
