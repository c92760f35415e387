// The compilers table: which spec compiles each kind of input.
#pragma once

#include <cstddef>

struct compiler_entry {
  // ".suffix", "@language" or "-" (standard input).
  const char *key;
  // A spec text, "@language" (an alias) or "#Name" (not installed).
  const char *spec;
  // The preprocessor text %C uses; none means the named spec "cpp".
  const char *cpp_text;
  bool can_combine;
  bool wants_cpp;
};

// The built-in rows, in table order.
extern const compiler_entry builtin_compilers[];
extern const size_t builtin_compiler_count;

// The run's table: a copy of the built-in rows, then rows from spec files.
extern compiler_entry *compilers;
extern size_t compiler_count;

// Makes the run's table from the built-in rows.
void init_compilers_table();
// Appends a row (spec files); key and spec are kept as given.
void add_compiler_row(const char *key, const char *spec);

// The row for an input: by its -x language when given, else by its name.
// None means the input goes to the linker.
const compiler_entry *find_compiler(const char *name, size_t length, const char *language);
