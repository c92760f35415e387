#include "support/prefix_list.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "quarn-config.h"
#include "support/alloc.h"

search_path_list program_prefixes = {.label = "exec"};
search_path_list library_prefixes = {.label = "startfile"};
search_path_list header_prefixes = {.label = "include"};

const char *install_root = QUARN_PREFIX;
const char *target_root = nullptr;
const char *target_root_suffix = nullptr;
const char *target_sysroot_hdrs_suffix = nullptr;

// Where a new entry of this priority goes: after the last entry whose priority
// is not greater. Known priorities remember their last entry, so only unknown
// ones (and entries of unknown lower ones at the head) are ever walked over.
static search_path_entry *insertion_point(const search_path_list *list, int priority) {
  search_path_entry *after = nullptr;
  for (int p = priority < PRIO_COUNT ? priority : PRIO_COUNT - 1; p >= 0 && !after; p--)
    after = list->last_of_priority[p];
  if (after && priority >= 0 && priority < PRIO_COUNT)
    return after;
  search_path_entry *next = after ? after->next : list->first_entry;
  while (next && next->priority <= priority) {
    after = next;
    next = next->next;
  }
  return after;
}

void insert_prefix(search_path_list *list, const char *prefix, const char *component_key,
                   int priority, int suffix_mode, int use_os_dir) {
  char *text = translate_prefix(prefix, component_key);
  int length = static_cast<int>(strlen(text));
  if (length > list->longest_prefix)
    list->longest_prefix = length;

  auto *entry = static_cast<search_path_entry *>(xmalloc(sizeof(search_path_entry)));
  *entry = search_path_entry{text, nullptr, suffix_mode, priority, use_os_dir};
  search_path_entry *after = insertion_point(list, priority);
  search_path_entry **link = after ? &after->next : &list->first_entry;
  entry->next = *link;
  *link = entry;
  if (priority >= 0 && priority < PRIO_COUNT)
    list->last_of_priority[priority] = entry;
}

void insert_rooted_prefix(search_path_list *list, const char *prefix, const char *component_key,
                          int priority, int suffix_mode, int use_os_dir) {
  if (prefix[0] != '/')
    fatal_error(UNKNOWN_LOCATION, "system path %qs is not absolute", prefix);
  if (!target_root) {
    insert_prefix(list, prefix, component_key, priority, suffix_mode, use_os_dir);
    return;
  }
  std::string rooted = target_root;
  if (!rooted.empty() && rooted.back() == '/')
    rooted.pop_back();
  if (target_root_suffix)
    rooted += target_root_suffix;
  rooted += prefix;
  insert_prefix(list, rooted.c_str(), "QUARN", priority, suffix_mode, use_os_dir);
}

// Length of the leading "@KEY" or "$NAME" name, up to the first '/'.
static size_t name_length(const char *text) {
  return strcspn(text + 1, "/");
}

static const char *root_fallback() {
  return install_root ? install_root : QUARN_PREFIX;
}

char *expand_root_key(char *text) {
  // Names already expanded: a value that leads back to one of them would
  // never end, so the expansion stops there at the installation root.
  std::vector<std::string> seen_keys, seen_vars;
  while (text[0] == '@' || text[0] == '$') {
    bool is_key = text[0] == '@';
    std::string name(text + 1, name_length(text));
    const char *rest = text + 1 + name.size();
    std::vector<std::string> &seen = is_key ? seen_keys : seen_vars;
    const char *value = nullptr;
    bool looped = false;
    for (const std::string &old : seen)
      looped = looped || old == name;
    if (looped)
      value = root_fallback();
    else if (is_key) {
      value = getenv((name + "_ROOT").c_str());
      if (!value)
        value = root_fallback();
    } else {
      value = getenv(name.c_str());
      if (!value)
        value = QUARN_PREFIX;
    }
    seen.push_back(name);
    std::string expanded = std::string(value) + rest;
    free(text);
    text = xstrdup(expanded.c_str());
    if (looped)
      break;
  }
  return text;
}

// Start of the path component that ends at or before `end`, skipping the '/'
// characters that close it.
static char *component_start(char *text, char *end) {
  while (end > text && *end == '/')
    end--;
  while (end > text && end[-1] != '/')
    end--;
  return end;
}

static bool is_dot_component(const char *component) {
  return component[0] == '.' &&
         (component[1] == '/' || (component[1] == '.' && component[2] == '/'));
}

// The set-up inserts several prefixes below the same directory (the driver's
// own): the last directory found searchable is not asked for again.
static std::string last_searchable_dir;

static bool searchable_dir(const char *dir) {
  if (!last_searchable_dir.empty() && last_searchable_dir == dir)
    return true;
  if (access(dir, X_OK) != 0)
    return false;
  last_searchable_dir = dir;
  return true;
}

// Removes "dir/../" steps whose directory cannot be searched: a step through a
// directory that does not exist cannot be taken, so the prefix would lead
// nowhere. Folding stops at the first step whose directory can be searched.
static void fold_parent_steps(char *text) {
  if (text[0] == '\0')
    return;
  char *scan = text + 1;
  for (;;) {
    char *dots = strstr(scan - 1, "/../");
    if (!dots)
      return;
    dots++;

    char saved = *dots;
    *dots = '\0';
    bool searchable = searchable_dir(text);
    *dots = saved;
    if (searchable)
      return;

    // "." and ".." cannot be cancelled by the step back up: cancel the
    // component before them instead.
    char *start = component_start(text, dots - 1);
    while (start > text && is_dot_component(start))
      start = component_start(text, start - 1);
    if (start == text && (*start == '/' || *start == '.'))
      return;

    const char *tail = dots + 3;
    while (*tail == '/')
      tail++;
    memmove(start, tail, strlen(tail) + 1);
    scan = start > text ? start : text + 1;
  }
}

char *translate_prefix(const char *path, const char *component_key) {
  char *text;
  size_t root_length = install_root ? strlen(install_root) : 0;
  if (component_key && install_root && strncmp(path, install_root, root_length) == 0 &&
      (path[root_length] == '/' || path[root_length] == '\0')) {
    std::string keyed = std::string("@") + component_key + (path + root_length);
    text = expand_root_key(xstrdup(keyed.c_str()));
  } else {
    text = xstrdup(path);
  }
  fold_parent_steps(text);
  return text;
}

void set_install_root(const char *text, size_t length) {
  install_root = xstrndup(text, length);
}
