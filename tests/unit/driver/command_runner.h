// Runs process_command on an argument vector in a fresh child process (the
// driver's state is process-wide) and hands back what it left: every table and
// name as text lines grouped by section, plus standard error and the status.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

struct command_result {
  // Exit status of the child: 0 after process_command returned, else the
  // status a fatal error or an answered query ended it with.
  int status = -1;
  std::string out;
  std::string err;
  // "switches": "-o a.out", "-pipe (accepted)", "-fnone (unrecognized)".
  // "inputs": "foo.c", "-lm [*]". "asm", "cpp", "link": the option lists.
  // "program", "library", "header": "prefix p<priority> s<suffix_mode> o<use_os_dir>".
  // "values": "name=value" for the scalar driver state.
  std::map<std::string, std::vector<std::string>> sections;

  const std::vector<std::string> &operator[](const std::string &section) {
    return sections[section];
  }
  // One "name=value" entry of "values"; "(unset)" when absent.
  std::string value(const std::string &name) const;
};

typedef std::vector<std::pair<std::string, std::string>> env_list;

// args[0] is the program name; "/usr/local/pell12/bin/quarn++" when args is
// empty. The variables the driver reads are unset unless env sets them.
command_result run_command(std::vector<std::string> args, const env_list &env = {},
                           const std::string &cwd = "");

// Same, but only decodes and runs the language driver; "options" holds each
// resulting option as its canonical words joined by spaces.
command_result run_lang_driver(std::vector<std::string> args);
