// Multilib selection over the seven multilib texts. The texts are small and
// read once per run, so each walk reads them directly; only the two switch
// sets are kept.
#include "support/multilib.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "driver/driver_state.h"
#include "support/alloc.h"
#include "support/file_lookup.h"

const char *const multilib_select_builtin = MULTILIB_SELECT_TEXT;
const char *const multilib_defaults_builtin = MULTILIB_DEFAULTS_TEXT;
const char *const multilib_matches_builtin = MULTILIB_MATCHES_TEXT;
const char *const multilib_exclusions_builtin = MULTILIB_EXCLUSIONS_TEXT;
const char *const multilib_reuse_builtin = MULTILIB_REUSE_TEXT;

namespace {

// Copies, not views: a spec file read later may free the texts they came from.
struct switch_sets {
  std::vector<std::string> defaults;
  std::vector<std::string> used;
  bool defaults_built = false;
  bool used_built = false;
};

switch_sets sets;

const char *or_empty(const char *text) {
  return text ? text : "";
}

bool contains(const std::vector<std::string> &set, std::string_view word) {
  for (const std::string &entry : set)
    if (entry == word)
      return true;
  return false;
}

void split_blank_words(const char *text, std::vector<std::string> *out) {
  const char *p = or_empty(text);
  while (*p) {
    while (*p == ' ' || *p == '\t')
      p++;
    const char *start = p;
    while (*p && *p != ' ' && *p != '\t')
      p++;
    if (p > start)
      out->emplace_back(start, p - start);
  }
}

void build_defaults(const multilib_texts *texts) {
  if (sets.defaults_built)
    return;
  split_blank_words(texts->defaults, &sets.defaults);
  sets.defaults_built = true;
}

// "OPTION REPLACEMENT;" pairs. Every pair must end in ';': a last pair
// without one is as malformed as a pair without its space.
struct match_pair {
  std::string_view option;
  std::string_view replacement;
};

std::vector<match_pair> parse_matches(const char *text) {
  std::vector<match_pair> pairs;
  const char *p = text;
  while (*p) {
    const char *option = p;
    while (*p != ' ') {
      if (!*p)
        fatal_error(UNKNOWN_LOCATION, "multilib spec %qs is invalid", text);
      p++;
    }
    match_pair pair{std::string_view(option, p - option), {}};
    const char *replacement = ++p;
    while (*p != ';') {
      if (!*p || *p == ' ')
        fatal_error(UNKNOWN_LOCATION, "multilib spec %qs is invalid", text);
      p++;
    }
    pair.replacement = std::string_view(replacement, p - replacement);
    pairs.push_back(pair);
    p++;
  }
  // One pair per ';': an OPTION that swallowed a ';' leaves a pair that would
  // start at the end of the text.
  if (pairs.size() < size_t(std::count(text, text + strlen(text), ';')))
    fatal_error(UNKNOWN_LOCATION, "multilib spec %qs is invalid", text);
  return pairs;
}

void add_matched_switches(const std::vector<match_pair> &pairs, const switch_table *switches) {
  for (int i = 0; switches && i < switches->count; i++) {
    const driver_switch &sw = switches->entries[i];
    if ((sw.liveness & SWITCH_REMOVED) || !sw.name)
      continue;
    for (const match_pair &pair : pairs)
      if (pair.option == sw.name) {
        sets.used.emplace_back(pair.replacement);
        break;
      }
  }
}

// One group of "multilib_options": alternatives separated by '/'.
std::vector<std::string_view> group_alternatives(const char *group, const char *end) {
  std::vector<std::string_view> alternatives;
  const char *p = group;
  for (;;) {
    const char *start = p;
    while (p < end && *p != '/')
      p++;
    alternatives.emplace_back(start, p - start);
    if (p >= end)
      break;
    p++;
  }
  return alternatives;
}

// A default is in effect unless another alternative of its option group was
// asked for.
void add_defaults_in_effect(const char *options) {
  for (const std::string &word : sets.defaults) {
    const char *p = or_empty(options);
    while (*p) {
      while (*p == ' ')
        p++;
      if (!*p)
        break;
      const char *group = p;
      while (*p && *p != ' ')
        p++;
      std::vector<std::string_view> alternatives = group_alternatives(group, p);
      bool found = false;
      for (std::string_view alternative : alternatives)
        if (alternative == word)
          found = true;
      if (!found)
        continue;
      bool taken = false;
      for (std::string_view alternative : alternatives)
        if (contains(sets.used, alternative)) {
          taken = true;
          break;
        }
      if (!taken)
        sets.used.push_back(word);
      break;
    }
  }
}

void build_used(const multilib_texts *texts, const switch_table *switches) {
  if (sets.used_built)
    return;
  build_defaults(texts);
  add_matched_switches(parse_matches(or_empty(texts->matches)), switches);
  add_defaults_in_effect(texts->options);
  sets.used_built = true;
}

// The message and texts quoted when a text ends inside an entry.
struct malformed_text {
  const char *format;
  const char *text;
  const char *second_text; // none for the one-text messages
};

[[noreturn]] void report_malformed(const malformed_text &what) {
  if (what.second_text)
    fatal_error(UNKNOWN_LOCATION, what.format, what.text, what.second_text);
  fatal_error(UNKNOWN_LOCATION, what.format, what.text);
}

// Reads one ARG word of an entry: up to a space or the closing ';'. A text
// that ends first is malformed.
std::string_view read_word(const char **cursor, const malformed_text &what) {
  const char *p = *cursor;
  const char *start = p;
  while (*p != ' ' && *p != ';') {
    if (!*p)
      report_malformed(what);
    p++;
  }
  std::string_view word(start, p - start);
  if (*p == ' ')
    p++;
  *cursor = p;
  return word;
}

bool is_used_word(const multilib_texts *texts, const switch_table *switches,
                  std::string_view word) {
  return is_used_arg(texts, switches, word.data(), word.size());
}

bool is_default_word(const multilib_texts *texts, std::string_view word) {
  return is_default_arg(texts, word.data(), word.size());
}

// True when some exclusion entry holds for the switches in effect.
struct entry_match {
  bool holds;
  // Every word held by the switches alone, none only as a default: such a
  // select entry names the OS and multiarch directories.
  bool all_non_default;
};

// Reads the ARG words of one entry through its ';': it holds when each word
// is a switch in use and each '!' word is not. With DEFAULTS_HOLD a word
// naming a default holds too.
entry_match match_entry(const char **cursor, const multilib_texts *texts,
                        const switch_table *switches, const malformed_text &what,
                        bool defaults_hold) {
  entry_match match{true, true};
  while (**cursor != ';') {
    std::string_view word = read_word(cursor, what);
    if (!match.holds)
      continue;
    bool negated = !word.empty() && word[0] == '!';
    if (negated)
      word.remove_prefix(1);
    match.holds = is_used_word(texts, switches, word) != negated;
    if (!match.holds)
      match.all_non_default = false;
    if (defaults_hold && is_default_word(texts, word))
      match.holds = true;
  }
  (*cursor)++;
  return match;
}

// Steps over the line breaks between entries; false at the end of the text.
bool next_entry(const char **cursor) {
  while (**cursor == '\n')
    (*cursor)++;
  return **cursor != '\0';
}

// Reads the PATH of a select entry and the space after it.
std::string_view read_path(const char **cursor, const malformed_text &what) {
  const char *p = *cursor;
  const char *path = p;
  while (*p != ' ') {
    if (!*p)
      report_malformed(what);
    p++;
  }
  *cursor = p + 1;
  return std::string_view(path, p - path);
}

// True when some exclusion entry holds for the switches in effect.
bool excluded(const multilib_texts *texts, const switch_table *switches) {
  const char *text = or_empty(texts->exclusions);
  const malformed_text what{N_("multilib exclusions %qs is invalid"), text, nullptr};
  const char *p = text;
  while (next_entry(&p))
    if (match_entry(&p, texts, switches, what, false).holds)
      return true;
  return false;
}

const char *path_piece(std::string_view piece) {
  return xstrndup(piece.data(), piece.size());
}

} // namespace

