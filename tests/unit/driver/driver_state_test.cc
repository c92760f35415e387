// The switch and input tables, the option lists and the environment manager.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "driver/driver_state.h"
#include "driver/env_manager.h"
#include "support/execute.h"

using testing::ElementsAre;

namespace {

TEST(driver_state, tables_start_at_sixteen_and_double) {
  driver_state_reset();
  const char *const names[] = {"-a0", "-a1", "-a2", "-a3", "-a4", "-a5", "-a6", "-a7", "-a8",
                               "-a9", "-b0", "-b1", "-b2", "-b3", "-b4", "-b5", "-b6"};
  std::vector<int> capacities;
  for (const char *name : names) {
    record_switch(name, 0, nullptr, false, true);
    add_input(name + 1, nullptr);
    capacities.push_back(driver.switches.capacity);
    EXPECT_EQ(driver.inputs.capacity, driver.switches.capacity);
  }
  EXPECT_EQ(capacities[0], 16);
  EXPECT_EQ(capacities[15], 16);
  EXPECT_EQ(capacities[16], 32);
  EXPECT_STREQ(driver.switches.entries[16].name, "b6");
  EXPECT_STREQ(driver.inputs.entries[16].name, "b6");
  terminate_tables();
  EXPECT_EQ(driver.switches.entries[17].name, nullptr);
  EXPECT_EQ(driver.inputs.entries[17].name, nullptr);
  EXPECT_EQ(driver.switches.count, 17);
}

TEST(driver_state, a_switch_keeps_a_fresh_copy_of_its_argument_list) {
  driver_state_reset();
  const char *args[] = {"x.o", "y"};
  record_switch("-o", 2, args, true, false);
  args[0] = "changed";
  const driver_switch &sw = driver.switches.entries[0];
  EXPECT_STREQ(sw.name, "o");
  ASSERT_NE(sw.args, nullptr);
  EXPECT_STREQ(sw.args[0], "x.o");
  EXPECT_STREQ(sw.args[1], "y");
  EXPECT_EQ(sw.args[2], nullptr);
  EXPECT_TRUE(sw.accepted);
  EXPECT_FALSE(sw.recognized);
  EXPECT_EQ(sw.liveness, 0u);
  EXPECT_FALSE(sw.marked);
  record_switch("-c", 0, nullptr, false, true);
  EXPECT_EQ(driver.switches.entries[1].args, nullptr);
}

TEST(driver_state, option_lists_copy_the_given_length) {
  driver_state_reset();
  push_asm_option("-alpha,beta", 6);
  push_cpp_option("", 0);
  push_link_option("--help", 6);
  EXPECT_STREQ(driver.asm_options.items[0], "-alpha");
  EXPECT_STREQ(driver.cpp_options.items[0], "");
  EXPECT_STREQ(driver.link_options.items[0], "--help");
}

TEST(driver_state, single_input_index) {
  struct {
    std::vector<std::pair<const char *, const char *>> inputs;
    bool wpa;
    int want;
  } cases[] = {
      {{}, false, -1},
      {{{"-lm", "*"}}, false, -1},
      {{{"-lm", "*"}, {"a.c", nullptr}}, false, 1},
      {{{"a.c", nullptr}, {"-rpath", "*"}, {"b.c", "c"}}, false, -2},
      {{{"a.o", "lto"}, {"b.c", nullptr}}, false, -2},
      {{{"a.o", "lto"}, {"b.c", nullptr}}, true, 1},
      {{{"a.o", "lto"}, {"b.o", "lto"}}, true, -1},
  };
  for (const auto &c : cases) {
    driver_state_reset();
    for (const auto &[name, language] : c.inputs)
      add_input(name, language);
    if (c.wpa)
      driver.wpa_mode = "";
    EXPECT_EQ(single_input_index(), c.want) << c.inputs.size() << " inputs";
  }
}

TEST(driver_state, real_file_names) {
  EXPECT_FALSE(is_real_file_name("-"));
  EXPECT_FALSE(is_real_file_name("/dev/null"));
  EXPECT_TRUE(is_real_file_name("a.out"));
  EXPECT_TRUE(is_real_file_name("./-"));
}

TEST(env_manager, xput_echoes_only_under_v) {
  unsetenv("QUARN_ENV_TEST");
  EXPECT_EQ(driver_env.getenv("QUARN_ENV_TEST"), nullptr);
  exec_state.verbose = false;
  testing::internal::CaptureStderr();
  driver_env.xput("QUARN_ENV_TEST=a b");
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_STREQ(driver_env.getenv("QUARN_ENV_TEST"), "a b");

  exec_state.verbose = true;
  std::string assignment = "QUARN_ENV_TEST='x'";
  testing::internal::CaptureStderr();
  driver_env.xput(assignment.c_str());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "QUARN_ENV_TEST='x'\n");
  // The environment keeps its own copy.
  assignment.assign("QUARN_ENV_TEST=overwritten");
  EXPECT_STREQ(getenv("QUARN_ENV_TEST"), "'x'");
  exec_state.verbose = false;
  unsetenv("QUARN_ENV_TEST");
}

} // namespace
