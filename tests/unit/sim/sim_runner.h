// Runs a staged stand-in program in a child process with a controlled
// environment, working directory and standard input, and collects what it did.
#pragma once

#include <functional>
#include <string>
#include <vector>

struct sim_call {
  std::string program;            // "tarn", "as", ...: the staged copy of that name
  std::vector<std::string> args;  // argv[1..]
  std::vector<std::string> env;   // the whole environment, "NAME=value" each
  std::string input;              // standard input
  std::string argv0;              // argv[0]; the program's full path when empty
  std::function<void()> in_child; // extra set-up in the child before exec
};

struct sim_result {
  int status;  // as waitpid gives it
  std::string out, err;
};

// Full path of the staged copy named `program`.
std::string staged_path(const std::string &program);

sim_result run_sim(const sim_call &call, const std::string &cwd);

// A fresh directory removed again by the destructor.
struct scratch_dir {
  std::string path;
  scratch_dir();
  ~scratch_dir();
  std::string file(const std::string &name) const { return path + "/" + name; }
  void write(const std::string &name, const std::string &text) const;
  std::string read(const std::string &name) const;
  bool exists(const std::string &name) const;
};

// Status, standard output and standard error, for failure messages.
std::string describe(const sim_result &result);

// The environment every test starts from: the C locale, a minimal PATH and the
// run log in `dir`.
std::vector<std::string> base_env(const std::string &log);

bool exited_with(const sim_result &result, int status);
bool killed_by(const sim_result &result, int signo);
