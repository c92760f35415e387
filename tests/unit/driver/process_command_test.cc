// process_command on whole argument vectors: the switch and input tables, the
// option lists, the prefixes and the names it leaves behind.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "command_runner.h"

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace {

const char *const driver_path = "/usr/local/pell12/bin/quarn++";

std::vector<std::string> argv_of(std::vector<std::string> words) {
  words.insert(words.begin(), driver_path);
  return words;
}

command_result run(std::vector<std::string> words, const env_list &env = {}) {
  return run_command(argv_of(words), env);
}

// A scratch directory for cases that need real files.
class scratch_dir {
public:
  scratch_dir() {
    char pattern[] = "/tmp/quarn-cmd-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~scratch_dir() { std::system(("rm -rf '" + path_ + "'").c_str()); }
  const std::string &path() const { return path_; }
  std::string make_dir(const std::string &name) const {
    std::string dir = path_ + "/" + name;
    std::system(("mkdir -p '" + dir + "'").c_str());
    return dir;
  }
  std::string make_file(const std::string &name) const {
    std::string file = path_ + "/" + name;
    std::system(("touch '" + file + "'").c_str());
    return file;
  }

private:
  std::string path_;
};

// quarn++ asks for the shared companion library on every command line
// without -static or -static-libquarn.
std::vector<std::string> with_companion(std::vector<std::string> switches) {
  switches.push_back("-shared-libquarn (accepted)");
  return switches;
}

// Rows of one section that start with a text.
std::vector<std::string> starting_with(const std::vector<std::string> &rows,
                                       const std::string &start) {
  std::vector<std::string> found;
  for (const std::string &row : rows)
    if (row.compare(0, start.size(), start) == 0)
      found.push_back(row);
  return found;
}

TEST(process_command, assembler_and_preprocessor_pieces_are_split_at_every_comma) {
  command_result r = run({"-c", "a.cc", "-Wa,-a,,-b", "-Xassembler", "-x,y", "-Wp,-DX,-UY",
                          "-Xpreprocessor", "-P"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["asm"], ElementsAre("-a", "", "-b", "-x,y"));
  EXPECT_THAT(r["cpp"], ElementsAre("-DX", "-UY", "-P"));
  // None of them is a switch.
  EXPECT_THAT(r["switches"], ElementsAreArray(with_companion({"-c"})));
}

TEST(process_command, linker_words_keep_their_place_among_the_inputs) {
  command_result r =
      run({"a.o", "-Wl,-rpath,/usr/lib", "-lz", "b.o", "-Xlinker", "--gc-sections", "-Wl,"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["inputs"], ElementsAre("a.o", "-rpath [*]", "/usr/lib [*]", "-lz [*]", "b.o",
                                       "--gc-sections [*]", " [*]", "-lstdc++ [*]", "-lm [*]"));
  EXPECT_THAT(r["switches"], ElementsAre("-shared-libquarn (accepted)"));
  EXPECT_EQ(r.value("driver_added_inputs"), "2");
}

TEST(process_command, help_and_version_reach_the_assembler_and_linker) {
  command_result r = run({"--help", "--version", "--target-help"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["asm"], ElementsAre("--help", "--version", "--target-help"));
  EXPECT_THAT(r["link"], ElementsAre("--help", "--version", "--target-help"));
  EXPECT_EQ(r.value("subprocess_help"), "1");
}

TEST(process_command, help_requests_without_inputs_add_the_dummy_input) {
  struct {
    std::vector<std::string> words;
    std::vector<std::string> inputs;
  } cases[] = {
      {{"--version"}, {"help-dummy [c]"}},
      {{"--help"}, {"help-dummy [c]"}},
      {{"--target-help"}, {"help-dummy [c]"}},
      {{"--help=common"}, {"help-dummy [c]"}},
      {{"--version", "-c", "a.cc"}, {"a.cc"}},
      {{"-v"}, {}},
  };
  for (const auto &c : cases) {
    command_result r = run(c.words);
    ASSERT_EQ(r.status, 0) << c.words[0] << r.err;
    EXPECT_THAT(r["inputs"], ElementsAreArray(c.inputs)) << c.words[0];
  }
}

TEST(process_command, b_prefixes_gain_their_slash_only_when_they_name_a_directory) {
  scratch_dir scratch;
  std::string dir = scratch.make_dir("tools");
  std::string missing = scratch.path() + "/missing";
  command_result r = run({"-B", dir, "-B" + missing, "-B" + dir + "/", "-c", "a.cc"},
                         {{"COMPILER_PATH", "/cp"}});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> want = {dir + "/ p0 s0 o0", missing + " p0 s0 o0",
                                   dir + "/ p0 s0 o0"};
  for (const char *section : {"program", "library", "header"})
    EXPECT_THAT(starting_with(r[section], scratch.path()), ElementsAreArray(want)) << section;
  // -B comes before every standard entry, even one inserted earlier.
  EXPECT_EQ(r["program"][0], dir + "/ p0 s0 o0");
  EXPECT_EQ(r["header"][3], "/cp/ p1 s0 o0");
  EXPECT_THAT(starting_with(r["switches"], "-B"),
              ElementsAre("-B " + dir + " (accepted)", "-B " + missing + " (accepted)",
                          "-B " + dir + "/ (accepted)"));
}

TEST(process_command, search_variables_become_prefixes_in_order) {
  command_result r = run({"-c", "a.cc"}, {{"LIBRARY_PATH", "a::b/"},
                                          {"LPATH", "c"},
                                          {"COMPILER_PATH", ":x"}});
  ASSERT_EQ(r.status, 0) << r.err;
  std::vector<std::string> library = r["library"];
  std::vector<std::string> from_variables(library.begin(), library.begin() + 4);
  EXPECT_THAT(from_variables, ElementsAre("a/ p1 s0 o1", "./ p1 s0 o1", "b/ p1 s0 o1",
                                          "c/ p1 s0 o1"));
  EXPECT_THAT(r["header"], ElementsAre("./ p1 s0 o0", "x/ p1 s0 o0"));
  EXPECT_EQ(r["program"][0], "./ p1 s0 o0");
  EXPECT_EQ(r["program"][1], "x/ p1 s0 o0");
}

TEST(process_command, configured_installation_gets_the_standard_prefixes) {
  command_result r = run({"-c", "a.cc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.value("exec_root"), "(unset)");
  EXPECT_EQ(r.value("libexec_root"), "/usr/local/pell12/libexec/quarn/");
  EXPECT_EQ(r.value("exported_exec_prefix"), "(unset)");
  ASSERT_EQ(r["program"].size(), 4u);
  EXPECT_EQ(r["program"][0], "/usr/local/pell12/libexec/quarn/ p1 s1 o0");
  EXPECT_EQ(r["program"][1], "/usr/local/pell12/libexec/quarn/ p1 s2 o0");
  EXPECT_EQ(r["program"][2], "/usr/local/pell12/lib/quarn/ p1 s2 o0");
  EXPECT_THAT(r["program"][3], testing::EndsWith("aarch64-rivet-freebsd13.4/bin/ p1 s0 o0"));
  ASSERT_EQ(r["library"].size(), 2u);
  EXPECT_EQ(r["library"][0], "/usr/local/pell12/lib/quarn/ p1 s1 o0");
  EXPECT_THAT(r["library"][1], testing::EndsWith("aarch64-rivet-freebsd13.4/lib/ p1 s0 o1"));
  EXPECT_EQ(r.value("compiler_version"), "12.3.0");
}

TEST(process_command, a_moved_installation_is_found_from_argv0_and_exported) {
  scratch_dir scratch;
  scratch.make_dir("real/bin");
  std::string program = scratch.make_file("real/bin/quarn++");
  scratch.make_dir("link/bin");
  std::string link = scratch.path() + "/link/bin/quarn++";
  ASSERT_EQ(symlink(program.c_str(), link.c_str()), 0);
  char *real_scratch = realpath(scratch.path().c_str(), nullptr);
  std::string real = real_scratch;
  free(real_scratch);

  command_result resolved = run_command({link, "-v", "-c", "a.cc"});
  ASSERT_EQ(resolved.status, 0) << resolved.err;
  // The export happens before -v is read, so it is not echoed.
  EXPECT_THAT(resolved.err, Not(HasSubstr("QUARN_EXEC_PREFIX")));
  EXPECT_EQ(resolved.value("exec_root"), real + "/real/bin/../lib/quarn/");
  EXPECT_EQ(resolved.value("libexec_root"), real + "/real/bin/../libexec/quarn/");
  EXPECT_EQ(resolved.value("exported_exec_prefix"), real + "/real/bin/../lib/quarn/");
  EXPECT_EQ(resolved.value("install_root"), real + "/real/bin/..");
  // The tool directory is the only standard entry of a moved installation.
  ASSERT_EQ(resolved["program"].size(), 2u);
  EXPECT_THAT(resolved["program"][0], testing::EndsWith("/libexec/quarn/ p1 s0 o0"));
  ASSERT_EQ(resolved["library"].size(), 2u);
  EXPECT_THAT(resolved["library"][0], testing::EndsWith("/lib/quarn/ p1 s0 o0"));

  command_result literal = run_command({link, "-no-canonical-prefixes", "-c", "a.cc"});
  ASSERT_EQ(literal.status, 0) << literal.err;
  EXPECT_EQ(literal.value("exec_root"), scratch.path() + "/link/bin/../lib/quarn/");
}

TEST(process_command, an_exec_prefix_from_the_environment_gives_both_roots) {
  command_result r = run({"-c", "a.cc"}, {{"QUARN_EXEC_PREFIX", "/opt/q/lib/quarn/"}});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.value("exec_root"), "/opt/q/lib/quarn/");
  EXPECT_EQ(r.value("libexec_root"), "/opt/q/lib/quarn/../../libexec/quarn/");
  EXPECT_EQ(r.value("install_root"), "/opt/q");
  EXPECT_THAT(r.err, IsEmpty());
}

TEST(process_command, x_none_restores_guessing_by_suffix) {
  command_result r = run({"-c", "-x", "c", "a.c", "b.c", "-x", "none", "c.c", "d.c"});
  ASSERT_EQ(r.status, 0) << r.err;
  // quarn++ leaves the first input after each -x alone and wraps the rest.
  EXPECT_THAT(r["inputs"], ElementsAre("a.c [c]", "b.c [c++]", "c.c", "d.c [c++]"));
  EXPECT_EQ(r.value("current_language"), "(unset)");
}

TEST(process_command, the_last_o_wins_and_both_are_saved) {
  command_result r = run({"-c", "a.cc", "-o", "x.o", "-o", "y.o"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["switches"], ElementsAreArray(with_companion({"-c", "-o x.o", "-o y.o"})));
  EXPECT_EQ(r.value("output_name"), "y.o");
}

TEST(process_command, compare_debug_from_the_environment) {
  struct {
    const char *value;
    const char *mode;
    std::vector<std::string> switches;
  } cases[] = {
      {"0", "0", {"-c", "-shared-libquarn (accepted)"}},
      {"", "0", {"-c", "-shared-libquarn (accepted)"}},
      {"1", "1", {"-c", "-shared-libquarn (accepted)", "-fcompare-debug=-gtoggle"}},
      {"-g0", "1", {"-c", "-shared-libquarn (accepted)", "-fcompare-debug=-g0"}},
  };
  for (const auto &c : cases) {
    command_result r = run({"-c", "a.cc"}, {{"QUARN_COMPARE_DEBUG", c.value}});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.value("compare_debug_mode"), c.mode) << c.value;
    EXPECT_THAT(r["switches"], ElementsAreArray(c.switches)) << c.value;
  }
}

TEST(process_command, compare_debug_options) {
  struct {
    std::vector<std::string> words;
    env_list env;
    const char *mode;
    const char *option;
    const char *saved;
  } cases[] = {
      {{"-fcompare-debug"}, {}, "1", "-gtoggle", "-fcompare-debug=-gtoggle"},
      {{"-fcompare-debug=-O1"}, {}, "1", "-O1", "-fcompare-debug=-O1"},
      {{"-fcompare-debug="}, {}, "0", "(unset)", "-fcompare-debug="},
      {{"-fcompare-debug", "-fno-compare-debug"}, {}, "0", "(unset)", "-fcompare-debug="},
      // An explicit "off" beats the environment.
      {{"-fno-compare-debug"}, {{"QUARN_COMPARE_DEBUG", "1"}}, "0", "(unset)",
       "-fcompare-debug="},
  };
  for (const auto &c : cases) {
    std::vector<std::string> words = c.words;
    words.insert(words.end(), {"-c", "a.cc"});
    command_result r = run(words, c.env);
    ASSERT_EQ(r.status, 0) << c.words[0] << r.err;
    EXPECT_EQ(r.value("compare_debug_mode"), c.mode) << c.words[0];
    EXPECT_EQ(r.value("compare_debug_option"), c.option) << c.words[0];
    EXPECT_THAT(r["switches"], ElementsAreArray(with_companion({c.saved, "-c"}))) << c.words[0];
    EXPECT_THAT(r.value("source_date_epoch"), testing::MatchesRegex("[0-9]+"));
  }
  // A time the caller fixed is kept.
  command_result r = run({"-fcompare-debug", "-c", "a.cc"}, {{"SOURCE_DATE_EPOCH", "42"}});
  EXPECT_EQ(r.value("source_date_epoch"), "42");
  command_result none = run({"-c", "a.cc"});
  EXPECT_EQ(none.value("source_date_epoch"), "(unset)");
}

TEST(process_command, gtoggle_flips_the_debug_level) {
  EXPECT_EQ(run({"-gtoggle", "-c", "a.cc"}).value("debug_level"), "2");
  EXPECT_EQ(run({"-g", "-gtoggle", "-c", "a.cc"}).value("debug_level"), "0");
  EXPECT_EQ(run({"-g", "-c", "a.cc"}).value("debug_level"), "2");
}

TEST(process_command, stop_before_link) {
  for (const char *option : {"-c", "-S", "-E", "--compile"})
    EXPECT_EQ(run({option, "a.cc"}).value("stop_before_link"), "1") << option;
  EXPECT_EQ(run({"a.cc"}).value("stop_before_link"), "0");
}

TEST(process_command, output_name_checks) {
  scratch_dir scratch;
  std::string source = scratch.make_file("a.c");
  ASSERT_EQ(symlink("a.c", (scratch.path() + "/link.c").c_str()), 0);

  command_result same = run({"-c", source, "-o", source});
  EXPECT_EQ(same.status, 1);
  EXPECT_THAT(same.err, HasSubstr("fatal error: input file '" + source +
                                  "' is the same as output file"));
  // Canonical paths: a relative spelling and a link are the same file.
  command_result relative = run_command(argv_of({"-c", "./a.c", "-o", source}), {}, scratch.path());
  EXPECT_THAT(relative.err, HasSubstr("input file './a.c' is the same as output file"));
  command_result linked = run({"-c", scratch.path() + "/link.c", "-o", source});
  EXPECT_THAT(linked.err, HasSubstr("is the same as output file"));
  // Linker words and "-" or /dev/null outputs are never compared.
  EXPECT_EQ(run({"-Xlinker", source, "b.o", "-o", source}).status, 0);
  EXPECT_EQ(run({"-x", "c", "/dev/null", "-o", "/dev/null"}).status, 0);
  // A name that cannot be resolved matches nothing.
  EXPECT_EQ(run({"-c", source, "-o", scratch.path() + "/new.o"}).status, 0);

  command_result empty = run({"-c", source, "-o", ""});
  EXPECT_EQ(empty.status, 1);
  EXPECT_EQ(empty.err, "quarn++: fatal error: output filename may not be empty\n"
                       "compilation terminated.\n");
}

TEST(process_command, pipe_gives_way_to_save_temps) {
  command_result r = run({"-pipe", "-save-temps", "-c", "a.cc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, HasSubstr("warning: '-pipe' ignored because '-save-temps' specified"));
  EXPECT_EQ(r.value("use_pipes"), "0");
  EXPECT_EQ(run({"-pipe", "-c", "a.cc"}).value("use_pipes"), "1");
}

TEST(process_command, save_temps_modes) {
  EXPECT_EQ(run({"-save-temps", "-c", "a.cc"}).value("save_temps_mode"), "2");
  EXPECT_EQ(run({"-save-temps=obj", "-c", "a.cc"}).value("save_temps_mode"), "2");
  command_result bad = run({"-save-temps=foo", "-c", "a.cc"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_EQ(bad.err, "quarn++: fatal error: '-save-temps=foo' is an unknown '-save-temps' "
                     "option\ncompilation terminated.\n");
}

TEST(process_command, x_after_the_last_input_warns) {
  const char *warning = "warning: '-x c' after last input file has no effect";
  EXPECT_THAT(run({"-c", "a.cc", "-x", "c"}).err, HasSubstr(warning));
  // The runtime libraries quarn++ adds do not count as inputs named later.
  EXPECT_THAT(run({"a.cc", "-x", "c"}).err, HasSubstr(warning));
  EXPECT_THAT(run({"-x", "c"}).err, Not(HasSubstr("after last input")));
  EXPECT_THAT(run({"-c", "-x", "c", "a.cc"}).err, Not(HasSubstr("after last input")));
  EXPECT_THAT(run({"-c", "a.cc", "-x", "c", "-lfoo"}).err, Not(HasSubstr("after last input")));
}

TEST(process_command, undefined_variables_are_allowed_only_for_bare_queries) {
  struct {
    std::vector<std::string> words;
    const char *allowed;
  } cases[] = {
      {{}, "1"},
      {{"-v"}, "1"},
      {{"--help"}, "1"},
      {{"--help", "--version"}, "1"},
      {{"-v", "a.cc"}, "0"},
      {{"--help", "a.cc"}, "0"},
      {{"-c"}, "0"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(run(c.words).value("undefined_variables_allowed"), c.allowed)
        << (c.words.empty() ? "(none)" : c.words[0]);
}

TEST(process_command, unknown_words_are_kept_for_the_specs) {
  command_result r = run({"-fno-such-thing", "-Wno-such-warning", "-kiwi", "-O2", "-c", "a.cc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r.err, IsEmpty());
  EXPECT_THAT(r["switches"],
              ElementsAreArray(with_companion({"-fno-such-thing (unrecognized)", "-Wno-such-warning",
                                               "-kiwi (unrecognized)", "-O2", "-c"})));
}

TEST(process_command, a_disabled_option_is_an_error) {
  command_result r = run({"-stdlib=", "-c", "a.cc"});
  EXPECT_EQ(r.err, "quarn++: error: command-line option '-stdlib=' is not supported by this "
                   "configuration\n");
  EXPECT_THAT(r["switches"], ElementsAreArray(with_companion({"-c"})));
  // The disabled row takes no argument, so a spelling with one is an unknown word.
  command_result with_value = run({"-stdlib=libc++", "-c", "a.cc"});
  EXPECT_THAT(with_value["switches"],
              ElementsAreArray(with_companion({"-stdlib=libc++ (unrecognized)", "-c"})));
}

TEST(process_command, options_the_driver_rejects_are_errors_at_once) {
  command_result r = run({"-quiet", "-c", "a.cc"});
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "quarn++: error: unrecognized command-line option '-quiet'\n");
  EXPECT_THAT(r["switches"], ElementsAreArray(with_companion({"-c"})));
}

TEST(process_command, driver_option_rows) {
  scratch_dir scratch;
  struct {
    std::vector<std::string> words;
    const char *name;
    const char *value;
    std::vector<std::string> switches;
  } cases[] = {
      {{"--sysroot=/sys"}, "target_root", "/sys", {"--sysroot=/sys (accepted)"}},
      // lld names no suffix of the configured linker, and cancels no other.
      {{"-fuse-ld=lld"}, "linker_suffix", "(unset)", {"-fuse-ld=lld"}},
      {{"-fuse-ld=kiln"}, "linker_suffix", ".kiln", {"-fuse-ld=kiln"}},
      {{"-fuse-ld=kiln", "-fuse-ld=lld"}, "linker_suffix", ".kiln", {"-fuse-ld=kiln", "-fuse-ld=lld"}},
      {{"-fuse-ld=kiln", "-fuse-ld=ochre"}, "linker_suffix", ".ochre", {"-fuse-ld=ochre"}},
      {{"-print-libquarn-file-name"}, "print_file_name", "libquarn.a", {}},
      {{"-###"}, "echo_only", "1", {}},
      {{"-###"}, "verbose", "1", {}},
      {{"-v"}, "verbose", "1", {"-v"}},
      {{"--completion=-fno-"}, "completion", "-fno-", {"--completion=-fno- (accepted)"}},
      {{"-time=" + scratch.path() + "/times"}, "time_file", "open", {}},
      {{"-wrapper", "gdb,--args"}, "wrapper", "gdb,--args", {}},
      {{"-time"}, "report_times", "1", {}},
      {{"-freport-bug"}, "report_bug", "1", {"-freport-bug"}},
      {{"--help"}, "exec_print_help", "1", {"--help"}},
      {{"--help=common"}, "subprocess_help", "2", {"--help=common"}},
      {{"-pass-exit-codes"}, "pass_exit_codes", "1", {}},
      {{"-E"}, "preprocess_only", "1", {"-E"}},
      {{"-fwpa"}, "wpa_mode", "", {"-fwpa"}},
      {{"-fcompare-debug-second"}, "compare_debug_second", "1", {"-fcompare-debug-second"}},
      {{"-save-temps"}, "save_temps_mode", "2", {"-save-temps (accepted)"}},
      {{"-pipe"}, "use_pipes", "1", {"-pipe (accepted)"}},
      {{"-dumpdir", "d/", "-dumpbase", "b"}, "dump_dir", "d/", {"-dumpdir d/", "-dumpbase b"}},
  };
  for (const auto &c : cases) {
    std::vector<std::string> words = c.words;
    words.insert(words.end(), {"-c", "a.cc"});
    command_result r = run(words);
    ASSERT_EQ(r.status, 0) << c.words[0] << r.err;
    EXPECT_EQ(r.value(c.name), c.value) << c.words[0];
    std::vector<std::string> switches = c.switches;
    switches.push_back("-c");
    EXPECT_THAT(r["switches"], ElementsAreArray(with_companion(switches))) << c.words[0];
  }
}

TEST(process_command, saved_spellings_of_path_options) {
  command_result r = run({"-Lfoo", "-L", "bar", "-Fbaz", "-specs=a", "-specs=b", "-lfoo", "-c",
                          "a.cc"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_THAT(r["switches"],
              ElementsAreArray(with_companion({"-Lfoo", "-Lbar", "-Fbaz", "-specs=a (accepted)",
                                               "-specs=b (accepted)", "-c"})));
  EXPECT_THAT(r["specs"], ElementsAre("a", "b"));
  EXPECT_THAT(r["inputs"], ElementsAre("-lfoo [*]", "a.cc"));
}

TEST(process_command, a_timing_file_that_cannot_be_opened_leaves_timing_off) {
  command_result r = run({"-time=/nonexistent-dir/times", "-c", "a.cc"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "quarn++: error: cannot open timing file '/nonexistent-dir/times': No such "
                   "file or directory\n");
  EXPECT_EQ(r.value("time_file"), "(unset)");
}

TEST(process_command, dump_queries_answer_at_once) {
  command_result version = run({"-dumpversion", "-v", "-fno-such"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "12.3.0\n");
  EXPECT_THAT(version.err, IsEmpty());
  command_result full = run({"-dumpfullversion"});
  EXPECT_EQ(full.out, "12.3.0\n");
  command_result machine = run({"-dumpmachine", "-v"});
  EXPECT_EQ(machine.status, 0);
  EXPECT_EQ(machine.out, "aarch64-rivet-freebsd13.4\n");
  EXPECT_THAT(machine.err, IsEmpty());
}

TEST(process_command, offload_targets) {
  struct {
    std::vector<std::string> words;
    const char *targets;
    std::vector<std::string> switches;
    const char *err;
  } cases[] = {
      {{"-foffload=disable"}, "", {}, ""},
      {{"-foffload=default"}, "(unset)", {}, ""},
      {{"-foffload=disable", "-foffload=default"}, "(unset)", {}, ""},
      {{"-foffload=-O3"}, "(unset)", {"-foffload-options=-O3"}, ""},
      {{"-foffload=nvptx"},
       "",
       {},
       "quarn++: error: QUARN is not configured to support 'nvptx' as '-foffload=' argument\n"
       "quarn++: note: valid '-foffload=' arguments are: default disable\n"},
      {{"-foffload=defualt"},
       "",
       {},
       "quarn++: error: QUARN is not configured to support 'defualt' as '-foffload=' argument\n"
       "quarn++: note: valid '-foffload=' arguments are: default disable; did you mean "
       "'default'?\n"},
      {{"-foffload=nvptx=-O2"},
       "",
       {"-foffload-options=nvptx=-O2"},
       "quarn++: error: QUARN is not configured to support 'nvptx' as '-foffload=' argument\n"
       "quarn++: note: valid '-foffload=' arguments are: default disable\n"},
      {{"-foffload-options=-O2"}, "(unset)", {"-foffload-options=-O2"}, ""},
      {{"-foffload-options=nvptx"},
       "(unset)",
       {"-foffload-options=nvptx"},
       "quarn++: error: '='options missing after '-foffload-options='target\n"},
      {{"-foffload-options=nvptx,=-O2"},
       "(unset)",
       {"-foffload-options=nvptx,=-O2"},
       "quarn++: error: QUARN is not configured to support 'nvptx' as '-foffload=' argument\n"
       "quarn++: note: valid '-foffload=' arguments are: default disable\n"},
  };
  for (const auto &c : cases) {
    std::vector<std::string> words = c.words;
    words.insert(words.end(), {"-c", "a.cc"});
    command_result r = run(words);
    ASSERT_EQ(r.status, 0) << c.words[0];
    EXPECT_EQ(r.value("offload_targets"), c.targets) << c.words[0];
    std::vector<std::string> switches = c.switches;
    switches.push_back("-c");
    EXPECT_THAT(r["switches"], ElementsAreArray(with_companion(switches))) << c.words[0];
    EXPECT_EQ(r.err, c.err) << c.words[0];
  }
}

TEST(process_command, tables_end_with_a_terminator) {
  command_result r = run({});
  EXPECT_EQ(r.value("switch_terminator"), "yes");
  EXPECT_EQ(r.value("input_terminator"), "yes");
  // No arguments at all: quarn++ still asks for the shared companion library.
  EXPECT_THAT(r["switches"], ElementsAre("-shared-libquarn (accepted)"));
  EXPECT_THAT(r["inputs"], IsEmpty());
}

// The rows of the worked dump-name table, from whole command lines, with what
// the link step sees.
TEST(process_command, dump_names_from_command_lines) {
  struct {
    std::vector<std::string> words;
    const char *dump_dir;
    const char *out_base;
    const char *out_base_length;
    const char *link_dump_dir;
    const char *link_prefix_length;
  } cases[] = {
      {{"-c", "b.c", "d.c"}, "(unset)", "(unset)", "0", "(unset)", "0"},
      {{"b.c", "d.c", "-o", "ab"}, "ab-", "(unset)", "0", "ab.", "2"},
      {{"b.c", "d.c"}, "a-", "(unset)", "0", "a.", "1"},
      {{"-dumpdir", "f", "b.c", "d.c", "-o", "x"}, "f", "(unset)", "0", "f", "1"},
      {{"-dumpdir", "f", "-dumpbase", "g", "-c", "b.c", "d.c"}, "fg-", "(unset)", "0", "fg.", "2"},
      {{"-dumpdir", "f", "-dumpbase", "g-", "-c", "b.c", "d.c"}, "fg--", "(unset)", "0", "fg-.",
       "3"},
      {{"-save-temps=obj", "b.c", "d.c", "-o", "dir/h"}, "dir/h-", "(unset)", "0", "dir/h.", "5"},
      {{"-save-temps=obj", "b.c", "d.c", "-o", "dir/h.out"}, "dir/h.out-", "(unset)", "0",
       "dir/h.out.", "9"},
      {{"-save-temps=obj", "-c", "b.c", "-o", "dir/b.o"}, "dir/", "b", "1", "dir/b.", "5"},
      {{"foo.c", "-o", "foo"}, "(unset)", "foo", "0", "foo.", "3"},
      {{"-save-temps=cwd", "-dumpdir", "x/", "-c", "b.c", "-o", "o/b.o"}, "x/", "b", "1", "x/b.",
       "3"},
      {{"-dumpdir", "x/", "-save-temps=cwd", "-c", "b.c", "-o", "o/b.o"}, "(unset)", "b", "1",
       "b.", "1"},
      {{"-save-temps", "b.c", "-o", "-"}, "a-", "(unset)", "0", "a.", "1"},
  };
  for (const auto &c : cases) {
    command_result r = run(c.words);
    ASSERT_EQ(r.status, 0) << c.words[0] << r.err;
    std::string title = c.words[0] + " " + c.words[1];
    EXPECT_EQ(r.value("dump_dir"), c.dump_dir) << title;
    EXPECT_EQ(r.value("out_base"), c.out_base) << title;
    EXPECT_EQ(r.value("out_base_length"), c.out_base_length) << title;
    EXPECT_EQ(r.value("link_dump_dir"), c.link_dump_dir) << title;
    EXPECT_EQ(r.value("link_dump_dir_length"), c.link_prefix_length) << title;
  }
}

} // namespace
