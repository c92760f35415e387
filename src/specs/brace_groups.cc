// Conditional groups and switch selection.
//
// A group is %{ ITEM ... }, read once from left to right:
//   ATOM    [!] ( %:NAME(ARGS) | [.|,] TEXT [*] )   blanks around it, and after
//           '!'; TEXT is letters, digits and _ - + = , . @, with \c taking c
//           as it is; '.' tests the input suffix, ',' its language, '*' makes
//           TEXT a prefix of switch names;
//   group   ATOM & ATOM & ... }                     ordered selection: writes
//           the switches named, in command-line order;
//   or      ALT ; ALT ; ... }                       a choice, where ALT is
//           ATOM | ATOM | ... : BODY, and the last ALT may be ";:BODY";
//           the first ALT that matches runs its BODY.
// A body runs to its ';' or '}' at its own level (braces counted, nothing
// escaped) and is interpreted as a text of its own.
#include "specs/brace_groups.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "specs/compilers.h"
#include "specs/spec_functions.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"

namespace {

enum atom_kind { ATOM_SWITCH, ATOM_SUFFIX, ATOM_LANGUAGE, ATOM_FUNCTION };

struct atom {
  atom_kind kind = ATOM_SWITCH;
  bool negated = false;
  bool starred = false;
  std::string text;
  // For function atoms: whether the call returned a text.
  bool returned = false;
};

// The group being read: its text after the brace (for messages).
struct group_reader {
  const char *group_text;
  const char *p;
};

bool is_blank(char c) { return c == ' ' || c == '\t'; }

const char *skip_blanks(const char *p) {
  while (is_blank(*p))
    p++;
  return p;
}

// Letters, digits and _ - + = , . @: one table lookup per character, since
// every atom of every spec text goes through here.
struct atom_char_table {
  bool member[256] = {};
  constexpr atom_char_table() {
    for (int c = '0'; c <= '9'; c++)
      member[c] = true;
    for (int c = 'a'; c <= 'z'; c++)
      member[c] = member[c - 'a' + 'A'] = true;
    for (char c : {'_', '-', '+', '=', ',', '.', '@'})
      member[static_cast<unsigned char>(c)] = true;
  }
};
constexpr atom_char_table atom_chars;

bool is_atom_char(char c) { return atom_chars.member[static_cast<unsigned char>(c)]; }

// Reads atom text at p into *text (a backslash takes the next character as it
// is); returns the position after it, which is a backslash when one ends the
// text.
const char *read_atom_text(const char *p, std::string *text) {
  for (;;) {
    const char *run = p;
    while (is_atom_char(*p))
      p++;
    text->append(run, p);
    if (*p != '\\' || p[1] == '\0')
      return p;
    *text += p[1];
    p += 2;
  }
}

[[noreturn]] void invalid_at(const group_reader &reader, char c) {
  fatal_error(UNKNOWN_LOCATION, "braced spec %qs is invalid at %qc", reader.group_text, c);
}

// Past a %:NAME(ARGS) call without running it: the name, then parentheses
// counted to the matching one (or the end of the text).
const char *skip_function_call(const char *p) {
  while (*p && *p != '(')
    p++;
  int depth = 0;
  for (; *p; p++) {
    if (*p == '(')
      depth++;
    else if (*p == ')' && --depth == 0)
      return p + 1;
  }
  return p;
}

driver_switch &switch_at(int index) { return driver.switches.entries[index]; }

// Where each switch name last occurs, made at the first liveness decision of
// one group, so that deciding every switch of a huge command line stays
// linear. The table does not change while a group is evaluated.
struct liveness_index {
  bool built = false;
  std::unordered_map<std::string_view, int> last;
  int last_o = -1;
};

void build_index(liveness_index *ix) {
  for (int j = 0; j < driver.switches.count; j++) {
    const char *name = switch_at(j).name;
    ix->last[name] = j;
    if (name[0] == 'O')
      ix->last_o = j;
  }
  ix->built = true;
}

// Whether a switch after `index` has exactly `name`; with no index, by a scan.
bool later_switch_named(int index, std::string_view name, liveness_index *ix) {
  if (!ix) {
    for (int j = index + 1; j < driver.switches.count; j++)
      if (name == switch_at(j).name)
        return true;
    return false;
  }
  if (!ix->built)
    build_index(ix);
  auto found = ix->last.find(name);
  return found != ix->last.end() && found->second > index;
}

// Whether a switch after `index` is an -O level.
bool later_optimization_switch(int index, liveness_index *ix) {
  if (!ix) {
    for (int j = index + 1; j < driver.switches.count; j++)
      if (switch_at(j).name[0] == 'O')
        return true;
    return false;
  }
  if (!ix->built)
    build_index(ix);
  return ix->last_o > index;
}

bool decide_liveness(int index, int prefix_length, liveness_index *ix);

bool name_matches(const char *name, const std::string &text, bool starred) {
  // Most names differ at once: spare those the call.
  if (!text.empty() && name[0] != text[0])
    return false;
  return strncmp(name, text.c_str(), text.size()) == 0 && (starred || name[text.size()] == '\0');
}

bool switch_atom_matches(const atom &a, liveness_index *ix) {
  int n = static_cast<int>(a.text.size());
  for (int i = 0; i < driver.switches.count; i++)
    if (name_matches(switch_at(i).name, a.text, a.starred) &&
        decide_liveness(i, a.starred ? n : -1, ix))
      return true;
  // -DFOO and -D FOO are one macro to %{DFOO}.
  if (a.text.empty())
    return false;
  const char *rest = a.text.c_str() + 1;
  size_t rest_len = a.text.size() - 1;
  for (int i = 0; i < driver.switches.count; i++) {
    const driver_switch &sw = switch_at(i);
    if ((sw.name[0] != 'D' && sw.name[0] != 'U') || !sw.args || sw.name[0] != a.text[0])
      continue;
    const char *arg = sw.args[0];
    if (strncmp(arg, rest, rest_len) != 0)
      continue;
    if (a.starred ? decide_liveness(i, 1, ix)
                  : sw.name[1] == '\0' && arg[rest_len] == '\0' && decide_liveness(i, -1, ix))
      return true;
  }
  return false;
}

bool atom_matches(const atom &a, liveness_index *ix) {
  switch (a.kind) {
  case ATOM_SWITCH:
    return switch_atom_matches(a, ix);
  case ATOM_SUFFIX:
    return strcmp(interpreter.cur_suffix ? interpreter.cur_suffix : "", a.text.c_str()) == 0;
  case ATOM_LANGUAGE: {
    const compiler_entry *compiler = interpreter.cur_compiler;
    return compiler && compiler->key && compiler->key[0] && a.text == compiler->key + 1;
  }
  case ATOM_FUNCTION:
    return a.returned;
  }
  return false;
}

// Reads one atom at reader.p; a function atom is called only when `evaluate`.
// Returns false when the call's returned text failed.
bool read_atom(group_reader &reader, bool evaluate, atom *a) {
  const char *p = skip_blanks(reader.p);
  if (*p == '!') {
    a->negated = true;
    p = skip_blanks(p + 1);
  }
  if (p[0] == '%' && p[1] == ':') {
    a->kind = ATOM_FUNCTION;
    if (evaluate) {
      p = call_spec_function(p + 2, &a->returned, nullptr);
      if (!p)
        return false;
    } else {
      p = skip_function_call(p + 2);
    }
    reader.p = skip_blanks(p);
    return true;
  }
  if (*p == '.' || *p == ',') {
    a->kind = *p == '.' ? ATOM_SUFFIX : ATOM_LANGUAGE;
    p++;
  }
  p = read_atom_text(p, &a->text);
  if (*p == '\\')
    fatal_error(UNKNOWN_LOCATION, "braced spec %qs ends in escape", reader.group_text);
  if (*p == '*') {
    if (a->kind == ATOM_SUFFIX || a->kind == ATOM_LANGUAGE)
      invalid_at(reader, '*');
    a->starred = true;
    p++;
  }
  reader.p = skip_blanks(p);
  return true;
}

// Ordered selection: every live switch the atom names gets its mark.
void mark_selected(const atom &a, liveness_index *ix) {
  int n = static_cast<int>(a.text.size());
  for (int i = 0; i < driver.switches.count; i++)
    if (name_matches(switch_at(i).name, a.text, a.starred) &&
        decide_liveness(i, a.starred ? n : -1, ix))
      switch_at(i).marked = true;
}

void write_marked() {
  for (int i = 0; i < driver.switches.count; i++)
    if (switch_at(i).marked) {
      switch_at(i).marked = false;
      emit_switch(i, false);
    }
}

// The body after ':', up to its ';' or '}' at level 1; [start, text_end) is
// its text without trailing blanks.
struct body_text {
  const char *start;
  const char *text_end;
  bool substituting = false;
  const char *end; // at the ';' or '}'
  // The groups inside it, when the scan recorded them: offsets from start.
  std::vector<std::pair<uint32_t, uint32_t>> pairs;
  // Or the map of the text the body lies in, when it lies in a mapped copy.
  const brace_map *within = nullptr;
};

// Whether "%*" occurs in [from, to), a stretch of the body at level 1.
bool has_soft_match_mark(const char *from, const char *to) {
  for (const char *q = from; q < to; q++) {
    q = static_cast<const char *>(memchr(q, '*', to - q));
    if (!q)
      return false;
    if (q > from && q[-1] == '%')
      return true;
  }
  return false;
}

// The '}' that closes the '{' at q in the mapped text, or none when the map
// does not know it.
const char *mapped_close(const brace_map *map, const char *q) {
  uint32_t open = static_cast<uint32_t>(q - map->text + map->shift);
  auto found = std::lower_bound(map->pairs->begin(), map->pairs->end(),
                                std::make_pair(open, uint32_t{0}));
  if (found == map->pairs->end() || found->first != open)
    return nullptr;
  return map->text + (found->second - map->shift);
}

bool maps(const brace_map *map, const char *start) {
  return map && start >= map->text && start < map->text + map->length;
}

// Most bodies are skipped, and a long one (the link command's) holds
// thousands of characters between the few braces that count: jump from one
// to the next with the library's vectorised search, look for "%*" only in the
// stretches at level 1, and copy nothing. In a mapped copy each inner group
// is passed over in one step; otherwise a body about to run (`record`) has
// its inner groups recorded for the groups its run will meet.
body_text read_body(const char *start, const brace_map *map, bool record) {
  body_text body;
  body.start = start;
  // A mapped body's groups are known already.
  if (maps(map, start)) {
    body.within = map;
    record = false;
  }
  std::vector<uint32_t> opens;
  int level = 1;
  const char *stretch = start; // where the current stretch at level 1 began
  const char *p = start;
  for (;; p++) {
    p = strpbrk(p, "{};");
    if (!p)
      fatal_error(UNKNOWN_LOCATION, "braced spec body %qs is invalid", start);
    if (level == 1 && !body.substituting)
      body.substituting = has_soft_match_mark(stretch, p);
    if (*p == '{') {
      if (level == 1 && body.within) {
        if (const char *close = mapped_close(body.within, p)) {
          p = close;
          stretch = p + 1;
          continue;
        }
      }
      if (record) {
        // Entered in the order of the '{', closed when its '}' comes.
        if (body.pairs.empty()) {
          body.pairs.reserve(32);
          opens.reserve(16);
        }
        opens.push_back(static_cast<uint32_t>(body.pairs.size()));
        body.pairs.emplace_back(static_cast<uint32_t>(p - start), 0);
      }
      level++;
    } else if (*p == '}') {
      if (--level == 0)
        break;
      if (record) {
        body.pairs[opens.back()].second = static_cast<uint32_t>(p - start);
        opens.pop_back();
      }
      if (level == 1)
        stretch = p + 1;
    } else if (level == 1) {
      break;
    }
  }
  body.end = p;
  while (p > start && is_blank(p[-1]))
    p--;
  body.text_end = p;
  return body;
}

// Runs a matched body: once, or once per live switch the starred atom names.
bool run_body(const body_text &body, const std::string &matching, liveness_index *ix) {
  std::string text(body.start, body.text_end);
  brace_map map = {&body.pairs, text.c_str(), text.size(), 0};
  if (body.within) {
    map.pairs = body.within->pairs;
    map.shift = body.within->shift + (body.start - body.within->text);
  }
  if (!body.substituting)
    return interpret_body(text.c_str(), nullptr, &map) == 0;
  int n = static_cast<int>(matching.size());
  for (int i = 0; i < driver.switches.count; i++) {
    const char *name = switch_at(i).name;
    if (strncmp(name, matching.c_str(), n) != 0 || !decide_liveness(i, n, ix))
      continue;
    if (interpret_body(text.c_str(), name + n, &map) != 0)
      return false;
    emit_switch(i, true);
    interpreter.arg_suffix_override = nullptr;
  }
  return true;
}

bool removed_for_good_or_overridden(uint32_t liveness) {
  return liveness & (SWITCH_OVERRIDDEN | SWITCH_REMOVED_FOR_GOOD);
}

} // namespace

