// Builds prefix lists of growing length and walks them: insertion, a full
// walk, a failing file lookup and the list text (walks, lookups and texts
// averaged over repeats). Time per entry stays flat when every step is linear.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>

#include "bench_clock.h"
#include "support/file_lookup.h"

static void *count_candidate(char *, void *data) {
  ++*static_cast<size_t *>(data);
  return nullptr;
}

int main(int argc, char **argv) {
  size_t largest = argc > 1 ? strtoul(argv[1], nullptr, 10) : 1000;
  const int walks = 1000;
  selected_multilib.multilib_subdir = "m";
  selected_multilib.multilib_os_subdir = "o";
  printf("%8s %12s %14s %14s %14s %14s %12s\n", "entries", "insert us", "walk us", "lookup us",
         "text us", "walk ns/cand", "peak KiB");
  for (size_t count = largest / 8; count <= largest; count *= 2) {
    search_path_list list = {.label = "bench"};
    auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < count; i++) {
      std::string prefix = "/nonexistent-quarn-bench/dir" + std::to_string(i) + "/";
      insert_prefix(&list, prefix.c_str(), nullptr, i % 7 == 0 ? PRIO_OPTION : PRIO_STANDARD,
                    static_cast<int>(i % 3), static_cast<int>(i % 2));
    }
    double insert_time = seconds_since(start);

    size_t candidates = 0;
    start = std::chrono::steady_clock::now();
    for (int w = 0; w < walks; w++)
      walk_prefixes(&list, true, 0, count_candidate, &candidates);
    double walk_time = seconds_since(start) / walks;
    candidates /= walks;

    // One access() per candidate: the system calls dominate.
    const int lookups = 20;
    start = std::chrono::steady_clock::now();
    for (int l = 0; l < lookups; l++)
      if (find_in_prefixes(&list, "no-such-file", LOOKUP_READ, true))
        return 1;
    double lookup_time = seconds_since(start) / lookups;

    const int texts = 100;
    free(search_list_text(&list, "LIBRARY_PATH", false, true)); // warm the allocator
    start = std::chrono::steady_clock::now();
    for (int t = 0; t < texts; t++)
      free(search_list_text(&list, "LIBRARY_PATH", false, true));
    double text_time = seconds_since(start) / texts;

    printf("%8zu %12.1f %14.1f %14.1f %14.1f %14.1f %12ld\n", count, insert_time * 1e6,
           walk_time * 1e6, lookup_time * 1e6, text_time * 1e6, walk_time * 1e9 / candidates,
           peak_kib());
  }
  return 0;
}
