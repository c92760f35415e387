#include "support/pipeline.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "support/alloc.h"
#include "support/temp_files.h"

const pipeline_os_ops *pipeline_default_ops = &posix_pipeline_ops;

process_pipeline *pipeline_create(int flags, const char *program_name, const char *temp_base) {
  process_pipeline *pipeline = static_cast<process_pipeline *>(xcalloc(1, sizeof(process_pipeline)));
  pipeline->flags = flags;
  pipeline->program_name = program_name;
  pipeline->temp_base = temp_base;
  pipeline->next_input = 0;
  pipeline->error_pipe = -1;
  pipeline->ops = pipeline_default_ops;
  return pipeline;
}

static bool ends_with(const char *text, const char *tail) {
  size_t text_length = strlen(text), tail_length = strlen(tail);
  return text_length >= tail_length && strcmp(text + text_length - tail_length, tail) == 0;
}

// The file a non-final stage writes when stages are joined by files; none when
// it cannot be made. Returns `name` itself when that is used as it stands.
static char *stage_temp_name(process_pipeline *pipeline, int flags, const char *name) {
  const char *base = pipeline->temp_base;
  if (!name) {
    if (!base)
      return make_temp_name(nullptr);
    char *templ = ends_with(base, "XXXXXX") ? xstrdup(base) : concat(base, "XXXXXX");
    int fd = mkstemps(templ, 0);
    if (fd < 0) {
      free(templ);
      return nullptr;
    }
    close(fd);
    return templ;
  }
  if (flags & PEX_NAME_SUFFIX)
    return base ? concat(base, name) : make_temp_name(name);
  return const_cast<char *>(name);
}

static void add_to_remove_list(process_pipeline *pipeline, char *name, bool owned) {
  pipeline->remove_names = static_cast<char **>(
      xrealloc(pipeline->remove_names, (pipeline->remove_count + 1) * sizeof(char *)));
  pipeline->remove_names[pipeline->remove_count++] = owned ? name : xstrdup(name);
}

// Waits for every child started and not yet waited for. A failed wait fails
// the whole, but the remaining children are still waited for.
static bool gather_statuses(process_pipeline *pipeline, bool final_reaping, const char **message,
                            int *err) {
  if (pipeline->waited_count == pipeline->child_count)
    return true;
  // The arrays have room for every child already (reserve_child_slot).
  int count = pipeline->child_count;
  bool ok = true;
  for (int i = pipeline->waited_count; i < count; ++i) {
    child_time *time = (pipeline->flags & PEX_TIMES) ? &pipeline->times[i] : nullptr;
    if (time)
      *time = child_time{};
    pipeline->statuses[i] = 0;
    const char *wait_message;
    int wait_err;
    if (pipeline->ops->wait(pipeline, pipeline->children[i], &pipeline->statuses[i], time,
                            final_reaping, &wait_message, &wait_err) < 0 &&
        ok) {
      ok = false;
      *message = wait_message;
      *err = wait_err;
    }
  }
  pipeline->waited_count = count;
  return ok;
}

// Room for one more child's id, status and times, made before it starts: an
// allocation failing after the start would end the program with a child that
// nobody waits for, still writing files the exit cleanup has removed.
static void reserve_child_slot(process_pipeline *pipeline) {
  size_t slots = static_cast<size_t>(pipeline->child_count) + 1;
  pipeline->children = static_cast<pid_t *>(xrealloc(pipeline->children, slots * sizeof(pid_t)));
  pipeline->statuses = static_cast<int *>(xrealloc(pipeline->statuses, slots * sizeof(int)));
  if (pipeline->flags & PEX_TIMES)
    pipeline->times =
        static_cast<child_time *>(xrealloc(pipeline->times, slots * sizeof(child_time)));
}