const char *eval_brace_group(const char *after_brace, const char *, const brace_map *map) {
  group_reader reader = {after_brace, after_brace};
  bool ordered = false;     // an '&' was seen
  bool choice = false;      // a '|', ':' or ';' was seen
  bool after_semicolon = false;
  bool otherwise_seen = false;
  bool earlier_matched = false;
  // The alternative being read.
  bool matched = false;
  bool all_starred = true;
  std::string matching;
  liveness_index index;

  for (;;) {
    const char *atom_start = skip_blanks(reader.p);
    if (otherwise_seen)
      invalid_at(reader, *atom_start);
    atom a;
    bool evaluate = !matched && !earlier_matched;
    if (!read_atom(reader, evaluate, &a))
      return nullptr;
    char op = *reader.p;
    bool empty = a.kind != ATOM_FUNCTION && a.text.empty();
    bool test = a.kind != ATOM_SWITCH;

    if (op == '&' || op == '}') {
      if (a.negated || test || empty || choice)
        invalid_at(reader, op);
      ordered = true;
      mark_selected(a, &index);
      reader.p++;
      if (op == '}') {
        write_marked();
        return reader.p;
      }
      continue;
    }
    if (op != '|' && op != ':')
      invalid_at(reader, op);
    if (ordered)
      invalid_at(reader, op);
    choice = true;
    if (empty) {
      if (!after_semicolon || op == '|' || a.negated || test || a.starred || matched)
        invalid_at(reader, op);
      otherwise_seen = true;
      if (!earlier_matched) {
        matched = true;
        matching.clear();
      }
    } else if (evaluate && atom_matches(a, &index) != a.negated) {
      matched = true;
      matching = a.text;
    }
    all_starred = all_starred && a.starred;
    reader.p++;
    if (op == '|')
      continue;

    body_text body = read_body(reader.p, map, matched && !earlier_matched);
    if (body.substituting && !all_starred)
      fatal_error(UNKNOWN_LOCATION, "braced spec body %qs is invalid", reader.p);
    if (matched && !earlier_matched && !run_body(body, matching, &index))
      return nullptr;
    reader.p = body.end + 1;
    if (*body.end == '}')
      return reader.p;
    earlier_matched = earlier_matched || matched;
    matched = false;
    all_starred = true;
    matching.clear();
    after_semicolon = true;
  }
}

