#include "driver/dump_names.h"

#include <cstdlib>
#include <cstring>

#include "driver/driver_state.h"
#include "support/alloc.h"

static const char *base_name(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

static bool ends_with(const char *text, const char *ending) {
  size_t length = strlen(text), ending_length = strlen(ending);
  return ending_length <= length && strcmp(text + length - ending_length, ending) == 0;
}

// The last '.' of the name, unless it is its first character.
static const char *last_suffix(const char *name) {
  const char *dot = strrchr(name, '.');
  return dot && dot != name ? dot : nullptr;
}

static void replace(char **field, char *value) {
  free(*field);
  *field = value;
}

// Appends `base` and "-" to the dump directory: outputs are then named
// "<dir><base>-<input base>...".
static void fold_into_dump_dir(const char *base) {
  replace(&driver.dump_dir, concat(driver.dump_dir, base, "-"));
  driver.dump_dir_dash_added = true;
}

static void choose_dump_dir(bool explicit_dir) {
  const char *output = driver.output_name;
  if ((explicit_dir && !driver.save_temps_beats_dump_dir) || (output && !is_real_file_name(output)))
    return;
  if (driver.save_temps_mode != SAVE_TEMPS_CWD && output) {
    const char *base = base_name(output);
    replace(&driver.dump_dir, base != output ? xstrndup(output, base - output) : nullptr);
  } else {
    replace(&driver.dump_dir, nullptr);
  }
}

// The name link outputs are named after: the output's base name, "a" without
// a real output, with ".exe" or the "a.out" suffix (or -dumpbase-ext) cut off.
static char *link_base() {
  const char *output = driver.output_name;
  const char *base = output && is_real_file_name(output) ? base_name(output) : "a";
  size_t length = strlen(base);
  if (driver.dump_base_ext) {
    size_t ext_length = strlen(driver.dump_base_ext);
    if (length > ext_length && ends_with(base, driver.dump_base_ext))
      length -= ext_length;
  } else if (const char *suffix = last_suffix(base)) {
    if (strcmp(suffix, ".exe") == 0 || strcmp(base, "a.out") == 0)
      length = suffix - base;
  }
  return xstrndup(base, length);
}

// True when the only compiled input is named like the link output plus one
// suffix (foo.c for -o foo): its outputs need no extra prefix.
static bool single_input_matches(const char *link_name) {
  int index = single_input_index();
  if (index < 0)
    return false;
  const char *input = base_name(driver.inputs.entries[index].name);
  size_t length = strlen(link_name);
  return strncmp(input, link_name, length) == 0 && input[length] == '.' &&
         !strchr(input + length + 1, '.');
}

static void name_after_link_output(bool explicit_dir) {
  char *link_name = link_base();
  if (driver.dump_base || single_input_matches(link_name)) {
    replace(&driver.out_base, link_name);
    driver.out_base_length = 0;
  } else {
    fold_into_dump_dir(link_name);
    free(link_name);
  }
  if (!explicit_dir || driver.dump_base)
    replace(&driver.dump_base_ext, nullptr);
}

static void choose_out_base() {
  if (driver.dump_base) {
    size_t length = strlen(driver.dump_base);
    if (driver.dump_base_ext)
      length -= strlen(driver.dump_base_ext);
    replace(&driver.out_base, xstrndup(driver.dump_base, length));
  } else if (driver.output_name && is_real_file_name(driver.output_name)) {
    const char *base = base_name(driver.output_name);
    const char *suffix = last_suffix(base);
    replace(&driver.out_base, xstrndup(base, suffix ? suffix - base : strlen(base)));
  }
  if (driver.out_base)
    driver.out_base_length = strlen(driver.out_base);
}

void derive_dump_names() {
  const bool explicit_dir = driver.dump_dir != nullptr;
  const bool linking = !driver.stop_before_link;
  choose_dump_dir(explicit_dir);
  if (driver.save_temps_mode != SAVE_TEMPS_NONE)
    driver.save_temps_mode = SAVE_TEMPS_DUMP;
  if (driver.dump_dir && driver.dump_base && strchr(driver.dump_base, '/'))
    replace(&driver.dump_dir, nullptr);

  const bool base_given = driver.dump_base && driver.dump_base[0];
  if (driver.dump_base_ext && base_given) {
    size_t ext_length = strlen(driver.dump_base_ext);
    if (!(ext_length < strlen(driver.dump_base) && ends_with(driver.dump_base, driver.dump_base_ext)))
      replace(&driver.dump_base_ext, nullptr);
  }

  if (base_given && (single_input_index() == -2 || (linking && !explicit_dir))) {
    if (driver.dump_base_ext)
      driver.dump_base[strlen(driver.dump_base) - strlen(driver.dump_base_ext)] = '\0';
    fold_into_dump_dir(driver.dump_base);
    replace(&driver.dump_base, nullptr);
    replace(&driver.dump_base_ext, nullptr);
  } else if (linking && (!explicit_dir || (driver.dump_base && !driver.dump_base[0]))) {
    name_after_link_output(explicit_dir);
  }

  if ((driver.dump_base || !linking) && !(driver.dump_base && !driver.dump_base[0]))
    choose_out_base();
  driver.dump_dir_length = driver.dump_dir ? strlen(driver.dump_dir) : 0;
  if (driver.dump_base_ext && !(driver.dump_base && driver.dump_base[0]))
    replace(&driver.dump_base_ext, nullptr);
}

void finish_dump_names_for_link() {
  if (driver.out_base && driver.out_base[0]) {
    replace(&driver.dump_dir, concat(driver.dump_dir, driver.out_base, "."));
    driver.dump_dir_length += strlen(driver.out_base) + 1;
    driver.dump_dir_dash_added = true;
  } else if (driver.dump_dir_dash_added) {
    driver.dump_dir[strlen(driver.dump_dir) - 1] = '.';
  }
  // The final "." is exported with the directory but is no part of the
  // prefix put in front of names.
  if (driver.dump_dir_dash_added)
    driver.dump_dir_length--;
  replace(&driver.out_base, nullptr);
  driver.out_base_length = 0;
}
