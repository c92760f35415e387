// Decoding of command-line words into decoded_option records, pruning of
// overridden options, and reading them: storing values and calling handlers.
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "options/opts.h"
#include "options/spellcheck.h"
#include "support/alloc.h"

const char *const lang_names[lang_name_count] = {"Ada",     "AdaSCIL", "AdaWhy", "C",
                                                 "C++",     "D",       "Fortran", "Go",
                                                 "LTO",     "Scree",   "ObjC",   "ObjC++"};

const options_record default_options{};
options_record global_options;
options_record global_options_set;

// The string pool: copies made while decoding live as long as the run.
namespace {
struct pool_block {
  pool_block *next;
  size_t used;
  size_t size;
  char data[];
};
pool_block *pool_head;
constexpr size_t pool_block_size = 64 * 1024;
} // namespace

static char *pool_alloc(size_t size) {
  if (!pool_head || pool_head->size - pool_head->used < size) {
    size_t capacity = size > pool_block_size ? size : pool_block_size;
    auto *block = static_cast<pool_block *>(xmalloc(sizeof(pool_block) + capacity));
    block->next = pool_head;
    block->used = 0;
    block->size = capacity;
    pool_head = block;
  }
  char *result = pool_head->data + pool_head->used;
  pool_head->used += size;
  return result;
}

const char *option_pool_strndup(const char *text, size_t length) {
  char *copy = pool_alloc(length + 1);
  memcpy(copy, text, length);
  copy[length] = 0;
  return copy;
}

const char *option_pool_strdup(const char *text) { return option_pool_strndup(text, strlen(text)); }

static const char *pool_concat(const char *a, const char *b) {
  size_t la = strlen(a), lb = strlen(b);
  char *result = pool_alloc(la + lb + 1);
  memcpy(result, a, la);
  memcpy(result + la, b, lb + 1);
  return result;
}

void init_options_storage() {
  // At the first call the records still hold their static images: the values
  // are the defaults already and the twin's row slots are zero, so only the
  // twin's named fields need clearing. Copying the whole 16 KiB pair would
  // touch (and fault in) every page of it at every start of the driver.
  static bool pristine = true;
  if (pristine)
    memset(static_cast<void *>(&global_options_set), 0, offsetof(options_record, row_slots));
  else {
    global_options = default_options;
    // Nothing is set explicitly yet: the twin is all zero, defaults included.
    memset(static_cast<void *>(&global_options_set), 0, sizeof global_options_set);
  }
  pristine = false;
  if (!pool_head)
    pool_alloc(0);
}

// Looking rows up.

static bool row_matches(const option_row &row, const char *input) {
  return strncmp(input, row.text + 1, row.text_length) == 0 &&
         (input[row.text_length] == 0 || (row.flags & CL_JOINED));
}

bool option_is_remapping_prefix(size_t row) {
  uint32_t flags = option_rows[row].flags;
  return (flags & CL_UNDOCUMENTED) && (flags & CL_JOINED) &&
         !(flags & (CL_LANG_ALL | CL_DRIVER | CL_TARGET | CL_COMMON));
}

size_t lookup_option(const char *input, unsigned mask) {
  size_t lo = 0, hi = option_row_count;
  while (hi - lo > 1) {
    size_t mid = (lo + hi) / 2;
    if (strncmp(input, option_rows[mid].text + 1, option_rows[mid].text_length) >= 0)
      lo = mid;
    else
      hi = mid;
  }

  // Every row that is a prefix of input is lo or on lo's back chain, longest first.
  size_t wrong_lang = option_row_count;
  for (size_t i = lo; i != option_row_count; i = option_rows[i].back_chain) {
    const option_row &row = option_rows[i];
    if (!row_matches(row, input))
      continue;
    if (row.flags & mask)
      return i;
    if (option_is_remapping_prefix(i))
      return SPECIAL_UNKNOWN;
    if (wrong_lang == option_row_count)
      wrong_lang = i;
  }
  if (wrong_lang != option_row_count)
    return wrong_lang;

  // "--he" for "--help": a unique abbreviation of a long option. A joined
  // twin spelled with one more character ("--help=") does not make it ambiguous.
  if (input[0] != '-')
    return SPECIAL_UNKNOWN;
  size_t length = strlen(input);
  size_t found = option_row_count;
  for (size_t i = lo + 1; i < option_row_count; i++) {
    const option_row &row = option_rows[i];
    if (strncmp(row.text + 1, input, length) != 0)
      break;
    if (i == lo + 1 && !(row.flags & CL_JOINED))
      found = i;
    else if (!(i == lo + 2 && found == lo + 1 && (row.flags & CL_JOINED) &&
               row.text_length == option_rows[found].text_length + 1 &&
               strncmp(row.text, option_rows[found].text, option_rows[found].text_length + 1) == 0))
      return SPECIAL_UNKNOWN;
  }
  return found != option_row_count ? found : SPECIAL_UNKNOWN;
}

