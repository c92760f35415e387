// The informational phase on hand-made state: which query answers, whether the
// run stops, the configured (not relocated) install line, the answers that
// read multilib and sysroot results, and the translated texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <unistd.h>

#include "common/child_process.h"
#include "common/test_catalogue.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "driver/driver_state.h"
#include "driver/queries.h"
#include "options/opts.h"
#include "quarn-config.h"
#include "specs/spec_store.h"
#include "support/file_lookup.h"
#include "support/prefix_list.h"

namespace {

const char configuration_block[] = "Target: aarch64-rivet-freebsd13.4\n"
                                   "Configured with: " QUARN_CONFIGURE_ARGS "\n"
                                   "Thread model: posix\n"
                                   "Supported LTO compression algorithms: zlib\n"
                                   "quarn version " QUARN_VERSION_STRING " " QUARN_PKGVERSION "\n";

// Earlier tests of this program may have left state behind in the process
// the child is forked from.
void forget_earlier_state() {
  driver_state_reset();
  global_options = options_record();
  selected_multilib = multilib_dirs();
  target_root = target_root_suffix = target_sysroot_hdrs_suffix = nullptr;
  program_prefixes = search_path_list{.label = "exec"};
  library_prefixes = search_path_list{.label = "startfile"};
  spec_list = nullptr;
}

// Runs the phase in a child after SETUP, with standard output joined to
// standard error so that the order of the two shows; the result is marked
// "<stop>" or "<go on>" at the end.
child_result answer_in_child(const std::function<void()> &setup) {
  return run_in_child([&] {
    dup2(STDERR_FILENO, STDOUT_FILENO);
    setenv("LC_ALL", "C", 1);
    init_translation();
    diag_context_init(global_dc);
    progname = "quarn++";
    forget_earlier_state();
    setup();
    bool stop = answer_informational_queries();
    printf("<%s>\n", stop ? "stop" : "go on");
  });
}

TEST(informational_queries, answer_and_stop_or_go_on) {
  struct {
    const char *what;
    std::function<void()> setup;
    std::string want;
  } const cases[] = {
      {"nothing asked", [] {}, "<go on>\n"},
      {"-v without inputs", [] { global_options.verbose_flag = 1; },
       std::string(configuration_block) + "<stop>\n"},
      {"-v with an input",
       [] {
         global_options.verbose_flag = 1;
         add_input("x.c", nullptr);
       },
       std::string(configuration_block) + "<go on>\n"},
      // The version text is flushed before the block: a sub-process writing
      // to the same place must come after it.
      {"--version -v",
       [] {
         global_options.verbose_flag = 1;
         driver.print_version = true;
         add_input("help-dummy", "c");
       },
       "quarn++ " QUARN_PKGVERSION QUARN_VERSION_STRING "\n"
       "Copyright (C) 2022 The Quarn Project\n"
       "This is free software; the copying conditions are in the source.  There is\n"
       "NO warranty, not even for MERCHANTABILITY or FITNESS FOR A PARTICULAR PURPOSE.\n\n\n" +
           std::string(configuration_block) + "<go on>\n"},
      {"configured installation",
       [] {
         global_options.print_search_dirs = 1;
         insert_prefix(&program_prefixes, "/b/", nullptr, PRIO_OPTION, 0, 0);
         insert_prefix(&library_prefixes, "/l/", nullptr, PRIO_STANDARD, 0, 1);
       },
       "install: /usr/local/pell12/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/\n"
       "programs: =/b/aarch64-rivet-freebsd13.4/12.3.0/:/b/\n"
       "libraries: =/l/aarch64-rivet-freebsd13.4/12.3.0/:/l/\n<stop>\n"},
      {"relocated installation",
       [] {
         global_options.print_search_dirs = 1;
         driver.exec_root = "/opt/q/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/";
       },
       "install: /opt/q/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/\nprograms: =\nlibraries: =\n"
       "<stop>\n"},
      {"sysroot with suffix",
       [] {
         global_options.print_sysroot = 1;
         target_root = "/r";
         target_root_suffix = "/s";
       },
       "/r/s\n<stop>\n"},
      {"sysroot without suffix",
       [] {
         global_options.print_sysroot = 1;
         target_root = "/r";
       },
       "/r\n<stop>\n"},
      {"no sysroot", [] { global_options.print_sysroot = 1; }, "<stop>\n"},
      {"selected directories",
       [] {
         global_options.print_multi_directory = 1;
         selected_multilib = {"ilp32", "../lib32", "aarch64-ilp32"};
       },
       "ilp32\n<stop>\n"},
      {"selected OS directory",
       [] {
         global_options.print_multi_os_directory = 1;
         selected_multilib = {"ilp32", "../lib32", "aarch64-ilp32"};
       },
       "../lib32\n<stop>\n"},
      {"selected multiarch directory",
       [] {
         global_options.print_multiarch = 1;
         selected_multilib = {"ilp32", "../lib32", "aarch64-ilp32"};
       },
       "aarch64-ilp32\n<stop>\n"},
      {"headers suffix",
       [] {
         global_options.print_sysroot_headers_suffix = 1;
         define_spec("sysroot_hdrs_suffix_spec", "/h", false);
         target_sysroot_hdrs_suffix = "/h";
       },
       "/h\n<stop>\n"},
      {"headers suffix spec without a word",
       [] {
         global_options.print_sysroot_headers_suffix = 1;
         define_spec("sysroot_hdrs_suffix_spec", "%{nothing:/h}", false);
       },
       "\n<stop>\n"},
  };
  for (const auto &c : cases) {
    child_result child = answer_in_child(c.setup);
    EXPECT_TRUE(child.exited && child.status == 0) << c.what;
    EXPECT_EQ(child.err, c.want) << c.what;
  }
}

TEST(informational_queries, headers_suffix_not_configured) {
  const char *const texts[] = {nullptr, ""};
  for (const char *text : texts) {
    child_result child = answer_in_child([text] {
      global_options.print_sysroot_headers_suffix = 1;
      if (text)
        define_spec("sysroot_hdrs_suffix_spec", text, false);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.err, "quarn++: fatal error: not configured with sysroot headers suffix\n"
                         "compilation terminated.\n");
  }
}

TEST(informational_queries, texts_go_through_the_catalogue) {
  char dir[] = "/tmp/quarn-query-catalogue-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  ASSERT_TRUE(write_test_catalogue(
      dir, {{"", "Content-Type: text/plain; charset=UTF-8\n"},
            {"install: %s%s\n", "Ort: %s%s\n"},
            {"programs: %s\n", "Programme: %s\n"},
            {"libraries: %s\n", "Bibliotheken: %s\n"},
            {"Usage: %s [options] file...\n", "Aufruf: %s [Optionen] Datei...\n"},
            {"\nFor bug reporting instructions, please see:\n", "\nFehler melden:\n"},
            {"%s %s%s\n", "%s, Ausgabe %s%s\n"},
            {"(C)", "\xc2\xa9"},
            {"Target: %s\n", "Ziel: %s\n"}}));
  struct {
    const char *what;
    std::function<void()> setup;
    std::string head, tail;
  } const cases[] = {
      {"search directories", [] { global_options.print_search_dirs = 1; },
       "Ort: /usr/local/pell12/lib/quarn/aarch64-rivet-freebsd13.4/12.3.0/\nProgramme: =\n"
       "Bibliotheken: =\n<stop>\n",
       ""},
      {"help", [] { driver.print_help = true; }, "Aufruf: quarn++ [Optionen] Datei...\nOptions:\n",
       "\nFehler melden:\n" QUARN_BUGURL ".\n<stop>\n"},
      {"version", [] { driver.print_version = true; },
       "quarn++, Ausgabe " QUARN_PKGVERSION QUARN_VERSION_STRING
       "\nCopyright \xc2\xa9 2022 The Quarn Project\n",
       "\n\n<stop>\n"},
      {"configuration", [] { global_options.verbose_flag = 1; },
       "Ziel: aarch64-rivet-freebsd13.4\nConfigured with: ", "<stop>\n"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      dup2(STDERR_FILENO, STDOUT_FILENO);
      setenv("LC_ALL", "C.UTF-8", 1);
      unsetenv("LANGUAGE");
      init_translation();
      bindtextdomain("quarn", dir);
      diag_context_init(global_dc);
      progname = "quarn++";
      forget_earlier_state();
      c.setup();
      printf("<%s>\n", answer_informational_queries() ? "stop" : "go on");
    });
    EXPECT_TRUE(child.exited && child.status == 0) << c.what;
    EXPECT_EQ(child.err.substr(0, c.head.size()), c.head) << c.what;
    ASSERT_GE(child.err.size(), c.tail.size()) << c.what;
    EXPECT_EQ(child.err.substr(child.err.size() - c.tail.size()), c.tail) << c.what;
  }
  std::filesystem::remove_all(dir);
}

} // namespace
