#include "options/opts.h"
