// Spec functions: the call protocol through the interpreter, and each
// function of the table on its own words.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "common/child_process.h"
#include "interp_test_support.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "options/opts.h"
#include "specs/file_names.h"
#include "specs/spec_functions.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/prefix_list.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::StartsWith;

namespace {

void reset_world() {
  reset_spec_world();
  compare_debug_dump_names[0] = compare_debug_dump_names[1] = nullptr;
  compare_debug_seed = nullptr;
}

// Runs body in a fresh child; standard output joins standard error.
child_result in_child(const std::function<void()> &body) {
  return run_joined_in_child(reset_world, body);
}

const char *call(spec_function_handler handler, const words &argv) {
  std::vector<const char *> texts;
  for (const std::string &word : argv)
    texts.push_back(xstrdup(word.c_str()));
  texts.push_back(nullptr);
  return handler(int(argv.size()), texts.data());
}

// "(none)" for no text, so that none and "" differ in expectations.
std::string shown(const char *text) { return text ? std::string("[") + text + "]" : "(none)"; }

class scratch_dir {
public:
  scratch_dir() {
    char pattern[] = "/tmp/quarn-specfn-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~scratch_dir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  std::string file(const std::string &name, const std::string &text = "x") const {
    std::string path = path_ + "/" + name;
    std::system(("mkdir -p \"$(dirname '" + path + "')\"").c_str());
    FILE *f = fopen(path.c_str(), "w");
    fputs(text.c_str(), f);
    fclose(f);
    return path;
  }
  const std::string &path() const { return path_; }

private:
  std::string path_;
};

// ---- Call protocol ----

TEST(spec_function_call, results_are_interpreted_where_the_call_stands) {
  setenv("QUARN_TEST_VALUE", "/home/u", 1);
  const struct {
    const char *text;
    std::vector<std::string> expected;
  } cases[] = {
      {"%:getenv(QUARN_TEST_VALUE /x)", {"/home/u/x"}},
      {"a %:if-exists(relative/file) b", {"a", "b"}},
      {"%:if-exists-else(relative/file fallback)", {"fallback"}},
      // Characters pending before the call stay in front of the result, and
      // the result's last argument ends with it.
      {"-march=%:if-exists-else(rel armv8-a)", {"-march=armv8-a"}},
      {"-march=%:if-exists-else(rel armv8-a)x", {"-march=armv8-a", "x"}},
      // The inner call's result is one of the outer call's words.
      {"%:if-exists-else(%:if-exists-else(a b) c)", {"c"}},
      // Parentheses nest inside the argument text.
      {"%:pass-through-libs(-l(x) y.a)",
       {"-plugin-opt=-pass-through=-l(x)", "-plugin-opt=-pass-through=y.a"}},
      // A returned text, even an empty one, makes a brace atom true; it is
      // interpreted where the call stands, there too.
      {"%{%:if-exists-else(a b):T}", {"b", "T"}},
      {"%{%:gt(3 1):T}", {"T"}},
      {"%{%:gt(1 3):T}", {}},
  };
  for (const auto &c : cases) {
    reset_world();
    EXPECT_EQ(expand(c.text), c.expected) << c.text;
    EXPECT_EQ(interpreter.function_depth, 0) << c.text;
  }
  unsetenv("QUARN_TEST_VALUE");
}

TEST(spec_function_call, an_environment_value_stays_literal_text_of_one_argument) {
  reset_world();
  setenv("QUARN_TEST_VALUE", "a %b|c\\d", 1);
  EXPECT_THAT(expand("x %:getenv(QUARN_TEST_VALUE .suffix) y"),
              ElementsAre("x", "a %b|c\\d.suffix", "y"));
  unsetenv("QUARN_TEST_VALUE");
}

TEST(spec_function_call, the_callers_words_and_response_arguments_survive_the_call) {
  reset_world();
  arg_vector_push(&interpreter.command_args, "cmd");
  interpreter.response_file_open = true;
  arg_vector_push(&interpreter.response_args, "earlier");
  ASSERT_EQ(do_spec_1("x %:if-exists-else(rel fb) y ", 0, nullptr), 0);
  // The function saw its own two words (otherwise it returns none), and the
  // caller's response file keeps gathering around the call.
  EXPECT_THAT(built_words(), ElementsAre("cmd"));
  std::vector<std::string> response;
  for (size_t i = 0; i < interpreter.response_args.count; i++)
    response.push_back(interpreter.response_args.items[i]);
  EXPECT_THAT(response, ElementsAre("earlier", "x", "fb", "y"));
  EXPECT_TRUE(interpreter.response_file_open);
}

TEST(spec_function_call, the_soft_match_reaches_the_argument_text) {
  reset_world();
  add_switch("-fabi-version=7");
  terminate_tables();
  EXPECT_THAT(expand("%{fabi-version=*:%:if-exists-else(rel %*)}"), ElementsAre("7"));
}

TEST(spec_function_call, malformed_calls_are_fatal) {
  const struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"%:get env(A B)", "malformed spec function name"},
      {"%:getenv", "no arguments for spec function"},
      {"%:getenv(A (B)", "malformed spec function arguments"},
      {"%:no-such-function(x)", "unknown spec function 'no-such-function'"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] { expand(c.text); });
    EXPECT_TRUE(child.exited) << c.text;
    EXPECT_EQ(child.status, 1) << c.text;
    EXPECT_EQ(child.err, fatal_error_output(c.message)) << c.text;
  }
}