const char *pipeline_run(process_pipeline *pipeline, int flags, const char *executable,
                         char *const *argv, const char *output_name, const char *error_name,
                         int *err) {
  const pipeline_os_ops *ops = pipeline->ops;
  const char *message = nullptr;
  int in = -1, out = -1, errdes = -1;
  char *out_name = const_cast<char *>(output_name);
  bool out_name_owned = false;

  if (pipeline->next_input_name) {
    // The previous stage must have finished writing the file.
    if (!gather_statuses(pipeline, false, &message, err))
      goto fail;
    in = ops->open_read(pipeline, pipeline->next_input_name);
    if (in < 0) {
      *err = errno;
      message = "open temporary file";
      goto fail;
    }
    if (pipeline->next_input_name_owned)
      free(pipeline->next_input_name);
    pipeline->next_input_name = nullptr;
    pipeline->next_input_name_owned = false;
  } else {
    in = pipeline->next_input;
    if (in < 0) {
      *err = 0;
      message = "pipeline already complete";
      goto fail;
    }
  }

  if (flags & PEX_FINAL) {
    if (!out_name)
      out = 1;
    else if (flags & PEX_NAME_SUFFIX) {
      out_name = concat(pipeline->temp_base ? pipeline->temp_base : "", out_name);
      out_name_owned = true;
    }
    pipeline->next_input = -1;
  } else if (!(pipeline->flags & PEX_PIPES)) {
    out_name = stage_temp_name(pipeline, flags, output_name);
    if (!out_name) {
      *err = 0;
      message = "could not create temporary file";
      goto fail;
    }
    bool made_here = out_name != output_name;
    if (!(pipeline->flags & PEX_KEEP_TEMPS)) {
      add_to_remove_list(pipeline, out_name, made_here);
      made_here = false;
    }
    pipeline->next_input_name = out_name;
    pipeline->next_input_name_owned = made_here;
  } else {
    int fds[2];
    if (ops->make_pipe(pipeline, fds) < 0) {
      *err = errno;
      message = "pipe";
      goto fail;
    }
    out = fds[1];
    pipeline->next_input = fds[0];
  }

  if (out < 0) {
    out = ops->open_write(pipeline, out_name, (flags & PEX_OUT_APPEND) != 0);
    if (out < 0) {
      *err = errno;
      message = "open temporary output file";
      goto fail;
    }
  }
  if (out_name_owned) {
    free(out_name);
    out_name_owned = false;
  }

  if (error_name && (flags & PEX_STDERR_TO_PIPE)) {
    *err = 0;
    message = "both ERRNAME and PEX_STDERR_TO_PIPE specified.";
    goto fail;
  }
  if (pipeline->error_pipe != -1) {
    *err = 0;
    message = "PEX_STDERR_TO_PIPE used in the middle of pipeline";
    goto fail;
  }
  if (!error_name) {
    if (flags & PEX_STDERR_TO_PIPE) {
      int fds[2];
      if (ops->make_pipe(pipeline, fds) < 0) {
        *err = errno;
        message = "pipe";
        goto fail;
      }
      errdes = fds[1];
      pipeline->error_pipe = fds[0];
    } else {
      errdes = 2;
    }
  } else {
    errdes = ops->open_write(pipeline, error_name, (flags & PEX_ERR_APPEND) != 0);
    if (errdes < 0) {
      *err = errno;
      message = "open error file";
      goto fail;
    }
  }

  {
    // With pipes the child must not keep the read end meant for the next stage,
    // or that stage would never see end of file.
    int to_close = (pipeline->flags & PEX_PIPES) ? pipeline->next_input : -1;
    reserve_child_slot(pipeline);
    pid_t pid = ops->spawn(pipeline, flags, executable, argv, in, out, errdes, to_close, &message,
                           err);
    if (pid < 0)
      goto fail;
    pipeline->children[pipeline->child_count++] = pid;
    return nullptr;
  }

fail:
  if (in > 0) {
    ops->close(pipeline, in);
    // Consumed: no later stage may read a closed descriptor.
    if (pipeline->next_input == in)
      pipeline->next_input = -1;
  }
  if (out >= 0 && out != 1)
    ops->close(pipeline, out);
  if (errdes >= 0 && errdes != 2)
    ops->close(pipeline, errdes);
  if (out_name_owned)
    free(out_name);
  return message;
}

// Waits for the children not waited for yet: also when a later stage was started
// after the earlier ones were waited for. Sets errno on failure.
static bool gather_pending_statuses(process_pipeline *pipeline) {
  if (pipeline->waited_count >= pipeline->child_count)
    return true;
  const char *message;
  int err;
  if (gather_statuses(pipeline, false, &message, &err))
    return true;
  errno = err;
  return false;
}

bool pipeline_statuses(process_pipeline *pipeline, int count, int *statuses) {
  if (!gather_pending_statuses(pipeline))
    return false;
  for (int i = 0; i < count; ++i)
    statuses[i] = i < pipeline->child_count ? pipeline->statuses[i] : 0;
  return true;
}

bool pipeline_times(process_pipeline *pipeline, int count, child_time *times) {
  if (!(pipeline->flags & PEX_TIMES))
    return false;
  if (!gather_pending_statuses(pipeline))
    return false;
  for (int i = 0; i < count; ++i)
    times[i] = i < pipeline->child_count ? pipeline->times[i] : child_time{};
  return true;
}

void pipeline_free(process_pipeline *pipeline) {
  const pipeline_os_ops *ops = pipeline->ops;
  if (pipeline->next_input > 0)
    ops->close(pipeline, pipeline->next_input);
  if (pipeline->error_pipe > 0)
    ops->close(pipeline, pipeline->error_pipe);
  if (pipeline->waited_count < pipeline->child_count) {
    const char *message;
    int err;
    pipeline->flags &= ~PEX_TIMES;
    gather_statuses(pipeline, true, &message, &err);
  }
  if (pipeline->next_input_name_owned)
    free(pipeline->next_input_name);
  free(pipeline->children);
  free(pipeline->statuses);
  free(pipeline->times);
  for (int i = 0; i < pipeline->remove_count; ++i) {
    remove(pipeline->remove_names[i]);
    free(pipeline->remove_names[i]);
  }
  free(pipeline->remove_names);
  ops->release(pipeline);
  free(pipeline);
}

const char *pipeline_run_one(int flags, const char *executable, char *const *argv,
                             const char *program_name, const char *output_name,
                             const char *error_name, int *status, int *err) {
  process_pipeline *pipeline = pipeline_create(0, program_name, nullptr);
  const char *message = pipeline_run(pipeline, flags, executable, argv, output_name, error_name, err);
  if (!message && !pipeline_statuses(pipeline, 1, status)) {
    *err = 0;
    message = "pex_get_status failed";
  }
  pipeline_free(pipeline);
  return message;
}
