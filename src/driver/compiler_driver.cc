#include "driver/compiler_driver.h"

#include "quarn-config.h"
#include "driver/driver_state.h"
#include "driver/compile_loop.h"
#include "driver/exports.h"
#include "driver/prepare_specs.h"
#include "driver/process_command.h"
#include "driver/queries.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#ifdef __GLIBC__
#include <stdio_ext.h>
#endif
#include <sys/resource.h>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "options/opts.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/response_files.h"
#include "support/temp_files.h"

compiler_driver::compiler_driver() {}

compiler_driver::~compiler_driver() {
  free(link_only_marks);
  free(decoded_args);
}

int compiler_driver::run(int argc, char **argv) {
  set_program_name(argv[0]);
  expand_response_files(&argc, &argv);
  decode_arguments(argc, argv);
  initialize_process();
  build_multilib_strings();
  set_up_specs_and_prefixes();
  export_as_options();
  export_driver_name(argv[0]);
  export_cairn();
  export_offload_targets();
  report_unknown_switches();
  // A completion or a query answered is a successful end of the run, even
  // after an error was reported for some other word of the command line.
  if (answer_completion() || answer_queries())
    return end_run_answered();
  if (!prepare_inputs())
    return end_run();
  compile_inputs();
  link(argv[0]);
  finish();
  return end_run();
}

// The status comes from the counters before the context is finished.
int compiler_driver::end_run() {
  int status = driver_exit_status();
  diag_context_finish(global_dc);
  return status;
}

int compiler_driver::end_run_answered() {
  diag_context_finish(global_dc);
  return 0;
}

void compiler_driver::set_program_name(const char *argv0) {
  const char *name = argv0 ? argv0 : "quarn++";
  const char *slash = strrchr(name, '/');
  progname = slash ? slash + 1 : name;
  xmalloc_set_program_name(progname);
}

void compiler_driver::expand_response_files(int *argc, char ***argv) {
  char **before = *argv;
  ::expand_response_files(argc, argv);
  // Long command lines of the children go in response files too, then.
  if (*argv != before)
    at_file_supplied = true;
}

void compiler_driver::decode_arguments(int argc, char **argv) {
  init_options_storage();
  decode_argv_options(static_cast<unsigned>(argc), argv, CL_DRIVER, &decoded_args,
                      &decoded_arg_count);
}

// Raises the soft stack limit to 64 MiB (never past the hard limit), since deep
// spec recursion runs on it.
static void raise_stack_limit() {
  const rlim_t wanted = 64 * 1024 * 1024;
  struct rlimit rlim;
  if (getrlimit(RLIMIT_STACK, &rlim) != 0)
    return;
  if (rlim.rlim_cur == RLIM_INFINITY || rlim.rlim_cur >= wanted)
    return;
  if (rlim.rlim_max != RLIM_INFINITY && rlim.rlim_cur >= rlim.rlim_max)
    return;
  rlim.rlim_cur = rlim.rlim_max != RLIM_INFINITY && rlim.rlim_max < wanted ? rlim.rlim_max : wanted;
  setrlimit(RLIMIT_STACK, &rlim);
}

void compiler_driver::initialize_process() {
  // Single-threaded: the standard streams need no locking.
#ifdef __GLIBC__
  __fsetlocking(stdin, FSETLOCKING_BYCALLER);
  __fsetlocking(stdout, FSETLOCKING_BYCALLER);
  __fsetlocking(stderr, FSETLOCKING_BYCALLER);
#endif
  init_translation();
  diag_context_init(global_dc);
  diagnostic_color_init(global_dc, -1);
  diagnostic_urls_init(global_dc, -1);

  if (atexit(remove_temp_files) != 0)
    fatal_error(UNKNOWN_LOCATION, "atexit failed");

  // A signal the caller ignored stays ignored (nohup, background jobs).
  static const int cleanup_signals[] = {SIGINT, SIGHUP, SIGTERM, SIGPIPE};
  for (int signo : cleanup_signals)
    if (signal(signo, SIG_IGN) != SIG_IGN)
      signal(signo, cleanup_signal_handler);
  // Waiting for children must work even when the caller ignored SIGCHLD.
  signal(SIGCHLD, SIG_DFL);

  raise_stack_limit();
  init_spec_state();
  spec_export_refresh = export_switch_options;
}

void compiler_driver::build_multilib_strings() { ::build_multilib_strings(); }

void compiler_driver::set_up_specs_and_prefixes() {
  process_command(&decoded_arg_count, &decoded_args);
  prepare_specs_after_command_line();
}

void compiler_driver::export_as_options() { ::export_as_options(); }

void compiler_driver::export_driver_name(const char *argv0) { ::export_driver_name(argv0); }

void compiler_driver::export_cairn() { ::export_cairn(); }

void compiler_driver::export_offload_targets() { ::export_offload_targets(); }

// Switches no handler and no spec took: each is an error, with the closest
// known spelling when there is one.
void compiler_driver::report_unknown_switches() {
  for (int i = 0; i < driver.switches.count; i++) {
    const driver_switch &sw = driver.switches.entries[i];
    if (sw.accepted)
      continue;
    if (const char *hint = suggest_option(&option_suggester, sw.name))
      error_at(UNKNOWN_LOCATION, "unrecognized command-line option %<-%s%>; did you mean %<-%s%>?",
               sw.name, hint);
    else
      error_at(UNKNOWN_LOCATION, "unrecognized command-line option %<-%s%>", sw.name);
  }
}

bool compiler_driver::answer_completion() {
  if (!driver.completion)
    return false;
  print_completions(&option_suggester, driver.completion);
  return true;
}

bool compiler_driver::answer_queries() { return answer_informational_queries(); }

bool compiler_driver::prepare_inputs() { return ::prepare_inputs(&link_only_marks); }

void compiler_driver::compile_inputs() { do_spec_on_infiles(link_only_marks); }

void compiler_driver::link(const char *argv0) { maybe_run_linker(argv0, link_only_marks); }

void compiler_driver::finish() {
  if (errors_seen())
    remove_failure_files();
  remove_temp_files();
  if (driver.print_help) {
    printf(_("\nFor bug reporting instructions, please see:\n"));
    printf("%s\n", QUARN_BUGURL);
  }
}

int driver_exit_status() {
  if (exec_state.signal_failure_count != 0)
    return 2;
  if (errors_seen())
    return driver.pass_exit_codes ? exec_state.greatest_exit_status : 1;
  return 0;
}
