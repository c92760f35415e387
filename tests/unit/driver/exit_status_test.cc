// The exit status of a run, from the error count and the children's failures.
#include <gtest/gtest.h>

#include "diagnostics/diagnostic.h"
#include "driver/compiler_driver.h"
#include "driver/driver_state.h"
#include "support/execute.h"

namespace {

TEST(driver_exit_status, from_errors_and_child_failures) {
  struct {
    unsigned broken_pipes;
    int errors;
    bool pass_exit_codes;
    int greatest;
    int want;
  } cases[] = {
      {0, 0, false, 1, 0},
      // A child status alone, with no error counted, is no failure.
      {0, 0, true, 3, 0},
      {0, 1, false, 3, 1},
      {0, 1, true, 3, 3},
      // -pass-exit-codes before any child ran.
      {0, 1, true, 1, 1},
      // A broken pipe wins over everything.
      {1, 1, true, 3, 2},
      {1, 0, false, 1, 2},
  };
  diag_context_init(global_dc);
  for (const auto &c : cases) {
    exec_state.signal_failure_count = c.broken_pipes;
    exec_state.greatest_exit_status = c.greatest;
    global_dc->kind_count[KIND_ERROR] = c.errors;
    driver.pass_exit_codes = c.pass_exit_codes;
    EXPECT_EQ(driver_exit_status(), c.want)
        << c.broken_pipes << " broken pipes, " << c.errors << " errors, pass " << c.pass_exit_codes
        << ", greatest " << c.greatest;
  }
  exec_state = execute_state();
  global_dc->kind_count[KIND_ERROR] = 0;
  driver.pass_exit_codes = false;
}

} // namespace
