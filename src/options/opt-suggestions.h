// "Did you mean" for unknown options and the --completion= answers, both drawn
// from one list of option spellings built on first use.
#pragma once

#include <cstddef>

#include "support/arg_vector.h"

// Holds the candidate spellings (without their leading "-"), built at most
// once, and only when a suggestion or a completion is asked for.
struct spelling_proposer {
  arg_vector candidates;
  bool built = false;

  spelling_proposer() = default;
  spelling_proposer(const spelling_proposer &) = delete;
  spelling_proposer &operator=(const spelling_proposer &) = delete;
  ~spelling_proposer() { arg_vector_free(&candidates); }
};

// Fills list with the spellings of every row: negative and long forms,
// enumerated values, sanitizer names.
void build_option_suggestions(arg_vector *list);
// Adds text (an option spelling of row, with its leading "-") and its
// rewritten spellings to list.
void add_misspelling_candidates(arg_vector *list, size_t row, const char *text);

// The closest known spelling of bad (given without its leading "-"), or none.
const char *suggest_option(spelling_proposer *proposer, const char *bad);
// Appends to results every spelling that begins with prefix, each with a
// "-" in front; an empty prefix yields nothing.
void get_completions(spelling_proposer *proposer, const char *prefix, arg_vector *results);
// Writes the completions of prefix to standard output, one a line.
void print_completions(spelling_proposer *proposer, const char *prefix);
