// -mcpu rewriting into an assembler -march= text.
#include "specs/spec_functions.h"

const char *aarch64_rewrite_mcpu(int, const char **) { return nullptr; }