void *option_field(size_t row, options_record *record) {
  uint16_t offset = option_rows[row].var_offset;
  return offset == NO_VAR_OFFSET ? nullptr : reinterpret_cast<char *>(record) + offset;
}

bool option_in_mask(size_t row, unsigned mask) {
  uint32_t flags = option_rows[row].flags;
  uint32_t shared = flags & mask;
  if (!shared)
    return false;
  // A target row naming languages or the driver is not taken for its target bit alone.
  if ((flags & CL_TARGET) && (flags & (CL_LANG_ALL | CL_DRIVER)) &&
      !(shared & ~(CL_COMMON | CL_TARGET)))
    return false;
  return true;
}

// Numbers.

uint64_t parse_number_argument(const char *text, int *err, bool byte_size_allowed) {
  *err = 0;
  if (text[0] < '0' || text[0] > '9') {
    *err = EINVAL;
    return UINT64_MAX;
  }
  char *end;
  errno = 0;
  uint64_t value = strtoull(text, &end, 10);
  if (*end == 0) {
    if (errno)
      *err = errno;
    return errno ? UINT64_MAX : value;
  }

  if (byte_size_allowed) {
    static const struct {
      const char *name;
      uint64_t factor;
      bool any_case;
    } units[] = {{"kB", 1000, false},
                 {"KB", 1024, false},
                 {"MB", 1000000, false},
                 {"KiB", 1ull << 10, true},
                 {"MiB", 1ull << 20, true},
                 {"GB", 1000000000ull, true},
                 {"GiB", 1ull << 30, true},
                 {"TB", 1000000000000ull, true},
                 {"TiB", 1ull << 40, true},
                 {"PB", 1000000000000000ull, true},
                 {"PiB", 1ull << 50, true},
                 {"EB", 1000000000000000000ull, true},
                 {"EiB", 1ull << 60, true}};
    for (const auto &unit : units) {
      if (unit.any_case ? strcasecmp(end, unit.name) != 0 : strcmp(end, unit.name) != 0)
        continue;
      uint64_t product;
      // A size too large to represent saturates.
      if (errno || __builtin_mul_overflow(value, unit.factor, &product))
        return UINT64_MAX;
      return product;
    }
    *err = EINVAL;
    return UINT64_MAX;
  }

  errno = 0;
  value = strtoull(text, &end, 0);
  if (*end == 0 && errno == 0)
    return value;
  *err = errno ? errno : EINVAL;
  return UINT64_MAX;
}

// Decoding.

const option_rewrite option_rewrites[option_rewrite_count] = {
    {"-Wno-", nullptr, "-W", false, true},
    {"-fno-", nullptr, "-f", false, true},
    {"-gno-", nullptr, "-g", false, true},
    {"-mno-", nullptr, "-m", false, true},
    {"--debug=", nullptr, "-g", false, false},
    {"--machine-", nullptr, "-m", true, false},
    {"--machine-no-", nullptr, "-m", false, true},
    {"--machine=", nullptr, "-m", false, false},
    {"--machine=no-", nullptr, "-m", false, true},
    {"--machine", "", "-m", false, false},
    {"--machine", "no-", "-m", false, true},
    {"--optimize=", nullptr, "-O", false, false},
    {"--std=", nullptr, "-std=", false, false},
    {"--std", "", "-std=", false, false},
    {"--warn-", nullptr, "-W", true, false},
    {"--warn-no-", nullptr, "-W", false, true},
    {"--", nullptr, "-f", true, false},
    {"--no-", nullptr, "-f", false, true},
};

static const enum_value *find_enum_value(const enum_table &table, const char *text,
                                         size_t length, unsigned lang_mask) {
  for (const enum_value *value = table.values; value->text; value++)
    if (strlen(value->text) == length && strncmp(value->text, text, length) == 0 &&
        (!(value->flags & ENUM_DRIVER_ONLY) || (lang_mask & CL_DRIVER)))
      return value;
  return nullptr;
}

static const char *canonical_enum_text(const enum_table &table, int value, unsigned lang_mask) {
  const char *first = nullptr;
  for (const enum_value *v = table.values; v->text; v++) {
    if (v->value != value || ((v->flags & ENUM_DRIVER_ONLY) && !(lang_mask & CL_DRIVER)))
      continue;
    if (v->flags & ENUM_CANONICAL)
      return v->text;
    if (!first)
      first = v->text;
  }
  return first;
}

