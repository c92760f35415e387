// Process pipelines: stages joined by pipes or files, output and error files,
// the synchronous exec-failure report, statuses, times and final reaping.
#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "common/child_process.h"
#include "path_fixtures.h"
#include "support/pipeline.h"

namespace {

// A null-terminated argv over literal words.
struct args {
  std::vector<std::string> words;
  std::vector<char *> pointers;
  args(std::initializer_list<const char *> list) : words(list.begin(), list.end()) {
    for (std::string &word : words)
      pointers.push_back(word.data());
    pointers.push_back(nullptr);
  }
  char *const *argv() const { return pointers.data(); }
  const char *program() const { return words[0].c_str(); }
};

const char *run(process_pipeline *pipeline, int flags, const args &command,
                const char *output = nullptr, const char *error = nullptr, int *err = nullptr) {
  int ignored;
  return pipeline_run(pipeline, flags, command.program(), command.argv(), output, error,
                      err ? err : &ignored);
}

// A hung pipeline fails the test run instead of stalling it.
class pipeline_test : public ::testing::Test {
protected:
  void SetUp() override {
    signal(SIGPIPE, SIG_DFL);
    alarm(60);
  }
  void TearDown() override { alarm(0); }
  scratch_dir dir;
};

TEST_F(pipeline_test, pipe_carries_output_and_next_stage_sees_end_of_file) {
  std::string out = dir.path("out");
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
  ASSERT_EQ(run(pipeline, 0, {"/bin/sh", "-c", "echo one; echo two"}), nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/cat"}, out.c_str()), nullptr);
  int statuses[2] = {-1, -1};
  ASSERT_TRUE(pipeline_statuses(pipeline, 2, statuses));
  pipeline_free(pipeline);
  EXPECT_EQ(statuses[0], 0);
  EXPECT_EQ(statuses[1], 0);
  EXPECT_EQ(read_file(out), "one\ntwo\n");
}

TEST_F(pipeline_test, writer_gets_broken_pipe_when_reader_quits) {
  // Only when no writer-side child holds the read end does the writer learn
  // that its reader is gone.
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
  ASSERT_EQ(run(pipeline, PEX_PATH_SEARCH, {"yes"}), nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/true"}), nullptr);
  int statuses[2];
  ASSERT_TRUE(pipeline_statuses(pipeline, 2, statuses));
  pipeline_free(pipeline);
  EXPECT_TRUE(WIFSIGNALED(statuses[0]));
  EXPECT_EQ(WTERMSIG(statuses[0]), SIGPIPE);
  EXPECT_EQ(statuses[1], 0);
}

std::vector<std::string> files_starting_with(const std::string &dir, const std::string &start) {
  std::vector<std::string> found;
  for (const auto &entry : std::filesystem::directory_iterator(dir))
    if (entry.path().filename().string().rfind(start, 0) == 0)
      found.push_back(entry.path());
  return found;
}

TEST_F(pipeline_test, stages_joined_by_a_file_that_is_removed_unless_kept) {
  struct {
    int flags;
    size_t files_left;
  } cases[] = {{0, 0}, {PEX_KEEP_TEMPS, 1}};
  for (const auto &c : cases) {
    scratch_dir work;
    std::string base = work.path("stage");
    std::string out = work.path("out");
    process_pipeline *pipeline = pipeline_create(c.flags, "test", base.c_str());
    ASSERT_EQ(run(pipeline, 0, {"/bin/sh", "-c", "echo through a file"}), nullptr);
    EXPECT_EQ(files_starting_with(work.root(), "stage").size(), 1u);
    // The second stage ends with its own status, which must still be reaped
    // although the first stage was waited for before it started.
    ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/sh", "-c", "cat; exit 3"}, out.c_str()), nullptr);
    int statuses[2] = {-1, -1};
    ASSERT_TRUE(pipeline_statuses(pipeline, 2, statuses));
    pipeline_free(pipeline);
    EXPECT_EQ(statuses[0], 0);
    EXPECT_TRUE(WIFEXITED(statuses[1]));
    EXPECT_EQ(WEXITSTATUS(statuses[1]), 3);
    EXPECT_EQ(read_file(out), "through a file\n");
    EXPECT_EQ(files_starting_with(work.root(), "stage").size(), c.files_left) << c.flags;
  }
}

TEST_F(pipeline_test, stage_file_named_by_suffix_after_the_base) {
  std::string base = dir.path("job");
  process_pipeline *pipeline = pipeline_create(PEX_KEEP_TEMPS, "test", base.c_str());
  ASSERT_EQ(run(pipeline, PEX_NAME_SUFFIX, {"/bin/sh", "-c", "echo x"}, ".i"), nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/cat"}, "/dev/null"), nullptr);
  pipeline_free(pipeline);
  EXPECT_EQ(read_file(base + ".i"), "x\n");
}

TEST_F(pipeline_test, free_without_statuses_reaps_and_terminates_children) {
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL | PEX_PATH_SEARCH, {"sleep", "300"}), nullptr);
  pid_t child = pipeline->children[0];
  pipeline_free(pipeline);
  // Reaped: the process id no longer exists, not even as a zombie.
  EXPECT_EQ(kill(child, 0), -1);
  EXPECT_EQ(errno, ESRCH);
}

TEST_F(pipeline_test, missing_program_fails_synchronously_without_a_child) {
  struct {
    int flags;
    const char *program;
    const char *message;
  } cases[] = {
      {PEX_FINAL, "/nonexistent/quarn-no-such-program", "execv"},
      {PEX_FINAL | PEX_PATH_SEARCH, "quarn-no-such-program", "execvp"},
  };
  for (const auto &c : cases) {
    process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
    int err = 0;
    const char *message = run(pipeline, c.flags, {c.program}, nullptr, nullptr, &err);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(err, ENOENT);
    EXPECT_EQ(pipeline->child_count, 0);
    pipeline_free(pipeline);
  }
}

TEST_F(pipeline_test, usage_errors) {
  std::string err_file = dir.path("err");
  struct {
    const char *name;
    int first_flags;       // -1: no first stage
    int second_flags;
    const char *error_name;
    const char *message;
  } cases[] = {
      {"error file and pipe", -1, PEX_FINAL | PEX_STDERR_TO_PIPE, err_file.c_str(),
       "both ERRNAME and PEX_STDERR_TO_PIPE specified."},
      {"error pipe not last", PEX_STDERR_TO_PIPE, PEX_FINAL, nullptr,
       "PEX_STDERR_TO_PIPE used in the middle of pipeline"},
      {"after the last stage", PEX_FINAL, PEX_FINAL, nullptr, "pipeline already complete"},
  };
  for (const auto &c : cases) {
    process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
    if (c.first_flags >= 0)
      ASSERT_EQ(run(pipeline, c.first_flags, {"/bin/true"}), nullptr) << c.name;
    int err = -1;
    const char *message = run(pipeline, c.second_flags, {"/bin/true"}, nullptr, c.error_name, &err);
    ASSERT_NE(message, nullptr) << c.name;
    EXPECT_STREQ(message, c.message) << c.name;
    EXPECT_EQ(err, 0) << c.name;
    EXPECT_EQ(pipeline->child_count, c.first_flags >= 0 ? 1 : 0) << c.name;
    pipeline_free(pipeline);
  }
}

TEST_F(pipeline_test, unopenable_files_are_reported_with_the_system_error) {
  std::string missing = dir.path("no/such/dir/file");
  struct {
    const char *output;
    const char *error;
    const char *message;
  } cases[] = {
      {missing.c_str(), nullptr, "open temporary output file"},
      {nullptr, missing.c_str(), "open error file"},
  };
  for (const auto &c : cases) {
    process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
    int err = 0;
    const char *message = run(pipeline, PEX_FINAL, {"/bin/true"}, c.output, c.error, &err);
    ASSERT_NE(message, nullptr);
    EXPECT_STREQ(message, c.message);
    EXPECT_EQ(err, ENOENT);
    pipeline_free(pipeline);
  }
}

TEST_F(pipeline_test, output_and_error_files_truncate_or_append) {
  struct {
    int flags;
    const char *out_after;
    const char *err_after;
  } cases[] = {
      {0, "new\n", "warn\n"},
      {PEX_OUT_APPEND, "old\nnew\n", "warn\n"},
      {PEX_ERR_APPEND, "new\n", "old\nwarn\n"},
      {PEX_OUT_APPEND | PEX_ERR_APPEND, "old\nnew\n", "old\nwarn\n"},
  };
  for (const auto &c : cases) {
    std::string out = dir.make_file("out", "old\n");
    std::string err = dir.make_file("err", "old\n");
    int status = -1, error_number = 0;
    const char *message =
        pipeline_run_one(PEX_FINAL | c.flags, "/bin/sh", args{"sh", "-c", "echo new; echo warn >&2"}.argv(),
                         "test", out.c_str(), err.c_str(), &status, &error_number);
    ASSERT_EQ(message, nullptr);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(read_file(out), c.out_after) << c.flags;
    EXPECT_EQ(read_file(err), c.err_after) << c.flags;
  }
}

TEST_F(pipeline_test, error_joins_output) {
  std::string out = dir.path("out");
  int status, err;
  ASSERT_EQ(pipeline_run_one(PEX_FINAL | PEX_ERR_TO_OUT, "/bin/sh",
                             args{"sh", "-c", "echo to-out; echo to-err >&2"}.argv(), "test",
                             out.c_str(), nullptr, &status, &err),
            nullptr);
  EXPECT_EQ(read_file(out), "to-out\nto-err\n");
}

TEST_F(pipeline_test, error_pipe_carries_standard_error) {
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL | PEX_STDERR_TO_PIPE, {"/bin/sh", "-c", "echo oops >&2"},
                "/dev/null"),
            nullptr);
  ASSERT_GT(pipeline->error_pipe, 2);
  char buffer[64] = {};
  ssize_t got = read(pipeline->error_pipe, buffer, sizeof buffer - 1);
  pipeline_free(pipeline);
  EXPECT_EQ(got, 5);
  EXPECT_STREQ(buffer, "oops\n");
}

