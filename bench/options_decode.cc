// Cost of the option layer: decoding a command line of N mixed words
// (default N = 10,000, also N/2 and 2N to show the growth) with the driver
// class, and building the candidate list of suggestions and completions once.
// Each measurement runs in a fresh child so its peak resident set (ru_maxrss)
// is its own; the "baseline" child only loads the program.
// Usage: bench_options_decode [N] [RUNS]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "options/opt-suggestions.h"
#include "options/opts.h"

// Options of every kind the decoder meets: plain, negated, joined, separate,
// aliases, respellings, integers, enumerated values, wrong-language rows,
// inputs, an unknown word, a --param with a space.
static const char *const mix[] = {
    "-O2", "-Wall", "-fno-exceptions", "-o", "out.o", "-I/usr/include/x", "-DNAME=1",
    "--param", "max-unroll-times=4", "-fdiagnostics-color=never", "-march=armv8-a",
    "-std=c++17", "-fsanitize=address,undefined", "file.cc", "-Wl,-rpath,/opt/lib",
    "-fmax-errors=10", "-Wno-unused", "--optimize=2", "-pie", "-g3", "-mno-strict-align",
    "-fbogus-option", "-Wlarger-than=4KiB", "-lm", "-x", "c++", "-fPIC", "-MD", "-c",
    "--help=warnings", "-fvisibility=hidden", "-Wformat=2"};

static std::vector<std::string> make_words(size_t n) {
  std::vector<std::string> words{"quarn++"};
  for (size_t i = 0; words.size() <= n; i++)
    words.push_back(mix[i % (sizeof mix / sizeof mix[0])]);
  return words;
}

static double now_seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct measurement {
  double seconds; // median over the runs
  double count;   // records, or candidates
  long peak_kib;
};

// Runs one measurement in a child and reads its result back through a pipe.
template <typename F> static measurement in_child(F body) {
  int fds[2];
  if (pipe(fds) != 0)
    exit(1);
  pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    measurement m = body();
    struct rusage usage;
    getrusage(RUSAGE_SELF, &usage);
    if (m.peak_kib == 0)
      m.peak_kib = usage.ru_maxrss;
    if (write(fds[1], &m, sizeof m) != static_cast<ssize_t>(sizeof m))
      _exit(1);
    _exit(0);
  }
  close(fds[1]);
  measurement m{};
  if (read(fds[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m))
    exit(1);
  close(fds[0]);
  waitpid(pid, nullptr, 0);
  return m;
}

static double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

static measurement decode(size_t n, int runs) {
  std::vector<std::string> words = make_words(n);
  std::vector<const char *> argv;
  for (const std::string &w : words)
    argv.push_back(w.c_str());
  argv.push_back(nullptr);
  std::vector<double> times;
  unsigned count = 0;
  init_options_storage();
  // The first decoding alone sets the peak; the repeats only add pool copies.
  struct rusage usage;
  long peak = 0;
  for (int r = 0; r < runs; r++) {
    decoded_option *decoded;
    double start = now_seconds();
    decode_argv_options(static_cast<unsigned>(words.size()), argv.data(), CL_DRIVER, &decoded,
                        &count);
    times.push_back(now_seconds() - start);
    free(decoded);
    if (r == 0) {
      getrusage(RUSAGE_SELF, &usage);
      peak = usage.ru_maxrss;
    }
  }
  return {median(times), static_cast<double>(count), peak};
}

static measurement build_suggestions(int runs) {
  std::vector<double> times;
  size_t count = 0;
  for (int r = 0; r < runs; r++) {
    spelling_proposer proposer;
    double start = now_seconds();
    suggest_option(&proposer, "fno-exeptions"); // builds the list, then one search
    times.push_back(now_seconds() - start);
    count = proposer.candidates.count;
  }
  return {median(times), static_cast<double>(count), 0};
}

int main(int argc, char **argv) {
  size_t n = argc > 1 ? strtoul(argv[1], nullptr, 10) : 10000;
  int runs = argc > 2 ? atoi(argv[2]) : 21;

  measurement baseline = in_child([] { return measurement{}; });
  printf("%-34s %12s %12s %12s %14s\n", "measurement", "count", "median ms", "ns/item",
         "peak KiB (+)");
  printf("%-34s %12s %12s %12s %8ld\n", "baseline (program loaded)", "-", "-", "-",
         baseline.peak_kib);
  for (size_t size : {n / 2, n, 2 * n}) {
    measurement m = in_child([&] { return decode(size, runs); });
    std::string label = "decode " + std::to_string(size) + " words";
    printf("%-34s %12.0f %12.3f %12.1f %8ld (+%ld)\n", label.c_str(), m.count, m.seconds * 1e3,
           m.seconds * 1e9 / static_cast<double>(size), m.peak_kib,
           m.peak_kib - baseline.peak_kib);
  }
  measurement s = in_child([&] { return build_suggestions(runs); });
  printf("%-34s %12.0f %12.3f %12.1f %8ld (+%ld)\n", "build suggestion list + 1 search",
         s.count, s.seconds * 1e3, s.seconds * 1e9 / s.count, s.peak_kib,
         s.peak_kib - baseline.peak_kib);
  return 0;
}