// A comma-separated list of values; false when an element is empty, unknown,
// or (for sets of groups) of a group already used.
static bool decode_enum_set(const option_row &row, const char *arg, unsigned lang_mask,
                            int64_t *value, uint64_t *mask) {
  const enum_table &table = enum_tables[row.var_enum];
  std::vector<uint32_t> groups;
  int64_t bits = 0;
  uint64_t changed = 0;
  for (const char *p = arg;;) {
    const char *comma = strchr(p, ',');
    size_t length = comma ? static_cast<size_t>(comma - p) : strlen(p);
    const enum_value *element = length ? find_enum_value(table, p, length, lang_mask) : nullptr;
    if (!element)
      return false;
    if (row.var_value == 1) {
      uint32_t group = element->flags >> ENUM_GROUP_SHIFT;
      for (uint32_t used : groups)
        if (used == group)
          return false;
      groups.push_back(group);
      for (const enum_value *v = table.values; v->text; v++)
        if ((v->flags >> ENUM_GROUP_SHIFT) == group)
          changed |= static_cast<uint64_t>(v->value);
    } else
      changed |= static_cast<uint64_t>(element->value);
    bits |= element->value;
    if (!comma)
      break;
    p = comma + 1;
  }
  if (*value == 1)
    *value = bits;
  *mask = changed;
  return true;
}

static const char *join_words(const char *const *words, size_t count) {
  if (count == 1 && *words[0])
    return words[0];
  std::string text;
  for (size_t i = 0; i < count; i++) {
    if (i)
      text += ' ';
    text += *words[i] ? words[i] : "\"\"";
  }
  return option_pool_strdup(text.c_str());
}

void generate_canonical_option(size_t row, const char *arg, int64_t value,
                               decoded_option *decoded) {
  const option_row &option = option_rows[row];
  const char *text = option.text;
  char letter = text[1];
  if (value == 0 && !(option.attributes & ATTR_REJECT_NEGATIVE) &&
      (letter == 'W' || letter == 'f' || letter == 'm')) {
    const char prefix[] = {'-', letter, 'n', 'o', '-', 0};
    text = pool_concat(prefix, text + 2);
  }
  decoded->canonical_words[2] = decoded->canonical_words[3] = nullptr;
  if (!arg) {
    decoded->canonical_words[0] = text;
    decoded->canonical_words[1] = nullptr;
    decoded->canonical_word_count = 1;
  } else if ((option.flags & CL_SEPARATE) && !(option.attributes & ATTR_SEPARATE_ALIAS)) {
    decoded->canonical_words[0] = text;
    decoded->canonical_words[1] = arg;
    decoded->canonical_word_count = 2;
  } else {
    quarn_assert(option.flags & CL_JOINED);
    decoded->canonical_words[0] = pool_concat(text, arg);
    decoded->canonical_words[1] = nullptr;
    decoded->canonical_word_count = 1;
  }
}

/* The command-line grammar, as the decoder reads one option:

     word    := "-" text [argument]
     the row := the longest row text (after its "-") that the word begins
                with and that either ends the word or takes a joined argument

   Rows are sorted bytewise, so a row that is a prefix of another comes
   first; lookup finds the last row not after the word and walks the chain
   of its prefixes, longest first. So "-fdump-tree-all" is "-fdump-" with
   the argument "tree-all", while "-fdump-noaddr" is its own row, and "-o"
   takes "-ofile" as "-o" "file". A row of another language is remembered and
   used only when no row of the requested classes matches (the driver saves
   such options for the compilers). A word starting with "--" that matches
   nothing may abbreviate one long option ("--he" is "--help").

   When the word matches no row as it stands, it is respelled with the first
   of option_rewrites that yields a row: "-fno-X" is "-fX" negated,
   "--optimize=2" is "-O2", "--machine" "arch=x" is "-march=x" (two words),
   "--foo" is "-ffoo". A "no-" spelling of a row without a negative form is
   unknown, not the row.

   The argument: a joined row takes the rest of the word (an empty rest is no
   argument unless the row allows an empty one, and then a row that also
   takes a separate argument uses the next word); a separate-only row takes
   the next word. Aliases then stand for their target, with the alias's own
   argument if it has one. */
// One option being decoded: its words and how far the reading has got.
struct option_reading {
  const char *const *argv;
  unsigned lang_mask;
  const char *spelled; // the word as looked up, after any respelling
  unsigned used;       // words taken so far
  bool separate_arg;   // the argument is a word of its own
};

