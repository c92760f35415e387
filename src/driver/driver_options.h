// The driver's own options: their immediate effect on the driver state, and
// whether they are saved as switches for the specs.
#pragma once

#include "options/opts.h"

// The handler for the driver option class; returns true for every option.
bool driver_handle_option(options_record *opts, options_record *opts_set,
                          const decoded_option *decoded, unsigned lang_mask, int kind,
                          location_id loc, const option_handlers *handlers, diag_context *dc,
                          void (*target_option_override_hook)(void));

// Copies what the command runner needs from the options, once they are read.
void fill_exec_state();
