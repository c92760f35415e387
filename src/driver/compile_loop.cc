#include "driver/compile_loop.h"

#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/compare_debug.h"
#include "driver/driver_state.h"
#include "driver/lang_driver.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/file_names.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/temp_files.h"

static bool is_linker_language(const char *language) { return language && language[0] == '*'; }

static const compiler_entry *lookup_compiler(const input_entry &input) {
  return find_compiler(input.name, strlen(input.name), input.language);
}

static void count_error() { global_dc->kind_count[KIND_ERROR]++; }

bool prepare_inputs(unsigned char **link_only_marks) {
  if (driver.inputs.count == driver.driver_added_inputs)
    fatal_error(UNKNOWN_LOCATION, "no input files");
  if (errors_seen())
    return false;
  int count = driver.inputs.count;
  driver.output_file_count = count + lang_specific_extra_outputs;
  driver.output_files =
      static_cast<const char **>(xcalloc(driver.output_file_count + 1, sizeof(const char *)));
  unsigned char *marks = static_cast<unsigned char *>(xcalloc(count + 1, 1));
  *link_only_marks = marks;

  driver.compile_together = driver.output_given || driver.wpa_mode;
  const compiler_entry *current = nullptr;
  int language_inputs = 0;
  for (int i = 0; i < count; i++) {
    input_entry &input = driver.inputs.entries[i];
    const compiler_entry *compiler = lookup_compiler(input);
    if (compiler && !compiler->can_combine)
      driver.compile_together = false;
    input.compiled = false;
    input.preprocessed = false;
    if (current && compiler != current && input.language && !is_linker_language(input.language)) {
      // Its own -x chose another compiler: it still writes an output of its
      // own, so it counts against a single -o.
      input.compiler = compiler;
      if (compiler)
        language_inputs++;
      continue;
    }
    input.compiler = compiler;
    if (compiler) {
      language_inputs++;
      current = compiler;
    } else {
      marks[i] = 1;
    }
  }
  if (!driver.compile_together && driver.stop_before_link && driver.output_given &&
      language_inputs > 1)
    fatal_error(UNKNOWN_LOCATION,
                "cannot specify %<-o%> with %<-c%>, %<-S%> or %<-E%> with multiple files");
  return true;
}

// True when the input failed.
static bool compile_input(int index) {
  input_entry &input = driver.inputs.entries[index];
  const compiler_entry *compiler = lookup_compiler(input);
  interpreter.cur_compiler = compiler;
  if (!compiler)
    return false;
  if (compiler->spec[0] == '#') {
    error_at(UNKNOWN_LOCATION, "%s: %s compiler not installed on this system", input.name,
             compiler->spec + 1);
    return true;
  }
  bool failed = false;
  if (driver.compare_debug_mode)
    forget_compare_debug_dumps();
  int value = run_spec(compiler->spec);
  input.compiled = true;
  if (value < 0)
    failed = true;
  else if (driver.compare_debug_mode && compare_debug_first_dump())
    failed = compare_debug_second_run(input.name, compiler->spec);
  if (driver.compare_debug_mode)
    forget_compare_debug_dumps();
  return failed;
}

void do_spec_on_infiles(unsigned char *link_only_marks) {
  int count = driver.inputs.count;
  for (int i = 0; i < count; i++) {
    input_entry &input = driver.inputs.entries[i];
    interpreter.cur_input_index = i;
    select_input(input.name);
    exec_state.input_name = input.name;
    if (input.compiled)
      continue;
    driver.output_files[i] = input.name;
    const compiler_entry *compiler = lookup_compiler(input);
    if (!compiler) {
      link_only_marks[i] = 1;
      continue;
    }
    if (compile_input(i)) {
      remove_failure_files();
      count_error();
    }
    forget_failure_files();
  }
  exec_state.input_name = nullptr;

  // The link spec's base-name substitutions name the first real input.
  for (int i = 0; i < count; i++) {
    const input_entry &input = driver.inputs.entries[i];
    if (input.compiler || (input.language && !is_linker_language(input.language))) {
      select_input(input.name);
      break;
    }
  }
  if (!errors_seen()) {
    interpreter.cur_input_index = count;
    if (lang_specific_pre_link() != 0)
      count_error();
  }
}
