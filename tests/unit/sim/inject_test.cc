// Failure injection through QUARN_SIM_FAIL, QUARN_SIM_SIGNAL and QUARN_SIM_SLEEP,
// and the one-line answers to --help, --version and --target-help.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "sim/sim_runner.h"

// Compiles a.c with `env` added; the log line must exist whatever happens.
static sim_result compile_with(const scratch_dir &dir, const std::vector<std::string> &env,
                               std::function<void()> in_child = nullptr) {
  dir.write("a.c", "int a;\n");
  sim_call call = {"tarn", {"a.c", "-o", "a.s"}, base_env(dir.file("log")), "", "", in_child};
  call.env.insert(call.env.end(), env.begin(), env.end());
  sim_result result = run_sim(call, dir.path);
  EXPECT_EQ(dir.read("log").rfind("{\"name\":\"tarn\",", 0), 0u) << "no log line";
  return result;
}

struct fail_case {
  const char *value;
  int status;
};

static const fail_case fail_cases[] = {
    {"tarn:3", 3}, {"as:2,tarn:7", 7}, {"tarn:4,as:2", 4}, {"tarn:0", 0}, {"tarn:255", 255},
    {"tarn:1,tarn:9", 1},  // the first entry for a name decides
};

class sim_fail : public ::testing::TestWithParam<fail_case> {};

TEST_P(sim_fail, exits_with_status_after_message) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {std::string("QUARN_SIM_FAIL=") + GetParam().value});
  EXPECT_TRUE(exited_with(result, GetParam().status)) << describe(result);
  EXPECT_EQ(result.err, "tarn: error: simulated failure\n");
  EXPECT_FALSE(dir.exists("a.s"));
}

INSTANTIATE_TEST_SUITE_P(cases, sim_fail, ::testing::ValuesIn(fail_cases));

static std::string entry(const char *name, int value) { return std::string(name) + ":" + std::to_string(value); }

// Values that name another program or cannot be read: the run goes on normally.
static std::vector<std::string> ignored_values(const char *variable) {
  std::vector<std::string> values = {
      "",          "as:3",     "tarn",       "tarn:",      "tarn:x",      "tarn:-1",
      ":3",        ",,,",      "tarn:3x",    "tarn: 3",    "tarn:+3",     "tar:3",
      "tarnx:3",   "xtarn:3",  "TARN:3",     "tarn:99999999999999999999",
      "tarn:3:4",  "/path/tarn:3",
  };
  if (std::string(variable) == "QUARN_SIM_FAIL") values.push_back("tarn:256");
  if (std::string(variable) == "QUARN_SIM_SIGNAL") {
    values.push_back("tarn:0");
    values.push_back(entry("tarn", NSIG));
    // Stopping would leave the driver waiting for ever.
    for (int signo : {SIGSTOP, SIGTSTP, SIGTTIN, SIGTTOU}) values.push_back(entry("tarn", signo));
    // Signals ignored by default end nothing.
    for (int signo : {SIGCHLD, SIGURG, SIGWINCH}) values.push_back(entry("tarn", signo));
  }
  if (std::string(variable) == "QUARN_SIM_SLEEP") values.push_back("tarn:0");
  return values;
}

class sim_ignored_injection : public ::testing::TestWithParam<const char *> {};

TEST_P(sim_ignored_injection, run_goes_on) {
  for (const std::string &value : ignored_values(GetParam())) {
    scratch_dir dir;
    sim_result result = compile_with(dir, {std::string(GetParam()) + "=" + value});
    EXPECT_TRUE(exited_with(result, 0)) << value << ": " << describe(result);
    EXPECT_EQ(result.err, "") << value;
    EXPECT_EQ(dir.read("a.s").rfind("// tarn (quarn stand-in) compiled a.c\n", 0), 0u) << value;
  }
}

INSTANTIATE_TEST_SUITE_P(variables, sim_ignored_injection,
                         ::testing::Values("QUARN_SIM_FAIL", "QUARN_SIM_SIGNAL", "QUARN_SIM_SLEEP"));

