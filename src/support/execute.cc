#include "support/execute.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/crash_report.h"
#include "support/file_lookup.h"
#include "support/pipeline.h"

execute_state exec_state;

struct pipeline_command {
  const char *program;       // as written in the command
  char *found = nullptr;     // owned path from the prefix lookup, or none
  std::vector<char *> args;  // ends with a null entry; args[0] the found path when there is one
};

void insert_wrapper(arg_vector *command_args, const char *wrapper) {
  // Runs of commas separate once; a leading run is ignored and a trailing
  // comma leaves one empty word.
  std::vector<char *> words;
  const char *p = wrapper;
  while (*p == ',')
    ++p;
  for (;;) {
    size_t length = strcspn(p, ",");
    words.push_back(xstrndup(p, length));
    p += length;
    if (!*p)
      break;
    while (*p == ',')
      ++p;
  }

  arg_vector inserted;
  arg_vector_init(&inserted, words.size() + command_args->count);
  for (char *word : words)
    arg_vector_push_owned(&inserted, word);
  for (size_t i = 0; i < command_args->count; ++i)
    arg_vector_push_owned(&inserted, command_args->items[i]);
  free(command_args->items);
  *command_args = inserted;
}

// Letters, digits and "_-./" need no quotes for the shell.
static bool plain_word(const char *word) {
  for (const char *p = word; *p; ++p)
    if (!((*p >= 'a' && *p <= 'z') || (*p >= 'A' && *p <= 'Z') || (*p >= '0' && *p <= '9') ||
          strchr("_-./", *p)))
      return false;
  return true;
}

static void append_quoted(std::string *out, const char *word) {
  *out += '"';
  for (const char *p = word; *p; ++p) {
    if (*p == '"' || *p == '\\' || *p == '$')
      *out += '\\';
    *out += *p;
  }
  *out += '"';
}

static void put_quoted(const char *word, FILE *stream) {
  fputc('"', stream);
  for (const char *p = word; *p; ++p) {
    if (*p == '"' || *p == '\\' || *p == '$')
      fputc('\\', stream);
    fputc(*p, stream);
  }
  fputc('"', stream);
}

// Standard error is unbuffered: the whole echo is laid out first and written
// with one call, not one per word and blank.
static void echo_commands(const std::vector<pipeline_command> &commands) {
  std::string out;
  if (exec_state.print_help)
    out += '\n';
  for (size_t i = 0; i < commands.size(); ++i) {
    for (char *const *arg = commands[i].args.data(); *arg; ++arg) {
      out += ' ';
      if (!**arg)
        out += "\"\"";
      else if (exec_state.echo_only && !plain_word(*arg))
        append_quoted(&out, *arg);
      else
        out += *arg;
    }
    if (i + 1 < commands.size())
      out += " |";
    out += '\n';
  }
  fwrite(out.data(), 1, out.size(), stderr);
  fflush(stderr);
}

// Splits the arguments at every lone "|" and looks each program up along the
// program prefixes (but not the first one's when a wrapper leads it).
static std::vector<pipeline_command> split_commands(arg_vector *command_args, bool wrapped) {
  static char empty_word[] = "";
  std::vector<pipeline_command> commands(1);
  for (size_t i = 0; i < command_args->count; ++i) {
    char *arg = command_args->items[i];
    if (strcmp(arg, "|") == 0)
      commands.emplace_back();
    else
      commands.back().args.push_back(arg);
  }
  for (size_t i = 0; i < commands.size(); ++i) {
    pipeline_command &command = commands[i];
    // A spec may leave a stage empty; it then fails to start like any missing program.
    if (command.args.empty())
      command.args.push_back(empty_word);
    command.args.push_back(nullptr);
    command.program = command.args[0];
    if (i == 0 && wrapped)
      continue;
    command.found = find_program(command.program);
    if (command.found)
      command.args[0] = command.found;
  }
  return commands;
}

static void release_found_paths(std::vector<pipeline_command> &commands) {
  for (pipeline_command &command : commands)
    free(command.found);
}

[[noreturn]] static void cannot_execute(const char *executable, const char *message, int err) {
  errno = err;
  if (err)
    fatal_error(UNKNOWN_LOCATION, "cannot execute %qs: %s: %m", executable, message);
  fatal_error(UNKNOWN_LOCATION, "cannot execute %qs: %s", executable, message);
}

static bool is_compiler_proper(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash && (strncmp(slash + 1, "tarn", 4) == 0 || strcmp(slash + 1, "fell") == 0);
}

