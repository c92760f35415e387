// Placeholder: replaced by the spec functions.
#include "specs/spec_functions.h"

const spec_function_row spec_function_table[] = {{"local_cpu_detect", host_detect_local_cpu},
                                                 {"rewrite_mcpu", aarch64_rewrite_mcpu},
                                                 {nullptr, nullptr}};
const char *compare_debug_dump_names[2];
const char *compare_debug_seed;
const char *call_spec_function(const char *t, bool *, const char *) { return t; }
