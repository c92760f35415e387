// Placeholder: replaced by the group evaluator.
#include "specs/brace_groups.h"

const char *eval_brace_group(const char *t, const char *) { return t; }
bool switch_is_live(int, int) { return false; }
void emit_switch(int, bool) {}
const char *remove_switches(const char *t, bool) { return t; }
void substitute_soft_match(const char *, const char *) {}
const char *set_suffix_override(const char *t) { return t; }
const char *mark_spec_switches(const char *t, bool, bool) { return t; }
void mark_switches_in_text(const char *, bool) {}