TEST_F(pipeline_test, statuses_beyond_the_children_are_zero) {
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
  ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/sh", "-c", "exit 5"}), nullptr);
  int statuses[3] = {-1, -1, -1};
  ASSERT_TRUE(pipeline_statuses(pipeline, 3, statuses));
  pipeline_free(pipeline);
  EXPECT_EQ(statuses[0], 5 << 8);
  EXPECT_EQ(statuses[1], 0);
  EXPECT_EQ(statuses[2], 0);
}

TEST_F(pipeline_test, times_only_when_asked_for) {
  for (int flags : {int(PEX_PIPES), PEX_PIPES | PEX_TIMES}) {
    process_pipeline *pipeline = pipeline_create(flags, "test", nullptr);
    ASSERT_EQ(run(pipeline, PEX_FINAL, {"/bin/sh", "-c", "i=0; while [ $i -lt 20000 ]; do i=$((i+1)); done"}),
              nullptr);
    child_time times[2];
    memset(times, 0xff, sizeof times);
    bool got = pipeline_times(pipeline, 2, times);
    pipeline_free(pipeline);
    EXPECT_EQ(got, (flags & PEX_TIMES) != 0);
    if (got) {
      // The loop costs measurable CPU time; the padding entry is zero.
      EXPECT_GT(times[0].user_seconds * 1000000 + times[0].user_microseconds +
                    times[0].system_seconds * 1000000 + times[0].system_microseconds,
                0u);
      EXPECT_LT(times[0].user_microseconds, 1000000u);
      EXPECT_EQ(times[1].user_seconds + times[1].user_microseconds + times[1].system_seconds +
                    times[1].system_microseconds,
                0u);
    }
  }
}