TEST(spec_function_call, an_error_inside_the_arguments_is_fatal_for_the_call) {
  child_result child = in_child([] { expand("%:if-exists(%eboom\n)"); });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, "quarn++: error: boom\n" +
                           fatal_error_output("error in arguments to spec function 'if-exists'"));
}

// ---- getenv and the if-exists family ----

TEST(spec_function_getenv, values_are_escaped_and_missing_ones_depend_on_the_command_line) {
  setenv("QUARN_TEST_VALUE", "/a b", 1);
  unsetenv("QUARN_TEST_UNSET");
  const struct {
    words argv;
    bool undefined_allowed;
    const char *expected;
  } cases[] = {
      {{"QUARN_TEST_VALUE", "/x"}, false, "[\\/\\a\\ \\b/x]"},
      {{"QUARN_TEST_VALUE", ""}, false, "[\\/\\a\\ \\b]"},
      {{"QUARN_TEST_UNSET", "/x"}, true, "[/QUARN_TEST_UNSET]"},
      {{"QUARN_TEST_VALUE"}, false, "(none)"},
      {{"QUARN_TEST_VALUE", "/x", "/y"}, false, "(none)"},
  };
  for (const auto &c : cases) {
    reset_world();
    driver.undefined_variables_allowed = c.undefined_allowed;
    EXPECT_EQ(shown(call(getenv_spec_function, c.argv)), c.expected) << c.argv[0];
  }
  child_result child = in_child([] { call(getenv_spec_function, {"QUARN_TEST_UNSET", "/x"}); });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("environment variable 'QUARN_TEST_UNSET' not defined"));
  unsetenv("QUARN_TEST_VALUE");
}

