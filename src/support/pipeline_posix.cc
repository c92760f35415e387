// The POSIX half of a pipeline: vfork and exec, with a failed exec reported
// back to the parent synchronously. The vforked child shares the parent's
// memory until it execs or exits, so it leaves the report in a record the
// parent reads when it resumes; a test's fork hook makes a child with memory
// of its own, which reports through a close-on-exec pipe instead.
#include "support/pipeline.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

pid_t (*pipeline_fork_hook)() = nullptr;
unsigned int (*pipeline_sleep)(unsigned int seconds) = sleep;

static int posix_open_read(process_pipeline *, const char *name) { return open(name, O_RDONLY); }

static int posix_open_write(process_pipeline *, const char *name, bool append) {
  return open(name, O_WRONLY | O_CREAT | (append ? O_APPEND : O_TRUNC), 0666);
}

static int posix_close(process_pipeline *, int fd) { return close(fd); }

static int posix_make_pipe(process_pipeline *, int fds[2]) { return pipe(fds); }

static void posix_release(process_pipeline *) {}

// What the child sends when it cannot run its program. The step names are
// constants, so the pointer means the same in the parent.
struct exec_failure {
  const char *step;
  int err;
};

static const char *error_text(int err) {
#ifdef __GLIBC__
  // Unlike strerror, no locale or allocation: safe between vfork and exec.
  const char *text = strerrordesc_np(err);
  return text ? text : "Unknown error";
#else
  return strerror(err);
#endif
}

static bool write_text(const char *text) {
  size_t length = strlen(text);
  return write(2, text, length) == static_cast<ssize_t>(length);
}

// Where the child reports a failure: the shared record, or the pipe.
struct failure_report {
  volatile exec_failure *shared;
  int fd;
};

// Runs in the vforked child: only descriptor calls, write and _exit.
[[noreturn]] static void child_failed(const process_pipeline *pipeline, const char *executable,
                                      const char *step, int err, failure_report report) {
  if (report.shared) {
    report.shared->step = step;
    report.shared->err = err;
    _exit(255);
  }
  exec_failure record = {step, err};
  if (report.fd >= 0 && write(report.fd, &record, sizeof record) == sizeof record)
    _exit(255);
  const char *program = pipeline->program_name ? pipeline->program_name : "";
  bool ok = write_text(program) && write_text(": error trying to exec '") &&
            write_text(executable) && write_text("': ") && write_text(step) &&
            write_text(": ") && write_text(error_text(err)) && write_text("\n");
  _exit(ok ? 255 : 254);
}

[[noreturn]] static void run_child(const process_pipeline *pipeline, int flags,
                                   const char *executable, char *const *argv, int in, int out,
                                   int errdes, int to_close, failure_report report) {
  const int targets[3] = {0, 1, 2};
  const int sources[3] = {in, out, errdes};
  for (int i = 0; i < 3; ++i) {
    if (sources[i] == targets[i])
      continue;
    if (dup2(sources[i], targets[i]) < 0)
      child_failed(pipeline, executable, "dup2", errno, report);
    if (close(sources[i]) < 0)
      child_failed(pipeline, executable, "close", errno, report);
  }
  if (to_close >= 0 && close(to_close) < 0)
    child_failed(pipeline, executable, "close", errno, report);
  if ((flags & PEX_ERR_TO_OUT) && dup2(1, 2) < 0)
    child_failed(pipeline, executable, "dup2", errno, report);
  if (flags & PEX_PATH_SEARCH) {
    execvp(executable, argv);
    child_failed(pipeline, executable, "execvp", errno, report);
  }
  execv(executable, argv);
  child_failed(pipeline, executable, "execv", errno, report);
}

static pid_t posix_spawn_child(process_pipeline *pipeline, int flags, const char *executable,
                               char *const *argv, int in, int out, int errdes, int to_close,
                               const char **message, int *err) {
  volatile exec_failure shared = {nullptr, 0};
  int report[2] = {-1, -1};
  if (pipeline_fork_hook && pipe2(report, O_CLOEXEC) < 0)
    report[0] = report[1] = -1;

  pid_t pid = -1;
  unsigned int pause = 1;
  // The failed fork's error, not whatever the pause left behind.
  int saved = 0;
  for (int attempt = 0; attempt < 4; ++attempt) {
    pid = pipeline_fork_hook ? pipeline_fork_hook() : vfork();
    if (pid >= 0)
      break;
    saved = errno;
    pipeline_sleep(pause);
    pause *= 2;
  }
  if (pid < 0) {
    if (report[0] >= 0) {
      close(report[0]);
      close(report[1]);
    }
    *err = saved;
    *message = "vfork";
    return -1;
  }
  if (pid == 0) {
    if (report[0] >= 0)
      close(report[0]);
    failure_report to_parent = {pipeline_fork_hook ? nullptr : &shared, report[1]};
    run_child(pipeline, flags, executable, argv, in, out, errdes, to_close, to_parent);
  }

  if (shared.step) {
    // The child has exited already; reap it so it leaves no zombie.
    waitpid(pid, nullptr, 0);
    *message = shared.step;
    *err = shared.err;
    return -1;
  }

  if (report[0] >= 0) {
    close(report[1]);
    exec_failure record;
    ssize_t got = read(report[0], &record, sizeof record);
    close(report[0]);
    if (got == static_cast<ssize_t>(sizeof record)) {
      // The child has exited already; reap it so it leaves no zombie.
      waitpid(pid, nullptr, 0);
      *message = record.step;
      *err = record.err;
      return -1;
    }
  }

  const int fds[3] = {in, out, errdes};
  for (int i = 0; i < 3; ++i)
    if (fds[i] != i && close(fds[i]) < 0) {
      *err = errno;
      *message = "close";
      return -1;
    }
  return pid;
}

static pid_t posix_wait(process_pipeline *, pid_t pid, int *status, child_time *time,
                        bool final_reaping, const char **message, int *err) {
  if (final_reaping)
    kill(pid, SIGTERM);
  pid_t result;
  if (time) {
    struct rusage usage;
    result = wait4(pid, status, 0, &usage);
    if (result >= 0) {
      time->user_seconds = usage.ru_utime.tv_sec;
      time->user_microseconds = usage.ru_utime.tv_usec;
      time->system_seconds = usage.ru_stime.tv_sec;
      time->system_microseconds = usage.ru_stime.tv_usec;
    }
  } else {
    result = waitpid(pid, status, 0);
  }
  if (result < 0) {
    *err = errno;
    *message = "wait";
  }
  return result;
}

const pipeline_os_ops posix_pipeline_ops = {
    posix_open_read, posix_open_write, posix_spawn_child, posix_close,
    posix_wait,      posix_make_pipe,  posix_release,
};
