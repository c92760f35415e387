// #include lines: the stand-in preprocessor inlines the headers it finds and
// lists them, so build tools can track them through dependency files. Nothing
// else is preprocessed: conditionals and macros stay as they are.
#include "sim.h"

#include <sys/stat.h>

// The header named by an #include line, "name" or <name>; false for any
// other line.
static bool parse_include(const std::string &line, std::string &name, bool &angled) {
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos || line[i] != '#') return false;
  i = line.find_first_not_of(" \t", i + 1);
  if (i == std::string::npos || line.compare(i, 7, "include") != 0) return false;
  i = line.find_first_not_of(" \t", i + 7);
  if (i == std::string::npos || (line[i] != '"' && line[i] != '<')) return false;
  angled = line[i] == '<';
  size_t end = line.find(angled ? '>' : '"', i + 1);
  if (end == std::string::npos || end == i + 1) return false;
  name = line.substr(i + 1, end - i - 1);
  return true;
}

// "src/" for "src/a.c", "" for "a.c".
static std::string directory_of(const std::string &path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash + 1);
}

static std::string joined(const std::string &dir, const std::string &name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

struct file_id {
  dev_t device;
  ino_t inode;
  bool operator==(const file_id &other) const { return device == other.device && inode == other.inode; }
};

struct found_header {
  std::string path;
  bool system;
  file_id id;
};

static bool regular_file(const std::string &path, file_id &id) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  id = {st.st_dev, st.st_ino};
  return true;
}

static bool find_header(const std::string &name, bool angled, const std::string &includer_dir,
                        bool includer_system, const sim_include_dirs &dirs, found_header &found) {
  std::vector<std::pair<std::string, bool>> places;
  if (name[0] == '/') {
    places.push_back({"", includer_system});
  } else {
    if (!angled) {
      places.push_back({includer_dir, includer_system});
      for (const std::string &dir : dirs.quote) places.push_back({dir, false});
    }
    for (const std::string &dir : dirs.user) places.push_back({dir, false});
    for (const std::string &dir : dirs.system) places.push_back({dir, true});
  }
  for (const auto &[dir, system] : places) {
    std::string path = joined(dir, name);
    if (regular_file(path, found.id)) {
      found.path = path;
      found.system = system;
      return true;
    }
  }
  return false;
}

static std::string marker_name(const std::string &name) {
  std::string out;
  for (char c : name) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out;
}

struct walk_state {
  const sim_run &run;
  const sim_include_dirs &dirs;
  bool list_missing;
  std::vector<file_id> entered;  // by identity: other spellings of a path are the same file
  std::vector<std::string> missing;
  sim_unit &unit;
};

static bool walk(walk_state &state, const std::string &shown, bool system, const std::string &text) {
  std::string dir = shown == "<stdin>" ? "" : directory_of(shown);
  size_t start = 0, number = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    number++;
    std::string name;
    bool angled;
    found_header found;
    if (!parse_include(line, name, angled) || !find_header(name, angled, dir, system, state.dirs, found)) {
      if (state.list_missing && parse_include(line, name, angled)) {
        bool listed = false;
        for (const std::string &seen : state.missing) listed = listed || seen == name;
        if (!listed) {
          state.missing.push_back(name);
          state.unit.headers.push_back({name, system});
        }
      }
      state.unit.text += line + "\n";
      continue;
    }
    bool again = false;
    for (const file_id &id : state.entered) again = again || id == found.id;
    if (again) {
      // Every header counts as guarded; the empty line keeps the numbering.
      state.unit.text += "\n";
      continue;
    }
    state.entered.push_back(found.id);
    state.unit.headers.push_back({found.path, found.system});
    std::string header_text;
    if (!read_input(state.run, found.path.c_str(), header_text)) return false;
    state.unit.text += "# 1 \"" + marker_name(found.path) + "\" 1\n";
    if (!walk(state, found.path, found.system, header_text)) return false;
    state.unit.text += "# " + std::to_string(number + 1) + " \"" + marker_name(shown) + "\" 2\n";
  }
  return true;
}

bool preprocess_unit(const sim_run &run, const char *input, const std::string &text,
                     const sim_include_dirs &dirs, bool list_missing, sim_unit &unit) {
  walk_state state = {run, dirs, list_missing, {}, {}, unit};
  file_id self;
  if (std::string(input) != "-" && regular_file(input, self)) state.entered.push_back(self);
  std::string shown = display_name(input);
  unit.text += "# 1 \"" + marker_name(shown) + "\"\n";
  return walk(state, shown, false, text);
}

std::string make_quoted(const std::string &name) {
  std::string out;
  for (size_t i = 0; i < name.size(); i++) {
    char c = name[i];
    if (c == ' ' || c == '\t') {
      // Backslashes before a blank would escape it themselves: double them.
      for (size_t j = i; j > 0 && name[j - 1] == '\\'; j--) out += '\\';
      out += '\\';
    } else if (c == '$') {
      out += '$';
    } else if (c == '#') {
      out += '\\';
    }
    out += c;
  }
  return out;
}

std::string dependency_rules(const std::vector<std::string> &targets,
                             const std::vector<std::string> &prerequisites,
                             const std::vector<std::string> &phony_names) {
  std::string out;
  for (const std::string &target : targets) out += (out.empty() ? "" : " ") + target;
  out += ":";
  for (const std::string &name : prerequisites) out += " " + name;
  out += "\n";
  for (const std::string &name : phony_names) out += name + ":\n";
  return out;
}
