// Edit distances, cutoffs and the closest-string search.
#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "options/spellcheck.h"

namespace {

struct distance_case {
  const char *s, *t;
  unsigned distance;
};

class WeightedEditDistance : public testing::TestWithParam<distance_case> {};

TEST_P(WeightedEditDistance, HalfSteps) {
  const distance_case &c = GetParam();
  EXPECT_EQ(weighted_edit_distance(c.s, strlen(c.s), c.t, strlen(c.t)), c.distance)
      << c.s << " / " << c.t;
  EXPECT_EQ(weighted_edit_distance(c.t, strlen(c.t), c.s, strlen(c.s)), c.distance)
      << c.t << " / " << c.s;
}

INSTANTIATE_TEST_SUITE_P(
    Table, WeightedEditDistance,
    testing::Values(distance_case{"", "", 0}, distance_case{"", "abc", 6},
                    distance_case{"abc", "abc", 0}, distance_case{"abc", "ABC", 3},
                    distance_case{"ab", "ba", 2}, distance_case{"abcd", "acbd", 2},
                    distance_case{"kitten", "sitting", 6}, distance_case{"adress", "address", 2},
                    distance_case{"fno-sa", "fno-sanitize=all", 20},
                    distance_case{"sometimes", "always", 16},
                    distance_case{"sometimes", "never", 14}));

struct cutoff_case {
  size_t goal, candidate;
  unsigned cutoff;
};

class EditDistanceCutoff : public testing::TestWithParam<cutoff_case> {};

TEST_P(EditDistanceCutoff, ByLengths) {
  const cutoff_case &c = GetParam();
  EXPECT_EQ(get_edit_distance_cutoff(c.goal, c.candidate), c.cutoff);
}

INSTANTIATE_TEST_SUITE_P(Table, EditDistanceCutoff,
                         testing::Values(cutoff_case{5, 5, 2}, cutoff_case{9, 9, 6},
                                         cutoff_case{4, 8, 6}, cutoff_case{8, 4, 6},
                                         cutoff_case{1, 1, 0}, cutoff_case{0, 1, 0},
                                         cutoff_case{1, 2, 2}, cutoff_case{9, 6, 7},
                                         cutoff_case{9, 5, 7}, cutoff_case{12, 13, 8}));

struct closest_case {
  const char *target;
  std::vector<const char *> candidates;
  const char *expected; // none: nullptr
};

class FindClosestString : public testing::TestWithParam<closest_case> {};

TEST_P(FindClosestString, Picks) {
  const closest_case &c = GetParam();
  const char *found = find_closest_string(c.target, c.candidates.data(), c.candidates.size());
  if (c.expected)
    EXPECT_STREQ(found, c.expected) << c.target;
  else
    EXPECT_EQ(found, nullptr) << c.target << " gave " << found;
}

INSTANTIATE_TEST_SUITE_P(
    Table, FindClosestString,
    testing::Values(
        closest_case{"adress", {"thread", "address", "leak"}, "address"},
        // The target itself is never offered.
        closest_case{"leak", {"leak", "lead"}, nullptr},
        // Equally close: the first wins.
        closest_case{"bat", {"cat", "bar", "hat"}, "cat"},
        // Nothing within the cutoff.
        closest_case{"sometimes", {"always", "auto", "never"}, nullptr},
        // One letter: never another one letter, but a two-letter one.
        closest_case{"a", {"b"}, nullptr}, closest_case{"a", {"ab"}, "ab"},
        // "b" is as close as "ab" and comes first, and then fails its own cutoff.
        closest_case{"a", {"b", "ab"}, nullptr},
        closest_case{"x", {}, nullptr}));

} // namespace
