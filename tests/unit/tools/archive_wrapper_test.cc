// The archive-tool wrapper's pieces, in its ar personality: prefix lists from
// texts, file lookup, the -B option, the tool's command line and the exit
// status with its messages.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#define QUARN_WRAPPED_TOOL "ar"
#define main archive_wrapper_main
#include "tools/archive_wrapper.cc"
#undef main

namespace {

std::vector<std::string> entries(const plain_prefix_list &list) {
  return std::vector<std::string>(list.entries, list.entries + list.count);
}

class archive_wrapper_test : public ::testing::Test {
protected:
  void SetUp() override {
    tool_prefixes = plain_prefix_list{};
    path_prefixes = plain_prefix_list{};
    char pattern[] = "/tmp/quarn-wrapper-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
  }
  void TearDown() override { std::filesystem::remove_all(dir); }
  std::string make_file(const std::string &name, mode_t mode) {
    std::string path = dir + "/" + name;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path) << "x";
    chmod(path.c_str(), mode);
    return path;
  }
  std::string dir;
};

TEST_F(archive_wrapper_test, prefixes_from_text_make_directories) {
  struct {
    const char *text;
    std::vector<std::string> expected;
    size_t longest;
  } cases[] = {
      {"/a:/bb/", {"/a/", "/bb/"}, 4},
      {"", {"./"}, 2},
      {":", {"./", "./"}, 2},
      {"/a::/b:", {"/a/", "./", "/b/", "./"}, 3},
      {"rel", {"rel/"}, 4},
  };
  for (const auto &c : cases) {
    plain_prefix_list list;
    prefixes_from_text(c.text, &list);
    EXPECT_EQ(entries(list), c.expected) << c.text;
    EXPECT_EQ(list.longest, c.longest) << c.text;
  }
}

TEST_F(archive_wrapper_test, file_found_in_list_order_skipping_unusable_entries) {
  make_file("first/ar", 0644);         // not executable
  make_file("second/ar/keep", 0644);   // a directory named ar
  std::string wanted = make_file("third/ar", 0755);
  make_file("fourth/ar", 0755);
  plain_prefix_list list;
  for (const char *sub : {"/missing/", "/first/", "/second/", "/third/", "/fourth/"})
    append_prefix(&list, (dir + sub).c_str());
  char *found = find_file_in(&list, "ar", X_OK);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), wanted);
  free(found);
  // For reading, the plain file comes first.
  found = find_file_in(&list, "ar", R_OK);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), dir + "/first/ar");
  free(found);
  EXPECT_EQ(find_file_in(&list, "nm", X_OK), nullptr);
  EXPECT_EQ(find_file_in(&tool_prefixes, "ar", X_OK), nullptr);
}

TEST_F(archive_wrapper_test, absolute_name_tested_as_written) {
  std::string tool = make_file("abs/ar", 0755);
  plain_prefix_list list;
  append_prefix(&list, "/nonexistent/");
  char *found = find_file_in(&list, tool.c_str(), X_OK);
  ASSERT_NE(found, nullptr);
  EXPECT_EQ(std::string(found), tool);
  free(found);
  EXPECT_EQ(find_file_in(&list, (dir + "/abs/nm").c_str(), R_OK), nullptr);
}

