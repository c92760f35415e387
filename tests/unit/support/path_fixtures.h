// Fixtures for the path tests: a scratch directory tree made per test and
// environment variables set for one test and restored afterwards.
#pragma once

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// A fresh directory under TMPDIR (or /tmp), removed with everything in it.
// Its path is canonical, so resolved and unresolved names compare equal.
class scratch_dir {
public:
  scratch_dir() {
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/quarn-paths-XXXXXX";
    char *made = mkdtemp(pattern.data());
    EXPECT_NE(made, nullptr);
    char canonical[PATH_MAX];
    root_ = realpath(pattern.c_str(), canonical) ? canonical : pattern;
  }
  ~scratch_dir() {
    std::error_code ignored;
    std::filesystem::remove_all(root_, ignored);
  }
  scratch_dir(const scratch_dir &) = delete;
  scratch_dir &operator=(const scratch_dir &) = delete;

  const std::string &root() const { return root_; }
  // root + "/" + relative
  std::string path(const std::string &relative) const { return root_ + "/" + relative; }

  std::string make_dir(const std::string &relative) const {
    std::filesystem::create_directories(path(relative));
    return path(relative);
  }
  std::string make_file(const std::string &relative, const std::string &content = "",
                        mode_t mode = 0644) const {
    std::filesystem::path full = path(relative);
    std::filesystem::create_directories(full.parent_path());
    std::ofstream(full, std::ios::binary) << content;
    chmod(full.c_str(), mode);
    return full;
  }

private:
  std::string root_;
};

// Sets (or, for none, unsets) one environment variable until destroyed.
class scoped_env {
public:
  scoped_env(const char *name, const char *value) : name_(name) {
    if (const char *old = getenv(name))
      old_ = old;
    if (value)
      setenv(name, value, 1);
    else
      unsetenv(name);
  }
  ~scoped_env() {
    if (old_)
      setenv(name_.c_str(), old_->c_str(), 1);
    else
      unsetenv(name_.c_str());
  }
  scoped_env(const scoped_env &) = delete;
  scoped_env &operator=(const scoped_env &) = delete;

private:
  std::string name_;
  std::optional<std::string> old_;
};

#include "support/prefix_list.h"

// Frees the entries of a prefix list (the driver's lists are never freed).
inline void clear_prefix_list(search_path_list *list) {
  for (search_path_entry *entry = list->first_entry, *next; entry; entry = next) {
    next = entry->next;
    free(entry->prefix);
    free(entry);
  }
  const char *label = list->label;
  *list = search_path_list{};
  list->label = label;
}

// A prefix list for one test, freed with it.
struct test_prefix_list : search_path_list {
  test_prefix_list() { label = "test"; }
  ~test_prefix_list() { clear_prefix_list(this); }
  test_prefix_list(const test_prefix_list &) = delete;
  test_prefix_list &operator=(const test_prefix_list &) = delete;
};
