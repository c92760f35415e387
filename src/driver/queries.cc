#include "driver/queries.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "driver/driver_state.h"
#include "driver/prepare_specs.h"
#include "options/opts.h"
#include "quarn-config.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/build_configuration.h"
#include "support/file_lookup.h"
#include "support/multilib.h"
#include "support/prefix_list.h"

namespace {

enum query_answer {
  QUERY_NOT_ASKED,
  // Answered; the run ends here.
  QUERY_STOP,
  // Answered (or looked at), and the phase goes on down its list.
  QUERY_GO_ON
};

// The linker the suite was configured with; -fuse-ld= variants sit next to it.
const char configured_linker[] = "/usr/local/bin/ld";

// One line: TEXT, or OTHERWISE when there is none.
void print_line_or(const char *text, const char *otherwise) {
  printf("%s\n", text ? text : otherwise);
}

// A found path, or the name as given: build scripts then see what was asked.
void print_found_or_name(char *found, const char *name) {
  print_line_or(found, name);
  free(found);
}

query_answer answer_search_dirs() {
  if (!global_options.print_search_dirs)
    return QUERY_NOT_ASKED;
  // After set-up a relocated root already ends in the version directory.
  if (driver.exec_root)
    printf(_("install: %s%s\n"), driver.exec_root, "");
  else
    printf(_("install: %s%s\n"), STANDARD_EXEC_PREFIX, version_dir_suffix);
  printf(_("programs: %s\n"), search_list_text(&program_prefixes, "", false, false));
  printf(_("libraries: %s\n"), search_list_text(&library_prefixes, "", false, true));
  return QUERY_STOP;
}

query_answer answer_file_name() {
  const char *name = global_options.print_file_name;
  if (!name)
    return QUERY_NOT_ASKED;
  print_found_or_name(find_in_prefixes(&library_prefixes, name, LOOKUP_READ, true), name);
  return QUERY_STOP;
}

query_answer answer_prog_name() {
  const char *name = global_options.print_prog_name;
  if (!name)
    return QUERY_NOT_ASKED;
  if (driver.linker_suffix && strcmp(name, "ld") == 0) {
    char *configured = concat(configured_linker, driver.linker_suffix);
    if (access(configured, X_OK) == 0) {
      printf("%s\n", configured);
      free(configured);
      return QUERY_STOP;
    }
    free(configured);
    name = concat("ld", driver.linker_suffix);
  }
  print_found_or_name(find_program(name), name);
  return QUERY_STOP;
}

query_answer answer_multi_lib() {
  if (!global_options.print_multi_lib)
    return QUERY_NOT_ASKED;
  multilib_texts texts = current_multilib_texts();
  print_multilib_table(&texts);
  return QUERY_STOP;
}

query_answer answer_multi_directory() {
  if (!global_options.print_multi_directory)
    return QUERY_NOT_ASKED;
  print_line_or(selected_multilib.multilib_subdir, ".");
  return QUERY_STOP;
}

query_answer answer_multiarch() {
  if (!global_options.print_multiarch)
    return QUERY_NOT_ASKED;
  print_line_or(selected_multilib.multiarch_subdir, "");
  return QUERY_STOP;
}

query_answer answer_sysroot() {
  if (!global_options.print_sysroot)
    return QUERY_NOT_ASKED;
  if (target_root)
    printf("%s%s\n", target_root, target_root_suffix ? target_root_suffix : "");
  return QUERY_STOP;
}

query_answer answer_multi_os_directory() {
  if (!global_options.print_multi_os_directory)
    return QUERY_NOT_ASKED;
  print_line_or(selected_multilib.multilib_os_subdir, ".");
  return QUERY_STOP;
}

query_answer answer_sysroot_headers_suffix() {
  if (!global_options.print_sysroot_headers_suffix)
    return QUERY_NOT_ASKED;
  static const char spec_name[] = "sysroot_hdrs_suffix_spec";
  const char *spec = spec_text(spec_name, sizeof spec_name - 1);
  // The failure is the answer: only one set of headers exists.
  if (!spec || !*spec)
    fatal_error(UNKNOWN_LOCATION, "not configured with sysroot headers suffix");
  print_line_or(target_sysroot_hdrs_suffix, "");
  return QUERY_STOP;
}

enum help_line_flags {
  HELP_PLAIN = 0,
  // Has one %s for the program name.
  HELP_NAMED = 1,
  // Dropped under -v, where the sub-processes' options follow anyway.
  HELP_NOT_VERBOSE = 2
};

struct help_line {
  const char *text;
  unsigned flags;
};

const help_line help_lines[] = {
    {N_("Usage: %s [options] file...\n"), HELP_NAMED},
    {N_("Options:\n"), HELP_PLAIN},
    {N_("  -pass-exit-codes         Exit with highest error code from a phase.\n"), HELP_PLAIN},
    {N_("  --help                   Display this information.\n"), HELP_PLAIN},
    {N_("  --target-help            Display target specific command line options (including "
        "assembler and linker options).\n"),
     HELP_PLAIN},
    {N_("  --help={common|optimizers|params|target|warnings|[^]{joined|separate|undocumented}}"
        "[,...].\n"),
     HELP_PLAIN},
    {N_("                           Display specific types of command line options.\n"),
     HELP_PLAIN},
    {N_("  (Use '-v --help' to display command line options of sub-processes).\n"),
     HELP_NOT_VERBOSE},
    {N_("  --version                Display compiler version information.\n"), HELP_PLAIN},
    {N_("  -dumpspecs               Display all of the built in spec strings.\n"), HELP_PLAIN},
    {N_("  -dumpversion             Display the version of the compiler.\n"), HELP_PLAIN},
    {N_("  -dumpmachine             Display the compiler's target processor.\n"), HELP_PLAIN},
    {N_("  -foffload=<targets>      Specify offloading targets.\n"), HELP_PLAIN},
    {N_("  -print-search-dirs       Display the directories in the compiler's search path.\n"),
     HELP_PLAIN},
    {N_("  -print-libquarn-file-name  Display the name of the compiler's companion library.\n"),
     HELP_PLAIN},
    {N_("  -print-file-name=<lib>   Display the full path to library <lib>.\n"), HELP_PLAIN},
    {N_("  -print-prog-name=<prog>  Display the full path to compiler component <prog>.\n"),
     HELP_PLAIN},
    {N_("  -print-multiarch         Display the target's normalized BRASK triplet, used as\n"
        "                           a component in the library path.\n"),
     HELP_PLAIN},
    {N_("  -print-multi-directory   Display the root directory for versions of libquarn.\n"),
     HELP_PLAIN},
    {N_("  -print-multi-lib         Display the mapping between command line options and\n"
        "                           multiple library search directories.\n"),
     HELP_PLAIN},
    {N_("  -print-multi-os-directory Display the relative path to OS libraries.\n"), HELP_PLAIN},
    {N_("  -print-sysroot           Display the target libraries directory.\n"), HELP_PLAIN},
    {N_("  -print-sysroot-headers-suffix Display the sysroot suffix used to find headers.\n"),
     HELP_PLAIN},
    {N_("  -Wa,<options>            Pass comma-separated <options> on to the assembler.\n"),
     HELP_PLAIN},
    {N_("  -Wp,<options>            Pass comma-separated <options> on to the preprocessor.\n"),
     HELP_PLAIN},
    {N_("  -Wl,<options>            Pass comma-separated <options> on to the linker.\n"),
     HELP_PLAIN},
    {N_("  -Xassembler <arg>        Pass <arg> on to the assembler.\n"), HELP_PLAIN},
    {N_("  -Xpreprocessor <arg>     Pass <arg> on to the preprocessor.\n"), HELP_PLAIN},
    {N_("  -Xlinker <arg>           Pass <arg> on to the linker.\n"), HELP_PLAIN},
    {N_("  -save-temps              Do not delete intermediate files.\n"), HELP_PLAIN},
    {N_("  -save-temps=<arg>        Do not delete intermediate files.\n"), HELP_PLAIN},
    {N_("  -no-canonical-prefixes   Do not canonicalize paths when building relative\n"
        "                           prefixes to other quarn components.\n"),
     HELP_PLAIN},
    {N_("  -pipe                    Use pipes rather than intermediate files.\n"), HELP_PLAIN},
    {N_("  -time                    Time the execution of each subprocess.\n"), HELP_PLAIN},
    {N_("  -specs=<file>            Override built-in specs with the contents of <file>.\n"),
     HELP_PLAIN},
    {N_("  -std=<standard>          Assume that the input sources are for <standard>.\n"),
     HELP_PLAIN},
    {N_("  --sysroot=<directory>    Use <directory> as the root directory for headers\n"
        "                           and libraries.\n"),
     HELP_PLAIN},
    {N_("  -B <directory>           Add <directory> to the compiler's search paths.\n"),
     HELP_PLAIN},
    {N_("  -v                       Display the programs invoked by the compiler.\n"), HELP_PLAIN},
    {N_("  -###                     Like -v but options quoted and commands not executed.\n"),
     HELP_PLAIN},
    {N_("  -E                       Preprocess only; do not compile, assemble or link.\n"),
     HELP_PLAIN},
    {N_("  -S                       Compile only; do not assemble or link.\n"), HELP_PLAIN},
    {N_("  -c                       Compile and assemble, but do not link.\n"), HELP_PLAIN},
    {N_("  -o <file>                Place the output into <file>.\n"), HELP_PLAIN},
    {N_("  -pie                     Create a dynamically linked position independent\n"
        "                           executable.\n"),
     HELP_PLAIN},
    {N_("  -shared                  Create a shared library.\n"), HELP_PLAIN},
    {N_("  -x <language>            Specify the language of the following input files.\n"
        "                           Permissible languages include: c c++ assembler none\n"
        "                           'none' means revert to the default behavior of\n"
        "                           guessing the language based on the file's extension.\n"),
     HELP_PLAIN},
    {N_("\nOptions starting with -g, -f, -m, -O, -W, or --param are automatically\n"
        " passed on to the various sub-processes invoked by %s.  In order to pass\n"
        " other options on to these processes the -W<letter> options must be used.\n"),
     HELP_NAMED},
};

void print_help_text(bool verbose) {
  for (const help_line &line : help_lines) {
    if (verbose && (line.flags & HELP_NOT_VERBOSE))
      continue;
    if (line.flags & HELP_NAMED)
      printf(_(line.text), progname);
    else
      fputs(_(line.text), stdout);
  }
}

// Under -v the request goes on to the sub-processes through the dummy input;
// what they print must come after what is buffered here.
query_answer go_on_to_subprocesses() {
  fputs("\n", stdout);
  fflush(stdout);
  return QUERY_GO_ON;
}

query_answer answer_help() {
  if (!driver.print_help)
    return QUERY_NOT_ASKED;
  bool verbose = global_options.verbose_flag != 0;
  print_help_text(verbose);
  if (verbose)
    return go_on_to_subprocesses();
  fputs(_("\nFor bug reporting instructions, please see:\n"), stdout);
  printf("%s.\n", QUARN_BUGURL);
  return QUERY_STOP;
}

query_answer answer_version() {
  if (!driver.print_version)
    return QUERY_NOT_ASKED;
  printf(_("%s %s%s\n"), progname, QUARN_PKGVERSION, QUARN_VERSION_STRING);
  printf("Copyright %s 2022 The Quarn Project\n", _("(C)"));
  fputs(_("This is free software; the copying conditions are in the source.  There is\n"
          "NO warranty, not even for MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.\n\n"),
        stdout);
  if (global_options.verbose_flag)
    return go_on_to_subprocesses();
  return QUERY_STOP;
}

query_answer answer_configuration() {
  if (!global_options.verbose_flag)
    return QUERY_NOT_ASKED;
  print_build_configuration(stderr);
  return driver.inputs.count == 0 ? QUERY_STOP : QUERY_GO_ON;
}

// Tried in this order; the first that answers usually ends the phase.
query_answer (*const queries[])() = {
    answer_search_dirs,
    answer_file_name,
    answer_prog_name,
    answer_multi_lib,
    answer_multi_directory,
    answer_multiarch,
    answer_sysroot,
    answer_multi_os_directory,
    answer_sysroot_headers_suffix,
    answer_help,
    answer_version,
    answer_configuration,
};

} // namespace

bool answer_informational_queries() {
  for (auto *answer : queries)
    if (answer() == QUERY_STOP)
      return true;
  return false;
}
