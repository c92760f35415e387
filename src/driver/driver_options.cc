#include "driver/driver_options.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "quarn-config.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "driver/offload_options.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/prefix_list.h"

// Calls push with each ','-separated piece of text, empty pieces included.
static void for_each_piece(const char *text, void (*push)(const char *, int)) {
  for (const char *start = text;;) {
    const char *comma = strchr(start, ',');
    int length = comma ? int(comma - start) : int(strlen(start));
    push(start, length);
    if (!comma)
      return;
    start = comma + 1;
  }
}

static void add_linker_word(const char *text, int length) {
  add_input(xstrndup(text, length), "*");
}

// A -B directory named without its final '/' still names a directory.
static void add_b_prefix(const char *arg) {
  const char *dir = arg;
  size_t length = strlen(arg);
  struct stat st;
  if (length > 0 && arg[length - 1] != '/' && stat(arg, &st) == 0 && S_ISDIR(st.st_mode))
    dir = concat(arg, "/");
  insert_prefix(&program_prefixes, dir, nullptr, PRIO_OPTION, 0, 0);
  insert_prefix(&library_prefixes, dir, nullptr, PRIO_OPTION, 0, 0);
  insert_prefix(&header_prefixes, dir, nullptr, PRIO_OPTION, 0, 0);
}

// The compare-debug runs must agree on __DATE__ and friends; a value the
// caller set is kept. Set directly so that the second run inherits it too.
static void set_source_date_epoch() {
  time_t now = time(nullptr);
  unsigned long long seconds = now < 0 ? 0 : (unsigned long long)now;
  char text[32];
  snprintf(text, sizeof text, "%llu", seconds);
  setenv("SOURCE_DATE_EPOCH", text, 0);
}

static void handle_compare_debug(const decoded_option *decoded) {
  const char *replacement, *option;
  if (decoded->row == OPT_fcompare_debug && decoded->value) {
    replacement = "-fcompare-debug=-gtoggle";
    option = "-gtoggle";
  } else if (decoded->row == OPT_fcompare_debug) {
    replacement = "-fcompare-debug=";
    option = "";
  } else {
    replacement = decoded->canonical_words[0];
    option = decoded->arg;
  }
  quarn_assert(decoded->canonical_word_count == 1);
  if (option[0]) {
    driver.compare_debug_option = option;
    driver.compare_debug_mode = 1;
  } else {
    driver.compare_debug_option = nullptr;
    driver.compare_debug_mode = -1;
  }
  record_switch(replacement, 0, nullptr, false, true);
  set_source_date_epoch();
}

static void handle_save_temps_arg(const decoded_option *decoded) {
  if (strcmp(decoded->arg, "cwd") == 0)
    driver.save_temps_mode = SAVE_TEMPS_CWD;
  else if (strcmp(decoded->arg, "obj") == 0 || strcmp(decoded->arg, "object") == 0)
    driver.save_temps_mode = SAVE_TEMPS_OBJ;
  else
    fatal_error(UNKNOWN_LOCATION, "%qs is an unknown %<-save-temps%> option",
                decoded->given_text);
  driver.save_temps_beats_dump_dir = true;
}

// -time=FILE: the command runner appends its report there. A file that cannot
// be opened leaves timing off.
static void open_time_file(const char *name) {
  if (exec_state.time_file)
    fclose(exec_state.time_file);
  exec_state.time_file = fopen(name, "a");
  if (!exec_state.time_file)
    error_at(UNKNOWN_LOCATION, "cannot open timing file %qs: %m", name);
}

static void replace_text(char **field, const char *value) {
  free(*field);
  *field = xstrdup(value);
}

static void set_current_language(const char *language) {
  if (strcmp(language, "none") == 0) {
    driver.current_language = nullptr;
  } else {
    driver.current_language = language;
    driver.last_language_input_count = driver.inputs.count;
  }
}

[[noreturn]] static void print_and_exit(const char *text) {
  printf("%s\n", text);
  exit(0);
}

static void save_option(const decoded_option *decoded, bool accepted) {
  record_switch(decoded->canonical_words[0], int(decoded->canonical_word_count) - 1,
                decoded->canonical_words + 1, accepted, true);
}

// How an option ends up in the switch table.
enum save_rule { SAVE, SAVE_ACCEPTED, NOT_SAVED };

