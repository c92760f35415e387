// Multilib selection: which library subdirectory applies to this run, from the
// switches and the multilib texts of the store of named specs.
#pragma once

#include <cstddef>

struct switch_table;

// The texts selection reads; normally the named specs of the same names.
struct multilib_texts {
  const char *select;     // "multilib"
  const char *defaults;   // "multilib_defaults"
  const char *matches;    // "multilib_matches"
  const char *exclusions; // "multilib_exclusions"
  const char *reuse;      // "multilib_reuse"
  const char *options;    // "multilib_options"
  const char *extra;      // "multilib_extra"
};

// The built-in pieces assembled at start-up; the macros let the built-in spec
// table start with the same texts.
#define MULTILIB_SELECT_TEXT ". ;"
#define MULTILIB_DEFAULTS_TEXT "mabi=lp64"
#define MULTILIB_MATCHES_TEXT ""
#define MULTILIB_EXCLUSIONS_TEXT ""
#define MULTILIB_REUSE_TEXT ""
extern const char *const multilib_select_builtin;
extern const char *const multilib_defaults_builtin;
extern const char *const multilib_matches_builtin;
extern const char *const multilib_exclusions_builtin;
extern const char *const multilib_reuse_builtin;

// Sets selected_multilib from the switches; once per run.
void select_multilib(const multilib_texts *texts, const switch_table *switches);
bool is_used_arg(const multilib_texts *texts, const switch_table *switches, const char *word,
                 size_t length);
bool is_default_arg(const multilib_texts *texts, const char *word, size_t length);
// The -print-multi-lib lines on standard output.
void print_multilib_table(const multilib_texts *texts);
// Forgets the switch sets built on first use, for tests that select more
// than once in one process.
void reset_multilib_state();
