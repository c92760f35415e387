#include "options/spellcheck.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <vector>

#include "diagnostics/diagnostic.h"

static char ascii_lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; }

unsigned weighted_edit_distance(const char *s, size_t m, const char *t, size_t n) {
  if (m == 0)
    return EDIT_STEP_COST * static_cast<unsigned>(n);
  if (n == 0)
    return EDIT_STEP_COST * static_cast<unsigned>(m);

  // Three rows of the distance matrix: transpositions look two rows back.
  std::vector<unsigned> two_ago(m + 1), one_ago(m + 1), next(m + 1);
  for (size_t j = 0; j <= m; j++)
    one_ago[j] = EDIT_STEP_COST * static_cast<unsigned>(j);

  for (size_t i = 0; i < n; i++) {
    next[0] = EDIT_STEP_COST * static_cast<unsigned>(i + 1);
    for (size_t j = 0; j < m; j++) {
      unsigned cost = s[j] == t[i] ? 0 : ascii_lower(s[j]) == ascii_lower(t[i]) ? 1 : EDIT_STEP_COST;
      unsigned cheapest = std::min({one_ago[j] + cost, next[j] + EDIT_STEP_COST,
                                    one_ago[j + 1] + EDIT_STEP_COST});
      if (i > 0 && j > 0 && s[j] == t[i - 1] && s[j - 1] == t[i])
        cheapest = std::min(cheapest, two_ago[j - 1] + EDIT_STEP_COST);
      next[j + 1] = cheapest;
    }
    std::swap(two_ago, one_ago);
    std::swap(one_ago, next);
  }
  return one_ago[m];
}

unsigned get_edit_distance_cutoff(size_t goal_length, size_t candidate_length) {
  size_t max_length = std::max(goal_length, candidate_length);
  size_t min_length = std::min(goal_length, candidate_length);
  if (max_length < 2)
    return 0;
  if (max_length - min_length <= 1)
    return EDIT_STEP_COST * static_cast<unsigned>(std::max<size_t>(max_length / 3, 1));
  return static_cast<unsigned>((EDIT_STEP_COST * (max_length + 2)) / 3);
}

const char *find_closest_string(const char *target, const char *const *candidates,
                                size_t candidate_count) {
  size_t target_length = strlen(target);
  unsigned best_distance = UINT_MAX;
  const char *best = nullptr;
  for (size_t i = 0; i < candidate_count; i++) {
    const char *candidate = candidates[i];
    quarn_assert(candidate);
    size_t length = strlen(candidate);
    // Lengths alone can rule a candidate out before the quadratic part.
    size_t difference = length > target_length ? length - target_length : target_length - length;
    if (difference >= best_distance || difference > get_edit_distance_cutoff(target_length, length))
      continue;
    unsigned distance = weighted_edit_distance(target, target_length, candidate, length);
    if (distance < best_distance) {
      best_distance = distance;
      best = candidate;
    }
  }
  if (!best || best_distance == 0 ||
      best_distance > get_edit_distance_cutoff(target_length, strlen(best)))
    return nullptr;
  return best;
}
