// Process-wide state of one driver run: what the command line asked for and
// what the later phases read.
#pragma once

struct compiler_entry;

// One input file, or a linker word that keeps its place among the inputs.
struct input_entry {
  const char *name = nullptr;
  // -x language in force when it was named; none means guess from the suffix;
  // a leading '*' sends the input to the linker unchanged.
  const char *language = nullptr;
  const compiler_entry *compiler = nullptr;
  bool compiled = false;
  bool preprocessed = false;
};

struct input_table {
  input_entry *entries = nullptr;
  int count = 0;
  int capacity = 0;
};

struct driver_state {
  input_table inputs;
  // Inputs the language driver added on its own (runtime libraries).
  int driver_added_inputs = 0;
  bool pass_exit_codes = false;
  bool print_help = false;
  // --completion= text, or none.
  const char *completion = nullptr;
};

extern driver_state driver;
