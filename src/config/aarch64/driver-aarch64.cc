// Host processor detection for -march=native, -mcpu=native and -mtune=native.
#include "specs/spec_functions.h"

const char *host_detect_local_cpu(int, const char **) { return nullptr; }