// Judges one wait status: -1 for a failure that counts, 0 otherwise; fatal
// signals end the run.
static int judge_status(const pipeline_command &command, size_t index, int status) {
  if ((status & 0x7f) == 0x7f || status == 0x13)
    return 0;
  if ((status & 0x7f) == 0) {
    int code = status >> 8;
    if (code == 0)
      return 0;
    if (exec_state.report_bug && index == 0 && code == 4 && is_compiler_proper(command.args[0]))
      try_reproduce(command.args.data());
    if (code > exec_state.greatest_exit_status)
      exec_state.greatest_exit_status = code;
    return -1;
  }
  int signo = status & 0x7f;
  switch (signo) {
  case SIGINT:
  case SIGQUIT:
  case SIGKILL:
  case SIGTERM:
    fatal_error(UNKNOWN_LOCATION, "%s signal terminated program %s", strsignal(signo),
                command.program);
  case SIGPIPE:
    // The reader of a pipe quit first; whoever made it quit reported why.
    if (exec_state.signal_failure_count != 0 || exec_state.greatest_exit_status >= 1) {
      exec_state.signal_failure_count++;
      return -1;
    }
    break;
  default:
    break;
  }
  internal_error_no_backtrace("%s signal terminated program %s", strsignal(signo),
                              command.program);
}

static bool needs_time_file_quotes(const char *word) {
  for (const char *p = word; *p; ++p)
    if (*p == '"' || *p == '\\' || *p == '$' || *p == ' ' || (*p >= '\t' && *p <= '\r'))
      return true;
  return false;
}

static void report_time(const pipeline_command &command, const child_time &time) {
  double user = time.user_seconds + time.user_microseconds / 1.0e6;
  double system = time.system_seconds + time.system_microseconds / 1.0e6;
  if (user + system == 0.0)
    return;
  if (exec_state.report_times)
    notice_to_stream(stderr, "# %s %.2f %.2f\n", command.program, user, system);
  if (FILE *file = exec_state.time_file) {
    fprintf(file, "%g %g", user, system);
    for (size_t i = 0; i + 1 < command.args.size(); ++i) {
      const char *word = i == 0 ? command.program : command.args[i];
      fputc(' ', file);
      if (needs_time_file_quotes(word))
        put_quoted(word, file);
      else
        fputs(word, file);
    }
    fputc('\n', file);
  }
}

int execute(arg_vector *command_args) {
  quarn_assert(!exec_state.in_spec_function);
  if (command_args->count == 0)
    return 0;

  bool wrapped = exec_state.wrapper != nullptr;
  if (wrapped) {
    if (char *found = find_program(command_args->items[0])) {
      free(command_args->items[0]);
      command_args->items[0] = found;
    }
    insert_wrapper(command_args, exec_state.wrapper);
  }
  std::vector<pipeline_command> commands = split_commands(command_args, wrapped);

  if (exec_state.verbose || exec_state.echo_only) {
    echo_commands(commands);
    if (exec_state.echo_only) {
      exec_state.commands_run++;
      release_found_paths(commands);
      return 0;
    }
  }

  // Made before any child starts: nothing may allocate between the starts and
  // the waits, or running out of memory would leave children unwaited.
  int count = static_cast<int>(commands.size());
  std::vector<int> statuses(count);
  std::vector<child_time> times(count);
  bool timed = exec_state.report_times || exec_state.time_file;
  process_pipeline *pipeline = pipeline_create(PEX_PIPES | (timed ? PEX_TIMES : 0), progname, nullptr);
  for (size_t i = 0; i < commands.size(); ++i) {
    pipeline_command &command = commands[i];
    int flags = (i + 1 == commands.size() ? PEX_FINAL : 0) | (command.found ? 0 : PEX_PATH_SEARCH);
    int err;
    if (const char *message =
            pipeline_run(pipeline, flags, command.args[0], command.args.data(), nullptr, nullptr, &err))
      cannot_execute(command.args[0], message, err);
  }
  exec_state.commands_run++;

  if (!pipeline_statuses(pipeline, count, statuses.data()))
    fatal_error(UNKNOWN_LOCATION, "failed to get exit status: %m");
  if (timed && !pipeline_times(pipeline, count, times.data()))
    fatal_error(UNKNOWN_LOCATION, "failed to get process times: %m");
  pipeline_free(pipeline);

  int result = 0;
  for (size_t i = 0; i < commands.size(); ++i) {
    if (judge_status(commands[i], i, statuses[i]) != 0)
      result = -1;
    if (timed)
      report_time(commands[i], times[i]);
  }
  release_found_paths(commands);
  return result;
}
