// Conditional groups and switch selection: which switches a group writes or
// tests, the override rules, removal, starred substitution, suffix override,
// the invalid forms and the accepted-switch scan.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <utility>

#include "common/child_process.h"
#include "driver/driver_state.h"
#include "interp_test_support.h"
#include "specs/brace_groups.h"
#include "specs/compilers.h"
#include "specs/file_names.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_state.h"

namespace {

// A switch given on the command line: its text and separate arguments.
struct given_switch {
  given_switch(const char *text, words args = {}) : text(text), args(std::move(args)) {}
  const char *text;
  words args;
};

struct group_case {
  const char *name;
  std::vector<given_switch> switches;
  const char *text;
  words expected;
};

class group_words : public in_fresh_world<testing::TestWithParam<group_case>> {};

TEST_P(group_words, give_the_arguments) {
  for (const given_switch &sw : GetParam().switches)
    add_switch(sw.text, sw.args);
  std::string err;
  words got;
  err = capture_stderr([&] { got = expand(GetParam().text); });
  EXPECT_EQ(got, GetParam().expected);
  EXPECT_EQ(err, "");
}

INSTANTIATE_TEST_SUITE_P(
    selection, group_words,
    testing::Values(
        // An atom of length 1 records no decision: both are written.
        group_case{"short_prefix_writes_both", {{"-O2"}, {"-O3"}}, "%{O*}", {"-O2", "-O3"}},
        group_case{"later_O_overrides", {{"-O2"}, {"-O3"}}, "%{O2:X}%{O3:Y}", {"Y"}},
        group_case{"override_decision_persists", {{"-O2"}, {"-O3"}}, "%{O2:X} %{O*}", {"-O3"}},
        group_case{"no_form_overridden", {{"-fno-foo"}, {"-ffoo"}}, "%{ffoo:X} %{fno-foo:Y}", {"X"}},
        group_case{"positive_form_overridden", {{"-Wbar"}, {"-Wno-bar"}}, "%{Wbar:X} %{Wno-bar:Y}",
                   {"Y"}},
        group_case{"other_letters_not_overridden", {{"-xa"}, {"-xno-a"}}, "%{xa:X} %{xno-a:Y}",
                   {"X", "Y"}},
        group_case{"negation_when_absent", {}, "%{!S:X}", {"X"}},
        group_case{"negation_when_present", {{"-S"}}, "%{!S:X}", {}},
        group_case{"negation_when_overridden", {{"-gz"}, {"-gno-z"}}, "%{!gz:X}", {"X"}},
        group_case{"otherwise_taken", {}, "%{S:X;:Y}", {"Y"}},
        group_case{"otherwise_skipped", {{"-S"}}, "%{S:X;:Y}", {"X"}},
        group_case{"no_alternative", {}, "%{S:X;T:Y}", {}},
        group_case{"second_alternative", {{"-T"}}, "%{S:X;T:Y}", {"Y"}},
        group_case{"first_alternative_wins", {{"-S"}, {"-T"}}, "%{S:X;T:Y}", {"X"}},
        group_case{"or_atoms", {{"-b"}}, "%{a|b:X}", {"X"}},
        group_case{"blanks_around_atoms", {{"-b"}}, "%{ ! b | a : X ; : Y }", {"Y"}},
        group_case{"body_keeps_inner_group", {{"-a"}, {"-b"}}, "%{a:x%{b:y;:z}w}", {"xyw"}},
        group_case{"body_is_its_own_text", {{"-a"}}, "%{a:p}q", {"pq"}},
        // Skipped bodies: only braces, ';' and '%*' at level 1 count.
        group_case{"skipped_body_with_inner_groups", {{"-b"}},
                   "%{a:-one %{b:X;:Y} -two %{c:Z} -three;b:B}", {"B"}},
        group_case{"skipped_inner_soft_match", {{"-b"}}, "%{a:%{c*:-%*};b:B}", {"B"}},
        group_case{"skipped_percent_before_semicolon", {{"-b"}}, "%{a:100%;b:B}", {"B"}},
        group_case{"soft_match_after_inner_group", {{"-ab"}}, "%{a*:%{c:x}-%*}", {"-b"}},
        // Bodies run inside run bodies find their ends as the outer scan did.
        group_case{"three_run_bodies_deep", {{"-a"}, {"-b"}, {"-c"}},
                   "%{a:%{b:%{c:X;:Y}Z;:W}V}", {"XZV"}},
        group_case{"inner_alternative_after_skipped_group", {{"-a"}, {"-c"}},
                   "%{a:%{b:%{x:1};c:%{c:2}3}}", {"23"}},
        group_case{"inner_soft_match_then_group", {{"-a"}, {"-DQ"}, {"-b"}},
                   "%{a:%{D*:-X%*%{b:B}}}", {"-XQB"}},
        group_case{"starred_body_per_switch", {{"-DA"}, {"-DB=1"}}, "%{D*:-X%*}", {"-XA", "-XB=1"}},
        group_case{"starred_body_with_arguments", {{"-Ia"}, {"-I", {"b"}}}, "%{I*:-J%*}",
                   {"-Ja", "-J", "b"}},
        group_case{"soft_match_then_text", {{"-foo=hello"}}, "%{foo=*:bar%*}%{foo=*:one%*two}",
                   {"barhello", "onehellotwo"}},
        group_case{"ordered_selection_keeps_line_order",
                   {{"-DX"}, {"-UY"}, {"-DZ"}, {"-AW"}, {"-Q"}},
                   "%{D*&U*&A*}",
                   {"-DX", "-UY", "-DZ", "-AW"}},
        group_case{"selection_writes_arguments", {{"-o", {"a.out"}}}, "%{o}", {"-o", "a.out"}},
        group_case{"selection_continues_the_argument", {{"-v"}}, "x%{v}", {"x-v"}},
        group_case{"removed_switch_not_written", {{"-S"}}, "%<S %{S}", {}},
        group_case{"removed_after_found_live", {{"-S"}}, "%{S:X} %<S %{S:Y} %{S}", {"X", "Y"}},
        group_case{"removal_by_prefix", {{"-fa"}, {"-fb"}, {"-g"}}, "%<f* %{f*} %{g}", {"-g"}},
        group_case{"kept_for_export_removal", {{"-S"}}, "%>S %{S}", {}},
        group_case{"escaped_atom_character", {{"-a:b"}}, "%{a\\:b:X}", {"X"}},
        group_case{"escaped_equals", {{"-a=b"}}, "%{a\\=b:X}", {"X"}},
        group_case{"macro_joined", {{"-DFOO"}}, "%{DFOO:X}", {"X"}},
        group_case{"macro_separate", {{"-D", {"FOO"}}}, "%{DFOO:X}", {"X"}},
        group_case{"macro_separate_prefix", {{"-U", {"FOOBAR"}}}, "%{UFOO*:X}", {"X"}},
        group_case{"macro_separate_not_equal", {{"-D", {"FOOBAR"}}}, "%{DFOO:X}", {}},
        group_case{"suffix_override", {{"-o", {"out/x.o"}}}, "%{o*:%.d%*}", {"out/x.d"}},
        group_case{"suffix_override_no_dot", {{"-o", {"out.dir/x"}}}, "%{o*:%.d%*}",
                   {"out.dir/x.d"}},
        group_case{"function_atom_false", {}, "%{%:if-exists(/no/such/file):X;:Y}", {"Y"}},
        group_case{"negated_function_atom", {}, "%{!%:if-exists(/no/such/file):X}", {"X"}}),
    [](const testing::TestParamInfo<group_case> &info) { return std::string(info.param.name); });

class input_atoms : public in_fresh_world<testing::Test> {};

TEST_F(input_atoms, suffix_atoms_test_the_suffix_without_its_dot) {
  select_input("dir/x.adb");
  EXPECT_EQ(expand("%{.adb:A} %{.c:C} %{!.c:N}"), (words{"A", "N"}));
  select_input("dir/noext");
  EXPECT_EQ(expand("%{.adb:A;:O}"), (words{"O"}));
}

TEST_F(input_atoms, language_atoms_test_the_row_key) {
  static const compiler_entry cxx = {"@c++", "", nullptr, false, true};
  interpreter.cur_compiler = &cxx;
  EXPECT_EQ(expand("%{,c++:P} %{,c:C} %{,@c++:K}"), (words{"P"}));
  interpreter.cur_compiler = nullptr;
  EXPECT_EQ(expand("%{,c++:P;:none}"), (words{"none"}));
}

TEST_F(input_atoms, a_failing_body_fails_the_text) {
  std::string err = capture_stderr([] { EXPECT_EQ(expand_spec("%{!a:%eno a} later", nullptr), -1); });
  EXPECT_EQ(err, "quarn++: error: no a\n");
  EXPECT_TRUE(built_words().empty());
}

TEST(switch_liveness, decisions_and_acceptance) {
  reset_interpreter_world();
  add_switch("-O1");
  add_switch("-fno-x", {}, false);
  add_switch("-fx");
  add_switch("-O0");
  // Prefix lengths 0 and 1 decide nothing.
  EXPECT_TRUE(switch_is_live(0, 1));
  EXPECT_EQ(driver.switches.entries[0].liveness, 0u);
  EXPECT_FALSE(switch_is_live(0, -1));
  EXPECT_EQ(driver.switches.entries[0].liveness, unsigned(SWITCH_OVERRIDDEN));
  EXPECT_TRUE(driver.switches.entries[0].accepted);
  // Overridden but not in the option table: not accepted.
  EXPECT_FALSE(switch_is_live(1, -1));
  EXPECT_FALSE(driver.switches.entries[1].accepted);
  EXPECT_TRUE(switch_is_live(2, -1));
  EXPECT_EQ(driver.switches.entries[2].liveness, unsigned(SWITCH_ALIVE));
  // Decided: the prefix length no longer matters.
  EXPECT_FALSE(switch_is_live(0, 1));
  reset_interpreter_world();
}

// Each of these ends the run: status 1 and the message naming the group.
class invalid_groups : public testing::TestWithParam<fatal_text_case> {};

TEST_P(invalid_groups, are_fatal) {
  child_result child = expand_in_child(GetParam().text, [] { add_switch("-a"); });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output(GetParam().message));
}

