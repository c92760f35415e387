// Placeholder: replaced by the built-in texts.
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