// The row of the word as it stands or, failing that, respelled with the first
// rewrite that yields one; *value becomes 0 for a negating respelling.
static size_t find_row(option_reading *r, int64_t *value) {
  const char *word = r->argv[0];
  size_t row = lookup_option(word + 1, r->lang_mask);
  for (size_t i = 0; row == SPECIAL_UNKNOWN && i < option_rewrite_count; i++) {
    const option_rewrite &rewrite = option_rewrites[i];
    size_t prefix_length = strlen(rewrite.word_prefix);
    if (strncmp(word, rewrite.word_prefix, prefix_length) != 0)
      continue;
    const char *rest = word + prefix_length;
    if (rewrite.second_word_prefix) {
      // The option is this exact word and the next one.
      size_t second_length = strlen(rewrite.second_word_prefix);
      if (*rest || !r->argv[1] ||
          strncmp(r->argv[1], rewrite.second_word_prefix, second_length) != 0)
        continue;
      rest = r->argv[1] + second_length;
    } else if (rewrite.more_needed && *rest == 0)
      continue;
    std::string candidate = std::string(rewrite.new_prefix) + rest;
    row = lookup_option(candidate.c_str() + 1, r->lang_mask);
    if (row != SPECIAL_UNKNOWN) {
      r->spelled = option_pool_strdup(candidate.c_str());
      *value = rewrite.negated ? 0 : 1;
      r->used = rewrite.second_word_prefix ? 2 : 1;
    }
  }
  return row;
}

// The rest of a joined word, or the next word.
static void take_argument(option_reading *r, const option_row &option, decoded_option *d) {
  bool separate = (option.flags & CL_SEPARATE) &&
                  !((option.attributes & ATTR_NO_DRIVER_ARG) && (r->lang_mask & CL_DRIVER));
  const char *arg = nullptr;
  if (option.flags & CL_JOINED) {
    arg = r->spelled + 1 + option.text_length;
    if (*arg == 0 && !(option.attributes & ATTR_EMPTY_ARG_OK))
      arg = nullptr;
  }
  if (!arg && separate && r->argv[r->used]) {
    arg = r->argv[r->used++];
    r->separate_arg = true;
  }
  if (!arg && ((option.flags & CL_JOINED) || separate))
    d->errors |= ERR_MISSING_ARG;
  d->arg = arg;
}

// An alias stands for its target, with the alias's own argument if it has
// one; false when the target is a retired or ignored option.
static bool follow_alias(const option_reading &r, decoded_option *d) {
  const option_row &option = option_rows[d->row];
  if (option.alias_target == OPTION_ROW_COUNT ||
      ((option.attributes & ATTR_SEPARATE_ALIAS) && !r.separate_arg))
    return true;
  if (option.alias_target == SPECIAL_IGNORE || option.alias_target == SPECIAL_WARN_REMOVED) {
    d->row = option.alias_target;
    d->arg = nullptr;
    return false;
  }
  if (option.neg_alias_arg) {
    d->arg = d->value ? option.alias_arg : option.neg_alias_arg;
    d->value = 1;
  } else if (option.alias_arg)
    d->arg = option.alias_arg;
  if (option.attributes & ATTR_NEGATIVE_ALIAS)
    d->value = !d->value;

  d->row = option.alias_target;
  const option_row &target = option_rows[d->row];
  quarn_assert(target.alias_target == OPTION_ROW_COUNT);
  if (target.warn_message)
    d->warn_message = target.warn_message;
  if (target.attributes & ATTR_DISABLED)
    d->errors |= ERR_DISABLED;
  if (!d->arg && (target.flags & (CL_JOINED | CL_SEPARATE)) &&
      (target.attributes & ATTR_EMPTY_ARG_OK))
    d->arg = "";
  return true;
}

