#include "driver/process_command.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn-config.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_options.h"
#include "driver/driver_state.h"
#include "driver/dump_names.h"
#include "driver/env_manager.h"
#include "driver/lang_driver.h"
#include "support/alloc.h"
#include "support/prefix_list.h"
#include "support/relocate.h"

// The command line is read before any spec is stored, so the search
// variables follow the built-in value of the cross-compile spec: "0", native.
static const bool native_run = true;

static bool any_option_is(const decoded_option *decoded, unsigned count, size_t row1,
                          size_t row2 = SIZE_MAX, size_t row3 = SIZE_MAX) {
  for (unsigned i = 1; i < count; i++)
    if (decoded[i].row == row1 || decoded[i].row == row2 || decoded[i].row == row3)
      return true;
  return false;
}

static void set_install_roots(const char *argv0, bool resolve_links) {
  if (!driver.exec_root) {
    // Found and resolved once for both directories.
    char *program = resolve_program_name(argv0, resolve_links);
    driver.exec_root =
        relocate_prefix(program, STANDARD_BINDIR_PREFIX, STANDARD_EXEC_PREFIX, false);
    driver.libexec_root =
        relocate_prefix(program, STANDARD_BINDIR_PREFIX, STANDARD_LIBEXEC_PREFIX, false);
    free(program);
    if (driver.exec_root)
      driver_env.xput((std::string("QUARN_EXEC_PREFIX=") + driver.exec_root).c_str());
  } else {
    std::string composed = std::string(driver.exec_root) + "quarn";
    driver.libexec_root = relocate_prefix(composed.c_str(), STANDARD_EXEC_PREFIX,
                                          STANDARD_LIBEXEC_PREFIX, resolve_links);
  }
  if (!driver.libexec_root)
    driver.libexec_root = STANDARD_LIBEXEC_PREFIX;
}

static void add_relocated_prefixes() {
  static const char lib_quarn[] = "/lib/quarn/";
  const char *root = driver.exec_root;
  size_t length = strlen(root), tail = sizeof lib_quarn - 1;
  if (length > tail && strcmp(root + length - tail, lib_quarn) == 0)
    length -= tail;
  set_install_root(root, length);
  insert_prefix(&program_prefixes, driver.libexec_root, "QUARN", PRIO_STANDARD, 0, 0);
  insert_prefix(&library_prefixes, root, "QUARN", PRIO_STANDARD, 0, 0);
}

// Each ':'-separated element of the variable becomes a prefix ending in '/';
// an empty element is the current directory.
static void add_path_variable(const char *name, search_path_list *list, search_path_list *other,
                              int use_os_dir) {
  const char *value = driver_env.getenv(name);
  if (!value)
    return;
  for (const char *start = value;;) {
    const char *colon = strchr(start, ':');
    std::string dir(start, colon ? size_t(colon - start) : strlen(start));
    if (dir.empty())
      dir = "./";
    else if (dir.back() != '/')
      dir += '/';
    insert_prefix(list, dir.c_str(), nullptr, PRIO_STANDARD, 0, use_os_dir);
    if (other)
      insert_prefix(other, dir.c_str(), nullptr, PRIO_STANDARD, 0, use_os_dir);
    if (!colon)
      return;
    start = colon + 1;
  }
}

static void save_decoded(const decoded_option *decoded, bool recognized) {
  record_switch(decoded->canonical_words[0], int(decoded->canonical_word_count) - 1,
                decoded->canonical_words + 1, false, recognized);
}

// A word the option table does not know is kept, unaccepted, for a spec file
// that may define it; what is left unaccepted is reported once set-up is done.
// An unknown -Wno- word is the compiler proper's to judge.
static bool unknown_option_callback(const decoded_option *decoded) {
  if (strncmp(decoded->arg, "-Wno-", 5) == 0 && !(decoded->errors & ERR_NEGATIVE)) {
    save_decoded(decoded, true);
    return false;
  }
  if (decoded->row == SPECIAL_UNKNOWN) {
    save_decoded(decoded, false);
    return false;
  }
  return true;
}

