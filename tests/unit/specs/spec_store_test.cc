// Store of named specs: built-in initialisation, define_spec with its appending
// form, set_static_spec, the -dumpspecs listing, and self specs.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/child_process.h"
#include "interp_test_support.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_options.h"
#include "driver/driver_state.h"
#include "driver/process_command.h"
#include "options/opts.h"
#include "specs/spec_store.h"

using testing::ElementsAre;
using testing::StartsWith;

namespace {

// Runs body in a fresh child; standard output joins standard error.
child_result in_child(const std::function<void()> &body) {
  return run_joined_in_child(reset_spec_world, body);
}

std::vector<std::string> list_names() {
  std::vector<std::string> names;
  for (named_spec *entry = spec_list; entry; entry = entry->next)
    names.push_back(entry->name);
  return names;
}

std::vector<std::string> builtin_names() {
  return std::vector<std::string>(builtin_spec_names, builtin_spec_names + BUILTIN_SPEC_COUNT);
}

TEST(spec_store, built_in_initialisation) {
  reset_spec_world();
  std::string err = capture_stderr(init_builtin_specs);
  EXPECT_EQ(err, "");
  std::vector<std::string> expected = builtin_names();
  expected.push_back("asm_cpu_spec");
  EXPECT_EQ(list_names(), expected);
  EXPECT_EQ(named_spec_text("asm_cpu_spec"), asm_cpu_spec_text);
  EXPECT_EQ(named_spec_text("libquarn"),
            "%{static|static-libquarn|static-pie:-lquarn -lquarn_eh}%{!static:%{!static-libquarn:"
            "%{!static-pie:%{!shared-libquarn:-lquarn --push-state --as-needed -lquarn_s "
            "--pop-state}%{shared-libquarn:-lquarn_s%{!shared: -lquarn}}}}}");
  EXPECT_EQ(named_spec_text("link"), std::string("%{!static|static-pie:--eh-frame-hdr} ") +
                                 builtin_spec_texts[BUILTIN_SPEC_link]);
  EXPECT_STREQ(link_command_spec, builtin_link_command_text);

  // Once only.
  const std::string link = named_spec_text("link");
  init_builtin_specs();
  EXPECT_EQ(list_names().size(), expected.size());
  EXPECT_EQ(named_spec_text("link"), link);

  reset_spec_world();
  global_options.verbose_flag = 1;
  EXPECT_EQ(capture_stderr(init_builtin_specs), "Using built-in specs.\n");
}

TEST(spec_store, the_libquarn_tokens_are_rewritten_where_they_start_a_word) {
  const std::string archive_choice =
      "%{static|static-libquarn|static-pie:libquarn.a%s libquarn_eh.a%s}%{!static:"
      "%{!static-libquarn:%{!static-pie:%{!shared-libquarn:libquarn.a%s --push-state "
      "--as-needed -lquarn_s --pop-state}%{shared-libquarn:-lquarn_s%{!shared: "
      "libquarn.a%s}}}}}";
  reset_spec_world();
  builtin_spec_slots[BUILTIN_SPEC_libquarn] = "-lc libquarn.a%s x-lquarn";
  init_builtin_specs();
  EXPECT_EQ(named_spec_text("libquarn"), "-lc " + archive_choice + " x-lquarn");
}

TEST(spec_store, define_spec_replaces_or_appends) {
  const struct {
    const char *name;
    const char *text;
    std::string expected;
  } cases[] = {
      {"link", "+ -lfoo", std::string(builtin_spec_texts[BUILTIN_SPEC_link]) + " -lfoo"},
      {"link", "+\t-lfoo", std::string(builtin_spec_texts[BUILTIN_SPEC_link]) + "\t-lfoo"},
      {"link", "+-lfoo", "+-lfoo"},
      {"link", "-lfoo", "-lfoo"},
      {"link", "+", "+"},
      {"fresh", "+ -lfoo", " -lfoo"},
      {"fresh", "text", "text"},
  };
  for (const auto &c : cases) {
    reset_spec_world();
    define_spec(c.name, c.text, true);
    EXPECT_EQ(named_spec_text(c.name), c.expected) << c.name << " " << c.text;
    EXPECT_TRUE(lookup_spec(c.name, strlen(c.name))->from_user_file);
  }
}

TEST(spec_store, the_first_definition_links_the_built_ins_behind_it) {
  reset_spec_world();
  define_spec("mine", "x", false);
  std::vector<std::string> expected = builtin_names();
  expected.insert(expected.begin(), "mine");
  // No asm_cpu_spec: only built-in initialisation adds it.
  EXPECT_EQ(list_names(), expected);
  define_spec("mine", "+ y", false);
  define_spec("other", "z", false);
  EXPECT_EQ(list_names()[0], "other");
  EXPECT_EQ(named_spec_text("mine"), "x y");
  EXPECT_FALSE(lookup_spec("mine", 4)->from_user_file);
  // Names compare by length too.
  EXPECT_EQ(lookup_spec("mi", 2), nullptr);
  EXPECT_EQ(lookup_spec("mineral", 4), lookup_spec("mine", 4));
}

TEST(spec_store, set_static_spec_changes_the_slot_the_directives_read) {
  reset_spec_world();
  init_builtin_specs();
  set_static_spec(&builtin_spec_slots[BUILTIN_SPEC_linker], "ld", false);
  EXPECT_EQ(named_spec_text("linker"), "ld");
  EXPECT_STREQ(builtin_spec(BUILTIN_SPEC_linker), "ld");
  EXPECT_FALSE(lookup_spec("linker", 6)->owned);
  define_spec("linker", "+ -v", false);
  EXPECT_STREQ(builtin_spec(BUILTIN_SPEC_linker), "ld -v");

  const char *elsewhere = "x";
  child_result child = in_child([&] { set_static_spec(&elsewhere, "y", false); });
  EXPECT_EQ(child.status, 4);
  EXPECT_THAT(child.err, StartsWith("quarn++: internal compiler error: in set_static_spec, at "));
}

TEST(spec_store, print_specs_lists_entries_then_the_link_command) {
  child_result child = in_child([] {
    static named_spec second{"two", 3, nullptr, "", false, false, nullptr};
    static named_spec first{"one", 3, nullptr, "A %{b}", false, false, &second};
    first.slot = &first.text;
    second.slot = &second.text;
    spec_list = &first;
    link_command_spec = "L\nM";
    print_specs();
    link_command_spec = nullptr;
    print_specs();
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "*one:\nA %{b}\n\n*two:\n\n\n*link_command:\nL\nM\n\n"
                       "*one:\nA %{b}\n\n*two:\n\n\n");
}

TEST(spec_store, dumpspecs_prints_the_built_in_store_and_exits) {
  child_result child = in_child([] {
    const char *argv[] = {"quarn++", "-dumpspecs"};
    decoded_option *decoded;
    unsigned count;
    decode_argv_options(2, argv, CL_DRIVER, &decoded, &count);
    handle_driver_option(&decoded[1]);
    fputs("(returned)\n", stderr);
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 0);
  EXPECT_THAT(child.err, StartsWith(std::string("*asm:\n") + builtin_spec_texts[BUILTIN_SPEC_asm] +
                                    "\n\n*asm_debug:\n"));
  EXPECT_THAT(child.err, testing::EndsWith(std::string("\n\n*link_command:\n") +
                                           builtin_link_command_text + "\n\n"));
}

// ---- self specs ----

std::vector<std::string> switch_rows() {
  std::vector<std::string> rows;
  for (int i = 0; i < driver.switches.count; i++) {
    const driver_switch &sw = driver.switches.entries[i];
    std::string row = sw.name;
    for (const char **arg = sw.args; arg && *arg; arg++)
      row += std::string(" ") + *arg;
    if (sw.accepted)
      row += " (accepted)";
    if (!sw.recognized)
      row += " (unrecognized)";
    rows.push_back(row);
  }
  return rows;
}

TEST(self_spec, words_become_switches_after_the_existing_ones) {
  reset_spec_world();
  add_switch("-O2");
  terminate_tables();
  apply_self_spec("-mlittle-endian %{O2:-fno-such-option}");
  // A word the option table does not know is kept for a spec file to take.
  EXPECT_THAT(switch_rows(),
              ElementsAre("O2", "mlittle-endian", "fno-such-option (unrecognized)"));
  EXPECT_EQ(driver.switches.entries[driver.switches.count].name, nullptr);
}

TEST(self_spec, compare_debug_switches_and_o_are_only_recorded) {
  reset_spec_world();
  apply_self_spec("-o out.s -fcompare-debug-second -fcompare-debug=-gtoggle -fcompare-debug");
  EXPECT_THAT(switch_rows(), ElementsAre("o out.s", "fcompare-debug-second",
                                         "fcompare-debug=-gtoggle", "fcompare-debug"));
  // Their handlers did not run.
  EXPECT_EQ(driver.output_name, nullptr);
  EXPECT_FALSE(driver.compare_debug_second);
  EXPECT_EQ(driver.compare_debug_mode, 0);
}

TEST(self_spec, driver_options_go_through_their_handlers) {
  reset_spec_world();
  apply_self_spec("-pipe -save-temps=obj");
  EXPECT_THAT(switch_rows(), ElementsAre("pipe (accepted)", "save-temps=obj"));
  EXPECT_EQ(driver.save_temps_mode, SAVE_TEMPS_OBJ);
}

TEST(self_spec, a_removed_switch_is_gone_for_good) {
  reset_spec_world();
  add_switch("-O2");
  add_switch("-g");
  terminate_tables();
  apply_self_spec("%<O2");
  EXPECT_TRUE(driver.switches.entries[0].liveness & SWITCH_REMOVED_FOR_GOOD);
  EXPECT_FALSE(driver.switches.entries[1].liveness & SWITCH_REMOVED_FOR_GOOD);
  EXPECT_EQ(driver.switches.count, 2);
}

TEST(self_spec, words_that_are_not_switches_are_fatal) {
  const struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"foo.c", "switch 'foo.c' does not start with '-'"},
      {"-O2 -", "spec-generated switch is just '-'"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] { apply_self_spec(c.text); });
    EXPECT_EQ(child.status, 1) << c.text;
    EXPECT_EQ(child.err, fatal_error_output(c.message)) << c.text;
  }
}

} // namespace
