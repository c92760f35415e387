// Placeholder: replaced by the spec store.
#include "specs/spec_store.h"

#define BUILTIN_SPEC(id, name, text) text,
const char *builtin_spec_slots[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
const char *const builtin_spec_texts[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
#undef BUILTIN_SPEC
#define BUILTIN_SPEC(id, name, text) name,
const char *const builtin_spec_names[BUILTIN_SPEC_COUNT] = {
#include "specs/builtin-specs.def"
};
#undef BUILTIN_SPEC
const char *const asm_cpu_spec_text = "";
const char *const builtin_link_command_text = "";
const char *const driver_self_specs[] = {""};
const size_t driver_self_spec_count = 0;
const char *const compare_debug_self_spec_text = "%:compare-debug-self-opt()";
named_spec *spec_list;
const char *link_command_spec;
named_spec *lookup_spec(const char *, size_t) { return nullptr; }
const char *spec_text(const char *, size_t) { return nullptr; }
void define_spec(const char *, const char *, bool) {}
void set_static_spec(const char **, const char *, bool) {}
void init_builtin_specs() {}
void load_spec_file(const char *, bool, bool) {}
void apply_self_spec(const char *) {}
void print_specs() {}
