// The stand-in toolchain: one program that plays every sibling the driver runs,
// chosen by the name it was started as.
#pragma once

#include <string>
#include <vector>

// One run of the program: its name (last component of argv[0]) and its argv.
struct sim_run {
  const char *name;
  int argc;
  char **argv;
};

// "NAME: error: MESSAGE" on standard error.
void sim_error(const sim_run &run, const char *format, ...) __attribute__((format(printf, 2, 3)));

// Appends the run's JSON line to the file named by QUARN_SIM_LOG, when set.
void append_log_line(const sim_run &run);

// Replaces every "@FILE" word naming a readable file by the words written in
// it, as the driver's response files write them; other "@" words stay. False
// after a message when the files nest without end.
bool expand_response_files(const sim_run &run, std::vector<char *> &words);

// ---- Files -------------------------------------------------------------------

// "<stdin>" for "-", else the path.
const char *display_name(const char *path);

// Whole-file input and output, "-" being standard input or output; failures
// report their own message.
bool read_input(const sim_run &run, const char *path, std::string &text);
bool write_output(const sim_run &run, const char *path, const std::string &text);

// `text` with `prefix` in front of every line and a newline after the last.
std::string prefixed_lines(const std::string &text, const char *prefix);

// ---- Headers -------------------------------------------------------------------

// Where #include looks, in order: the including file's directory (quoted
// names only), `quote` (-iquote), `user` (-I), then `system` (-isystem and
// -idirafter).
struct sim_include_dirs {
  std::vector<std::string> quote, user, system;
};

struct sim_header {
  std::string path;  // as found: directory and name joined, not normalised
  bool system;       // found in a system directory, or included from such a header
};

// A source with the headers it includes inlined between line markers, each
// header once, and the headers in the order they were first entered.
struct sim_unit {
  std::string text;
  std::vector<sim_header> headers;
};

// Preprocesses `text`, the contents of `input`. Headers that are not found stay
// as their #include lines (the stand-in has no system headers); with
// `list_missing` their names are still listed. False after a message when a
// header found cannot be read.
bool preprocess_unit(const sim_run &run, const char *input, const std::string &text,
                     const sim_include_dirs &dirs, bool list_missing, sim_unit &unit);

// `name` written for make: "$" doubled, blanks and "#" escaped.
std::string make_quoted(const std::string &name);

// "TARGETS: PREREQUISITES", then an empty rule "NAME:" for each of
// `phony_names`, so make goes on when one of them is removed. The names are
// written as given: quote them first.
std::string dependency_rules(const std::vector<std::string> &targets,
                             const std::vector<std::string> &prerequisites,
                             const std::vector<std::string> &phony_names);

// ---- Jobs ----------------------------------------------------------------------

// What each program does with its command line (response files expanded);
// every job returns the exit status.
int run_compiler(const sim_run &run);
int run_assembler(const sim_run &run);
int run_linker(const sim_run &run);
int run_objcopy(const sim_run &run);
int run_recorder(const sim_run &run);
