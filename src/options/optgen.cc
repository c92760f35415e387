// optgen: turns option-catalogue.txt into the constant option table.
//
//   optgen CATALOGUE OUT.cc OUT.h rows=N ignored=N removed=N aliases=N enums=N enum-rows=N
//
// It sorts the rows bytewise by the text after the first "-", computes the
// prefix back chains, alias targets and negation links, and refuses to write
// anything when the catalogue breaks an invariant of the table (counts, an
// alias of an alias, a negation chain that does not close, an unused enum
// table, two rows with one enumerator name). A host program, run by the build.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char *const class_names[] = {"params", "warning", "optimization",
                                   "driver", "target",  "common"};
const char *const lang_names[] = {"Ada", "AdaSCIL", "AdaWhy", "C",     "C++",  "D",
                                  "Fortran", "Go",  "LTO",    "Scree", "ObjC", "ObjC++"};

// Attribute keywords in bit order; null where the bit has no keyword.
const char *const attribute_words[] = {"disabled",       nullptr,       nullptr,
                                       "separate-alias", "negative-alias", "no-driver-arg",
                                       "reject-driver",  "no-neg",      "empty-arg",
                                       "uinteger",       "int64",       "tolower",
                                       "byte-size"};

enum : unsigned {
  CL_DRIVER = 1u << 19,
  CL_JOINED = 1u << 22,
  CL_SEPARATE = 1u << 23,
  CL_UNDOCUMENTED = 1u << 24,
  CL_MARKER = 1u << 25,
  ATTR_REJECT_NEGATIVE = 1u << 7,
  ATTR_EMPTY_ARG_OK = 1u << 8,
  ATTR_UINTEGER = 1u << 9,
  ATTR_INT64 = 1u << 10,
  ATTR_BYTE_SIZE = 1u << 12,
};

const char *const store_names[] = {"integer", "equal", "bit-clear", "bit-set",
                                   "size",    "string", "enum",     "deferred"};
enum { STORE_INTEGER, STORE_EQUAL, STORE_BIT_CLEAR, STORE_BIT_SET, STORE_SIZE, STORE_STRING,
       STORE_ENUM, STORE_DEFERRED };

struct row {
  std::string text;
  int line = 0;
  unsigned flags = 0;
  unsigned attributes = 0;
  std::optional<std::string> help, missing, warn, alias, alias_arg, neg_alias_arg, neg, enum_id,
      var, name;
  int store = STORE_INTEGER;
  long long var_value = 0;
  int range_min = -1, range_max = -1;
  // Computed.
  size_t alias_target = 0, back_chain = 0, var_enum = 0;
  long neg_index = -1;
  std::string enumerator;
};

struct enum_entry {
  std::string text;
  long value = 0;
  unsigned flags = 0;
};

struct enum_def {
  std::string id;
  int line = 0;
  std::optional<std::string> heading, unknown;
  std::vector<enum_entry> values;
  int users = 0;
};

std::string catalogue_name;
int failures = 0;

// line 0: the catalogue as a whole.
void fail_at(int line, const std::string &message) {
  if (line)
    fprintf(stderr, "%s:%d: %s\n", catalogue_name.c_str(), line, message.c_str());
  else
    fprintf(stderr, "%s: %s\n", catalogue_name.c_str(), message.c_str());
  failures++;
}

void fail_row(const row &r, const std::string &message) {
  fail_at(r.line, "row \"" + r.text + "\": " + message);
}

// Splits a line into tokens; a quoted part (with \" and \\ escapes) may
// contain spaces and loses its quotes. quoted[i] tells whether token i had any.
bool tokenize(const std::string &line, int lineno, std::vector<std::string> &tokens,
              std::vector<bool> &quoted) {
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t'))
      i++;
    if (i == line.size())
      break;
    std::string token;
    bool had_quote = false;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') {
      if (line[i] != '"') {
        token += line[i++];
        continue;
      }
      had_quote = true;
      i++;
      while (i < line.size() && line[i] != '"') {
        if (line[i] == '\\' && i + 1 < line.size())
          i++;
        token += line[i++];
      }
      if (i == line.size()) {
        fail_at(lineno, "unterminated string");
        return false;
      }
      i++;
    }
    tokens.push_back(token);
    quoted.push_back(had_quote);
  }
  return true;
}

