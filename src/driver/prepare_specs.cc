// Set-up after the command line is read: the compilers table, the store of named specs,
// self specs, the prefixes that depend on specs, accepted switches and the
// multilib. The order matters: spec files may redefine what later steps
// expand, and prefixes of equal priority are searched in insertion order.
#include "driver/prepare_specs.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn-config.h"
#include "diagnostics/diagnostic.h"
#include "driver/compare_debug.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/brace_groups.h"
#include "specs/compilers.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/file_lookup.h"
#include "support/multilib.h"
#include "support/prefix_list.h"

static const char standard_library_root[] = QUARN_PREFIX "/lib/quarn/";

static bool is_empty(const char *text) { return !text || !*text; }

void build_multilib_strings() {
  builtin_spec_slots[BUILTIN_SPEC_multilib] = multilib_select_builtin;
  builtin_spec_slots[BUILTIN_SPEC_multilib_defaults] = multilib_defaults_builtin;
  builtin_spec_slots[BUILTIN_SPEC_multilib_matches] = multilib_matches_builtin;
  builtin_spec_slots[BUILTIN_SPEC_multilib_exclusions] = multilib_exclusions_builtin;
  builtin_spec_slots[BUILTIN_SPEC_multilib_reuse] = multilib_reuse_builtin;
}

static void compute_dir_suffixes() {
  version_dir_suffix = QUARN_TARGET "/" QUARN_VERSION "/";
  target_dir_suffix = QUARN_TARGET "/";
}

// A "specs" file along the library prefixes replaces the built-in texts; the
// configured root may hold one more.
static void load_main_spec_files() {
  char *found = find_in_prefixes(&library_prefixes, "specs", LOOKUP_READ, true);
  if (found && strcmp(found, "specs") != 0)
    load_spec_file(found, true, false);
  else
    init_builtin_specs();
  std::string configured = std::string(standard_library_root) + target_dir_suffix + "specs";
  if (access(configured.c_str(), R_OK) == 0)
    load_spec_file(xstrdup(configured.c_str()), true, false);
}

static void apply_driver_self_specs() {
  for (size_t i = 0; i < driver_self_spec_count; i++)
    apply_self_spec(driver_self_specs[i]);
}

static void add_machine_program_prefix() {
  const char *md_exec = builtin_spec(BUILTIN_SPEC_md_exec_prefix);
  if (strcmp(builtin_spec(BUILTIN_SPEC_cross_compile), "0") == 0 && !is_empty(md_exec))
    insert_prefix(&program_prefixes, md_exec, "QUARN", PRIO_STANDARD, 0, 0);
}

// A suffix spec must expand to one word at most; `which` names it in the
// message.
static const char *expand_suffix_spec(const char *text, const char *message) {
  if (is_empty(text) || global_options.no_sysroot_suffix)
    return nullptr;
  if (expand_spec(text, nullptr) != 0)
    return nullptr;
  arg_vector *words = &interpreter.command_args;
  if (words->count > 1) {
    error_at(UNKNOWN_LOCATION, message);
    return nullptr;
  }
  return words->count == 1 ? xstrdup(words->items[0]) : nullptr;
}

static void set_sysroot_suffixes() {
  if (const char *suffix =
          expand_suffix_spec(builtin_spec(BUILTIN_SPEC_sysroot_suffix_spec),
                             "spec failure: more than one argument to %<SYSROOT_SUFFIX_SPEC%>"))
    target_root_suffix = suffix;
  if (target_root) {
    const char *link = builtin_spec(BUILTIN_SPEC_link);
    define_spec("link", concat("%(sysroot_spec) ", link ? link : ""), false);
  }
  if (const char *suffix = expand_suffix_spec(
          builtin_spec(BUILTIN_SPEC_sysroot_hdrs_suffix_spec),
          "spec failure: more than one argument to %<SYSROOT_HEADERS_SUFFIX_SPEC%>"))
    target_sysroot_hdrs_suffix = suffix;
}