TEST_F(pipeline_test, run_one_reports_status_and_failure) {
  int status = -1, err = 0;
  EXPECT_EQ(pipeline_run_one(PEX_FINAL | PEX_PATH_SEARCH, "sh", args{"sh", "-c", "exit 7"}.argv(),
                             "test", nullptr, nullptr, &status, &err),
            nullptr);
  EXPECT_EQ(status, 7 << 8);
  const char *message = pipeline_run_one(PEX_FINAL, "/nonexistent/tool", args{"tool"}.argv(), "test",
                                         nullptr, nullptr, &status, &err);
  ASSERT_NE(message, nullptr);
  EXPECT_STREQ(message, "execv");
  EXPECT_EQ(err, ENOENT);
}

// The spawn tries four times, pausing 1, 2, 4 and 8 seconds after the failures.
std::vector<unsigned> pauses;
int failures_left;

// Like an interrupted sleep, the pause leaves its own error behind.
unsigned record_pause(unsigned seconds) {
  pauses.push_back(seconds);
  errno = EINTR;
  return 0;
}

pid_t fork_after_failures() {
  if (failures_left > 0) {
    --failures_left;
    errno = EAGAIN;
    return -1;
  }
  return fork();
}

int open_descriptors() {
  int count = 0;
  for (const auto &entry : std::filesystem::directory_iterator("/proc/self/fd"))
    count += entry.path().filename() != "." ? 1 : 0;
  return count;
}

