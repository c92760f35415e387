// Driving the interpreter of spec texts in tests: a fresh driver and interpreter per
// case, switches and inputs from plain strings, and a command runner that
// records each command line instead of running it.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/child_process.h"

typedef std::vector<std::string> words;

// The command lines handed to the runner since the last reset, and the status
// the runner answers with.
extern std::vector<words> recorded_commands;
extern int recorded_status;

// Forgets switches, inputs, option lists, bindings and output slots; sets
// -pipe off, response files off, save-temps off, and the recorder as runner.
void reset_interpreter_world();
// A fixture (Base: testing::Test, testing::TestWithParam<...>) whose cases
// start in a fresh world and leave one for the next.
template <class Base> class in_fresh_world : public Base {
protected:
  void SetUp() override { reset_interpreter_world(); }
  void TearDown() override { reset_interpreter_world(); }
};

// That, and the options record and the store of named specs as at start.
void reset_spec_world();
// Runs BODY in a child after RESET, its standard output joined to standard
// error.
child_result run_joined_in_child(void (*reset)(), const std::function<void()> &body);

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

// Expands TEXT in a child, after a fresh world and SETUP: for texts that end
// the run.
child_result expand_in_child(const char *text, const std::function<void()> &setup = {});

// A text whose expansion ends the run with a fatal error: the case's name,
// the text, and the message.
struct fatal_text_case {
  const char *name;
  const char *text;
  const char *message;
};
std::string fatal_case_name(const testing::TestParamInfo<fatal_text_case> &info);

// A named spec's text, "(none)" when there is none.
std::string named_spec_text(const char *name);

// 64-bit FNV-1a of TEXT: tables of built-in texts give a length and a digest
// computed apart from the C++ literals, not the texts again.
uint64_t fnv1a(const char *text);