static void add_startfile_prefixes() {
  const bool native = strcmp(builtin_spec(BUILTIN_SPEC_cross_compile), "0") == 0;
  const char *startfile_spec = builtin_spec(BUILTIN_SPEC_startfile_prefix_spec);
  if (!is_empty(startfile_spec) && expand_spec(startfile_spec, nullptr) == 0 &&
      do_spec_1(" ", 0, nullptr) == 0) {
    arg_vector *words = &interpreter.command_args;
    for (size_t i = 0; i < words->count; i++)
      insert_rooted_prefix(&library_prefixes, words->items[i], "SHALE", PRIO_STANDARD, 0, 1);
    return;
  }
  if (!native && !target_root)
    return;
  const char *md_startfile = builtin_spec(BUILTIN_SPEC_md_startfile_prefix);
  const char *md_startfile_1 = builtin_spec(BUILTIN_SPEC_md_startfile_prefix_1);
  if (!is_empty(md_startfile))
    insert_rooted_prefix(&library_prefixes, md_startfile, "QUARN", PRIO_STANDARD, 0, 1);
  if (!is_empty(md_startfile_1))
    insert_rooted_prefix(&library_prefixes, md_startfile_1, "QUARN", PRIO_STANDARD, 0, 1);
  if (native) {
    const char *root = driver.exec_root ? driver.exec_root : standard_library_root;
    std::string dir = std::string(root) + version_dir_suffix + "../../../";
    insert_prefix(&library_prefixes, dir.c_str(), nullptr, PRIO_STANDARD, 0, 1);
  }
  insert_rooted_prefix(&library_prefixes, "/lib/", "SHALE", PRIO_STANDARD, 0, 1);
  insert_rooted_prefix(&library_prefixes, "/usr/lib/", "SHALE", PRIO_STANDARD, 0, 1);
}

static void load_user_spec_files() {
  const arg_vector &files = driver.user_spec_files;
  for (size_t i = 0; i < files.count; i++) {
    char *found = find_in_prefixes(&library_prefixes, files.items[i], LOOKUP_READ, true);
    load_spec_file(found ? found : files.items[i], false, true);
  }
}

static void apply_self_spec_entries() {
  for (named_spec *spec = spec_list; spec; spec = spec->next)
    if (spec->name_len == 9 && memcmp(spec->name, "self_spec", 9) == 0) {
      const char *text = *spec->slot;
      if (text)
        apply_self_spec(text);
    }
}

// The preprocessor finds the version directory through -iprefix.
static void point_exec_root_at_version_dir() {
  if (driver.exec_root)
    driver.exec_root = concat(driver.exec_root, QUARN_TARGET "/" QUARN_VERSION "/");
}

// The first switch a text may still accept: only recognized ones, unless the
// text comes from a user's file. Switches never lose their mark, so each cursor
// only moves forward.
static bool switch_left_to_accept(int *cursor, bool user_spec) {
  for (; *cursor < driver.switches.count; ++*cursor) {
    const driver_switch &sw = driver.switches.entries[*cursor];
    if (!sw.accepted && (sw.recognized || user_spec))
      return true;
  }
  return false;
}

// Scanning the texts is most of the set-up: it stops once no switch is left
// for them to accept.
static void mark_accepted_switches() {
  int recognized_cursor = 0, any_cursor = 0;
  for (size_t i = 0; i < compiler_count; i++)
    if (compilers[i].spec && switch_left_to_accept(&recognized_cursor, false))
      mark_switches_in_text(compilers[i].spec, false);
  for (named_spec *spec = spec_list; spec; spec = spec->next)
    if (*spec->slot && switch_left_to_accept(spec->from_user_file ? &any_cursor : &recognized_cursor,
                                             spec->from_user_file))
      mark_switches_in_text(*spec->slot, spec->from_user_file);
  if (link_command_spec && switch_left_to_accept(&recognized_cursor, false))
    mark_switches_in_text(link_command_spec, false);
}

multilib_texts current_multilib_texts() {
  multilib_texts texts;
  texts.select = spec_text("multilib", 8);
  texts.defaults = spec_text("multilib_defaults", 17);
  texts.matches = spec_text("multilib_matches", 16);
  texts.exclusions = spec_text("multilib_exclusions", 19);
  texts.reuse = spec_text("multilib_reuse", 14);
  texts.options = spec_text("multilib_options", 16);
  texts.extra = spec_text("multilib_extra", 14);
  const char **fields[] = {&texts.select,  &texts.defaults, &texts.matches, &texts.exclusions,
                           &texts.reuse,   &texts.options,  &texts.extra};
  for (const char **field : fields)
    if (!*field)
      *field = "";
  return texts;
}

void prepare_specs_after_command_line() {
  init_compilers_table();
  compute_dir_suffixes();
  load_main_spec_files();
  apply_driver_self_specs();
  add_machine_program_prefix();
  set_sysroot_suffixes();
  add_startfile_prefixes();
  load_user_spec_files();
  apply_self_spec_entries();
  if (driver.compare_debug_mode != 0)
    prepare_compare_debug();
  point_exec_root_at_version_dir();
  mark_accepted_switches();
  multilib_texts texts = current_multilib_texts();
  select_multilib(&texts, &driver.switches);
}