namespace {

bool decide_liveness(int index, int prefix_length, liveness_index *ix) {
  driver_switch &sw = switch_at(index);
  if (sw.liveness != 0)
    return (sw.liveness & SWITCH_ALIVE) && !removed_for_good_or_overridden(sw.liveness);
  if (prefix_length == 0 || prefix_length == 1)
    return true;
  const char *name = sw.name;
  if (name[0] == 'O') {
    if (later_optimization_switch(index, ix)) {
      sw.liveness |= SWITCH_OVERRIDDEN;
      sw.accepted = true;
      return false;
    }
  } else if (name[0] && strchr("Wfmg", name[0])) {
    // -Xno-YYY and -XYYY override each other.
    std::string opposite(1, name[0]);
    if (strncmp(name + 1, "no-", 3) == 0)
      opposite += name + 4;
    else
      opposite = opposite + "no-" + (name + 1);
    if (later_switch_named(index, opposite, ix)) {
      sw.liveness |= SWITCH_OVERRIDDEN;
      if (sw.recognized)
        sw.accepted = true;
      return false;
    }
  }
  sw.liveness |= SWITCH_ALIVE;
  return true;
}

} // namespace

bool switch_is_live(int index, int prefix_length) {
  return decide_liveness(index, prefix_length, nullptr);
}

