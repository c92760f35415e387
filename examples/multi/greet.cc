#include "greet.h"

std::string greeting(const std::string &name) { return "Hello, " + name + ", from two files\n"; }