// The language of the row, then the argument: case, integer, enumerated value.
static void check_argument(const option_reading &r, decoded_option *d) {
  const option_row &option = option_rows[d->row];
  if (!option_in_mask(d->row, r.lang_mask))
    d->errors |= ERR_WRONG_LANG;
  // -Werror=foo is of the language of -Wfoo.
  if (d->row == OPT_Werror_ && d->arg && !strchr(d->arg, ',')) {
    size_t warning = lookup_option(("W" + std::string(d->arg)).c_str(), r.lang_mask);
    if (warning != SPECIAL_UNKNOWN && !option_in_mask(warning, r.lang_mask))
      d->errors |= ERR_WRONG_LANG;
  }
  if (!d->arg)
    return;

  if (option.attributes & ATTR_TOLOWER) {
    char *lower = const_cast<char *>(option_pool_strdup(d->arg));
    for (char *p = lower; *p; p++)
      if (*p >= 'A' && *p <= 'Z')
        *p = static_cast<char>(*p + 32);
    d->arg = lower;
  }

  if (option.attributes & (ATTR_UINTEGER | ATTR_INT64)) {
    int err = 0;
    d->value = *d->arg ? static_cast<int64_t>(parse_number_argument(
                             d->arg, &err, option.attributes & ATTR_BYTE_SIZE))
                       : 0;
    if (err)
      d->errors |= ERR_UINT_ARG;
    else if (option.range_max != -1 &&
             (d->value < option.range_min || d->value > option.range_max))
      d->errors |= ERR_INT_RANGE_ARG;
  }

  if (option.var_type == VAR_ENUM) {
    const enum_table &table = enum_tables[option.var_enum];
    if (option.var_value != 0) {
      if (!decode_enum_set(option, d->arg, r.lang_mask, &d->value, &d->mask))
        d->errors |= ERR_ENUM_SET_ARG;
    } else if (const enum_value *found =
                   find_enum_value(table, d->arg, strlen(d->arg), r.lang_mask)) {
      d->value = found->value;
      d->arg = canonical_enum_text(table, found->value, r.lang_mask);
    } else
      d->errors |= ERR_ENUM_ARG;
  }
}

unsigned decode_cmdline_option(const char *const *argv, unsigned lang_mask,
                               decoded_option *decoded) {
  option_reading r{argv, lang_mask, argv[0], 1, false};
  decoded_option &d = *decoded;
  d = decoded_option{};
  d.value = 1;
  d.row = find_row(&r, &d.value);

  if (d.row == SPECIAL_UNKNOWN ||
      (d.value == 0 && (option_rows[d.row].attributes & ATTR_REJECT_NEGATIVE))) {
    // Unknown words, and "no-" spellings of rows without a negative form.
    d.errors = d.row == SPECIAL_UNKNOWN ? 0 : ERR_NEGATIVE;
    d.row = SPECIAL_UNKNOWN;
    d.arg = argv[0];
    d.value = 1;
  } else {
    const option_row &option = option_rows[d.row];
    if (option.var_type == VAR_SIZE)
      d.value = 0;
    d.warn_message = option.warn_message;
    if (option.attributes & ATTR_DISABLED)
      d.errors |= ERR_DISABLED;
    take_argument(&r, option, &d);
    if (follow_alias(r, &d))
      check_argument(r, &d);
  }

  d.given_text = join_words(argv, r.used);
  if (d.row < option_row_count)
    generate_canonical_option(d.row, d.arg, d.value, &d);
  else {
    for (size_t i = 0; i < 4; i++)
      d.canonical_words[i] = i < r.used ? argv[i] : nullptr;
    d.canonical_word_count = r.used;
  }
  return r.used;
}

void make_input_file_option(const char *word, decoded_option *decoded) {
  *decoded = decoded_option{};
  decoded->row = SPECIAL_INPUT_FILE;
  decoded->arg = word;
  decoded->given_text = word;
  decoded->canonical_words[0] = word;
  decoded->canonical_word_count = 1;
  decoded->value = 1;
}

void generate_option(size_t row, const char *arg, int64_t value, unsigned lang_mask,
                     decoded_option *decoded) {
  *decoded = decoded_option{};
  decoded->row = row;
  decoded->warn_message = option_rows[row].warn_message;
  decoded->arg = arg;
  decoded->value = value;
  decoded->errors = option_in_mask(row, lang_mask) ? 0 : ERR_WRONG_LANG;
  generate_canonical_option(row, arg, value, decoded);
  decoded->given_text =
      decoded->canonical_word_count == 1
          ? decoded->canonical_words[0]
          : join_words(decoded->canonical_words, decoded->canonical_word_count);
}

// Options whose later uses override earlier ones: a row with a negation
// chain that is not joined (or links only to itself).
static bool prunable(const decoded_option &decoded) {
  if ((decoded.errors & ~ERR_WRONG_LANG) || decoded.row >= option_row_count)
    return false;
  const option_row &row = option_rows[decoded.row];
  return row.neg_index != -1 &&
         (!(row.flags & CL_JOINED) || ((row.attributes & ATTR_REJECT_NEGATIVE) &&
                                       row.neg_index == static_cast<int32_t>(decoded.row)));
}

