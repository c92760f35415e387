// Interpreter of spec texts: turns them into argument vectors and runs each
// finished command through the command runner.
#pragma once

#include "support/arg_vector.h"

// Interprets text in the current argument context. literal != 0 copies every
// character into the argument being built. soft_match is the variable part of
// the switch a starred brace atom matched, or none. Returns 0 on success, a
// negative value when %e fired or a nested step failed, or the non-zero
// result of the command runner for a failed command.
int do_spec_1(const char *text, int literal, const char *soft_match);

struct brace_map;

// do_spec_1 in normal mode of a group body's copy that `map` describes.
int interpret_body(const char *text, const char *soft_match, const brace_map *map);

// Fresh argument context, then do_spec_1 in normal mode, then finishes a
// pending argument. The arguments stay in interpreter.command_args.
int expand_spec(const char *text, const char *soft_match);

// expand_spec with no soft match, then runs what it built (one command or a
// pipeline). The entry of every compilation step and of the link step.
int run_spec(const char *text);

// Finishes the argument in progress (only called while one is open): library
// and linker-script lookups, then push_arg.
void finish_arg();

// Appends an argument to the response-file arguments while a response file is
// open, else to the command; records it for deletion when a flag is set.
void push_arg(const char *text, bool delete_always, bool delete_on_failure);

// Each entry of the list as exactly one argument.
void emit_option_list(const arg_vector *list);

// Runs a finished command (execute outside tests); a stand-in may record the
// commands instead. Returns 0 or a failure status.
extern int (*spec_command_runner)(arg_vector *command_args);

// Refreshes the switch export of the linker wrapper's environment before every
// command batch; none until the driver sets it.
extern void (*spec_export_refresh)();

