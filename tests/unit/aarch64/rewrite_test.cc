// The assembler's -march= text for the -mcpu= values of a command line.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/child_process.h"
#include "diagnostics/diagnostic.h"
#include "specs/spec_functions.h"

namespace {

std::string rewrite(std::vector<const char *> values) {
  return aarch64_rewrite_mcpu(static_cast<int>(values.size()), values.data());
}

struct rewrite_case {
  std::vector<const char *> values;
  const char *expected;
};

// cortex-a72 is armv8-a (defaults fp, simd) with crc added.
const rewrite_case rewrite_cases[] = {
    {{"cortex-a72"}, "armv8-a+crc"},
    {{"cortex-a72+crypto"}, "armv8-a+crypto+crc"},
    // crc is no default of armv8-a, so nothing says it is off.
    {{"cortex-a72+nocrc"}, "armv8-a"},
    {{"generic"}, "armv8-a"},
    // Only the last value counts.
    {{"cortex-a53", "cortex-a72+crypto"}, "armv8-a+crypto+crc"},
    {{"cortex-a72+crypto", "generic"}, "armv8-a"},
    // Turning a default off writes "+no"; fp takes simd with it.
    {{"cortex-a72+nofp"}, "armv8-a+crc+nofp+nosimd"},
    {{"cortex-a55+nordma"}, "armv8.2-a+fp16+rcpc+dotprod+nordma"},
    {{"neoverse-n2"}, "armv9-a+profile+rng+memtag+sve2-bitperm+i8mm+bf16"},
    {{"cortex-a72.cortex-a53+crc"}, "armv8-a+crc"},
    // fp16fml, a default of armv8.4-a, takes away only the defaults among
    // what it turns on: the added fp16 stays. saphira's crypto bit comes
    // without aes and sha2.
    {{"saphira+fp16"}, "armv8.4-a+crypto+fp16"},
    // Bad extension pieces are left for the compiler proper to report; the
    // pieces before one keep their effect.
    {{"cortex-a72+foo"}, "armv8-a+crc"},
    {{"cortex-a72+"}, "armv8-a+crc"},
    {{"cortex-a72+no"}, "armv8-a+crc"},
    {{"cortex-a72+lse+bogus+crypto"}, "armv8-a+crc+lse"},
    // The row cpuinfo never matches is still a processor name.
    {{"neoverse-512tvb"}, "armv8.4-a+sve+profile+rng+ssbs+i8mm+bf16"},
};

TEST(aarch64_rewrite_mcpu, values) {
  for (const rewrite_case &c : rewrite_cases)
    EXPECT_EQ(rewrite(c.values), c.expected) << c.values.back();
}

TEST(aarch64_rewrite_mcpu, unknown_processor_is_fatal) {
  struct {
    const char *value;
    const char *quoted;
  } cases[] = {
      {"foo", "'foo'"},
      // The whole value is named, extensions included.
      {"cortex-a99+crc", "'cortex-a99+crc'"},
      {"Cortex-A72", "'Cortex-A72'"},
      {"", "''"},
      {"+crc", "'+crc'"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      progname = "quarn++";
      diag_context_init(global_dc);
      rewrite({"cortex-a72", c.value});
    });
    EXPECT_TRUE(child.exited) << c.value;
    EXPECT_EQ(child.status, 1) << c.value;
    EXPECT_EQ(child.err, std::string("quarn++: fatal error: unknown value ") + c.quoted +
                             " for '-mcpu'\ncompilation terminated.\n");
  }
}

TEST(aarch64_rewrite_mcpu, no_value_is_an_internal_error) {
  child_result child = run_in_child([] {
    progname = "quarn++";
    diag_context_init(global_dc);
    aarch64_rewrite_mcpu(0, nullptr);
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 4);
  EXPECT_EQ(child.err.rfind("quarn++: internal compiler error: in aarch64_rewrite_mcpu, at ", 0), 0U)
      << child.err;
}

} // namespace