int index_of(const char *const *names, size_t count, const std::string &word) {
  for (size_t i = 0; i < count; i++)
    if (names[i] && word == names[i])
      return static_cast<int>(i);
  return -1;
}

bool parse_number(const std::string &text, long long &out) {
  if (text.empty())
    return false;
  char *end;
  errno = 0;
  out = strtoll(text.c_str(), &end, 0);
  return *end == 0 && errno == 0;
}

void parse_row_token(row &r, const std::string &token) {
  size_t eq = token.find('=');
  std::string key = eq == std::string::npos ? token : token.substr(0, eq);
  std::string value = eq == std::string::npos ? "" : token.substr(eq + 1);
  bool has_value = eq != std::string::npos;
  int bit;
  if (!has_value && key == "joined")
    r.flags |= CL_JOINED;
  else if (!has_value && key == "separate")
    r.flags |= CL_SEPARATE;
  else if (!has_value && key == "undocumented")
    r.flags |= CL_UNDOCUMENTED;
  else if (!has_value && key == "marker")
    r.flags |= CL_MARKER;
  else if (!has_value && (bit = index_of(attribute_words, std::size(attribute_words), key)) >= 0)
    r.attributes |= 1u << bit;
  else if (key == "class" || key == "lang") {
    std::stringstream list(value);
    std::string item;
    while (std::getline(list, item, ',')) {
      int i = key == "class" ? index_of(class_names, std::size(class_names), item)
                             : index_of(lang_names, std::size(lang_names), item);
      if (i < 0)
        fail_row(r, "unknown " + key + " \"" + item + "\"");
      else
        r.flags |= key == "class" ? 1u << (16 + i) : 1u << i;
    }
  } else if (key == "range") {
    size_t dots = value.find("..");
    long long lo, hi;
    if (dots == std::string::npos || !parse_number(value.substr(0, dots), lo) ||
        !parse_number(value.substr(dots + 2), hi) || lo > hi)
      fail_row(r, "malformed range \"" + value + "\"");
    else
      r.range_min = static_cast<int>(lo), r.range_max = static_cast<int>(hi);
  } else if (key == "store") {
    size_t colon = value.find(':');
    std::string kind = value.substr(0, colon);
    int store = index_of(store_names, std::size(store_names), kind);
    if (store < 0) {
      fail_row(r, "unknown store kind \"" + kind + "\"");
      return;
    }
    r.store = store;
    if (colon != std::string::npos && !parse_number(value.substr(colon + 1), r.var_value))
      fail_row(r, "malformed store value \"" + value + "\"");
  } else if (has_value) {
    std::optional<std::string> row::*field = nullptr;
    static const std::pair<const char *, std::optional<std::string> row::*> fields[] = {
        {"help", &row::help},         {"missing", &row::missing},
        {"warn", &row::warn},         {"alias", &row::alias},
        {"alias-arg", &row::alias_arg}, {"neg-alias-arg", &row::neg_alias_arg},
        {"neg", &row::neg},           {"enum", &row::enum_id},
        {"var", &row::var},           {"name", &row::name}};
    for (auto &f : fields)
      if (key == f.first)
        field = f.second;
    if (!field)
      fail_row(r, "unknown key \"" + key + "\"");
    else if (r.*field)
      fail_row(r, "\"" + key + "\" given twice");
    else
      r.*field = value;
  } else
    fail_row(r, "unknown word \"" + key + "\"");
}

