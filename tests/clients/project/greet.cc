#include "greet.h"
#include "util.h"

void greet(const char *name) { (void)twice(name[0]); }
