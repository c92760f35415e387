// Dump directory and base names, from the driver state the command line leaves.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/driver_state.h"
#include "driver/dump_names.h"
#include "support/alloc.h"

namespace {

struct dump_case {
  const char *title;
  bool compile_only;
  const char *output;
  const char *dump_dir;
  const char *dump_base;
  const char *dump_base_ext;
  save_temps_kind save_temps;
  bool save_temps_beats_dump_dir;
  std::vector<const char *> inputs;
  // Expected after derive_dump_names.
  const char *want_dump_dir;
  const char *want_out_base;
  int want_out_base_length;
  // Expected after finish_dump_names_for_link: the exported directory and the
  // part of it used as a prefix.
  const char *want_link_dump_dir;
  int want_link_prefix_length;
};

std::string text(const char *value) { return value ? value : "(none)"; }

void set_up(const dump_case &c) {
  driver_state_reset();
  driver.stop_before_link = c.compile_only;
  driver.output_name = c.output;
  driver.dump_dir = c.dump_dir ? xstrdup(c.dump_dir) : nullptr;
  driver.dump_base = c.dump_base ? xstrdup(c.dump_base) : nullptr;
  driver.dump_base_ext = c.dump_base_ext ? xstrdup(c.dump_base_ext) : nullptr;
  driver.save_temps_mode = c.save_temps;
  driver.save_temps_beats_dump_dir = c.save_temps_beats_dump_dir;
  for (const char *input : c.inputs)
    add_input(input, strncmp(input, "-l", 2) == 0 ? "*" : nullptr);
}

const dump_case dump_cases[] = {
    {"-c b.c d.c", true, nullptr, nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false, {"b.c", "d.c"},
     nullptr, nullptr, 0, nullptr, 0},
    {"b.c d.c -o ab", false, "ab", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false, {"b.c", "d.c"},
     "ab-", nullptr, 0, "ab.", 2},
    {"b.c d.c", false, nullptr, nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false, {"b.c", "d.c"},
     "a-", nullptr, 0, "a.", 1},
    {"-dumpdir f b.c d.c -o x", false, "x", "f", nullptr, nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, "f", nullptr, 0, "f", 1},
    {"-dumpdir f -dumpbase g -c b.c d.c", true, nullptr, "f", "g", nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, "fg-", nullptr, 0, "fg.", 2},
    {"-dumpdir f -dumpbase g- -c b.c d.c", true, nullptr, "f", "g-", nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, "fg--", nullptr, 0, "fg-.", 3},
    {"-save-temps=obj b.c d.c -o dir/h", false, "dir/h", nullptr, nullptr, nullptr, SAVE_TEMPS_OBJ,
     true, {"b.c", "d.c"}, "dir/h-", nullptr, 0, "dir/h.", 5},
    {"-save-temps=obj b.c d.c -o dir/h.out", false, "dir/h.out", nullptr, nullptr, nullptr,
     SAVE_TEMPS_OBJ, true, {"b.c", "d.c"}, "dir/h.out-", nullptr, 0, "dir/h.out.", 9},
    {"-save-temps=obj -c b.c -o dir/b.o", true, "dir/b.o", nullptr, nullptr, nullptr, SAVE_TEMPS_OBJ,
     true, {"b.c"}, "dir/", "b", 1, "dir/b.", 5},
    {"foo.c -o foo", false, "foo", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false, {"foo.c"},
     nullptr, "foo", 0, "foo.", 3},
    // Only ".exe" and "a.out" lose their suffix in the link base.
    {"b.c d.c -o prog.exe", false, "prog.exe", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, "prog-", nullptr, 0, "prog.", 4},
    {"b.c d.c -o a.out", false, "a.out", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, "a-", nullptr, 0, "a.", 1},
    // An output that is no real file never becomes a dump directory.
    {"-save-temps b.c -o -", false, "-", nullptr, nullptr, nullptr, SAVE_TEMPS_DUMP, false, {"b.c"},
     "a-", nullptr, 0, "a.", 1},
    {"-c b.c -o /dev/null", true, "/dev/null", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false,
     {"b.c"}, nullptr, nullptr, 0, nullptr, 0},
    // -save-temps=cwd after -dumpdir discards it; -dumpdir after it stays.
    {"-dumpdir x/ -save-temps=cwd -c b.c -o o/b.o", true, "o/b.o", "x/", nullptr, nullptr,
     SAVE_TEMPS_CWD, true, {"b.c"}, nullptr, "b", 1, "b.", 1},
    {"-save-temps=cwd -dumpdir x/ -c b.c -o o/b.o", true, "o/b.o", "x/", nullptr, nullptr,
     SAVE_TEMPS_CWD, false, {"b.c"}, "x/", "b", 1, "x/b.", 3},
    // A -dumpbase with a '/' discards the dump directory.
    {"-dumpdir x/ -dumpbase y/z -c b.c", true, nullptr, "x/", "y/z", nullptr, SAVE_TEMPS_NONE, false,
     {"b.c"}, nullptr, "y/z", 3, "y/z.", 3},
    // A -dumpbase-ext equal to the whole -dumpbase is discarded.
    {"-dumpbase b.c -dumpbase-ext b.c -c b.c", true, nullptr, nullptr, "b.c", "b.c", SAVE_TEMPS_NONE,
     false, {"b.c"}, nullptr, "b.c", 3, "b.c.", 3},
    {"-dumpbase b.c -dumpbase-ext .c -c b.c", true, nullptr, nullptr, "b.c", ".c", SAVE_TEMPS_NONE,
     false, {"b.c"}, nullptr, "b", 1, "b.", 1},
    // Linking one input under -dumpbase folds the base into the directory.
    {"-dumpbase p.c -dumpbase-ext .c b.c", false, nullptr, nullptr, "p.c", ".c", SAVE_TEMPS_NONE,
     false, {"b.c"}, "p-", nullptr, 0, "p.", 1},
    // An empty -dumpbase keeps the link base for the link only.
    {"-dumpbase '' b.c d.c -o ab", false, "ab", nullptr, "", nullptr, SAVE_TEMPS_NONE, false,
     {"b.c", "d.c"}, nullptr, "ab", 0, "ab.", 2},
    // Linker words are no compiled inputs: foo.c stays the single one.
    {"foo.c -lm -o foo", false, "foo", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false,
     {"foo.c", "-lm"}, nullptr, "foo", 0, "foo.", 3},
    // foo.x.c is foo plus a suffix with a further '.', so it is not the match.
    {"foo.x.c -o foo", false, "foo", nullptr, nullptr, nullptr, SAVE_TEMPS_NONE, false, {"foo.x.c"},
     "foo-", nullptr, 0, "foo.", 3},
};

class dump_names : public testing::TestWithParam<dump_case> {};

TEST_P(dump_names, derive_then_finish_for_link) {
  const dump_case &c = GetParam();
  set_up(c);
  derive_dump_names();
  EXPECT_EQ(text(driver.dump_dir), text(c.want_dump_dir));
  EXPECT_EQ(driver.dump_dir_length, c.want_dump_dir ? (int)strlen(c.want_dump_dir) : 0);
  EXPECT_EQ(text(driver.out_base), text(c.want_out_base));
  EXPECT_EQ(driver.out_base_length, c.want_out_base_length);
  if (c.save_temps != SAVE_TEMPS_NONE)
    EXPECT_EQ(driver.save_temps_mode, SAVE_TEMPS_DUMP);

  finish_dump_names_for_link();
  EXPECT_EQ(text(driver.dump_dir), text(c.want_link_dump_dir));
  EXPECT_EQ(driver.dump_dir_length, c.want_link_prefix_length);
  EXPECT_EQ(driver.out_base, nullptr);
  EXPECT_EQ(driver.out_base_length, 0);
}

INSTANTIATE_TEST_SUITE_P(cases, dump_names, testing::ValuesIn(dump_cases),
                         [](const testing::TestParamInfo<dump_case> &info) {
                           return "case_" + std::to_string(info.index);
                         });

TEST(dump_names, base_extension_is_kept_only_with_a_base) {
  driver_state_reset();
  driver.stop_before_link = true;
  driver.dump_base_ext = xstrdup(".c");
  add_input("b.c", nullptr);
  derive_dump_names();
  EXPECT_EQ(driver.dump_base_ext, nullptr);
}

} // namespace
