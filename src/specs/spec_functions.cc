// Table of spec functions and the call protocol: the caller's argument
// context is put aside while the function's own words are expanded.
#include "specs/spec_functions.h"

#include <cctype>
#include <cstring>
#include <string>
#include <utility>

#include "diagnostics/diagnostic.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/execute.h"

const spec_function_row spec_function_table[] = {
    {"getenv", getenv_spec_function},
    {"if-exists", if_exists_spec_function},
    {"if-exists-else", if_exists_else_spec_function},
    {"if-exists-then-else", if_exists_then_else_spec_function},
    {"sanitize", sanitize_spec_function},
    {"replace-outfile", replace_outfile_spec_function},
    {"remove-outfile", remove_outfile_spec_function},
    {"version-compare", version_compare_spec_function},
    {"include", include_spec_function},
    {"find-file", find_file_spec_function},
    {"find-plugindir", find_plugindir_spec_function},
    {"print-asm-header", print_asm_header_spec_function},
    {"compare-debug-dump-opt", compare_debug_dump_opt_spec_function},
    {"compare-debug-self-opt", compare_debug_self_opt_spec_function},
    {"pass-through-libs", pass_through_libs_spec_func},
    {"dumps", dumps_spec_func},
    {"gt", greater_than_spec_func},
    {"debug-level-gt", debug_level_greater_than_spec_func},
    {"dwarf-version-gt", dwarf_version_greater_than_spec_func},
    {"fortran-preinclude-file", fortran_preinclude_file_spec_func},
    {"local_cpu_detect", host_detect_local_cpu},
    {"rewrite_mcpu", aarch64_rewrite_mcpu},
    {nullptr, nullptr}};

const char *compare_debug_dump_names[2];
const char *compare_debug_seed;

char *quote_spec_arg(const char *text) {
  if (!text[0])
    return xstrdup("%\"");
  std::string quoted;
  for (const char *p = text; *p; ++p) {
    if (strchr(" \t\n|%\\", *p))
      quoted += '\\';
    quoted += *p;
  }
  return xstrdup(quoted.c_str());
}

static const spec_function_row *find_spec_function(const char *name) {
  for (const spec_function_row *row = spec_function_table; row->name; ++row)
    if (strcmp(row->name, name) == 0)
      return row;
  return nullptr;
}

// The part of the interpreter state that belongs to the command being built
// by the caller. The response-file part is kept too: arguments the caller
// gathered inside %@{...} must reach its response file, not the function.
struct saved_context {
  arg_vector command_args;
  arg_vector response_args;
  bool response_file_open;
  std::string arg_text;
  bool arg_open;
  int arg_delete_mode;
  bool arg_is_output;
  bool arg_is_library;
  bool arg_is_linker_script;
  bool pipe_pending;
  const char *arg_suffix_override;
};

static saved_context save_context() {
  spec_state &s = interpreter;
  saved_context saved{s.command_args,   s.response_args,        s.response_file_open,
                      std::move(s.arg_text), s.arg_open,        s.arg_delete_mode,
                      s.arg_is_output,  s.arg_is_library,       s.arg_is_linker_script,
                      s.pipe_pending,   s.arg_suffix_override};
  s.arg_text.clear();
  s.command_args = arg_vector();
  s.response_args = arg_vector();
  arg_vector_init(&s.command_args, 10);
  arg_vector_init(&s.response_args, 10);
  s.response_file_open = false;
  s.arg_open = false;
  s.arg_delete_mode = 0;
  s.arg_is_output = s.arg_is_library = s.arg_is_linker_script = false;
  s.pipe_pending = false;
  s.arg_suffix_override = nullptr;
  return saved;
}

static void restore_context(saved_context &saved) {
  spec_state &s = interpreter;
  arg_vector_free(&s.command_args);
  arg_vector_free(&s.response_args);
  s.command_args = saved.command_args;
  s.response_args = saved.response_args;
  s.response_file_open = saved.response_file_open;
  s.arg_text = std::move(saved.arg_text);
  s.arg_open = saved.arg_open;
  s.arg_delete_mode = saved.arg_delete_mode;
  s.arg_is_output = saved.arg_is_output;
  s.arg_is_library = saved.arg_is_library;
  s.arg_is_linker_script = saved.arg_is_linker_script;
  s.pipe_pending = saved.pipe_pending;
  s.arg_suffix_override = saved.arg_suffix_override;
}

// No command may run while a function's words are gathered or its result is
// read: the command under construction is not the caller's.
static void enter_function() {
  interpreter.function_depth++;
  exec_state.in_spec_function = true;
}

static void leave_function() {
  interpreter.function_depth--;
  exec_state.in_spec_function = interpreter.function_depth > 0;
}

const char *call_spec_function(const char *after_colon, bool *returned, const char *soft_match) {
  enter_function();

  const char *p = after_colon;
  while (*p && *p != '(') {
    if (!isalnum(static_cast<unsigned char>(*p)) && *p != '-' && *p != '_')
      fatal_error(UNKNOWN_LOCATION, "malformed spec function name");
    ++p;
  }
  if (!*p)
    fatal_error(UNKNOWN_LOCATION, "no arguments for spec function");
  char *name = xstrndup(after_colon, size_t(p - after_colon));

  const char *args_start = ++p;
  for (int depth = 0; *p != ')' || depth > 0; ++p) {
    if (!*p)
      fatal_error(UNKNOWN_LOCATION, "malformed spec function arguments");
    if (*p == '(')
      depth++;
    else if (*p == ')')
      depth--;
  }
  char *args = xstrndup(args_start, size_t(p - args_start));
  const char *after_call = p + 1;

  const spec_function_row *row = find_spec_function(name);
  if (!row)
    fatal_error(UNKNOWN_LOCATION, "unknown spec function %qs", name);

  saved_context saved = save_context();
  if (expand_spec(args, soft_match) < 0)
    fatal_error(UNKNOWN_LOCATION, "error in arguments to spec function %qs", name);
  const char *value = row->handler(int(interpreter.command_args.count),
                                   const_cast<const char **>(interpreter.command_args.items));
  // A handler may return one of its words, which the restore releases.
  if (value)
    value = xstrdup(value);
  restore_context(saved);

  // Read while the depth is still raised, so the result's last argument ends
  // with it; an argument the call interrupted continues in front of it.
  const char *result = after_call;
  if (value && do_spec_1(value, 0, nullptr) != 0)
    result = nullptr;
  if (returned)
    *returned = value != nullptr;
  free(name);
  free(args);
  leave_function();
  return result;
}
