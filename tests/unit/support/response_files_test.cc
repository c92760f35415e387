// Response files: reading "@file" arguments in place, the text format with its
// quotes and backslashes, the limits, and writing files that read back as the
// same arguments.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "path_fixtures.h"
#include "support/response_files.h"

namespace {

using words = std::vector<std::string>;

words split(const char *text) {
  arg_vector vec = split_response_text(text);
  words out(vec.items, vec.items + vec.count);
  EXPECT_EQ(vec.items[vec.count], nullptr);
  arg_vector_free(&vec);
  return out;
}

// Runs the expansion on a vector of the given arguments; reports whether the
// vector was replaced.
words expand(const words &args, bool *replaced = nullptr) {
  std::vector<char *> storage;
  for (const std::string &a : args)
    storage.push_back(const_cast<char *>(a.c_str()));
  storage.push_back(nullptr);
  int argc = static_cast<int>(args.size());
  char **argv = storage.data();
  expand_response_files(&argc, &argv);
  if (replaced)
    *replaced = argv != storage.data();
  words out(argv, argv + argc);
  EXPECT_EQ(argv[argc], nullptr);
  if (argv != storage.data()) {
    for (int i = 0; i < argc; i++)
      free(argv[i]);
    free(argv);
  }
  return out;
}

std::string written(const words &args) {
  std::vector<const char *> vec;
  for (const std::string &a : args)
    vec.push_back(a.c_str());
  vec.push_back(nullptr);
  char *buffer = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&buffer, &size);
  EXPECT_EQ(write_response_file(vec.data(), stream), 0);
  fclose(stream);
  std::string out(buffer, size);
  free(buffer);
  return out;
}

TEST(response_text, splitting_rules) {
  struct row {
    const char *text;
    words want;
  };
  const row rows[] = {
      {"a b\nc", {"a", "b", "c"}},
      {"  \t lead\r\n\v\ftrail \n", {"lead", "trail"}},
      {"'x y' \"z w\"", {"x y", "z w"}},
      {"a'b c'd\"e f\"", {"ab cde f"}},
      {"a\\ b c\\\\d", {"a b", "c\\d"}},
      {"\"q\\\"uote\" 'it\\'s'", {"q\"uote", "it's"}},
      {"'dq\"inside' \"sq'inside\"", {"dq\"inside", "sq'inside"}},
      {"line\\\nbreak", {"line\nbreak"}},
      {"'' \"\" x", {"", "", "x"}},
      // The end of the text ends everything: no read past it.
      {"abc\\", {"abc\\"}},
      {"\\", {"\\"}},
      {"'open quote to the end", {"open quote to the end"}},
      {"x \"unclosed \\", {"x", "unclosed \\"}},
      // Any non-null text gives at least one argument.
      {"", {""}},
      {" \n\t ", {""}},
  };
  for (const row &r : rows)
    EXPECT_EQ(split(r.text), r.want) << r.text;
  arg_vector none = split_response_text(nullptr);
  EXPECT_EQ(none.items, nullptr);
  EXPECT_EQ(none.count, 0u);
}

TEST(response_text, many_arguments_grow_the_vector) {
  std::string text;
  for (int i = 0; i < 1000; i++)
    text += "w" + std::to_string(i) + " ";
  words got = split(text.c_str());
  ASSERT_EQ(got.size(), 1000u);
  EXPECT_EQ(got.front(), "w0");
  EXPECT_EQ(got.back(), "w999");
}

TEST(response_write, escapes_every_special_character) {
  EXPECT_EQ(written({"a b", "", "c\"d"}), "a\\ b\n\"\"\nc\\\"d\n");
  EXPECT_EQ(written({"q'\\x", "t\tn\nv\vf\fr\r"}), "q\\'\\\\x\nt\\\tn\\\nv\\\vf\\\fr\\\r\n");
  EXPECT_EQ(written({}), "");
}

TEST(response_write, round_trip_of_awkward_arguments) {
  const words args = {"plain", "with space",  "",          "'single'",  "\"double\"", "back\\slash",
                      "\\",    "trail\\",     "new\nline", "tab\there", " lead",      "@notafile",
                      "$HOME", "a'b\"c\\d e", "\r\v\f",    "ünïcode"};
  EXPECT_EQ(split(written(args).c_str()), args);
}

TEST(response_write, failures_are_reported) {
  const char *args[] = {"a", nullptr};
  EXPECT_EQ(write_response_file(args, nullptr), 1);
  FILE *full = fopen("/dev/full", "w");
  if (full) {
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_EQ(write_response_file(args, full), 1);
    fclose(full);
  }
}

