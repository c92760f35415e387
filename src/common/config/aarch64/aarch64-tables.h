// The processor, architecture and extension tables of AArch64 and the
// computations on feature-flag sets that -mcpu=native detection and the
// assembler's -mcpu rewriting share.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>

// One bit per extension.
typedef uint64_t aarch64_flags;

struct aarch64_extension {
  const char *name;
  aarch64_flags flag;
  aarch64_flags turns_on;
  aarch64_flags turns_off;
  bool synthetic;
  const char *cpuinfo_words;
};

enum aarch64_arch_id {
#define AARCH64_ARCH(ID, NAME, DEFAULTS) ARCH_##ID,
#include "common/config/aarch64/aarch64-arches.def"
#undef AARCH64_ARCH
  ARCH_COUNT
};

struct aarch64_arch {
  aarch64_arch_id id;
  const char *name;
  aarch64_flags defaults;
};

constexpr int64_t VARIANT_ANY = -1;
// Implementer code that cpuinfo never yields a match for.
constexpr unsigned IMPLEMENTER_NONE = 0xff;

struct aarch64_core {
  const char *name;
  aarch64_arch_id arch;
  unsigned implementer;
  uint64_t part;
  int64_t variant;
  aarch64_flags flags;
};

inline constexpr aarch64_extension extension_table[] = {
#define AARCH64_EXTENSION(NAME, FLAG, ON, OFF, SYNTHETIC, WORDS)                                    \
  {NAME, FLAG, ON, OFF, SYNTHETIC, WORDS},
#include "common/config/aarch64/aarch64-extensions.def"
#undef AARCH64_EXTENSION
};

inline constexpr aarch64_arch arch_table[] = {
#define AARCH64_ARCH(ID, NAME, DEFAULTS) {ARCH_##ID, NAME, DEFAULTS},
#include "common/config/aarch64/aarch64-arches.def"
#undef AARCH64_ARCH
};

inline constexpr aarch64_core core_table[] = {
#define AARCH64_CORE(NAME, ARCH, IMPLEMENTER, PART, VARIANT, FLAGS)                                 \
  {NAME, ARCH_##ARCH, IMPLEMENTER, PART, VARIANT, FLAGS},
#include "common/config/aarch64/aarch64-cores.def"
#undef AARCH64_CORE
};

// -mcpu= also knows this name, which no cpuinfo text identifies.
inline constexpr aarch64_core generic_core = {"generic", ARCH_8A, IMPLEMENTER_NONE, 0, VARIANT_ANY,
                                              0x3};

constexpr size_t EXTENSION_COUNT = std::size(extension_table);
constexpr size_t CORE_COUNT = std::size(core_table);

// Rows that turn more of themselves on are handled first, so that a group is
// folded into its name before its members are; equal keys keep table order.
constexpr std::array<uint8_t, EXTENSION_COUNT> make_extension_processing_order() {
  std::array<uint8_t, EXTENSION_COUNT> order{};
  auto before = [](const aarch64_extension &a, const aarch64_extension &b) {
    aarch64_flags ka = a.flag & a.turns_on, kb = b.flag & b.turns_on;
    if (std::popcount(ka) != std::popcount(kb))
      return std::popcount(ka) > std::popcount(kb);
    return ka > kb;
  };
  // Insertion sort: stable, and small enough to run at compile time.
  for (size_t i = 0; i < EXTENSION_COUNT; i++) {
    size_t j = i;
    for (; j > 0 && before(extension_table[i], extension_table[order[j - 1]]); j--)
      order[j] = order[j - 1];
    order[j] = static_cast<uint8_t>(i);
  }
  return order;
}

inline constexpr std::array<uint8_t, EXTENSION_COUNT> extension_processing_order =
    make_extension_processing_order();

// The architecture row of ID, or none.
const aarch64_arch *find_arch(aarch64_arch_id id);
// The row -mcpu=NAME selects (the processors, then "generic"), or none;
// NAME is the first LENGTH bytes.
const aarch64_core *find_core_by_name(const char *name, size_t length);
// The extension row called exactly NAME (LENGTH bytes), or none.
const aarch64_extension *find_extension(const char *name, size_t length);

// The "+NAME" and "+noNAME" pieces that describe FLAGS relative to an
// architecture whose defaults are DEFAULTS; possibly empty.
std::string extension_suffix_for(aarch64_flags flags, aarch64_flags defaults);

enum extension_parse_status { EXTENSION_OK, EXTENSION_MISSING, EXTENSION_INVALID };

// Applies TEXT, a run of "+NAME" and "+noNAME" pieces, to *FLAGS. Stops at the
// first bad piece; the pieces before it keep their effect.
extension_parse_status parse_extension_suffix(const char *text, aarch64_flags *flags);
