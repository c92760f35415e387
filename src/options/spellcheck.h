// Closeness of strings for "did you mean" hints: a weighted
// Damerau-Levenshtein distance with a length-dependent cutoff.
#pragma once

#include <cstddef>

// Distances count half-steps: an insertion, deletion, substitution or
// transposition costs EDIT_STEP_COST, a change of letter case alone 1.
constexpr unsigned EDIT_STEP_COST = 2;

unsigned weighted_edit_distance(const char *s, size_t s_length, const char *t, size_t t_length);
// The largest distance still worth suggesting between strings of these lengths.
unsigned get_edit_distance_cutoff(size_t goal_length, size_t candidate_length);
// The closest of candidates to target within the cutoff, never target itself;
// the first of equally close ones wins. None when nothing is close enough.
const char *find_closest_string(const char *target, const char *const *candidates,
                                size_t candidate_count);