void parse_catalogue(const char *path, std::vector<row> &rows, std::vector<enum_def> &enums) {
  std::ifstream in(path);
  if (!in) {
    fprintf(stderr, "optgen: cannot read %s\n", path);
    exit(1);
  }
  std::string line;
  int lineno = 0;
  while (std::getline(in, line)) {
    lineno++;
    std::vector<std::string> tokens;
    std::vector<bool> quoted;
    if (line.empty() || line[0] == '#' || !tokenize(line, lineno, tokens, quoted) ||
        tokens.empty())
      continue;
    if (tokens[0] == "enum") {
      enum_def e;
      e.line = lineno;
      if (tokens.size() < 2)
        fail_at(lineno, "enum without a name");
      else
        e.id = tokens[1];
      for (size_t i = 2; i < tokens.size(); i++) {
        if (tokens[i].rfind("heading=", 0) == 0)
          e.heading = tokens[i].substr(8);
        else if (tokens[i].rfind("unknown=", 0) == 0)
          e.unknown = tokens[i].substr(8);
        else
          fail_at(lineno, "enum " + e.id + ": unknown word \"" + tokens[i] + "\"");
      }
      enums.push_back(e);
    } else if (tokens[0] == "value") {
      long long number;
      if (enums.empty() || tokens.size() < 3 || !quoted[1] || !parse_number(tokens[2], number)) {
        fail_at(lineno, "malformed enum value");
        continue;
      }
      enum_entry v{tokens[1], static_cast<long>(number), 0};
      for (size_t i = 3; i < tokens.size(); i++) {
        long long group;
        if (tokens[i] == "canonical")
          v.flags |= 1;
        else if (tokens[i] == "driver-only")
          v.flags |= 2;
        else if (tokens[i].rfind("group=", 0) == 0 && parse_number(tokens[i].substr(6), group))
          v.flags |= static_cast<unsigned>(group) << 2;
        else
          fail_at(lineno, "enum value \"" + v.text + "\": unknown word \"" + tokens[i] + "\"");
      }
      enums.back().values.push_back(v);
    } else if (tokens[0][0] == '-') {
      row r;
      r.text = tokens[0];
      r.line = lineno;
      for (size_t i = 1; i < tokens.size(); i++)
        parse_row_token(r, tokens[i]);
      rows.push_back(r);
    } else
      fail_at(lineno, "a line must be a row (starting with \"-\"), an enum or a value");
  }
}

std::string enumerator_for(const std::string &text) {
  std::string name = "OPT_";
  for (size_t i = 1; i < text.size(); i++)
    name += isalnum(static_cast<unsigned char>(text[i])) ? text[i] : '_';
  return name;
}

