// The candidate spellings, "did you mean" and --completion= answers.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "options/opt-suggestions.h"
#include "options/opts.h"

namespace {

std::vector<std::string> contents(const arg_vector &list) {
  return std::vector<std::string>(list.items, list.items + list.count);
}

TEST(AddMisspellingCandidates, RewrittenSpellings) {
  arg_vector list{};
  add_misspelling_candidates(&list, OPT_fstack_protector, "-fstack-protector");
  EXPECT_EQ(contents(list), (std::vector<std::string>{"fstack-protector", "fno-stack-protector",
                                                      "-stack-protector", "-no-stack-protector"}));
  arg_vector_truncate(&list, 0);
  // Without a negative form, no negated spellings.
  add_misspelling_candidates(&list, OPT_fstack_protector_all, "-fstack-protector-all");
  EXPECT_EQ(contents(list),
            (std::vector<std::string>{"fstack-protector-all", "-stack-protector-all"}));
  arg_vector_truncate(&list, 0);
  add_misspelling_candidates(&list, OPT__param_max_unroll_times_, "--param=max-unroll-times=");
  EXPECT_EQ(contents(list),
            (std::vector<std::string>{"-param=max-unroll-times=", "-param max-unroll-times="}));
  arg_vector_truncate(&list, 0);
  add_misspelling_candidates(&list, OPT_gno_, "-gno-");
  EXPECT_EQ(list.count, 0u);
  arg_vector_free(&list);
}

TEST(BuildOptionSuggestions, EnumValuesAndSanitizers) {
  arg_vector list{};
  build_option_suggestions(&list);
  std::vector<std::string> all = contents(list);
  auto has = [&](const char *s) { return std::find(all.begin(), all.end(), s) != all.end(); };
  EXPECT_TRUE(has("fdiagnostics-color=always"));
  EXPECT_FALSE(has("fdiagnostics-color=")); // the bare text of an enumerated row
  EXPECT_TRUE(has("fsanitize=address"));
  EXPECT_TRUE(has("fno-sanitize=address"));
  EXPECT_TRUE(has("fno-sanitize=all"));
  EXPECT_FALSE(has("fsanitize=all"));
  EXPECT_TRUE(has("fsanitize-recover=all"));
  EXPECT_TRUE(has("Wno-all"));
  EXPECT_TRUE(has("-help"));
  EXPECT_TRUE(has("-param max-unroll-times="));
  EXPECT_FALSE(has("gno-"));
  arg_vector_free(&list);
}

struct suggest_case {
  const char *bad;
  const char *expected; // none: nullptr
};

class SuggestOption : public testing::TestWithParam<suggest_case> {};

spelling_proposer shared_proposer;

TEST_P(SuggestOption, Closest) {
  const suggest_case &c = GetParam();
  const char *found = suggest_option(&shared_proposer, c.bad);
  if (c.expected)
    EXPECT_STREQ(found, c.expected) << c.bad;
  else
    EXPECT_EQ(found, nullptr) << c.bad << " gave " << found;
}

INSTANTIATE_TEST_SUITE_P(Table, SuggestOption,
                         testing::Values(suggest_case{"fno-exeptions", "fno-exceptions"},
                                         suggest_case{"Walll", "Wall"},
                                         suggest_case{"-verison", "-version"},
                                         suggest_case{"fsanitize=adress", "fsanitize=address"},
                                         suggest_case{"fdiagnostics-color=allways",
                                                      "fdiagnostics-color=always"},
                                         suggest_case{"qwertyuiopasdf", nullptr},
                                         suggest_case{"Wall", nullptr}));

TEST(SpellingProposer, BuiltOnlyWhenAsked) {
  spelling_proposer proposer;
  EXPECT_FALSE(proposer.built);
  EXPECT_EQ(proposer.candidates.count, 0u);
  suggest_option(&proposer, "Wal");
  EXPECT_TRUE(proposer.built);
  size_t count = proposer.candidates.count;
  suggest_option(&proposer, "Wal");
  EXPECT_EQ(proposer.candidates.count, count);
}

std::vector<std::string> completions(const char *prefix) {
  spelling_proposer proposer;
  arg_vector results{};
  get_completions(&proposer, prefix, &results);
  std::vector<std::string> out = contents(results);
  arg_vector_free(&results);
  return out;
}

TEST(GetCompletions, PrefixMatches) {
  std::vector<std::string> sa = completions("-fno-sa");
  ASSERT_FALSE(sa.empty());
  for (const std::string &s : sa)
    EXPECT_EQ(s.compare(0, 7, "-fno-sa"), 0) << s;
  EXPECT_NE(std::find(sa.begin(), sa.end(), "-fno-sanitize=all"), sa.end());
  EXPECT_NE(std::find(sa.begin(), sa.end(), "-fno-sanitize=address"), sa.end());

  EXPECT_EQ(completions("-fdiagnostics-color="),
            (std::vector<std::string>{"-fdiagnostics-color=always", "-fdiagnostics-color=auto",
                                      "-fdiagnostics-color=never"}));
  // The leading "-" is optional.
  EXPECT_EQ(completions("fdiagnostics-color="), completions("-fdiagnostics-color="));
  EXPECT_TRUE(completions("").empty());
  EXPECT_TRUE(completions("-qqqq").empty());
}

} // namespace