TEST(response_copy, deep_copy) {
  const char *args[] = {"prog", "x", "", nullptr};
  char **copy = copy_arg_vector(args);
  ASSERT_NE(copy, nullptr);
  for (int i = 0; i < 3; i++) {
    EXPECT_NE(copy[i], args[i]);
    EXPECT_STREQ(copy[i], args[i]);
  }
  EXPECT_EQ(copy[3], nullptr);
  for (int i = 0; i < 3; i++)
    free(copy[i]);
  free(copy);
  EXPECT_EQ(copy_arg_vector(nullptr), nullptr);
}

class response_expand : public ::testing::Test {
protected:
  std::string file(const std::string &name, const std::string &content) {
    return dir.make_file(name, content);
  }
  scratch_dir dir;
};

TEST_F(response_expand, arguments_replace_the_at_argument_in_place) {
  std::string three = file("three", "a b\nc\n");
  std::string quoted = file("quoted", "'x y' \"z w\"");
  std::string empty = file("empty", "");
  std::string blank = file("blank", "\n\n  \n");
  struct row {
    words args;
    words want;
  };
  const row rows[] = {
      {{"prog", "-1", "@" + three, "-2"}, {"prog", "-1", "a", "b", "c", "-2"}},
      {{"prog", "@" + quoted}, {"prog", "x y", "z w"}},
      {{"prog", "@" + empty, "x"}, {"prog", "x"}},
      {{"prog", "@" + blank}, {"prog"}},
      {{"prog", "@" + three, "@" + three}, {"prog", "a", "b", "c", "a", "b", "c"}},
  };
  for (const row &r : rows) {
    bool replaced = false;
    EXPECT_EQ(expand(r.args, &replaced), r.want) << r.args[1];
    EXPECT_TRUE(replaced);
  }
}

TEST_F(response_expand, unreadable_names_stay_and_leave_the_vector_alone) {
  std::string missing = dir.path("missing");
  const words args = {"prog", "@" + missing, "@", "plain", "@@x"};
  bool replaced = true;
  EXPECT_EQ(expand(args, &replaced), args);
  EXPECT_FALSE(replaced);
}

TEST_F(response_expand, element_zero_and_short_vectors_are_never_expanded) {
  std::string three = file("three", "a b c");
  bool replaced = true;
  EXPECT_EQ(expand({"@" + three}, &replaced), words{"@" + three});
  EXPECT_FALSE(replaced);
  EXPECT_EQ(expand({"@" + three, "@" + three}), (words{"@" + three, "a", "b", "c"}));
}

TEST_F(response_expand, files_named_inside_files_are_expanded) {
  std::string inner = file("inner", "i1 i2");
  std::string outer = file("outer", "o1 @" + inner + " o2 @" + dir.path("none"));
  EXPECT_EQ(expand({"prog", "@" + outer, "end"}),
            (words{"prog", "o1", "i1", "i2", "o2", "@" + dir.path("none"), "end"}));
}

TEST_F(response_expand, written_file_reads_back) {
  const words args = {"-o", "out file", "", "q\"uote", "back\\slash", "new\nline"};
  std::string path = file("written", "");
  FILE *stream = fopen(path.c_str(), "w");
  std::vector<const char *> vec;
  for (const std::string &a : args)
    vec.push_back(a.c_str());
  vec.push_back(nullptr);
  ASSERT_EQ(write_response_file(vec.data(), stream), 0);
  fclose(stream);
  words want = {"prog"};
  want.insert(want.end(), args.begin(), args.end());
  EXPECT_EQ(expand({"prog", "@" + path}), want);
}

TEST_F(response_expand, budget_allows_1999_at_arguments) {
  words args = {"prog"};
  for (int i = 0; i < 1999; i++)
    args.push_back("@" + dir.path("missing"));
  EXPECT_EQ(expand(args), args);
  args.push_back("@" + dir.path("missing"));
  EXPECT_EXIT(expand(args), ::testing::ExitedWithCode(1),
              "^prog: error: too many @-files encountered\n$");
}

TEST_F(response_expand, file_naming_itself_ends_the_process) {
  std::string self = dir.path("self");
  file("self", "x @" + self);
  EXPECT_EXIT(expand({"quarn++", "@" + self}), ::testing::ExitedWithCode(1),
              "^quarn\\+\\+: error: too many @-files encountered\n$");
}

TEST_F(response_expand, directory_ends_the_process) {
  std::string sub = dir.make_dir("sub");
  EXPECT_EXIT(expand({"quarn++", "a", "@" + sub}), ::testing::ExitedWithCode(1),
              "^quarn\\+\\+: error: @-file refers to a directory\n$");
}

} // namespace
