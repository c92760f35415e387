// State of spec interpretation: one per driver run, process-wide, since spec
// functions save and restore its argument part around their own expansions.
#pragma once

#include <string>

#include "support/arg_vector.h"

struct spec_state {
  // Finished arguments of the command (or pipeline, split at "|") being built.
  arg_vector command_args;
  // Finished arguments diverted into a response file.
  arg_vector response_args;
  // The argument being built.
  std::string arg_text;
};

extern spec_state interpreter;

// Makes both argument vectors (room for 10 entries each) and the scratch text;
// once, while the process is set up.
void init_spec_state();