void emit_switch(int index, bool omit_name) {
  driver_switch &sw = switch_at(index);
  if (sw.liveness & SWITCH_REMOVED)
    return;
  // Name and dash in one insertion, so they stay one argument also where
  // every insertion ends its own argument.
  if (!omit_name)
    do_spec_1((std::string("-") + sw.name).c_str(), 1, nullptr);
  for (const char *const *arg = sw.args; arg && *arg; arg++) {
    do_spec_1(" ", 0, nullptr);
    const char *override_suffix = interpreter.arg_suffix_override;
    if (!override_suffix) {
      do_spec_1(*arg, 1, nullptr);
      continue;
    }
    // The argument's own suffix: its last '.' after its last '/'.
    const char *base = strrchr(*arg, '/');
    const char *dot = strrchr(base ? base : *arg, '.');
    std::string value(*arg, dot ? dot : *arg + strlen(*arg));
    value += override_suffix;
    do_spec_1(value.c_str(), 1, nullptr);
  }
  do_spec_1(" ", 0, nullptr);
  sw.accepted = true;
}

const char *remove_switches(const char *text, bool kept_for_export) {
  const char *end = text;
  while (*end && !is_blank(*end))
    end++;
  bool prefix = end > text && end[-1] == '*';
  std::string pattern(text, prefix ? end - 1 : end);
  for (int i = 0; i < driver.switches.count; i++) {
    driver_switch &sw = switch_at(i);
    if (!name_matches(sw.name, pattern, prefix))
      continue;
    sw.liveness |= SWITCH_REMOVED | (kept_for_export ? SWITCH_KEPT_FOR_EXPORT : 0);
    if (sw.recognized)
      sw.accepted = true;
  }
  return end;
}

