// Decoding words into records: arguments, aliases, respellings, negative
// forms, integers and enumerated values, canonical spellings, pruning.
#include <cerrno>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "options/opts.h"
#include "options_test_support.h"

namespace {

using words = std::vector<std::string>;

struct decode_case {
  std::vector<const char *> argv;
  unsigned mask;
  unsigned used;
  size_t row;
  const char *arg; // none: nullptr
  int64_t value;
  int errors;
  words canonical;
};

class DecodeCmdlineOption : public testing::TestWithParam<decode_case> {};

TEST_P(DecodeCmdlineOption, Decodes) {
  const decode_case &c = GetParam();
  std::vector<const char *> argv = c.argv;
  argv.push_back(nullptr);
  decoded_option d;
  unsigned used = decode_cmdline_option(argv.data(), c.mask, &d);
  std::string what = c.argv[0];
  EXPECT_EQ(used, c.used) << what;
  EXPECT_EQ(d.row, c.row) << what;
  if (c.arg)
    EXPECT_STREQ(d.arg, c.arg) << what;
  else
    EXPECT_EQ(d.arg, nullptr) << what;
  EXPECT_EQ(d.value, c.value) << what;
  EXPECT_EQ(d.errors, c.errors) << what;
  EXPECT_EQ(canonical(d), c.canonical) << what;
}

const unsigned D = CL_DRIVER;
const unsigned DC = CL_DRIVER | CL_COMMON;
const unsigned CXX = CL_LANG_CXX | CL_COMMON | CL_WARNING | CL_OPTIMIZATION | CL_PARAMS;

INSTANTIATE_TEST_SUITE_P(
    ArgumentsAndForms, DecodeCmdlineOption,
    testing::Values(
        decode_case{{"-ofile"}, D, 1, OPT_o, "file", 1, 0, {"-o", "file"}},
        decode_case{{"-o", "file"}, D, 2, OPT_o, "file", 1, 0, {"-o", "file"}},
        decode_case{{"-o"}, D, 1, OPT_o, nullptr, 1, ERR_MISSING_ARG, {"-o"}},
        // A wrong-language option whose argument is missing.
        decode_case{{"-I"}, D, 1, OPT_I, nullptr, 1, ERR_MISSING_ARG | ERR_WRONG_LANG, {"-I"}},
        decode_case{{"-I", "dir"}, D, 2, OPT_I, "dir", 1, ERR_WRONG_LANG, {"-I", "dir"}},
        // An empty joined argument is allowed here.
        decode_case{{"-Wl,"}, D, 1, OPT_Wl_, "", 1, 0, {"-Wl,"}},
        decode_case{{"-Wl,-rpath,/x"}, D, 1, OPT_Wl_, "-rpath,/x", 1, 0, {"-Wl,-rpath,/x"}},
        // For the driver, -MD takes no separate word.
        decode_case{{"-MD", "x.d"}, D, 1, OPT_MD, nullptr, 1, ERR_WRONG_LANG, {"-MD"}},
        decode_case{{"-MD", "x.d"}, CL_LANG_C, 2, OPT_MD, "x.d", 1, 0, {"-MD", "x.d"}},
        decode_case{{"-", "x"}, D, 1, SPECIAL_UNKNOWN, "-", 1, 0, {"-"}},
        decode_case{{"-stdlib=libc++"}, D, 1, SPECIAL_UNKNOWN, "-stdlib=libc++", 1, 0,
                    {"-stdlib=libc++"}},
        decode_case{{"-stdlib="}, D, 1, OPT_stdlib_, nullptr, 1, ERR_DISABLED | ERR_WRONG_LANG,
                    {"-stdlib="}},
        decode_case{{"-fkeep-inline-dllexport"}, DC, 1, OPT_fkeep_inline_dllexport, nullptr, 1,
                    ERR_DISABLED | ERR_WRONG_LANG, {"-fkeep-inline-dllexport"}},
        decode_case{{"-march=ARMv8.2-A+SVE"}, CL_TARGET, 1, OPT_march_, "armv8.2-a+sve", 1, 0,
                    {"-march=armv8.2-a+sve"}}));

INSTANTIATE_TEST_SUITE_P(
    NegativeFormsAndRespellings, DecodeCmdlineOption,
    testing::Values(
        decode_case{{"-fno-exceptions"}, CXX, 1, OPT_fexceptions, nullptr, 0, 0,
                    {"-fno-exceptions"}},
        decode_case{{"-fno-foo"}, D, 1, SPECIAL_UNKNOWN, "-fno-foo", 1, 0, {"-fno-foo"}},
        // "-Wno-" of an option without a negative form.
        decode_case{{"-Wno-l,"}, D, 1, SPECIAL_UNKNOWN, "-Wno-l,", 1, ERR_NEGATIVE, {"-Wno-l,"}},
        decode_case{{"-Wno-format=2"}, CXX, 1, SPECIAL_UNKNOWN, "-Wno-format=2", 1, ERR_NEGATIVE,
                    {"-Wno-format=2"}},
        decode_case{{"--optimize=2"}, CXX, 1, OPT_O, "2", 1, 0, {"-O2"}},
        decode_case{{"--std=c++17"}, CXX, 1, OPT_std_c__17, nullptr, 1, 0, {"-std=c++17"}},
        decode_case{{"--std", "c++17", "x.cc"}, CXX, 2, OPT_std_c__17, nullptr, 1, 0,
                    {"-std=c++17"}},
        decode_case{{"--machine", "no-strict-align"}, CL_TARGET, 2, OPT_mstrict_align, nullptr,
                    0, 0, {"-mno-strict-align"}},
        decode_case{{"--machine-strict-align"}, CL_TARGET, 1, OPT_mstrict_align, nullptr, 1, 0,
                    {"-mstrict-align"}},
        // Only the exact word takes the next one along.
        decode_case{{"--machinex", "strict-align"}, CL_TARGET, 1, SPECIAL_UNKNOWN, "--machinex",
                    1, 0, {"--machinex"}},
        decode_case{{"--warn-no-unused"}, CXX, 1, OPT_Wunused, nullptr, 0, 0, {"-Wno-unused"}},
        decode_case{{"--no-exceptions"}, CXX, 1, OPT_fexceptions, nullptr, 0, 0,
                    {"-fno-exceptions"}},
        decode_case{{"--he"}, D, 1, OPT__help, nullptr, 1, 0, {"--help"}}));

INSTANTIATE_TEST_SUITE_P(
    Aliases, DecodeCmdlineOption,
    testing::Values(
        // The alias is a common option, its target one of the driver's.
        decode_case{{"-fdiagnostics-color"}, D, 1, OPT_fdiagnostics_color_, "always", 1, 0,
                    {"-fdiagnostics-color=always"}},
        decode_case{{"-fno-diagnostics-color"}, DC, 1, OPT_fdiagnostics_color_, "never", 0, 0,
                    {"-fdiagnostics-color=never"}},
        decode_case{{"-Wno-format"}, CXX, 1, OPT_Wformat_, "0", 0, 0, {"-Wformat=0"}},
        decode_case{{"-Wformat"}, CXX, 1, OPT_Wformat_, "1", 1, 0, {"-Wformat=1"}},
        decode_case{{"-fno-stack-check"}, CXX, 1, OPT_fstack_check_, "no", 1, 0,
                    {"-fstack-check=no"}},
        decode_case{{"--output", "a.out"}, D, 2, OPT_o, "a.out", 1, 0, {"-o", "a.out"}},
        decode_case{{"--debug"}, DC, 1, OPT_g, "", 1, 0, {"-g"}},
        decode_case{{"--optimize"}, CXX, 1, OPT_O, "", 1, 0, {"-O"}},
        decode_case{{"-fno-handle-exceptions"}, CXX, 1, OPT_fexceptions, nullptr, 0, 0,
                    {"-fno-exceptions"}},
        decode_case{{"-Wlarger-than-5"}, CXX, 1, OPT_Wlarger_than_eq, "5", 5, 0,
                    {"-Wlarger-than=5"}},
        decode_case{{"-Whsa"}, CXX, 1, SPECIAL_IGNORE, nullptr, 1, 0, {"-Whsa"}},
        decode_case{{"-fno-mudflap"}, CXX, 1, SPECIAL_WARN_REMOVED, nullptr, 0, 0,
                    {"-fno-mudflap"}}));

INSTANTIATE_TEST_SUITE_P(
    IntegersAndEnums, DecodeCmdlineOption,
    testing::Values(
        decode_case{{"-fmax-errors=010"}, CXX, 1, OPT_fmax_errors_, "010", 10, 0,
                    {"-fmax-errors=010"}},
        decode_case{{"-fmax-errors=0x1f"}, CXX, 1, OPT_fmax_errors_, "0x1f", 31, 0,
                    {"-fmax-errors=0x1f"}},
        decode_case{{"-fmax-errors=12abc"}, CXX, 1, OPT_fmax_errors_, "12abc", -1, ERR_UINT_ARG,
                    {"-fmax-errors=12abc"}},
        decode_case{{"-fmax-errors=1KiB"}, CXX, 1, OPT_fmax_errors_, "1KiB", -1, ERR_UINT_ARG,
                    {"-fmax-errors=1KiB"}},
        decode_case{{"-Wlarger-than=1KiB"}, CXX, 1, OPT_Wlarger_than_eq, "1KiB", 1024, 0,
                    {"-Wlarger-than=1KiB"}},
        decode_case{{"-Wno-larger-than"}, CXX, 1, OPT_Wlarger_than_eq,
                    "18446744073709551615EiB", -1, 0, {"-Wlarger-than=18446744073709551615EiB"}},
        decode_case{{"-Wformat=3"}, CXX, 1, OPT_Wformat_, "3", 3, ERR_INT_RANGE_ARG,
                    {"-Wformat=3"}},
        decode_case{{"-fdiagnostics-color=auto"}, D, 1, OPT_fdiagnostics_color_, "auto", 2, 0,
                    {"-fdiagnostics-color=auto"}},
        decode_case{{"-fdiagnostics-color=sometimes"}, D, 1, OPT_fdiagnostics_color_,
                    "sometimes", 1, ERR_ENUM_ARG, {"-fdiagnostics-color=sometimes"}},
        // Two spellings of one value: the first is canonical.
        decode_case{{"-fextern-std=c++98"}, CL_LANG_D, 1, OPT_fextern_std_, "c++03", 199711, 0,
                    {"-fextern-std=c++03"}},
        decode_case{{"-Wbidi-chars=any,ucn"}, CXX, 1, OPT_Wbidi_chars_, "any,ucn", 6, 0,
                    {"-Wbidi-chars=any,ucn"}},
        decode_case{{"-Wbidi-chars=any,none"}, CXX, 1, OPT_Wbidi_chars_, "any,none", 1,
                    ERR_ENUM_SET_ARG, {"-Wbidi-chars=any,none"}},
        decode_case{{"-Wbidi-chars=any,"}, CXX, 1, OPT_Wbidi_chars_, "any,", 1,
                    ERR_ENUM_SET_ARG, {"-Wbidi-chars=any,"}}));

TEST(DecodeCmdlineOption, SetValuedMaskCoversTheGroupsUsed) {
  decoded_option d;
  decode_words({"-Wbidi-chars=unpaired,ucn"}, CXX, &d);
  EXPECT_EQ(d.value, 5);
  EXPECT_EQ(d.mask, 7u); // all of group 1 (any, none, unpaired) and ucn
  decode_words({"-fsanitize-coverage=trace-pc,trace-cmp"}, CL_COMMON, &d);
  EXPECT_EQ(d.value, 3);
  EXPECT_EQ(d.mask, 3u);
}

TEST(DecodeCmdlineOption, GivenTextShowsEmptyWords) {
  decoded_option d;
  decode_words({"-o", ""}, D, &d);
  EXPECT_STREQ(d.given_text, "-o \"\"");
  EXPECT_STREQ(d.arg, "");
}

TEST(DecodeCmdlineOption, WarnMessageOfTheRowAndOfTheTarget) {
  decoded_option d;
  decode_words({"-fhandle-exceptions"}, CXX, &d);
  EXPECT_EQ(d.row, OPT_fexceptions);
  EXPECT_STREQ(d.warn_message,
               "%<-fhandle-exceptions%> has been renamed %<-fexceptions%> (and is now on by default)");
}

TEST(DecodeCmdlineOption, WerrorTakesTheLanguageOfTheWarning) {
  decoded_option d;
  decode_words({"-Werror=effc++"}, CL_LANG_C | CL_COMMON, &d);
  EXPECT_EQ(d.errors, ERR_WRONG_LANG);
  decode_words({"-Werror=effc++"}, CL_LANG_CXX | CL_COMMON, &d);
  EXPECT_EQ(d.errors, 0);
  decode_words({"-Werror=effc++,shadow"}, CL_LANG_C | CL_COMMON, &d);
  EXPECT_EQ(d.errors, 0);
}

struct number_case {
  const char *text;
  bool byte_size;
  uint64_t value;
  int err;
};

class ParseNumberArgument : public testing::TestWithParam<number_case> {};

TEST_P(ParseNumberArgument, Parses) {
  const number_case &c = GetParam();
  int err = -1;
  EXPECT_EQ(parse_number_argument(c.text, &err, c.byte_size), c.value) << c.text;
  EXPECT_EQ(err, c.err) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseNumberArgument,
    testing::Values(number_case{"010", false, 10, 0}, number_case{"0x10", false, 16, 0},
                    number_case{"0x1f", false, 31, 0}, number_case{"012x", false, UINT64_MAX, EINVAL},
                    number_case{"12abc", false, UINT64_MAX, EINVAL},
                    number_case{"x12", false, UINT64_MAX, EINVAL},
                    number_case{"", false, UINT64_MAX, EINVAL},
                    number_case{"99999999999999999999", false, UINT64_MAX, ERANGE},
                    number_case{"1KiB", false, UINT64_MAX, EINVAL},
                    number_case{"1KiB", true, 1024, 0}, number_case{"1kib", true, 1024, 0},
                    number_case{"2kB", true, 2000, 0}, number_case{"2KB", true, 2048, 0},
                    number_case{"2kb", true, UINT64_MAX, EINVAL},
                    number_case{"3MB", true, 3000000, 0}, number_case{"3mb", true, UINT64_MAX, EINVAL},
                    number_case{"1gib", true, 1ull << 30, 0}, number_case{"5TB", true, 5000000000000ull, 0},
                    number_case{"1PiB", true, 1ull << 50, 0}, number_case{"2EB", true, 2000000000000000000ull, 0},
                    number_case{"18446744073709551615EiB", true, UINT64_MAX, 0},
                    // Saturates instead of wrapping.
                    number_case{"17EiB", true, UINT64_MAX, 0},
                    number_case{"0x10", true, UINT64_MAX, EINVAL}, number_case{"7", true, 7, 0}));

// Whole command lines.

std::vector<std::string> given_texts(const std::vector<decoded_option> &line) {
  std::vector<std::string> texts;
  for (const decoded_option &d : line)
    texts.push_back(d.given_text);
  return texts;
}

TEST(DecodeArgvOptions, ProgramNameInputsAndOptions) {
  auto line = decode_line({"a.c", "-", "-c", "-o", "a.o"});
  ASSERT_EQ(line.size(), 5u);
  EXPECT_EQ(line[0].row, SPECIAL_PROGRAM_NAME);
  EXPECT_STREQ(line[0].arg, "quarn++");
  EXPECT_EQ(line[1].row, SPECIAL_INPUT_FILE);
  EXPECT_STREQ(line[1].arg, "a.c");
  EXPECT_EQ(line[2].row, SPECIAL_INPUT_FILE);
  EXPECT_STREQ(line[2].arg, "-");
  EXPECT_EQ(line[3].row, OPT_c);
  EXPECT_EQ(line[4].row, OPT_o);
  EXPECT_STREQ(line[4].arg, "a.o");
}

TEST(DecodeArgvOptions, EmptyArgumentVector) {
  const char *argv[] = {nullptr};
  decoded_option *decoded;
  unsigned count;
  decode_argv_options(0, argv, CL_DRIVER, &decoded, &count);
  ASSERT_EQ(count, 1u);
  EXPECT_EQ(decoded[0].row, SPECIAL_PROGRAM_NAME);
  EXPECT_STREQ(decoded[0].arg, "");
  free(decoded);
}

TEST(DecodeArgvOptions, ParamWithASpace) {
  auto line = decode_line({"--param", "max-unroll-times=4", "x.c"}, CXX);
  ASSERT_EQ(line.size(), 3u);
  EXPECT_EQ(line[1].row, OPT__param_max_unroll_times_);
  EXPECT_EQ(line[1].value, 4);
  EXPECT_STREQ(line[1].given_text, "--param=max-unroll-times=4");
  EXPECT_EQ(line[2].row, SPECIAL_INPUT_FILE);
  // A last "--param" has nothing to join.
  auto last = decode_line({"--param"}, CXX);
  ASSERT_EQ(last.size(), 2u);
  EXPECT_EQ(last[1].row, SPECIAL_UNKNOWN);
}

TEST(DecodeArgvOptions, PlainOutputExpands) {
  auto line = decode_line({"x.c", "-fdiagnostics-plain-output"}, DC);
  EXPECT_EQ(given_texts(line),
            (words{"quarn++", "-fdiagnostics-color=never", "x.c", "-fno-diagnostics-show-caret",
                   "-fno-diagnostics-show-line-numbers", "-fdiagnostics-urls=never",
                   "-fdiagnostics-path-format=separate-events"}));
}

struct prune_case {
  std::vector<const char *> argv;
  words kept;
};

class PruneOptions : public testing::TestWithParam<prune_case> {};

TEST_P(PruneOptions, KeepsWhatIsNotOverridden) {
  std::vector<const char *> argv{"quarn++"};
  argv.insert(argv.end(), GetParam().argv.begin(), GetParam().argv.end());
  decoded_option *decoded;
  unsigned count;
  decode_argv_options(static_cast<unsigned>(argv.size()), argv.data(), CL_DRIVER, &decoded,
                      &count);
  std::vector<decoded_option> line(decoded, decoded + count);
  free(decoded);
  words kept = given_texts(line);
  kept.erase(kept.begin());
  EXPECT_EQ(kept, GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PruneOptions,
    testing::Values(
        prune_case{{"-pie", "-pie"}, {"-pie"}}, prune_case{{"-pie", "-no-pie"}, {"-no-pie"}},
        prune_case{{"-no-pie", "a.c", "-static-pie"}, {"a.c", "-static-pie"}},
        prune_case{{"-shared", "-pie"}, {"-pie"}},
        prune_case{{"-fPIC", "x.c", "-fpic"}, {"x.c", "-fpic"}},
        prune_case{{"-fexceptions", "-fno-exceptions"}, {"-fno-exceptions"}},
        prune_case{{"-Wall", "-Wno-all", "-Wall"}, {"-Wall"}},
        prune_case{{"-Qn", "-Qy", "-Qn"}, {"-Qn"}},
        // Without a negative form, only -march= and its kind cancel themselves.
        prune_case{{"-march=a", "-march=b"}, {"-march=b"}},
        prune_case{{"-mtune=a", "-march=b", "-mtune=c"}, {"-march=b", "-mtune=c"}},
        // Joined rows stay.
        prune_case{{"-gstabs", "-gdwarf"}, {"-gstabs", "-gdwarf"}},
        prune_case{{"-O2", "-O3"}, {"-O2", "-O3"}},
        // An erroneous option neither goes nor cancels.
        prune_case{{"-pie", "-fmax-errors=x", "-Wformat=9", "-pie"}, {"-fmax-errors=x", "-Wformat=9", "-pie"}},
        // The last color option moves to the front, the others go.
        prune_case{{"a.c", "-fdiagnostics-color=always", "-c", "-fdiagnostics-color=never"},
                   {"-fdiagnostics-color=never", "a.c", "-c"}},
        prune_case{{"-c", "-fdiagnostics-color=sometimes"}, {"-c", "-fdiagnostics-color=sometimes"}},
        prune_case{{"-fno-diagnostics-color"}, {"-fno-diagnostics-color"}}));

TEST(GenerateOption, CanonicalSpellings) {
  decoded_option d;
  generate_option(OPT_o, "x.o", 1, CL_DRIVER, &d);
  EXPECT_EQ(canonical(d), (words{"-o", "x.o"}));
  EXPECT_STREQ(d.given_text, "-o x.o");
  EXPECT_EQ(d.errors, 0);
  generate_option(OPT_Wall, nullptr, 0, CL_DRIVER, &d);
  EXPECT_EQ(canonical(d), (words{"-Wno-all"}));
  EXPECT_EQ(d.errors, ERR_WRONG_LANG);
  generate_option(OPT_l, "stdc++", 1, CL_DRIVER, &d);
  EXPECT_EQ(canonical(d), (words{"-l", "stdc++"}));
  generate_option(OPT_shared_libquarn, nullptr, 1, CL_DRIVER, &d);
  EXPECT_EQ(canonical(d), (words{"-shared-libquarn"}));
  EXPECT_STREQ(d.given_text, "-shared-libquarn");
  generate_option(OPT_fdiagnostics_color_, "never", 0, CL_DRIVER, &d);
  EXPECT_EQ(canonical(d), (words{"-fdiagnostics-color=never"}));
}

TEST(MakeInputFileOption, IsTheWord) {
  decoded_option d;
  make_input_file_option("x.c", &d);
  EXPECT_EQ(d.row, SPECIAL_INPUT_FILE);
  EXPECT_STREQ(d.arg, "x.c");
  EXPECT_STREQ(d.given_text, "x.c");
  EXPECT_EQ(canonical(d), (words{"x.c"}));
  EXPECT_EQ(d.value, 1);
  EXPECT_EQ(d.errors, 0);
}

} // namespace