TEST_F(pipeline_test, spawn_retries_with_doubling_pauses) {
  struct {
    int failures;
    std::vector<unsigned> pauses;
    const char *message;
  } cases[] = {
      {0, {}, nullptr},
      {2, {1, 2}, nullptr},
      {3, {1, 2, 4}, nullptr},
      {4, {1, 2, 4, 8}, "vfork"},
      {9, {1, 2, 4, 8}, "vfork"},
  };
  struct restore_hooks {
    ~restore_hooks() {
      pipeline_fork_hook = nullptr;
      pipeline_sleep = sleep;
    }
  } restore;
  pipeline_fork_hook = fork_after_failures;
  pipeline_sleep = record_pause;
  for (const auto &c : cases) {
    pauses.clear();
    failures_left = c.failures;
    int before = open_descriptors();
    process_pipeline *pipeline = pipeline_create(PEX_PIPES, "test", nullptr);
    int err = 0;
    const char *message = run(pipeline, PEX_FINAL, {"/bin/true"}, nullptr, nullptr, &err);
    EXPECT_EQ(pauses, c.pauses) << c.failures;
    if (c.message) {
      ASSERT_NE(message, nullptr);
      EXPECT_STREQ(message, c.message);
      EXPECT_EQ(err, EAGAIN);
      EXPECT_EQ(pipeline->child_count, 0);
    } else {
      EXPECT_EQ(message, nullptr) << message;
      int status = -1;
      EXPECT_TRUE(pipeline_statuses(pipeline, 1, &status));
      EXPECT_EQ(status, 0);
    }
    pipeline_free(pipeline);
    // The exec-failure report pipe is closed on every path.
    EXPECT_EQ(open_descriptors(), before) << c.failures;
  }
}

// In a child process with only descriptors 0 to 2 allowed, so that no
// exec-failure report pipe can be made. Returns the exit status of the failed
// stage, or 100 + the errno when pipeline_run itself reported "execv"; fd 2 of
// the stage is `err_path`, or closed when that is empty. With `real_fork` the
// stage is made by fork through the test hook (memory of its own), otherwise
// by vfork.
int failed_exec_without_report_pipe(const std::string &err_path, bool real_fork) {
  pid_t tester = fork();
  if (tester == 0) {
    int fd = err_path.empty() ? -1 : open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
      dup2(fd, 2);
    } else {
      close(2);
    }
    for (int other = 3; other < 1024; ++other)
      close(other);
    struct rlimit limit = {3, 3};
    setrlimit(RLIMIT_NOFILE, &limit);
    if (real_fork)
      pipeline_fork_hook = fork;
    process_pipeline *pipeline = pipeline_create(PEX_PIPES, "prog", nullptr);
    int err;
    args command{"/nonexistent/tool"};
    if (const char *message = pipeline_run(pipeline, PEX_FINAL, command.program(), command.argv(),
                                           nullptr, nullptr, &err))
      _exit(strcmp(message, "execv") == 0 ? 100 + err : 99);
    int status;
    if (!pipeline_statuses(pipeline, 1, &status) || !WIFEXITED(status))
      _exit(98);
    _exit(WEXITSTATUS(status));
  }
  int status;
  waitpid(tester, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A vforked stage shares the parent's memory, so its failure comes back to
// the parent even when no descriptor is left for a pipe.
TEST_F(pipeline_test, vforked_stage_reports_exec_failure_without_descriptors) {
  std::string err = dir.path("err");
  EXPECT_EQ(failed_exec_without_report_pipe(err, false), 100 + ENOENT);
  EXPECT_EQ(read_file(err), "");
}

// A forked stage without its report pipe says why itself.
TEST_F(pipeline_test, forked_stage_reports_exec_failure_itself_without_report_pipe) {
  std::string err = dir.path("err");
  EXPECT_EQ(failed_exec_without_report_pipe(err, true), 255);
  EXPECT_EQ(read_file(err),
            "prog: error trying to exec '/nonexistent/tool': execv: No such file or directory\n");
  // When even that message cannot be written the status says so.
  EXPECT_EQ(failed_exec_without_report_pipe("", true), 254);
}

} // namespace
