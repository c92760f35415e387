// The language personality of the driver (quarn++: C++).
#pragma once

#include "options/opts.h"

// Rewrites the decoded command line before any option takes effect: replaces
// the array and its count, and adds to *added_inputs the inputs it adds.
void lang_specific_driver(decoded_option **decoded, unsigned *decoded_count, int *added_inputs);

// Output slots the language needs beyond one per input.
extern const int lang_specific_extra_outputs;

// Runs after every compilation and before the link; 0 is success.
int lang_specific_pre_link();
