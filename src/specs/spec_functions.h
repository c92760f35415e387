// Spec functions: named routines a spec calls as %:NAME(ARGS); their words
// come from expanding ARGS and the text they return is interpreted in place.
#pragma once

// A handler gets the argument words and returns a text, or none.
typedef const char *(*spec_function_handler)(int argc, const char **argv);

struct spec_function_row {
  const char *name;
  spec_function_handler handler;
};

// In lookup order, ended by a row without a name.
extern const spec_function_row spec_function_table[];

// Calls the function whose name starts just after "%:". When `returned` is
// not none it learns whether a text came back (brace atoms test that).
// Returns the position after the closing ')', or none when interpreting the
// returned text failed.
const char *call_spec_function(const char *after_colon, bool *returned, const char *soft_match);

// The final-insns dump names of the two compare-debug runs of the current
// input (slot 1 while the second run is built), and the seed both share.
extern const char *compare_debug_dump_names[2];
extern const char *compare_debug_seed;

// Host processor detection and -mcpu rewriting, kept with the processor
// tables.
const char *host_detect_local_cpu(int argc, const char **argv);
const char *aarch64_rewrite_mcpu(int argc, const char **argv);
