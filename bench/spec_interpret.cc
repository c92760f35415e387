// Cost of interpreting specs over huge inputs: a %{f*} selection over N
// switches (with a negated test and a %{W*} that finds nothing among them),
// the same with %{fopt-*}, which decides every switch's liveness (the
// override rule looks for a later opposite switch), and a text of N %(NAME)
// references to a short named spec. Sizes 1k, 10k
// and 100k by default; the time per size should grow about 10x per step when
// nothing is quadratic. No command runs: expand_spec only builds arguments.
// Usage: bench_spec_interpret [RUNS] [LARGEST] (sizes LARGEST/100, /10 and
// LARGEST itself)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench_clock.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"

namespace {

std::vector<std::string> switch_texts;

// N switches: -f options mostly, some -D macros and -O levels among them.
void make_switches(int n) {
  driver_state_reset();
  reset_spec_state();
  switch_texts.assign(n, std::string());
  for (int i = 0; i < n; i++) {
    switch (i % 8) {
    case 0: switch_texts[i] = "-DMACRO_" + std::to_string(i); break;
    case 1: switch_texts[i] = "-O" + std::to_string(i % 3); break;
    default: switch_texts[i] = "-fopt-" + std::to_string(i); break;
    }
    record_switch(switch_texts[i].c_str(), 0, nullptr, false, true);
  }
  terminate_tables();
}

struct reading {
  double ms;
  size_t words;
};

reading time_expand(const char *text) {
  auto start = std::chrono::steady_clock::now();
  expand_spec(text, nullptr);
  return {seconds_since(start) * 1e3, interpreter.command_args.count};
}

reading median(std::vector<reading> readings) {
  std::sort(readings.begin(), readings.end(),
            [](const reading &a, const reading &b) { return a.ms < b.ms; });
  return readings[readings.size() / 2];
}

} // namespace

int main(int argc, char **argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 5;
  int largest = argc > 2 ? atoi(argv[2]) : 100000;
  if (runs < 1 || largest < 100) {
    fprintf(stderr, "usage: %s [RUNS] [LARGEST]\n", argv[0]);
    return 2;
  }
  progname = "bench_spec_interpret";
  diag_context_init(global_dc);
  init_spec_state();
  init_builtin_specs();
  define_spec("piece", "-x%{v:-v}", false);

  const int sizes[] = {largest / 100, largest / 10, largest};
  double selection_ms[3] = {}, deciding_ms[3] = {}, reference_ms[3] = {};
  printf("%8s %12s %8s %14s %8s %12s %8s %10s\n", "N", "%{f*} ms", "words", "%{fopt-*} ms",
         "words", "%(NAME) ms", "words", "peak KiB");
  for (int k = 0; k < 3; k++) {
    int n = sizes[k];
    std::vector<reading> selection, deciding, references;
    std::string named;
    for (int i = 0; i < n; i++)
      named += "%(piece) ";
    for (int r = 0; r < runs; r++) {
      make_switches(n);
      selection.push_back(time_expand("tool %{f*} %{!fnone:-plain} %{W*}"));
      make_switches(n);
      deciding.push_back(time_expand("tool %{fopt-*}"));
      // The references run without switches: each one's group scans them.
      make_switches(0);
      references.push_back(time_expand(named.c_str()));
    }
    reading s = median(selection), d = median(deciding), ref = median(references);
    selection_ms[k] = s.ms;
    deciding_ms[k] = d.ms;
    reference_ms[k] = ref.ms;
    printf("%8d %12.2f %8zu %14.2f %8zu %12.2f %8zu %10ld\n", n, s.ms, s.words, d.ms, d.words,
           ref.ms, ref.words, peak_kib());
  }
  printf("growth per 10x: %%{f*} x%.1f x%.1f, %%{fopt-*} x%.1f x%.1f, %%(NAME) x%.1f x%.1f\n",
         selection_ms[1] / selection_ms[0], selection_ms[2] / selection_ms[1],
         deciding_ms[1] / deciding_ms[0], deciding_ms[2] / deciding_ms[1],
         reference_ms[1] / reference_ms[0], reference_ms[2] / reference_ms[1]);
  return 0;
}
