// Allocation that never returns failure: every request either succeeds or the
// program reports "out of memory" and exits with status 1.
#pragma once

#include <cstddef>

// Name printed in front of the out-of-memory message; none until the driver sets it.
void xmalloc_set_program_name(const char *name);

[[noreturn]] void xmalloc_failed(size_t size);

// True once an allocation failed: the program is ending with the report, and
// the exit cleanup treats the run as failed.
bool xmalloc_failure_seen();

void *xmalloc(size_t size);
void *xcalloc(size_t count, size_t size);
void *xrealloc(void *ptr, size_t size);
char *xstrdup(const char *text);
char *xstrndup(const char *text, size_t length);

// A fresh copy of the pieces one after another; a null piece counts as empty.
char *concat(const char *a, const char *b);
char *concat(const char *a, const char *b, const char *c);
