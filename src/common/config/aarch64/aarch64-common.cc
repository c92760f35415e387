// -mcpu rewriting into an assembler -march= text, and the flag-set
// computations behind it.
#include "common/config/aarch64/aarch64-tables.h"

#include <cstring>

#include "diagnostics/diagnostic.h"
#include "specs/spec_functions.h"
#include "support/alloc.h"

// The tables are data copied from Arm's lists; refuse edits that break what
// the code relies on.
static_assert(EXTENSION_COUNT == 35 && std::size(arch_table) == ARCH_COUNT && ARCH_COUNT == 11 &&
              CORE_COUNT == 66);

static constexpr bool extension_flags_are_distinct_bits() {
  aarch64_flags seen = 0;
  for (const aarch64_extension &row : extension_table) {
    if (!std::has_single_bit(row.flag) || (seen & row.flag))
      return false;
    seen |= row.flag;
  }
  return true;
}
static_assert(extension_flags_are_distinct_bits());

static constexpr bool core_ids_fit() {
  for (const aarch64_core &row : core_table) {
    if (row.implementer > 0xff)
      return false;
    if (row.implementer != IMPLEMENTER_NONE && row.part > 0xffffff)
      return false;
  }
  return true;
}
static_assert(core_ids_fit());

static constexpr bool arch_rows_in_id_order() {
  for (size_t i = 0; i < ARCH_COUNT; i++)
    if (arch_table[i].id != static_cast<aarch64_arch_id>(i))
      return false;
  return true;
}
static_assert(arch_rows_in_id_order());

const aarch64_arch *find_arch(aarch64_arch_id id) {
  if (id < 0 || id >= ARCH_COUNT)
    return nullptr;
  return &arch_table[id];
}

static bool name_is(const char *row_name, const char *name, size_t length) {
  return strlen(row_name) == length && memcmp(row_name, name, length) == 0;
}

const aarch64_core *find_core_by_name(const char *name, size_t length) {
  for (const aarch64_core &row : core_table)
    if (name_is(row.name, name, length))
      return &row;
  if (name_is(generic_core.name, name, length))
    return &generic_core;
  return nullptr;
}

const aarch64_extension *find_extension(const char *name, size_t length) {
  for (const aarch64_extension &row : extension_table)
    if (name_is(row.name, name, length))
      return &row;
  return nullptr;
}

std::string extension_suffix_for(aarch64_flags flags, aarch64_flags defaults) {
  aarch64_flags bits = flags;
  // Fold every extension whose requirements are met into its own bit, so a
  // group ("crypto") is written once instead of as its members.
  for (uint8_t index : extension_processing_order) {
    const aarch64_extension &row = extension_table[index];
    aarch64_flags test = row.synthetic ? row.turns_on : row.flag;
    if ((test & ~(bits | defaults)) != 0)
      continue;
    if (row.flag & defaults)
      bits &= ~(row.turns_on & defaults);
    else
      bits &= ~row.turns_on;
    bits |= row.flag;
  }
  bits &= ~defaults;

  std::string suffix;
  for (uint8_t index : extension_processing_order) {
    const aarch64_extension &row = extension_table[index];
    if (row.flag & bits)
      suffix.append("+").append(row.name);
  }
  for (uint8_t index : extension_processing_order) {
    const aarch64_extension &row = extension_table[index];
    if ((row.flag & defaults) && !(row.flag & flags))
      suffix.append("+no").append(row.name);
  }
  return suffix;
}

extension_parse_status parse_extension_suffix(const char *text, aarch64_flags *flags) {
  const char *p = text;
  while (*p) {
    if (*p != '+')
      return EXTENSION_INVALID;
    const char *name = p + 1;
    const char *end = strchr(name, '+');
    if (!end)
      end = name + strlen(name);
    size_t length = static_cast<size_t>(end - name);
    if (length == 0 || (length == 2 && memcmp(name, "no", 2) == 0))
      return EXTENSION_MISSING;
    bool remove = length > 2 && memcmp(name, "no", 2) == 0;
    if (remove) {
      name += 2;
      length -= 2;
    }
    const aarch64_extension *row = find_extension(name, length);
    if (!row)
      return EXTENSION_INVALID;
    if (remove)
      *flags &= ~(row->flag | row->turns_off);
    else
      *flags |= row->flag | row->turns_on;
    p = end;
  }
  return EXTENSION_OK;
}

const char *aarch64_rewrite_mcpu(int argc, const char **argv) {
  quarn_assert(argc >= 1);
  // Only the last -mcpu= counts, as for the compiler proper.
  const char *value = argv[argc - 1];
  const char *plus = strchr(value, '+');
  size_t name_length = plus ? static_cast<size_t>(plus - value) : strlen(value);
  const aarch64_core *core = find_core_by_name(value, name_length);
  if (!core)
    fatal_error(UNKNOWN_LOCATION, "unknown value %qs for %<-mcpu%>", value);

  aarch64_flags flags = core->flags;
  // A bad extension name is the compiler proper's to report.
  parse_extension_suffix(plus ? plus : "", &flags);
  const aarch64_arch *arch = find_arch(core->arch);
  quarn_assert(arch);
  return concat(arch->name, extension_suffix_for(flags, arch->defaults).c_str());
}