// An option of the compilers, not of the driver: passed on through the specs.
static void wrong_lang_callback(const decoded_option *decoded, unsigned lang_mask) {
  if (option_rows[decoded->row].attributes & ATTR_REJECT_DRIVER)
    error_at(UNKNOWN_LOCATION, "unrecognized command-line option %qs", decoded->given_text);
  else
    save_decoded(decoded, true);
}

static const option_handlers driver_handlers = {
    unknown_option_callback,
    wrong_lang_callback,
    nullptr,
    3,
    {{driver_handle_option, CL_DRIVER},
     {common_handle_option, CL_COMMON},
     {target_handle_option, CL_TARGET}},
};

void handle_driver_option(const decoded_option *decoded) {
  read_cmdline_option(&global_options, &global_options_set, decoded, UNKNOWN_LOCATION, CL_DRIVER,
                      &driver_handlers, global_dc);
}

static void read_options(const decoded_option *decoded, unsigned count) {
  for (unsigned i = 1; i < count; i++) {
    if (decoded[i].row == SPECIAL_INPUT_FILE)
      add_input(decoded[i].arg, driver.current_language);
    else
      read_cmdline_option(&global_options, &global_options_set, &decoded[i], UNKNOWN_LOCATION,
                          CL_DRIVER, &driver_handlers, global_dc);
  }
}

// Compiling into one of the inputs would destroy it. Names that cannot be
// resolved (an output not made yet) match nothing.
static bool same_canonical_path(const char *name, const char *canonical) {
  char *resolved = realpath(name, nullptr);
  bool same = resolved && strcmp(resolved, canonical) == 0;
  free(resolved);
  return same;
}

static void check_output_name() {
  const char *output = driver.output_name;
  struct stat output_stat;
  char *canonical_output = nullptr;
  if (output && is_real_file_name(output) && stat(output, &output_stat) == 0)
    canonical_output = realpath(output, nullptr);
  for (int i = 0; canonical_output && i < driver.inputs.count; i++) {
    const input_entry &input = driver.inputs.entries[i];
    if (input.language && input.language[0] == '*')
      continue;
    // Equal canonical paths name one file, so a different file needs no
    // resolving: one stat per input instead of a walk of every link.
    struct stat input_stat;
    if (stat(input.name, &input_stat) != 0 || input_stat.st_ino != output_stat.st_ino ||
        input_stat.st_dev != output_stat.st_dev)
      continue;
    if (same_canonical_path(input.name, canonical_output))
      fatal_error(UNKNOWN_LOCATION, "input file %qs is the same as output file", input.name);
  }
  free(canonical_output);
  if (output && !output[0])
    fatal_error(UNKNOWN_LOCATION, "output filename may not be empty");
}

static void apply_compare_debug_variable() {
  if (driver.compare_debug_mode == 0) {
    const char *value = driver_env.getenv("QUARN_COMPARE_DEBUG");
    if (value && value[0] == '-') {
      driver.compare_debug_mode = 2;
      driver.compare_debug_option = value;
    } else if (value && value[0] && strcmp(value, "0") != 0) {
      driver.compare_debug_mode = 3;
      driver.compare_debug_option = "-gtoggle";
    }
  }
  if (driver.compare_debug_mode < 0)
    driver.compare_debug_mode = 0;
}

static void add_standard_prefixes() {
  insert_prefix(&program_prefixes, STANDARD_LIBEXEC_PREFIX, "QUARN", PRIO_STANDARD, 1, 0);
  insert_prefix(&program_prefixes, STANDARD_LIBEXEC_PREFIX, "SHALE", PRIO_STANDARD, 2, 0);
  insert_prefix(&program_prefixes, STANDARD_EXEC_PREFIX, "SHALE", PRIO_STANDARD, 2, 0);
  insert_prefix(&library_prefixes, STANDARD_EXEC_PREFIX, "SHALE", PRIO_STANDARD, 1, 0);
}

