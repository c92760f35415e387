// quarn-sim: plays tarn, fell, pell1, moraine, as, tether, ld, cairn, objcopy,
// ar, nm and ranlib, by the name it was started as. Each run is logged, may be
// made to sleep, fail or die by a signal, and then does its job on real files.
#include "sim.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

struct sim_program {
  const char *name;
  int (*job)(const sim_run &run);
};

static const sim_program programs[] = {
    {"tarn", run_compiler},    {"fell", run_compiler},   {"pell1", run_compiler},
    {"moraine", run_compiler}, {"as", run_assembler},    {"tether", run_linker},
    {"ld", run_linker},        {"cairn", run_recorder},  {"objcopy", run_objcopy},
    {"ar", run_recorder},      {"nm", run_recorder},     {"ranlib", run_recorder},
};

static int (*find_job(const char *name))(const sim_run &) {
  for (const sim_program &program : programs)
    if (strcmp(program.name, name) == 0) return program.job;
  return run_recorder;
}

// The number given for this program in an injection list "name:N[,name:N]...",
// or -1 when none is given or the entry is malformed (then it is ignored).
static long injected_value(const char *variable, const char *name, long max) {
  const char *list = getenv(variable);
  if (!list) return -1;
  size_t name_length = strlen(name);
  for (const char *entry = list; *entry;) {
    size_t length = strcspn(entry, ",");
    if (length > name_length && strncmp(entry, name, name_length) == 0 && entry[name_length] == ':') {
      const char *digits = entry + name_length + 1;
      size_t count = length - name_length - 1;
      long value = 0;
      bool valid = count > 0 && count <= 9;
      for (size_t i = 0; valid && i < count; i++) {
        valid = digits[i] >= '0' && digits[i] <= '9';
        value = value * 10 + (digits[i] - '0');
      }
      return valid && value <= max ? value : -1;
    }
    entry += length;
    if (*entry == ',') entry++;
  }
  return -1;
}

static void sleep_seconds(unsigned seconds) {
  while (seconds) seconds = sleep(seconds);
}

// Signals that stop rather than end a process would leave the driver waiting.
static bool stops_process(long signo) {
  return signo == SIGSTOP || signo == SIGTSTP || signo == SIGTTIN || signo == SIGTTOU;
}

static void die_by_signal(int signo) {
  // No core files in the tests' working directories.
  struct rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
#ifdef __linux__
  prctl(PR_SET_DUMPABLE, 0);
#endif
  // A disposition or mask inherited from the parent must not save the program.
  signal(signo, SIG_DFL);
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, signo);
  sigprocmask(SIG_UNBLOCK, &set, nullptr);
  raise(signo);
  // Signals whose default action is to be ignored end up here: carry on, as a
  // real program would.
}

static void inject_failures(const sim_run &run) {
  long seconds = injected_value("QUARN_SIM_SLEEP", run.name, 86400);
  if (seconds > 0) sleep_seconds(static_cast<unsigned>(seconds));
  long signo = injected_value("QUARN_SIM_SIGNAL", run.name, NSIG - 1);
  if (signo > 0 && !stops_process(signo)) die_by_signal(static_cast<int>(signo));
  long status = injected_value("QUARN_SIM_FAIL", run.name, 255);
  if (status >= 0) {
    sim_error(run, "simulated failure");
    exit(static_cast<int>(status));
  }
}

// --help, --help=..., --target-help and --version: one line each, and nothing else.
static bool answer_help(const sim_run &run) {
  bool answered = false;
  for (int i = 1; i < run.argc; i++) {
    const char *word = run.argv[i];
    if (strcmp(word, "--help") == 0 || strncmp(word, "--help=", 7) == 0 ||
        strcmp(word, "--target-help") == 0 || strcmp(word, "--version") == 0) {
      printf("%s (quarn stand-in) %s\n", run.name, word);
      answered = true;
    }
  }
  return answered;
}

int main(int argc, char **argv) {
  const char *name = "quarn-sim";
  if (argc > 0 && argv[0]) {
    const char *slash = strrchr(argv[0], '/');
    name = slash ? slash + 1 : argv[0];
  }
  sim_run run = {name, argc, argv};
  append_log_line(run);
  inject_failures(run);
  if (answer_help(run)) return fflush(stdout) == 0 ? 0 : 1;
  std::vector<char *> words(argv, argv + argc);
  if (!expand_response_files(run, words)) return 1;
  words.push_back(nullptr);
  sim_run expanded = {name, static_cast<int>(words.size() - 1), words.data()};
  return find_job(name)(expanded);
}