TEST_F(archive_wrapper_test, first_directory_option_taken_out) {
  struct {
    std::vector<std::string> argv;
    std::vector<std::string> left;
    const char *prefix;  // none: no -B taken
  } cases[] = {
      {{"quarn-ar", "-B", "/d", "rcs"}, {"quarn-ar", "rcs"}, "/d/"},
      {{"quarn-ar", "rcs", "-B/d/", "a.a"}, {"quarn-ar", "rcs", "a.a"}, "/d/"},
      {{"quarn-ar", "-Bx", "t"}, {"quarn-ar", "t"}, "x/"},
      {{"quarn-ar", "-B", "", "t"}, {"quarn-ar", "t"}, ""},
      {{"quarn-ar", "-B/d", "-B/e", "t"}, {"quarn-ar", "-B/e", "t"}, "/d/"},
      {{"quarn-ar", "t", "-b"}, {"quarn-ar", "t", "-b"}, nullptr},
  };
  for (const auto &c : cases) {
    tool_prefixes = plain_prefix_list{};
    path_prefixes = plain_prefix_list{};
    append_prefix(&tool_prefixes, "/tools/");
    append_prefix(&path_prefixes, "/path/");
    std::vector<std::string> words = c.argv;
    std::vector<char *> argv;
    for (std::string &word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(words.size());
    take_directory_option(&argc, argv.data());
    EXPECT_EQ(std::vector<std::string>(argv.data(), argv.data() + argc), c.left);
    EXPECT_EQ(argv[argc], nullptr);
    if (c.prefix) {
      EXPECT_EQ(entries(tool_prefixes), (std::vector<std::string>{c.prefix, "/tools/"}));
      EXPECT_EQ(entries(path_prefixes), (std::vector<std::string>{c.prefix, "/path/"}));
    } else {
      EXPECT_EQ(entries(tool_prefixes), std::vector<std::string>{"/tools/"});
    }
  }
}

TEST_F(archive_wrapper_test, directory_option_without_directory_is_a_usage_error) {
  char name[] = "quarn-ar", t[] = "t", b[] = "-B";
  char *argv[] = {name, t, b, nullptr};
  int argc = 3;
  EXPECT_EXIT(take_directory_option(&argc, argv), ::testing::ExitedWithCode(1),
              "^Usage: quarn-ar \\[-B prefix\\] ar arguments \\.\\.\\.\n$");
}

TEST_F(archive_wrapper_test, key_letters_become_an_option) {
  struct {
    std::vector<std::string> argv;
    std::vector<std::string> expected;
  } cases[] = {
      {{"quarn-ar", "rcs", "lib.a", "x.o"}, {"/t/ar", "--plugin", "/p.so", "-rcs", "lib.a", "x.o"}},
      {{"quarn-ar", "-t", "lib.a"}, {"/t/ar", "--plugin", "/p.so", "-t", "lib.a"}},
      {{"quarn-ar", "", "x"}, {"/t/ar", "--plugin", "/p.so", "-", "x"}},
      {{"quarn-ar", "t", "u"}, {"/t/ar", "--plugin", "/p.so", "-t", "u"}},
      {{"quarn-ar"}, {"/t/ar", "--plugin", "/p.so"}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> words = c.argv;
    std::vector<char *> argv;
    for (std::string &word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    char **args = tool_arguments("/t/ar", "/p.so", static_cast<int>(words.size()), argv.data());
    std::vector<std::string> got;
    for (char **arg = args; *arg; ++arg)
      got.push_back(*arg);
    EXPECT_EQ(got, c.expected);
  }
}

TEST_F(archive_wrapper_test, exit_status_and_messages) {
  struct {
    const char *failure;
    int status;
    int exit_status;
    const char *message;
  } cases[] = {
      {nullptr, 0, 0, ""},
      {nullptr, 2 << 8, 2, ""},
      {nullptr, 255 << 8, 255, ""},
      {nullptr, 9, 1, "/t/ar terminated with signal 9 [Killed]\n"},
      {nullptr, 11 | 0x80, 1, "/t/ar terminated with signal 11 [Segmentation fault], core dumped\n"},
      {nullptr, (19 << 8) | 0x7f, 1, ""},  // stopped
      {nullptr, 0x13, 1, ""},              // continued
      {"execvp", 0, 1, "Error running /t/ar: execvp\n"},
  };
  for (const auto &c : cases) {
    testing::internal::CaptureStderr();
    EXPECT_EQ(report_tool_status("/t/ar", c.failure, c.status), c.exit_status) << c.status;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), c.message) << c.status;
  }
}

} // namespace
