// Spec-function handlers: each gets the words its arguments expanded
// to and returns a spec text to interpret, or none.
#include <fcntl.h>
#include <regex.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn-config.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "driver/env_manager.h"
#include "options/opts.h"
#include "specs/brace_groups.h"
#include "specs/spec_functions.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/file_lookup.h"
#include "support/prefix_list.h"

const char *getenv_spec_function(int argc, const char **argv) {
  if (argc != 2)
    return nullptr;
  const char *name = argv[0];
  const char *value = driver_env.getenv(name);
  if (!value) {
    if (driver.undefined_variables_allowed)
      return concat("/", name);
    fatal_error(UNKNOWN_LOCATION, "environment variable %qs not defined", name);
  }
  // Escaped, so that no character of the value is read as spec syntax.
  std::string text;
  for (const char *p = value; *p; ++p) {
    text += '\\';
    text += *p;
  }
  text += argv[1];
  return xstrdup(text.c_str());
}

// Only absolute names are tested: a relative one would depend on where the
// driver happens to run.
static bool readable_absolute_file(const char *name) {
  return name[0] == '/' && access(name, R_OK) == 0;
}

const char *if_exists_spec_function(int argc, const char **argv) {
  if (argc == 1 && readable_absolute_file(argv[0]))
    return argv[0];
  return nullptr;
}

const char *if_exists_else_spec_function(int argc, const char **argv) {
  if (argc != 2)
    return nullptr;
  return readable_absolute_file(argv[0]) ? argv[0] : argv[1];
}

const char *if_exists_then_else_spec_function(int argc, const char **argv) {
  if (argc != 2 && argc != 3)
    return nullptr;
  if (readable_absolute_file(argv[0]))
    return argv[1];
  return argc == 3 ? argv[2] : nullptr;
}

// The checks that make up "undefined" for the libraries a link needs.
static uint32_t undefined_behaviour_checks() {
  static const char *const names[] = {
      "shift-base", "shift-exponent", "integer-divide-by-zero", "unreachable",
      "vla-bound", "null", "return", "signed-integer-overflow", "bool", "enum",
      "float-divide-by-zero", "float-cast-overflow", "bounds", "alignment",
      "nonnull-attribute", "returns-nonnull-attribute", "object-size", "vptr",
      "bounds-strict", "pointer-overflow", "builtin"};
  static uint32_t bits = 0;
  if (bits == 0)
    for (const char *name : names)
      for (const sanitizer_entry &entry : sanitizer_entries)
        if (strcmp(entry.name, name) == 0)
          bits |= entry.bits;
  return bits;
}

static bool sanitizer_in_effect(const char *kind) {
  uint32_t set = global_options.sanitize;
  if (strcmp(kind, "address") == 0)
    return set & SANITIZE_USER_ADDRESS;
  if (strcmp(kind, "hwaddress") == 0)
    return set & SANITIZE_USER_HWADDRESS;
  if (strcmp(kind, "kernel-address") == 0)
    return set & SANITIZE_KERNEL_ADDRESS;
  if (strcmp(kind, "kernel-hwaddress") == 0)
    return set & SANITIZE_KERNEL_HWADDRESS;
  if (strcmp(kind, "thread") == 0)
    return set & SANITIZE_THREAD;
  if (strcmp(kind, "undefined") == 0) {
    void *trap = option_field(OPT_fsanitize_undefined_trap_on_error, &global_options);
    bool trapping = trap && static_cast<options_record::option_slot *>(trap)->i32 != 0;
    return (set & undefined_behaviour_checks()) && !trapping;
  }
  if (strcmp(kind, "leak") == 0)
    return (set & SANITIZE_LEAK) && !(set & (SANITIZE_ADDRESS | SANITIZE_THREAD));
  return false;
}

const char *sanitize_spec_function(int argc, const char **argv) {
  if (argc != 1)
    return nullptr;
  return sanitizer_in_effect(argv[0]) ? "" : nullptr;
}

// Only the slots of the inputs: the language driver's extra outputs stay.
static int input_slot_count() {
  return driver.output_files ? driver.inputs.count : 0;
}

