#include "driver/compare_debug.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/spec_functions.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/execute.h"

// The first run sees the user's switches, the second run its own copy with
// the debug-changing option; each keeps its own liveness decisions.
static switch_table first_run_switches;
static switch_table second_run_switches;

static switch_table copy_switch_table(const switch_table &table) {
  switch_table copy;
  copy.count = table.count;
  copy.capacity = table.count + 1;
  copy.entries = static_cast<driver_switch *>(xcalloc(copy.capacity, sizeof(driver_switch)));
  for (int i = 0; i < table.count; i++) {
    copy.entries[i] = table.entries[i];
    const char **args = table.entries[i].args;
    if (args) {
      size_t n = 0;
      while (args[n])
        n++;
      copy.entries[i].args = static_cast<const char **>(xmalloc((n + 1) * sizeof(const char *)));
      memcpy(copy.entries[i].args, args, (n + 1) * sizeof(const char *));
    }
  }
  return copy;
}

void prepare_compare_debug() {
  const bool second_only = driver.compare_debug_second;
  if (!second_only) {
    switch_table copy = copy_switch_table(driver.switches);
    // Yields nothing while the mode is positive: the first run keeps the
    // user's switches.
    apply_self_spec(compare_debug_self_spec_text);
    first_run_switches = driver.switches;
    driver.switches = copy;
  }
  // Temporary names must not be made this early.
  save_temps_kind saved_mode = driver.save_temps_mode;
  driver.save_temps_mode = SAVE_TEMPS_NONE;
  driver.compare_debug_mode = -driver.compare_debug_mode;
  apply_self_spec(compare_debug_self_spec_text);
  driver.save_temps_mode = saved_mode;
  if (!second_only) {
    second_run_switches = driver.switches;
    driver.compare_debug_mode = -driver.compare_debug_mode;
    driver.switches = first_run_switches;
  }
}

void forget_compare_debug_dumps() {
  compare_debug_dump_names[0] = nullptr;
  compare_debug_dump_names[1] = nullptr;
}

bool compare_debug_first_dump() { return compare_debug_dump_names[0] != nullptr; }

static bool regular_file_length(const char *name, off_t *length) {
  struct stat st;
  if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  *length = st.st_size;
  return true;
}

// Character by character, for files that cannot be mapped (empty ones among
// them).
static bool compare_streams(const char *input, const char *names[2]) {
  FILE *first = fopen(names[0], "r");
  if (!first) {
    error_at(UNKNOWN_LOCATION, "%s: could not open compare-debug file %s", input, names[0]);
    return false;
  }
  FILE *second = fopen(names[1], "r");
  if (!second) {
    error_at(UNKNOWN_LOCATION, "%s: could not open compare-debug file %s", input, names[1]);
    fclose(first);
    return false;
  }
  bool same = true;
  for (;;) {
    int a = getc(first), b = getc(second);
    if (a != b) {
      error_at(UNKNOWN_LOCATION, "%s: %<-fcompare-debug%> failure", input);
      same = false;
      break;
    }
    if (a == EOF)
      break;
  }
  fclose(first);
  fclose(second);
  return same;
}

// True when both dumps hold the same bytes; every difference or failure is
// reported.
static bool compare_dumps(const char *input, const char *names[2]) {
  off_t lengths[2];
  for (int i = 0; i < 2; i++)
    if (!regular_file_length(names[i], &lengths[i])) {
      error_at(UNKNOWN_LOCATION, "%s: could not determine length of compare-debug file %s", input,
               names[i]);
      return false;
    }
  if (lengths[0] != lengths[1]) {
    error_at(UNKNOWN_LOCATION, "%s: %<-fcompare-debug%> failure (length)", input);
    return false;
  }
  int fds[2] = {-1, -1};
  void *maps[2] = {MAP_FAILED, MAP_FAILED};
  bool opened = true;
  for (int i = 0; i < 2 && opened; i++) {
    fds[i] = open(names[i], O_RDONLY);
    if (fds[i] < 0) {
      error_at(UNKNOWN_LOCATION, "%s: could not open compare-debug file %s", input, names[i]);
      opened = false;
      break;
    }
    maps[i] = mmap(nullptr, size_t(lengths[i]), PROT_READ, MAP_PRIVATE, fds[i], 0);
  }
  bool result;
  if (!opened)
    result = false;
  else if (maps[0] != MAP_FAILED && maps[1] != MAP_FAILED) {
    result = memcmp(maps[0], maps[1], size_t(lengths[0])) == 0;
    if (!result)
      error_at(UNKNOWN_LOCATION, "%s: %<-fcompare-debug%> failure", input);
  } else
    result = compare_streams(input, names);
  for (int i = 0; i < 2; i++) {
    if (maps[i] != MAP_FAILED)
      munmap(maps[i], size_t(lengths[i]));
    if (fds[i] >= 0)
      close(fds[i]);
  }
  return result;
}

bool compare_debug_second_run(const char *input_name, const char *spec) {
  if (global_options.verbose_flag)
    inform(UNKNOWN_LOCATION, "recompiling with %<-fcompare-debug%>");
  first_run_switches = driver.switches;
  driver.compare_debug_mode = -driver.compare_debug_mode;
  driver.switches = second_run_switches;
  int value = run_spec(spec);
  second_run_switches = driver.switches;
  driver.compare_debug_mode = -driver.compare_debug_mode;
  driver.switches = first_run_switches;

  bool failed = false;
  if (value < 0) {
    error_at(UNKNOWN_LOCATION, "during %<-fcompare-debug%> recompilation");
    failed = true;
  }
  const char *names[2] = {compare_debug_dump_names[0], compare_debug_dump_names[1]};
  if (!names[1] || strcmp(names[0], names[1]) == 0)
    internal_error("%s: the second compilation recorded no dump of its own", "compare_debug");
  if (global_options.verbose_flag)
    inform(UNKNOWN_LOCATION, "comparing final insns dumps");
  // A dry run writes no dumps. Its temporary dump names are fresh empty files
  // and compare equal; the names -save-temps gives are files it never wrote
  // (absent, or left by an earlier run), which must not fail the dry run.
  if (exec_state.echo_only && driver.save_temps_mode != SAVE_TEMPS_NONE)
    return failed;
  if (!compare_dumps(input_name, names))
    failed = true;
  return failed;
}
