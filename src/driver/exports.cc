#include "driver/exports.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/driver_state.h"
#include "driver/env_manager.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/file_lookup.h"

// Single quotes around text, with each quote inside written as '\'' so that
// a shell-style reader splits the list back into the same words.
static void append_quoted(std::string &out, const char *text) {
  out += '\'';
  for (const char *p = text; *p; p++) {
    if (*p == '\'')
      out += "'\\''";
    else
      out += *p;
  }
  out += '\'';
}

void export_as_options() {
  const arg_vector &options = driver.asm_options;
  if (options.count == 0)
    return;
  std::string text = "TETHER_AS_OPTIONS=";
  for (size_t i = 0; i < options.count; i++) {
    if (i)
      text += ' ';
    append_quoted(text, options.items[i]);
  }
  driver_env.xput(text.c_str());
}

void export_driver_name(const char *argv0) {
  driver_env.xput(concat("TETHER_QUARN=", argv0));
}

char *escape_blanks(const char *text) {
  std::string out;
  for (const char *p = text; *p; p++) {
    if (*p == ' ' || *p == '\t')
      out += '\\';
    out += *p;
  }
  return xstrdup(out.c_str());
}

void export_cairn() {
  if (driver.stop_before_link)
    return;
  char *found = find_program("cairn");
  if (!found)
    return;
  char *escaped = escape_blanks(found);
  free(found);
  set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_cairn], escaped, true);
  driver_env.xput(concat("TETHER_CAIRN=", escaped));
}

void export_offload_targets() {
  if (driver.offload_target_list && driver.offload_target_list[0])
    driver_env.xput(concat("OFFLOAD_TARGET_NAMES=", driver.offload_target_list));
  free(driver.offload_target_list);
  driver.offload_target_list = nullptr;
}

void export_switch_options() {
  std::string text = "TETHER_QUARN_OPTIONS=";
  const switch_table &switches = driver.switches;
  for (int i = 0; i < switches.count; i++) {
    const driver_switch &sw = switches.entries[i];
    // A left-out switch still leaves its separating blank.
    if (i)
      text += ' ';
    if ((sw.liveness & SWITCH_REMOVED) && !(sw.liveness & SWITCH_KEPT_FOR_EXPORT))
      continue;
    text += "'-";
    for (const char *p = sw.name; *p; p++) {
      if (*p == '\'')
        text += "'\\''";
      else
        text += *p;
    }
    text += '\'';
    for (const char *const *arg = sw.args; arg && *arg; arg++) {
      text += ' ';
      append_quoted(text, *arg);
    }
  }
  if (driver.dump_dir) {
    if (switches.count > 0)
      text += ' ';
    text += "'-dumpdir' ";
    append_quoted(text, driver.dump_dir);
  }
  driver_env.xput(text.c_str());
}