INSTANTIATE_TEST_SUITE_P(
    forms, invalid_groups,
    testing::Values(
        fatal_text_case{"and_with_body", "%{S&T:X}", "braced spec 'S&T:X}' is invalid at ':'"},
        fatal_text_case{"negated_selection", "%{!S}", "braced spec '!S}' is invalid at '}'"},
        fatal_text_case{"suffix_selection", "%{.c}", "braced spec '.c}' is invalid at '}'"},
        fatal_text_case{"or_without_body", "%{a|b}", "braced spec 'a|b}' is invalid at '}'"},
        fatal_text_case{"and_after_or", "%{a|b&c}", "braced spec 'a|b&c}' is invalid at '&'"},
        fatal_text_case{"or_after_and", "%{a&b|c:X}", "braced spec 'a&b|c:X}' is invalid at '|'"},
        fatal_text_case{"empty_first_alternative", "%{:X}", "braced spec ':X}' is invalid at ':'"},
        fatal_text_case{"empty_before_or", "%{a:X;|b:Y}", "braced spec 'a:X;|b:Y}' is invalid at '|'"},
        fatal_text_case{"negated_otherwise", "%{a:X;!:Y}", "braced spec 'a:X;!:Y}' is invalid at ':'"},
        fatal_text_case{"alternative_after_otherwise", "%{a:X;:Y;b:Z}",
                     "braced spec 'a:X;:Y;b:Z}' is invalid at 'b'"},
        fatal_text_case{"starred_suffix", "%{.c*:X}", "braced spec '.c*:X}' is invalid at '*'"},
        fatal_text_case{"no_operator", "%{a b:X}", "braced spec 'a b:X}' is invalid at 'b'"},
        fatal_text_case{"ends_in_escape", "%{a\\", "braced spec 'a\\' ends in escape"},
        fatal_text_case{"unclosed_body", "%{a:X", "braced spec body 'X' is invalid"},
        fatal_text_case{"substitution_without_star", "%{a:X%*}", "braced spec body 'X%*}' is invalid"},
        fatal_text_case{"substitution_mixed_stars", "%{a*|b:X%*}",
                     "braced spec body 'X%*}' is invalid"},
        fatal_text_case{"substitution_after_inner_group", "%{b:%{c:x}%*}",
                     "braced spec body '%{c:x}%*}' is invalid"},
        fatal_text_case{"substitution_in_run_body", "%{a:%{!b:%{c:X%*}}}",
                     "braced spec body 'X%*}' is invalid"}),
    fatal_case_name);

