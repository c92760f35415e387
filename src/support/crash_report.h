// Reproducing a crash of a compiler proper for a bug report (-freport-bug).
#pragma once

// Runs the crashed command again; when it crashes the same way every time,
// leaves a file with its messages, its command line and the preprocessed
// source for the report.
void try_reproduce(char *const *argv);

enum repro_result { REPRO_NOT_RUN = 0, REPRO_CLEAN = 1, REPRO_CRASHED = 2 };

// One run of argv with its output and error going to the named files.
repro_result run_repro_attempt(char *const *argv, const char *out_file, const char *err_file,
                               bool emit_configuration, bool append);

// Same size and same bytes; false when either cannot be read.
bool files_identical(const char *a, const char *b);