bool is_default_arg(const multilib_texts *texts, const char *word, size_t length) {
  build_defaults(texts);
  return contains(sets.defaults, std::string_view(word, length));
}

bool is_used_arg(const multilib_texts *texts, const switch_table *switches, const char *word,
                 size_t length) {
  build_used(texts, switches);
  return contains(sets.used, std::string_view(word, length));
}

void select_multilib(const multilib_texts *texts, const switch_table *switches) {
  selected_multilib = multilib_dirs();
  build_defaults(texts);
  if (excluded(texts, switches))
    return;

  const char *reuse = or_empty(texts->reuse);
  std::string select = std::string(or_empty(texts->select)) + reuse;
  const char *select_text = or_empty(texts->select);
  const malformed_text what{N_("multilib select %qs %qs is invalid"), select_text, reuse};
  bool first = true;
  const char *p = select.c_str();
  while (next_entry(&p)) {
    std::string_view path_text = read_path(&p, what);
    entry_match match = match_entry(&p, texts, switches, what, true);

    size_t colon = path_text.find(':');
    if (match.holds && first) {
      if (path_text != ".")
        selected_multilib.multilib_subdir = path_piece(path_text.substr(0, colon));
      first = false;
    }
    if (match.all_non_default && colon != std::string_view::npos) {
      std::string_view rest = path_text.substr(colon + 1);
      size_t second = rest.find(':');
      std::string_view os_dir = rest.substr(0, second);
      selected_multilib.multilib_os_subdir = os_dir.empty() ? "." : path_piece(os_dir);
      if (second != std::string_view::npos)
        selected_multilib.multiarch_subdir = path_piece(rest.substr(second + 1));
      break;
    }
  }

  multilib_dirs &dirs = selected_multilib;
  if (!dirs.multilib_subdir && dirs.multilib_os_subdir && strcmp(dirs.multilib_os_subdir, ".") == 0)
    dirs.multilib_os_subdir = nullptr;
  else if (dirs.multilib_subdir && !dirs.multilib_os_subdir)
    dirs.multilib_os_subdir = dirs.multilib_subdir;
}

