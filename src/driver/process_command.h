// Turning the decoded command line into the driver's working state.
#pragma once

#include "options/opts.h"

// Fills the switch and input tables, the install roots and first prefixes,
// the output and dump names, from the decoded options. The language driver
// may replace the array and its count; the caller keeps the new ones.
void process_command(unsigned *decoded_count, decoded_option **decoded);

// One option through the driver's handlers, as a command-line word would go
// (self specs feed their words back this way).
void handle_driver_option(const decoded_option *decoded);
