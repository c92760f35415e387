// Interpreter of spec texts: how spec text becomes arguments and command lines, the
// directives of the interpreter itself, and its fatal forms.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/child_process.h"
#include "driver/driver_state.h"
#include "interp_test_support.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "specs/spec_store.h"
#include "support/file_lookup.h"
#include "support/prefix_list.h"
#include "support/execute.h"
#include "support/temp_files.h"

using testing::ElementsAre;
using testing::IsEmpty;

namespace {

std::string joined(const words &list) {
  std::string text;
  for (const std::string &word : list)
    text += "[" + word + "]";
  return text;
}

class interpreter_test : public in_fresh_world<testing::Test> {};

struct expand_case {
  const char *name;
  const char *text;
  words expected;
};

class expand_words : public interpreter_test, public testing::WithParamInterface<expand_case> {};

TEST_P(expand_words, gives_the_arguments) {
  std::string err;
  words got;
  err = capture_stderr([&] { got = expand(GetParam().text); });
  EXPECT_EQ(got, GetParam().expected);
  EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(
    scanning, expand_words,
    testing::Values(
        expand_case{"two_blanks", "a  b", {"a", "b"}},
        expand_case{"tabs_and_leading_blanks", " \ta\t\tb ", {"a", "b"}},
        expand_case{"only_blanks", "   ", {}},
        expand_case{"empty_argument", "a%\"b", {"a", "", "b"}},
        expand_case{"empty_argument_alone", "%\"", {""}},
        expand_case{"pipe_inside_word", "foo|bar", {"foo", "|bar"}},
        expand_case{"escaped_blank", "a\\ b", {"a b"}},
        expand_case{"escaped_percent", "a\\%b", {"a%b"}},
        expand_case{"carriage_return_is_text", "a\rb", {"a\rb"}},
        expand_case{"percent_waits_for_next_word", "x %% y", {"x", "%y"}},
        expand_case{"percent_alone_at_end", "x %%", {"x"}},
        expand_case{"undefined_named_spec", "a %(no_such_spec_here) b", {"a", "b"}},
        expand_case{"undefined_named_spec_joins", "a%(no_such_spec_here)b", {"ab"}},
        expand_case{"named_spec_without_paren", "a %(unterminated", {"a"}},
        expand_case{"object_suffix", "x%O", {"x.o"}},
        expand_case{"os_dir_unset", "-L%M/lib", {"-L./lib"}},
        expand_case{"root_unset", "x%R y", {"x", "y"}}),
    [](const testing::TestParamInfo<expand_case> &info) { return std::string(info.param.name); });

// The message an error directive reports, and the words the text still
// produced around it.
struct message_case {
  const char *name;
  const char *text;
  int status;
  words expected;
  const char *err;
};

class directive_messages : public interpreter_test,
                           public testing::WithParamInterface<message_case> {};

TEST_P(directive_messages, report_and_go_on_or_stop) {
  const message_case &c = GetParam();
  int status = 0;
  std::string err = capture_stderr([&] { status = expand_spec(c.text, nullptr); });
  EXPECT_EQ(status, c.status);
  EXPECT_EQ(built_words(), c.expected);
  EXPECT_EQ(err, c.err);
}

INSTANTIATE_TEST_SUITE_P(
    directives, directive_messages,
    testing::Values(
        message_case{"unknown_directive", "a%q b", 0, {"a", "b"},
                     "quarn++: error: spec failure: unrecognized spec option 'q'\n"},
        message_case{"closing_brace_directive", "%}x", 0, {"x"},
                     "quarn++: error: spec failure: unrecognized spec option '}'\n"},
        message_case{"error_stops", "a %eno way\nb", -1, {"a"}, "quarn++: error: no way\n"},
        message_case{"note_goes_on_after_its_line", "a %nhear this\nb", 0, {"a", "b"},
                     "quarn++: note: hear this\n"},
        message_case{"soft_match_outside_body", "a%* b", 0, {"a", "b"},
                     "quarn++: error: spec failure: '%*' has not been initialized by pattern "
                     "match\n"}),
    [](const testing::TestParamInfo<message_case> &info) { return std::string(info.param.name); });

// Whole runs: which command lines reach the runner, and in what groups.
struct run_case {
  const char *name;
  const char *text;
  bool pipe;
  std::vector<words> commands;
};

class run_commands : public interpreter_test, public testing::WithParamInterface<run_case> {};

TEST_P(run_commands, hands_each_line_to_the_runner) {
  global_options.use_pipes = GetParam().pipe;
  EXPECT_EQ(run_spec(GetParam().text), 0);
  EXPECT_EQ(recorded_commands, GetParam().commands);
  EXPECT_THAT(built_words(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    lines, run_commands,
    testing::Values(
        run_case{"two_lines", "a b\nc d", false, {{"a", "b"}, {"c", "d"}}},
        run_case{"blank_lines_run_nothing", "\n\na\n\n", false, {{"a"}}},
        run_case{"pipe_without_pipe_mode", "a |\nb", false, {{"a"}, {"b"}}},
        run_case{"pipe_under_pipe_mode", "a |\nb", true, {{"a", "|", "b"}}},
        run_case{"pipeline_runs_at_next_newline", "a |\nb\nc", true, {{"a", "|", "b"}, {"c"}}},
        run_case{"trailing_pipe_dropped", "a |", true, {{"a"}}},
        run_case{"pipe_word_is_no_marker", "a |x\nb", true, {{"a", "|x"}, {"b"}}},
        run_case{"nothing_to_run", "  ", false, {}}),
    [](const testing::TestParamInfo<run_case> &info) { return std::string(info.param.name); });

TEST_F(interpreter_test, failed_command_stops_the_text_with_its_status) {
  recorded_status = 7;
  EXPECT_EQ(run_spec("a\nb\nc"), 7);
  EXPECT_EQ(recorded_commands, (std::vector<words>{{"a"}}));
}

TEST_F(interpreter_test, error_directive_runs_no_later_command) {
  std::string err = capture_stderr([] { EXPECT_EQ(run_spec("a\n%eboom\nb"), -1); });
  EXPECT_EQ(recorded_commands, (std::vector<words>{{"a"}}));
  EXPECT_EQ(err, "quarn++: error: boom\n");
}

int refresh_count = 0;
size_t commands_at_refresh = 0;
void count_refresh() {
  refresh_count++;
  commands_at_refresh = recorded_commands.size();
}

TEST_F(interpreter_test, export_is_refreshed_before_every_command) {
  refresh_count = 0;
  spec_export_refresh = count_refresh;
  run_spec("a\nb");
  EXPECT_EQ(refresh_count, 2);
  // The second refresh came before the second command ran.
  EXPECT_EQ(commands_at_refresh, 1u);
}

TEST_F(interpreter_test, option_lists_give_one_argument_per_entry) {
  push_link_option("-Bx y", 5);
  push_asm_option("--gdwarf", 8);
  push_cpp_option("-DA=1", 5);
  push_cpp_option("-DB", 3);
  EXPECT_EQ(expand("%X|%Y|%Z"), (words{"-Bx y", "|--gdwarf", "|-DA=1", "-DB"}));
}

TEST_F(interpreter_test, linker_option_is_added_once_and_interpretation_goes_on) {
  EXPECT_EQ(expand("%x{-lfoo}%x{-lbar}%x{-lfoo}after %X"), (words{"after", "-lfoo", "-lbar"}));
  EXPECT_EQ(driver.link_options.count, 2u);
}

TEST_F(interpreter_test, target_root_and_its_suffix_join_the_argument) {
  const char *saved_root = target_root, *saved_suffix = target_root_suffix;
  target_root = "/sys";
  target_root_suffix = "/v8";
  EXPECT_EQ(expand("--sysroot=%R x"), (words{"--sysroot=/sys/v8", "x"}));
  // The root alone opens no argument: it waits for the text after it.
  target_root_suffix = nullptr;
  EXPECT_EQ(expand("%R"), (words{}));
  EXPECT_EQ(expand("%R /lib"), (words{"/sys/lib"}));
  target_root = saved_root;
  target_root_suffix = saved_suffix;
}

TEST_F(interpreter_test, os_multilib_dir_joins_the_argument) {
  multilib_dirs saved = selected_multilib;
  selected_multilib.multilib_os_subdir = "../lib64";
  EXPECT_EQ(expand("-L%M/x"), (words{"-L../lib64/x"}));
  selected_multilib = saved;
}

TEST_F(interpreter_test, single_letter_directives_read_the_current_slot) {
  const char *saved = builtin_spec_slots[BUILTIN_SPEC_startfile];
  builtin_spec_slots[BUILTIN_SPEC_startfile] = "crt1.o%{static:-s}";
  add_switch("-static");
  EXPECT_EQ(expand("a %S b"), (words{"a", "crt1.o-s", "b"}));
  builtin_spec_slots[BUILTIN_SPEC_startfile] = saved;
}

TEST_F(interpreter_test, preprocessor_text_of_the_row_before_the_named_spec) {
  const char *saved = builtin_spec_slots[BUILTIN_SPEC_cpp];
  builtin_spec_slots[BUILTIN_SPEC_cpp] = "-Dnamed";
  static const compiler_entry cxx = {"@c++", "", "-Drow%{v:-v}", false, true};
  static const compiler_entry c = {"@c", "", nullptr, false, true};
  add_switch("-v");
  interpreter.cur_compiler = &cxx;
  EXPECT_EQ(expand("%C x"), (words{"-Drow-v", "x"}));
  interpreter.cur_compiler = &c;
  EXPECT_EQ(expand("%C x"), (words{"-Dnamed", "x"}));
  interpreter.cur_compiler = nullptr;
  EXPECT_EQ(expand("%C"), (words{"-Dnamed"}));
  builtin_spec_slots[BUILTIN_SPEC_cpp] = saved;
}

TEST_F(interpreter_test, failure_inside_a_named_spec_stops_its_caller) {
  const char *saved = builtin_spec_slots[BUILTIN_SPEC_asm];
  builtin_spec_slots[BUILTIN_SPEC_asm] = "x\n%eno assembler";
  std::string err = capture_stderr([] { EXPECT_EQ(run_spec("%a\nafter"), -1); });
  EXPECT_EQ(recorded_commands, (std::vector<words>{{"x"}}));
  EXPECT_EQ(err, "quarn++: error: no assembler\n");
  builtin_spec_slots[BUILTIN_SPEC_asm] = saved;
}

TEST_F(interpreter_test, delete_on_failure_group_records_its_last_argument) {
  add_switch("-o", {"out.o"});
  EXPECT_EQ(expand("x %W{o*}"), (words{"x", "-o", "out.o"}));
  child_result child = run_in_child([] {
    reset_interpreter_world();
    forget_temp_lists();
    add_switch("-o", {"/tmp/never-made.o"});
    expand("%W{o*}");
    for (temp_file_entry *e = failure_delete_list.load(); e; e = e->next)
      fprintf(stderr, "failure:%s\n", e->name);
    for (temp_file_entry *e = always_delete_list.load(); e; e = e->next)
      fprintf(stderr, "always:%s\n", e->name);
  });
  EXPECT_EQ(child.err, "failure:/tmp/never-made.o\n");
}

TEST_F(interpreter_test, push_arg_records_the_file_after_the_last_equals) {
  child_result child = run_in_child([] {
    reset_interpreter_world();
    forget_temp_lists();
    push_arg("-fdump=a=/tmp/x.dump", true, false);
    push_arg("plain.o", false, true);
    push_arg("kept.o", false, false);
    for (temp_file_entry *e = always_delete_list.load(); e; e = e->next)
      fprintf(stderr, "always:%s\n", e->name);
    for (temp_file_entry *e = failure_delete_list.load(); e; e = e->next)
      fprintf(stderr, "failure:%s\n", e->name);
    fprintf(stderr, "%s", joined(built_words()).c_str());
  });
  EXPECT_EQ(child.err, "always:/tmp/x.dump\nfailure:plain.o\n[-fdump=a=/tmp/x.dump][plain.o][kept.o]");
}

// Fatal forms: each ends the run with status 1 and names the text.
class fatal_specs : public testing::TestWithParam<fatal_text_case> {};

TEST_P(fatal_specs, end_the_run) {
  child_result child = expand_in_child(GetParam().text);
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    texts, fatal_specs,
    testing::Values(
        fatal_text_case{"lone_percent", "a %", "spec 'a %' invalid"},
        fatal_text_case{"lone_backslash", "a b\\", "spec 'a b\\' invalid"},
        fatal_text_case{"unclosed_linker_option", "%x{-lfoo", "spec '%x{-lfoo' invalid"},
        fatal_text_case{"linker_option_without_brace", "%xy", "spec '%xy' has invalid '%xy'"},
        fatal_text_case{"delete_group_without_brace", "%Wq", "spec '%Wq' has invalid '%Wq'"},
        fatal_text_case{"response_group_without_brace", "%@q", "spec '%@q' has invalid '%@q'"},
        fatal_text_case{"lone_percent_in_body", "%{!v:x%}", "spec 'x%' invalid"}),
    fatal_case_name);

TEST(spec_nesting, a_spec_that_reaches_itself_ends_with_its_name) {
  child_result child =
      expand_in_child("%L", [] { builtin_spec_slots[BUILTIN_SPEC_lib] = "x %L"; });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("spec 'lib' nested too deeply"));
}

TEST(spec_nesting, a_named_spec_loop_through_its_name_ends_with_its_name) {
  child_result child = expand_in_child("%(ping)", [] {
    init_builtin_specs();
    define_spec("ping", "%(pong)", false);
    define_spec("pong", "a%(ping)", false);
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("spec 'ping' nested too deeply"));
}

TEST(spec_nesting, deep_but_finite_nesting_is_fine) {
  child_result child = run_in_child([] {
    reset_interpreter_world();
    init_builtin_specs();
    // 150 levels: each spec refers to the next, the last one is text.
    for (int i = 0; i < 150; i++) {
      std::string name = "level" + std::to_string(i);
      std::string text = i == 149 ? "leaf" : "%(level" + std::to_string(i + 1) + ")";
      define_spec(strdup(name.c_str()), strdup(text.c_str()), false);
    }
    fprintf(stderr, "%s", joined(expand("%(level0)")).c_str());
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "[leaf]");
}

TEST_F(interpreter_test, named_spec_reads_its_current_text) {
  init_builtin_specs();
  define_spec("cpp_cpu", "-Dcpu", false);
  EXPECT_EQ(expand("a %(cpp_cpu) b"), (words{"a", "-Dcpu", "b"}));
  define_spec("cpp_cpu", "-Dother", false);
  EXPECT_EQ(expand("%(cpp_cpu)"), (words{"-Dother"}));
}

// Lookups along the library and header prefixes, in a child: the prefix lists
// live for the whole process.
class prefix_lookups : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-interp-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  void make_dir(const std::string &name) { mkdir((dir_ + "/" + name).c_str(), 0755); }
  void make_file(const std::string &name) { fclose(fopen((dir_ + "/" + name).c_str(), "w")); }
  std::string dir_;
};

TEST_F(prefix_lookups, library_and_script_arguments) {
  make_file("libfoo.a");
  make_file("my.ld");
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    insert_prefix(&library_prefixes, (dir_ + "/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    words got = expand("%slibfoo.a %smissing.a %Tmy.ld %Tnone.ld end");
    fprintf(stderr, "%s", joined(got).c_str());
  });
  EXPECT_EQ(child.err,
            "quarn++: error: unable to locate default linker script 'none.ld' in the library "
            "search paths\n[" + dir_ + "/libfoo.a][missing.a][--script][" + dir_ + "/my.ld][end]");
}

TEST_F(prefix_lookups, library_directories) {
  make_dir("one");
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    insert_prefix(&library_prefixes, (dir_ + "/one/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    insert_prefix(&library_prefixes, (dir_ + "/absent/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    fprintf(stderr, "%s", joined(expand("%D")).c_str());
  });
  EXPECT_EQ(child.err, "[-L" + dir_ + "/one]");
}

// A directory a command makes is seen by the lookups after it, though the same
// expansion found it missing before.
std::string made_by_command;

int command_making_a_directory(arg_vector *args) {
  recorded_commands.push_back(words(args->items, args->items + args->count));
  mkdir(made_by_command.c_str(), 0755);
  fclose(fopen((made_by_command + "/libx.a").c_str(), "w"));
  return 0;
}

TEST_F(prefix_lookups, a_command_ends_what_the_expansion_knew_of_directories) {
  made_by_command = dir_ + "/late";
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    insert_prefix(&library_prefixes, (dir_ + "/late/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    spec_command_runner = command_making_a_directory;
    expand_spec("%slibx.a %D\n%slibx.a %D", nullptr);
    fprintf(stderr, "%s|%s", joined(recorded_commands.at(0)).c_str(), joined(built_words()).c_str());
  });
  EXPECT_EQ(child.err, "[libx.a]|[" + dir_ + "/late/libx.a][-L" + dir_ + "/late]");
}

TEST_F(prefix_lookups, header_directories_include_before_include_fixed) {
  for (const char *name : {"a", "a/include", "a/include-fixed", "b", "b/include", "b/include-fixed"})
    make_dir(name);
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    insert_prefix(&header_prefixes, (dir_ + "/a/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    insert_prefix(&header_prefixes, (dir_ + "/b/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    selected_multilib.multilib_subdir = "m64";
    driver.exec_root = "/opt/q/lib/quarn/";
    fprintf(stderr, "%s", joined(expand("%I")).c_str());
  });
  EXPECT_EQ(child.err, "[-imultilib][m64][-iprefix][/opt/q/lib/quarn/]"
                       "[-isystem][" + dir_ + "/a/include][-isystem][" + dir_ + "/b/include]"
                       "[-isystem][" + dir_ + "/a/include-fixed][-isystem][" + dir_ +
                           "/b/include-fixed]");
}

// "." as the multilib directory is the base one; any multiarch directory
// selection gave is passed on, "." and the empty text included.
TEST_F(prefix_lookups, multilib_and_multiarch_arguments) {
  const struct {
    const char *multilib, *multiarch;
    const char *expected;
  } cases[] = {
      {nullptr, nullptr, ""},
      {".", nullptr, ""},
      {"m64", nullptr, "[-imultilib][m64]"},
      {nullptr, "aarch64", "[-imultiarch][aarch64]"},
      {".", ".", "[-imultiarch][.]"},
      {"m64", "", "[-imultilib][m64][-imultiarch][]"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      reset_interpreter_world();
      selected_multilib.multilib_subdir = c.multilib;
      selected_multilib.multiarch_subdir = c.multiarch;
      fprintf(stderr, "%s", joined(expand("%I")).c_str());
    });
    EXPECT_EQ(child.err, c.expected) << (c.multilib ? c.multilib : "none") << " "
                                     << (c.multiarch ? c.multiarch : "none");
  }
}

// With a sysroot headers suffix the include-fixed directory ends in '/' and
// takes the multilib subdirectory when there is one.
TEST_F(prefix_lookups, include_fixed_with_headers_suffix) {
  for (const char *name : {"a", "a/include-fixed", "a/include-fixed/m64"})
    make_dir(name);
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    insert_prefix(&header_prefixes, (dir_ + "/a/").c_str(), nullptr, PRIO_STANDARD, 0, 0);
    set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_sysroot_hdrs_suffix_spec], "/hs", false);
    fprintf(stderr, "%s|", joined(expand("%I")).c_str());
    selected_multilib.multilib_subdir = "m64";
    fprintf(stderr, "%s", joined(expand("%I")).c_str());
  });
  EXPECT_EQ(child.err, "[-isystem][" + dir_ + "/a/include-fixed/]|[-imultilib][m64][-isystem][" +
                           dir_ + "/a/include-fixed/m64]");
}

