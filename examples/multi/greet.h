// The greeting the example program prints, built in a file of its own.
#pragma once

#include <string>

std::string greeting(const std::string &name);
