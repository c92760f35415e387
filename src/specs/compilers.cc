// Placeholder: replaced by the compilers table.
#include "specs/compilers.h"

const compiler_entry builtin_compilers[] = {{nullptr, nullptr, nullptr, false, false}};
const size_t builtin_compiler_count = 0;
compiler_entry *compilers;
size_t compiler_count;
void init_compilers_table() {}
void add_compiler_row(const char *, const char *) {}
const compiler_entry *find_compiler(const char *, size_t, const char *) { return nullptr; }
