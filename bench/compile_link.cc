// What the compile loop and the link step cost: quarn++ run as a build runs
// it, each run against a trivial statically linked program started the same
// way (same arguments, environment and directory) in the same run.
//
// 1. `quarn++ -### -c hello.cc`: the whole driver up to the commands it would
//    run, nothing started.
// 2. `quarn++ hello.cc -o hello`: a real compile and link through the
//    stand-in toolchain (compiler, assembler, linker wrapper).
// 3. `quarn++ -### f1.cc ... fN.cc -o prog` for N = 10, 100 and 1,000.
//
// For every subject: the median wall time of fork, exec and wait4, the
// median CPU time (user + system) and the peak resident set the kernel
// reports for the process and everything it waited for, and the median's
// ratio to the trivial program's. The driver's own CPU time is the whole
// run's minus its children's; the children's times come from the driver's
// own -time= report, which records each child's rusage as the driver reaps
// it (a separate series of runs, so the timed runs carry no report).
//
// Every start has its standard streams on /dev/null and the environment
// LC_ALL=C, PATH=/usr/bin:/bin and TMPDIR, a directory in the scratch
// directory, which is made under PARENT (/tmp by default). Each temporary
// name is a file the driver creates, also under -###, so the file system
// under PARENT shows in the figures: compare a disk with a tmpfs.
// Usage: bench_compile_link [RUNS [PARENT]]     (RUNS defaults to 100; the
// 1,000-input run is repeated RUNS/10 times, at least 5)
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

struct run_sample {
  double wall_ms;
  double cpu_ms;  // user + system of the process and its reaped descendants
  long peak_rss_kib;
  int status;     // exit status, or -1 when the process did not exit
};

struct subject {
  std::string label;
  std::vector<std::string> argv;
  int runs;
  const subject *floor;  // the trivial program started the same way, or none
  bool report_children;  // also run it with -time= to split off the children
  std::vector<run_sample> samples;
  std::vector<double> own_cpu_ms, children_cpu_ms;  // from the -time= runs
};

static std::string scratch_dir;
static std::string report_file;

static double now_ms() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

static double timeval_ms(const timeval &t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; }