bool starts_with(const std::string &s, const std::string &prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

// Whether pruning may start a negation walk at this row.
bool prunable(const row &r, size_t index) {
  return r.neg_index != -1 &&
         (!(r.flags & CL_JOINED) ||
          ((r.attributes & ATTR_REJECT_NEGATIVE) && r.neg_index == static_cast<long>(index)));
}

void check_row_shape(const row &r) {
  bool takes_arg = r.flags & (CL_JOINED | CL_SEPARATE);
  if (r.text.size() < 2 || r.text.size() > 256)
    fail_row(r, "text length out of range");
  if ((r.attributes & ATTR_EMPTY_ARG_OK) && !(r.flags & CL_JOINED))
    fail_row(r, "empty-arg on a row that is not joined");
  if ((r.attributes & (ATTR_INT64 | ATTR_BYTE_SIZE)) && !(r.attributes & ATTR_UINTEGER))
    fail_row(r, "int64 or byte-size without uinteger");
  if (r.missing && !takes_arg)
    fail_row(r, "a missing-argument message on a row without an argument");
  if ((r.alias_arg || r.neg_alias_arg) && !r.alias)
    fail_row(r, "alias arguments without an alias");
  if (r.neg_alias_arg && !r.alias_arg)
    fail_row(r, "a negative alias argument without a positive one");
  if ((r.store == STORE_ENUM) != r.enum_id.has_value())
    fail_row(r, "store=enum and enum= go together");
  if ((r.store == STORE_STRING || r.store == STORE_DEFERRED) && !takes_arg)
    fail_row(r, "a stored argument on a row without an argument");
  if (r.var && r.alias)
    fail_row(r, "an alias stores nothing itself");
}

void compute_table(std::vector<row> &rows, std::vector<enum_def> &enums) {
  std::stable_sort(rows.begin(), rows.end(), [](const row &a, const row &b) {
    return strcmp(a.text.c_str() + 1, b.text.c_str() + 1) < 0;
  });
  const size_t n = rows.size();
  std::map<std::string, size_t> by_text;
  for (size_t i = 0; i < n; i++)
    if (!by_text.emplace(rows[i].text, i).second)
      fail_row(rows[i], "listed twice");

  for (size_t i = 0; i < n; i++) {
    row &r = rows[i];
    check_row_shape(r);
    // The nearest earlier prefix is row i-1 or one of row i-1's prefixes.
    size_t j = i == 0 ? n : i - 1;
    while (j != n && !starts_with(r.text.substr(1), rows[j].text.substr(1)))
      j = rows[j].back_chain;
    r.back_chain = j;

    r.alias_target = n;
    if (r.alias) {
      if (*r.alias == "ignore")
        r.alias_target = n + 2;
      else if (*r.alias == "warn-removed")
        r.alias_target = n + 3;
      else if (!by_text.count(*r.alias))
        fail_row(r, "alias of the unknown row \"" + *r.alias + "\"");
      else
        r.alias_target = by_text[*r.alias];
    }

    bool negatable = !(r.attributes & ATTR_REJECT_NEGATIVE);
    if (r.neg && *r.neg == "self")
      r.neg_index = static_cast<long>(i);
    else if (r.neg && !by_text.count(*r.neg))
      fail_row(r, "negation link to the unknown row \"" + *r.neg + "\"");
    else if (r.neg)
      r.neg_index = static_cast<long>(by_text[*r.neg]);
    else if (negatable && (starts_with(r.text, "-f") || starts_with(r.text, "-W") ||
                           starts_with(r.text, "-m") || starts_with(r.text, "-g")))
      r.neg_index = static_cast<long>(i);

    if (r.enum_id) {
      auto e = std::find_if(enums.begin(), enums.end(),
                            [&](const enum_def &d) { return d.id == *r.enum_id; });
      if (e == enums.end())
        fail_row(r, "unknown enum table \"" + *r.enum_id + "\"");
      else {
        r.var_enum = static_cast<size_t>(e - enums.begin());
        e->users++;
      }
    }
    r.enumerator = r.name ? *r.name : enumerator_for(r.text);
  }

  for (size_t i = 0; i < n; i++) {
    const row &r = rows[i];
    if (r.alias_target < n && rows[r.alias_target].alias)
      fail_row(r, "alias of the alias \"" + rows[r.alias_target].text + "\"");
    if (!prunable(r, i))
      continue;
    size_t steps = 0;
    long k = r.neg_index;
    while (k != static_cast<long>(i) && k != -1 && steps++ < n)
      k = rows[static_cast<size_t>(k)].neg_index;
    if (k != static_cast<long>(i))
      fail_row(r, "its negation chain does not come back to it");
  }

  std::map<std::string, size_t> by_name;
  for (size_t i = 0; i < n; i++) {
    auto [it, fresh] = by_name.emplace(rows[i].enumerator, i);
    if (!fresh)
      fail_row(rows[i], "enumerator " + rows[i].enumerator + " already names row \"" +
                            rows[it->second].text + "\"");
  }
  for (const enum_def &e : enums) {
    if (e.users == 0)
      fail_at(e.line, "enum " + e.id + " is used by no row");
    if (e.values.empty())
      fail_at(e.line, "enum " + e.id + " has no values");
  }
}

void check_counts(const std::vector<row> &rows, const std::vector<enum_def> &enums,
                  const std::map<std::string, long long> &expected) {
  size_t n = rows.size();
  std::map<std::string, long long> actual;
  actual["rows"] = static_cast<long long>(n);
  actual["enums"] = static_cast<long long>(enums.size());
  for (const row &r : rows) {
    actual["ignored"] += r.alias_target == n + 2;
    actual["removed"] += r.alias_target == n + 3;
    actual["aliases"] += r.alias_target < n;
    actual["enum-rows"] += r.enum_id.has_value();
  }
  for (auto &[name, want] : expected)
    if (actual[name] != want)
      fail_at(0, "expected " + std::to_string(want) + " " + name + ", the catalogue has " +
                     std::to_string(actual[name]));
}

std::string c_string(const std::optional<std::string> &s) {
  if (!s)
    return "nullptr";
  std::string out = "\"";
  for (unsigned char c : *s) {
    if (c == '"' || c == '\\')
      out += '\\', out += static_cast<char>(c);
    else if (c < 0x20 || c >= 0x7f) {
      char buf[8];
      snprintf(buf, sizeof buf, "\\%03o", c);
      out += buf;
    } else
      out += static_cast<char>(c);
  }
  return out + "\"";
}

void write_header(const char *path, const std::vector<row> &rows) {
  FILE *f = fopen(path, "w");
  if (!f) {
    perror(path);
    exit(1);
  }
  fprintf(f, "// Generated by optgen from option-catalogue.txt; do not edit.\n#pragma once\n\n");
  fprintf(f, "// One enumerator per row: \"OPT_\" and the text without its first \"-\", every\n"
             "// character but letters and digits turned into \"_\" (\"-o\" OPT_o, \"--help\"\n"
             "// OPT__help, \"-###\" OPT____). Past the rows: OPTION_ROW_COUNT means no row,\n"
             "// then the special entries of decoding: SPECIAL_UNKNOWN (a word that is no\n"
             "// option), SPECIAL_IGNORE (a retired option accepted silently),\n"
             "// SPECIAL_WARN_REMOVED (a retired option with a warning),\n"
             "// SPECIAL_PROGRAM_NAME (argv[0]) and SPECIAL_INPUT_FILE (a non-option word).\n");
  fprintf(f, "enum opt_code : unsigned {\n");
  for (size_t i = 0; i < rows.size(); i++)
    fprintf(f, "  %s = %zu, // %s\n", rows[i].enumerator.c_str(), i, rows[i].text.c_str());
  size_t n = rows.size();
  fprintf(f, "  OPTION_ROW_COUNT = %zu,\n  SPECIAL_UNKNOWN = %zu,\n  SPECIAL_IGNORE = %zu,\n"
             "  SPECIAL_WARN_REMOVED = %zu,\n  SPECIAL_PROGRAM_NAME = %zu,\n"
             "  SPECIAL_INPUT_FILE = %zu,\n};\n",
          n, n + 1, n + 2, n + 3, n + 4, n + 5);
  fclose(f);
}

void write_table(const char *path, const std::vector<row> &rows,
                 const std::vector<enum_def> &enums) {
  FILE *f = fopen(path, "w");
  if (!f) {
    perror(path);
    exit(1);
  }
  fprintf(f, "// Generated by optgen from option-catalogue.txt; do not edit.\n"
             "#include <cstddef>\n\n#include \"options/opts.h\"\n\n"
             "static void set_int_var(void *var, int value) { *static_cast<int *>(var) = value; }\n"
             "static int get_int_var(const void *var) { return *static_cast<const int *>(var); }\n\n"
             "// A row's own slot must stay addressable by a 16-bit offset.\n"
             "static consteval unsigned short slot_offset(size_t row) {\n"
             "  return offsetof(options_record, row_slots) + row * sizeof(options_record::option_slot)"
             " < NO_VAR_OFFSET\n"
             "             ? static_cast<unsigned short>(offsetof(options_record, row_slots) +\n"
             "                                          row * sizeof(options_record::option_slot))\n"
             "             : throw \"options_record too large\";\n}\n\n");
  for (size_t t = 0; t < enums.size(); t++) {
    fprintf(f, "static const enum_value enum_values_%zu[] = {\n", t);
    for (const enum_entry &v : enums[t].values)
      fprintf(f, "  {%s, %ld, %u},\n", c_string(v.text).c_str(), v.value, v.flags);
    fprintf(f, "  {nullptr, 0, 0},\n};\n");
  }
  fprintf(f, "\nconst enum_table enum_tables[] = {\n");
  for (size_t t = 0; t < enums.size(); t++)
    fprintf(f, "  {%s, %s, enum_values_%zu, sizeof(int), set_int_var, get_int_var}, // %s\n",
            c_string(enums[t].heading).c_str(), c_string(enums[t].unknown).c_str(), t,
            enums[t].id.c_str());
  fprintf(f, "};\nstatic_assert(sizeof enum_tables / sizeof enum_tables[0] == enum_table_count);\n\n");

  fprintf(f, "const option_row option_rows[] = {\n");
  for (size_t i = 0; i < rows.size(); i++) {
    const row &r = rows[i];
    std::string offset = !r.var ? "NO_VAR_OFFSET"
                         : *r.var == "*"
                             ? "slot_offset(" + std::to_string(i) + ")"
                             : "offsetof(options_record, " + *r.var + ")";
    fprintf(f,
            "  {%s, %s, %s, %s, %s, %s, %zu, %zu, %zu, %ld, 0x%x, 0x%x, %s, %zu, %d, %lldLL, %d, "
            "%d},\n",
            c_string(r.text).c_str(), c_string(r.help).c_str(), c_string(r.missing).c_str(),
            c_string(r.warn).c_str(), c_string(r.alias_arg).c_str(),
            c_string(r.neg_alias_arg).c_str(), r.alias_target, r.back_chain,
            r.text.size() - 1, r.neg_index, r.flags, r.attributes, offset.c_str(), r.var_enum,
            r.store, r.var_value, r.range_min, r.range_max);
  }
  fprintf(f, "};\nstatic_assert(sizeof option_rows / sizeof option_rows[0] == option_row_count);\n");
  fclose(f);
}

} // namespace