const char *replace_outfile_spec_function(int argc, const char **argv) {
  if (argc != 2)
    quarn_unreachable();
  for (int i = 0; i < input_slot_count(); i++)
    if (driver.output_files[i] && strcmp(driver.output_files[i], argv[0]) == 0)
      driver.output_files[i] = xstrdup(argv[1]);
  return nullptr;
}

const char *remove_outfile_spec_function(int argc, const char **argv) {
  if (argc != 1)
    quarn_unreachable();
  for (int i = 0; i < input_slot_count(); i++)
    if (driver.output_files[i] && strcmp(driver.output_files[i], argv[0]) == 0)
      driver.output_files[i] = nullptr;
  return nullptr;
}

int compare_version_strings(const char *a, const char *b) {
  static regex_t version;
  static bool compiled = false;
  if (!compiled) {
    if (regcomp(&version, "^([1-9][0-9]*|0)(\\.([1-9][0-9]*|0))*$", REG_EXTENDED | REG_NOSUB))
      quarn_unreachable();
    compiled = true;
  }
  for (const char *word : {a, b}) {
    int status = regexec(&version, word, 0, nullptr, 0);
    if (status == REG_NOMATCH)
      fatal_error(UNKNOWN_LOCATION, "invalid version number %qs", word);
    if (status != 0)
      quarn_unreachable();
  }
  int order = strverscmp(a, b);
  return order < 0 ? -1 : order > 0 ? 1 : 0;
}

const char *version_compare_spec_function(int argc, const char **argv) {
  if (argc < 3)
    fatal_error(UNKNOWN_LOCATION, "too few arguments to %%:version-compare");
  const char *op = argv[0];
  if (!op[0])
    quarn_unreachable();
  int versions = (op[1] == '<' || op[1] == '>') && op[0] != '!' ? 2 : 1;
  // Any count but the operator's own, fewer words included, is this message.
  if (argc != 3 + versions)
    fatal_error(UNKNOWN_LOCATION, "too many arguments to %%:version-compare");

  const char *prefix = argv[1 + versions];
  size_t prefix_length = strlen(prefix);
  int found = -1;
  for (int i = 0; i < driver.switches.count; i++)
    if (strncmp(driver.switches.entries[i].name, prefix, prefix_length) == 0 &&
        switch_is_live(i, int(prefix_length)))
      found = i;

  int first = -1, second = -1;
  if (found >= 0) {
    const char *value = driver.switches.entries[found].name + prefix_length;
    first = compare_version_strings(value, argv[1]);
    if (versions == 2)
      second = compare_version_strings(value, argv[2]);
  }

  bool result;
  if (strcmp(op, ">=") == 0)
    result = first >= 0;
  else if (strcmp(op, "!<") == 0)
    result = first >= 0 || found < 0;
  else if (strcmp(op, "<") == 0)
    result = first < 0;
  else if (strcmp(op, "!>") == 0)
    result = first < 0 || found < 0;
  else if (strcmp(op, "><") == 0)
    result = first >= 0 && second < 0;
  else if (strcmp(op, "<>") == 0)
    result = first < 0 || second >= 0;
  else
    fatal_error(UNKNOWN_LOCATION, "unknown operator %qs in %%:version-compare", op);
  return result ? argv[2 + versions] : nullptr;
}

static char *find_library_file(const char *name) {
  return find_in_prefixes(&library_prefixes, name, LOOKUP_READ, true);
}

const char *include_spec_function(int argc, const char **argv) {
  if (argc != 1)
    quarn_unreachable();
  char *found = find_library_file(argv[0]);
  const std::string path = found ? found : argv[0];
  free(found);
  load_spec_file(path.c_str(), false, false);
  return nullptr;
}

const char *find_file_spec_function(int argc, const char **argv) {
  if (argc != 1)
    quarn_unreachable();
  char *found = find_library_file(argv[0]);
  return found ? found : argv[0];
}

const char *find_plugindir_spec_function(int argc, const char **) {
  if (argc != 0)
    quarn_unreachable();
  char *found = find_library_file("plugin");
  return concat("-iplugindir=", found ? found : "plugin");
}

const char *print_asm_header_spec_function(int, const char **) {
  notice_to_stream(stdout, "Assembler options\n=================\n\n");
  notice_to_stream(stdout, "Use \"-Wa,OPTION\" to pass \"OPTION\" to the assembler.\n\n");
  fflush(stdout);
  return nullptr;
}

