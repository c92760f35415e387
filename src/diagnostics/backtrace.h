// Stack backtraces printed after an internal error.
#pragma once

#include <cstdint>

// The diagnostics module's code is placed in this section, so that the walker
// can tell its frames apart from the ones of the code that reported.
#define DIAGNOSTICS_TEXT_SECTION "quarn_diagnostics_text"

typedef int (*backtrace_step_callback)(void *data, uintptr_t pc, const char *filename, int lineno,
                                       const char *function);
typedef void (*backtrace_error_callback)(void *data, const char *message, int errnum);

// Calls STEP for each frame of the caller's stack, innermost first, until it
// returns non-zero or the stack ends. Frames of the walker itself and SKIP more
// are left out. The file is known only for the diagnostics module's frames.
void walk_backtrace(int skip, backtrace_step_callback step, backtrace_error_callback error,
                    void *data);

// The name of the function of the program's own file that holds PC, from its
// symbol table; null when no function there holds it.
const char *function_in_symbol_table(uintptr_t pc);

// DATA points to the int count of frames printed so far.
int backtrace_step_printer(void *data, uintptr_t pc, const char *filename, int lineno,
                           const char *function);
void backtrace_error_printer(void *data, const char *message, int errnum);

// Prints the current backtrace to standard error; returns the frames printed.
int print_backtrace();
