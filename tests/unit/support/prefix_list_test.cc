// Prefix lists: insertion order by priority, re-rooting at the component
// variables, folding of steps through missing directories.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "path_fixtures.h"
#include "support/prefix_list.h"

namespace {

std::vector<std::string> prefixes_of(const search_path_list &list) {
  std::vector<std::string> out;
  for (const search_path_entry *e = list.first_entry; e; e = e->next)
    out.push_back(e->prefix);
  return out;
}

std::string translated(const std::string &path, const char *key) {
  char *text = translate_prefix(path.c_str(), key);
  std::string out = text;
  free(text);
  return out;
}

std::string expanded(const char *text) {
  char *out = expand_root_key(strdup(text));
  std::string result = out;
  free(out);
  return result;
}

// Every test starts from the configured root and no target root.
class prefix_list_test : public ::testing::Test {
protected:
  void SetUp() override {
    saved_root_ = install_root;
    install_root = "/usr/local/pell12";
    target_root = nullptr;
    target_root_suffix = nullptr;
  }
  void TearDown() override {
    install_root = saved_root_;
    target_root = nullptr;
    target_root_suffix = nullptr;
  }
  scoped_env no_quarn_root_{"QUARN_ROOT", nullptr};
  scoped_env no_shale_root_{"SHALE_ROOT", nullptr};

private:
  const char *saved_root_ = nullptr;
};

TEST_F(prefix_list_test, option_prefixes_precede_standard_ones_in_given_order) {
  struct step {
    const char *prefix;
    int priority;
  };
  // COMPILER_PATH-style entries come first, -B ones arrive later and still lead.
  const step steps[] = {
      {"/neg/", -1},         {"./", PRIO_STANDARD},     {"x/", PRIO_STANDARD},
      {"/b1/", PRIO_OPTION}, {"/std/", PRIO_STANDARD},  {"/b2/", PRIO_OPTION},
      {"/late/", 7},         {"/std2/", PRIO_STANDARD}, {"/early/", -1},
  };
  test_prefix_list list;
  for (const step &s : steps)
    insert_prefix(&list, s.prefix, nullptr, s.priority, 0, 0);
  EXPECT_EQ(prefixes_of(list), (std::vector<std::string>{"/neg/", "/early/", "/b1/", "/b2/", "./",
                                                         "x/", "/std/", "/std2/", "/late/"}));
  EXPECT_EQ(list.longest_prefix, 7); // "/early/"
}

TEST_F(prefix_list_test, entry_keeps_its_modes_and_a_copy_of_the_text) {
  test_prefix_list list;
  std::string prefix = "/some/dir/";
  insert_prefix(&list, prefix.c_str(), nullptr, PRIO_STANDARD, 2, 1);
  prefix[1] = 'X';
  ASSERT_NE(list.first_entry, nullptr);
  EXPECT_STREQ(list.first_entry->prefix, "/some/dir/");
  EXPECT_EQ(list.first_entry->suffix_mode, 2);
  EXPECT_EQ(list.first_entry->use_os_dir, 1);
  EXPECT_EQ(list.first_entry->priority, PRIO_STANDARD);
}

TEST_F(prefix_list_test, longest_prefix_is_measured_after_translation) {
  scoped_env root("QUARN_ROOT", "/a/much/longer/replacement/root");
  test_prefix_list list;
  insert_prefix(&list, "/usr/local/pell12/libexec/quarn/", "QUARN", PRIO_STANDARD, 1, 0);
  EXPECT_STREQ(list.first_entry->prefix, "/a/much/longer/replacement/root/libexec/quarn/");
  EXPECT_EQ(list.longest_prefix, static_cast<int>(strlen(list.first_entry->prefix)));
}

TEST_F(prefix_list_test, component_variables_reroot_keyed_prefixes_only) {
  scratch_dir dir;
  std::string quarn = dir.make_dir("q");
  std::string shale = dir.make_dir("s");
  scoped_env q("QUARN_ROOT", quarn.c_str());
  scoped_env s("SHALE_ROOT", shale.c_str());
  struct row {
    const char *path;
    const char *key;
    std::string want;
  };
  const row rows[] = {
      {"/usr/local/pell12/libexec/quarn/", "QUARN", quarn + "/libexec/quarn/"},
      {"/usr/local/pell12/lib/quarn/", "SHALE", shale + "/lib/quarn/"},
      {"/usr/local/pell12", "QUARN", quarn},
      // Keyless entries (-B, environment lists) are never re-rooted.
      {"/usr/local/pell12/libexec/quarn/", nullptr, "/usr/local/pell12/libexec/quarn/"},
      // Only a whole leading component matches the root.
      {"/usr/local/pell12x/lib/", "QUARN", "/usr/local/pell12x/lib/"},
      {"/opt/other/", "SHALE", "/opt/other/"},
  };
  for (const row &r : rows)
    EXPECT_EQ(translated(r.path, r.key), r.want) << r.path;
}

TEST_F(prefix_list_test, unset_component_variable_uses_the_install_root) {
  EXPECT_EQ(translated("/usr/local/pell12/libexec/quarn/", "QUARN"),
            "/usr/local/pell12/libexec/quarn/");
  set_install_root("/opt/moved/lib/quarn/", 10);
  EXPECT_STREQ(install_root, "/opt/moved");
  EXPECT_EQ(translated("/opt/moved/lib/", "SHALE"), "/opt/moved/lib/");
  scoped_env s("SHALE_ROOT", "/r");
  EXPECT_EQ(translated("/opt/moved/lib/", "SHALE"), "/r/lib/");
  EXPECT_EQ(translated("/usr/local/pell12/lib/", "SHALE"), "/usr/local/pell12/lib/");
  free(const_cast<char *>(install_root));
}

TEST_F(prefix_list_test, root_keys_expand_through_at_and_dollar_values) {
  scoped_env home("QUARN_TEST_HOME", "/home/q");
  scoped_env unset("QUARN_TEST_UNSET", nullptr);
  struct row {
    const char *quarn_root;
    const char *shale_root;
    const char *text;
    const char *want;
  };
  const row rows[] = {
      {"/r", nullptr, "@QUARN/x/", "/r/x/"},
      {"/r", nullptr, "@QUARN", "/r"},
      {nullptr, nullptr, "@QUARN/x/", "/usr/local/pell12/x/"},
      {"@SHALE/q", "/s", "@QUARN/x/", "/s/q/x/"},
      {"$QUARN_TEST_HOME/sub", nullptr, "@QUARN/x/", "/home/q/sub/x/"},
      {"$QUARN_TEST_UNSET/sub", nullptr, "@QUARN/x/", "/usr/local/pell12/sub/x/"},
      {nullptr, nullptr, "/plain/", "/plain/"},
      // A value leading back to a key already expanded ends at the install root.
      {"@QUARN", nullptr, "@QUARN/x/", "/usr/local/pell12/x/"},
      {"@QUARN/deeper", nullptr, "@QUARN/x/", "/usr/local/pell12/deeper/x/"},
      {"@SHALE", "@QUARN", "@QUARN/x/", "/usr/local/pell12/x/"},
      {"@SHALE", "@SHALE/y", "@QUARN/x/", "/usr/local/pell12/y/x/"},
  };
  for (const row &r : rows) {
    scoped_env q("QUARN_ROOT", r.quarn_root);
    scoped_env s("SHALE_ROOT", r.shale_root);
    EXPECT_EQ(expanded(r.text), r.want)
        << r.text << " with QUARN_ROOT=" << (r.quarn_root ? r.quarn_root : "(unset)");
  }
}

TEST_F(prefix_list_test, dollar_variable_naming_itself_ends) {
  scoped_env loop("QUARN_TEST_LOOP", "$QUARN_TEST_LOOP/more");
  scoped_env q("QUARN_ROOT", "$QUARN_TEST_LOOP");
  EXPECT_EQ(expanded("@QUARN/x/"), "/usr/local/pell12/more/x/");
}

TEST_F(prefix_list_test, steps_through_missing_directories_are_folded) {
  scratch_dir dir;
  dir.make_dir("real/sub");
  const std::string r = dir.root();
  struct row {
    std::string path;
    std::string want;
  };
  const row rows[] = {
      {r + "/missing/../lib/", r + "/lib/"},
      {r + "/m1/m2/../../lib/", r + "/lib/"},
      {r + "/missing/..//lib/", r + "/lib/"},
      {r + "/missing//../lib/", r + "/lib/"},
      // An existing directory keeps the whole text literal from there on.
      {r + "/real/../lib/", r + "/real/../lib/"},
      {r + "/real/sub/../missing/../x/", r + "/real/sub/../missing/../x/"},
      {r + "/real/missing/../../x/", r + "/real/../x/"},
      // "." and ".." cannot be cancelled: the component before them is.
      {r + "/missing/./../lib/", r + "/lib/"},
      // A hidden directory is an ordinary component.
      {r + "/real/.hidden/../lib/", r + "/real/lib/"},
      {"/../x/", "/../x/"},
      {"./", "./"},
      {"../x/", "../x/"},
      {"quarn-no-such-dir/../y/", "y/"},
      {"quarn-no-such-dir/./../y/", "y/"},
      {"", ""},
  };
  for (const row &w : rows)
    EXPECT_EQ(translated(w.path, nullptr), w.want) << w.path;
}

TEST_F(prefix_list_test, tool_directory_folds_step_by_step) {
  scratch_dir dir;
  scoped_env s("SHALE_ROOT", dir.root().c_str());
  const std::string tool =
      "/usr/local/pell12/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/../../../../"
      "aarch64-rivet-freebsd13.4/bin/";
  const std::string r = dir.root();
  // Nothing exists: folded all the way to the root.
  EXPECT_EQ(translated(tool, "SHALE"), r + "/aarch64-rivet-freebsd13.4/bin/");
  dir.make_dir("lib/quarn");
  EXPECT_EQ(translated(tool, "SHALE"), r + "/lib/quarn/../../aarch64-rivet-freebsd13.4/bin/");
  dir.make_dir("lib/quarn/aarch64-rivet-freebsd13.4/12.3.0");
  EXPECT_EQ(translated(tool, "SHALE"),
            r + "/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/../../../../"
                "aarch64-rivet-freebsd13.4/bin/");
}

TEST_F(prefix_list_test, rooted_prefix_follows_the_target_root) {
  scoped_env q("QUARN_ROOT", "/q");
  scoped_env s("SHALE_ROOT", "/s");
  struct row {
    const char *root;
    const char *suffix;
    const char *want;
  };
  const row rows[] = {
      {nullptr, nullptr, "/usr/lib/"},
      {"/sys/root/", nullptr, "/sys/root/usr/lib/"},
      {"/sys/root", nullptr, "/sys/root/usr/lib/"},
      {"/sys/root//", nullptr, "/sys/root//usr/lib/"},
      {"/sys/root/", "/ilp32", "/sys/root/ilp32/usr/lib/"},
      // Under the install root the key becomes "QUARN", whatever was passed.
      {"/usr/local/pell12/sr/", nullptr, "/q/sr/usr/lib/"},
  };
  for (const row &w : rows) {
    target_root = w.root;
    target_root_suffix = w.suffix;
    test_prefix_list list;
    insert_rooted_prefix(&list, "/usr/lib/", "SHALE", PRIO_STANDARD, 0, 1);
    EXPECT_EQ(prefixes_of(list), std::vector<std::string>{w.want}) << (w.root ? w.root : "none");
    EXPECT_EQ(list.first_entry->use_os_dir, 1);
  }
  // Without a target root the passed key still re-roots.
  target_root = nullptr;
  test_prefix_list list;
  insert_rooted_prefix(&list, "/usr/local/pell12/lib/", "SHALE", PRIO_STANDARD, 0, 1);
  EXPECT_EQ(prefixes_of(list), std::vector<std::string>{"/s/lib/"});
}

TEST_F(prefix_list_test, relative_system_path_is_fatal) {
  test_prefix_list list;
  EXPECT_EXIT(insert_rooted_prefix(&list, "usr/lib/", "SHALE", PRIO_STANDARD, 0, 1),
              ::testing::ExitedWithCode(1), "system path .*usr/lib/.* is not absolute");
}

TEST_F(prefix_list_test, process_lists_carry_their_labels) {
  EXPECT_STREQ(program_prefixes.label, "exec");
  EXPECT_STREQ(library_prefixes.label, "startfile");
  EXPECT_STREQ(header_prefixes.label, "include");
}

} // namespace
