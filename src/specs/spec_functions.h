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

// The handlers of the table. Those that treat a wrong word count as
// impossible end in an internal error that names them.
const char *getenv_spec_function(int argc, const char **argv);
const char *if_exists_spec_function(int argc, const char **argv);
const char *if_exists_else_spec_function(int argc, const char **argv);
const char *if_exists_then_else_spec_function(int argc, const char **argv);
const char *sanitize_spec_function(int argc, const char **argv);
const char *replace_outfile_spec_function(int argc, const char **argv);
const char *remove_outfile_spec_function(int argc, const char **argv);
const char *version_compare_spec_function(int argc, const char **argv);
const char *include_spec_function(int argc, const char **argv);
const char *find_file_spec_function(int argc, const char **argv);
const char *find_plugindir_spec_function(int argc, const char **argv);
const char *print_asm_header_spec_function(int argc, const char **argv);
const char *compare_debug_dump_opt_spec_function(int argc, const char **argv);
const char *compare_debug_self_opt_spec_function(int argc, const char **argv);
const char *pass_through_libs_spec_func(int argc, const char **argv);
const char *dumps_spec_func(int argc, const char **argv);
const char *greater_than_spec_func(int argc, const char **argv);
const char *debug_level_greater_than_spec_func(int argc, const char **argv);
const char *dwarf_version_greater_than_spec_func(int argc, const char **argv);
const char *fortran_preinclude_file_spec_func(int argc, const char **argv);

// The sign of the version-aware comparison of two dotted version numbers;
// a malformed one is fatal.
int compare_version_strings(const char *a, const char *b);

// A copy of text in which every space, tab, newline, '|', '%' and backslash
// is escaped, so the interpreter reads it back as one literal argument; an
// empty text becomes the empty-argument directive.
char *quote_spec_arg(const char *text);
