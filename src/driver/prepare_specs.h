// Spec and prefix set-up once the command line is read.
#pragma once

#include "support/multilib.h"

// The built-in multilib texts go into their named specs (before set-up).
void build_multilib_strings();

// Everything set-up does after process_command, in its fixed order.
void prepare_specs_after_command_line();

// The multilib texts as the store of named specs holds them now.
multilib_texts current_multilib_texts();
