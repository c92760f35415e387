// Multilib selection: which library subdirectories a run uses, given the
// multilib texts and the switches in effect, and the -print-multi-lib table.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "common/child_process.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "support/file_lookup.h"
#include "support/multilib.h"

namespace {

// Switch names as they follow the '-'; a leading '~' marks one a spec removed.
struct switches_of {
  explicit switches_of(std::vector<std::string> names) : names_(std::move(names)) {
    for (const std::string &name : names_) {
      driver_switch sw;
      bool removed = name[0] == '~';
      sw.name = name.c_str() + (removed ? 1 : 0);
      sw.liveness = removed ? SWITCH_REMOVED : 0;
      entries_.push_back(sw);
    }
    entries_.push_back(driver_switch());
    table_.entries = entries_.data();
    table_.count = static_cast<int>(names_.size());
    table_.capacity = table_.count + 1;
  }
  const switch_table *table() const { return &table_; }

private:
  std::vector<std::string> names_;
  std::vector<driver_switch> entries_;
  switch_table table_;
};

// The built-in texts, with the fields a case changes.
struct texts_case {
  const char *select = ". ;";
  const char *defaults = "mabi=lp64";
  const char *matches = "";
  const char *exclusions = "";
  const char *reuse = "";
  const char *options = "";
  const char *extra = "";
  multilib_texts texts() const {
    return {select, defaults, matches, exclusions, reuse, options, extra};
  }
};

const char *const ilp32_select = ". !mabi=ilp32;ilp32 mabi=ilp32;";
const char *const ilp32_matches = "mabi=ilp32 mabi=ilp32;";

std::string or_none(const char *text) {
  return text ? text : "(none)";
}

class Multilib : public testing::Test {
protected:
  void SetUp() override { reset_multilib_state(); }
  void TearDown() override {
    reset_multilib_state();
    selected_multilib = multilib_dirs();
  }
};

TEST_F(Multilib, Selection) {
  const struct {
    const char *what;
    texts_case texts;
    std::vector<std::string> switches;
    const char *subdir, *os_subdir, *multiarch;
  } cases[] = {
      {"built-in texts", {}, {"mabi=ilp32", "O2"}, nullptr, nullptr, nullptr},
      {"ilp32 asked for",
       {ilp32_select, "mabi=lp64", ilp32_matches},
       {"O2", "mabi=ilp32"},
       "ilp32",
       "ilp32",
       nullptr},
      {"ilp32 not asked for",
       {ilp32_select, "mabi=lp64", ilp32_matches},
       {"O2"},
       nullptr,
       nullptr,
       nullptr},
      {"ilp32 removed by a spec",
       {ilp32_select, "mabi=lp64", ilp32_matches},
       {"~mabi=ilp32"},
       nullptr,
       nullptr,
       nullptr},
      {"a switch no pair maps",
       {ilp32_select, "mabi=lp64", ilp32_matches},
       {"mabi=ilp32x"},
       nullptr,
       nullptr,
       nullptr},
      {"entries on separate lines",
       {". !mabi=ilp32;\nilp32 mabi=ilp32;\n", "mabi=lp64", ilp32_matches},
       {"mabi=ilp32"},
       "ilp32",
       "ilp32",
       nullptr},
      {"the reuse text adds entries",
       {". !mabi=ilp32;", "mabi=lp64", ilp32_matches, "", "ilp32 mabi=ilp32;"},
       {"mabi=ilp32"},
       "ilp32",
       "ilp32",
       nullptr},
      {"pairs map other spellings",
       {ilp32_select, "mabi=lp64", "mabi=x mabi=ilp32;mx32 mabi=ilp32;"},
       {"mx32"},
       "ilp32",
       "ilp32",
       nullptr},
      {"a default-only entry matching first",
       {"lp64 mabi=lp64;ilp32 mabi=ilp32;"},
       {},
       "lp64",
       "lp64",
       nullptr},
      {"a default-only entry after the default set",
       {". !mabi=ilp32;lp64 mabi=lp64;"},
       {},
       nullptr,
       nullptr,
       nullptr},
      {"OS and multiarch directories",
       {". !mabi=ilp32;ilp32:../libilp32:aarch64-ilp32 mabi=ilp32;", "mabi=lp64", ilp32_matches},
       {"mabi=ilp32"},
       "ilp32",
       "../libilp32",
       "aarch64-ilp32"},
      {"an OS directory for the default set", {".:../lib64 ;"}, {}, ".", "../lib64", nullptr},
      {"an empty OS directory", {"x: ;"}, {}, "x", ".", nullptr},
      {"an empty OS directory after the default set", {". ;y: ;"}, {}, nullptr, nullptr, nullptr},
      {"an OS directory after the default set", {". ;y:o:arch ;"}, {}, nullptr, "o", "arch"},
      {"a default needs no switch but names no OS directory",
       {"lp64:../lib64 mabi=lp64;"},
       {},
       "lp64",
       "lp64",
       nullptr},
      {"a default in effect names the OS directory",
       {"lp64:../lib64 mabi=lp64;", "mabi=lp64", "", "", "", "mabi=lp64/mabi=ilp32"},
       {},
       "lp64",
       "../lib64",
       nullptr},
      {"an exclusion in effect",
       {ilp32_select, "mabi=lp64", ilp32_matches, "mabi=ilp32;"},
       {"mabi=ilp32"},
       nullptr,
       nullptr,
       nullptr},
      {"an exclusion not in effect",
       {ilp32_select, "mabi=lp64", ilp32_matches, "mabi=ilp32 mfoo;"},
       {"mabi=ilp32"},
       "ilp32",
       "ilp32",
       nullptr},
      {"a negated exclusion in effect",
       {"lp64 mabi=lp64;", "mabi=lp64", ilp32_matches, "!mabi=ilp32;"},
       {},
       nullptr,
       nullptr,
       nullptr},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    reset_multilib_state();
    selected_multilib = {"stale", "stale", "stale"};
    switches_of switches(c.switches);
    multilib_texts texts = c.texts.texts();
    select_multilib(&texts, switches.table());
    EXPECT_EQ(or_none(selected_multilib.multilib_subdir), or_none(c.subdir));
    EXPECT_EQ(or_none(selected_multilib.multilib_os_subdir), or_none(c.os_subdir));
    EXPECT_EQ(or_none(selected_multilib.multiarch_subdir), or_none(c.multiarch));
  }
}

TEST_F(Multilib, UsedAndDefaultArgs) {
  const struct {
    const char *what;
    const char *matches;
    const char *options;
    std::vector<std::string> switches;
    std::vector<std::string> used;
    std::vector<std::string> unused;
  } cases[] = {
      {"built-in texts", "", "", {"mabi=ilp32"}, {}, {"mabi=ilp32", "mabi=lp64"}},
      {"the first matching pair",
       "mabi=ilp32 first;mabi=ilp32 second;",
       "",
       {"mabi=ilp32"},
       {"first"},
       {"second", "mabi=ilp32"}},
      {"a default whose group has no other choice",
       "",
       "mabi=lp64/mabi=ilp32",
       {},
       {"mabi=lp64"},
       {"mabi=ilp32"}},
      {"a default whose group has another choice",
       ilp32_matches,
       "mabi=ilp32/mabi=lp64",
       {"mabi=ilp32"},
       {"mabi=ilp32"},
       {"mabi=lp64"}},
      {"a default in a later group",
       "",
       "  mbig-endian  mabi=lp64/mabi=ilp32",
       {},
       {"mabi=lp64"},
       {"mbig-endian"}},
      {"an alternative longer than the default",
       "",
       "mabi=lp64x/mabi=ilp32",
       {},
       {},
       {"mabi=lp64", "mabi=lp64x"}},
  };
  const std::string defaults = "mabi=lp64";
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    reset_multilib_state();
    texts_case t;
    t.matches = c.matches;
    t.options = c.options;
    multilib_texts texts = t.texts();
    switches_of switches(c.switches);
    for (const std::string &word : c.used)
      EXPECT_TRUE(is_used_arg(&texts, switches.table(), word.c_str(), word.size())) << word;
    for (const std::string &word : c.unused)
      EXPECT_FALSE(is_used_arg(&texts, switches.table(), word.c_str(), word.size())) << word;
    EXPECT_TRUE(is_default_arg(&texts, defaults.c_str(), defaults.size()));
  }
}

