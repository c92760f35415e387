// Child processes: a chain of stages, each one's standard output feeding the
// next one's standard input, reaped together with their statuses and CPU times.
// Every program of the suite starts its children through here.
#pragma once

#include <cstdint>
#include <sys/types.h>

// Creation flags.
enum {
  PEX_TIMES = 1,      // record CPU times
  PEX_PIPES = 2,      // join stages by pipes instead of temporary files
  PEX_KEEP_TEMPS = 4, // leave the files that join stages in place
};

// Run flags, one set per stage.
enum {
  PEX_FINAL = 0x1,          // last stage: output to the named file or to ours
  PEX_PATH_SEARCH = 0x2,    // look the executable up along PATH
  PEX_NAME_SUFFIX = 0x4,    // the output name is a suffix for the temporary-name base
  PEX_ERR_TO_OUT = 0x8,     // standard error joins standard output
  PEX_RAW_IN = 0x10,        // binary modes: no effect here
  PEX_RAW_OUT = 0x20,
  PEX_STDERR_TO_PIPE = 0x40, // standard error into a pipe the pipeline keeps
  PEX_RAW_ERR = 0x80,
  PEX_OUT_APPEND = 0x100,   // append to the output file instead of truncating it
  PEX_ERR_APPEND = 0x200,   // append to the error file instead of truncating it
};

struct child_time {
  uint64_t user_seconds;
  uint64_t user_microseconds;
  uint64_t system_seconds;
  uint64_t system_microseconds;
};

struct process_pipeline;

// The platform half of a pipeline. Failing operations return -1 with errno set,
// except spawn and wait, which also hand back the failing step's name.
struct pipeline_os_ops {
  int (*open_read)(process_pipeline *pipeline, const char *name);
  int (*open_write)(process_pipeline *pipeline, const char *name, bool append);
  pid_t (*spawn)(process_pipeline *pipeline, int flags, const char *executable, char *const *argv,
                 int in, int out, int errdes, int to_close, const char **message, int *err);
  int (*close)(process_pipeline *pipeline, int fd);
  pid_t (*wait)(process_pipeline *pipeline, pid_t pid, int *status, child_time *time,
                bool final_reaping, const char **message, int *err);
  int (*make_pipe)(process_pipeline *pipeline, int fds[2]);
  void (*release)(process_pipeline *pipeline);
};

extern const pipeline_os_ops posix_pipeline_ops;
// The operations new pipelines get; tests put a stand-in here.
extern const pipeline_os_ops *pipeline_default_ops;

// How the POSIX spawn makes a child (none: vfork) and waits between failed
// tries; tests put stand-ins here.
extern pid_t (*pipeline_fork_hook)();
extern unsigned int (*pipeline_sleep)(unsigned int seconds);

struct process_pipeline {
  int flags;
  const char *program_name;  // not owned; named in the child's exec-failure text
  const char *temp_base;     // not owned; base for the files that join stages
  int next_input;            // 0 at first, -1 once the last stage started
  char *next_input_name;     // file the next stage reads, when joined by files
  bool next_input_name_owned;
  int error_pipe;            // read end of the last stage's standard error, or -1
  int child_count;
  pid_t *children;
  int *statuses;             // room for every child; valid once waited for
  child_time *times;         // only with PEX_TIMES
  int waited_count;
  int remove_count;
  char **remove_names;       // owned; removed by pipeline_free
  const pipeline_os_ops *ops;
};

process_pipeline *pipeline_create(int flags, const char *program_name, const char *temp_base);

// Starts one stage. Returns none on success, else a constant text naming what
// failed, with *err the system error number (0 when it is not a system error).
// argv is handed to the child unchanged and ends with a null entry.
const char *pipeline_run(process_pipeline *pipeline, int flags, const char *executable,
                         char *const *argv, const char *output_name, const char *error_name,
                         int *err);

// Wait statuses of the first `count` children in start order (zeros past the
// last child). False when a wait failed, errno as that wait left it.
bool pipeline_statuses(process_pipeline *pipeline, int count, int *statuses);

// CPU times likewise; false as well when the pipeline records no times.
bool pipeline_times(process_pipeline *pipeline, int count, child_time *times);

// Ends the pipeline: children never waited for are sent SIGTERM and reaped,
// and the files that joined the stages are removed.
void pipeline_free(process_pipeline *pipeline);

// One child from start to status: returns none on success or the failure text.
const char *pipeline_run_one(int flags, const char *executable, char *const *argv,
                             const char *program_name, const char *output_name,
                             const char *error_name, int *status, int *err);