TEST_F(prefix_lookups, sysroot_argument_only_for_a_given_sysroot) {
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    target_root = "/sys";
    fprintf(stderr, "%s|", joined(expand("%I")).c_str());
    driver.target_root_changed = true;
    fprintf(stderr, "%s|", joined(expand("%I")).c_str());
    target_sysroot_hdrs_suffix = "/hdrs";
    fprintf(stderr, "%s", joined(expand("%I")).c_str());
  });
  EXPECT_EQ(child.err, "|[-isysroot][/sys]|[-isysroot][/sys/hdrs]");
}

// Spec functions: their arguments are texts of their own, each nested
// insertion ends its own argument, and the returned text continues the
// argument the call interrupted.
TEST_F(interpreter_test, function_arguments_end_each_nested_insertion) {
  add_switch("-a");
  // The body's "/" and the following "x" are two words: the file "/" exists.
  EXPECT_EQ(expand("%:if-exists-else(%{a:/}x)"), (words{"/"}));
  // One word "/x" would have been a count of 1: nothing returned.
  EXPECT_EQ(expand("%:if-exists-else(/x)"), (words{}));
}

TEST_F(interpreter_test, function_result_continues_the_interrupted_argument) {
  EXPECT_EQ(expand("-pre%:if-exists-else(/ z)post"), (words{"-pre/", "post"}));
}

TEST_F(interpreter_test, no_command_runs_inside_function_arguments) {
  child_result child = run_in_child([] {
    reset_interpreter_world();
    spec_command_runner = execute;
    expand_spec("%:if-exists-else(a\nb c)", nullptr);
  });
  EXPECT_EQ(child.status, 4);
}

} // namespace