TEST_F(Multilib, WordsCompareOverTheGivenLength) {
  texts_case t{ilp32_select, "mabi=lp64 \tmcmodel=small", ilp32_matches};
  multilib_texts texts = t.texts();
  switches_of switches({"mabi=ilp32"});
  EXPECT_TRUE(is_used_arg(&texts, switches.table(), "mabi=ilp32;rest", 10));
  EXPECT_FALSE(is_used_arg(&texts, switches.table(), "mabi=ilp3", 9));
  EXPECT_TRUE(is_default_arg(&texts, "mcmodel=small", 13));
  EXPECT_TRUE(is_default_arg(&texts, "mabi=lp64 more", 9));
  EXPECT_FALSE(is_default_arg(&texts, "mabi=lp6", 8));
}

// The sets are made on first use and kept for the run.
TEST_F(Multilib, UsedSwitchesAreBuiltOnce) {
  texts_case t{ilp32_select, "mabi=lp64", ilp32_matches};
  multilib_texts texts = t.texts();
  switches_of with({"mabi=ilp32"});
  switches_of without({});
  EXPECT_TRUE(is_used_arg(&texts, with.table(), "mabi=ilp32", 10));
  EXPECT_TRUE(is_used_arg(&texts, without.table(), "mabi=ilp32", 10));
}

