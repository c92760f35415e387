// File-name and temporary-name directives: the current input and its base,
// the output slots, temporary-name bindings, save-temps names and response
// files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "common/child_process.h"
#include "driver/driver_state.h"
#include "interp_test_support.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/file_names.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"
#include "support/alloc.h"
#include "support/response_files.h"
#include "support/temp_files.h"

using testing::HasSubstr;
using testing::StartsWith;

namespace {

class file_names : public in_fresh_world<testing::Test> {};

struct input_case {
  const char *name;
  int base_full_len;
  int base_len;
  const char *suffix;
};

class input_parts : public testing::TestWithParam<input_case> {};

TEST_P(input_parts, split_base_and_suffix) {
  reset_interpreter_world();
  const input_case &c = GetParam();
  select_input(c.name);
  const char *slash = strrchr(c.name, '/');
  EXPECT_EQ(interpreter.cur_base, slash ? slash + 1 : c.name);
  EXPECT_EQ(interpreter.cur_input_name_len, int(strlen(c.name)));
  EXPECT_EQ(interpreter.cur_base_full_len, c.base_full_len);
  EXPECT_EQ(interpreter.cur_base_len, c.base_len);
  EXPECT_STREQ(interpreter.cur_suffix, c.suffix);
  EXPECT_EQ(interpreter.cur_input_identity, IDENTITY_UNKNOWN);
}

INSTANTIATE_TEST_SUITE_P(names, input_parts,
                         testing::Values(input_case{"dir/foo.c", 5, 3, "c"},
                                         input_case{"dir/.hidden", 7, 7, ""},
                                         input_case{"a.b.c", 5, 3, "c"},
                                         input_case{"noext", 5, 5, ""},
                                         input_case{"dir/x.", 2, 1, ""},
                                         input_case{"d.ir/x", 1, 1, ""},
                                         input_case{"/abs/.a.cc", 5, 2, "cc"}));

TEST_F(file_names, base_names_and_input_name) {
  select_input("dir/foo.c");
  EXPECT_EQ(expand("%b %B %i %b.o"), (words{"foo", "foo.c", "dir/foo.c", "foo.o"}));
  select_input("dir/.hidden");
  EXPECT_EQ(expand("%b|%B"), (words{".hidden", "|.hidden"}));
}

TEST_F(file_names, out_base_and_dump_dir_except_for_the_output_argument) {
  select_input("dir/foo.c");
  driver.out_base = xstrdup("ob");
  driver.out_base_length = 2;
  driver.dump_dir = xstrdup("dd/");
  driver.dump_dir_length = 3;
  EXPECT_EQ(expand("%b %w%b.o %B"), (words{"dd/ob", "foo.o", "dd/ob.c"}));
  // A kept name without its length is not put in front.
  driver.out_base_length = 0;
  driver.dump_dir_length = 0;
  EXPECT_EQ(expand("%b"), (words{"foo"}));
}

TEST_F(file_names, second_compare_debug_run_marks_the_base) {
  select_input("foo.c");
  driver.compare_debug_mode = -1;
  EXPECT_EQ(expand("%b %B"), (words{"foo.gk", "foo.gk.c"}));
}

TEST(file_names_fatal, base_name_without_input_is_an_internal_error) {
  for (const char *text : {"%b", "%B"}) {
    child_result child = run_in_child([&] {
      reset_interpreter_world();
      expand_spec(text, nullptr);
    });
    EXPECT_EQ(child.status, 4) << text;
    EXPECT_THAT(child.err, HasSubstr("quarn++: internal compiler error: in do_spec_1, at ")) << text;
  }
}

TEST_F(file_names, combined_inputs_of_the_same_compiler) {
  static const compiler_entry c_row = {"@c", "", nullptr, true, true};
  static const compiler_entry f_row = {"@f", "", nullptr, true, false};
  add_input("a.c", nullptr);
  add_input("b.c", nullptr);
  add_input("-lm", "*");
  add_input("d.f", nullptr);
  add_input("e.c", "*");
  driver.inputs.entries[0].compiler = &c_row;
  driver.inputs.entries[1].compiler = &c_row;
  driver.inputs.entries[3].compiler = &f_row;
  driver.inputs.entries[4].compiler = &c_row;
  driver.compile_together = true;
  interpreter.cur_compiler = &c_row;
  // The argument in progress is not finished first.
  EXPECT_EQ(expand("pre x%i"), (words{"pre", "a.c", "b.c", "x"}));
  bool compiled[] = {true, true, false, false, false};
  for (int i = 0; i < 5; i++)
    EXPECT_EQ(driver.inputs.entries[i].compiled, compiled[i]) << i;
}

TEST_F(file_names, output_files_in_slot_order) {
  make_output_slots(4);
  driver.output_files[0] = "a.o";
  driver.output_files[2] = "";
  driver.output_files[3] = "lib.so";
  EXPECT_EQ(expand("ld %o -lc"), (words{"ld", "a.o", "lib.so", "-lc"}));
}

TEST_F(file_names, output_slot_set_by_w_and_cleared_by_V) {
  make_output_slots(2);
  select_input("foo.c");
  interpreter.cur_input_index = 1;
  EXPECT_EQ(expand("-o %w%b.o"), (words{"-o", "foo.o"}));
  EXPECT_STREQ(driver.output_files[1], "foo.o");
  expand("%V");
  EXPECT_EQ(driver.output_files[1], nullptr);
}

TEST_F(file_names, output_slot_rules_past_the_last_slot) {
  make_output_slots(2);
  driver.output_files[0] = "kept.o";
  select_input("foo.c");
  // The link step: one past the last slot.
  interpreter.cur_input_index = 2;
  EXPECT_EQ(expand("%wlinked %V"), (words{"linked"}));
  EXPECT_STREQ(driver.output_files[0], "kept.o");
  EXPECT_EQ(driver.output_files[1], nullptr);
  // The terminator past the slots is untouched too.
  EXPECT_EQ(driver.output_files[2], nullptr);
}

// Temporary names, in a child that removes its files at the end.
std::string in_child(const std::function<std::string()> &body) {
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    std::string out = body();
    remove_temp_files();
    fprintf(stderr, "%s", out.c_str());
  });
  EXPECT_EQ(child.status, 0) << child.err;
  return child.err;
}

