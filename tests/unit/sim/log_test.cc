// The run log: one JSON line per run with name, argv, cwd and the exported
// variables that are set, appended whole even when programs run at once.
#include <gtest/gtest.h>

#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "sim/sim_runner.h"

static std::vector<std::string> lines_of(const std::string &text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

TEST(sim_log, line_names_program_argv_cwd_and_set_exports) {
  scratch_dir dir;
  dir.write("in.s", "nop\n");
  sim_call call = {"as", {"in.s", "-o", "in.o"}, base_env(dir.file("log")), "", "", nullptr};
  call.env.push_back("COMPILER_PATH=/opt/a:/opt/b");
  call.env.push_back("UNRELATED=1");
  sim_result result = run_sim(call, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("log"), "{\"name\":\"as\",\"argv\":[\"" + staged_path("as") +
                                 "\",\"in.s\",\"-o\",\"in.o\"],\"cwd\":\"" + dir.path +
                                 "\",\"env\":{\"COMPILER_PATH\":\"/opt/a:/opt/b\"}}\n");
}

TEST(sim_log, exports_are_logged_in_a_fixed_order) {
  scratch_dir dir;
  sim_call call = {"ar", {}, base_env(dir.file("log")), "", "", nullptr};
  // Given in an order unlike the logged one; empty values count as set.
  for (const char *entry : {"OFFLOAD_TARGET_NAMES=nvptx", "SOURCE_DATE_EPOCH=0", "MAKEFLAGS=",
                            "QUARN_EXEC_PREFIX=/p/", "LIBRARY_PATH=/l", "COMPILER_PATH=/c",
                            "TETHER_CAIRN=/w", "TETHER_AS_OPTIONS='-EL'", "TETHER_QUARN_OPTIONS='-O2'",
                            "TETHER_QUARN=/bin/quarn++"})
    call.env.push_back(entry);
  sim_result result = run_sim(call, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  std::string log = dir.read("log");
  EXPECT_NE(log.find(",\"env\":{\"TETHER_QUARN\":\"/bin/quarn++\",\"TETHER_QUARN_OPTIONS\":\"'-O2'\","
                     "\"TETHER_AS_OPTIONS\":\"'-EL'\",\"TETHER_CAIRN\":\"/w\",\"COMPILER_PATH\":\"/c\","
                     "\"LIBRARY_PATH\":\"/l\",\"QUARN_EXEC_PREFIX\":\"/p/\",\"MAKEFLAGS\":\"\","
                     "\"SOURCE_DATE_EPOCH\":\"0\",\"OFFLOAD_TARGET_NAMES\":\"nvptx\"}}\n"),
            std::string::npos)
      << log;
}

struct escape_case {
  const char *argument;
  const char *json;
};

static const escape_case escape_cases[] = {
    {"plain -O2", "\"plain -O2\""},
    {"quote\"back\\slash", "\"quote\\\"back\\\\slash\""},
    {"tab\tnew\nline\rcr", "\"tab\\tnew\\nline\\rcr\""},
    {"\b\f", "\"\\b\\f\""},
    {"\x01\x1f\x7f", "\"\\u0001\\u001f\\u007f\""},
    {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "\"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80\""},
    // Bytes that are not UTF-8 (stray, truncated, overlong, surrogate) keep the line valid JSON.
    {"\xff", "\"\\u00ff\""},
    {"\xc3", "\"\\u00c3\""},
    {"\xe2\x82", "\"\\u00e2\\u0082\""},
    {"\xc0\xaf", "\"\\u00c0\\u00af\""},
    {"\xed\xa0\x80", "\"\\u00ed\\u00a0\\u0080\""},
    {"", "\"\""},
};

class sim_log_escape : public ::testing::TestWithParam<escape_case> {};

TEST_P(sim_log_escape, argument_is_a_json_string) {
  scratch_dir dir;
  sim_call call = {"nm", {GetParam().argument}, base_env(dir.file("log")), "", "nm", nullptr};
  sim_result result = run_sim(call, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("log"), std::string("{\"name\":\"nm\",\"argv\":[\"nm\",") + GetParam().json +
                                 "],\"cwd\":\"" + dir.path + "\",\"env\":{}}\n");
}

INSTANTIATE_TEST_SUITE_P(cases, sim_log_escape, ::testing::ValuesIn(escape_cases));

TEST(sim_log, every_run_appends_one_line) {
  scratch_dir dir;
  dir.write("log", "{\"earlier\":1}\n");
  for (const char *program : {"cairn", "objcopy", "ranlib"}) {
    sim_result result = run_sim({program, {"x"}, base_env(dir.file("log")), "", program, nullptr}, dir.path);
    ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  }
  std::vector<std::string> lines = lines_of(dir.read("log"));
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "{\"earlier\":1}");
  EXPECT_EQ(lines[1].rfind("{\"name\":\"cairn\",\"argv\":[\"cairn\",\"x\"]", 0), 0u) << lines[1];
  EXPECT_EQ(lines[3].rfind("{\"name\":\"ranlib\",", 0), 0u) << lines[3];
}

TEST(sim_log, name_comes_from_argv0_not_the_file_run) {
  scratch_dir dir;
  dir.write("a.c", "int a;\n");
  sim_call call = {"tarn", {"a.c", "-o", "a.s"}, base_env(dir.file("log")), "", "/elsewhere/fell", nullptr};
  sim_result result = run_sim(call, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("log").rfind("{\"name\":\"fell\",\"argv\":[\"/elsewhere/fell\",", 0), 0u);
  EXPECT_EQ(dir.read("a.s").rfind("// fell (quarn stand-in) compiled a.c\n", 0), 0u) << dir.read("a.s");
}

TEST(sim_log, without_the_variable_nothing_is_logged) {
  scratch_dir dir;
  sim_result result = run_sim({"ar", {"rc", "lib.a"}, {"LC_ALL=C"}, "", "", nullptr}, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_FALSE(dir.exists("log"));
  EXPECT_EQ(result.err, "");
}

TEST(sim_log, unwritable_log_is_a_warning_and_the_job_still_runs) {
  scratch_dir dir;
  dir.write("in.s", "nop\n");
  sim_call call = {"as", {"in.s", "-o", "in.o"}, base_env(dir.file("missing/log")), "", "as", nullptr};
  sim_result result = run_sim(call, dir.path);
  EXPECT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(result.err, "as: warning: cannot open log " + dir.file("missing/log") +
                            ": No such file or directory\n");
  EXPECT_TRUE(dir.exists("in.o"));
}

// Programs of one pipeline run at the same time; their lines must not mix even
// when they are long.
TEST(sim_log, concurrent_runs_write_whole_lines) {
  scratch_dir dir;
  const int runs = 12;
  std::string log = "QUARN_SIM_LOG=" + dir.file("log");
  std::vector<pid_t> children;
  for (int i = 0; i < runs; i++) {
    std::string payload(20000, static_cast<char>('a' + i));
    std::string path = staged_path("ar");
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir.path.c_str()) != 0) _exit(126);
      char *argv[] = {const_cast<char *>("ar"), payload.data(), nullptr};
      char *envp[] = {log.data(), nullptr};
      execve(path.c_str(), argv, envp);
      _exit(127);
    }
    ASSERT_GT(pid, 0);
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  std::vector<std::string> lines = lines_of(dir.read("log"));
  ASSERT_EQ(lines.size(), static_cast<size_t>(runs));
  const std::string head = "{\"name\":\"ar\",\"argv\":[\"ar\",\"";
  std::vector<bool> seen(runs);
  for (const std::string &line : lines) {
    ASSERT_EQ(line.rfind(head, 0), 0u) << line.substr(0, 80);
    char letter = line[head.size()];
    ASSERT_GE(letter, 'a');
    ASSERT_LT(letter, 'a' + runs);
    EXPECT_EQ(line.substr(head.size(), 20000), std::string(20000, letter));
    EXPECT_EQ(line.substr(head.size() + 20000), "\"],\"cwd\":\"" + dir.path + "\",\"env\":{}}");
    seen[letter - 'a'] = true;
  }
  for (int i = 0; i < runs; i++) EXPECT_TRUE(seen[i]) << "run " << i;
}
