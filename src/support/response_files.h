// Response files: "@file" arguments read in place of the file's contents, and
// argument lists written in the same format for the programs the driver runs.
#pragma once

#include <cstdio>

#include "support/arg_vector.h"

// True once the driver's own command line named a response file that was
// read; long command lines are then handed on in response files too.
extern bool at_file_supplied;

// Replaces every "@file" argument after element 0 by the arguments the file
// holds, nested files included. The vector is replaced by a new one the first
// time an expansion happens, so comparing it before and after tells whether a
// file was read. Too many "@" arguments or a directory end the process with
// status 1; a file that cannot be read leaves its argument as it is.
void expand_response_files(int *argcp, char ***argvp);

// The arguments written in text (white space separates; quotes and
// backslashes as in write_response_file). A non-null text gives at least one
// argument; a null text gives an empty vector (items none).
arg_vector split_response_text(const char *text);

// Writes each argument of the null-terminated vector on a line of its own,
// escaped so that split_response_text reads back exactly the same arguments.
// 0 on success, 1 when stream is none or a write fails.
int write_response_file(const char *const *args, FILE *stream);

// A deep copy of a null-terminated vector (xmalloc'd), or none for none.
char **copy_arg_vector(const char *const *args);
