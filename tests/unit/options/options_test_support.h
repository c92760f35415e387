// Helpers for the option tests: decoding words, capturing what the reporting
// service writes, and fresh option records.
#pragma once

#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "options/opts.h"

// Runs BODY with a fresh diagnostic context, collecting standard error.
std::string capture_diagnostics(const std::function<void()> &body);

// Decodes one option from WORDS (null-terminated here) for MASK; returns the
// number of words used.
unsigned decode_words(std::initializer_list<const char *> words, unsigned mask,
                      decoded_option *decoded);

// Decodes a whole command line (the program name is added in front).
std::vector<decoded_option> decode_line(std::initializer_list<const char *> words,
                                        unsigned mask = CL_DRIVER);

// The canonical words of a record as one vector.
std::vector<std::string> canonical(const decoded_option &decoded);

// Both records reset to their start.
void reset_options();
