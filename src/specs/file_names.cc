// File-name and temporary-name directives: the current input and the names
// derived from it, the output slots, temporary-name bindings, save-temps names
// and response files.
#include "specs/file_names.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/response_files.h"
#include "support/temp_files.h"

void select_input(const char *name) {
  spec_state &s = interpreter;
  s.cur_input_name = name;
  s.cur_input_name_len = static_cast<int>(strlen(name));
  const char *slash = strrchr(name, '/');
  s.cur_base = slash ? slash + 1 : name;
  s.cur_base_full_len = static_cast<int>(strlen(s.cur_base));
  s.cur_base_len = s.cur_base_full_len;
  s.cur_suffix = "";
  // A leading dot (.profile) starts the name, not a suffix.
  for (int i = s.cur_base_full_len - 1; i > 0; i--)
    if (s.cur_base[i] == '.') {
      s.cur_base_len = i;
      s.cur_suffix = s.cur_base + i + 1;
      break;
    }
  s.cur_input_identity = IDENTITY_UNKNOWN;
  exec_state.input_name = name;
}

void clear_input_base() {
  interpreter.cur_base_len = 0;
  interpreter.cur_base_full_len = 0;
}

void insert_input_name() {
  if (!driver.compile_together) {
    interpreter.arg_text += interpreter.cur_input_name ? interpreter.cur_input_name : "";
    interpreter.arg_open = true;
    return;
  }
  bool diverted = response_files_in_use();
  if (diverted)
    open_response_file();
  for (int i = 0; i < driver.inputs.count; i++) {
    input_entry &input = driver.inputs.entries[i];
    if ((input.language && input.language[0] == '*') || input.compiler != interpreter.cur_compiler)
      continue;
    push_arg(input.name, false, false);
    input.compiled = true;
  }
  if (diverted)
    flush_response_file();
}

namespace {

// out_base, or the input's base without its suffix, as the name's stem.
void append_stem(std::string *text, bool use_out_base) {
  if (use_out_base && driver.out_base_length > 0)
    text->append(driver.out_base, driver.out_base_length);
  else if (interpreter.cur_base)
    text->append(interpreter.cur_base, interpreter.cur_base_len);
}

} // namespace

void insert_base_name(bool with_suffix) {
  if (interpreter.cur_base_full_len == 0)
    assertion_failed(__FILE__, __LINE__, "do_spec_1");
  std::string &text = interpreter.arg_text;
  bool output = interpreter.arg_is_output;
  if (driver.dump_dir_length > 0 && !output)
    text.append(driver.dump_dir, driver.dump_dir_length);
  append_stem(&text, !output);
  if (driver.compare_debug_mode < 0)
    text += ".gk";
  if (with_suffix)
    text.append(interpreter.cur_base + interpreter.cur_base_len,
                interpreter.cur_base_full_len - interpreter.cur_base_len);
  interpreter.arg_open = true;
}

void insert_output_files() {
  bool diverted = response_files_in_use();
  if (diverted)
    open_response_file();
  for (int i = 0; i < driver.output_file_count; i++) {
    const char *file = driver.output_files ? driver.output_files[i] : nullptr;
    if (file && *file)
      push_arg(file, false, false);
  }
  if (diverted)
    flush_response_file();
}

namespace {

bool is_suffix_char(char c) { return c == '.' || isalnum(static_cast<unsigned char>(c)); }

bool null_device_usable() {
  struct stat st;
  return stat("/dev/null", &st) == 0 && !S_ISDIR(st.st_mode) && access("/dev/null", W_OK) == 0;
}

void add_name(const char *name, int delete_mode) {
  interpreter.arg_text += name;
  interpreter.arg_delete_mode = delete_mode;
  interpreter.arg_open = true;
}

// Whether the save-temps name is the input itself (by name, or by device and
// inode, the input's looked up once).
bool is_current_input(const std::string &name) {
  spec_state &s = interpreter;
  if (!s.cur_input_name)
    return false;
  if (name == s.cur_input_name)
    return true;
  if (s.cur_input_identity == IDENTITY_UNKNOWN) {
    struct stat st;
    if (stat(s.cur_input_name, &st) == 0) {
      s.cur_input_identity = IDENTITY_KNOWN;
      s.cur_input_dev = st.st_dev;
      s.cur_input_ino = st.st_ino;
    } else {
      s.cur_input_identity = IDENTITY_UNAVAILABLE;
    }
  }
  if (s.cur_input_identity != IDENTITY_KNOWN)
    return false;
  struct stat st;
  return stat(name.c_str(), &st) == 0 && st.st_dev == s.cur_input_dev &&
         st.st_ino == s.cur_input_ino;
}

std::string save_temps_name(const std::string &suffix) {
  std::string name(driver.dump_dir ? driver.dump_dir : "", driver.dump_dir ? driver.dump_dir_length : 0);
  append_stem(&name, true);
  bool no_stem = driver.out_base_length == 0 && interpreter.cur_base_len == 0;
  if (!suffix.empty() && no_stem && !driver.dump_dir_dash_added)
    name += suffix.substr(1);
  else
    name += suffix;
  return name;
}

temp_binding *find_binding(const std::string &suffix, bool unique) {
  for (temp_binding *b = interpreter.temp_bindings; b; b = b->next)
    if (b->suffix_len == suffix.size() && memcmp(b->suffix, suffix.data(), suffix.size()) == 0 &&
        b->unique == unique)
      return b;
  return nullptr;
}

} // namespace

