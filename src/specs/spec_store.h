// Store of named specs: built-in and file-defined named specs, the link command,
// spec files and self specs.
#pragma once

#include <cstddef>

// The built-in named specs, in list order; each has a program-wide text slot
// that the single-letter directives read too.
enum builtin_spec_id {
#define BUILTIN_SPEC(id, name, text) BUILTIN_SPEC_##id,
#include "specs/builtin-specs.def"
#undef BUILTIN_SPEC
  BUILTIN_SPEC_COUNT
};

// The current text of each built-in spec, by id.
extern const char *builtin_spec_slots[BUILTIN_SPEC_COUNT];
// Their names and initial texts, by id.
extern const char *const builtin_spec_names[BUILTIN_SPEC_COUNT];
extern const char *const builtin_spec_texts[BUILTIN_SPEC_COUNT];

// The extra entry linked after the built-ins, and the texts set-up applies.
extern const char *const asm_cpu_spec_text;
extern const char *const builtin_link_command_text;
extern const char *const driver_self_specs[];
extern const size_t driver_self_spec_count;
extern const char *const compare_debug_self_spec_text;

struct named_spec {
  const char *name;
  size_t name_len;
  // Built-in entries point at their slot in builtin_spec_slots; the others at
  // their own text field.
  const char **slot;
  const char *text;
  bool owned;
  bool from_user_file;
  named_spec *next;
};

// The list, front first; none until built-in initialisation or the first
// definition.
extern named_spec *spec_list;
// The link command text (not a named spec); none when cleared.
extern const char *link_command_spec;

// The entry named by the first `length` characters of name, or none.
named_spec *lookup_spec(const char *name, size_t length);
// Its current text, or none.
const char *spec_text(const char *name, size_t length);
inline const char *builtin_spec(builtin_spec_id id) { return builtin_spec_slots[id]; }

// Defines or extends (a text starting with '+' and a blank appends) a spec.
void define_spec(const char *name, const char *text, bool from_user_file);
// Replaces the text of the built-in entry bound to slot.
void set_static_spec(const char **slot, const char *text, bool owned);
// Links the built-in entries and rewrites their initial texts; nothing when
// the list exists already.
void init_builtin_specs();
// Reads one spec file.
void load_spec_file(const char *filename, bool is_main, bool from_user_file);
// Expands text and feeds its words back as command-line switches.
void apply_self_spec(const char *text);
// -dumpspecs: every entry, then the link command, in spec-file format.
void print_specs();
// Replaces the link command with a copy of text.
void set_link_command(const char *text);
// Back to the state before any set-up: no list, the built-in slots holding
// their initial texts, the built-in link command. For tests and fuzzing, which
// fill the store more than once in one process.
void reset_spec_store();
