#include "driver/offload_options.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "options/spellcheck.h"
#include "support/alloc.h"

// The ':'-separated offload targets this build can compile for: none. The
// one empty name it holds is therefore the only name accepted.
static const char configured_offload_targets[] = "";

static bool in_colon_list(const char *list, const char *name, size_t length) {
  for (const char *item = list;;) {
    const char *end = strchr(item, ':');
    size_t item_length = end ? size_t(end - item) : strlen(item);
    if (item_length == length && strncmp(item, name, length) == 0)
      return true;
    if (!end)
      return false;
    item = end + 1;
  }
}

// Whether the name is a configured target; reports it, with the valid
// names and the closest one, when it is not.
static bool check_offload_target_name(const char *name, size_t length) {
  if (in_colon_list(configured_offload_targets, name, length))
    return true;
  std::string target(name, length);
  error_at(UNKNOWN_LOCATION, "QUARN is not configured to support %qs as %<-foffload=%> argument",
           target.c_str());

  std::vector<std::string> candidates;
  for (const char *item = configured_offload_targets; *item;) {
    const char *end = strchr(item, ':');
    size_t item_length = end ? size_t(end - item) : strlen(item);
    if (item_length)
      candidates.emplace_back(item, item_length);
    item = end ? end + 1 : item + item_length;
  }
  candidates.emplace_back("default");
  candidates.emplace_back("disable");
  std::string valid;
  std::vector<const char *> names;
  for (const std::string &candidate : candidates) {
    if (!valid.empty())
      valid += ' ';
    valid += candidate;
    names.push_back(candidate.c_str());
  }
  const char *hint = find_closest_string(target.c_str(), names.data(), names.size());
  if (hint)
    inform(UNKNOWN_LOCATION, "valid %<-foffload=%> arguments are: %s; did you mean %qs?",
           valid.c_str(), hint);
  else
    inform(UNKNOWN_LOCATION, "valid %<-foffload=%> arguments are: %s", valid.c_str());
  return false;
}

static void set_offload_targets(char *list) {
  free(driver.offload_target_list);
  driver.offload_target_list = list;
}

static void append_offload_target(const char *name, size_t length) {
  char *list = driver.offload_target_list;
  if (!list) {
    set_offload_targets(xstrndup(name, length));
    return;
  }
  if (in_colon_list(list, name, length))
    return;
  size_t list_length = strlen(list);
  list = static_cast<char *>(xrealloc(list, list_length + 1 + length + 1));
  list[list_length] = ':';
  memcpy(list + list_length + 1, name, length);
  list[list_length + 1 + length] = '\0';
  driver.offload_target_list = list;
}

// Walks the ','-separated names before the first '=' (or the end).
static void parse_offload_targets(const char *arg) {
  const char *end = strchr(arg, '=');
  if (!end)
    end = arg + strlen(arg);
  for (const char *name = arg; name < end;) {
    const char *comma = static_cast<const char *>(memchr(name, ',', end - name));
    const char *next = comma ? comma : end;
    size_t length = next - name;
    if (length == 7 && strncmp(name, "default", 7) == 0) {
      set_offload_targets(nullptr);
    } else if ((length == 7 && strncmp(name, "disable", 7) == 0) ||
               !check_offload_target_name(name, length)) {
      set_offload_targets(xstrdup(""));
      return;
    } else {
      append_offload_target(name, length);
    }
    name = next + 1;
  }
}

void handle_foffload_option(const char *arg) {
  // An argument starting with '-' holds options only.
  if (arg[0] != '-')
    parse_offload_targets(arg);
  if (arg[0] == '-' || strchr(arg, '=')) {
    std::string text = std::string("-foffload-options=") + arg;
    record_switch(xstrdup(text.c_str()), 0, nullptr, false, true);
  }
}

void check_foffload_options(const char *arg) {
  if (arg[0] == '-')
    return;
  const char *equals = strchr(arg, '=');
  if (!equals) {
    error_at(UNKNOWN_LOCATION, "%<=%>options missing after %<-foffload-options=%>target");
    return;
  }
  for (const char *name = arg; name < equals;) {
    const char *comma = static_cast<const char *>(memchr(name, ',', equals - name));
    const char *next = comma ? comma : equals;
    check_offload_target_name(name, next - name);
    name = next + 1;
  }
}
