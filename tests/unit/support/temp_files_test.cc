// Temporary files: the directory choice, unique names, the two deletion lists,
// the exit cleanup and the signal handler.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "path_fixtures.h"
#include "diagnostics/diagnostic.h"
#include "support/execute.h"
#include "support/temp_files.h"

namespace {

bool exists(const std::string &path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> list_names(temp_file_entry *list) {
  std::vector<std::string> names;
  for (temp_file_entry *entry = list; entry; entry = entry->next)
    names.push_back(entry->name);
  return names;
}

// The lists are process-wide: every test starts and ends with them empty.
class temp_files_test : public ::testing::Test {
protected:
  void SetUp() override { empty_lists(); }
  void TearDown() override {
    empty_lists();
    exec_state = execute_state{};
  }
  static void empty_lists() {
    always_delete_list.store(nullptr);
    failure_delete_list.store(nullptr);
  }
  scratch_dir dir;
};

// temp_dir is fixed for the life of a process, so each choice is made in a
// child process; the chosen directory comes back through a pipe.
std::string temp_dir_in_child(const char *tmpdir, const char *tmp, const char *temp) {
  int fds[2];
  EXPECT_EQ(pipe(fds), 0);
  pid_t child = fork();
  if (child == 0) {
    close(fds[0]);
    const char *values[] = {tmpdir, tmp, temp};
    const char *names[] = {"TMPDIR", "TMP", "TEMP"};
    for (int i = 0; i < 3; ++i) {
      if (values[i])
        setenv(names[i], values[i], 1);
      else
        unsetenv(names[i]);
    }
    char *name = make_temp_name(".s");
    std::string text = std::string(temp_dir()) + "\n" + name;
    unlink(name);
    ssize_t written = write(fds[1], text.data(), text.size());
    _exit(written == static_cast<ssize_t>(text.size()) ? 0 : 1);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  ssize_t got;
  while ((got = read(fds[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, got);
  close(fds[0]);
  int status;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  return text;
}

TEST_F(temp_files_test, directory_choice_falls_back_in_order) {
  std::string d1 = dir.make_dir("one"), d2 = dir.make_dir("two");
  std::string missing = dir.path("missing");
  std::string file = dir.make_file("plain");
  std::string d1_slash = d1 + "/";
  struct {
    const char *tmpdir, *tmp, *temp;
    std::string expected;
  } cases[] = {
      {d1.c_str(), d2.c_str(), nullptr, d1 + "/"},
      {missing.c_str(), nullptr, d2.c_str(), d2 + "/"},
      {missing.c_str(), d1.c_str(), d2.c_str(), d1 + "/"},
      {file.c_str(), nullptr, d2.c_str(), d2 + "/"},
      {"", nullptr, d1.c_str(), d1 + "/"},
      // A trailing '/' is doubled rather than checked for.
      {d1_slash.c_str(), nullptr, nullptr, d1 + "//"},
      {nullptr, nullptr, nullptr, "/tmp//"},
      {missing.c_str(), missing.c_str(), missing.c_str(), "/tmp//"},
  };
  for (const auto &c : cases) {
    std::string text = temp_dir_in_child(c.tmpdir, c.tmp, c.temp);
    size_t newline = text.find('\n');
    ASSERT_NE(newline, std::string::npos);
    EXPECT_EQ(text.substr(0, newline), c.expected);
    // The name: the directory, "cc", six unique characters and the suffix.
    std::string name = text.substr(newline + 1);
    EXPECT_EQ(name.rfind(c.expected + "cc", 0), 0u) << name;
    EXPECT_EQ(name.size(), c.expected.size() + 2 + 6 + 2) << name;
    EXPECT_EQ(name.substr(name.size() - 2), ".s");
  }
}

TEST_F(temp_files_test, made_names_are_new_empty_files) {
  char *first = make_temp_name(".o");
  char *second = make_temp_name(".o");
  EXPECT_STRNE(first, second);
  for (char *name : {first, second}) {
    struct stat st;
    ASSERT_EQ(stat(name, &st), 0) << name;
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, 0);
    unlink(name);
    free(name);
  }
}

TEST_F(temp_files_test, prefix_replaces_cc) {
  char *name = make_temp_name_with_prefix("xy", ".i");
  std::string text = name;
  unlink(name);
  free(name);
  std::string base = text.substr(strlen(temp_dir()));
  EXPECT_EQ(base.substr(0, 2), "xy");
  EXPECT_EQ(base.size(), 2u + 6 + 2);
}

TEST_F(temp_files_test, a_name_is_recorded_once_per_list) {
  note_temp_file("a.o", true, false);
  note_temp_file("a.o", true, false);
  note_temp_file("b.o", true, true);
  note_temp_file("b.o", false, true);
  note_temp_file("c.o", false, true);
  EXPECT_EQ(list_names(always_delete_list.load()), (std::vector<std::string>{"b.o", "a.o"}));
  EXPECT_EQ(list_names(failure_delete_list.load()), (std::vector<std::string>{"c.o", "b.o"}));
}

TEST_F(temp_files_test, recorded_names_are_copies) {
  char name[] = "copy.o";
  note_temp_file(name, true, true);
  name[0] = 'X';
  EXPECT_EQ(list_names(always_delete_list.load()), std::vector<std::string>{"copy.o"});
  EXPECT_EQ(list_names(failure_delete_list.load()), std::vector<std::string>{"copy.o"});
}

TEST_F(temp_files_test, removal_deletes_plain_files_only) {
  std::string plain = dir.make_file("plain.o", "x");
  std::string now_dir = dir.make_dir("now-a-dir.o");
  std::string missing = dir.path("missing.o");
  std::string failure_only = dir.make_file("failure.o", "x");
  for (const std::string &name : {plain, now_dir, missing})
    note_temp_file(name.c_str(), true, false);
  note_temp_file(failure_only.c_str(), false, true);
  note_temp_file("/dev/null", true, false);

  exec_state.verbose = true;
  int errors = global_dc->kind_count[KIND_ERROR];
  testing::internal::CaptureStderr();
  remove_temp_files();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(global_dc->kind_count[KIND_ERROR], errors);

  EXPECT_FALSE(exists(plain));
  EXPECT_TRUE(exists(now_dir));
  EXPECT_TRUE(exists("/dev/null"));
  EXPECT_TRUE(exists(failure_only));
  EXPECT_EQ(always_delete_list.load(), nullptr);
}

TEST_F(temp_files_test, failure_files_removed_and_list_kept_until_forgotten) {
  std::string object = dir.make_file("x.o", "x");
  note_temp_file(object.c_str(), false, true);
  remove_failure_files();
  EXPECT_FALSE(exists(object));
  EXPECT_EQ(list_names(failure_delete_list.load()), std::vector<std::string>{object});
  forget_failure_files();
  EXPECT_EQ(failure_delete_list.load(), nullptr);

  // A successful compilation's output is forgotten, so it survives a later failure.
  std::string kept = dir.make_file("kept.o", "x");
  note_temp_file(kept.c_str(), false, true);
  forget_failure_files();
  remove_failure_files();
  EXPECT_TRUE(exists(kept));
}

// procfs refuses to unlink its files, even for root.
const char *const undeletable = "/proc/self/status";

TEST_F(temp_files_test, deletion_failure_reported_only_under_verbose) {
  struct stat st;
  ASSERT_EQ(stat(undeletable, &st), 0);
  ASSERT_TRUE(S_ISREG(st.st_mode));
  for (bool verbose : {false, true}) {
    exec_state.verbose = verbose;
    note_temp_file(undeletable, true, false);
    int errors = global_dc->kind_count[KIND_ERROR];
    testing::internal::CaptureStderr();
    remove_temp_files();
    std::string err = testing::internal::GetCapturedStderr();
    if (verbose) {
      EXPECT_NE(err.find(std::string(undeletable) + ": "), std::string::npos) << err;
      EXPECT_EQ(global_dc->kind_count[KIND_ERROR], errors + 1);
    } else {
      EXPECT_EQ(err, "");
      EXPECT_EQ(global_dc->kind_count[KIND_ERROR], errors);
    }
  }
}

// The exit cleanup is registered first thing, as the driver does. These run
// in a freshly started copy of the test program, so that no registration made
// by an earlier test interferes; it finds the parent's scratch directory in
// the environment.
class temp_files_exit_test : public ::testing::Test {
protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
  void TearDown() override {
    if (scratch)
      unsetenv(variable);
  }
  std::string path(const char *name) {
    if (!getenv(variable)) {
      scratch = std::make_unique<scratch_dir>();
      setenv(variable, scratch->root().c_str(), 1);
    }
    return std::string(getenv(variable)) + "/" + name;
  }
  static std::string make_file(const std::string &path) {
    FILE *file = fopen(path.c_str(), "w");
    EXPECT_NE(file, nullptr);
    fputs("half", file);
    fclose(file);
    return path;
  }
  static constexpr const char *variable = "QUARN_TEST_EXIT_DIR";
  std::unique_ptr<scratch_dir> scratch;
};

TEST_F(temp_files_exit_test, exit_cleanup_is_silent) {
  std::string object = make_file(path("a.o"));
  EXPECT_EXIT(
      {
        atexit(remove_temp_files);
        exec_state.verbose = true;
        note_temp_file(undeletable, true, false);
        note_temp_file(object.c_str(), true, false);
        exit(0);
      },
      ::testing::ExitedWithCode(0), "^$");
  EXPECT_FALSE(exists(object));
}

TEST_F(temp_files_exit_test, failure_files_removed_at_exit_only_after_fatal_error) {
  for (bool fatal : {false, true}) {
    std::string temp = make_file(path("t.s"));
    std::string output = make_file(path(fatal ? "fatal.o" : "plain.o"));
    EXPECT_EXIT(
        {
          atexit(remove_temp_files);
          note_temp_file(temp.c_str(), true, false);
          note_temp_file(output.c_str(), false, true);
          if (fatal)
            fatal_error(UNKNOWN_LOCATION, "something broke");
          exit(1);
        },
        ::testing::ExitedWithCode(1), "");
    EXPECT_FALSE(exists(temp));
    EXPECT_EQ(exists(output), !fatal);
  }
}

TEST_F(temp_files_exit_test, creation_failure_ends_the_process_with_the_message) {
  std::string gone = path("gone");
  mkdir(gone.c_str(), 0755);
  EXPECT_EXIT(
      {
        setenv("TMPDIR", gone.c_str(), 1);
        temp_dir();
        rmdir(gone.c_str());
        make_temp_name(".o");
      },
      ::testing::ExitedWithCode(1),
      "^Cannot create temporary file in " + gone + "/: No such file or directory\n$");
}

TEST_F(temp_files_test, signal_handler_cleans_up_and_dies_of_the_signal) {
  for (int signo : {SIGTERM, SIGINT, SIGHUP, SIGPIPE}) {
    std::string temp = dir.make_file("t.s", "x");
    std::string output = dir.make_file("out.o", "half");
    pid_t child = fork();
    if (child == 0) {
      note_temp_file(temp.c_str(), true, false);
      note_temp_file(output.c_str(), false, true);
      signal(signo, cleanup_signal_handler);
      raise(signo);
      _exit(99);
    }
    int status;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status)) << signo;
    EXPECT_EQ(WTERMSIG(status), signo);
    EXPECT_FALSE(exists(temp)) << signo;
    EXPECT_FALSE(exists(output)) << signo;
  }
}

} // namespace