// The last word a spec text expands to, or none.
static const char *last_word_of(const char *text) {
  expand_spec(text, nullptr);
  do_spec_1(" ", 0, nullptr);
  const arg_vector &words = interpreter.command_args;
  return words.count ? xstrdup(words.items[words.count - 1]) : nullptr;
}

static unsigned long make_random_seed() {
  unsigned long seed = 0;
  int fd = open("/dev/urandom", O_RDONLY);
  if (fd >= 0) {
    if (read(fd, &seed, sizeof seed) != ssize_t(sizeof seed))
      seed = 0;
    close(fd);
  }
  if (seed == 0) {
    struct timeval now;
    gettimeofday(&now, nullptr);
    seed = (now.tv_sec * 1000 + now.tv_usec / 1000) ^ getpid();
  }
  return seed;
}

const char *compare_debug_dump_opt_spec_function(int argc, const char **) {
  if (argc > 0)
    fatal_error(UNKNOWN_LOCATION, "too many arguments to %%:compare-debug-dump-opt");

  const char *name = last_word_of("%{fdump-final-insns=*:%*}");
  const char *option = nullptr;
  if (name && strcmp(name, ".") != 0) {
    if (!driver.compare_debug_mode)
      return nullptr;
  } else {
    if (!name && !driver.compare_debug_mode)
      return nullptr;
    name = last_word_of(name ? "%B.gkd" : "%{!save-temps*:%g.gkd}%{save-temps*:%B.gkd}");
    if (!name)
      quarn_unreachable();
    option = concat("-fdump-final-insns=", quote_spec_arg(name));
  }

  bool second_run = driver.compare_debug_mode < 0;
  compare_debug_dump_names[second_run ? 1 : 0] = name;

  if (!second_run) {
    char seed[32];
    snprintf(seed, sizeof seed, "%#lx", make_random_seed());
    compare_debug_seed = xstrdup(seed);
  }
  const char *result = option;
  if (compare_debug_seed && compare_debug_seed[0]) {
    std::string text = std::string("%{!frandom-seed=*:-frandom-seed=") + compare_debug_seed + "} ";
    if (option)
      text += option;
    result = xstrdup(text.c_str());
  }
  // The second run takes the first run's seed once.
  if (second_run)
    compare_debug_seed = nullptr;
  return result;
}

const char *compare_debug_self_opt_spec_function(int argc, const char **) {
  if (argc > 0)
    fatal_error(UNKNOWN_LOCATION, "too many arguments to %%:compare-debug-self-opt");
  if (driver.compare_debug_mode >= 0)
    return nullptr;
  return concat("%<o %<MD %<MMD %<MF* %<MG %<MP %<MQ* %<MT* %<fdump-final-insns=* -w -S -o %j "
                "%{!fcompare-debug-second:-fcompare-debug-second} ",
                driver.compare_debug_option);
}

const char *pass_through_libs_spec_func(int argc, const char **argv) {
  std::string text = " ";
  for (int i = 0; i < argc; i++) {
    const char *word = argv[i];
    if (strncmp(word, "-l", 2) == 0) {
      const char *library = word + 2;
      if (!library[0]) {
        if (++i == argc)
          break;
        library = argv[i];
      }
      text += std::string("-plugin-opt=-pass-through=-l") + library + " ";
    } else {
      size_t length = strlen(word);
      if (length >= 2 && strcmp(word + length - 2, ".a") == 0)
        text += std::string("-plugin-opt=-pass-through=") + word + " ";
    }
  }
  return xstrdup(text.c_str());
}

