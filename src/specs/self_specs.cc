// Self specs: spec texts whose words are fed back to the driver as switches
// of the command line.
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "driver/process_command.h"
#include "options/opts.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"

// Their handlers would change the run itself (its output name, its
// compare-debug mode); the second compare-debug run needs them only as
// switches.
static bool recorded_without_handler(size_t row) {
  return row == OPT_fcompare_debug_second || row == OPT_fcompare_debug ||
         row == OPT_fcompare_debug_ || row == OPT_o;
}

void apply_self_spec(const char *text) {
  if (expand_spec(text, nullptr) != 0 || do_spec_1(" ", 0, nullptr) != 0)
    return;

  // A switch a self spec removed is gone for the whole run.
  for (int i = 0; i < driver.switches.count; i++)
    if (driver.switches.entries[i].liveness & SWITCH_REMOVED)
      driver.switches.entries[i].liveness |= SWITCH_REMOVED_FOR_GOOD;

  const arg_vector &words = interpreter.command_args;
  if (words.count == 0)
    return;
  // The switches keep pointing at these words for the rest of the run.
  unsigned argc = unsigned(words.count) + 1;
  const char **argv = static_cast<const char **>(xmalloc((argc + 1) * sizeof(char *)));
  argv[0] = "";
  for (size_t i = 0; i < words.count; i++)
    argv[i + 1] = xstrdup(words.items[i]);
  argv[argc] = nullptr;

  decoded_option *decoded;
  unsigned count;
  decode_argv_options(argc, argv, CL_DRIVER, &decoded, &count);
  for (unsigned i = 1; i < count; i++) {
    const decoded_option &option = decoded[i];
    if (option.row == SPECIAL_INPUT_FILE) {
      if (strcmp(option.arg, "-") == 0)
        fatal_error(UNKNOWN_LOCATION, "spec-generated switch is just %<-%>");
      fatal_error(UNKNOWN_LOCATION, "switch %qs does not start with %<-%>", option.arg);
    }
    if (recorded_without_handler(option.row))
      record_switch(option.canonical_words[0], int(option.canonical_word_count) - 1,
                    option.canonical_words + 1, false, true);
    else
      handle_driver_option(&option);
  }
  terminate_tables();
}
