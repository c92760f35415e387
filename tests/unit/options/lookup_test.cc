// Finding the row of a word: longest prefix, joined arguments, abbreviations
// of long options, rows of other languages, the "-gno-" remapping prefix.
#include <cstring>

#include <gtest/gtest.h>

#include "options/opts.h"

namespace {

struct lookup_case {
  const char *input; // the word without its first "-"
  unsigned mask;
  size_t expected;
};

class LookupOption : public testing::TestWithParam<lookup_case> {};

TEST_P(LookupOption, FindsRow) {
  const lookup_case &c = GetParam();
  size_t row = lookup_option(c.input, c.mask);
  EXPECT_EQ(row, c.expected) << c.input << " found "
                             << (row < option_row_count ? option_rows[row].text : "(special)");
}

INSTANTIATE_TEST_SUITE_P(
    Table, LookupOption,
    testing::Values(
        // Exact rows and joined arguments; the longest prefix wins.
        lookup_case{"o", CL_DRIVER, OPT_o}, lookup_case{"ofile", CL_DRIVER, OPT_o},
        lookup_case{"-help", CL_DRIVER, OPT__help},
        lookup_case{"-help=warnings", CL_DRIVER, OPT__help_},
        lookup_case{"fdump-tree-all", CL_COMMON, OPT_fdump_},
        lookup_case{"fdump-noaddr", CL_COMMON, OPT_fdump_noaddr},
        lookup_case{"fdiagnostics-color=never", CL_DRIVER, OPT_fdiagnostics_color_},
        lookup_case{"fdiagnostics-color", CL_COMMON, OPT_fdiagnostics_color},
        lookup_case{"###", CL_DRIVER, OPT____},
        lookup_case{"O2", CL_COMMON, OPT_O},
        // A row that is neither joined nor equal to the word does not match.
        lookup_case{"pipex", CL_DRIVER, SPECIAL_UNKNOWN},
        lookup_case{"stdlib=libc++", CL_DRIVER, SPECIAL_UNKNOWN},
        // Abbreviations of long options.
        lookup_case{"-he", CL_DRIVER, OPT__help},
        lookup_case{"-hel=x", CL_DRIVER, SPECIAL_UNKNOWN},
        lookup_case{"-ver", CL_DRIVER, SPECIAL_UNKNOWN}, // --verbose and --version
        lookup_case{"-versio", CL_DRIVER, OPT__version},
        lookup_case{"-pref", CL_DRIVER, OPT__prefix}, // "--prefix" and "--prefix="
        lookup_case{"-pre", CL_DRIVER, SPECIAL_UNKNOWN}, // also "--preprocess"
        lookup_case{"-zzzz", CL_DRIVER, SPECIAL_UNKNOWN}, lookup_case{"zzzz", CL_DRIVER, OPT_z},
        // Rows of another language are found but are not the driver's.
        lookup_case{"Wall", CL_DRIVER, OPT_Wall},
        lookup_case{"I/usr/include", CL_DRIVER, OPT_I},
        lookup_case{"std=c++17", CL_DRIVER, OPT_std_c__17},
        // The remapping prefix ends the search.
        lookup_case{"gno-foo", CL_DRIVER | CL_COMMON, SPECIAL_UNKNOWN},
        lookup_case{"gno-pubnames", CL_DRIVER, OPT_gno_pubnames},
        lookup_case{"gfoo", CL_DRIVER, OPT_g}));

TEST(LookupOption, AbbreviationWithJoinedTwinStaysUnique) {
  // "--help" is followed by the joined "--help=": "--hel" still means "--help".
  EXPECT_EQ(lookup_option("-hel", CL_DRIVER), OPT__help);
  // "--target-help" has no joined twin and is unique.
  EXPECT_EQ(lookup_option("-target", CL_DRIVER), OPT__target_help);
}

struct mask_case {
  size_t row;
  unsigned mask;
  bool belongs;
};

class OptionInMask : public testing::TestWithParam<mask_case> {};

TEST_P(OptionInMask, Rule) {
  const mask_case &c = GetParam();
  EXPECT_EQ(option_in_mask(c.row, c.mask), c.belongs) << option_rows[c.row].text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, OptionInMask,
    testing::Values(mask_case{OPT_o, CL_DRIVER, true}, mask_case{OPT_Wall, CL_DRIVER, false},
                    mask_case{OPT_Wall, CL_LANG_CXX, true},
                    mask_case{OPT_fsanitize_, CL_DRIVER, true},
                    mask_case{OPT_mabi_, CL_TARGET, true},
                    mask_case{OPT_fkeep_inline_dllexport, CL_DRIVER | CL_COMMON, false}));

TEST(OptionField, AddressesTheRecord) {
  options_record record{};
  EXPECT_EQ(option_field(OPT_pipe, &record), &record.use_pipes);
  EXPECT_EQ(option_field(OPT__help, &record), nullptr);
  // Rows without a named field get a slot of their own.
  EXPECT_NE(option_field(OPT_fexceptions, &record), option_field(OPT_frtti, &record));
  EXPECT_EQ(option_field(OPT_fPIC, &record), option_field(OPT_fpic, &record));
}

} // namespace