TEST_F(Multilib, PrintTable) {
  const struct {
    const char *what;
    texts_case texts;
    const char *output;
  } cases[] = {
      {"built-in texts", {}, ".;\n"},
      {"ilp32 layout", {ilp32_select}, ".;\nilp32;@mabi=ilp32\n"},
      {"entries on separate lines", {". ;\nilp32 mabi=ilp32;\n"}, ".;\nilp32;@mabi=ilp32\n"},
      {"a default-only entry",
       {". !mabi=ilp32;lp64 mabi=lp64;ilp32 mabi=ilp32;"},
       ".;\nilp32;@mabi=ilp32\n"},
      {"a negated default keeps its entry", {"ilp32 !mabi=lp64;"}, "ilp32;\n"},
      {"the default set's OS directory entry",
       {".:../lib64 ;ilp32 mabi=ilp32;"},
       "ilp32;@mabi=ilp32\n"},
      {"a directory named by multiarch only", {".::aarch64 ;"}, ".;\n"},
      {"the OS directory is not printed",
       {"ilp32:../libilp32:arch mabi=ilp32;"},
       "ilp32;@mabi=ilp32\n"},
      {"the same directory twice",
       {"ilp32 mabi=ilp32;ilp32 mabi=ilp32 mbig-endian;"},
       "ilp32;@mabi=ilp32\n"},
      {"the reuse text is not printed", {". ;", "mabi=lp64", "", "", "ilp32 mabi=ilp32;"}, ".;\n"},
      {"an excluded combination",
       {". ;ilp32 mabi=ilp32;be mbig-endian;ilp32be mabi=ilp32 mbig-endian;", "mabi=lp64", "",
        "mabi=ilp32 mbig-endian;"},
       ".;\nilp32;@mabi=ilp32\nbe;@mbig-endian\n"},
      {"an exclusion met through a default",
       {". ;be mbig-endian;", "mabi=lp64", "", "\nmabi=lp64 mbig-endian;"},
       ".;\n"},
      {"exclusion words keep their '!'",
       {ilp32_select, "mabi=lp64", "", "!mabi=ilp32;"},
       "ilp32;@mabi=ilp32\n"},
      {"extra words on every line",
       {ilp32_select, "mabi=lp64", "", "", "", "", "mfoo  mbar"},
       ".;@mfoo@mbar\nilp32;@mabi=ilp32@mfoo@mbar\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    reset_multilib_state();
    multilib_texts texts = c.texts.texts();
    EXPECT_EQ(capture_stdout([&texts] { print_multilib_table(&texts); }), c.output);
  }
}

enum malformed_step { IN_SELECTION, IN_TABLE, IN_USED_ARG };

TEST_F(Multilib, MalformedTextsAreFatal) {
  const struct {
    const char *what;
    texts_case texts;
    malformed_step step;
    const char *message;
  } cases[] = {
      {"last pair without ';'",
       {ilp32_select, "mabi=lp64", "mabi=ilp32 mabi=ilp32"},
       IN_USED_ARG,
       "multilib spec 'mabi=ilp32 mabi=ilp32' is invalid"},
      {"later pair without ';'",
       {ilp32_select, "mabi=lp64", "a b;mabi=ilp32 mabi=ilp32"},
       IN_SELECTION,
       "multilib spec 'a b;mabi=ilp32 mabi=ilp32' is invalid"},
      {"pair without its space",
       {ilp32_select, "mabi=lp64", "mabi=ilp32;"},
       IN_SELECTION,
       "multilib spec 'mabi=ilp32;' is invalid"},
      {"space inside the replacement",
       {ilp32_select, "mabi=lp64", "a b c;"},
       IN_USED_ARG,
       "multilib spec 'a b c;' is invalid"},
      {"exclusion without ';'",
       {". ;", "mabi=lp64", "", "mabi=ilp32"},
       IN_SELECTION,
       "multilib exclusions 'mabi=ilp32' is invalid"},
      {"later exclusion without ';'",
       {". ;", "mabi=lp64", "", "mfoo;\nmbar !mbaz"},
       IN_SELECTION,
       // %qs writes the newline as an escape.
       "multilib exclusions 'mfoo;\\x0ambar !mbaz' is invalid"},
      {"select entry without ';'",
       {". ;ilp32 mabi=ilp32"},
       IN_SELECTION,
       "multilib select '. ;ilp32 mabi=ilp32' '' is invalid"},
      {"skipped words reach the end",
       {". !mabi=ilp32 mfoo"},
       IN_SELECTION,
       "multilib select '. !mabi=ilp32 mfoo' '' is invalid"},
      {"select entry without its space",
       {"ilp32"},
       IN_SELECTION,
       "multilib select 'ilp32' '' is invalid"},
      {"reuse entry without ';'",
       {". !mabi=ilp32;", "mabi=lp64", "", "", "ilp32 mabi=ilp32"},
       IN_SELECTION,
       "multilib select '. !mabi=ilp32;' 'ilp32 mabi=ilp32' is invalid"},
      {"table entry without ';'",
       {". ;ilp32 mabi=ilp32"},
       IN_TABLE,
       "multilib select '. ;ilp32 mabi=ilp32' is invalid"},
      {"table entry without its space", {".;"}, IN_TABLE, "multilib select '.;' is invalid"},
      {"skipped table entry without ';'",
       {".:../lib64 mfoo"},
       IN_TABLE,
       "multilib select '.:../lib64 mfoo' is invalid"},
      {"exclusion without ';' in the table",
       {". ;", "mabi=lp64", "", "mfoo"},
       IN_TABLE,
       "multilib exclusion 'mfoo' is invalid"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    reset_multilib_state();
    multilib_texts texts = c.texts.texts();
    malformed_step step = c.step;
    child_result child = run_in_child([&texts, step] {
      progname = "quarn++";
      diag_context_init(global_dc);
      if (!freopen("/dev/null", "w", stdout))
        _exit(5);
      switches_of switches({"mabi=ilp32"});
      if (step == IN_SELECTION)
        select_multilib(&texts, switches.table());
      else if (step == IN_TABLE)
        print_multilib_table(&texts);
      else
        is_used_arg(&texts, switches.table(), "x", 1);
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.err, fatal_error_output(c.message));
  }
}

// Texts that only look odd are not malformed.
TEST_F(Multilib, WellFormedEdgesAreNotFatal) {
  const texts_case cases[] = {
      {"", "", ""},
      {"\n\n. ;\n", "mabi=lp64", "a b;c d;"},
      {". ;", "mabi=lp64", "", "\n\n"},
  };
  for (const texts_case &t : cases) {
    child_result child = run_in_child([&t] {
      progname = "quarn++";
      diag_context_init(global_dc);
      reset_multilib_state();
      if (!freopen("/dev/null", "w", stdout))
        _exit(5);
      multilib_texts texts = t.texts();
      switches_of switches({"a"});
      select_multilib(&texts, switches.table());
      print_multilib_table(&texts);
      _exit(is_used_arg(&texts, switches.table(), "x", 1) ? 3 : 0);
    });
    EXPECT_EQ(child.status, 0) << t.select;
    EXPECT_EQ(child.err, "");
  }
}

} // namespace