// The end of the text is never part of an atom: what follows the terminator in
// memory (here a well-formed rest of a group) must not be read.
TEST(invalid_group_end, text_ending_inside_an_atom) {
  static const char text[] = "%{ab\0|x:y}";
  child_result child = run_in_child([] {
    reset_interpreter_world();
    add_switch("-x");
    expand_spec(text, nullptr);
    // Reached only when the scan went on past the terminator.
    fprintf(stderr, "read past the end");
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_THAT(child.err, testing::StartsWith("quarn++: fatal error: braced spec 'ab' is invalid at "));
  child_result scan = run_in_child([] {
    reset_interpreter_world();
    add_switch("-x");
    mark_switches_in_text(text, false);
    fprintf(stderr, "%s", driver.switches.entries[0].accepted ? "read past the end" : "stopped");
  });
  EXPECT_EQ(scan.err, "stopped");
}

// The accepted-switch scan over whole texts.
struct mark_case {
  const char *name;
  const char *text;
  bool user_spec;
  // Of the switches -O2 -fbar(unknown) -mfoo -x -y -a:b -z, those accepted.
  words accepted;
};

class accepted_scan : public in_fresh_world<testing::TestWithParam<mark_case>> {};

TEST_P(accepted_scan, marks_the_switches_named) {
  add_switch("-O2");
  add_switch("-fbar", {}, false);
  add_switch("-mfoo");
  add_switch("-x");
  add_switch("-y");
  add_switch("-a:b");
  add_switch("-z");
  mark_switches_in_text(GetParam().text, GetParam().user_spec);
  words accepted;
  for (int i = 0; i < driver.switches.count; i++)
    if (driver.switches.entries[i].accepted)
      accepted.push_back(driver.switches.entries[i].name);
  EXPECT_EQ(accepted, GetParam().accepted);
  // The scan decides no liveness.
  for (int i = 0; i < driver.switches.count; i++)
    EXPECT_EQ(driver.switches.entries[i].liveness, 0u);
}

INSTANTIATE_TEST_SUITE_P(
    texts, accepted_scan,
    testing::Values(
        mark_case{"prefix_and_exact", "%{O*} %{m} %{mfoo}", false, {"O2", "mfoo"}},
        mark_case{"unknown_only_from_user_spec", "%{fbar:x}", false, {}},
        mark_case{"unknown_from_user_spec", "%{fbar:x}", true, {"fbar"}},
        mark_case{"alternatives_and_bodies", "%{!x|.y:%{mfoo:a}%<z;O2:b;:c}", false,
                  {"O2", "mfoo", "x", "z"}},
        mark_case{"suffix_and_language_tests_mark_nothing", "%{.x:a} %{,y:b}", false, {}},
        mark_case{"ordered_members", "%{x&y}", false, {"x", "y"}},
        mark_case{"removal_and_delete_groups", "%<O2 %W{x} %@{y}", false, {"O2", "x", "y"}},
        mark_case{"escaped_character", "%{a\\:b:X}", false, {"a:b"}},
        // The function decides at run time; the scan goes on with the
        // following groups.
        mark_case{"function_atom_skipped", "%{%:sanitize(x):%{y:a}} %{z}", false, {"y", "z"}},
        mark_case{"doubled_percent_is_no_group", "%%{x} %{y}", false, {"y"}}),
    [](const testing::TestParamInfo<mark_case> &info) { return std::string(info.param.name); });

} // namespace