class sim_signal : public ::testing::TestWithParam<int> {};

TEST_P(sim_signal, ends_program_by_signal) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {"QUARN_SIM_SIGNAL=" + entry("tarn", GetParam())});
  EXPECT_TRUE(killed_by(result, GetParam())) << describe(result);
  EXPECT_FALSE(dir.exists("a.s"));
}

INSTANTIATE_TEST_SUITE_P(signals, sim_signal,
                         ::testing::Values(SIGTERM, SIGKILL, SIGSEGV, SIGABRT, SIGPIPE, SIGINT, SIGUSR1));

TEST(sim_signal_edge, inherited_ignore_and_block_do_not_save_it) {
  scratch_dir dir;
  auto ignore_and_block = [] {
    signal(SIGTERM, SIG_IGN);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigprocmask(SIG_BLOCK, &set, nullptr);
  };
  sim_result result = compile_with(dir, {"QUARN_SIM_SIGNAL=" + entry("tarn", SIGTERM)}, ignore_and_block);
  EXPECT_TRUE(killed_by(result, SIGTERM)) << describe(result);
}

TEST(sim_signal_edge, crash_leaves_no_core_file) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {"QUARN_SIM_SIGNAL=" + entry("tarn", SIGSEGV)});
  EXPECT_TRUE(killed_by(result, SIGSEGV)) << describe(result);
  std::vector<std::string> left;
  for (const auto &file : std::filesystem::directory_iterator(dir.path))
    left.push_back(file.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a.c", "log"}));
}

TEST(sim_signal_edge, wins_over_failure) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {"QUARN_SIM_FAIL=tarn:3", "QUARN_SIM_SIGNAL=" + entry("tarn", SIGTERM)});
  EXPECT_TRUE(killed_by(result, SIGTERM)) << describe(result);
}

TEST(sim_sleep, sleeps_then_does_its_job) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {"QUARN_SIM_SLEEP=as:5,tarn:1"});
  EXPECT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("a.s").rfind("// tarn (quarn stand-in) compiled a.c\n", 0), 0u);
}

TEST(sim_sleep, sleeps_then_fails) {
  scratch_dir dir;
  sim_result result = compile_with(dir, {"QUARN_SIM_SLEEP=tarn:1", "QUARN_SIM_FAIL=tarn:5"});
  EXPECT_TRUE(exited_with(result, 5)) << describe(result);
  EXPECT_EQ(result.err, "tarn: error: simulated failure\n");
}

static const char *const all_programs[] = {"tarn", "fell", "pell1", "moraine", "as", "tether",
                                           "ld", "cairn", "objcopy", "ar", "nm", "ranlib"};

class sim_help : public ::testing::TestWithParam<const char *> {};

TEST_P(sim_help, each_request_prints_one_line_naming_the_program) {
  std::string name = GetParam();
  for (const char *request : {"--help", "--version", "--target-help", "--help=optimizers"}) {
    scratch_dir dir;
    // The driver hands the request over with its dummy input, which does not exist.
    sim_result result = run_sim({GetParam(), {request, "help-dummy", "-o", "out"}, base_env(dir.file("log")), "",
                                 "", nullptr},
                                dir.path);
    EXPECT_TRUE(exited_with(result, 0)) << request << ": " << describe(result);
    EXPECT_EQ(result.out, name + " (quarn stand-in) " + request + "\n");
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(dir.exists("out"));
  }
}

INSTANTIATE_TEST_SUITE_P(programs, sim_help, ::testing::ValuesIn(all_programs));

TEST(sim_help_edge, several_requests_answer_in_order) {
  scratch_dir dir;
  sim_result result = run_sim({"as", {"--version", "-v", "--target-help"}, base_env(dir.file("log")), "", "", nullptr},
                              dir.path);
  EXPECT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(result.out, "as (quarn stand-in) --version\nas (quarn stand-in) --target-help\n");
}
