// Temporary and failure files: named here, removed at the end of the run, after
// a failed compilation, at exit and on a fatal signal.
#pragma once

#include <atomic>

// The directory temporary files go to, chosen on first use from TMPDIR, TMP,
// TEMP and the usual places; always ends in '/'.
const char *temp_dir();

// Creates a new empty file "cc" + six unique characters + suffix in temp_dir
// and returns its name. When no file can be made the process ends at once.
char *make_temp_name(const char *suffix);
char *make_temp_name_with_prefix(const char *prefix, const char *suffix);

// A copy of the name make_temp_name made last, until note_temp_file records
// it: an exit or a signal in between still removes the file.
extern std::atomic<char *> unrecorded_temp_file;

struct temp_file_entry {
  char *name;
  temp_file_entry *next;
};

// Newest first. The signal handler reads them, so a new entry is published
// by a single store of the head.
extern std::atomic<temp_file_entry *> always_delete_list;
extern std::atomic<temp_file_entry *> failure_delete_list;

// Records a copy of name on the lists asked for, once per list.
void note_temp_file(const char *name, bool always_delete, bool delete_on_failure);

// Takes name off the always-delete list: a file recorded while it might still
// be abandoned, and kept in the end.
void forget_temp_file(const char *name);

// Unlinks name when it is a regular file; a failure is reported under -v.
void delete_if_plain_file(const char *name);

// Removes every file on the always-delete list and empties it. Also registered
// to run at exit, where it never reports, and where after a fatal or internal
// error it removes the failure files as well.
void remove_temp_files();

// Removes every file on the failure-delete list; the list stays as it is.
void remove_failure_files();

// Empties the failure-delete list: its files belong to a compilation that
// succeeded.
void forget_failure_files();

// Handler for SIGINT, SIGHUP, SIGTERM and SIGPIPE: removes the failure and
// temporary files silently, then dies of the signal.
void cleanup_signal_handler(int signo);
