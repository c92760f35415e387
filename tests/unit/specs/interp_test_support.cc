#include "interp_test_support.h"

#include <unistd.h>

#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/response_files.h"
#include "support/temp_files.h"

std::vector<words> recorded_commands;
int recorded_status = 0;

namespace {

int record_command(arg_vector *args) {
  words command;
  for (size_t i = 0; i < args->count; i++)
    command.push_back(args->items[i]);
  recorded_commands.push_back(command);
  return recorded_status;
}

} // namespace

void reset_interpreter_world() {
  static bool diagnostics_ready = false;
  if (!diagnostics_ready) {
    progname = "quarn++";
    diag_context_init(global_dc);
    diagnostics_ready = true;
  }
  // Errors a case reported must not make later cases' diagnostics "confused".
  for (int &count : global_dc->kind_count)
    count = 0;
  driver_state_reset();
  reset_spec_state();
  global_options.use_pipes = 0;
  at_file_supplied = false;
  exec_state = execute_state();
  recorded_commands.clear();
  recorded_status = 0;
  spec_command_runner = record_command;
  spec_export_refresh = nullptr;
}

void reset_spec_world() {
  reset_interpreter_world();
  init_options_storage();
  reset_spec_store();
}

child_result run_joined_in_child(void (*reset)(), const std::function<void()> &body) {
  return run_in_child([&] {
    dup2(2, 1);
    reset();
    body();
  });
}

void add_switch(const std::string &text, const words &args, bool recognized) {
  // The tables share their strings; a test's strings live as long as the run.
  std::vector<const char *> arg_texts;
  for (const std::string &arg : args)
    arg_texts.push_back(xstrdup(arg.c_str()));
  record_switch(xstrdup(text.c_str()), static_cast<int>(arg_texts.size()), arg_texts.data(), false,
                recognized);
}

void make_output_slots(int count) {
  driver.output_files = static_cast<const char **>(xcalloc(count + 1, sizeof(const char *)));
  driver.output_file_count = count;
}

words built_words() {
  words result;
  for (size_t i = 0; i < interpreter.command_args.count; i++)
    result.push_back(interpreter.command_args.items[i]);
  return result;
}

words expand(const std::string &text) {
  expand_spec(text.c_str(), nullptr);
  return built_words();
}

void forget_temp_lists() {
  always_delete_list.store(nullptr);
  failure_delete_list.store(nullptr);
}

child_result expand_in_child(const char *text, const std::function<void()> &setup) {
  return run_in_child([&] {
    reset_interpreter_world();
    if (setup)
      setup();
    expand_spec(text, nullptr);
  });
}

std::string fatal_case_name(const testing::TestParamInfo<fatal_text_case> &info) {
  return info.param.name;
}

std::string named_spec_text(const char *name) {
  const char *text = spec_text(name, strlen(name));
  return text ? text : "(none)";
}

uint64_t fnv1a(const char *text) {
  uint64_t hash = 0xcbf29ce484222325ull;
  for (const unsigned char *p = reinterpret_cast<const unsigned char *>(text); *p; p++) {
    hash ^= *p;
    hash *= 0x100000001b3ull;
  }
  return hash;
}
