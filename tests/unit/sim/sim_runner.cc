#include "sim/sim_runner.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "quarn-config.h"

static const char *const tool_names[] = {"as", "ld", "objcopy", "ar", "nm", "ranlib"};

std::string staged_path(const std::string &program) {
  for (const char *tool : tool_names)
    if (program == tool) return std::string(QUARN_TEST_STAGE "/" QUARN_TARGET "/bin/") + program;
  return std::string(QUARN_TEST_STAGE "/libexec/quarn/" TARGET_VERSION_DIR) + program;
}

static FILE *temporary_with(const std::string &text) {
  FILE *file = tmpfile();
  if (!file) throw std::runtime_error("tmpfile failed");
  fwrite(text.data(), 1, text.size(), file);
  fflush(file);
  rewind(file);
  return file;
}

static std::string contents_of(FILE *file) {
  std::string text;
  rewind(file);
  char buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, got);
  fclose(file);
  return text;
}

sim_result run_sim(const sim_call &call, const std::string &cwd) {
  std::string path = staged_path(call.program);
  std::vector<std::string> words = {call.argv0.empty() ? path : call.argv0};
  words.insert(words.end(), call.args.begin(), call.args.end());
  std::vector<char *> argv, envp;
  for (const std::string &word : words) argv.push_back(const_cast<char *>(word.c_str()));
  argv.push_back(nullptr);
  for (const std::string &entry : call.env) envp.push_back(const_cast<char *>(entry.c_str()));
  envp.push_back(nullptr);

  FILE *in = temporary_with(call.input), *out = temporary_with(""), *err = temporary_with("");
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fileno(in), 0);
    dup2(fileno(out), 1);
    dup2(fileno(err), 2);
    if (chdir(cwd.c_str()) != 0) _exit(126);
    if (call.in_child) call.in_child();
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  sim_result result = {-1, "", ""};
  if (pid > 0)
    while (waitpid(pid, &result.status, 0) < 0 && errno == EINTR) {
    }
  fclose(in);
  result.out = contents_of(out);
  result.err = contents_of(err);
  return result;
}

scratch_dir::scratch_dir() {
  const char *tmp = getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarn-sim-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  // The logged working directory is the canonical one.
  path = std::filesystem::canonical(pattern).string();
}

scratch_dir::~scratch_dir() {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

void scratch_dir::write(const std::string &name, const std::string &text) const {
  std::ofstream(file(name), std::ios::binary) << text;
}

std::string scratch_dir::read(const std::string &name) const {
  std::ifstream stream(file(name), std::ios::binary);
  std::stringstream text;
  text << stream.rdbuf();
  return text.str();
}

bool scratch_dir::exists(const std::string &name) const {
  struct stat st;
  return stat(file(name).c_str(), &st) == 0;
}

bool exited_with(const sim_result &result, int status) {
  return WIFEXITED(result.status) && WEXITSTATUS(result.status) == status;
}

bool killed_by(const sim_result &result, int signo) {
  return WIFSIGNALED(result.status) && WTERMSIG(result.status) == signo;
}

std::string describe(const sim_result &result) {
  std::string text = "wait status " + std::to_string(result.status);
  if (WIFEXITED(result.status)) text += " (exit " + std::to_string(WEXITSTATUS(result.status)) + ")";
  if (WIFSIGNALED(result.status)) text += " (signal " + std::to_string(WTERMSIG(result.status)) + ")";
  return text + "\nstdout: " + result.out + "\nstderr: " + result.err;
}

std::vector<std::string> base_env(const std::string &log) {
  return {"LC_ALL=C", "PATH=/usr/bin:/bin", "QUARN_SIM_LOG=" + log};
}
