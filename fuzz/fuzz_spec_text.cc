// Spec texts: interpreting any text with any switches ends with arguments or
// with one of the interpreter's own fatal errors, never with a crash, a read
// past the text or a runaway recursion. The input cut at NUL bytes: the first
// piece is a spec text, the others are switches ("pipe" turns -pipe on).
// Commands are recorded, never run; fatal and internal errors return here
// instead of ending the process. Strings made while interpreting live until the process
// ends, so run with ASAN_OPTIONS=detect_leaks=0.
#include <dirent.h>
#include <unistd.h>

#include <cctype>
#include <csetjmp>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "fuzz_common.h"
#include "fuzz_spec_setup.h"
#include "options/opts.h"
#include "specs/brace_groups.h"
#include "specs/file_names.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/execute.h"
#include "support/response_files.h"
#include "support/temp_files.h"

namespace {

jmp_buf fatal_return;
size_t commands_seen;
// Temporary files go to a directory of the target's own, emptied after every
// case: a name bound and replaced within one argument is never noted.
std::string temp_files_dir;

void return_from_fatal(diag_context *context, diag_record *record) {
  original_finalizer(context, record);
  // An internal error after errors would end the process before reaching here.
  context->kind_count[KIND_ERROR] = 0;
  context->kind_count[KIND_SORRY] = 0;
  // Spec functions called with the wrong number of words end in an internal
  // error by design, like a fatal error: both are the program's own ends.
  if (record->kind == KIND_FATAL || record->kind == KIND_ICE || record->kind == KIND_ICE_NOBT) {
    context->lock = 0;
    longjmp(fatal_return, 1);
  }
}

int record_command(arg_vector *args) {
  FUZZ_CHECK(args->items[args->count] == nullptr);
  for (size_t i = 0; i < args->count; i++)
    FUZZ_CHECK(args->items[i] != nullptr);
  commands_seen++;
  return 0;
}

void empty_temp_files_dir() {
  DIR *dir = opendir(temp_files_dir.c_str());
  if (!dir)
    return;
  while (dirent *entry = readdir(dir))
    if (entry->d_name[0] != '.')
      unlink((temp_files_dir + "/" + entry->d_name).c_str());
  closedir(dir);
}

void remove_temp_files_dir() {
  empty_temp_files_dir();
  rmdir(temp_files_dir.c_str());
}

bool set_up() {
  char pattern[] = "/tmp/fuzz-spec-text-XXXXXX";
  if (!mkdtemp(pattern))
    abort();
  temp_files_dir = pattern;
  setenv("TMPDIR", pattern, 1);
  atexit(remove_temp_files_dir);
  set_up_diagnostics(return_from_fatal);
  init_spec_state();
  init_builtin_specs();
  spec_command_runner = record_command;
  return true;
}

// Every temporary file a case made, noted or not, goes before the next case.
void forget_case() {
  remove_temp_files();
  empty_temp_files_dir();
  driver_state_reset();
  reset_spec_state();
  for (int &count : global_dc->kind_count)
    count = 0;
  exec_state = execute_state();
}

// Whether the text holds a run of suffix characters long enough to make a
// temporary name the file system refuses: that ends the process at once (its
// documented behaviour), which would end the fuzzing too.
bool has_overlong_suffix(const std::string &text) {
  size_t run = 0;
  for (char c : text) {
    run = c == '.' || isalnum(static_cast<unsigned char>(c)) ? run + 1 : 0;
    if (run >= 200)
      return true;
  }
  return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static bool ready = set_up();
  (void)ready;
  std::vector<std::string> pieces = split_at_nul(data, size);
  if (has_overlong_suffix(pieces[0]))
    return 0;
  std::vector<std::string> switches;
  global_options.use_pipes = 0;
  at_file_supplied = false;
  for (size_t i = 1; i < pieces.size() && i <= 16; i++) {
    if (pieces[i] == "pipe")
      global_options.use_pipes = 1;
    switches.push_back("-" + pieces[i]);
  }
  for (const std::string &text : switches)
    record_switch(text.c_str(), 0, nullptr, false, true);
  terminate_tables();
  select_input("dir/input.c");

  if (setjmp(fatal_return) == 0) {
    mark_switches_in_text(pieces[0].c_str(), true);
    int status = run_spec(pieces[0].c_str());
    // A finished run leaves no context behind.
    FUZZ_CHECK(status == 0 || status == -1);
    FUZZ_CHECK(interpreter.function_depth == 0);
    FUZZ_CHECK(interpreter.nesting_depth == 0);
    FUZZ_CHECK(!interpreter.response_file_open);
    for (int i = 0; i < driver.switches.count; i++)
      FUZZ_CHECK(!driver.switches.entries[i].marked);
  }
  forget_case();
  return 0;
}
