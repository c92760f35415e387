// Cost of digesting a huge command line: process_command over N switches and N
// inputs (default N = 10,000), in a fresh child per size so the process-wide
// state starts empty each time. Decoding is timed separately; the table also
// gives the child's peak resident set (ru_maxrss; the baseline is the child's
// before it builds the command line, the words included in the peak) and, for
// the sizes N/2, N and 2N, how the time grows (about 2x per doubling when
// nothing is quadratic).
// Usage: bench_process_command [N] [RUNS]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "driver/process_command.h"
#include "options/opts.h"

struct sample {
  double decode_ms;
  double process_ms;
  long peak_rss_kib;
  long baseline_rss_kib;
  int switches;
  int inputs;
};

static double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// Switches of several kinds (wrong-language options with arguments, options
// the table does not know, driver options saved as they stand), linker words
// among the inputs, and an existing output so that every input is compared
// with it.
static std::vector<std::string> command_line(int n, const std::string &output) {
  std::vector<std::string> words = {"/usr/local/pell12/bin/quarn++", "-o", output};
  for (int i = 0; i < n; i++) {
    switch (i % 4) {
    case 0: words.push_back("-DMACRO_" + std::to_string(i)); break;
    case 1: words.push_back("-I/usr/include/dir" + std::to_string(i)); break;
    case 2: words.push_back("-fno-such-option-" + std::to_string(i)); break;
    case 3: words.push_back("-L/usr/lib/dir" + std::to_string(i)); break;
    }
    words.push_back(i % 10 == 9 ? "-Wl,-rpath," + std::to_string(i)
                                : "src/file" + std::to_string(i) + ".c");
  }
  return words;
}

static sample run_once(int n, const std::string &output) {
  int pipe_fds[2];
  if (pipe(pipe_fds) != 0)
    exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    rusage before = {};
    getrusage(RUSAGE_SELF, &before);
    std::vector<std::string> words = command_line(n, output);
    std::vector<const char *> argv;
    for (const std::string &word : words)
      argv.push_back(word.c_str());
    argv.push_back(nullptr);
    progname = "quarn++";
    diag_context_init(global_dc);
    init_options_storage();
    sample s = {};
    double start = now_ms();
    decoded_option *decoded = nullptr;
    unsigned count = 0;
    decode_argv_options(words.size(), argv.data(), CL_DRIVER, &decoded, &count);
    double decoded_at = now_ms();
    process_command(&count, &decoded);
    double done = now_ms();
    rusage usage = {};
    getrusage(RUSAGE_SELF, &usage);
    s = {decoded_at - start, done - decoded_at, usage.ru_maxrss, before.ru_maxrss,
         driver.switches.count, driver.inputs.count};
    if (write(pipe_fds[1], &s, sizeof s) != sizeof s)
      _exit(1);
    _exit(0);
  }
  close(pipe_fds[1]);
  sample s = {};
  bool ok = read(pipe_fds[0], &s, sizeof s) == sizeof s;
  close(pipe_fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!ok || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    fprintf(stderr, "bench_process_command: the child failed for N=%d\n", n);
    exit(1);
  }
  return s;
}

int main(int argc, char **argv) {
  int n = argc > 1 ? atoi(argv[1]) : 10000;
  int runs = argc > 2 ? atoi(argv[2]) : 5;
  if (n < 2 || runs < 1) {
    fprintf(stderr, "usage: %s [N] [RUNS]\n", argv[0]);
    return 2;
  }
  char dir[] = "/tmp/bench-process-command-XXXXXX";
  if (!mkdtemp(dir))
    return 1;
  std::string output = std::string(dir) + "/a.out";
  if (FILE *f = fopen(output.c_str(), "w"))
    fclose(f);

  printf("%8s %9s %8s %11s %11s %13s %13s\n", "N", "switches", "inputs", "decode ms",
         "process ms", "peak RSS KiB", "baseline KiB");
  double per_size[3] = {};
  const int sizes[3] = {n / 2, n, 2 * n};
  for (int k = 0; k < 3; k++) {
    std::vector<sample> samples;
    for (int r = 0; r < runs; r++)
      samples.push_back(run_once(sizes[k], output));
    std::sort(samples.begin(), samples.end(),
              [](const sample &a, const sample &b) { return a.process_ms < b.process_ms; });
    const sample &median = samples[samples.size() / 2];
    per_size[k] = median.process_ms;
    printf("%8d %9d %8d %11.2f %11.2f %13ld %13ld\n", sizes[k], median.switches, median.inputs,
           median.decode_ms, median.process_ms, median.peak_rss_kib, median.baseline_rss_kib);
  }
  printf("growth of process_command: N/2 -> N x%.2f, N -> 2N x%.2f\n", per_size[1] / per_size[0],
         per_size[2] / per_size[1]);
  unlink(output.c_str());
  rmdir(dir);
  return 0;
}