// The immediate effect of one driver option.
static save_rule apply_driver_option(const decoded_option *decoded) {
  const char *arg = decoded->arg;
  switch (decoded->row) {
  case OPT____:
    exec_state.echo_only = true;
    global_options.verbose_flag = 1;
    return NOT_SAVED;
  case OPT__completion_:
    driver.completion = arg;
    return SAVE_ACCEPTED;
  case OPT__help:
    driver.print_help = true;
    push_asm_option("--help", 6);
    push_link_option("--help", 6);
    return SAVE;
  case OPT__help_:
    driver.subprocess_help = 2;
    return SAVE;
  case OPT__target_help:
    driver.subprocess_help = 1;
    push_asm_option("--target-help", 13);
    push_link_option("--target-help", 13);
    return SAVE;
  case OPT__version:
    driver.print_version = true;
    push_asm_option("--version", 9);
    push_link_option("--version", 9);
    return SAVE;
  case OPT__sysroot_:
    target_root = arg;
    driver.target_root_changed = true;
    return SAVE_ACCEPTED;
  case OPT_B:
    add_b_prefix(arg);
    return SAVE_ACCEPTED;
  case OPT_E:
    driver.preprocess_only = true;
    return SAVE;
  case OPT_F:
  case OPT_L:
    record_switch(concat(decoded->row == OPT_F ? "-F" : "-L", arg), 0, nullptr, false, true);
    return NOT_SAVED;
  case OPT_Wa_:
    for_each_piece(arg, push_asm_option);
    return NOT_SAVED;
  case OPT_Wp_:
    for_each_piece(arg, push_cpp_option);
    return NOT_SAVED;
  case OPT_Wl_:
    for_each_piece(arg, add_linker_word);
    return NOT_SAVED;
  case OPT_Xassembler:
    push_asm_option(arg, strlen(arg));
    return NOT_SAVED;
  case OPT_Xpreprocessor:
    push_cpp_option(arg, strlen(arg));
    return NOT_SAVED;
  case OPT_Xlinker:
    add_input(arg, "*");
    return NOT_SAVED;
  case OPT_dumpbase:
    replace_text(&driver.dump_base, arg);
    return SAVE;
  case OPT_dumpbase_ext:
    replace_text(&driver.dump_base_ext, arg);
    return SAVE;
  case OPT_dumpdir:
    replace_text(&driver.dump_dir, arg);
    driver.save_temps_beats_dump_dir = false;
    return SAVE;
  case OPT_dumpversion:
  case OPT_dumpfullversion:
    print_and_exit(QUARN_VERSION);
  case OPT_dumpmachine:
    print_and_exit(QUARN_TARGET);
  case OPT_dumpspecs:
    print_specs();
    exit(0);
  case OPT_fcompare_debug:
  case OPT_fcompare_debug_:
    handle_compare_debug(decoded);
    return NOT_SAVED;
  case OPT_fcompare_debug_second:
    driver.compare_debug_second = true;
    return SAVE;
  case OPT_fdiagnostics_color_:
    diagnostic_color_init(global_dc, int(decoded->value));
    return SAVE;
  case OPT_fdiagnostics_urls_:
    diagnostic_urls_init(global_dc, int(decoded->value));
    return SAVE;
  case OPT_foffload_:
    handle_foffload_option(arg);
    return NOT_SAVED;
  case OPT_foffload_options_:
    check_foffload_options(arg);
    return SAVE;
  case OPT_fuse_ld_kiln:
    driver.linker_suffix = ".kiln";
    return SAVE;
  case OPT_fuse_ld_ochre:
    driver.linker_suffix = ".ochre";
    return SAVE;
  case OPT_fuse_ld_mold:
    driver.linker_suffix = ".mold";
    return SAVE;
  case OPT_fwpa:
    driver.wpa_mode = "";
    return SAVE;
  case OPT_l:
    add_input(concat("-l", arg), "*");
    return NOT_SAVED;
  case OPT_o:
    driver.output_given = true;
    driver.output_name = arg;
    record_switch("-o", 1, &arg, false, true);
    return NOT_SAVED;
  case OPT_print_libquarn_file_name:
    global_options.print_file_name = "libquarn.a";
    return NOT_SAVED;
  case OPT_save_temps:
    if (driver.save_temps_mode == SAVE_TEMPS_NONE)
      driver.save_temps_mode = SAVE_TEMPS_DUMP;
    return SAVE_ACCEPTED;
  case OPT_save_temps_:
    handle_save_temps_arg(decoded);
    return SAVE;
  case OPT_specs_:
    arg_vector_push(&driver.user_spec_files, arg);
    return SAVE_ACCEPTED;
  case OPT_time_:
    open_time_file(arg);
    return NOT_SAVED;
  case OPT_x:
    set_current_language(arg);
    return NOT_SAVED;
  case OPT_pipe:
  case OPT_shared_libquarn:
  case OPT_static_libquarn:
  case OPT_static_libbraskfortran:
  case OPT_static_libphobos:
  case OPT_static_libstdc__:
    return SAVE_ACCEPTED;
  case OPT__no_sysroot_suffix:
  case OPT_no_canonical_prefixes:
  case OPT_pass_exit_codes:
  case OPT_print_file_name_:
  case OPT_print_multi_directory:
  case OPT_print_multi_lib:
  case OPT_print_multi_os_directory:
  case OPT_print_multiarch:
  case OPT_print_prog_name_:
  case OPT_print_search_dirs:
  case OPT_print_sysroot:
  case OPT_print_sysroot_headers_suffix:
  case OPT_time:
  case OPT_wrapper:
    return NOT_SAVED;
  default:
    return SAVE;
  }
}

bool driver_handle_option(options_record *opts, options_record *opts_set,
                          const decoded_option *decoded, unsigned lang_mask, int kind,
                          location_id loc, const option_handlers *handlers, diag_context *dc,
                          void (*target_option_override_hook)(void)) {
  quarn_assert(opts == &global_options && opts_set == &global_options_set);
  quarn_assert(lang_mask == CL_DRIVER && kind == KIND_UNSPECIFIED);
  quarn_assert(loc == UNKNOWN_LOCATION && dc == global_dc);
  switch (apply_driver_option(decoded)) {
  case SAVE:
    save_option(decoded, false);
    break;
  case SAVE_ACCEPTED:
    save_option(decoded, true);
    break;
  case NOT_SAVED:
    break;
  }
  return true;
}

void fill_exec_state() {
  exec_state.verbose = global_options.verbose_flag != 0;
  exec_state.print_help = driver.print_help;
  exec_state.wrapper = global_options.wrapper_string;
  exec_state.report_bug = global_options.report_bug != 0;
  exec_state.report_times = global_options.report_times != 0;
  driver.pass_exit_codes = global_options.pass_exit_codes != 0;
}
