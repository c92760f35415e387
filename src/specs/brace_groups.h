// Conditional groups %{...} and switch selection: which switches are live,
// how a switch is written back, removal, starred substitution, and the scan
// that marks the switches specs mention as accepted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// Where each '{' inside a body closes, found by the one scan that measured the
// body, so that the groups a run body holds find their own ends without
// scanning the same text again. A '{' closes where the braces counted from it
// come back to zero, whatever precedes it, so the answer holds in any copy.
struct brace_map {
  // (open, close) offsets, ordered by open.
  const std::vector<std::pair<uint32_t, uint32_t>> *pairs;
  // The text the map describes (a body's copy) and its length.
  const char *text;
  size_t length;
  // Offset of text[0] in the pairs' coordinates.
  size_t shift;
};

// Evaluates the group whose text starts just after its '{'; returns the
// position after the matching '}', or none when a nested interpretation
// failed. spec_text is the whole text being interpreted, for messages; map,
// when the text is a body's copy, describes that copy.
const char *eval_brace_group(const char *after_brace, const char *spec_text,
                             const brace_map *map = nullptr);

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
// the text right after the directive.
void substitute_soft_match(const char *soft_match, const char *next);

// %.SUFFIX, given the text after the '.'; returns the position after SUFFIX.
const char *set_suffix_override(const char *text);

// Marks as accepted the switches one member (or, when braced, the whole group)
// names; `text` is just after "%{", "%<", "%W{" or "%@{". user_spec accepts
// switches the option table does not know. Returns where the scan stopped.
const char *mark_spec_switches(const char *text, bool user_spec, bool braced);

// Runs mark_spec_switches at every "%{", "%<", "%W{" and "%@{" of a text.
void mark_switches_in_text(const char *text, bool user_spec);
