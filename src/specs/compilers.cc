// The compilers table: the built-in rows, the run's growable copy that spec
// files extend, and the lookup of an input's row.
#include "specs/compilers.h"

#include <cstring>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "quarn-config.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/multilib.h"

// The built-in texts as constants, so the rows below can share the "cpp" text
// at compile time.
#define BUILTIN_SPEC(id, name, text) text,
static constexpr const char *builtin_texts[] = {
#include "specs/builtin-specs.def"
};
#undef BUILTIN_SPEC
#define BUILTIN_CPP_TEXT builtin_texts[BUILTIN_SPEC_cpp]

#define COMPILER_ROW(key, spec, cpp_text, can_combine, wants_cpp)                                  \
  {key, spec, cpp_text, can_combine, wants_cpp},
const compiler_entry builtin_compilers[] = {
#include "specs/compilers-table.def"
    {nullptr, nullptr, nullptr, false, false},
};
#undef COMPILER_ROW
const size_t builtin_compiler_count = sizeof builtin_compilers / sizeof builtin_compilers[0] - 1;

compiler_entry *compilers;
size_t compiler_count;
static size_t compiler_capacity;

// The table always ends with a row whose key is none.
static void ensure_room(size_t rows) {
  if (rows + 1 <= compiler_capacity)
    return;
  size_t capacity = compiler_capacity ? compiler_capacity : 16;
  while (capacity < rows + 1)
    capacity *= 2;
  compilers = static_cast<compiler_entry *>(xrealloc(compilers, capacity * sizeof *compilers));
  compiler_capacity = capacity;
}

void init_compilers_table() {
  compiler_count = 0;
  ensure_room(builtin_compiler_count);
  memcpy(compilers, builtin_compilers, (builtin_compiler_count + 1) * sizeof *compilers);
  compiler_count = builtin_compiler_count;
}

void add_compiler_row(const char *key, const char *spec) {
  ensure_room(compiler_count + 1);
  compilers[compiler_count] = {key, spec, nullptr, false, false};
  compiler_count++;
  compilers[compiler_count] = {nullptr, nullptr, nullptr, false, false};
}

// Only ".suffix" keys match by suffix, and only when shorter than the name:
// "-" stands for standard input alone, and "@language" or dotless spec-file
// keys must never claim file names that merely end in them.
static bool key_matches_name(const char *key, const char *name, size_t length) {
  if (strcmp(key, "-") == 0)
    return length == 1 && name[0] == '-';
  if (key[0] != '.')
    return false;
  size_t key_length = strlen(key);
  return key_length < length && memcmp(name + length - key_length, key, key_length) == 0;
}

static const compiler_entry *find_language_row(const char *language) {
  for (size_t i = compiler_count; i-- > 0;) {
    const char *key = compilers[i].key;
    if (key[0] == '@' && strcmp(key + 1, language) == 0)
      return &compilers[i];
  }
  return nullptr;
}

// Standard input cannot name the precompiled header the header rows write
// next to their input, unless only preprocessing is asked for.
static const compiler_entry *lookup_language(const char *language, const char *name,
                                             size_t length) {
  const compiler_entry *row = find_language_row(language);
  if (!row) {
    error_at(UNKNOWN_LOCATION, "language %s not recognized", language);
    return nullptr;
  }
  if (name && length == 1 && name[0] == '-' && !driver.preprocess_only &&
      (strcmp(row->key, "@c-header") == 0 || strcmp(row->key, "@c++-header") == 0))
    fatal_error(UNKNOWN_LOCATION, "cannot use %<-%> as input filename for a precompiled header");
  return row;
}

const compiler_entry *find_compiler(const char *name, size_t length, const char *language) {
  // A '*' language marks an input the command line sends to the linker.
  if (language && language[0] == '*')
    return nullptr;
  if (language)
    return lookup_language(language, name, length);
  if (!name)
    return nullptr;

  const compiler_entry *row = nullptr;
  for (size_t i = compiler_count; i-- > 0;)
    if (key_matches_name(compilers[i].key, name, length)) {
      row = &compilers[i];
      break;
    }
  if (!row || row->spec[0] != '@')
    return row;
  if (row->spec[1] == '*')
    return nullptr;
  return lookup_language(row->spec + 1, nullptr, 0);
}
