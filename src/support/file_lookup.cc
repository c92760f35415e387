#include "support/file_lookup.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <sys/stat.h>
#include <vector>
#include <unistd.h>

#include "quarn-config.h"
#include "support/alloc.h"

multilib_dirs selected_multilib;
const char *version_dir_suffix = TARGET_VERSION_DIR;
const char *target_dir_suffix = QUARN_TARGET "/";

static bool is_selected(const char *dir) {
  return dir && strcmp(dir, ".") != 0;
}

// The subdirectories one walk adds to each prefix; the second pass drops the
// multilib ones again.
struct walk_suffixes {
  std::string full, machine;
  std::string multi_dir, os_dir, arch_dir;
  bool have_multi = false, have_os = false, have_arch = false;
  bool skip_dir = false, skip_os = false;
};

static walk_suffixes make_walk_suffixes(bool with_multilib) {
  walk_suffixes s;
  s.full = version_dir_suffix;
  s.machine = target_dir_suffix;
  if (with_multilib && is_selected(selected_multilib.multilib_subdir)) {
    s.multi_dir = std::string(selected_multilib.multilib_subdir) + "/";
    s.full += s.multi_dir;
    s.machine += s.multi_dir;
    s.have_multi = true;
  }
  if (with_multilib && is_selected(selected_multilib.multilib_os_subdir)) {
    s.os_dir = std::string(selected_multilib.multilib_os_subdir) + "/";
    s.have_os = true;
  }
  if (selected_multilib.multiarch_subdir) {
    s.arch_dir = std::string(selected_multilib.multiarch_subdir) + "/";
    s.have_arch = true;
  }
  return s;
}

struct walk_state {
  char *buffer;
  prefix_visitor visitor;
  void *data;
};

// Lays prefix + suffix into the buffer and shows it to the visitor.
static void *visit(walk_state *walk, const char *prefix, size_t prefix_length,
                   const std::string &suffix) {
  memcpy(walk->buffer, prefix, prefix_length);
  memcpy(walk->buffer + prefix_length, suffix.c_str(), suffix.size() + 1);
  return walk->visitor(walk->buffer, walk->data);
}

static void *walk_entry(walk_state *walk, const search_path_entry *entry, const walk_suffixes &s) {
  static const std::string bare;
  const size_t length = strlen(entry->prefix);
  void *result = nullptr;
  if (!s.skip_dir)
    result = visit(walk, entry->prefix, length, s.full);
  if (!result && !s.skip_dir && entry->suffix_mode == 2)
    result = visit(walk, entry->prefix, length, s.machine);
  if (!result && !s.skip_dir && entry->suffix_mode == 0 && s.have_arch)
    result = visit(walk, entry->prefix, length, s.arch_dir);
  if (!result && entry->suffix_mode == 0 && !(entry->use_os_dir ? s.skip_os : s.skip_dir)) {
    if (entry->use_os_dir)
      result = visit(walk, entry->prefix, length, s.have_os ? s.os_dir : bare);
    else
      result = visit(walk, entry->prefix, length, s.have_multi ? s.multi_dir : bare);
  }
  return result;
}

void *walk_prefixes(const search_path_list *list, bool with_multilib, size_t extra_space,
                    prefix_visitor visitor, void *data) {
  walk_suffixes s = make_walk_suffixes(with_multilib);
  size_t suffix_room = std::max({s.full.size(), s.os_dir.size(), s.arch_dir.size()});
  size_t room = static_cast<size_t>(list->longest_prefix) + extra_space + 1 + suffix_room;
  walk_state walk = {static_cast<char *>(xmalloc(room)), visitor, data};

  for (;;) {
    for (const search_path_entry *entry = list->first_entry; entry; entry = entry->next) {
      void *result = walk_entry(&walk, entry, s);
      if (result) {
        if (result != walk.buffer)
          free(walk.buffer);
        return result;
      }
    }
    if (!s.have_multi && !s.have_os)
      break;
    // Second pass: the same prefixes without the multilib directories.
    if (s.have_multi) {
      s.have_multi = false;
      s.full = version_dir_suffix;
      s.machine = target_dir_suffix;
    } else {
      s.skip_dir = true;
    }
    if (s.have_os)
      s.have_os = false;
    else
      s.skip_os = true;
  }
  free(walk.buffer);
  return nullptr;
}

