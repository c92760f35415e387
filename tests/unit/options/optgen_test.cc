// optgen, the generator of the option table: it writes the table from a good
// catalogue and refuses a broken one, naming the row at fault.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "common/child_process.h"

namespace {

struct run_result {
  int status;
  std::string err;
  std::string table, header;
};

run_result run_optgen(const char *fixture, const char *counts) {
  char dir[] = "/tmp/quarn-optgen-test-XXXXXX";
  if (!mkdtemp(dir))
    return {-1, "no temporary directory", "", ""};
  std::string out = dir;
  std::string command = std::string(QUARN_TEST_BINARY_DIR) + "/src/options/optgen " +
                        QUARN_TEST_SOURCE_DIR + "/tests/unit/options/fixtures/" + fixture + " " +
                        out + "/t.cc " + out + "/t.h " + counts + " 2> " + out + "/err";
  int status = system(command.c_str());
  run_result result{WIFEXITED(status) ? WEXITSTATUS(status) : -1, read_file(out + "/err"),
                    read_file(out + "/t.cc"), read_file(out + "/t.h")};
  system(("rm -rf " + out).c_str());
  return result;
}

const char *good_counts = "rows=8 ignored=1 removed=1 aliases=1 enums=1 enum-rows=1";

TEST(Optgen, WritesTheSortedTable) {
  run_result r = run_optgen("good.txt", good_counts);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  // Bytewise order of the text after the first "-": "Wa," "fcolor" "fcolour=" "fold"
  // "fquiet" "no-pie" "o" "pie".
  EXPECT_NE(r.header.find("  OPT_Wa_ = 0, // -Wa,\n  OPT_fcolor = 1, // -fcolor\n"
                          "  OPT_fcolour_ = 2, // -fcolour=\n"),
            std::string::npos)
      << r.header;
  EXPECT_NE(r.header.find("  OPTION_ROW_COUNT = 8,\n  SPECIAL_UNKNOWN = 9,"), std::string::npos);
  // "-fcolor" is the prefix of "-fcolour="? No: "fcolo" differs at 'r'/'u';
  // its back chain is none (8), its alias target row 2.
  EXPECT_NE(r.table.find("{\"-fcolor\", nullptr, nullptr, nullptr, \"red\", \"blue\", 2, 8, 6, 1,"),
            std::string::npos)
      << r.table;
  // The negation chain -pie -> -no-pie -> -pie, by index.
  EXPECT_NE(r.table.find("{\"-pie\", nullptr, nullptr, nullptr, nullptr, nullptr, 8, 8, 3, 5,"),
            std::string::npos);
  // Retired and ignored rows stand for the special indices.
  EXPECT_NE(r.table.find("{\"-fold\", nullptr, nullptr, nullptr, nullptr, nullptr, 11,"),
            std::string::npos);
  EXPECT_NE(r.table.find("{\"-fquiet\", nullptr, nullptr, nullptr, nullptr, nullptr, 10,"),
            std::string::npos);
}

struct broken_case {
  const char *fixture;
  const char *counts;
  const char *message; // a line of standard error
};

class OptgenRefuses : public testing::TestWithParam<broken_case> {};

TEST_P(OptgenRefuses, NamesTheFault) {
  const broken_case &c = GetParam();
  run_result r = run_optgen(c.fixture, c.counts);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  EXPECT_EQ(r.table, "");
  EXPECT_EQ(r.header, "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptgenRefuses,
    testing::Values(
        broken_case{"alias-of-alias.txt", "", "alias-of-alias.txt:3: row \"-fc\": alias of the alias \"-fb\""},
        broken_case{"open-chain.txt", "",
                    "open-chain.txt:1: row \"-pie\": its negation chain does not come back to it"},
        broken_case{"good.txt", "rows=1952 ignored=1 removed=1 aliases=1 enums=1 enum-rows=1",
                    "expected 1952 rows, the catalogue has 8"},
        broken_case{"good.txt", "rows=8 ignored=44 removed=1 aliases=1 enums=1 enum-rows=1",
                    "expected 44 ignored, the catalogue has 1"},
        broken_case{"unused-enum.txt", "", "unused-enum.txt:1: enum lonely is used by no row"},
        broken_case{"clashing-names.txt", "",
                    "row \"-fdepth=\": enumerator OPT_fdepth_ already names row \"-fdepth-\""},
        broken_case{"malformed.txt", "", "malformed.txt:1: row \"-fa\": unknown class \"nonsense\""},
        broken_case{"malformed.txt", "", "malformed.txt:2: row \"-fb\": unknown word \"frobnicate\""},
        broken_case{"malformed.txt", "",
                    "malformed.txt:3: row \"-fc\": alias of the unknown row \"-fnowhere\""}));

} // namespace