const char *insert_temp_name(char directive, const char *text, const char *spec_text) {
  const char *p = text;
  if (directive == 'j' && driver.save_temps_mode == SAVE_TEMPS_NONE && null_device_usable()) {
    add_name("/dev/null", 0);
    return p;
  }
  const char *suffix_start = p;
  while (is_suffix_char(*p))
    p++;
  std::string suffix(suffix_start, p);
  if ((directive == '|' || directive == 'm') && global_options.use_pipes) {
    if (p[0] == '%' && p[1] == 'O')
      p += 2;
    if (directive == '|')
      add_name("-", 0);
    return p;
  }
  if (p[0] == '%' && p[1] == 'O') {
    p += 2;
    suffix += ".o";
    if (is_suffix_char(*p))
      fatal_error(UNKNOWN_LOCATION, "spec %qs has invalid %<%%0%c%>", spec_text, *p);
  }
  if (driver.compare_debug_mode < 0)
    suffix = ".gk" + suffix;

  if (driver.save_temps_mode != SAVE_TEMPS_NONE) {
    std::string name = save_temps_name(suffix);
    if (!is_current_input(name)) {
      add_name(name.c_str(), 0);
      return p;
    }
  }

  bool unique = directive == 'u' || directive == 'U' || directive == 'j';
  temp_binding *binding = find_binding(suffix, unique);
  bool fresh = directive == 'u' || directive == 'j';
  if (!binding || fresh) {
    if (!binding) {
      binding = static_cast<temp_binding *>(xcalloc(1, sizeof(temp_binding)));
      binding->next = interpreter.temp_bindings;
      interpreter.temp_bindings = binding;
      binding->suffix = xstrndup(suffix.data(), suffix.size());
      binding->suffix_len = suffix.size();
      binding->unique = unique;
    }
    // The previous file of a reused binding stays on the deletion lists.
    free(const_cast<char *>(binding->file_name));
    binding->file_name = make_temp_name(suffix.c_str());
  }
  add_name(binding->file_name, 1);
  return p;
}

bool response_files_in_use() { return at_file_supplied; }

void open_response_file() {
  if (interpreter.response_file_open)
    fatal_error(UNKNOWN_LOCATION, "cannot open nested response file");
  interpreter.response_file_open = true;
}

namespace {

std::string response_file_name() {
  if (driver.save_temps_mode == SAVE_TEMPS_NONE) {
    char *made = make_temp_name("");
    std::string name = made;
    free(made);
    return name;
  }
  std::string base = "a";
  bool dump_dir_base = false;
  if (driver.dump_base && *driver.dump_base) {
    base = driver.dump_base;
  } else if (driver.dump_dir && *driver.dump_dir) {
    base = driver.dump_dir;
    dump_dir_base = true;
  }
  std::string ending = ".args." + std::to_string(interpreter.response_file_count++);
  if (dump_dir_base && driver.dump_dir_dash_added)
    ending.erase(0, 1);
  return base + ending;
}

} // namespace

void flush_response_file() {
  if (!interpreter.response_file_open)
    fatal_error(UNKNOWN_LOCATION, "cannot close nonexistent response file");
  interpreter.response_file_open = false;
  arg_vector *args = &interpreter.response_args;
  if (args->count == 0)
    return;
  std::string name = response_file_name();
  FILE *file = fopen(name.c_str(), "w");
  if (!file)
    fatal_error(UNKNOWN_LOCATION, "could not open temporary response file %s", name.c_str());
  int written = write_response_file(args->items, file);
  arg_vector_truncate(args, 0);
  if (written != 0)
    fatal_error(UNKNOWN_LOCATION, "could not write to temporary response file %s", name.c_str());
  if (fclose(file) != 0)
    fatal_error(UNKNOWN_LOCATION, "could not close temporary response file %s", name.c_str());
  push_arg(("@" + name).c_str(), false, false);
  bool temporary = driver.save_temps_mode == SAVE_TEMPS_NONE;
  note_temp_file(name.c_str(), temporary, temporary);
}
