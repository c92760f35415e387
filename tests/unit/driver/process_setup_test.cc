// The driver's process set-up, seen from inside a freshly forked child after a
// whole run: the program name, the cleanup signals, SIGCHLD and the stack limit.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/child_process.h"
#include "diagnostics/diagnostic.h"
#include "driver/compiler_driver.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/temp_files.h"

namespace {

struct ended_child {
  int status; // exit status, or -1 when the child did not exit
  std::string err;
};

// Runs BEFORE, then the driver on ARGV0 --completion=-fno- (which stops right
// after set-up with status 0), then AFTER, in a child whose standard output is
// discarded and whose standard error is collected. The child's status is
// AFTER's return value, or 100 + the run's status when the run did not give 0.
ended_child run_driver_in_child(const char *argv0, const std::function<bool()> &before,
                                const std::function<int()> &after) {
  child_result child = run_in_child([&] {
    if (!freopen("/dev/null", "w", stdout) || !before())
      _exit(77);
    char *argv[] = {const_cast<char *>(argv0), const_cast<char *>("--completion=-fno-"), nullptr};
    int status;
    {
      compiler_driver driver;
      status = driver.run(2, argv);
    }
    fflush(nullptr);
    _exit(status == 0 ? after() : 100 + status);
  });
  return {child.exited ? child.status : -1, child.err};
}

const char *disposition(int signo) {
  struct sigaction action;
  if (sigaction(signo, nullptr, &action) != 0)
    return "?";
  if (action.sa_handler == SIG_IGN)
    return "ignored";
  if (action.sa_handler == SIG_DFL)
    return "default";
  if (action.sa_handler == cleanup_signal_handler)
    return "cleanup";
  return "other";
}

void custom_handler(int) {}

TEST(ProcessSetup, SignalDispositions) {
  // Ignored signals stay ignored; any other disposition becomes the cleanup
  // handler; SIGCHLD goes back to the default.
  ended_child child = run_driver_in_child(
      "quarn++",
      [] {
        signal(SIGINT, SIG_IGN);
        signal(SIGHUP, SIG_DFL);
        signal(SIGTERM, custom_handler);
        signal(SIGPIPE, SIG_IGN);
        signal(SIGCHLD, SIG_IGN);
        return true;
      },
      [] {
        fprintf(stderr, "INT %s HUP %s TERM %s PIPE %s CHLD %s\n", disposition(SIGINT),
                disposition(SIGHUP), disposition(SIGTERM), disposition(SIGPIPE),
                disposition(SIGCHLD));
        return 0;
      });
  EXPECT_EQ(child.status, 0) << child.err;
  EXPECT_EQ(child.err, "INT ignored HUP cleanup TERM cleanup PIPE ignored CHLD default\n");

  child = run_driver_in_child(
      "quarn++",
      [] {
        for (int signo : {SIGINT, SIGHUP, SIGTERM, SIGPIPE})
          signal(signo, SIG_DFL);
        return true;
      },
      [] {
        fprintf(stderr, "%s %s %s %s\n", disposition(SIGINT), disposition(SIGHUP),
                disposition(SIGTERM), disposition(SIGPIPE));
        return 0;
      });
  EXPECT_EQ(child.err, "cleanup cleanup cleanup cleanup\n");
}

TEST(ProcessSetup, SpecArgumentVectorsAreMadeEmptyWithRoomForTen) {
  ended_child child = run_driver_in_child(
      "quarn++", [] { return interpreter.command_args.items == nullptr; },
      [] {
        fprintf(stderr, "%zu/%zu %zu/%zu\n", interpreter.command_args.count,
                interpreter.command_args.capacity, interpreter.response_args.count,
                interpreter.response_args.capacity);
        return 0;
      });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "0/10 0/10\n");
}

TEST(ProcessSetup, StackLimit) {
  const rlim_t MiB = 1024 * 1024, NONE = RLIM_INFINITY;
  struct {
    rlim_t soft, hard, expected;
  } const cases[] = {
      {8 * MiB, NONE, 64 * MiB},      // raised
      {8 * MiB, 128 * MiB, 64 * MiB}, // raised, the hard limit allows more
      {8 * MiB, 32 * MiB, 32 * MiB},  // raised only to the hard limit
      {16 * MiB, 16 * MiB, 16 * MiB}, // already at the hard limit
      {64 * MiB, NONE, 64 * MiB},     // already large enough
      {128 * MiB, NONE, 128 * MiB},   // never lowered
      {NONE, NONE, NONE},             // unlimited stays so
      {64 * MiB - 1, NONE, 64 * MiB}, // one byte short
  };
  for (const auto &c : cases) {
    ended_child child = run_driver_in_child(
        "quarn++",
        [&] {
          struct rlimit limit = {c.soft, c.hard};
          return setrlimit(RLIMIT_STACK, &limit) == 0;
        },
        [] {
          struct rlimit limit;
          getrlimit(RLIMIT_STACK, &limit);
          fprintf(stderr, "%llu", static_cast<unsigned long long>(limit.rlim_cur));
          return 0;
        });
    if (child.status == 77) {
      // Raising a hard limit needs privileges the test may not have.
      std::cout << "skipped soft " << c.soft << " hard " << c.hard << "\n";
      continue;
    }
    EXPECT_EQ(child.status, 0) << child.err;
    EXPECT_EQ(child.err, std::to_string(static_cast<unsigned long long>(c.expected)))
        << "soft " << c.soft << " hard " << c.hard;
  }
}

TEST(ProcessSetup, ProgramNameReachesDiagnosticsAndOutOfMemory) {
  struct {
    const char *argv0;
    const char *name;
  } const cases[] = {
      {"/usr/local/pell12/bin/quarn++", "quarn++"},
      {"some/dir/my-driver", "my-driver"},
      {"plain", "plain"},
      {"trailing/", ""},
  };
  for (const auto &c : cases) {
    ended_child child = run_driver_in_child(
        c.argv0, [] { return true; },
        []() -> int {
          error_current("x");
          xmalloc_failed(5);
        });
    EXPECT_EQ(child.status, 1) << c.argv0;
    EXPECT_EQ(child.err, std::string(c.name) + ": error: x\n\n" + c.name +
                             ": out of memory allocating 5 bytes\n")
        << c.argv0;
  }
}

} // namespace
