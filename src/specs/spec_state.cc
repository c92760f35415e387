#include "specs/spec_state.h"

#include <cstdlib>

spec_state interpreter;

void init_spec_state() {
  arg_vector_init(&interpreter.command_args, 10);
  arg_vector_init(&interpreter.response_args, 10);
  interpreter.arg_text.reserve(64);
}

void reset_spec_state() {
  arg_vector command_args = interpreter.command_args;
  arg_vector response_args = interpreter.response_args;
  arg_vector_truncate(&command_args, 0);
  arg_vector_truncate(&response_args, 0);
  // Binding names stay on the temporary-file lists, which own their copies.
  for (temp_binding *binding = interpreter.temp_bindings; binding;) {
    temp_binding *next = binding->next;
    free(const_cast<char *>(binding->suffix));
    free(const_cast<char *>(binding->file_name));
    free(binding);
    binding = next;
  }
  interpreter = spec_state();
  interpreter.command_args = command_args;
  interpreter.response_args = response_args;
}
