// What one run of quarn++ costs a build that starts it for every file, against
// the floor of starting a process: a trivial statically linked C program
// started by the same harness in the same run.
//
// 1. Start-up: the trivial program, /bin/true (dynamically linked),
//    `quarn++ -dumpversion`, `quarn++ -### -c hello.cc` and, as a yardstick,
//    the host's `clang++ -### -c hello.cc` when one is on PATH; interleaved,
//    RUNS starts each after ten warm-up starts. Median and 90th-percentile wall
//    time, the median's ratio to the trivial program's, peak RSS.
// 2. The driver's own CPU time (its children excluded) for a full compile and
//    link of hello.cc through the stand-in toolchain, read from the exited
//    child's scheduler statistics before it is reaped; the trivial program's,
//    read the same way, shows what exec and exit alone cost. When strace is on
//    PATH, the driver's system calls of that run are recorded once and
//    replayed by bench_syscall_replay (children replaced by the trivial
//    program), read the same way: the floor of any program making them.
// 3. Growth: the -### run with N inputs and with N switches for N = 1,000,
//    10,000 and 100,000: wall time and peak RSS, and the cost per item above
//    the one-input run.
//
// Every start is fork, exec and wait4 in a scratch directory under $TMPDIR
// (default /tmp), standard streams on /dev/null, the environment reduced to LC_ALL=C, PATH and TMPDIR (the
// scratch directory).
// Usage: bench_driver_startup [RUNS [PARTS]]   (RUNS defaults to 200; PARTS is
// "all" or "quick", which leaves out the growth)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "quarn-config.h"

