// Timing and memory readings the benchmarks share.
#pragma once

#include <chrono>
#include <sys/resource.h>

inline double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Largest resident set of this process so far.
inline long peak_kib() {
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss;
}