int main(int argc, char **argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: optgen CATALOGUE OUT.cc OUT.h [COUNT=N]...\n");
    return 2;
  }
  catalogue_name = argv[1];
  static const char *const count_names[] = {"rows",    "ignored", "removed",
                                            "aliases", "enums",   "enum-rows"};
  std::map<std::string, long long> expected;
  for (int i = 4; i < argc; i++) {
    const char *eq = strchr(argv[i], '=');
    long long value;
    if (!eq || !parse_number(eq + 1, value) ||
        index_of(count_names, std::size(count_names), std::string(argv[i], static_cast<size_t>(eq - argv[i]))) < 0) {
      fprintf(stderr, "optgen: malformed count \"%s\"\n", argv[i]);
      return 2;
    }
    expected[std::string(argv[i], static_cast<size_t>(eq - argv[i]))] = value;
  }
  std::vector<row> rows;
  std::vector<enum_def> enums;
  parse_catalogue(argv[1], rows, enums);
  compute_table(rows, enums);
  check_counts(rows, enums, expected);
  if (failures) {
    fprintf(stderr, "optgen: %d problem%s in %s; no table written\n", failures,
            failures == 1 ? "" : "s", argv[1]);
    return 1;
  }
  write_table(argv[2], rows, enums);
  write_header(argv[3], rows);
  return 0;
}
