// Driving the spec interpreter in tests: a fresh driver and interpreter per
// case, switches and inputs from plain strings, and a command runner that
// records each command line instead of running it.
#pragma once

#include <string>
#include <vector>

typedef std::vector<std::string> words;

// The command lines handed to the runner since the last reset, and the status
// the runner answers with.
extern std::vector<words> recorded_commands;
extern int recorded_status;

// Forgets switches, inputs, option lists, bindings and output slots; sets
// -pipe off, response files off, save-temps off, and the recorder as runner.
void reset_interpreter_world();

// A switch as the command line would give it ("-O2", "-o" with {"x"}).
void add_switch(const std::string &text, const words &args = {}, bool recognized = true);
// `count` output slots, all empty.
void make_output_slots(int count);

// The arguments interpreter.command_args holds now.
words built_words();
// expand_spec on text, then the arguments it left.
words expand(const std::string &text);

// Empties both temporary-file lists without removing anything: for a child
// that reports what one case recorded.
void forget_temp_lists();
