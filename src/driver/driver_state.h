// Process-wide state of one driver run: what the command line asked for and
// what the later phases read.
#pragma once

#include <cstdint>

#include "support/arg_vector.h"

struct compiler_entry;

// Liveness bits of a switch, decided while specs are interpreted.
enum {
  SWITCH_ALIVE = 1,
  SWITCH_OVERRIDDEN = 2,
  SWITCH_REMOVED = 4,
  SWITCH_REMOVED_FOR_GOOD = 8,
  SWITCH_KEPT_FOR_EXPORT = 16
};

// One saved command-line option, in canonical form.
struct driver_switch {
  // The option text without its leading '-' ("O2", "o"); shared, not owned.
  const char *name = nullptr;
  // Separate arguments, null-terminated, or none. The array is owned, the
  // strings are shared.
  const char **args = nullptr;
  uint32_t liveness = 0;
  // False only for words the option table does not know (a spec file may
  // still define them).
  bool recognized = false;
  // Some handler or spec took the option; the rest are reported as unknown.
  bool accepted = false;
  // Scratch mark of ordered switch selections in specs.
  bool marked = false;
};

// Both tables keep one terminator entry past `count` once the command line is
// processed.
struct switch_table {
  driver_switch *entries = nullptr;
  int count = 0;
  int capacity = 0;
};

// One input file, or a linker word that keeps its place among the inputs.
struct input_entry {
  const char *name = nullptr;
  // -x language in force when it was named; none means guess from the suffix;
  // a leading '*' sends the input to the linker unchanged.
  const char *language = nullptr;
  const compiler_entry *compiler = nullptr;
  bool compiled = false;
  bool preprocessed = false;
};

struct input_table {
  input_entry *entries = nullptr;
  int count = 0;
  int capacity = 0;
};

// -save-temps modes.
enum save_temps_kind { SAVE_TEMPS_NONE, SAVE_TEMPS_CWD, SAVE_TEMPS_DUMP, SAVE_TEMPS_OBJ };

struct driver_state {
  switch_table switches;
  input_table inputs;
  // Inputs the language driver added on its own (runtime libraries and the
  // linker words around them).
  int driver_added_inputs = 0;

  // Install roots: the relocated library root (ends in /lib/quarn/) or none
  // when the installation is where it was configured, and the libexec root.
  const char *exec_root = nullptr;
  const char *libexec_root = nullptr;
  // The version string up to its first space.
  const char *compiler_version = nullptr;

  // -S, -c or -E given: no link happens.
  bool stop_before_link = false;
  // Language of the last -x, or none; the input count when it was given.
  const char *current_language = nullptr;
  int last_language_input_count = -1;

  // -o.
  const char *output_name = nullptr;
  bool output_given = false;

  // Auxiliary output names.
  char *dump_dir = nullptr;
  char *dump_base = nullptr;
  char *dump_base_ext = nullptr;
  bool dump_dir_dash_added = false;
  // Leading characters of dump_dir that specs put in front of names.
  int dump_dir_length = 0;
  char *out_base = nullptr;
  // 0 with out_base set: the name is only kept for the link step.
  int out_base_length = 0;
  save_temps_kind save_temps_mode = SAVE_TEMPS_NONE;
  // A -save-temps= came after the last -dumpdir.
  bool save_temps_beats_dump_dir = false;

  // Compare-debug: 0 off, 1 on, 2 or 3 asked for by QUARN_COMPARE_DEBUG, -1
  // while a -fno-compare-debug is pending; negated around the second run.
  int compare_debug_mode = 0;
  const char *compare_debug_option = nullptr;
  // -fcompare-debug-second: this driver is the second run of an outer one.
  bool compare_debug_second = false;

  // Whether %:getenv may accept variables that are not set.
  bool undefined_variables_allowed = false;

  // Options for the assembler, the preprocessor and the linker.
  arg_vector asm_options;
  arg_vector cpp_options;
  arg_vector link_options;

  // -specs= files, in command-line order.
  arg_vector user_spec_files;

  bool pass_exit_codes = false;
  bool print_help = false;
  bool print_version = false;
  // 1 for --target-help, 2 for --help=.
  int subprocess_help = 0;
  // --completion= text, or none.
  const char *completion = nullptr;
  // -E: standard input is accepted for the C and C++ header languages.
  bool preprocess_only = false;
  // --sysroot= was given (the directory itself is the prefix lists' target_root).
  bool target_root_changed = false;
  // Suffix chosen by -fuse-ld= (".kiln", ".ochre", ".lld", ".mold"), or none.
  const char *linker_suffix = nullptr;
  // -fwpa: the whole-program-analysis mode text, or none when off.
  const char *wpa_mode = nullptr;
  // ':'-separated offload targets; none means "default".
  char *offload_target_list = nullptr;

  // One slot per input plus the language driver's extra outputs: the file
  // each input's compilation produced (or the input itself when it is only
  // passed on), or none.
  const char **output_files = nullptr;
  int output_file_count = 0;
  // All inputs of one language go to one compiler invocation (-o or -fwpa
  // with combinable compilers).
  bool compile_together = false;
};

extern driver_state driver;

// Forgets the driver core's tables, names and flags, for tests that build
// them more than once in one process. The prefix lists and the options record
// belong to their own layers and are not touched.
void driver_state_reset();

// Appends one switch; `text` is the option with its leading '-'.
void record_switch(const char *text, int arg_count, const char *const *args, bool accepted,
                   bool recognized);
void add_input(const char *name, const char *language);

// Append a copy of the first `length` characters of text.
void push_asm_option(const char *text, int length);
void push_cpp_option(const char *text, int length);
void push_link_option(const char *text, int length);

// -1 when no compiled input exists, its index when exactly one does, -2 when
// there are several (linker words, and LTO inputs under -fwpa, do not count).
int single_input_index();

// Appends the terminator entry past the end of both tables; whoever appends
// to a table later calls it again.
void terminate_tables();

// "-" and "/dev/null" name no file that outputs could sit next to.
bool is_real_file_name(const char *name);
