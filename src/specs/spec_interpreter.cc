// Interpreting spec texts.
//
// A spec text is read one character at a time, straight from its string:
//   blank       ends the argument in progress (runs of blanks make no empty
//               arguments) and clears the per-argument flags;
//   newline     ends the command line: the command runs, unless it ends in a
//               lone "|" under -pipe, when the next line joins the pipeline;
//   |           starts a new argument that begins with '|' ("|" alone is the
//               pipe marker, "|bar" is not);
//   \c          c as an ordinary character;
//   %c          the directive c, from the table at the end of this file;
//   other       part of the argument in progress.
// Nested texts (named specs, group bodies, function results) continue the
// caller's argument, except inside spec-function arguments, where each ends
// its own pending argument.
#include "specs/spec_interpreter.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/brace_groups.h"
#include "specs/compilers.h"
#include "specs/file_names.h"
#include "specs/spec_functions.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/file_lookup.h"
#include "support/prefix_list.h"
#include "support/temp_files.h"

int (*spec_command_runner)(arg_vector *) = execute;
void (*spec_export_refresh)() = nullptr;

namespace {

// One level of interpretation: the whole text (for messages), where the scan
// stands, and the soft match of the body being interpreted.
struct scan_context {
  const char *text;
  const char *p;
  const char *soft_match;
  // Non-zero stops the scan and is returned.
  int status;
  // Where the groups of a body's copy close; none for other texts.
  const brace_map *map = nullptr;
};

typedef void (*directive_handler)(scan_context *ctx, char letter);

struct directive_row {
  char letter;
  directive_handler handler;
};

void clear_arg_flags() {
  interpreter.arg_delete_mode = 0;
  interpreter.arg_is_output = false;
  interpreter.arg_is_library = false;
  interpreter.arg_is_linker_script = false;
}

void end_pending_arg() {
  if (interpreter.arg_open)
    finish_arg();
}

void reset_command() {
  arg_vector_truncate(&interpreter.command_args, 0);
  arg_vector_truncate(&interpreter.response_args, 0);
  interpreter.arg_open = false;
  interpreter.pipe_pending = false;
  clear_arg_flags();
}

bool last_arg_is_pipe() {
  arg_vector *args = &interpreter.command_args;
  return args->count > 0 && strcmp(args->items[args->count - 1], "|") == 0;
}

// The export refresh, then the command runner; a command never runs while a
// spec function's arguments are being expanded.
int run_command() {
  if (spec_export_refresh)
    spec_export_refresh();
  if (interpreter.command_args.count == 0)
    return 0;
  bool saved = exec_state.in_spec_function;
  exec_state.in_spec_function = interpreter.function_depth > 0;
  // What the expansion learnt about directories may not outlive the command.
  bool memo = set_lookup_memo(false);
  int status = spec_command_runner(&interpreter.command_args);
  set_lookup_memo(memo);
  exec_state.in_spec_function = saved;
  return status;
}

// Text of a named spec, with the nesting bound that keeps a spec reaching
// itself from exhausting the stack.
int interpret_named(const char *name, size_t length, const char *text) {
  if (!text)
    return 0;
  if (interpreter.nesting_depth >= MAX_SPEC_NESTING)
    fatal_error(UNKNOWN_LOCATION, "spec %qs nested too deeply", std::string(name, length).c_str());
  interpreter.nesting_depth++;
  int status = do_spec_1(text, 0, nullptr);
  interpreter.nesting_depth--;
  return status;
}

void interpret_named_text(scan_context *ctx, const char *name, const char *text) {
  ctx->status = interpret_named(name, strlen(name), text);
}

// One argument of its own, even inside a function's argument list.
void write_argument(const char *text) {
  do_spec_1(text, 1, nullptr);
  do_spec_1(" ", 0, nullptr);
}

// A multilib directory of "." is the base one, as if none were selected; a
// multiarch directory counts whenever selection gave one, whatever its text.
bool multilib_dir_is_set(const char *dir) { return dir && strcmp(dir, ".") != 0; }

bool valid_output_slot() {
  return driver.output_files && interpreter.cur_input_index >= 0 &&
         interpreter.cur_input_index < driver.output_file_count;
}

[[noreturn]] void invalid_after(scan_context *ctx, const char *format) {
  fatal_error(UNKNOWN_LOCATION, format, ctx->text, *ctx->p);
}

// Directives, in table order.

void percent_sign(scan_context *, char) { interpreter.arg_text += '%'; }

void empty_argument(scan_context *, char) {
  end_pending_arg();
  interpreter.arg_open = true;
  finish_arg();
}

void named_spec_reference(scan_context *ctx, char) {
  const char *name = ctx->p;
  const char *end = strchr(name, ')');
  size_t length = end ? static_cast<size_t>(end - name) : strlen(name);
  ctx->p = end ? end + 1 : name + length;
  ctx->status = interpret_named(name, length, spec_text(name, length));
}

void single_letter_spec(scan_context *ctx, char letter) {
  static const struct {
    char letter;
    builtin_spec_id id;
  } rows[] = {
      {'1', BUILTIN_SPEC_tarn},    {'2', BUILTIN_SPEC_fell},   {'a', BUILTIN_SPEC_asm},
      {'A', BUILTIN_SPEC_asm_final}, {'E', BUILTIN_SPEC_endfile}, {'G', BUILTIN_SPEC_libquarn},
      {'L', BUILTIN_SPEC_lib},     {'l', BUILTIN_SPEC_link},   {'S', BUILTIN_SPEC_startfile},
  };
  for (const auto &row : rows)
    if (row.letter == letter) {
      interpret_named_text(ctx, builtin_spec_names[row.id], builtin_spec(row.id));
      return;
    }
  quarn_unreachable();
}

void preprocessor_spec(scan_context *ctx, char) {
  const compiler_entry *compiler = interpreter.cur_compiler;
  if (compiler && compiler->cpp_text)
    interpret_named_text(ctx, compiler->key, compiler->cpp_text);
  else
    interpret_named_text(ctx, "cpp", builtin_spec(BUILTIN_SPEC_cpp));
}

void brace_group(scan_context *ctx, char) {
  ctx->p = eval_brace_group(ctx->p, ctx->text, ctx->map);
  if (!ctx->p)
    ctx->status = -1;
}

// %W{...}: the last argument the group adds is removed if the run fails.
void delete_on_failure_group(scan_context *ctx, char) {
  if (*ctx->p != '{')
    invalid_after(ctx, "spec %qs has invalid %<%%W%c%>");
  size_t before = interpreter.command_args.count;
  ctx->p = eval_brace_group(ctx->p + 1, ctx->text, ctx->map);
  if (!ctx->p) {
    ctx->status = -1;
    return;
  }
  end_pending_arg();
  arg_vector *args = &interpreter.command_args;
  if (args->count > before)
    note_temp_file(args->items[args->count - 1], false, true);
}

void response_file_group(scan_context *ctx, char) {
  if (*ctx->p != '{')
    invalid_after(ctx, "spec %qs has invalid %<%%@%c%>");
  bool diverted = response_files_in_use();
  if (diverted)
    open_response_file();
  ctx->p = eval_brace_group(ctx->p + 1, ctx->text, ctx->map);
  if (!ctx->p) {
    interpreter.response_file_open = false;
    ctx->status = -1;
    return;
  }
  if (diverted)
    flush_response_file();
}

void function_call(scan_context *ctx, char) {
  ctx->p = call_spec_function(ctx->p, nullptr, ctx->soft_match);
  if (!ctx->p)
    ctx->status = -1;
}

void switch_removal(scan_context *ctx, char letter) {
  ctx->p = remove_switches(ctx->p, letter == '>');
}

void soft_match_substitution(scan_context *ctx, char) {
  substitute_soft_match(ctx->soft_match, ctx->p);
}

void suffix_override(scan_context *ctx, char) { ctx->p = set_suffix_override(ctx->p); }

void add_linker_option(scan_context *ctx, char) {
  if (*ctx->p != '{')
    invalid_after(ctx, "spec %qs has invalid %<%%x%c%>");
  const char *option = ctx->p + 1;
  const char *end = strchr(option, '}');
  if (!end)
    fatal_error(UNKNOWN_LOCATION, "spec %qs invalid", ctx->text);
  size_t length = end - option;
  ctx->p = end + 1;
  const arg_vector *list = &driver.link_options;
  for (size_t i = 0; i < list->count; i++)
    if (strlen(list->items[i]) == length && strncmp(list->items[i], option, length) == 0)
      return;
  push_link_option(option, static_cast<int>(length));
}

void option_list(scan_context *, char letter) {
  if (letter == 'X')
    emit_option_list(&driver.link_options);
  else if (letter == 'Y')
    emit_option_list(&driver.asm_options);
  else
    emit_option_list(&driver.cpp_options);
}

void *library_dir_argument(char *candidate, void *) {
  if (is_usable_dir(candidate, true)) {
    std::string dir = candidate;
    if (dir.size() > 1 && dir.back() == '/')
      dir.pop_back();
    write_argument(("-L" + dir).c_str());
  }
  return nullptr;
}

void library_dirs(scan_context *, char) {
  walk_prefixes(&library_prefixes, true, 0, library_dir_argument, nullptr);
}

struct header_walk {
  const char *append;
};

void *header_dir_argument(char *candidate, void *data) {
  std::string dir = std::string(candidate) + static_cast<header_walk *>(data)->append;
  if (is_usable_dir(dir.c_str(), true)) {
    write_argument("-isystem");
    write_argument(dir.c_str());
  }
  return nullptr;
}

void header_dirs(scan_context *, char) {
  const multilib_dirs &multilib = selected_multilib;
  if (multilib_dir_is_set(multilib.multilib_subdir)) {
    write_argument("-imultilib");
    write_argument(multilib.multilib_subdir);
  }
  if (multilib.multiarch_subdir) {
    write_argument("-imultiarch");
    write_argument(multilib.multiarch_subdir);
  }
  if (driver.exec_root) {
    write_argument("-iprefix");
    write_argument(driver.exec_root);
  }
  if (target_root && (driver.target_root_changed || target_sysroot_hdrs_suffix)) {
    write_argument("-isysroot");
    std::string root = std::string(target_root) +
                       (target_sysroot_hdrs_suffix ? target_sysroot_hdrs_suffix : "");
    write_argument(root.c_str());
  }
  // Every include directory comes before every include-fixed one.
  header_walk include = {"include"};
  walk_prefixes(&header_prefixes, false, 0, header_dir_argument, &include);
  const char *hdrs_suffix_spec = builtin_spec(BUILTIN_SPEC_sysroot_hdrs_suffix_spec);
  std::string fixed = "include-fixed";
  // With a headers suffix the directory always ends in '/', and the multilib
  // subdirectory follows when there is one.
  if (hdrs_suffix_spec && *hdrs_suffix_spec)
    fixed = fixed + "/" + (multilib.multilib_subdir ? multilib.multilib_subdir : "");
  header_walk include_fixed = {fixed.c_str()};
  walk_prefixes(&header_prefixes, false, 0, header_dir_argument, &include_fixed);
}

void target_root_text(scan_context *, char) {
  if (!target_root)
    return;
  interpreter.arg_text += target_root;
  if (target_root_suffix)
    interpreter.arg_text += target_root_suffix;
}

void multilib_os_dir(scan_context *, char) {
  const char *dir = selected_multilib.multilib_os_subdir;
  interpreter.arg_text += dir ? dir : ".";
}

// %e and %n: the rest of the line, through the message catalogue.
std::string rest_of_line(scan_context *ctx) {
  const char *end = strchr(ctx->p, '\n');
  if (!end)
    end = ctx->p + strlen(ctx->p);
  std::string message(ctx->p, end);
  ctx->p = *end ? end + 1 : end;
  return message;
}

void error_message(scan_context *ctx, char) {
  std::string message = rest_of_line(ctx);
  error_at(UNKNOWN_LOCATION, "%s", _(message.c_str()));
  ctx->status = -1;
}

void note_message(scan_context *ctx, char) {
  std::string message = rest_of_line(ctx);
  inform(UNKNOWN_LOCATION, "%s", _(message.c_str()));
}

void argument_flag(scan_context *, char letter) {
  switch (letter) {
  case 's': interpreter.arg_is_library = true; break;
  case 'T': interpreter.arg_is_linker_script = true; break;
  case 'd': interpreter.arg_delete_mode = 2; break;
  case 'w': interpreter.arg_is_output = true; break;
  }
}

void clear_output_file(scan_context *, char) {
  if (valid_output_slot())
    driver.output_files[interpreter.cur_input_index] = nullptr;
}

void input_name(scan_context *, char) { insert_input_name(); }
void base_name(scan_context *, char letter) { insert_base_name(letter == 'B'); }
void output_files(scan_context *, char) { insert_output_files(); }

void object_suffix(scan_context *, char) {
  interpreter.arg_text += ".o";
  interpreter.arg_open = true;
}

void temp_name(scan_context *ctx, char letter) {
  ctx->p = insert_temp_name(letter, ctx->p, ctx->text);
}

const directive_row directive_table[] = {
    {'%', percent_sign},
    {'"', empty_argument},
    {'(', named_spec_reference},
    {'1', single_letter_spec},
    {'2', single_letter_spec},
    {'a', single_letter_spec},
    {'A', single_letter_spec},
    {'C', preprocessor_spec},
    {'E', single_letter_spec},
    {'G', single_letter_spec},
    {'L', single_letter_spec},
    {'l', single_letter_spec},
    {'S', single_letter_spec},
    {'{', brace_group},
    {'W', delete_on_failure_group},
    {'@', response_file_group},
    {':', function_call},
    {'<', switch_removal},
    {'>', switch_removal},
    {'*', soft_match_substitution},
    {'.', suffix_override},
    {'x', add_linker_option},
    {'X', option_list},
    {'Y', option_list},
    {'Z', option_list},
    {'D', library_dirs},
    {'I', header_dirs},
    {'R', target_root_text},
    {'M', multilib_os_dir},
    {'e', error_message},
    {'n', note_message},
    {'s', argument_flag},
    {'T', argument_flag},
    {'d', argument_flag},
    {'w', argument_flag},
    {'V', clear_output_file},
    {'i', input_name},
    {'b', base_name},
    {'B', base_name},
    {'o', output_files},
    {'O', object_suffix},
    {'g', temp_name},
    {'u', temp_name},
    {'U', temp_name},
    {'j', temp_name},
    {'m', temp_name},
    {'|', temp_name},
};

directive_handler find_directive(char letter) {
  for (const directive_row &row : directive_table)
    if (row.letter == letter)
      return row.handler;
  return nullptr;
}

void directive(scan_context *ctx) {
  char letter = *ctx->p;
  if (letter == '\0')
    fatal_error(UNKNOWN_LOCATION, "spec %qs invalid", ctx->text);
  ctx->p++;
  if (directive_handler handler = find_directive(letter))
    handler(ctx, letter);
  else
    error_at(UNKNOWN_LOCATION, "spec failure: unrecognized spec option %qc", letter);
}

// The end of a command line.
int end_of_line() {
  end_pending_arg();
  if (last_arg_is_pipe()) {
    if (global_options.use_pipes) {
      interpreter.pipe_pending = true;
      clear_arg_flags();
      return 0;
    }
    arg_vector_truncate(&interpreter.command_args, interpreter.command_args.count - 1);
  }
  int status = run_command();
  reset_command();
  return status;
}

// The characters scan_normal treats apart; every other one is plain text.
struct special_char_table {
  bool member[256] = {};
  constexpr special_char_table() {
    for (char c : {'\0', ' ', '\t', '\n', '|', '\\', '%'})
      member[static_cast<unsigned char>(c)] = true;
  }
};
constexpr special_char_table special_chars;

int scan_normal(scan_context *ctx) {
  while (ctx->status == 0) {
    char c = *ctx->p;
    if (c == '\0')
      break;
    ctx->p++;
    switch (c) {
    case ' ':
    case '\t':
      end_pending_arg();
      clear_arg_flags();
      break;
    case '\n':
      ctx->status = end_of_line();
      break;
    case '|':
      end_pending_arg();
      interpreter.arg_text += '|';
      interpreter.arg_open = true;
      break;
    case '\\':
      if (*ctx->p == '\0')
        fatal_error(UNKNOWN_LOCATION, "spec %qs invalid", ctx->text);
      interpreter.arg_text += *ctx->p++;
      interpreter.arg_open = true;
      break;
    case '%':
      directive(ctx);
      break;
    default: {
      // The whole run of plain text in one append.
      const char *end = ctx->p;
      while (!special_chars.member[static_cast<unsigned char>(*end)])
        end++;
      interpreter.arg_text.append(ctx->p - 1, end);
      ctx->p = end;
      interpreter.arg_open = true;
      break;
    }
    }
  }
  return ctx->status;
}

} // namespace