bool is_temp_with_suffix(const std::string &name, const std::string &suffix) {
  std::string dir = temp_dir();
  return name.rfind(dir + "cc", 0) == 0 && name.size() == dir.size() + 8 + suffix.size() &&
         name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TEST(temp_names, bindings_by_suffix_and_uniqueness) {
  std::string out = in_child([] {
    select_input("a.c");
    words w = expand("%g.s %g.s %u.o %u.o %U.o %|.s %m.s %g%O %g.s%O");
    std::string r;
    r += is_temp_with_suffix(w[0], ".s") ? "g " : "bad-g ";
    r += w[0] == w[1] ? "same " : "differ ";
    r += w[2] != w[3] ? "u-fresh " : "u-same ";
    r += w[4] == w[3] ? "U-last " : "U-other ";
    r += w[2] != w[0] && is_temp_with_suffix(w[2], ".o") ? "u-own " : "u-shared ";
    r += w[5] == w[0] && w[6] == w[0] ? "pipe-names-share " : "pipe-names-own ";
    r += is_temp_with_suffix(w[7], ".o") && w[7] != w[3] ? "O " : "bad-O ";
    r += is_temp_with_suffix(w[8], ".s.o") ? "sO " : "bad-sO ";
    // The next input's compile step gets the same file for the same suffix.
    select_input("b.c");
    r += expand("%g.s")[0] == w[0] ? "across-inputs" : "per-input";
    return r;
  });
  EXPECT_EQ(out, "g same u-fresh U-last u-own pipe-names-share O sO across-inputs");
}

TEST(temp_names, recorded_for_deletion_and_made) {
  std::string out = in_child([] {
    forget_temp_lists();
    select_input("a.c");
    words w = expand("%g.s");
    std::string r = access(w[0].c_str(), F_OK) == 0 ? "exists " : "missing ";
    temp_file_entry *e = always_delete_list.load();
    r += e && w[0] == e->name ? "always" : "not-recorded";
    return r;
  });
  EXPECT_EQ(out, "exists always");
}

TEST(temp_names, pipe_mode_and_null_device) {
  std::string out = in_child([] {
    select_input("a.c");
    global_options.use_pipes = 1;
    words w = expand("-o %|.s%O a%m.s b %j");
    std::string r;
    for (const std::string &word : w)
      r += "[" + word + "]";
    return r;
  });
  EXPECT_EQ(out, "[-o][-][a][b][/dev/null]");
}

TEST(temp_names, null_device_takes_no_suffix) {
  std::string out = in_child([] {
    select_input("a.c");
    words w = expand("%j.o");
    return w[0];
  });
  EXPECT_EQ(out, "/dev/null.o");
}

TEST(temp_names, second_compare_debug_run_marks_the_suffix) {
  std::string out = in_child([] {
    select_input("a.c");
    std::string first = expand("%g.s")[0];
    driver.compare_debug_mode = -1;
    std::string second = expand("%g.s")[0];
    return std::string(is_temp_with_suffix(second, ".gk.s") ? "gk " : "bad ") +
           (second != first ? "own-binding" : "shared");
  });
  EXPECT_EQ(out, "gk own-binding");
}

TEST(temp_names, suffix_after_object_suffix_is_fatal) {
  child_result child = expand_in_child("%g%Ox", [] { select_input("a.c"); });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("spec '%g%Ox' has invalid '%0x'"));
}