void prune_options(decoded_option *options, unsigned *count) {
  unsigned n = *count;
  // Walking backwards, every row on the negation cycle of a later option is
  // cancelled for the options before it.
  std::vector<bool> cancelled(option_row_count), dropped(n);
  for (unsigned i = n; i-- > 0;) {
    if (!prunable(options[i]))
      continue;
    size_t row = options[i].row;
    if (cancelled[row]) {
      dropped[i] = true;
      continue;
    }
    size_t k = row;
    for (size_t steps = 0; steps <= option_row_count; steps++) {
      cancelled[k] = true;
      k = static_cast<size_t>(option_rows[k].neg_index);
      if (k == row)
        break;
    }
  }

  // The last -fdiagnostics-color= moves to the front, so that the color mode
  // is set before anything else is reported.
  unsigned kept = 0;
  bool have_color = false;
  decoded_option color;
  for (unsigned i = 0; i < n; i++) {
    if (options[i].row == OPT_fdiagnostics_color_ && !(options[i].errors & ~ERR_WRONG_LANG)) {
      color = options[i];
      have_color = true;
    } else if (!dropped[i])
      options[kept++] = options[i];
  }
  if (have_color) {
    unsigned at = kept > 0 ? 1 : 0;
    memmove(&options[at + 1], &options[at], (kept - at) * sizeof *options);
    options[at] = color;
    kept++;
  }
  *count = kept;
}

void decode_argv_options(unsigned argc, const char *const *argv, unsigned lang_mask,
                         decoded_option **decoded_options, unsigned *decoded_options_count) {
  static const char *const plain_output[] = {
      "-fno-diagnostics-show-caret", "-fno-diagnostics-show-line-numbers",
      "-fdiagnostics-color=never", "-fdiagnostics-urls=never",
      "-fdiagnostics-path-format=separate-events"};
  size_t capacity = argc + 8;
  auto *options = static_cast<decoded_option *>(xmalloc(capacity * sizeof(decoded_option)));
  unsigned n = 0;
  auto next_slot = [&]() -> decoded_option * {
    if (n == capacity) {
      capacity *= 2;
      options = static_cast<decoded_option *>(xrealloc(options, capacity * sizeof *options));
    }
    return &options[n++];
  };

  // A program started with an empty argument vector still gets its entry 0.
  decoded_option *program = next_slot();
  make_input_file_option(argc > 0 && argv[0] ? argv[0] : "", program);
  program->row = SPECIAL_PROGRAM_NAME;

  for (unsigned i = 1; i < argc;) {
    const char *word = argv[i];
    // The decoder looks at most two words ahead; the window ends the vector
    // whether or not argv is null-terminated.
    const char *window[4] = {word, i + 1 < argc ? argv[i + 1] : nullptr,
                             i + 2 < argc ? argv[i + 2] : nullptr, nullptr};
    if (word[0] != '-' || word[1] == 0) {
      make_input_file_option(word, next_slot());
      i++;
    } else if (strcmp(word, "--param") == 0 && window[1]) {
      const char *joined[3] = {pool_concat("--param=", window[1]), window[2], nullptr};
      i += decode_cmdline_option(joined, lang_mask, next_slot()) + 1;
    } else if (strcmp(word, "-fdiagnostics-plain-output") == 0) {
      for (const char *text : plain_output) {
        const char *single[2] = {text, nullptr};
        decode_cmdline_option(single, lang_mask, next_slot());
      }
      i++;
    } else
      i += decode_cmdline_option(window, lang_mask, next_slot());
  }

  prune_options(options, &n);
  *decoded_options = options;
  *decoded_options_count = n;
}

// Reading decoded options.

static void report_unknown_enum_value(location_id loc, const option_row &option,
                                      const char *given_text, const char *value,
                                      unsigned lang_mask) {
  const enum_table &table = enum_tables[option.var_enum];
  if (table.unknown_message)
    error_at(loc, table.unknown_message, value);
  else
    error_at(loc, "unrecognized argument in option %qs", given_text);

  std::string list;
  std::vector<const char *> candidates;
  for (const enum_value *v = table.values; v->text; v++) {
    if ((v->flags & ENUM_DRIVER_ONLY) && !(lang_mask & CL_DRIVER))
      continue;
    if (!list.empty())
      list += ' ';
    list += v->text;
    candidates.push_back(v->text);
  }
  const char *hint = find_closest_string(value, candidates.data(), candidates.size());
  if (hint)
    inform(loc, "valid arguments to %qs are: %s; did you mean %qs?", option.text, list.c_str(),
           hint);
  else
    inform(loc, "valid arguments to %qs are: %s", option.text, list.c_str());
}