static bool start_once(const std::vector<std::string> &words, run_sample &out) {
  std::string tmpdir = "TMPDIR=" + scratch_dir + "/tmp";
  char *const envp[] = {const_cast<char *>("LC_ALL=C"), const_cast<char *>("PATH=/usr/bin:/bin"),
                        const_cast<char *>(tmpdir.c_str()), nullptr};
  std::vector<char *> argv;
  for (const std::string &word : words) argv.push_back(const_cast<char *>(word.c_str()));
  argv.push_back(nullptr);
  double start = now_ms();
  pid_t pid = fork();
  if (pid < 0) return false;
  if (pid == 0) {
    int null = open("/dev/null", O_RDWR);
    if (null < 0 || chdir(scratch_dir.c_str()) != 0) _exit(126);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    execve(argv[0], argv.data(), envp);
    _exit(127);
  }
  int status = 0;
  rusage usage = {};
  while (wait4(pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return false;
  out.wall_ms = now_ms() - start;
  out.cpu_ms = timeval_ms(usage.ru_utime) + timeval_ms(usage.ru_stime);
  out.peak_rss_kib = usage.ru_maxrss;  // KiB on Linux and FreeBSD
  out.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return out.status != 126 && out.status != 127;
}

// The children's user + system time from a -time= report: each line begins
// with the user and system seconds of one child.
static double reported_children_ms(const std::string &path) {
  FILE *report = fopen(path.c_str(), "r");
  if (!report) return 0;
  double total = 0, user, system;
  char line[8192];
  while (fgets(line, sizeof line, report))
    if (sscanf(line, "%lf %lf", &user, &system) == 2) total += (user + system) * 1e3;
  fclose(report);
  return total;
}

static bool run_subject(subject &s, bool record) {
  run_sample sample;
  if (!start_once(s.argv, sample)) return false;
  if (record) s.samples.push_back(sample);
  if (!s.report_children) return true;
  std::vector<std::string> timed = s.argv;
  timed.insert(timed.begin() + 1, "-time=" + report_file);
  unlink(report_file.c_str());
  if (!start_once(timed, sample)) return false;
  if (record) {
    double children = reported_children_ms(report_file);
    s.children_cpu_ms.push_back(children);
    s.own_cpu_ms.push_back(sample.cpu_ms - children);
  }
  return true;
}

static double median(std::vector<double> values) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  size_t middle = values.size() / 2;
  return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

static double median_wall(const subject &s) {
  std::vector<double> values;
  for (const run_sample &sample : s.samples) values.push_back(sample.wall_ms);
  return median(values);
}

static double median_cpu(const subject &s) {
  std::vector<double> values;
  for (const run_sample &sample : s.samples) values.push_back(sample.cpu_ms);
  return median(values);
}

static double median_own_cpu(const subject &s) {
  return s.report_children ? median(s.own_cpu_ms) : median_cpu(s);
}

static long peak_rss(const subject &s) {
  long peak = 0;
  for (const run_sample &sample : s.samples) peak = std::max(peak, sample.peak_rss_kib);
  return peak;
}

static bool write_file(const std::string &path, const char *text) {
  FILE *file = fopen(path.c_str(), "w");
  if (!file) return false;
  bool ok = fputs(text, file) >= 0;
  return fclose(file) == 0 && ok;
}

// False, after a message, when the driver left a file in the temporary directory.
static bool remove_scratch(int inputs) {
  for (int i = 1; i <= inputs; i++) unlink((scratch_dir + "/f" + std::to_string(i) + ".cc").c_str());
  for (const char *name : {"/hello.cc", "/hello", "/times"}) unlink((scratch_dir + name).c_str());
  bool clean = rmdir((scratch_dir + "/tmp").c_str()) == 0;
  if (!clean) fprintf(stderr, "bench_compile_link: files left in %s/tmp\n", scratch_dir.c_str());
  rmdir(scratch_dir.c_str());
  return clean;
}

static subject make_subject(const std::string &label, std::vector<std::string> argv, int runs,
                            bool report_children = false) {
  return subject{label, std::move(argv), runs, nullptr, report_children, {}, {}, {}};
}

int main(int argc, char **argv) {
  int runs = argc > 1 ? atoi(argv[1]) : 100;
  if (runs < 1) {
    fprintf(stderr, "usage: %s [RUNS [PARENT]]\n", argv[0]);
    return 2;
  }
  std::string scratch_template = std::string(argc > 2 ? argv[2] : "/tmp") + "/quarn-bench-XXXXXX";
  if (!mkdtemp(scratch_template.data())) {
    perror("bench_compile_link: mkdtemp");
    return 1;
  }
  scratch_dir = scratch_template;
  report_file = scratch_dir + "/times";
  const int sizes[] = {10, 100, 1000};
  const int most_inputs = sizes[2];
  bool ok = mkdir((scratch_dir + "/tmp").c_str(), 0700) == 0 &&
            write_file(scratch_dir + "/hello.cc", "int main() { return 0; }\n");
  for (int i = 1; ok && i <= most_inputs; i++)
    ok = write_file(scratch_dir + "/f" + std::to_string(i) + ".cc",
                    ("int f" + std::to_string(i) + "() { return " + std::to_string(i) + "; }\n").c_str());
  if (!ok) {
    fprintf(stderr, "bench_compile_link: cannot write the inputs in %s\n", scratch_dir.c_str());
    remove_scratch(most_inputs);
    return 1;
  }

  const std::string driver = QUARN_BENCH_STAGE "/bin/quarn++";
  const std::string trivial = QUARN_BENCH_TRIVIAL;
  // Pairs of subjects: the driver's run, then the trivial program given the
  // same words. Reserved so the floor pointers stay valid.
  std::vector<subject> subjects;
  subjects.reserve(2 * (2 + std::size(sizes)));
  auto add_pair = [&](const std::string &label, std::vector<std::string> words, int count,
                      bool report_children) {
    subjects.push_back(make_subject(label, words, count, report_children));
    words[0] = trivial;
    subjects.push_back(make_subject("  trivial, same words", words, count));
    subjects[subjects.size() - 2].floor = &subjects.back();
  };
  add_pair("quarn++ -### -c hello.cc", {driver, "-###", "-c", "hello.cc"}, runs, false);
  add_pair("quarn++ hello.cc -o hello", {driver, "hello.cc", "-o", "hello"}, runs, true);
  for (int size : sizes) {
    std::vector<std::string> words = {driver, "-###"};
    for (int i = 1; i <= size; i++) words.push_back("f" + std::to_string(i) + ".cc");
    words.push_back("-o");
    words.push_back("prog");
    int count = size < most_inputs ? runs : std::max(5, runs / 10);
    add_pair("quarn++ -### " + std::to_string(size) + " inputs -o prog", words, count, false);
  }

  // Warm the page cache, then interleave the subjects so that drift on a
  // shared machine hits all of them alike.
  for (subject &s : subjects)
    for (int i = 0; i < 3; i++)
      if (!run_subject(s, false)) {
        fprintf(stderr, "bench_compile_link: cannot run %s\n", s.argv[0].c_str());
        remove_scratch(most_inputs);
        return 1;
      }
  for (int i = 0; i < runs; i++)
    for (subject &s : subjects)
      if (i < s.runs) run_subject(s, true);

  // On a loaded machine the wall times carry the waits for a processor; the
  // CPU times and their ratio do not.
  printf("%-34s %5s %6s %10s %8s %10s %8s %11s %9s\n", "subject", "runs", "status", "median ms", "ratio",
         "CPU ms", "ratio", "own CPU ms", "peak KiB");
  for (const subject &s : subjects) {
    double wall = median_wall(s), cpu = median_cpu(s);
    char wall_ratio[32] = "", cpu_ratio[32] = "";
    if (s.floor) {
      snprintf(wall_ratio, sizeof wall_ratio, "%.1fx", wall / median_wall(*s.floor));
      snprintf(cpu_ratio, sizeof cpu_ratio, "%.1fx", cpu / median_cpu(*s.floor));
    }
    printf("%-34s %5zu %6d %10.3f %8s %10.3f %8s %11.3f %9ld\n", s.label.c_str(), s.samples.size(),
           s.samples.back().status, wall, wall_ratio, cpu, cpu_ratio, median_own_cpu(s), peak_rss(s));
  }

  // Growth with the inputs: the driver's own CPU time per input above the
  // one-source -### run, which should stay flat when nothing is quadratic.
  double base = median_own_cpu(subjects[0]);
  printf("\nown CPU per input above the one-source -### run:");
  for (size_t i = 0; i < std::size(sizes); i++)
    printf("  N=%d: %.1f us", sizes[i], (median_own_cpu(subjects[4 + 2 * i]) - base) * 1e3 / sizes[i]);
  printf("\nchildren of the full run (from -time=): %.3f ms of CPU\n", median(subjects[2].children_cpu_ms));
  return remove_scratch(most_inputs) ? 0 : 1;
}
