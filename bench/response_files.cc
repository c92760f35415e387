// Expands a response file of many short arguments and writes them back, at
// growing sizes: time per argument stays flat when both directions are linear.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

#include "bench_clock.h"
#include "support/response_files.h"

// A file of `count` short arguments, a few of them with a space to escape;
// written one argument at a time so that making it costs no memory.
static std::string make_file(const std::string &dir, size_t count) {
  std::string path = dir + "/args" + std::to_string(count);
  FILE *stream = fopen(path.c_str(), "w");
  for (size_t i = 0; stream && i < count; i++) {
    std::string word = (i % 10 == 0 ? "a b" : "-w") + std::to_string(i);
    const char *one[] = {word.c_str(), nullptr};
    if (write_response_file(one, stream) != 0) {
      fclose(stream);
      stream = nullptr;
    }
  }
  if (!stream) {
    fprintf(stderr, "cannot write %s\n", path.c_str());
    exit(1);
  }
  fclose(stream);
  return path;
}

int main(int argc, char **argv) {
  size_t largest = argc > 1 ? strtoul(argv[1], nullptr, 10) : 1000000;
  char pattern[] = "/tmp/quarn-bench-rsp-XXXXXX";
  if (!mkdtemp(pattern)) {
    perror("mkdtemp");
    return 1;
  }
  printf("%10s %12s %12s %12s %12s %14s\n", "arguments", "expand s", "write s", "expand ns/arg",
         "write ns/arg", "peak RSS KiB");
  for (size_t count = largest / 8; count <= largest; count *= 2) {
    std::string path = make_file(pattern, count);
    std::string at = "@" + path;
    char *start_argv[] = {const_cast<char *>("bench"), at.data(), nullptr};
    int new_argc = 2;
    char **new_argv = start_argv;

    auto start = std::chrono::steady_clock::now();
    expand_response_files(&new_argc, &new_argv);
    double expand_time = seconds_since(start);
    if (static_cast<size_t>(new_argc) != count + 1) {
      fprintf(stderr, "expanded to %d arguments, wanted %zu\n", new_argc, count + 1);
      return 1;
    }

    FILE *out = fopen((path + ".out").c_str(), "w");
    start = std::chrono::steady_clock::now();
    int failed = write_response_file(new_argv + 1, out);
    fclose(out);
    double write_time = seconds_since(start);
    if (failed)
      return 1;

    printf("%10zu %12.4f %12.4f %12.1f %12.1f %14ld\n", count, expand_time, write_time,
           expand_time * 1e9 / count, write_time * 1e9 / count, peak_kib());
    for (int i = 0; i < new_argc; i++)
      free(new_argv[i]);
    free(new_argv);
    unlink(path.c_str());
    unlink((path + ".out").c_str());
  }
  rmdir(pattern);
  return 0;
}
