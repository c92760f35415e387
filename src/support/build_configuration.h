// The configuration block of -v and of crash reports.
#pragma once

#include <cstdio>

// Target, configure command, thread model, LTO compression and version lines.
void print_build_configuration(FILE *stream);
