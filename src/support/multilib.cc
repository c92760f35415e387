// Placeholder: replaced by multilib selection.
#include "support/multilib.h"

const char *const multilib_select_builtin = ". ;";
const char *const multilib_defaults_builtin = "mabi=lp64";
const char *const multilib_matches_builtin = "";
const char *const multilib_exclusions_builtin = "";
const char *const multilib_reuse_builtin = "";
void select_multilib(const multilib_texts *, const switch_table *) {}
bool is_used_arg(const multilib_texts *, const switch_table *, const char *, size_t) { return false; }
bool is_default_arg(const multilib_texts *, const char *, size_t) { return false; }
void print_multilib_table(const multilib_texts *) {}