const char *dumps_spec_func(int argc, const char **argv) {
  const char *ext = driver.dump_base_ext;
  if (!ext) {
    if (driver.dump_base && driver.dump_base[0])
      ext = "";
    else if (argc == 1)
      ext = argv[0];
    else if (argc > 1)
      fatal_error(UNKNOWN_LOCATION, "too many arguments for %%:dumps");
  }

  std::string text;
  if (driver.dump_dir)
    text += std::string(" -dumpdir ") + quote_spec_arg(driver.dump_dir);

  const spec_state &s = interpreter;
  std::string input_suffix;
  if (s.cur_base && s.cur_base_full_len > s.cur_base_len)
    input_suffix.assign(s.cur_base + s.cur_base_len, size_t(s.cur_base_full_len - s.cur_base_len));
  if (!ext)
    ext = input_suffix.c_str();

  // The base and the part of it that is already an extension (npos: none).
  std::string base;
  size_t own_ext = std::string::npos;
  if (driver.dump_base && driver.dump_base[0]) {
    base = driver.dump_base;
    own_ext = std::min(base.size(), size_t(driver.out_base_length));
  } else if (driver.out_base_length) {
    base.assign(driver.out_base, size_t(driver.out_base_length));
  } else if (s.cur_base) {
    base.assign(s.cur_base, size_t(s.cur_base_full_len));
    own_ext = size_t(s.cur_base_len);
  }
  bool second_run = driver.compare_debug_mode < 0;
  if (second_run || own_ext == std::string::npos || base.compare(own_ext, std::string::npos, ext)) {
    if (own_ext != std::string::npos)
      base.resize(own_ext);
    if (second_run)
      base += ".gk";
    base += ext;
  }

  text += std::string(" -dumpbase ") + quote_spec_arg(base.c_str());
  if (ext[0])
    text += std::string(" -dumpbase-ext ") + quote_spec_arg(ext);
  return xstrdup(text.c_str());
}

// A decimal number at the start of word; anything else cannot come from the
// built-in specs.
static long leading_number(const char *word) {
  char *end;
  long value = strtol(word, &end, 10);
  if (end == word)
    return LONG_MIN;
  return value;
}

const char *greater_than_spec_func(int argc, const char **argv) {
  if (argc == 1)
    return nullptr;
  if (argc == 0)
    quarn_unreachable();
  long left = leading_number(argv[argc - 2]);
  long right = leading_number(argv[argc - 1]);
  if (left == LONG_MIN || right == LONG_MIN)
    quarn_unreachable();
  return left > right ? "" : nullptr;
}

const char *debug_level_greater_than_spec_func(int argc, const char **argv) {
  if (argc != 1)
    fatal_error(UNKNOWN_LOCATION, "wrong number of arguments to %%:debug-level-gt");
  long level = leading_number(argv[0]);
  if (level == LONG_MIN)
    quarn_unreachable();
  return global_options.debug_level > level ? "" : nullptr;
}

const char *dwarf_version_greater_than_spec_func(int argc, const char **argv) {
  if (argc != 1)
    fatal_error(UNKNOWN_LOCATION, "wrong number of arguments to %%:dwarf-version-gt");
  long version = leading_number(argv[0]);
  if (version == LONG_MIN)
    quarn_unreachable();
  return global_options.dwarf_version > version ? "" : nullptr;
}

// Under a target root the directories are the target's, found below it.
static void add_preinclude_dir(search_path_list *list, const char *dir) {
  if (!target_root) {
    insert_prefix(list, dir, nullptr, PRIO_STANDARD, 0, 0);
    return;
  }
  std::string rooted = target_root;
  if (!rooted.empty() && rooted.back() == '/')
    rooted.pop_back();
  if (target_sysroot_hdrs_suffix)
    rooted += target_sysroot_hdrs_suffix;
  rooted += dir;
  insert_prefix(list, rooted.c_str(), "QUARN", PRIO_STANDARD, 0, 0);
}

static void free_prefix_list(search_path_list *list) {
  for (search_path_entry *entry = list->first_entry, *next; entry; entry = next) {
    next = entry->next;
    free(entry->prefix);
    free(entry);
  }
}

const char *fortran_preinclude_file_spec_func(int argc, const char **argv) {
  if (argc != 3)
    return nullptr;
  search_path_list preinclude;
  preinclude.label = "preinclude";
  add_preinclude_dir(&preinclude, argv[2]);
  add_preinclude_dir(&preinclude, STANDARD_EXEC_PREFIX TARGET_VERSION_DIR TOOLDIR_BASE_PREFIX
                                  QUARN_TARGET "/include/finclude/");
  add_preinclude_dir(&preinclude, "/usr/include/finclude/");

  char *found = find_in_prefixes(&header_prefixes, argv[1], LOOKUP_READ, false);
  if (!found)
    found = find_in_prefixes(&preinclude, argv[1], LOOKUP_READ, false);
  free_prefix_list(&preinclude);
  return found ? concat(argv[0], found) : nullptr;
}
