// Spec-file reading on arbitrary file text: the first byte picks a main file
// or an included one (where %include and %rename are commands), the rest is
// the file. A fatal error is an expected outcome for malformed text, so the
// harness turns it into an exception and checks the store stays usable.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "fuzz_common.h"
#include "fuzz_spec_setup.h"
#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"

namespace {

struct fatal_reported {};

int file_descriptor = -1;
std::string file_name;

void finalize_then_unwind(diag_context *context, diag_record *record) {
  original_finalizer(context, record);
  if (record->kind == KIND_FATAL)
    throw fatal_reported();
}

// Rows a spec file added own their texts; the table itself is refilled.
void drop_file_rows() {
  for (size_t i = builtin_compiler_count; i < compiler_count; i++) {
    free(const_cast<char *>(compilers[i].key));
    free(const_cast<char *>(compilers[i].spec));
  }
  init_compilers_table();
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  set_up_diagnostics(finalize_then_unwind);
  init_options_storage();
  init_spec_state();
  init_compilers_table();
  file_descriptor = memfd_create("fuzz.spec", 0);
  FUZZ_CHECK(file_descriptor >= 0);
  file_name = "/proc/self/fd/" + std::to_string(file_descriptor);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0)
    return 0;
  bool is_main = data[0] & 1;
  FUZZ_CHECK(ftruncate(file_descriptor, 0) == 0);
  FUZZ_CHECK(pwrite(file_descriptor, data + 1, size - 1, 0) == ssize_t(size - 1));

  reset_spec_store();
  drop_file_rows();
  if (!is_main)
    init_builtin_specs();
  try {
    load_spec_file(file_name.c_str(), is_main, !is_main);
  } catch (const fatal_reported &) {
    global_dc->lock = 0;
  }
  FUZZ_CHECK(interpreter.spec_file_depth == 0);
  FUZZ_CHECK(link_command_spec != nullptr);
  // Every entry is reachable by its own name, with a text.
  for (named_spec *entry = spec_list; entry; entry = entry->next) {
    FUZZ_CHECK(entry->name_len == strlen(entry->name));
    FUZZ_CHECK(*entry->slot != nullptr);
    named_spec *found = lookup_spec(entry->name, entry->name_len);
    FUZZ_CHECK(found != nullptr && *found->slot != nullptr);
  }
  return 0;
}