int do_spec_1(const char *text, int literal, const char *soft_match) {
  if (literal) {
    interpreter.arg_text += text;
    interpreter.arg_open = true;
  } else {
    scan_context ctx = {text, text, soft_match, 0};
    if (int status = scan_normal(&ctx))
      return status;
  }
  if (interpreter.function_depth > 0)
    end_pending_arg();
  return 0;
}

int interpret_body(const char *text, const char *soft_match, const brace_map *map) {
  scan_context ctx = {text, text, soft_match, 0, map};
  if (int status = scan_normal(&ctx))
    return status;
  if (interpreter.function_depth > 0)
    end_pending_arg();
  return 0;
}

int expand_spec(const char *text, const char *soft_match) {
  reset_command();
  interpreter.arg_text.clear();
  interpreter.arg_suffix_override = nullptr;
  // The start files and library directories of a link are looked for along
  // the same prefixes, half of which may be missing.
  bool memo = set_lookup_memo(true);
  int status = do_spec_1(text, 0, soft_match);
  end_pending_arg();
  set_lookup_memo(memo);
  return status;
}

int run_spec(const char *text) {
  if (int status = expand_spec(text, nullptr))
    return status;
  if (last_arg_is_pipe())
    arg_vector_truncate(&interpreter.command_args, interpreter.command_args.count - 1);
  int status = run_command();
  reset_command();
  return status;
}

