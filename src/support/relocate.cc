#include "support/relocate.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "support/alloc.h"

// Components keep the '/' characters that end them: "/a//b" is "/", "a//", "b".
static std::vector<std::string_view> split_components(std::string_view path) {
  std::vector<std::string_view> components;
  components.reserve(std::count(path.begin(), path.end(), '/') + 1);
  size_t start = 0;
  while (start < path.size()) {
    size_t end = path.find('/', start);
    if (end == std::string_view::npos)
      end = path.size();
    else
      end = path.find_first_not_of('/', end);
    if (end == std::string_view::npos)
      end = path.size();
    components.push_back(path.substr(start, end - start));
    start = end;
  }
  return components;
}

// The first executable regular file named `name` in a PATH directory.
static std::string search_path_variable(const char *name) {
  const char *path = getenv("PATH");
  if (!path)
    return name;
  for (const char *piece = path;;) {
    size_t length = strcspn(piece, ":");
    std::string candidate(piece, length);
    if (candidate.empty())
      candidate = "./";
    else if (candidate.back() != '/')
      candidate += '/';
    candidate += name;
    struct stat st;
    if (access(candidate.c_str(), X_OK) == 0 && stat(candidate.c_str(), &st) == 0 &&
        S_ISREG(st.st_mode))
      return candidate;
    if (piece[length] == '\0')
      break;
    piece += length + 1;
  }
  return name;
}

static std::string resolved(const std::string &name) {
  char buffer[PATH_MAX];
  return realpath(name.c_str(), buffer) ? std::string(buffer) : name;
}

static std::string program_path(const char *program_name, bool resolve_links) {
  std::string name = strchr(program_name, '/') ? program_name : search_path_variable(program_name);
  return resolve_links ? resolved(name) : name;
}

char *resolve_program_name(const char *program_name, bool resolve_links) {
  return program_name ? xstrdup(program_path(program_name, resolve_links).c_str()) : nullptr;
}

char *relocate_prefix(const char *program_name, const char *bin_dir, const char *target_dir,
                      bool resolve_links) {
  if (!program_name || !bin_dir || !target_dir)
    return nullptr;
  std::string full = program_path(program_name, resolve_links);

  std::vector<std::string_view> prog = split_components(full);
  std::vector<std::string_view> bin = split_components(bin_dir);
  std::vector<std::string_view> target = split_components(target_dir);
  if (prog.empty() || bin.empty() || target.empty())
    return nullptr;
  prog.pop_back();

  // Started from the configured directory: nothing moved.
  if (prog.size() == bin.size() && (prog.empty() || prog == bin))
    return nullptr;

  size_t common = 0;
  while (common < bin.size() && common < target.size() && bin[common] == target[common])
    common++;
  if (common == 0)
    return nullptr;

  std::string result;
  for (std::string_view component : prog)
    result += component;
  for (size_t i = common; i < bin.size(); i++)
    result += "../";
  for (size_t i = common; i < target.size(); i++)
    result += target[i];
  return xstrdup(result.c_str());
}
