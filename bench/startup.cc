// Start-up cost of quarn++: the driver started with no inputs (it stops at once
// with "no input files") against trivial programs started by the same harness
// in the same run. Each start is fork, exec and wait4; the table gives the
// median and 90th-percentile wall time per start and the peak resident set the
// kernel reports for the child (ru_maxrss). Usage: bench_startup [RUNS]
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "quarn-config.h"

struct subject {
  const char *label;
  std::string path;
  std::vector<double> wall_ms;
  long peak_rss_kib = 0;
  int status = -1;  // exit status of the last run; -1 when it did not exit
};

static double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// One start of `s` with no arguments, standard output and error to /dev/null.
static bool start_once(subject &s, bool record) {
  static char *const envp[] = {const_cast<char *>("LC_ALL=C"), const_cast<char *>("PATH=/usr/bin:/bin"), nullptr};
  char *const argv[] = {const_cast<char *>(s.path.c_str()), nullptr};
  double start = now_ms();
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execve(argv[0], argv, envp);
    _exit(127);
  }
  int status = 0;
  rusage usage = {};
  while (wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return false;
  double elapsed = now_ms() - start;
  s.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (record) {
    s.wall_ms.push_back(elapsed);
    s.peak_rss_kib = std::max(s.peak_rss_kib, usage.ru_maxrss);  // KiB on Linux and FreeBSD
  }
  return s.status != 127;
}

static double percentile(std::vector<double> values, double fraction) {
  std::sort(values.begin(), values.end());
  size_t index = static_cast<size_t>(fraction * (values.size() - 1) + 0.5);
  return values[index];
}

int main(int argc, char **argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 200;
  if (runs < 1) {
    fprintf(stderr, "usage: %s [RUNS]\n", argv[0]);
    return 2;
  }
  std::string stage = QUARN_BENCH_STAGE;
  std::vector<subject> subjects = {
      {"quarn++ (no inputs)", stage + "/bin/quarn++", {}},
      {"stand-in ar", stage + "/" QUARN_TARGET "/bin/ar", {}},
      {"/bin/true", "/bin/true", {}},
  };
  // Warm the page cache, then interleave the subjects so drift hits all alike.
  for (subject &s : subjects)
    for (int i = 0; i < 10; i++)
      if (!start_once(s, false)) {
        fprintf(stderr, "bench_startup: cannot run %s\n", s.path.c_str());
        return 1;
      }
  for (int i = 0; i < runs; i++)
    for (subject &s : subjects) start_once(s, true);

  printf("%d starts each (fork, exec, wait4); peak RSS is the largest ru_maxrss\n\n", runs);
  printf("%-22s %6s %12s %12s %14s\n", "program", "status", "median ms", "p90 ms", "peak RSS KiB");
  for (const subject &s : subjects)
    printf("%-22s %6d %12.3f %12.3f %14ld\n", s.label, s.status, percentile(s.wall_ms, 0.5),
           percentile(s.wall_ms, 0.9), s.peak_rss_kib);
  return 0;
}
