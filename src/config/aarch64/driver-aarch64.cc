// Host processor detection for -march=native, -mcpu=native and -mtune=native:
// the host's cpuinfo text names the implementer, the part numbers and the
// features, and the processor tables turn them into a concrete option.
#include <cstdio>
#include <cstring>
#include <string>

#include "common/config/aarch64/aarch64-tables.h"
#include "driver/env_manager.h"
#include "specs/spec_functions.h"
#include "support/alloc.h"

namespace {

// Hands out whole lines of a stream that is read in pieces of 128 bytes, so a
// line longer than one piece (a long "Features" line) is never cut in two.
struct line_reader {
  FILE *stream;
  char piece[128];
  size_t start = 0, end = 0;
  bool at_end = false;
};

// The next line without its newline; false once the stream is exhausted.
bool read_line(line_reader &reader, std::string &line) {
  line.clear();
  bool got_any = false;
  for (;;) {
    if (reader.start == reader.end) {
      if (reader.at_end)
        return got_any;
      reader.start = 0;
      reader.end = fread(reader.piece, 1, sizeof reader.piece, reader.stream);
      if (reader.end == 0) {
        reader.at_end = true;
        return got_any;
      }
    }
    const char *from = reader.piece + reader.start;
    size_t available = reader.end - reader.start;
    const char *newline = static_cast<const char *>(memchr(from, '\n', available));
    size_t taken = newline ? static_cast<size_t>(newline - from) : available;
    line.append(from, taken);
    got_any = true;
    reader.start += taken;
    if (newline) {
      reader.start++;
      return true;
    }
  }
}

// A cpuinfo value: hexadecimal, "0x" allowed, blanks around it.
bool parse_hex_value(const char *text, size_t length, uint64_t *value) {
  size_t i = 0;
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (i < length && blank(text[i]))
    i++;
  if (i + 1 < length && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X'))
    i += 2;
  uint64_t result = 0;
  size_t digits = 0;
  for (; i < length; i++, digits++) {
    char c = text[i];
    unsigned digit;
    if (c >= '0' && c <= '9')
      digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f')
      digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F')
      digit = static_cast<unsigned>(c - 'A' + 10);
    else
      break;
    if (result >> 60)
      return false;  // does not fit in 64 bits
    result = result << 4 | digit;
  }
  while (i < length && blank(text[i]))
    i++;
  if (digits == 0 || i != length)
    return false;
  *value = result;
  return true;
}

constexpr uint64_t UNREADABLE_VALUE = ~uint64_t(0);

// Up to two distinct values seen in the text, in order of first appearance.
struct value_pair {
  uint64_t values[2];
  int count = 0;

  // False when VALUE would be a third distinct one.
  bool add(uint64_t value) {
    for (int i = 0; i < count; i++)
      if (values[i] == value)
        return true;
    if (count == 2)
      return false;
    values[count++] = value;
    return true;
  }
};

struct cpuinfo_facts {
  bool has_implementer = false;
  unsigned implementer = 0;
  value_pair variants, parts;
  bool features_seen = false;
  aarch64_flags features = 0;
};

// True when every word of WORDS (space-separated) is among FEATURES.
bool all_words_present(const char *words, const std::string &features) {
  auto is_separator = [](char c) { return c == ' ' || c == '\n'; };
  auto contains = [&](const char *word, size_t length) {
    size_t i = 0, n = features.size();
    while (i < n) {
      while (i < n && is_separator(features[i]))
        i++;
      size_t begin = i;
      while (i < n && !is_separator(features[i]))
        i++;
      if (i > begin && i - begin == length && features.compare(begin, length, word, length) == 0)
        return true;
    }
    return false;
  };
  for (const char *p = words; *p;) {
    while (*p == ' ')
      p++;
    const char *begin = p;
    while (*p && *p != ' ')
      p++;
    if (p > begin && !contains(begin, static_cast<size_t>(p - begin)))
      return false;
  }
  return true;
}

void note_features(cpuinfo_facts &facts, const std::string &text) {
  for (uint8_t index : extension_processing_order) {
    const aarch64_extension &row = extension_table[index];
    if (!*row.cpuinfo_words)
      continue;
    if (all_words_present(row.cpuinfo_words, text))
      facts.features |= row.flag;
    else
      facts.features &= ~row.flag;
  }
}

enum cpuinfo_key { KEY_IMPLEMENTER, KEY_VARIANT, KEY_PART, KEY_FEATURES, KEY_NONE };
constexpr const char *cpuinfo_key_names[] = {"implementer", "variant", "part", "Features"};

// Takes in one line; false when the text shows a host that cannot be named.
bool note_line(cpuinfo_facts &facts, const std::string &line, bool want_features) {
  cpuinfo_key key = KEY_NONE;
  size_t colon = std::string::npos;
  for (int k = 0; k < KEY_NONE; k++) {
    size_t at = line.find(cpuinfo_key_names[k]);
    if (at == std::string::npos)
      continue;
    colon = line.find(':', at + strlen(cpuinfo_key_names[k]));
    if (colon != std::string::npos) {
      key = static_cast<cpuinfo_key>(k);
      break;
    }
  }
  if (key == KEY_NONE)
    return true;

  const char *text = line.data() + colon + 1;
  size_t length = line.size() - colon - 1;
  if (key == KEY_FEATURES) {
    if (want_features && !facts.features_seen) {
      facts.features_seen = true;
      note_features(facts, std::string(text, length));
    }
    return true;
  }

  uint64_t value;
  bool readable = parse_hex_value(text, length, &value);
  if (!readable)
    value = UNREADABLE_VALUE;
  switch (key) {
  case KEY_IMPLEMENTER: {
    if (!readable)
      return !facts.has_implementer;
    unsigned code = static_cast<unsigned>(value & 0xff);
    if (code == IMPLEMENTER_NONE)
      return false;
    if (!facts.has_implementer) {
      facts.has_implementer = true;
      facts.implementer = code;
      return true;
    }
    return code == facts.implementer;
  }
  case KEY_VARIANT:
    return facts.variants.add(value);
  case KEY_PART:
    return facts.parts.add(value);
  default:
    return true;
  }
}

// Reads the host's cpuinfo text; false when it cannot be read or names no
// single host processor.
bool read_cpuinfo(cpuinfo_facts &facts, bool want_features) {
  const char *name = driver_env.getenv("QUARN_CPUINFO");
  FILE *stream = fopen(name ? name : "/proc/cpuinfo", "r");
  if (!stream)
    return false;
  line_reader reader{stream, {}};
  std::string line;
  bool ok = true;
  while (ok && read_line(reader, line))
    ok = note_line(facts, line, want_features);
  fclose(stream);
  return ok;
}

bool core_matches(const aarch64_core &row, unsigned implementer, uint64_t part) {
  return row.implementer != IMPLEMENTER_NONE && row.implementer == implementer && row.part == part;
}

} // namespace

const char *host_detect_local_cpu(int argc, const char **argv) {
  if (argc < 1)
    return nullptr;
  const char *word = argv[0];
  bool arch = strcmp(word, "arch") == 0;
  bool tune = strcmp(word, "tune") == 0;
  bool cpu = strcmp(word, "cpu") == 0;
  if (!arch && !tune && !cpu)
    return nullptr;

  cpuinfo_facts facts;
  if (!read_cpuinfo(facts, !tune))
    return nullptr;
  const value_pair &parts = facts.parts;
  if (parts.count == 0 || (parts.count == 1 && facts.variants.count != 1) || !facts.has_implementer)
    return nullptr;

  const char *option;
  const char *name;
  aarch64_flags defaults;
  if (parts.count == 1 || arch) {
    const aarch64_core *found = nullptr;
    for (const aarch64_core &row : core_table) {
      if (!core_matches(row, facts.implementer, parts.values[0]))
        continue;
      if (row.variant == VARIANT_ANY ||
          (facts.variants.count > 0 && static_cast<uint64_t>(row.variant) == facts.variants.values[0])) {
        found = &row;
        break;
      }
    }
    if (!found || arch) {
      // An unknown processor still has the base architecture.
      const aarch64_arch *base = find_arch(found ? found->arch : ARCH_8A);
      if (!base)
        return nullptr;
      option = "-march=";
      name = base->name;
      defaults = base->defaults;
    } else {
      option = cpu ? "-mcpu=" : "-mtune=";
      name = found->name;
      defaults = found->flags;
    }
  } else {
    uint64_t first = parts.values[0] % 0x1000, second = parts.values[1] % 0x1000;
    const aarch64_core *found = nullptr;
    for (const aarch64_core &row : core_table) {
      if (core_matches(row, facts.implementer, first << 12 | second) ||
          core_matches(row, facts.implementer, second << 12 | first)) {
        found = &row;
        break;
      }
    }
    if (!found)
      return nullptr;
    option = cpu ? "-mcpu=" : "-mtune=";
    name = found->name;
    defaults = found->flags;
  }

  if (tune)
    return concat(option, name);
  return concat(option, name, extension_suffix_for(facts.features, defaults).c_str());
}
