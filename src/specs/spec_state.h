// State of spec interpretation: one per driver run, process-wide, since spec
// functions save and restore its argument part around their own expansions.
#pragma once

#include <sys/types.h>

#include <cstddef>

#include <string>

#include "support/arg_vector.h"

struct compiler_entry;

// A temporary name handed out by %g, %u, %U, %j, %m or %|, kept so that every
// directive asking for the same suffix gets the same file.
struct temp_binding {
  const char *suffix;
  size_t suffix_len;
  // Made by %u, %U or %j.
  bool unique;
  const char *file_name;
  temp_binding *next;
};

// Interpretation levels a spec may nest through %(NAME) and the single-letter
// named specs; real specs stay below 20.
constexpr int MAX_SPEC_NESTING = 200;

// What is known of the current input's device and inode.
enum input_identity_state { IDENTITY_UNKNOWN, IDENTITY_KNOWN, IDENTITY_UNAVAILABLE };

struct spec_state {
  // Finished arguments of the command (or pipeline, split at "|") being built.
  arg_vector command_args;
  // Finished arguments diverted into a response file.
  arg_vector response_args;
  // The argument being built.
  std::string arg_text;
  // An argument is in progress (it becomes one even when empty).
  bool arg_open = false;
  // 0 keep; 1 a temporary name; 2 set by %d. Non-zero records the file for
  // deletion at exit.
  int arg_delete_mode = 0;
  // %w: the argument is the current input's output file.
  bool arg_is_output = false;
  // %s: look the argument up along the library prefixes.
  bool arg_is_library = false;
  // %T: the argument names a linker script.
  bool arg_is_linker_script = false;
  // A command ended in a pipe under -pipe.
  bool pipe_pending = false;
  // %.SUFFIX: written in place of a switch argument's own suffix; none when
  // unset.
  const char *arg_suffix_override = nullptr;
  // Spec-function argument expansions in progress.
  int function_depth = 0;
  // Finished arguments go to response_args.
  bool response_file_open = false;
  // Response files written so far (names .args.N under -save-temps).
  int response_file_count = 0;
  // Named-spec and file nesting, bounded so that a spec or spec file that
  // reaches itself ends with a message instead of exhausting the stack.
  int nesting_depth = 0;
  int spec_file_depth = 0;

  // The current input (select_input).
  const char *cur_input_name = nullptr;
  int cur_input_name_len = 0;
  const char *cur_base = nullptr;
  int cur_base_full_len = 0;
  int cur_base_len = 0;
  const char *cur_suffix = "";
  const compiler_entry *cur_compiler = nullptr;
  int cur_input_index = 0;
  input_identity_state cur_input_identity = IDENTITY_UNKNOWN;
  dev_t cur_input_dev = 0;
  ino_t cur_input_ino = 0;

  // Newest first; lives for the whole run.
  temp_binding *temp_bindings = nullptr;
};

extern spec_state interpreter;

// Makes both argument vectors (room for 10 entries each) and the scratch text;
// once, while the process is set up.
void init_spec_state();

// Forgets everything but the argument vectors' storage: the bindings, the
// current input and the counters. For tests that run many specs in one
// process.
void reset_spec_state();