// Finds the element of a set-valued argument that made decoding fail.
static bool report_enum_set_error(location_id loc, const option_row &option,
                                  const char *given_text, const char *arg, unsigned lang_mask) {
  const enum_table &table = enum_tables[option.var_enum];
  struct seen_element {
    std::string text;
    uint32_t group;
  };
  std::vector<seen_element> seen;
  for (const char *p = arg;;) {
    const char *comma = strchr(p, ',');
    size_t length = comma ? static_cast<size_t>(comma - p) : strlen(p);
    std::string element(p, length);
    const enum_value *value = length ? find_enum_value(table, p, length, lang_mask) : nullptr;
    if (!value) {
      report_unknown_enum_value(loc, option, given_text, element.c_str(), lang_mask);
      return true;
    }
    uint32_t group = value->flags >> ENUM_GROUP_SHIFT;
    if (option.var_value == 1)
      for (const seen_element &earlier : seen)
        if (earlier.group == group) {
          error_at(loc, "invalid argument in option %qs", given_text);
          if (earlier.text == element)
            inform(loc, "%qs specified multiple times in the same option", element.c_str());
          else
            inform(loc, "%qs is mutually exclusive with %qs and cannot be specified together",
                   earlier.text.c_str(), element.c_str());
          return true;
        }
    seen.push_back({element, group});
    if (!comma)
      return false;
    p = comma + 1;
  }
}

bool report_option_error(location_id loc, size_t row, const char *given_text, const char *arg,
                         int errors, unsigned lang_mask) {
  const option_row &option = option_rows[row];
  if (errors & ERR_DISABLED) {
    error_at(loc, "command-line option %qs is not supported by this configuration", given_text);
    return true;
  }
  if (errors & ERR_MISSING_ARG) {
    if (option.missing_argument_message)
      error_at(loc, option.missing_argument_message, given_text);
    else
      error_at(loc, "missing argument to %qs", given_text);
    return true;
  }
  if (errors & ERR_UINT_ARG) {
    if (option.attributes & ATTR_BYTE_SIZE)
      error_at(loc,
               "argument to %qs should be a non-negative integer optionally followed by a size unit",
               option.text);
    else
      error_at(loc, "argument to %qs should be a non-negative integer", option.text);
    return true;
  }
  if (errors & ERR_INT_RANGE_ARG) {
    error_at(loc, "argument to %qs is not between %d and %d", option.text, option.range_min,
             option.range_max);
    return true;
  }
  if ((errors & ERR_ENUM_SET_ARG) && report_enum_set_error(loc, option, given_text, arg, lang_mask))
    return true;
  if (errors & ERR_ENUM_ARG) {
    report_unknown_enum_value(loc, option, given_text, arg, lang_mask);
    return true;
  }
  return false;
}

static void set_int_field(void *field, int64_t value, bool wide) {
  if (wide)
    *static_cast<int64_t *>(field) = value;
  else
    *static_cast<int *>(field) = static_cast<int>(value);
}

void store_option_value(options_record *opts, options_record *opts_set, size_t row,
                        int64_t value, const char *arg, location_id loc, uint64_t mask) {
  const option_row &option = option_rows[row];
  void *field = option_field(row, opts);
  if (!field)
    return;
  void *set_field = opts_set ? option_field(row, opts_set) : nullptr;
  bool wide = option.attributes & ATTR_INT64;

  switch (option.var_type) {
  case VAR_INTEGER:
    if (!wide && static_cast<uint64_t>(value) > INT_MAX) {
      error_at(loc, "argument to %qs is bigger than %d", option.text, INT_MAX);
      return;
    }
    set_int_field(field, value, wide);
    if (set_field)
      set_int_field(set_field, 1, wide);
    break;
  case VAR_EQUAL:
    set_int_field(field, value ? option.var_value : !option.var_value, wide);
    if (set_field)
      set_int_field(set_field, 1, wide);
    break;
  case VAR_BIT_CLEAR:
  case VAR_BIT_SET: {
    int &bits = *static_cast<int *>(field);
    if ((value != 0) == (option.var_type == VAR_BIT_SET))
      bits |= static_cast<int>(option.var_value);
    else
      bits &= ~static_cast<int>(option.var_value);
    if (set_field)
      *static_cast<int *>(set_field) |= static_cast<int>(option.var_value);
    break;
  }
  case VAR_SIZE:
    *static_cast<int64_t *>(field) = value;
    if (set_field)
      *static_cast<int64_t *>(set_field) = value;
    break;
  case VAR_STRING:
    *static_cast<const char **>(field) = arg;
    if (set_field)
      *static_cast<const char **>(set_field) = "";
    break;
  case VAR_ENUM: {
    const enum_table &table = enum_tables[option.var_enum];
    int stored = static_cast<int>(value);
    if (mask)
      stored |= table.get(field) & ~static_cast<int>(mask);
    table.set(field, stored);
    if (set_field)
      table.set(set_field, 1);
    break;
  }
  case VAR_DEFERRED: {
    auto *&list = *static_cast<deferred_option_list **>(field);
    if (!list)
      list = static_cast<deferred_option_list *>(xcalloc(1, sizeof(deferred_option_list)));
    if (list->count == list->capacity) {
      list->capacity = list->capacity ? 2 * list->capacity : 4;
      list->items = static_cast<deferred_option *>(
          xrealloc(list->items, list->capacity * sizeof(deferred_option)));
    }
    list->items[list->count++] = {row, arg, value};
    if (set_field)
      *static_cast<deferred_option_list **>(set_field) = list;
    break;
  }
  }
}

