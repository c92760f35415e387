// The make jobserver probe over MAKEFLAGS.
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "options/opts.h"

namespace {

// Sets MAKEFLAGS for one test.
struct makeflags {
  explicit makeflags(const char *value) {
    if (value)
      setenv("MAKEFLAGS", value, 1);
    else
      unsetenv("MAKEFLAGS");
  }
  ~makeflags() { unsetenv("MAKEFLAGS"); }
};

// The lowest descriptor number that is not open, so it can stand for a closed one.
int closed_descriptor() {
  int fd = dup(0);
  close(fd);
  return fd;
}

TEST(JobserverProbe, Unset) {
  makeflags env(nullptr);
  jobserver_info info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_STREQ(info.replacement, "");
}

TEST(JobserverProbe, NoNeedle) {
  makeflags env("-j4 -k");
  jobserver_info info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_STREQ(info.replacement, "");
}

TEST(JobserverProbe, ClosedDescriptorIsCutOut) {
  int closed = closed_descriptor();
  std::string value = "-j4 --jobserver-auth=" + std::to_string(closed) + ",4 k";
  makeflags env(value.c_str());
  jobserver_info info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_STREQ(info.replacement, "MAKEFLAGS=-j4  k");
}

TEST(JobserverProbe, MakeflagsExampleWithDescriptorThreeClosed) {
  makeflags env("-j4 --jobserver-auth=3,4 k");
  EXPECT_EXIT(
      {
        close(3);
        jobserver_info info = jobserver_probe();
        exit(!info.is_active && std::string(info.replacement) == "MAKEFLAGS=-j4  k" ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

TEST(JobserverProbe, OpenDescriptorsAreActive) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string value =
      "-j4 --jobserver-auth=" + std::to_string(fds[0]) + "," + std::to_string(fds[1]);
  makeflags env(value.c_str());
  jobserver_info info = jobserver_probe();
  EXPECT_TRUE(info.is_active);
  close(fds[0]);
  close(fds[1]);
  // Once they are closed, the needle (the last word) goes and nothing follows it.
  info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_STREQ(info.replacement, "MAKEFLAGS=-j4 ");
}

TEST(JobserverProbe, NumbersBeyondIntAreNoDescriptors) {
  makeflags env("-j4 --jobserver-auth=99999999999999999999,4 k");
  jobserver_info info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_STREQ(info.replacement, "MAKEFLAGS=-j4  k");
}

TEST(JobserverProbe, LastNeedleCounts) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::string value = "--jobserver-auth=" + std::to_string(fds[0]) + "," +
                      std::to_string(fds[1]) + " --jobserver-auth=0,0 -s";
  makeflags env(value.c_str());
  jobserver_info info = jobserver_probe();
  EXPECT_FALSE(info.is_active);
  EXPECT_EQ(std::string(info.replacement),
            "MAKEFLAGS=--jobserver-auth=" + std::to_string(fds[0]) + "," +
                std::to_string(fds[1]) + "  -s");
  close(fds[0]);
  close(fds[1]);
}

TEST(JobserverProbe, Fifo) {
  makeflags env("-j8 --jobserver-auth=fifo:/tmp/GMfifo123 -k");
  jobserver_info info = jobserver_probe();
  EXPECT_TRUE(info.is_active);
  EXPECT_STREQ(info.pipe_path, "/tmp/GMfifo123");
}

} // namespace
