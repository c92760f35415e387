// Temporary and failure files: named here, removed at exit, on failure and on
// a fatal signal.
#pragma once

// Removes every file on the always-delete list (and, after a fatal error, the
// failure list too). Registered with atexit; never reports.
void remove_temp_files();

// Removes every file on the failure-delete list.
void remove_failure_files();

// Handler for SIGINT, SIGHUP, SIGTERM and SIGPIPE: cleans up, then dies of the signal.
void cleanup_signal_handler(int signo);