namespace {

// The ARG words of one select entry, from after its PATH to its ';'.
std::vector<std::string_view> entry_args(const char **cursor, const char *select_text) {
  std::vector<std::string_view> args;
  while (**cursor != ';')
    args.push_back(read_word(cursor, {N_("multilib select %qs is invalid"), select_text, nullptr}));
  (*cursor)++;
  return args;
}

// An exclusion entry whose every word is an ARG of the entry or a default
// names a combination without a library set.
bool excluded_entry(const multilib_texts *texts, const std::vector<std::string_view> &args) {
  const char *text = or_empty(texts->exclusions);
  const char *p = text;
  bool skip = false;
  while (next_entry(&p)) {
    bool matches = true;
    while (*p != ';') {
      std::string_view word =
          read_word(&p, {N_("multilib exclusion %qs is invalid"), text, nullptr});
      bool found = is_default_word(texts, word);
      for (std::string_view arg : args)
        found = found || arg == word;
      matches = matches && found;
    }
    p++;
    skip = skip || matches;
  }
  return skip;
}

// An entry that differs from another only by naming a default is printed by
// that other entry.
bool only_adds_defaults(const multilib_texts *texts, const std::vector<std::string_view> &args) {
  bool default_seen = false;
  for (std::string_view arg : args) {
    if (!arg.empty() && arg[0] == '!') {
      if (is_default_word(texts, arg.substr(1)))
        return false;
    } else if (!is_default_word(texts, arg)) {
      return false;
    } else {
      default_seen = true;
    }
  }
  return default_seen;
}

} // namespace

void print_multilib_table(const multilib_texts *texts) {
  build_defaults(texts);
  const char *select_text = or_empty(texts->select);
  std::vector<std::string> extra;
  split_blank_words(texts->extra, &extra);
  std::string_view previous_path;
  bool have_previous = false;
  const char *p = select_text;
  while (next_entry(&p)) {
    std::string_view path_text =
        read_path(&p, {N_("multilib select %qs is invalid"), select_text, nullptr});
    std::vector<std::string_view> args = entry_args(&p, select_text);

    // ".:os" entries only name the OS directory of the default set.
    const char *path = path_text.data();
    bool skip = path[0] == '.' && path[1] == ':' && path[2] != ':';
    if (excluded_entry(texts, args))
      skip = true;
    if (!skip) {
      if (have_previous && previous_path == path_text)
        skip = true;
      previous_path = path_text;
      have_previous = true;
    }
    if (!skip && only_adds_defaults(texts, args))
      skip = true;
    if (skip)
      continue;

    std::string line(path_text.substr(0, path_text.find(':')));
    line += ';';
    for (std::string_view arg : args)
      if (arg.empty() || arg[0] != '!') {
        line += '@';
        line += arg;
      }
    for (const std::string &word : extra) {
      line += '@';
      line += word;
    }
    line += '\n';
    fputs(line.c_str(), stdout);
  }
}

void reset_multilib_state() {
  sets = switch_sets();
}