namespace {

struct outcome {
  double wall_ms = 0;
  double own_cpu_ms = -1;  // -1 when the scheduler statistics are not readable
  long peak_rss_kib = 0;
  int status = -1;  // exit status; -1 when the child did not exit
};

double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The first field of /proc/PID/schedstat: nanoseconds the task itself ran,
// which leaves out the children it waited for (rusage of wait4 includes them).
double own_cpu_ms_of(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/schedstat", static_cast<int>(pid));
  FILE *f = fopen(path, "r");
  if (!f)
    return -1;
  unsigned long long ns = 0;
  int got = fscanf(f, "%llu", &ns);
  fclose(f);
  return got == 1 ? ns / 1e6 : -1;
}

// STACK_MIB raises the child's stack limit before exec, which also raises the
// room the kernel gives the argument words.
outcome start_once(const std::vector<std::string> &words, const std::vector<std::string> &env,
                   bool read_own_cpu, long stack_mib = 0) {
  std::vector<char *> argv, envp;
  for (const std::string &w : words)
    argv.push_back(const_cast<char *>(w.c_str()));
  argv.push_back(nullptr);
  for (const std::string &e : env)
    envp.push_back(const_cast<char *>(e.c_str()));
  envp.push_back(nullptr);

  outcome o;
  double start = now_ms();
  pid_t pid = fork();
  if (pid < 0)
    return o;
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    if (stack_mib > 0) {
      rlimit r = {static_cast<rlim_t>(stack_mib) << 20, RLIM_INFINITY};
      getrlimit(RLIMIT_STACK, &r);
      r.rlim_cur = static_cast<rlim_t>(stack_mib) << 20;
      setrlimit(RLIMIT_STACK, &r);
    }
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  if (read_own_cpu) {
    // Exited but not reaped: its statistics are still there to read.
    siginfo_t info;
    while (waitid(P_PID, pid, &info, WEXITED | WNOWAIT) < 0)
      if (errno != EINTR)
        return o;
    o.own_cpu_ms = own_cpu_ms_of(pid);
  }
  int status = 0;
  rusage usage = {};
  while (wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR)
      return o;
  o.wall_ms = now_ms() - start;
  o.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  o.peak_rss_kib = usage.ru_maxrss;  // KiB on Linux
  return o;
}

double percentile(std::vector<double> values, double fraction) {
  if (values.empty())
    return 0;
  std::sort(values.begin(), values.end());
  return values[static_cast<size_t>(fraction * (values.size() - 1) + 0.5)];
}

struct subject {
  const char *label;
  std::vector<std::string> words;
  std::vector<double> wall_ms;
  long peak_rss_kib = 0;
  int status = -1;
};

std::string find_on_path(const char *name) {
  const char *path = getenv("PATH");
  std::string dirs = path ? path : "/usr/bin:/bin";
  size_t begin = 0;
  while (begin <= dirs.size()) {
    size_t end = dirs.find(':', begin);
    if (end == std::string::npos)
      end = dirs.size();
    std::string candidate = dirs.substr(begin, end - begin) + "/" + name;
    struct stat st;
    if (end > begin && stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0)
      return candidate;
    begin = end + 1;
  }
  return "";
}

// The system calls of one traced run as bench_syscall_replay's operations
// (see bench/syscall_replay.c). Calls of start-up and exit, which the replay
// makes itself, and the waits of its spawns are left out; `unmatched` counts
// the other calls it cannot replay.
std::vector<std::string> replay_ops_from_trace(const char *trace, int *unmatched) {
  static const char *const own[] = {"execve", "brk",         "mmap",  "munmap",         "mprotect",
                                    "arch_prctl", "set_tid_address", "set_robust_list", "rseq",
                                    "getrandom", "exit_group", "wait4", "waitpid"};
  std::vector<std::string> ops;
  *unmatched = 0;
  FILE *f = fopen(trace, "r");
  if (!f)
    return ops;
  char line[16384];
  while (fgets(line, sizeof line, f)) {
    const char *paren = strchr(line, '(');
    if (!paren || line[0] == '-' || line[0] == '+')
      continue;
    std::string call(static_cast<const char *>(line), paren);
    // The first quoted argument: a path, which strace writes in full.
    std::string path;
    if (const char *q = strchr(paren, '"')) {
      const char *end = strchr(q + 1, '"');
      if (end)
        path.assign(q + 1, end);
    }
    const char *after_path = path.empty() ? paren : strchr(paren, '"') + path.size() + 2;
    if (std::find_if(std::begin(own), std::end(own),
                     [&](const char *name) { return call == name; }) != std::end(own))
      continue;
    if (call == "access" || call == "faccessat" || call == "faccessat2") {
      int mode = (strstr(after_path, "R_OK") ? 4 : 0) + (strstr(after_path, "W_OK") ? 2 : 0) +
                 (strstr(after_path, "X_OK") ? 1 : 0);
      ops.push_back("a" + std::to_string(mode) + path);
    } else if (call == "newfstatat" || call == "stat" || call == "statx" || call == "lstat") {
      ops.push_back("s" + path);
    } else if (call == "readlink" || call == "readlinkat") {
      // The C library's own look at /proc/self/exe happens in the replay too.
      if (path != "/proc/self/exe")
        ops.push_back("r" + path);
    } else if (call == "openat" || call == "open") {
      ops.push_back((strstr(after_path, "O_CREAT") ? "c" : "o") + path);
    } else if (call == "close") {
      ops.push_back("x");
    } else if (call == "unlink" || call == "unlinkat") {
      ops.push_back("u" + path);
    } else if (call == "getcwd") {
      ops.push_back("w");
    } else if (call == "rt_sigaction") {
      ops.push_back("g");
    } else if (call == "rt_sigprocmask") {
      ops.push_back("m");
    } else if (call == "prlimit64" || call == "getrlimit" || call == "setrlimit") {
      ops.push_back("l");
    } else if (call == "write") {
      ops.push_back("p");
    } else if (call == "vfork" || call == "fork" || call == "clone" || call == "clone3") {
      ops.push_back("v");
    } else {
      ++*unmatched;
    }
  }
  fclose(f);
  return ops;
}

bool write_file(const char *name, const char *text) {
  FILE *f = fopen(name, "w");
  if (!f)
    return false;
  fputs(text, f);
  return fclose(f) == 0;
}

struct growth_row {
  const char *kind;
  int n;
  double median_ms;
  long peak_rss_kib;
  int status;
};

growth_row measure_growth(const char *kind, int n, const std::vector<std::string> &base,
                          const std::vector<std::string> &env, int runs) {
  std::vector<std::string> words = base;
  for (int i = 0; i < n; i++) {
    if (strcmp(kind, "inputs") == 0)
      words.push_back("hello.cc");
    else
      words.push_back((i % 2 ? "-Idir" : "-DM") + std::to_string(i));
  }
  growth_row row = {kind, n, 0, 0, -1};
  std::vector<double> wall;
  for (int r = 0; r < runs; r++) {
    outcome o = start_once(words, env, false, 1024);
    wall.push_back(o.wall_ms);
    row.peak_rss_kib = std::max(row.peak_rss_kib, o.peak_rss_kib);
    row.status = o.status;
  }
  row.median_ms = percentile(wall, 0.5);
  return row;
}

// Growth with the command line: N inputs and N switches.
void measure_all_growth(const std::string &quarn, const std::vector<std::string> &env) {
  const std::vector<std::string> inputs_base = {quarn, "-###", "-c"};
  const std::vector<std::string> switches_base = {quarn, "-###", "-c", "hello.cc"};
  growth_row one = measure_growth("inputs", 1, inputs_base, env, 21);
  printf("\nGrowth of the -### -c run (one input: %.3f ms, %ld KiB)\n\n", one.median_ms,
         one.peak_rss_kib);
  printf("%-9s %8s %6s %11s %13s %13s %16s\n", "kind", "N", "status", "median ms",
         "peak RSS KiB", "us per item", "bytes per item");
  for (const char *kind : {"inputs", "switches"})
    for (int n : {1000, 10000, 100000}) {
      growth_row row =
          measure_growth(kind, n, strcmp(kind, "inputs") == 0 ? inputs_base : switches_base,
                         env, n >= 100000 ? 3 : 7);
      printf("%-9s %8d %6d %11.2f %13ld %13.3f %16.1f\n", row.kind, row.n, row.status,
             row.median_ms, row.peak_rss_kib, (row.median_ms - one.median_ms) * 1e3 / n,
             (row.peak_rss_kib - one.peak_rss_kib) * 1024.0 / n);
    }
}

}  // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 200;
  const char *parts = argc > 2 ? argv[2] : "all";
  bool quick = strcmp(parts, "quick") == 0;
  if (runs < 1 || (!quick && strcmp(parts, "all") != 0)) {
    fprintf(stderr, "usage: %s [RUNS [all|quick]]\n", argv[0]);
    return 2;
  }
  // The file system of the temporary files weighs: a run makes two or three.
  const char *tmpdir = getenv("TMPDIR");
  std::string scratch_name = std::string(tmpdir && *tmpdir ? tmpdir : "/tmp") +
                             "/bench-driver-startup-XXXXXX";
  std::vector<char> scratch_buffer(scratch_name.begin(), scratch_name.end());
  scratch_buffer.push_back('\0');
  char *scratch = scratch_buffer.data();
  if (!mkdtemp(scratch) || chdir(scratch) != 0 ||
      !write_file("hello.cc", "int main() { return 0; }\n")) {
    perror("bench_driver_startup: scratch directory");
    return 1;
  }
  const std::vector<std::string> env = {"LC_ALL=C", "PATH=/usr/bin:/bin",
                                        std::string("TMPDIR=") + scratch};
  const std::string quarn = std::string(QUARN_BENCH_STAGE) + "/bin/quarn++";

  std::vector<subject> subjects = {
      {"trivial static C", {QUARN_BENCH_TRIVIAL}, {}},
      {"/bin/true", {"/bin/true"}, {}},
      {"quarn++ -dumpversion", {quarn, "-dumpversion"}, {}},
      {"quarn++ -### -c hello.cc", {quarn, "-###", "-c", "hello.cc"}, {}},
  };
  std::string clang = find_on_path("clang++");
  if (!clang.empty())
    subjects.push_back({"clang++ -### -c hello.cc", {clang, "-###", "-c", "hello.cc"}, {}});

  // Warm the page cache, then interleave the subjects so drift hits all alike.
  for (subject &s : subjects)
    for (int i = 0; i < 10; i++)
      if (start_once(s.words, env, false).status == 127) {
        fprintf(stderr, "bench_driver_startup: cannot run %s\n", s.words[0].c_str());
        return 1;
      }
  for (int i = 0; i < runs; i++)
    for (subject &s : subjects) {
      outcome o = start_once(s.words, env, false);
      s.wall_ms.push_back(o.wall_ms);
      s.peak_rss_kib = std::max(s.peak_rss_kib, o.peak_rss_kib);
      s.status = o.status;
    }

  double floor_ms = percentile(subjects[0].wall_ms, 0.5);
  printf("Start-up: %d starts each (fork, exec, wait4), interleaved\n\n", runs);
  printf("%-26s %6s %10s %10s %8s %13s\n", "program", "status", "median ms", "p90 ms",
         "ratio", "peak RSS KiB");
  for (const subject &s : subjects)
    printf("%-26s %6d %10.3f %10.3f %8.2f %13ld\n", s.label, s.status,
           percentile(s.wall_ms, 0.5), percentile(s.wall_ms, 0.9),
           percentile(s.wall_ms, 0.5) / floor_ms, s.peak_rss_kib);

  // A full compile and link through the stand-in toolchain. The scheduler's
  // count also holds what the forked child spends in exec and exit, so the
  // trivial program's own CPU, read the same way and interleaved, is the floor.
  int link_runs = std::max(runs / 4, 5);
  std::vector<double> own, wall, floor_own;
  int link_status = -1;
  const std::vector<std::string> link = {quarn, "hello.cc", "-o", "hello"};
  const std::vector<std::string> trivial = {QUARN_BENCH_TRIVIAL};
  for (int i = 0; i < 5; i++)
    start_once(link, env, true);
  for (int i = 0; i < link_runs; i++) {
    outcome o = start_once(link, env, true);
    own.push_back(o.own_cpu_ms);
    wall.push_back(o.wall_ms);
    link_status = o.status;
    floor_own.push_back(start_once(trivial, env, true).own_cpu_ms);
  }
  printf("\nCompile and link of hello.cc through the stand-in toolchain, %d runs\n", link_runs);
  printf("status %d, driver's own CPU median %.3f ms (p90 %.3f), whole run median %.3f ms\n",
         link_status, percentile(own, 0.5), percentile(own, 0.9), percentile(wall, 0.5));
  printf("trivial program's own CPU, read the same way: median %.3f ms (p90 %.3f)\n",
         percentile(floor_own, 0.5), percentile(floor_own, 0.9));

  // The same system calls made by a program that does nothing else.
  std::string strace = find_on_path("strace");
  if (strace.empty()) {
    printf("strace not on PATH: no replay of the driver's system calls\n");
  } else {
    std::vector<std::string> traced = {strace, "-qq", "-o", "trace.txt"};
    traced.insert(traced.end(), link.begin(), link.end());
    int unmatched = 0;
    std::vector<std::string> replay = {QUARN_BENCH_REPLAY, QUARN_BENCH_TRIVIAL};
    if (start_once(traced, env, false).status == 0) {
      std::vector<std::string> ops = replay_ops_from_trace("trace.txt", &unmatched);
      replay.insert(replay.end(), ops.begin(), ops.end());
    }
    unlink("trace.txt");
    if (replay.size() == 2) {
      printf("the traced run failed: no replay of the driver's system calls\n");
    } else {
      std::vector<double> replay_own, driver_own;
      int replay_status = -1;
      for (int i = 0; i < link_runs; i++) {
        driver_own.push_back(start_once(link, env, true).own_cpu_ms);
        outcome o = start_once(replay, env, true);
        replay_own.push_back(o.own_cpu_ms);
        replay_status = o.status;
      }
      printf("its %zu system calls replayed (%d not replayable), status %d: own CPU median "
             "%.3f ms (p90 %.3f), against the driver's %.3f ms in the same series\n",
             replay.size() - 2, unmatched, replay_status, percentile(replay_own, 0.5),
             percentile(replay_own, 0.9), percentile(driver_own, 0.5));
    }
  }

  // Growth with the command line.
  if (!quick)
    measure_all_growth(quarn, env);

  // Leave nothing behind.
  const char *made[] = {"hello.cc", "hello.o", "hello"};
  for (const char *name : made)
    unlink(name);
  if (chdir("/") != 0 || rmdir(scratch) != 0)
    fprintf(stderr, "bench_driver_startup: %s is not empty\n", scratch);
  return 0;
}