void substitute_soft_match(const char *soft_match, const char *next) {
  if (!soft_match) {
    error_at(UNKNOWN_LOCATION, "spec failure: %<%%*%> has not been initialized by pattern match");
    return;
  }
  if (*soft_match)
    do_spec_1(soft_match, 1, nullptr);
  if (*next == '}' || *next == '\0')
    do_spec_1(" ", 0, nullptr);
}

const char *set_suffix_override(const char *text) {
  const char *end = text;
  while (*end && *end != ' ' && *end != '%')
    end++;
  interpreter.arg_suffix_override = concat(".", std::string(text, end).c_str());
  return end;
}

namespace {

// The member at p of the accepted-switch scan; returns the position after it.
const char *mark_member(const char *p, bool user_spec) {
  p = skip_blanks(p);
  if (*p == '!')
    p = skip_blanks(p + 1);
  // A function decides at run time; it names no switch.
  if (p[0] == '%' && p[1] == ':')
    return skip_blanks(skip_function_call(p + 2));
  bool test = *p == '.' || *p == ',';
  if (test)
    p++;
  std::string text;
  p = read_atom_text(p, &text);
  bool starred = *p == '*';
  if (starred)
    p++;
  if (!test)
    for (int i = 0; i < driver.switches.count; i++) {
      driver_switch &sw = switch_at(i);
      if (name_matches(sw.name, text, starred) && (sw.recognized || user_spec))
        sw.accepted = true;
    }
  return skip_blanks(p);
}

// Where a nested scan starts at p ("%{", "%<", "%W{", "%@{"), with its length
// and whether it is braced; 0 when none starts there.
int nested_scan_start(const char *p, bool *braced) {
  if (p[0] != '%')
    return 0;
  *braced = true;
  if (p[1] == '{')
    return 2;
  if ((p[1] == 'W' || p[1] == '@') && p[2] == '{')
    return 3;
  if (p[1] == '<') {
    *braced = false;
    return 2;
  }
  return 0;
}

} // namespace

const char *mark_spec_switches(const char *text, bool user_spec, bool braced) {
  const char *p = mark_member(text, user_spec);
  if (!braced)
    return p;
  for (;;) {
    if (*p == '|' || *p == '&') {
      p = mark_member(p + 1, user_spec);
      continue;
    }
    if (*p == '}')
      return p + 1;
    if (*p != ':')
      return p;
    // The body, with the groups inside it; only a '%' can start one.
    p++;
    for (;;) {
      p += strcspn(p, "%;}");
      if (*p != '%')
        break;
      bool nested_braced;
      if (int length = nested_scan_start(p, &nested_braced))
        p = mark_spec_switches(p + length, user_spec, nested_braced);
      else
        p++;
    }
    if (*p == '\0')
      return p;
    if (*p == '}')
      return p + 1;
    p = mark_member(p + 1, user_spec);
  }
}

void mark_switches_in_text(const char *text, bool user_spec) {
  if (!text)
    return;
  const char *p = text;
  while ((p = strchr(p, '%'))) {
    bool braced;
    if (int length = nested_scan_start(p, &braced)) {
      p = mark_spec_switches(p + length, user_spec, braced);
    } else if (p[0] == '%' && p[1]) {
      p += 2;
    } else {
      p++;
    }
  }
}