// What the lookups of one spec expansion learnt about candidate directories:
// whether each can be searched. Hashed, since a link with thousands of
// prefixes asks about each of them several times.
struct memo_hash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

static struct {
  bool in_force = false;
  std::unordered_map<std::string, bool, memo_hash, std::equal_to<>> dirs;
} lookup_memo;

bool set_lookup_memo(bool in_force) {
  bool was = lookup_memo.in_force;
  // A nested expansion goes on with what the outer one learnt.
  if (was != in_force)
    lookup_memo.dirs.clear();
  lookup_memo.in_force = in_force;
  return was;
}

// The memo's answer for `length` bytes of dir: 1 usable, 0 not, -1 unknown.
static int remembered(const char *dir, size_t length) {
  auto found = lookup_memo.dirs.find(std::string_view(dir, length));
  return found == lookup_memo.dirs.end() ? -1 : found->second;
}

// Whether `length` bytes of dir name a directory that can be searched.
static bool searchable_dir(const char *dir, size_t length) {
  if (lookup_memo.in_force)
    if (int answer = remembered(dir, length); answer >= 0)
      return answer;
  std::string probe(dir, length);
  probe += !probe.empty() && probe.back() == '/' ? "." : "/.";
  struct stat st;
  bool usable = stat(probe.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
  if (lookup_memo.in_force)
    lookup_memo.dirs.emplace(std::string(dir, length), usable);
  return usable;
}

struct file_query {
  const char *name;
  size_t name_length;
  int mode;
};

static void *accept_file(char *candidate, void *data) {
  const auto *query = static_cast<const file_query *>(data);
  size_t dir_length = strlen(candidate);
  // Nothing below a directory that cannot be searched can be found: when the
  // memo knows one, the file system is not asked.
  if (lookup_memo.in_force && remembered(candidate, dir_length) == 0)
    return nullptr;
  memcpy(candidate + dir_length, query->name, query->name_length + 1);
  bool found;
  // A directory is never a program, though access() lets it be searched.
  struct stat st;
  if (query->mode == LOOKUP_EXECUTE && (stat(candidate, &st) != 0 || S_ISDIR(st.st_mode)))
    found = false;
  else
    found = access(candidate, query->mode) == 0;
  if (found)
    return candidate;
  // Learn whether the directory itself is there, for the lookups after this one.
  if (lookup_memo.in_force && remembered(candidate, dir_length) < 0)
    searchable_dir(candidate, dir_length);
  return nullptr;
}

char *find_in_prefixes(const search_path_list *list, const char *name, int mode,
                       bool with_multilib) {
  if (name[0] == '/')
    return access(name, mode) == 0 ? xstrdup(name) : nullptr;
  file_query query = {name, strlen(name), mode};
  return static_cast<char *>(
      walk_prefixes(list, with_multilib, query.name_length, accept_file, &query));
}

// The system's own assembler and linker win over any along the prefixes.
static const struct {
  const char *name;
  const char *path;
} fixed_programs[] = {
    {"as", "/usr/local/bin/as"},
    {"ld", "/usr/local/bin/ld"},
};

char *find_program(const char *name) {
  for (const auto &fixed : fixed_programs)
    if (strcmp(name, fixed.name) == 0 && access(fixed.path, X_OK) == 0)
      return xstrdup(fixed.path);
  return find_in_prefixes(&program_prefixes, name, LOOKUP_EXECUTE, false);
}

struct list_text {
  std::string text;
  bool require_dirs;
  bool first = true;
};

static void *append_candidate(char *candidate, void *data) {
  auto *out = static_cast<list_text *>(data);
  if (out->require_dirs && !is_usable_dir(candidate, false))
    return nullptr;
  if (!out->first)
    out->text += ':';
  out->first = false;
  out->text += candidate;
  return nullptr;
}

char *search_list_text(const search_path_list *list, const char *label, bool require_dirs,
                       bool with_multilib) {
  list_text out;
  out.text = std::string(label) + "=";
  out.require_dirs = require_dirs;
  walk_prefixes(list, with_multilib, 0, append_candidate, &out);
  return xstrdup(out.text.c_str());
}

bool is_usable_dir(const char *path, bool for_linker) {
  if (for_linker) {
    static const char *const linker_own[] = {"/lib/", "/usr/lib/", "/lib", "/usr/lib"};
    for (const char *dir : linker_own)
      if (strcmp(path, dir) == 0)
        return false;
  }
  return searchable_dir(path, strlen(path));
}
