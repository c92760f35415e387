// The ordered, prioritised directory-prefix lists along which the driver finds
// the programs it runs and the files it reads, and the translation of an
// install-relative prefix when it is stored.
#pragma once

#include <cstddef>

// Lower priorities come first; equal priorities keep insertion order.
enum prefix_priority {
  PRIO_OPTION = 0,   // -B
  PRIO_STANDARD = 1, // everything else
  PRIO_COUNT
};

struct search_path_entry {
  char *prefix;
  search_path_entry *next;
  // 0: also tried bare (with multilib, multiarch and plain forms); 1: only with
  // the machine and version suffix; 2: with that suffix, then the machine-only
  // suffix, never bare.
  int suffix_mode;
  int priority;
  // 1: the bare form is tried with the OS multilib directory, 0: with the
  // compiler's multilib directory.
  int use_os_dir;
};

struct search_path_list {
  search_path_entry *first_entry = nullptr;
  // Greatest length of a stored prefix; walks size their buffer from it.
  int longest_prefix = 0;
  const char *label = nullptr;
  // Last entry of each known priority, so that insertion never walks the list
  // (lists grow only through insert_prefix).
  search_path_entry *last_of_priority[PRIO_COUNT] = {};
};

extern search_path_list program_prefixes; // "exec"
extern search_path_list library_prefixes; // "startfile"
extern search_path_list header_prefixes;  // "include"

// The configured installation prefix until the installation is relocated.
extern const char *install_root;
// --sysroot directory and the suffix derived from "sysroot_suffix_spec"; none
// until the driver sets them. insert_rooted_prefix reads both.
extern const char *target_root;
extern const char *target_root_suffix;
// Suffix of the target root's header directories, from
// "sysroot_hdrs_suffix_spec"; none unless that spec gives one.
extern const char *target_sysroot_hdrs_suffix;

// Stores translate_prefix (prefix, component_key) in a new entry; the caller
// keeps its own text. component_key is "QUARN", "SHALE" or none.
void insert_prefix(search_path_list *list, const char *prefix, const char *component_key,
                   int priority, int suffix_mode, int use_os_dir);
// For absolute system directories that follow the target root; a relative
// prefix is a fatal error.
void insert_rooted_prefix(search_path_list *list, const char *prefix, const char *component_key,
                          int priority, int suffix_mode, int use_os_dir);

// Re-roots a path under install_root at the component's KEY_ROOT variable and
// folds "dir/../" steps through directories that do not exist. Owned result.
char *translate_prefix(const char *path, const char *component_key);
// Expands a leading "@KEY" (and a '$NAME' that a KEY_ROOT value leads to).
// Takes ownership of text; returns an owned text.
char *expand_root_key(char *text);
// install_root becomes a copy of the first length bytes of text.
void set_install_root(const char *text, size_t length);
