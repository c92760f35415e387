// The link step: one run of the link command for every linker input.
#include "driver/compile_loop.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "driver/driver_state.h"
#include "driver/dump_names.h"
#include "driver/env_manager.h"
#include "driver/exports.h"
#include "options/opts.h"
#include "specs/brace_groups.h"
#include "specs/file_names.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/execute.h"
#include "support/file_lookup.h"

static int count_linker_inputs(const unsigned char *link_only_marks) {
  int count = 0;
  for (int i = 0; i < driver.inputs.count; i++)
    if (link_only_marks[i] || driver.output_files[i])
      count++;
  return count;
}

// A MAKEFLAGS naming jobserver descriptors that are not open would mislead
// the link-time-optimization jobs: hand on the rest of it.
static void check_jobserver() {
  jobserver_info info = jobserver_probe();
  if (!info.is_active && info.replacement && info.replacement[0])
    driver_env.xput(info.replacement);
}

static bool plugin_disabled() {
  for (int i = 0; i < driver.switches.count; i++)
    if (strcmp(driver.switches.entries[i].name, "fno-use-linker-plugin") == 0 &&
        switch_is_live(i, -1))
      return true;
  return false;
}

static void choose_linker_and_plugin(const char *argv0) {
  if (strcmp(builtin_spec(BUILTIN_SPEC_linker), "tether") == 0) {
    char *tether = find_program("tether");
    if (tether)
      free(tether);
    else
      set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_linker], "ld", false);
  }
  if (!plugin_disabled()) {
    char *plugin = find_in_prefixes(&program_prefixes, "libsluice.so", LOOKUP_READ, false);
    if (!plugin)
      fatal_error(UNKNOWN_LOCATION, "%<-fuse-linker-plugin%>, but %s not found", "libsluice.so");
    set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_linker_plugin_file], escape_blanks(plugin),
                    true);
    free(plugin);
  }
  set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_lto_quarn], argv0, false);
}

static void export_search_paths() {
  driver_env.xput(search_list_text(&program_prefixes, "COMPILER_PATH", true, false));
  driver_env.xput(search_list_text(&library_prefixes, "LIBRARY_PATH", true, true));
}

static void warn_unused_inputs(const unsigned char *link_only_marks) {
  for (int i = 0; i < driver.inputs.count; i++) {
    const input_entry &input = driver.inputs.entries[i];
    if (!link_only_marks[i] || (input.language && input.language[0] == '*'))
      continue;
    const char *name = driver.output_files[i];
    warning_at(UNKNOWN_LOCATION, 0, "%s: linker input file unused because linking not done",
               name);
    if (access(name, F_OK) != 0)
      error_at(UNKNOWN_LOCATION, "%s: linker input file not found: %m", name);
  }
}

void maybe_run_linker(const char *argv0, const unsigned char *link_only_marks) {
  int linker_inputs = count_linker_inputs(link_only_marks);
  finish_dump_names_for_link();
  clear_input_base();
  if (linker_inputs > 0 && !errors_seen() && driver.subprocess_help < 2) {
    int commands_before = exec_state.commands_run;
    check_jobserver();
    // The exported search paths and the link command ask about the same
    // directories, and nothing runs in between to create one.
    bool memo = set_lookup_memo(true);
    if (!driver.stop_before_link)
      choose_linker_and_plugin(argv0);
    export_search_paths();
    if (driver.subprocess_help == 1) {
      fputs(_("\nLinker options\n==============\n\n"), stdout);
      fputs(_("Use \"-Wl,OPTION\" to pass \"OPTION\" to the linker.\n\n"), stdout);
      fflush(stdout);
    }
    int status = run_spec(link_command_spec ? link_command_spec : "");
    set_lookup_memo(memo);
    if (status < 0)
      global_dc->kind_count[KIND_ERROR] = 1;
    if (exec_state.commands_run != commands_before)
      return;
  }
  if (!errors_seen())
    warn_unused_inputs(link_only_marks);
}
