// Extension suffixes: writing a flag set relative to an architecture's
// defaults, and applying "+NAME" / "+noNAME" pieces to a flag set.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "common/config/aarch64/aarch64-tables.h"

namespace {

// Flags of single extensions, as the extension table gives them.
constexpr aarch64_flags FP = 0x2, CRYPTO = 0x4, CRC = 0x8, LSE = 0x10, FP16 = 0x200,
                        SVE = 0x400, AES = 0x4000, SHA2 = 0x8000, SVE2 = 0x10000000,
                        SVE2_AES = 0x20000000, SVE2_BITPERM = 0x100000000;
constexpr aarch64_flags ARMV8_A = 0x3;  // armv8-a's defaults: simd (0x1) and fp
constexpr aarch64_flags ARMV8_4_A = 0x1800019397b;

struct suffix_case {
  aarch64_flags flags, defaults;
  const char *expected;
};

const suffix_case suffix_cases[] = {
    {0, 0, ""},
    {ARMV8_A, ARMV8_A, ""},
    {ARMV8_A | CRC, ARMV8_A, "+crc"},
    {ARMV8_A | CRC | LSE, ARMV8_A, "+crc+lse"},
    // crypto with its members is written as the group alone.
    {ARMV8_A | CRYPTO | CRC | AES | SHA2, ARMV8_A, "+crypto+crc"},
    // So are its members without the group's own flag.
    {ARMV8_A | AES | SHA2, ARMV8_A, "+crypto"},
    {ARMV8_A | AES, ARMV8_A, "+aes"},
    // Relative to cortex-a72's own set, crypto is all that is new.
    {ARMV8_A | CRYPTO | CRC | AES | SHA2, ARMV8_A | CRC, "+crypto"},
    // Defaults that are not in the set are turned off, in table order.
    {0, ARMV8_A, "+nofp+nosimd"},
    {CRC, ARMV8_A | CRC, "+nofp+nosimd"},
    {ARMV8_A | CRC, ARMV8_A | CRC | LSE, "+nolse"},
    // Extensions that another one turns on are not written.
    {ARMV8_A | FP16 | SVE | SVE2 | SVE2_BITPERM, ARMV8_A, "+sve2-bitperm"},
    {ARMV8_A | FP16 | SVE, ARMV8_A, "+sve"},
    // A row that is a default (fp16fml of armv8.4-a) removes only the
    // defaults among what it turns on, so fp16 stays.
    {ARMV8_4_A | FP16, ARMV8_4_A, "+fp16"},
    // sve2-aes brings aes as well as sve2 with it.
    {SVE2_AES | SVE2 | FP16 | SVE | AES | ARMV8_A, ARMV8_A, "+sve2-aes"},
};

TEST(extension_suffix_for, cases) {
  for (const suffix_case &c : suffix_cases)
    EXPECT_EQ(extension_suffix_for(c.flags, c.defaults), c.expected)
        << std::hex << c.flags << " over " << c.defaults;
}

struct parse_case {
  const char *text;
  aarch64_flags before;
  extension_parse_status status;
  aarch64_flags after;
};

const parse_case parse_cases[] = {
    {"", ARMV8_A | CRC, EXTENSION_OK, ARMV8_A | CRC},
    {"+crc", ARMV8_A, EXTENSION_OK, ARMV8_A | CRC},
    // Adding takes what the extension turns on along.
    {"+crypto", CRC, EXTENSION_OK, CRC | CRYPTO | AES | SHA2 | ARMV8_A},
    {"+sve2-aes", 0, EXTENSION_OK, SVE2_AES | SVE2 | AES | FP16 | SVE | ARMV8_A},
    {"+nocrc", ARMV8_A | CRC, EXTENSION_OK, ARMV8_A},
    // Removing takes what depends on it along: no fp means no simd either.
    {"+nofp", ARMV8_A | CRC | FP16 | SVE, EXTENSION_OK, CRC},
    {"+nosimd", ARMV8_A | CRC | AES, EXTENSION_OK, FP | CRC},
    {"+crc+nocrc", ARMV8_A, EXTENSION_OK, ARMV8_A},
    {"+nocrc+crc", ARMV8_A, EXTENSION_OK, ARMV8_A | CRC},
    // An empty name, or "no" alone, is missing; earlier pieces stay.
    {"+", ARMV8_A, EXTENSION_MISSING, ARMV8_A},
    {"+crc+", ARMV8_A, EXTENSION_MISSING, ARMV8_A | CRC},
    {"+crc++lse", ARMV8_A, EXTENSION_MISSING, ARMV8_A | CRC},
    {"+no", ARMV8_A, EXTENSION_MISSING, ARMV8_A},
    // Names must match a row exactly; parsing stops at the first bad one.
    {"+crc+bogus+lse", ARMV8_A, EXTENSION_INVALID, ARMV8_A | CRC},
    {"+CRC", ARMV8_A, EXTENSION_INVALID, ARMV8_A},
    {"+cr", ARMV8_A, EXTENSION_INVALID, ARMV8_A},
    {"+nonsense", ARMV8_A, EXTENSION_INVALID, ARMV8_A},
    {"+nono", ARMV8_A, EXTENSION_INVALID, ARMV8_A},
    // Text that does not start with "+" is no extension piece.
    {"crc", ARMV8_A, EXTENSION_INVALID, ARMV8_A},
};

TEST(parse_extension_suffix, cases) {
  for (const parse_case &c : parse_cases) {
    aarch64_flags flags = c.before;
    EXPECT_EQ(parse_extension_suffix(c.text, &flags), c.status) << c.text;
    EXPECT_EQ(flags, c.after) << c.text << std::hex << " gave " << flags;
  }
}

// Every sort key of the extension table is zero, so extensions are handled in
// the order the table lists them.
TEST(extension_processing_order, is_table_order) {
  for (size_t i = 0; i < EXTENSION_COUNT; i++)
    EXPECT_EQ(extension_processing_order[i], i);
}

TEST(find_core_by_name, processors_then_generic) {
  struct {
    const char *name;
    aarch64_arch_id arch;
    aarch64_flags flags;
  } cases[] = {
      {"cortex-a34", ARCH_8A, 0xb},
      {"neoverse-v2", ARCH_9A, 0x3991ff93f7b},
      {"cortex-r82", ARCH_8R, 0x180001939fb},
      {"generic", ARCH_8A, 0x3},
  };
  for (const auto &c : cases) {
    const aarch64_core *row = find_core_by_name(c.name, std::string(c.name).size());
    ASSERT_NE(row, nullptr) << c.name;
    EXPECT_STREQ(row->name, c.name);
    EXPECT_EQ(row->arch, c.arch) << c.name;
    EXPECT_EQ(row->flags, c.flags) << c.name;
  }
  // Only the first LENGTH bytes are the name.
  EXPECT_STREQ(find_core_by_name("cortex-a72+crc", 10)->name, "cortex-a72");
  EXPECT_EQ(find_core_by_name("cortex-a7", 9), nullptr);
  EXPECT_EQ(find_core_by_name("armv8-a", 7), nullptr);
}

} // namespace
