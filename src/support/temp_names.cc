// Temporary names, kept apart from the deletion lists so that programs which
// only need names (the archive-tool wrappers) link nothing else.
#include "support/temp_files.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "support/alloc.h"

static bool usable_dir(const char *dir) {
  struct stat st;
  return dir && access(dir, R_OK | W_OK | X_OK) == 0 && stat(dir, &st) == 0 && S_ISDIR(st.st_mode);
}

static char *choose_temp_dir() {
  const char *candidates[] = {getenv("TMPDIR"), getenv("TMP"), getenv("TEMP"),
                              "/tmp/", "/var/tmp", "/tmp"};
  const char *dir = ".";
  for (const char *candidate : candidates)
    if (usable_dir(candidate)) {
      dir = candidate;
      break;
    }
  // A '/' is appended even when one is there already.
  size_t length = strlen(dir);
  char *result = static_cast<char *>(xmalloc(length + 2));
  memcpy(result, dir, length);
  result[length] = '/';
  result[length + 1] = '\0';
  return result;
}

std::atomic<char *> unrecorded_temp_file{nullptr};

const char *temp_dir() {
  static char *dir = choose_temp_dir();
  return dir;
}

char *make_temp_name_with_prefix(const char *prefix, const char *suffix) {
  if (!prefix)
    prefix = "cc";
  if (!suffix)
    suffix = "";
  const char *dir = temp_dir();
  size_t dir_length = strlen(dir), prefix_length = strlen(prefix), suffix_length = strlen(suffix);
  char *name = static_cast<char *>(xmalloc(dir_length + prefix_length + 6 + suffix_length + 1));
  char *p = name;
  memcpy(p, dir, dir_length);
  p += dir_length;
  memcpy(p, prefix, prefix_length);
  p += prefix_length;
  memcpy(p, "XXXXXX", 6);
  p += 6;
  memcpy(p, suffix, suffix_length + 1);
  size_t size = p + suffix_length + 1 - name;
  // Allocated before the file exists, so no allocation failure can strand it.
  char *copy = static_cast<char *>(xmalloc(size));

  // A cleanup signal waits until the new file is on record: arriving while the
  // file is being created, it would find it neither listed nor unrecorded.
  sigset_t cleanup_signals, saved_mask;
  sigemptyset(&cleanup_signals);
  for (int signo : {SIGINT, SIGHUP, SIGTERM, SIGPIPE})
    sigaddset(&cleanup_signals, signo);
  sigprocmask(SIG_BLOCK, &cleanup_signals, &saved_mask);
  int fd = mkstemps(name, static_cast<int>(suffix_length));
  if (fd < 0) {
    fprintf(stderr, "Cannot create temporary file in %s: %s\n", dir, strerror(errno));
    _exit(1);
  }
  memcpy(copy, name, size);
  char *previous = unrecorded_temp_file.exchange(copy);
  sigprocmask(SIG_SETMASK, &saved_mask, nullptr);
  free(previous);
  if (close(fd) != 0)
    _exit(1);
  return name;
}

char *make_temp_name(const char *suffix) { return make_temp_name_with_prefix(nullptr, suffix); }