// Save-temps names, in a scratch working directory.
class save_temps : public testing::Test {
protected:
  void SetUp() override {
    char pattern[] = "/tmp/quarn-save-XXXXXX";
    dir_ = mkdtemp(pattern);
  }
  void TearDown() override { std::system(("rm -rf '" + dir_ + "'").c_str()); }
  std::string run(const std::function<std::string()> &body) {
    return in_child([&] {
      if (chdir(dir_.c_str()) != 0)
        return std::string("no chdir");
      driver.save_temps_mode = SAVE_TEMPS_CWD;
      return body();
    });
  }
  std::string dir_;
};

TEST_F(save_temps, names_from_the_base_dump_dir_and_out_base) {
  std::string out = run([] {
    select_input("src/foo.c");
    std::string r = expand("%g.i %u.s %j.o")[0] + " " + expand("%u.s")[0] + " " + expand("%j.o")[0];
    driver.dump_dir = xstrdup("dd/");
    driver.dump_dir_length = 3;
    r += " " + expand("%g.i")[0];
    driver.out_base = xstrdup("ob");
    driver.out_base_length = 2;
    r += " " + expand("%g.i")[0];
    driver.compare_debug_mode = -1;
    r += " " + expand("%g.i")[0];
    return r;
  });
  EXPECT_EQ(out, "foo.i foo.s foo.o dd/foo.i dd/ob.i dd/ob.gk.i");
}

TEST_F(save_temps, no_base_drops_the_suffix_dot) {
  std::string out = run([] {
    select_input("foo.c");
    clear_input_base();
    std::string r = expand("%g.i")[0];
    driver.dump_dir = xstrdup("dd-");
    driver.dump_dir_length = 3;
    driver.dump_dir_dash_added = true;
    return r + " " + expand("%g.i")[0];
  });
  EXPECT_EQ(out, "i dd-.i");
}

