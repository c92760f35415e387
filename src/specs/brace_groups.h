// Conditional groups %{...} and switch selection: which switches are live,
// how a switch is written back, removal, starred substitution, and the scan
// that marks the switches specs mention as accepted.
#pragma once

// Evaluates the group whose text starts just after its '{'; returns the
// position after the matching '}', or none when a nested interpretation
// failed. spec_text is the whole text being interpreted, for messages.
const char *eval_brace_group(const char *after_brace, const char *spec_text);

// Whether switch `index` is live; prefix_length is -1 for an atom that was not
// starred, else the atom's length. Records the decision on the switch.
bool switch_is_live(int index, int prefix_length);

// Writes switch `index` (its name unless omit_name, then its arguments) into
// the command being built, and marks it accepted.
void emit_switch(int index, bool omit_name);

// %<S and %>S, given the text after the '<' or '>'; returns the position after
// S. kept_for_export is set for %>.
const char *remove_switches(const char *text, bool kept_for_export);

// %* with the soft match of the enclosing body (none outside one); `next` is
// the spec text right after the directive.
void substitute_soft_match(const char *soft_match, const char *next);

// %.SUFFIX, given the text after the '.'; returns the position after SUFFIX.
const char *set_suffix_override(const char *text);

// Marks as accepted the switches one member (or, when braced, the whole group)
// names; `text` is just after "%{", "%<", "%W{" or "%@{". user_spec accepts
// switches the option table does not know. Returns where the scan stopped.
const char *mark_spec_switches(const char *text, bool user_spec, bool braced);

// Runs mark_spec_switches at every "%{", "%<", "%W{" and "%@{" of a text.
void mark_switches_in_text(const char *text, bool user_spec);
