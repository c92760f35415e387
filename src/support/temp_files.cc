#include "support/temp_files.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

#include "diagnostics/diagnostic.h"
#include "support/alloc.h"
#include "support/execute.h"

std::atomic<temp_file_entry *> always_delete_list{nullptr};
std::atomic<temp_file_entry *> failure_delete_list{nullptr};

// Set by an exit handler registered after the driver's own cleanup handler, so
// it runs first: from then on deletion failures are not reported, since the
// diagnostic machinery may be finished or be the reason for the exit.
static volatile sig_atomic_t exit_in_progress = 0;

static void mark_exit_in_progress() { exit_in_progress = 1; }

static void add_to_list(std::atomic<temp_file_entry *> &list, const char *name) {
  for (temp_file_entry *entry = list.load(); entry; entry = entry->next)
    if (strcmp(entry->name, name) == 0)
      return;
  temp_file_entry *entry = static_cast<temp_file_entry *>(xmalloc(sizeof(temp_file_entry)));
  entry->name = xstrdup(name);
  entry->next = list.load();
  list.store(entry);
}

void note_temp_file(const char *name, bool always_delete, bool delete_on_failure) {
  static bool marker_registered = false;
  if (!marker_registered) {
    marker_registered = true;
    atexit(mark_exit_in_progress);
  }
  if (always_delete)
    add_to_list(always_delete_list, name);
  if (delete_on_failure)
    add_to_list(failure_delete_list, name);
  char *unrecorded = unrecorded_temp_file.load();
  if (unrecorded && strcmp(unrecorded, name) == 0) {
    unrecorded_temp_file.store(nullptr);
    free(unrecorded);
  }
}

void forget_temp_file(const char *name) {
  // One store unlinks the entry, so the signal handler sees the list with or
  // without it; the entry itself stays allocated like every other.
  temp_file_entry *previous = nullptr;
  for (temp_file_entry *entry = always_delete_list.load(); entry; entry = entry->next) {
    if (strcmp(entry->name, name) != 0) {
      previous = entry;
      continue;
    }
    if (previous)
      previous->next = entry->next;
    else
      always_delete_list.store(entry->next);
    return;
  }
}

// Async-signal-safe: stat and unlink only. Returns false when an unlink failed.
static bool unlink_if_plain_file(const char *name) {
  struct stat st;
  if (stat(name, &st) != 0 || !S_ISREG(st.st_mode))
    return true;
  return unlink(name) == 0;
}

void delete_if_plain_file(const char *name) {
  if (!unlink_if_plain_file(name) && exec_state.verbose && !exit_in_progress)
    error_current("%s: %m", name);
}

static void delete_list_quietly(temp_file_entry *list) {
  for (temp_file_entry *entry = list; entry; entry = entry->next)
    unlink_if_plain_file(entry->name);
}

// Also not reaching the lists: the file made last, when it was never recorded.
static void delete_unrecorded_file() {
  if (const char *name = unrecorded_temp_file.load())
    unlink_if_plain_file(name);
}

static bool fatal_error_seen() {
  return xmalloc_failure_seen() || global_dc->kind_count[KIND_FATAL] != 0 || global_dc->kind_count[KIND_ICE] != 0 ||
         global_dc->kind_count[KIND_ICE_NOBT] != 0;
}

void remove_temp_files() {
  if (exit_in_progress) {
    // A fatal or internal error ends the run without the usual failure cleanup.
    if (fatal_error_seen())
      delete_list_quietly(failure_delete_list.load());
    delete_list_quietly(always_delete_list.load());
  } else {
    for (temp_file_entry *entry = always_delete_list.load(); entry; entry = entry->next)
      delete_if_plain_file(entry->name);
  }
  delete_unrecorded_file();
  always_delete_list.store(nullptr);
}

void remove_failure_files() {
  for (temp_file_entry *entry = failure_delete_list.load(); entry; entry = entry->next)
    delete_if_plain_file(entry->name);
}

void forget_failure_files() { failure_delete_list.store(nullptr); }

void cleanup_signal_handler(int signo) {
  signal(signo, SIG_DFL);
  delete_list_quietly(failure_delete_list.load());
  delete_list_quietly(always_delete_list.load());
  delete_unrecorded_file();
  always_delete_list.store(nullptr);
  kill(getpid(), signo);
}