bool dispatch_option(options_record *opts, options_record *opts_set,
                     const decoded_option *decoded, unsigned lang_mask, location_id loc,
                     const option_handlers *handlers, bool generated_p, diag_context *dc) {
  const option_row &option = option_rows[decoded->row];
  if (option.var_offset != NO_VAR_OFFSET)
    store_option_value(opts, generated_p ? nullptr : opts_set, decoded->row, decoded->value,
                       decoded->arg, loc, decoded->mask);
  for (size_t i = 0; i < handlers->num_handlers; i++)
    if ((handlers->handlers[i].mask & option.flags) &&
        !handlers->handlers[i].handler(opts, opts_set, decoded, lang_mask, KIND_UNSPECIFIED, loc,
                                       handlers, dc, handlers->target_option_override_hook))
      return false;
  return true;
}

void read_cmdline_option(options_record *opts, options_record *opts_set,
                         const decoded_option *decoded, location_id loc, unsigned lang_mask,
                         const option_handlers *handlers, diag_context *dc) {
  if (decoded->warn_message)
    warning_at(loc, 0, decoded->warn_message, decoded->given_text);

  switch (decoded->row) {
  case SPECIAL_UNKNOWN:
    if (handlers->unknown_option_callback(decoded))
      error_at(loc, "unrecognized command-line option %qs", decoded->arg);
    return;
  case SPECIAL_IGNORE:
    return;
  case SPECIAL_WARN_REMOVED:
    if (decoded->value)
      warning_at(loc, 0, "switch %qs is no longer supported", decoded->given_text);
    return;
  }

  if (decoded->errors) {
    if (report_option_error(loc, decoded->row, decoded->given_text, decoded->arg,
                            decoded->errors, lang_mask))
      return;
    if (decoded->errors & ERR_WRONG_LANG) {
      handlers->wrong_lang_callback(decoded, lang_mask);
      return;
    }
  }

  if (!dispatch_option(opts, opts_set, decoded, lang_mask, loc, handlers, false, dc))
    error_at(loc, "unrecognized command-line option %qs", decoded->given_text);
}

// One "%d" of the descriptor pair; a number out of int range reads as nothing
// (it cannot name an open descriptor) instead of overflowing.
static bool read_descriptor_number(const char **cursor, int *value) {
  char *end;
  errno = 0;
  long number = strtol(*cursor, &end, 10);
  if (end == *cursor || errno == ERANGE || number < INT_MIN || number > INT_MAX)
    return false;
  *value = static_cast<int>(number);
  *cursor = end;
  return true;
}

jobserver_info jobserver_probe() {
  jobserver_info info{false, "", nullptr};
  const char *makeflags = getenv("MAKEFLAGS");
  if (!makeflags)
    return info;
  static const char needle[] = "--jobserver-auth=";
  const char *found = nullptr;
  for (const char *p = strstr(makeflags, needle); p; p = strstr(p + 1, needle))
    found = p;
  if (!found)
    return info;

  const char *after = found + sizeof needle - 1;
  if (strncmp(after, "fifo:", 5) == 0) {
    const char *path = after + 5;
    info.is_active = true;
    info.pipe_path = option_pool_strndup(path, strcspn(path, " "));
    return info;
  }
  int read_fd, write_fd;
  const char *cursor = after;
  if (read_descriptor_number(&cursor, &read_fd) && *cursor++ == ',' &&
      read_descriptor_number(&cursor, &write_fd) && read_fd > 0 && write_fd > 0 &&
      fcntl(read_fd, F_GETFD) >= 0 && fcntl(write_fd, F_GETFD) >= 0) {
    info.is_active = true;
    return info;
  }

  // Cut the needle's word out and keep the rest for the children.
  std::string replacement = "MAKEFLAGS=" + std::string(makeflags, found);
  if (const char *space = strchr(found, ' '))
    replacement += space;
  info.replacement = option_pool_strdup(replacement.c_str());
  return info;
}