static void add_tool_dir_prefixes() {
  std::string tool_dir = std::string(driver.exec_root ? driver.exec_root : STANDARD_EXEC_PREFIX) +
                         TARGET_VERSION_DIR + TOOLDIR_BASE_PREFIX + QUARN_TARGET + "/";
  insert_prefix(&program_prefixes, (tool_dir + "bin/").c_str(), "SHALE", PRIO_STANDARD, 0, 0);
  insert_prefix(&library_prefixes, (tool_dir + "lib/").c_str(), "SHALE", PRIO_STANDARD, 0, 1);
}

// The language driver's own inputs all come after the user's words, so the
// -x is compared with the inputs the user named.
static void warn_x_after_last_input() {
  int user_inputs = driver.inputs.count - driver.driver_added_inputs;
  if (user_inputs > 0 && user_inputs == driver.last_language_input_count &&
      driver.current_language)
    warning_at(UNKNOWN_LOCATION, 0, "%<-x %s%> after last input file has no effect",
               driver.current_language);
}

static void record_compare_debug_switch() {
  if (driver.compare_debug_mode != 2 && driver.compare_debug_mode != 3)
    return;
  std::string text = std::string("-fcompare-debug=") + driver.compare_debug_option;
  record_switch(xstrdup(text.c_str()), 0, nullptr, false, true);
  driver.compare_debug_mode = 1;
}

// A command line holding only -v, only --help and --version, or nothing at
// all may name undefined variables in specs. The user's words count, not
// what the language driver adds.
static void set_undefined_variables_allowed(unsigned user_count) {
  unsigned help_and_version = (driver.print_help ? 1 : 0) + (driver.print_version ? 1 : 0);
  driver.undefined_variables_allowed =
      (global_options.verbose_flag && user_count == 2) || user_count - 1 == help_and_version;
}

void process_command(unsigned *decoded_count, decoded_option **decoded) {
  driver.exec_root = driver_env.getenv("QUARN_EXEC_PREFIX");
  driver.switches.count = 0;
  driver.inputs.count = 0;
  driver.driver_added_inputs = 0;
  driver.compiler_version =
      xstrndup(QUARN_VERSION_STRING, strcspn(QUARN_VERSION_STRING, " "));

  const unsigned user_count = *decoded_count;
  const bool resolve_links = !any_option_is(*decoded, *decoded_count, OPT_no_canonical_prefixes);
  set_install_roots((*decoded)[0].arg, resolve_links);

  lang_specific_driver(decoded, decoded_count, &driver.driver_added_inputs);

  if (driver.exec_root)
    add_relocated_prefixes();
  add_path_variable("COMPILER_PATH", &program_prefixes, &header_prefixes, 0);
  if (native_run) {
    add_path_variable("LIBRARY_PATH", &library_prefixes, nullptr, 1);
    add_path_variable("LPATH", &library_prefixes, nullptr, 1);
  }

  driver.last_language_input_count = -1;
  driver.stop_before_link = any_option_is(*decoded, *decoded_count, OPT_S, OPT_c, OPT_E);
  read_options(*decoded, *decoded_count);
  fill_exec_state();

  if (global_options.debug_toggle)
    global_options.debug_level = global_options.debug_level == 0 ? 2 : 0;

  check_output_name();
  derive_dump_names();

  if (driver.save_temps_mode != SAVE_TEMPS_NONE && global_options.use_pipes) {
    warning_at(UNKNOWN_LOCATION, 0, "%<-pipe%> ignored because %<-save-temps%> specified");
    global_options.use_pipes = 0;
  }

  apply_compare_debug_variable();
  if (!driver.exec_root)
    add_standard_prefixes();
  add_tool_dir_prefixes();
  warn_x_after_last_input();
  record_compare_debug_switch();

  if (driver.inputs.count == 0 &&
      (driver.print_help || driver.print_version || driver.subprocess_help))
    add_input("help-dummy", "c");

  set_undefined_variables_allowed(user_count);
  terminate_tables();
}