TEST(spec_function_if_exists, only_readable_absolute_files_count) {
  scratch_dir dir;
  std::string present = dir.file("present.spec");
  std::string missing = dir.path() + "/missing.spec";
  // A relative name that exists in the working directory is still not tested.
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  ASSERT_EQ(chdir(dir.path().c_str()), 0);
  const struct {
    spec_function_handler handler;
    words argv;
    std::string expected;
  } cases[] = {
      {if_exists_spec_function, {present}, "[" + present + "]"},
      {if_exists_spec_function, {missing}, "(none)"},
      {if_exists_spec_function, {"present.spec"}, "(none)"},
      {if_exists_spec_function, {present, "x"}, "(none)"},
      {if_exists_else_spec_function, {present, "else"}, "[" + present + "]"},
      {if_exists_else_spec_function, {missing, "else"}, "[else]"},
      {if_exists_else_spec_function, {"present.spec", "else"}, "[else]"},
      {if_exists_else_spec_function, {present}, "(none)"},
      {if_exists_then_else_spec_function, {present, "then"}, "[then]"},
      {if_exists_then_else_spec_function, {present, "then", "else"}, "[then]"},
      {if_exists_then_else_spec_function, {missing, "then", "else"}, "[else]"},
      {if_exists_then_else_spec_function, {missing, "then"}, "(none)"},
      {if_exists_then_else_spec_function, {present}, "(none)"},
      {if_exists_then_else_spec_function, {present, "a", "b", "c"}, "(none)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(shown(call(c.handler, c.argv)), c.expected) << c.argv[0] << " " << c.argv.size();
  ASSERT_EQ(chdir(cwd), 0);
}

// ---- sanitize ----

TEST(spec_function_sanitize, each_kind_reads_its_sanitizers) {
  const uint32_t address = SANITIZE_ADDRESS | SANITIZE_USER_ADDRESS;
  const uint32_t kernel_address = SANITIZE_ADDRESS | SANITIZE_KERNEL_ADDRESS;
  const uint32_t hwaddress = SANITIZE_HWADDRESS | SANITIZE_USER_HWADDRESS;
  const uint32_t kernel_hwaddress = SANITIZE_HWADDRESS | SANITIZE_KERNEL_HWADDRESS;
  const uint32_t float_divide = 0x8000, bounds_strict = 0x820000, null_check = 0x400;
  const struct {
    uint32_t bits;
    bool trap;
    const char *kind;
    bool expected;
  } cases[] = {
      {address, false, "address", true},
      {kernel_address, false, "address", false},
      {kernel_address, false, "kernel-address", true},
      {hwaddress, false, "hwaddress", true},
      {hwaddress, false, "address", false},
      {kernel_hwaddress, false, "kernel-hwaddress", true},
      {kernel_hwaddress, false, "hwaddress", false},
      {SANITIZE_THREAD, false, "thread", true},
      {0, false, "thread", false},
      {null_check, false, "undefined", true},
      {float_divide, false, "undefined", true},
      {bounds_strict, false, "undefined", true},
      {null_check, true, "undefined", false},
      {SANITIZE_POINTER_COMPARE, false, "undefined", false},
      {SANITIZE_LEAK, false, "leak", true},
      {SANITIZE_LEAK | address, false, "leak", false},
      {SANITIZE_LEAK | kernel_address, false, "leak", false},
      {SANITIZE_LEAK | SANITIZE_THREAD, false, "leak", false},
      {0xFFFFFFFF, false, "memory", false},
  };
  for (const auto &c : cases) {
    reset_world();
    global_options.sanitize = c.bits;
    static_cast<options_record::option_slot *>(
        option_field(OPT_fsanitize_undefined_trap_on_error, &global_options))
        ->i32 = c.trap;
    EXPECT_EQ(shown(call(sanitize_spec_function, {c.kind})), c.expected ? "[]" : "(none)")
        << c.kind << " " << std::hex << c.bits;
  }
  reset_world();
  global_options.sanitize = address;
  EXPECT_EQ(call(sanitize_spec_function, {}), nullptr);
  EXPECT_EQ(call(sanitize_spec_function, {"address", "thread"}), nullptr);
}

// ---- output slots ----

TEST(spec_function_outfile, only_the_input_slots_change) {
  reset_world();
  add_input("a.c", nullptr);
  add_input("b.c", nullptr);
  make_output_slots(3);
  driver.output_files[0] = "a.o";
  driver.output_files[1] = "b.o";
  driver.output_files[2] = "a.o"; // an extra slot of the language driver
  EXPECT_EQ(call(replace_outfile_spec_function, {"a.o", "c.o"}), nullptr);
  EXPECT_STREQ(driver.output_files[0], "c.o");
  EXPECT_STREQ(driver.output_files[1], "b.o");
  EXPECT_STREQ(driver.output_files[2], "a.o");
  EXPECT_EQ(call(remove_outfile_spec_function, {"b.o"}), nullptr);
  EXPECT_EQ(driver.output_files[1], nullptr);
  EXPECT_EQ(call(remove_outfile_spec_function, {"a.o"}), nullptr);
  EXPECT_STREQ(driver.output_files[0], "c.o");
  EXPECT_STREQ(driver.output_files[2], "a.o");
}

// Functions for which a wrong word count cannot come from a spec.
TEST(spec_function_internal_errors, name_the_function) {
  const struct {
    spec_function_handler handler;
    words argv;
    const char *function;
  } cases[] = {
      {replace_outfile_spec_function, {"a"}, "replace_outfile_spec_function"},
      {remove_outfile_spec_function, {}, "remove_outfile_spec_function"},
      {include_spec_function, {"a", "b"}, "include_spec_function"},
      {find_file_spec_function, {}, "find_file_spec_function"},
      {find_plugindir_spec_function, {"x"}, "find_plugindir_spec_function"},
      {greater_than_spec_func, {}, "greater_than_spec_func"},
      {greater_than_spec_func, {"x", "1"}, "greater_than_spec_func"},
      {debug_level_greater_than_spec_func, {"x"}, "debug_level_greater_than_spec_func"},
      {dwarf_version_greater_than_spec_func, {"-"}, "dwarf_version_greater_than_spec_func"},
      {version_compare_spec_function, {"", "1", "x", "y"}, "version_compare_spec_function"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] { call(c.handler, c.argv); });
    EXPECT_TRUE(child.exited) << c.function;
    EXPECT_EQ(child.status, 4) << c.function;
    EXPECT_THAT(child.err,
                StartsWith(std::string("quarn++: internal compiler error: in ") + c.function + ", at "))
        << c.function;
  }
}

// ---- version-compare ----

TEST(spec_function_version_compare, operators_against_the_last_live_switch) {
  const struct {
    std::vector<std::string> switches;
    words argv;
    const char *expected;
  } cases[] = {
      {{"-fabi-version=10"}, {">=", "10", "fabi-version=", "-lfoo"}, "[-lfoo]"},
      {{"-fabi-version=9"}, {">=", "10", "fabi-version=", "-lfoo"}, "(none)"},
      {{"-fabi-version=12", "-fabi-version=9"}, {">=", "10", "fabi-version=", "R"}, "(none)"},
      {{}, {">=", "10", "fabi-version=", "R"}, "(none)"},
      {{}, {"!<", "10", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=9"}, {"!<", "10", "fabi-version=", "R"}, "(none)"},
      {{"-fabi-version=1.10"}, {"!<", "1.9", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=9"}, {"<", "10", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=10"}, {"<", "10", "fabi-version=", "R"}, "(none)"},
      {{}, {"<", "10", "fabi-version=", "R"}, "[R]"},
      {{}, {"!>", "10", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=11"}, {"!>", "10", "fabi-version=", "R"}, "(none)"},
      {{"-fabi-version=5"}, {"><", "5", "7", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=7"}, {"><", "5", "7", "fabi-version=", "R"}, "(none)"},
      {{}, {"><", "5", "7", "fabi-version=", "R"}, "(none)"},
      {{"-fabi-version=4"}, {"<>", "5", "7", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=7"}, {"<>", "5", "7", "fabi-version=", "R"}, "[R]"},
      {{"-fabi-version=6"}, {"<>", "5", "7", "fabi-version=", "R"}, "(none)"},
      {{}, {"<>", "5", "7", "fabi-version=", "R"}, "[R]"},
  };
  for (const auto &c : cases) {
    reset_world();
    for (const std::string &sw : c.switches)
      add_switch(sw);
    terminate_tables();
    EXPECT_EQ(shown(call(version_compare_spec_function, c.argv)), c.expected)
        << c.argv[0] << " " << c.argv[1] << " with " << c.switches.size() << " switches";
  }
}

TEST(spec_function_version_compare, bad_calls_are_fatal) {
  const struct {
    std::vector<std::string> switches;
    words argv;
    const char *message;
  } cases[] = {
      {{}, {">=", "1"}, "too few arguments to %:version-compare"},
      // Three or more words that do not fit the operator, too few included.
      {{}, {"><", "1", "s", "R"}, "too many arguments to %:version-compare"},
      {{}, {">=", "1", "s"}, "too many arguments to %:version-compare"},
      {{}, {">=", "1", "2", "s", "R"}, "too many arguments to %:version-compare"},
      {{}, {"==", "1", "s", "R"}, "unknown operator '==' in %:version-compare"},
      {{"-fabi-version=10.05"}, {">=", "10", "fabi-version=", "R"},
       "invalid version number '10.05'"},
      {{"-fabi-version=10"}, {">=", "1.", "fabi-version=", "R"}, "invalid version number '1.'"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] {
      for (const std::string &sw : c.switches)
        add_switch(sw);
      terminate_tables();
      call(version_compare_spec_function, c.argv);
    });
    EXPECT_EQ(child.status, 1) << c.message;
    EXPECT_EQ(child.err, fatal_error_output(c.message));
  }
}

TEST(spec_function_version_compare, versions_compare_number_by_number) {
  const struct {
    const char *a, *b;
    int expected;
  } cases[] = {
      {"10", "9", 1}, {"1.2", "1.10", -1}, {"3.0", "3.0", 0}, {"0", "0.1", -1}, {"2", "10.1", -1},
  };
  for (const auto &c : cases)
    EXPECT_EQ(compare_version_strings(c.a, c.b), c.expected) << c.a << " " << c.b;
}

// ---- files along the library prefixes ----

TEST(spec_function_find, files_along_the_library_prefixes) {
  scratch_dir dir;
  std::string found = dir.file("lib/libx.spec");
  std::string plugin = dir.file("lib/plugin/keep");
  child_result child = in_child([&] {
    insert_prefix(&library_prefixes, (dir.path() + "/lib/").c_str(), nullptr, PRIO_OPTION, 0, 0);
    fprintf(stderr, "%s\n", call(find_file_spec_function, {"libx.spec"}));
    fprintf(stderr, "%s\n", call(find_file_spec_function, {"liby.spec"}));
    fprintf(stderr, "%s\n", call(find_file_spec_function, {found}));
    fprintf(stderr, "%s\n", call(find_plugindir_spec_function, {}));
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, found + "\nliby.spec\n" + found + "\n-iplugindir=" + dir.path() +
                           "/lib/plugin\n");
  child = in_child([] { fprintf(stderr, "%s\n", call(find_plugindir_spec_function, {})); });
  EXPECT_EQ(child.err, "-iplugindir=plugin\n");
}

TEST(spec_function_fortran_preinclude, header_prefixes_then_the_given_directory) {
  scratch_dir dir;
  std::string header = dir.file("inc/omp_lib.h");
  std::string rooted = dir.file("root/sub/inc/omp_lib.h");
  child_result child = in_child([&] {
    std::string inc = dir.path() + "/inc/";
    fprintf(stderr, "%s\n", shown(call(fortran_preinclude_file_spec_func,
                                       {"-fpre-include=", "omp_lib.h", inc})).c_str());
    fprintf(stderr, "%s\n", shown(call(fortran_preinclude_file_spec_func,
                                       {"-fpre-include=", "none.h", inc})).c_str());
    fprintf(stderr, "%s\n",
            shown(call(fortran_preinclude_file_spec_func, {"-fpre-include=", "omp_lib.h"})).c_str());
    // Under a target root the directory is looked for below it.
    std::string root = dir.path() + "/root/";
    target_root = root.c_str();
    target_sysroot_hdrs_suffix = "/sub";
    fprintf(stderr, "%s\n", shown(call(fortran_preinclude_file_spec_func,
                                       {"-fpre-include=", "omp_lib.h", "/inc/"})).c_str());
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "[-fpre-include=" + header + "]\n(none)\n(none)\n[-fpre-include=" +
                           rooted + "]\n");
}

// ---- printed text ----

TEST(spec_function_print_asm_header, prints_the_assembler_help_heading) {
  child_result child = in_child([] {
    if (call(print_asm_header_spec_function, {}))
      fputs("(a text came back)\n", stderr);
  });
  EXPECT_EQ(child.err, "Assembler options\n=================\n\n"
                       "Use \"-Wa,OPTION\" to pass \"OPTION\" to the assembler.\n\n");
}

// ---- compare-debug ----

TEST(spec_function_compare_debug, the_dump_option_and_the_shared_seed) {
  const char seed_start[] = "%{!frandom-seed=*:-frandom-seed=0x";
  struct outcome {
    std::string result, first, second;
  };
  auto run_case = [](int mode, const std::vector<std::string> &switches, const char *seed) {
    reset_world();
    for (const std::string &sw : switches)
      add_switch(sw);
    terminate_tables();
    select_input("dir/a b.c");
    driver.compare_debug_mode = mode;
    compare_debug_seed = seed;
    outcome o;
    o.result = shown(call(compare_debug_dump_opt_spec_function, {}));
    o.first = shown(compare_debug_dump_names[0]);
    o.second = shown(compare_debug_dump_names[1]);
    return o;
  };

  outcome off = run_case(0, {}, nullptr);
  EXPECT_EQ(off.result, "(none)");
  EXPECT_EQ(off.first, "(none)");
  EXPECT_EQ(run_case(0, {"-fdump-final-insns=x.gkd"}, nullptr).result, "(none)");

  // A named dump: no option of its own, only the seed.
  outcome named = run_case(1, {"-fdump-final-insns=x.gkd"}, nullptr);
  EXPECT_THAT(named.result, StartsWith(std::string("[") + seed_start));
  EXPECT_EQ(named.result.substr(named.result.size() - 3), "} ]");
  EXPECT_EQ(named.first, "[x.gkd]");

  // "." asks for the input's own name, even without compare-debug mode.
  outcome dot = run_case(0, {"-fdump-final-insns=."}, nullptr);
  EXPECT_THAT(dot.result, StartsWith(std::string("[") + seed_start));
  EXPECT_THAT(dot.result, testing::EndsWith("} -fdump-final-insns=a\\ b.c.gkd]"));
  EXPECT_EQ(dot.first, "[a b.c.gkd]");

  // The second run names its dump apart and takes the first run's seed once.
  outcome second = run_case(-1, {"-fdump-final-insns=."}, "0x1234");
  EXPECT_EQ(second.result, "[%{!frandom-seed=*:-frandom-seed=0x1234} "
                           "-fdump-final-insns=a\\ b.gk.c.gkd]");
  EXPECT_EQ(second.second, "[a b.gk.c.gkd]");
  EXPECT_EQ(second.first, "(none)");
  EXPECT_EQ(compare_debug_seed, nullptr);
  EXPECT_EQ(shown(call(compare_debug_dump_opt_spec_function, {})),
            "[-fdump-final-insns=a\\ b.gk.c.gkd]");

  // Each first run makes a new seed.
  run_case(1, {"-fdump-final-insns=x.gkd"}, nullptr);
  std::string seed1 = compare_debug_seed;
  call(compare_debug_dump_opt_spec_function, {});
  EXPECT_THAT(seed1, StartsWith("0x"));
  EXPECT_THAT(compare_debug_seed, StartsWith("0x"));
  EXPECT_NE(seed1, compare_debug_seed);
}

TEST(spec_function_compare_debug, self_options_only_for_the_second_run) {
  reset_world();
  driver.compare_debug_option = "-gtoggle";
  driver.compare_debug_mode = -1;
  EXPECT_EQ(shown(call(compare_debug_self_opt_spec_function, {})),
            "[%<o %<MD %<MMD %<MF* %<MG %<MP %<MQ* %<MT* %<fdump-final-insns=* -w -S -o %j "
            "%{!fcompare-debug-second:-fcompare-debug-second} -gtoggle]");
  driver.compare_debug_mode = 1;
  EXPECT_EQ(call(compare_debug_self_opt_spec_function, {}), nullptr);

  const struct {
    spec_function_handler handler;
    const char *message;
  } cases[] = {
      {compare_debug_dump_opt_spec_function, "too many arguments to %:compare-debug-dump-opt"},
      {compare_debug_self_opt_spec_function, "too many arguments to %:compare-debug-self-opt"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] { call(c.handler, {"x"}); });
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.err, fatal_error_output(c.message));
  }
}

// ---- pass-through-libs, dumps, comparisons ----

TEST(spec_function_pass_through_libs, libraries_and_archives_only) {
  const struct {
    words argv;
    const char *expected;
  } cases[] = {
      {{"-lm", "-l", "c", "libx.a", "foo.o"},
       " -plugin-opt=-pass-through=-lm -plugin-opt=-pass-through=-lc "
       "-plugin-opt=-pass-through=libx.a "},
      {{}, " "},
      {{".a", "a", "x.ab"}, " -plugin-opt=-pass-through=.a "},
      {{"-lm", "-l"}, " -plugin-opt=-pass-through=-lm "},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(call(pass_through_libs_spec_func, c.argv), c.expected) << c.argv.size();
}

TEST(spec_function_dumps, dump_options_for_the_compiler) {
  const struct {
    const char *dump_dir, *dump_base, *dump_base_ext, *out_base;
    int out_base_length;
    int mode;
    words argv;
    const char *expected;
  } cases[] = {
      {nullptr, nullptr, nullptr, nullptr, 0, 0, {}, " -dumpbase x.cc -dumpbase-ext .cc"},
      {nullptr, nullptr, nullptr, nullptr, 0, 0, {".i"}, " -dumpbase x.i -dumpbase-ext .i"},
      {nullptr, nullptr, nullptr, nullptr, 0, 0, {".cc"}, " -dumpbase x.cc -dumpbase-ext .cc"},
      {"out/", nullptr, nullptr, nullptr, 0, 0, {}, " -dumpdir out/ -dumpbase x.cc -dumpbase-ext .cc"},
      {"", nullptr, nullptr, nullptr, 0, 0, {}, " -dumpdir %\" -dumpbase x.cc -dumpbase-ext .cc"},
      {"my dir/", nullptr, nullptr, nullptr, 0, 0, {},
       " -dumpdir my\\ dir/ -dumpbase x.cc -dumpbase-ext .cc"},
      {nullptr, nullptr, nullptr, nullptr, 0, -1, {}, " -dumpbase x.gk.cc -dumpbase-ext .cc"},
      {nullptr, nullptr, nullptr, "abc", 3, 0, {}, " -dumpbase abc.cc -dumpbase-ext .cc"},
      // An explicit -dumpbase has no extension unless -dumpbase-ext gives one.
      {nullptr, "foo", nullptr, "foo", 3, 0, {".i"}, " -dumpbase foo"},
      {nullptr, "foo.c", ".c", "foo", 3, 0, {}, " -dumpbase foo.c -dumpbase-ext .c"},
      {nullptr, "foo.c", ".c", "foo", 3, 0, {"a", "b"}, " -dumpbase foo.c -dumpbase-ext .c"},
  };
  for (const auto &c : cases) {
    reset_world();
    select_input("dir/x.cc");
    driver.dump_dir = c.dump_dir ? xstrdup(c.dump_dir) : nullptr;
    driver.dump_base = c.dump_base ? xstrdup(c.dump_base) : nullptr;
    driver.dump_base_ext = c.dump_base_ext ? xstrdup(c.dump_base_ext) : nullptr;
    driver.out_base = c.out_base ? xstrdup(c.out_base) : nullptr;
    driver.out_base_length = c.out_base_length;
    driver.compare_debug_mode = c.mode;
    EXPECT_STREQ(call(dumps_spec_func, c.argv), c.expected) << c.expected;
  }
  child_result child = in_child([] {
    select_input("dir/x.cc");
    call(dumps_spec_func, {".i", ".s"});
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("too many arguments for %:dumps"));
}

TEST(spec_function_comparisons, numbers_against_the_last_two_words_and_option_values) {
  reset_world();
  const struct {
    spec_function_handler handler;
    words argv;
    bool expected;
  } cases[] = {
      {greater_than_spec_func, {"3", "1"}, true},
      {greater_than_spec_func, {"1", "3"}, false},
      {greater_than_spec_func, {"1", "1"}, false},
      {greater_than_spec_func, {"1"}, false},
      {greater_than_spec_func, {"x", "4", "1"}, true},
      {greater_than_spec_func, {"4x", "1"}, true},
      {debug_level_greater_than_spec_func, {"1"}, true},
      {debug_level_greater_than_spec_func, {"2"}, false},
      {dwarf_version_greater_than_spec_func, {"3"}, true},
      {dwarf_version_greater_than_spec_func, {"4"}, false},
  };
  global_options.debug_level = 2;
  global_options.dwarf_version = 4;
  for (const auto &c : cases)
    EXPECT_EQ(shown(call(c.handler, c.argv)), c.expected ? "[]" : "(none)")
        << c.argv[0] << " " << c.argv.size();

  const struct {
    spec_function_handler handler;
    const char *message;
  } fatal_cases[] = {
      {debug_level_greater_than_spec_func, "wrong number of arguments to %:debug-level-gt"},
      {dwarf_version_greater_than_spec_func, "wrong number of arguments to %:dwarf-version-gt"},
  };
  for (const auto &c : fatal_cases) {
    child_result child = in_child([&] { call(c.handler, {"1", "2"}); });
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.err, fatal_error_output(c.message));
  }
}

} // namespace