void finish_arg() {
  // The argument is finished in place; only a lookup that found a file
  // replaces it.
  std::string &text = interpreter.arg_text;
  interpreter.arg_open = false;
  const char *arg = text.c_str();
  char *found = nullptr;
  if (interpreter.arg_is_library) {
    found = find_in_prefixes(&library_prefixes, arg, LOOKUP_READ, true);
    if (found)
      arg = found;
  }
  if (interpreter.arg_is_linker_script) {
    char *script = find_in_prefixes(&library_prefixes, arg, LOOKUP_READ, true);
    if (!script) {
      error_at(UNKNOWN_LOCATION,
               "unable to locate default linker script %qs in the library search paths", arg);
      free(found);
      text.clear();
      return;
    }
    push_arg("--script", false, false);
    free(found);
    arg = found = script;
  }
  push_arg(arg, interpreter.arg_delete_mode != 0, interpreter.arg_is_output);
  if (interpreter.arg_is_output && valid_output_slot())
    driver.output_files[interpreter.cur_input_index] = xstrdup(arg);
  free(found);
  text.clear();
}

void push_arg(const char *text, bool delete_always, bool delete_on_failure) {
  arg_vector *target =
      interpreter.response_file_open ? &interpreter.response_args : &interpreter.command_args;
  arg_vector_push(target, text);
  if (!delete_always && !delete_on_failure)
    return;
  const char *file = text;
  if (text[0] == '-')
    if (const char *equals = strrchr(text, '='))
      file = equals + 1;
  note_temp_file(file, delete_always, delete_on_failure);
}

void emit_option_list(const arg_vector *list) {
  for (size_t i = 0; i < list->count; i++)
    write_argument(list->items[i]);
}
