// Prefix walks and the lookups built on them: candidate order with and without
// multilib directories, file and program lookup, directory lists.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "path_fixtures.h"
#include "support/file_lookup.h"

namespace {

const std::string vds = "aarch64-rivet-freebsd13.4/12.3.0/";
const std::string tds = "aarch64-rivet-freebsd13.4/";

struct entry_spec {
  const char *prefix;
  int suffix_mode;
  int use_os_dir;
};

void fill(search_path_list *list, const std::vector<entry_spec> &entries) {
  for (const entry_spec &e : entries)
    insert_prefix(list, e.prefix, nullptr, PRIO_STANDARD, e.suffix_mode, e.use_os_dir);
}

void *record_candidate(char *candidate, void *data) {
  static_cast<std::vector<std::string> *>(data)->push_back(candidate);
  return nullptr;
}

std::vector<std::string> walk_all(const search_path_list &list, bool with_multilib) {
  std::vector<std::string> seen;
  EXPECT_EQ(walk_prefixes(&list, with_multilib, 0, record_candidate, &seen), nullptr);
  return seen;
}

std::string owned(char *text) {
  std::string out = text ? text : "(none)";
  free(text);
  return out;
}

// Each test starts with no multilib selected and empty process lists.
class file_lookup_test : public ::testing::Test {
protected:
  void SetUp() override { reset(); }
  void TearDown() override { reset(); }
  static void reset() {
    selected_multilib = multilib_dirs{};
    clear_prefix_list(&program_prefixes);
  }
};

TEST_F(file_lookup_test, walk_order_without_multilib) {
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/b/", 1, 0}, {"/c/", 2, 0}, {"/d/", 0, 1}, {"./", 0, 0}});
  EXPECT_EQ(walk_all(list, true),
            (std::vector<std::string>{"/a/" + vds, "/a/", "/b/" + vds, "/c/" + vds, "/c/" + tds,
                                      "/d/" + vds, "/d/", "./" + vds, "./"}));
}

TEST_F(file_lookup_test, multiarch_directory_is_tried_whatever_the_flag) {
  selected_multilib.multiarch_subdir = "arch";
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/b/", 1, 0}});
  const std::vector<std::string> want = {"/a/" + vds, "/a/arch/", "/a/", "/b/" + vds};
  EXPECT_EQ(walk_all(list, false), want);
  EXPECT_EQ(walk_all(list, true), want);
}

TEST_F(file_lookup_test, multilib_directory_then_a_plain_second_pass) {
  selected_multilib.multilib_subdir = "m";
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/d/", 0, 1}, {"/c/", 2, 0}});
  EXPECT_EQ(walk_all(list, true),
            (std::vector<std::string>{"/a/" + vds + "m/", "/a/m/", "/d/" + vds + "m/", "/d/",
                                      "/c/" + vds + "m/", "/c/" + tds + "m/",
                                      // second pass: plain suffixes, OS-directory entries skipped
                                      "/a/" + vds, "/a/", "/d/" + vds, "/c/" + vds, "/c/" + tds}));
  // Without the flag the multilib directory plays no part.
  EXPECT_EQ(walk_all(list, false), (std::vector<std::string>{"/a/" + vds, "/a/", "/d/" + vds, "/d/",
                                                             "/c/" + vds, "/c/" + tds}));
}

TEST_F(file_lookup_test, os_directory_alone_skips_the_machine_suffixes_second_time) {
  selected_multilib.multilib_os_subdir = "../lib64";
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/d/", 0, 1}});
  EXPECT_EQ(walk_all(list, true),
            (std::vector<std::string>{"/a/" + vds, "/a/", "/d/" + vds, "/d/../lib64/",
                                      // second pass: skip_dir set, only OS entries, bare
                                      "/d/"}));
}

TEST_F(file_lookup_test, both_multilib_directories) {
  selected_multilib.multilib_subdir = "m";
  selected_multilib.multilib_os_subdir = "o";
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/d/", 0, 1}});
  EXPECT_EQ(walk_all(list, true),
            (std::vector<std::string>{"/a/" + vds + "m/", "/a/m/", "/d/" + vds + "m/", "/d/o/",
                                      "/a/" + vds, "/a/", "/d/" + vds, "/d/"}));
}

TEST_F(file_lookup_test, dot_directories_count_as_not_selected) {
  selected_multilib.multilib_subdir = ".";
  selected_multilib.multilib_os_subdir = ".";
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/d/", 0, 1}});
  EXPECT_EQ(walk_all(list, true),
            (std::vector<std::string>{"/a/" + vds, "/a/", "/d/" + vds, "/d/"}));
}

struct stop_at {
  std::string wanted;
  int calls = 0;
  const char *other = nullptr;
};

// Appends a name in the space the walk reserved, and stops at the wanted one.
void *stop_at_candidate(char *candidate, void *data) {
  auto *stop = static_cast<stop_at *>(data);
  stop->calls++;
  strcat(candidate, "file.name");
  if (stop->wanted != candidate)
    return nullptr;
  return stop->other ? const_cast<char *>(stop->other) : candidate;
}

TEST_F(file_lookup_test, visitor_result_ends_the_walk) {
  test_prefix_list list;
  fill(&list, {{"/a/", 0, 0}, {"/a-much-longer-prefix/", 0, 0}, {"/c/", 0, 0}});
  stop_at stop;
  stop.wanted = "/a-much-longer-prefix/file.name";
  char *found = static_cast<char *>(walk_prefixes(&list, false, 9, stop_at_candidate, &stop));
  EXPECT_EQ(owned(found), "/a-much-longer-prefix/file.name");
  EXPECT_EQ(stop.calls, 4);

  static const char marker[] = "marker";
  stop_at other;
  other.wanted = "/c/file.name";
  other.other = marker;
  EXPECT_EQ(walk_prefixes(&list, false, 9, stop_at_candidate, &other), marker);
}

TEST_F(file_lookup_test, empty_list_walks_nothing) {
  test_prefix_list list;
  EXPECT_TRUE(walk_all(list, true).empty());
  EXPECT_EQ(owned(search_list_text(&list, "LIBRARY_PATH", false, true)), "LIBRARY_PATH=");
}

class file_lookup_files : public file_lookup_test {
protected:
  void SetUp() override {
    file_lookup_test::SetUp();
    first = dir.make_dir("first") + "/";
    second = dir.make_dir("second") + "/";
    dir.make_file("second/tool", "#!/bin/sh\n", 0755);
    dir.make_file("first/" + vds + "tool", "#!/bin/sh\n", 0755);
    dir.make_file("first/data.txt", "x");
    dir.make_file("second/data.txt", "x");
    dir.make_dir("first/onlydir");
    dir.make_file("second/onlydir", "#!/bin/sh\n", 0755);
    dir.make_file("second/plain", "not a program");
    insert_prefix(&list, first.c_str(), nullptr, PRIO_STANDARD, 0, 0);
    insert_prefix(&list, second.c_str(), nullptr, PRIO_STANDARD, 0, 0);
  }
  scratch_dir dir;
  std::string first, second;
  test_prefix_list list;
};

TEST_F(file_lookup_files, lookups_follow_the_walk_and_the_access_mode) {
  struct row {
    const char *name;
    int mode;
    std::string want;
  };
  const row rows[] = {
      {"tool", LOOKUP_EXECUTE, first + vds + "tool"},
      {"data.txt", LOOKUP_READ, first + "data.txt"},
      // A directory is no program, but it can be read.
      {"onlydir", LOOKUP_EXECUTE, second + "onlydir"},
      {"onlydir", LOOKUP_READ, first + "onlydir"},
      {"missing", LOOKUP_READ, "(none)"},
  };
  for (const row &r : rows)
    EXPECT_EQ(owned(find_in_prefixes(&list, r.name, r.mode, true)), r.want) << r.name;
  // No execute bit at all: refused even to root.
  EXPECT_EQ(owned(find_in_prefixes(&list, "plain", LOOKUP_EXECUTE, false)), "(none)");
}

TEST_F(file_lookup_files, absolute_name_is_tested_only_as_written) {
  std::string there = second + "data.txt";
  EXPECT_EQ(owned(find_in_prefixes(&list, there.c_str(), LOOKUP_READ, true)), there);
  test_prefix_list empty;
  EXPECT_EQ(owned(find_in_prefixes(&empty, there.c_str(), LOOKUP_READ, true)), there);
  std::string absent = dir.path("nowhere/data.txt");
  EXPECT_EQ(owned(find_in_prefixes(&list, absent.c_str(), LOOKUP_READ, true)), "(none)");
  // "/data.txt" is not searched for along the list.
  if (access("/data.txt", F_OK) != 0)
    EXPECT_EQ(owned(find_in_prefixes(&list, "/data.txt", LOOKUP_READ, true)), "(none)");
}

TEST_F(file_lookup_files, programs_come_from_the_program_list) {
  insert_prefix(&program_prefixes, second.c_str(), nullptr, PRIO_STANDARD, 0, 0);
  EXPECT_EQ(owned(find_program("tool")), second + "tool");
  insert_prefix(&program_prefixes, first.c_str(), nullptr, PRIO_OPTION, 0, 0);
  EXPECT_EQ(owned(find_program("tool")), first + vds + "tool");
  EXPECT_EQ(owned(find_program("missing")), "(none)");
}

TEST_F(file_lookup_files, system_assembler_and_linker_win_over_the_prefixes) {
  dir.make_file("first/as", "#!/bin/sh\n", 0755);
  dir.make_file("first/ld", "#!/bin/sh\n", 0755);
  insert_prefix(&program_prefixes, first.c_str(), nullptr, PRIO_OPTION, 0, 0);
  for (const char *name : {"as", "ld"}) {
    std::string system = std::string("/usr/local/bin/") + name;
    std::string want = access(system.c_str(), X_OK) == 0 ? system : first + name;
    EXPECT_EQ(owned(find_program(name)), want) << name;
  }
  // Only the exact names are special.
  dir.make_file("first/ast", "#!/bin/sh\n", 0755);
  EXPECT_EQ(owned(find_program("ast")), first + "ast");
}

TEST_F(file_lookup_files, directory_test) {
  std::string link = dir.path("link-to-first");
  ASSERT_EQ(symlink(first.c_str(), link.c_str()), 0);
  struct row {
    std::string path;
    bool for_linker;
    bool want;
  };
  const row rows[] = {
      {first, false, true},
      {first.substr(0, first.size() - 1), true, true},
      {link, false, true},
      {link + "/", true, true},
      {second + "data.txt", false, false},
      {dir.path("missing/"), false, false},
      // The linker searches these itself.
      {"/usr/lib/", true, false},
      {"/usr/lib", true, false},
      {"/lib/", true, false},
      {"/lib", true, false},
  };
  for (const row &r : rows)
    EXPECT_EQ(is_usable_dir(r.path.c_str(), r.for_linker), r.want) << r.path;
  if (access("/usr/lib/.", F_OK) == 0)
    EXPECT_TRUE(is_usable_dir("/usr/lib/", false));
}

// While the memo is in force a directory found missing stays missing, also to
// is_usable_dir, and a nested expansion keeps what the outer one learnt; out of
// force (and back) the file system is asked again.
TEST_F(file_lookup_files, memo_remembers_missing_directories_while_in_force) {
  test_prefix_list late_first;
  std::string late = dir.path("late") + "/";
  insert_prefix(&late_first, late.c_str(), nullptr, PRIO_STANDARD, 0, 0);
  insert_prefix(&late_first, second.c_str(), nullptr, PRIO_STANDARD, 0, 0);
  auto lookup = [&] { return owned(find_in_prefixes(&late_first, "data.txt", LOOKUP_READ, false)); };

  EXPECT_FALSE(set_lookup_memo(true));
  EXPECT_EQ(lookup(), second + "data.txt");
  dir.make_file("late/data.txt", "x");
  EXPECT_EQ(lookup(), second + "data.txt");
  EXPECT_FALSE(is_usable_dir(late.c_str(), false));
  EXPECT_TRUE(set_lookup_memo(true));
  EXPECT_EQ(lookup(), second + "data.txt");
  EXPECT_TRUE(set_lookup_memo(true));
  EXPECT_TRUE(set_lookup_memo(false));
  EXPECT_EQ(lookup(), late + "data.txt");
  EXPECT_TRUE(is_usable_dir(late.c_str(), false));
  EXPECT_FALSE(set_lookup_memo(true));
  EXPECT_EQ(lookup(), late + "data.txt");
  set_lookup_memo(false);
}

TEST_F(file_lookup_files, list_text_of_every_candidate_or_existing_directories) {
  dir.make_dir("second/" + vds);
  EXPECT_EQ(owned(search_list_text(&list, "", false, false)),
            "=" + first + vds + ":" + first + ":" + second + vds + ":" + second);
  EXPECT_EQ(owned(search_list_text(&list, "COMPILER_PATH", true, false)),
            "COMPILER_PATH=" + first + vds + ":" + first + ":" + second + vds + ":" + second);
  std::filesystem::remove_all(first + vds);
  EXPECT_EQ(owned(search_list_text(&list, "COMPILER_PATH", true, false)),
            "COMPILER_PATH=" + first + ":" + second + vds + ":" + second);
}

} // namespace
