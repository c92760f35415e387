// The C++ personality: how quarn++ rewrites the decoded command line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "command_runner.h"
#include "driver/lang_driver.h"
#include "options/opts.h"

using testing::ElementsAreArray;

namespace {

struct rewrite_case {
  std::vector<std::string> words;
  std::vector<std::string> options;
  const char *added_inputs;
};

const rewrite_case rewrite_cases[] = {
    {{"foo.c", "-o", "foo"},
     {"-x c++", "foo.c", "-x none", "-o foo", "-l stdc++", "-l m", "-shared-libquarn"},
     "2"},
    {{"-c", "foo.cc"}, {"-c", "foo.cc", "-shared-libquarn"}, "0"},
    {{"foo.o", "-lm", "-lz"}, {"foo.o", "-l z", "-l stdc++", "-l m", "-shared-libquarn"}, "1"},
    {{"foo.o", "-lc"}, {"foo.o", "-l stdc++", "-l m", "-l c", "-shared-libquarn"}, "2"},
    // Every linker word around the runtime counts as added.
    {{"-static-libstdc++", "foo.o"},
     {"foo.o", "-Wl,-Bstatic", "-l stdc++", "-Wl,-Bdynamic", "-l m", "-shared-libquarn"},
     "4"},
    {{"-static", "-static-libstdc++", "foo.o"}, {"-static", "foo.o", "-l stdc++", "-l m"}, "2"},
    {{"-static-libstdc++"},
     {"-Wl,-Bstatic", "-l stdc++", "-Wl,-Bdynamic", "-l m", "-shared-libquarn"},
     "4"},
    {{"-pg", "foo.o"}, {"-pg", "foo.o", "-l stdc++", "-l m_p", "-shared-libquarn"}, "2"},
    {{"-static-libquarn", "foo.o"}, {"-static-libquarn", "foo.o", "-l stdc++", "-l m"}, "2"},
    {{"bar.h"}, {"-x c++-header", "bar.h", "-x none", "-shared-libquarn"}, "0"},
    {{"bar.hpp"}, {"bar.hpp", "-shared-libquarn"}, "0"},
    {{"baz.i"},
     {"-x c++-cpp-output", "baz.i", "-x none", "-l stdc++", "-l m", "-shared-libquarn"},
     "2"},
    {{"-x", "c", "a.c", "b.c"},
     {"-x c", "a.c", "-x c++", "b.c", "-x none", "-l stdc++", "-l m", "-shared-libquarn"},
     "2"},
    // A C++ language asks for the runtime even for a header left alone.
    {{"-x", "c++", "a.h"}, {"-x c++", "a.h", "-l stdc++", "-l m", "-shared-libquarn"}, "2"},
    {{"-nostdlib", "foo.o"}, {"-nostdlib", "foo.o", "-shared-libquarn"}, "0"},
    {{"-E", "foo.cc"}, {"-E", "foo.cc", "-shared-libquarn"}, "0"},
    {{"-fsyntax-only", "foo.c"}, {"-fsyntax-only", "-x c++", "foo.c", "-x none",
                                  "-shared-libquarn"}, "0"},
    {{"-Wl,-v"}, {"-Wl,-v", "-l stdc++", "-l m", "-shared-libquarn"}, "2"},
    {{"x"}, {"x", "-shared-libquarn"}, "0"},
    {{}, {"-shared-libquarn"}, "0"},
};

class lang_driver_rewrite : public testing::TestWithParam<rewrite_case> {};

TEST_P(lang_driver_rewrite, options_after_the_rewrite) {
  const rewrite_case &c = GetParam();
  std::vector<std::string> argv = {"quarn++"};
  argv.insert(argv.end(), c.words.begin(), c.words.end());
  command_result r = run_lang_driver(argv);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["options"], ElementsAreArray(c.options));
  EXPECT_EQ(r.value("driver_added_inputs"), c.added_inputs);
}

INSTANTIATE_TEST_SUITE_P(cases, lang_driver_rewrite, testing::ValuesIn(rewrite_cases),
                         [](const testing::TestParamInfo<rewrite_case> &info) {
                           return "case_" + std::to_string(info.index);
                         });

std::vector<std::string> canonical_texts(const decoded_option *options, unsigned count) {
  std::vector<std::string> texts;
  for (unsigned i = 1; i < count; i++) {
    std::string text;
    for (size_t w = 0; w < options[i].canonical_word_count; w++)
      text += (w ? " " : "") + std::string(options[i].canonical_words[w]);
    texts.push_back(text);
  }
  return texts;
}

// -stdlib= is disabled in this configuration (its row takes no argument), so
// the "c++" runtime is only reached through a record made by the program.
TEST(lang_driver, the_cxx_runtime_brings_its_abi_library) {
  init_options_storage();
  const char *argv[] = {"quarn++", "foo.o"};
  decoded_option *decoded = nullptr;
  unsigned count = 0;
  decode_argv_options(2, argv, CL_DRIVER, &decoded, &count);
  ASSERT_EQ(count, 2u);
  decoded_option stdlib = {};
  stdlib.row = OPT_stdlib_;
  stdlib.arg = "libc++";
  stdlib.given_text = stdlib.canonical_words[0] = "-stdlib=libc++";
  stdlib.canonical_word_count = 1;
  stdlib.value = 2;
  decoded_option with_stdlib[3] = {decoded[0], stdlib, decoded[1]};
  decoded_option *options = with_stdlib;
  unsigned options_count = 3;
  int added = 0;
  lang_specific_driver(&options, &options_count, &added);
  EXPECT_THAT(canonical_texts(options, options_count),
              ElementsAreArray({"-stdlib=libc++", "foo.o", "-l c++", "-l c++abi", "-l m",
                                "-shared-libquarn"}));
  EXPECT_EQ(added, 3);
}

TEST(lang_driver, hooks) {
  EXPECT_EQ(lang_specific_extra_outputs, 0);
  EXPECT_EQ(lang_specific_pre_link(), 0);
}

} // namespace