TEST_F(save_temps, the_input_itself_is_never_the_save_temps_name) {
  fclose(fopen((dir_ + "/foo.i").c_str(), "w"));
  std::string out = run([] {
    std::string r;
    // Same name.
    select_input("foo.i");
    std::string same = expand("%g.i")[0];
    r += is_temp_with_suffix(same, ".i") ? "temp " : "save:" + same + " ";
    // Same file under another name.
    select_input("./foo.i");
    std::string other = expand("%u.i")[0];
    r += is_temp_with_suffix(other, ".i") ? "temp " : "save:" + other + " ";
    // A different input keeps the save-temps name.
    select_input("bar.c");
    r += expand("%g.i")[0];
    return r;
  });
  EXPECT_EQ(out, "temp temp bar.i");
}

// Response files, in a scratch working directory so that save-temps names
// land there.
class response_files : public save_temps {};

TEST_F(response_files, output_files_go_through_one_file) {
  std::string out = in_child([] {
    at_file_supplied = true;
    make_output_slots(2);
    driver.output_files[0] = "a.o";
    driver.output_files[1] = "b c.o";
    words w = expand("ld %o -lc");
    if (w.size() != 3 || w[1][0] != '@')
      return std::string("unexpected words");
    std::string name = w[1].substr(1);
    std::string r = (is_temp_with_suffix(name, "") ? "temp " : "named ") + read_file(name);
    temp_file_entry *a = always_delete_list.load(), *f = failure_delete_list.load();
    r += a && f && name == a->name && name == f->name ? "noted" : "not-noted";
    return w[0] + " " + w[2] + " " + r;
  });
  EXPECT_EQ(out, "ld -lc temp a.o\nb\\ c.o\nnoted");
}

TEST_F(response_files, group_arguments_and_empty_groups) {
  std::string out = run([] {
    at_file_supplied = true;
    add_switch("-o", {"x"});
    std::string r;
    for (const std::string &word : expand("%@{o*} %@{q*} %@{o*}"))
      r += "[" + word + "]";
    return r + read_file("a.args.0") + read_file("a.args.1");
  });
  EXPECT_EQ(out, "[@a.args.0][@a.args.1]-o\nx\n-o\nx\n");
}

TEST_F(response_files, names_under_save_temps) {
  std::string out = run([] {
    at_file_supplied = true;
    add_switch("-v");
    std::string r = expand("%@{v}")[0];
    driver.dump_dir = xstrdup("dd-");
    driver.dump_dir_dash_added = true;
    r += " " + expand("%@{v}")[0];
    driver.dump_base = xstrdup("db");
    r += " " + expand("%@{v}")[0];
    return r;
  });
  EXPECT_EQ(out, "@a.args.0 @dd-args.1 @db.args.2");
}

TEST_F(file_names, groups_without_response_files_write_in_place) {
  add_switch("-o", {"x"});
  EXPECT_EQ(expand("%@{o*}"), (words{"-o", "x"}));
}

TEST(response_files_fatal, nested_and_unopened_files) {
  child_result nested = run_in_child([] {
    reset_interpreter_world();
    at_file_supplied = true;
    add_switch("-o", {"x"});
    expand_spec("%@{o*:%@{o*}}", nullptr);
  });
  EXPECT_EQ(nested.status, 1);
  EXPECT_EQ(nested.err,
            "quarn++: fatal error: cannot open nested response file\ncompilation terminated.\n");
  child_result unopened = run_in_child([] {
    reset_interpreter_world();
    flush_response_file();
  });
  EXPECT_EQ(unopened.status, 1);
  EXPECT_EQ(unopened.err, "quarn++: fatal error: cannot close nonexistent response file\n"
                          "compilation terminated.\n");
}

TEST_F(response_files, unwritable_file_is_fatal) {
  child_result child = run_in_child([&] {
    reset_interpreter_world();
    driver.save_temps_mode = SAVE_TEMPS_CWD;
    at_file_supplied = true;
    // The name lands in a directory that does not exist.
    driver.dump_base = xstrdup((dir_ + "/missing/db").c_str());
    add_switch("-v");
    expand_spec("%@{v}", nullptr);
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, "quarn++: fatal error: could not open temporary response file " + dir_ +
                           "/missing/db.args.0\ncompilation terminated.\n");
}

} // namespace
