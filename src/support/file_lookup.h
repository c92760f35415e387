// Walking a prefix list: the candidate directories of every entry in order,
// and the lookups built on the walk (files, programs, directory lists).
#pragma once

#include <cstddef>

#include "support/prefix_list.h"

// The multilib directories chosen for this run; none (or ".") means not
// selected. Multilib selection fills them; walks made before see them unset.
struct multilib_dirs {
  const char *multilib_subdir = nullptr;
  const char *multilib_os_subdir = nullptr;
  const char *multiarch_subdir = nullptr;
};

extern multilib_dirs selected_multilib;

// "aarch64-rivet-freebsd13.4/12.3.0/" and "aarch64-rivet-freebsd13.4/".
extern const char *version_dir_suffix;
extern const char *target_dir_suffix;

// Access modes of find_in_prefixes, as for access().
enum lookup_mode { LOOKUP_EXECUTE = 1, LOOKUP_WRITE = 2, LOOKUP_READ = 4 };

// Called with each candidate directory (ending in '/') in a buffer with room
// for the walk's extra space more bytes and a terminator. A non-null result
// ends the walk; returning the buffer itself hands it to the walk's caller.
typedef void *(*prefix_visitor)(char *candidate, void *data);

void *walk_prefixes(const search_path_list *list, bool with_multilib, size_t extra_space,
                    prefix_visitor visitor, void *data);

// An owned path to an existing `name` along the list that access() allows in
// `mode`, or none. An absolute name is only tested as written.
char *find_in_prefixes(const search_path_list *list, const char *name, int mode,
                       bool with_multilib);

// A program to run, along program_prefixes; owned path or none.
char *find_program(const char *name);

// "LABEL=dir:dir:..." of every candidate of a full walk; only the existing
// directories when require_dirs is set. Allocated once, never freed.
char *search_list_text(const search_path_list *list, const char *label, bool require_dirs,
                       bool with_multilib);

// While the lookup memo is in force, the lookups remember which candidate
// directories exist (a directory found missing costs one more stat the first
// time) and skip candidates below the missing ones; is_usable_dir answers from
// it too. For the lookups of one spec expansion: it must be out of force
// whenever something may create directories, such as a command. Puts it in or
// out of force, returns whether it was in force, and starts it empty when
// that changes.
bool set_lookup_memo(bool in_force);

// Whether path is a directory (a link to one counts). "/lib/" and "/usr/lib/"
// are refused for the linker, which searches them itself.
bool is_usable_dir(const char *path, bool for_linker);
