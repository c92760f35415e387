// -foffload= and -foffload-options=: which offload targets to build for.
#pragma once

// Parses the target part of a -foffload= argument into the offload target
// list, and saves the options part as a -foffload-options= switch.
void handle_foffload_option(const char *arg);

// Reports the target names of a -foffload-options= argument this
// configuration cannot build for.
void check_foffload_options(const char *arg);
