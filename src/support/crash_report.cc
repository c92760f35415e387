#include "support/crash_report.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "support/build_configuration.h"
#include "support/execute.h"
#include "support/pipeline.h"
#include "support/temp_files.h"

enum { REPRO_ATTEMPTS = 3 };

static const char not_reproducible[] =
    N_("The bug is not reproducible, so it is likely a hardware or OS problem.\n");

repro_result run_repro_attempt(char *const *argv, const char *out_file, const char *err_file,
                               bool emit_configuration, bool append) {
  if (emit_configuration) {
    if (FILE *err = fopen(err_file, "a")) {
      print_build_configuration(err);
      fputc('\n', err);
      fclose(err);
    }
  }
  process_pipeline *pipeline = pipeline_create(PEX_PIPES, argv[0], nullptr);
  int flags = PEX_FINAL | PEX_PATH_SEARCH | (append ? PEX_OUT_APPEND | PEX_ERR_APPEND : 0);
  int err;
  if (const char *message = pipeline_run(pipeline, flags, argv[0], argv, out_file, err_file, &err)) {
    errno = err;
    if (err)
      fatal_error(UNKNOWN_LOCATION, "cannot execute %qs: %s: %m", argv[0], message);
    fatal_error(UNKNOWN_LOCATION, "cannot execute %qs: %s", argv[0], message);
  }
  int status;
  repro_result result = REPRO_NOT_RUN;
  // A child ended by a signal has no exit status: it says nothing either way.
  if (pipeline_statuses(pipeline, 1, &status) && (status & 0x7f) == 0) {
    int code = (status >> 8) & 0xff;
    result = code == 0 ? REPRO_CLEAN : code == 4 ? REPRO_CRASHED : REPRO_NOT_RUN;
  }
  pipeline_free(pipeline);
  return result;
}

static bool read_block(int fd, char *buffer, size_t size) {
  return read(fd, buffer, size) == static_cast<ssize_t>(size);
}

bool files_identical(const char *a, const char *b) {
  int fd_a = open(a, O_RDONLY);
  int fd_b = open(b, O_RDONLY);
  bool same = false;
  struct stat st_a, st_b;
  if (fd_a >= 0 && fd_b >= 0 && fstat(fd_a, &st_a) == 0 && fstat(fd_b, &st_b) == 0 &&
      st_a.st_size == st_b.st_size) {
    char block_a[4096], block_b[4096];
    same = true;
    for (off_t left = st_a.st_size; same && left > 0;) {
      size_t size = left < 4096 ? static_cast<size_t>(left) : 4096;
      same = read_block(fd_a, block_a, size) && read_block(fd_b, block_b, size) &&
             memcmp(block_a, block_b, size) == 0;
      left -= size;
    }
  }
  if (fd_a >= 0)
    close(fd_a);
  if (fd_b >= 0)
    close(fd_b);
  return same;
}

// The report file: the messages of the crash as "// " comments, then the
// command line as a comment. False when the file cannot be appended to.
static bool write_report_head(const char *err_file, const char *out_file,
                              const std::vector<char *> &argv) {
  if (FILE *out = fopen(out_file, "w")) {
    if (FILE *in = fopen(err_file, "r")) {
      char line[256];
      bool line_start = true;
      while (fgets(line, sizeof line, in)) {
        if (line_start)
          fputs("// ", out);
        fputs(line, out);
        size_t length = strlen(line);
        line_start = length > 0 && line[length - 1] == '\n';
      }
      fclose(in);
    }
    fclose(out);
  }
  FILE *out = fopen(out_file, "a+");
  if (!out)
    return false;
  fputs("\n//", out);
  for (char *arg : argv)
    if (arg) {
      fputc(' ', out);
      fputs(arg, out);
    }
  fputs("\n\n", out);
  fclose(out);
  return true;
}

// Reruns the crashed command REPRO_ATTEMPTS times; true when each crashed and
// the first two said exactly the same.
static bool crashes_alike(const std::vector<char *> &argv, char **out_files, char **err_files) {
  for (int attempt = 0; attempt < REPRO_ATTEMPTS; ++attempt) {
    // On the list only so that a fatal error, a signal or running out of
    // memory before the removal below still takes them away.
    out_files[attempt] = make_temp_name(".out");
    note_temp_file(out_files[attempt], true, false);
    err_files[attempt] = make_temp_name(".err");
    note_temp_file(err_files[attempt], true, false);
    bool last = attempt == REPRO_ATTEMPTS - 1;
    if (run_repro_attempt(argv.data(), out_files[attempt], err_files[attempt], last, last) !=
        REPRO_CRASHED) {
      notice_to_stream(stderr, not_reproducible);
      return false;
    }
  }
  if (!files_identical(out_files[0], out_files[1]) || !files_identical(err_files[0], err_files[1])) {
    notice_to_stream(stderr, not_reproducible);
    return false;
  }
  return true;
}

void try_reproduce(char *const *argv) {
  const char *input = exec_state.input_name;
  if (!input || strcmp(input, "-") == 0)
    return;

  int output_arg = -1;
  bool quiet = false;
  int argc = 0;
  for (; argv[argc]; ++argc) {
    const char *arg = argv[argc];
    if (strcmp(arg, "-E") == 0 || strcmp(arg, "-ftime-report") == 0)
      return;
    if (strncmp(arg, "-o", 2) == 0) {
      if (output_arg != -1)
        return;
      output_arg = argc;
    } else if (strcmp(arg, "-quiet") == 0) {
      quiet = true;
    }
  }
  if (output_arg == -1 || !quiet)
    return;

  std::vector<char *> new_argv(argv, argv + argc);
  new_argv.push_back(const_cast<char *>("-frandom-seed=0"));
  new_argv.push_back(const_cast<char *>("-fdump-noaddr"));
  if (new_argv[output_arg][2] == '\0')
    new_argv[output_arg + 1] = const_cast<char *>("-");
  else
    new_argv[output_arg] = const_cast<char *>("-o-");
  new_argv.push_back(nullptr);

  char *out_files[REPRO_ATTEMPTS] = {};
  char *err_files[REPRO_ATTEMPTS] = {};
  const char *kept = nullptr;
  if (crashes_alike(new_argv, out_files, err_files)) {
    char *out = out_files[REPRO_ATTEMPTS - 1];
    char *err = err_files[REPRO_ATTEMPTS - 1];
    if (write_report_head(err, out, new_argv)) {
      new_argv.back() = const_cast<char *>("-E");
      new_argv.push_back(nullptr);
      if (run_repro_attempt(new_argv.data(), out, err, false, true) == REPRO_CLEAN) {
        notice_to_stream(stderr,
                         "Preprocessed source stored into %s file, please attach this to your "
                         "bugreport.\n",
                         out);
        kept = out;
        forget_temp_file(out);
      }
    }
  }
  for (int attempt = 0; attempt < REPRO_ATTEMPTS; ++attempt) {
    for (char *name : {out_files[attempt], err_files[attempt]}) {
      if (name && name != kept)
        unlink(name);
      free(name);
    }
  }
}
