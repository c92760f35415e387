#include "specs/spec_state.h"

spec_state interpreter;

void init_spec_state() {
  arg_vector_init(&interpreter.command_args, 10);
  arg_vector_init(&interpreter.response_args, 10);
  interpreter.arg_text.reserve(64);
}
