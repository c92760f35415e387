// The common handler in the driver: sanitizer lists, the -g family, colors.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "options_test_support.h"
#include "support/execute.h"

namespace {

struct sanitizer_case {
  const char *list;
  size_t row;
  uint32_t before;
  int value;
  uint32_t after;
  const char *expected_err;
};

class ParseSanitizerList : public testing::TestWithParam<sanitizer_case> {};

TEST_P(ParseSanitizerList, Bits) {
  const sanitizer_case &c = GetParam();
  uint32_t bits = 0;
  std::string err = capture_diagnostics(
      [&] { bits = parse_sanitizer_list(c.list, 0, c.row, c.before, c.value, true); });
  EXPECT_EQ(bits, c.after) << c.list;
  EXPECT_EQ(err, c.expected_err) << c.list;
}

INSTANTIATE_TEST_SUITE_P(
    Table, ParseSanitizerList,
    testing::Values(
        sanitizer_case{"address,undefined", OPT_fsanitize_, 0, 1, 0x37e7fe3, ""},
        sanitizer_case{"address,,thread", OPT_fsanitize_, 0, 1, 0xb, ""},
        sanitizer_case{"", OPT_fsanitize_, 0x8, 1, 0x8, ""},
        // Removing the kernel sanitizer keeps the user-space one, and "some address".
        sanitizer_case{"kernel-address", OPT_fsanitize_, 0x3, 0, 0x3, ""},
        sanitizer_case{"address", OPT_fsanitize_, 0x7, 0, 0x5, ""},
        sanitizer_case{"all", OPT_fsanitize_, 0xffffffff, 0, 0, ""},
        sanitizer_case{"all", OPT_fsanitize_, 0x10, 1, 0x10,
                       "quarn++: error: '-fsanitize=all' option is not valid\n"},
        sanitizer_case{"all", OPT_fsanitize_recover_, 0, 1, 0x7ffff6e7, ""},
        sanitizer_case{"undefined", OPT_fsanitize_recover_, 0, 1, 0x37e76e0, ""},
        sanitizer_case{"adress", OPT_fsanitize_, 0, 1, 0,
                       "quarn++: error: unrecognized argument to '-fsanitize=' option: 'adress'; "
                       "did you mean 'address'?\n"},
        sanitizer_case{"thread,bogosity", OPT_fsanitize_, 0, 0, 0,
                       "quarn++: error: unrecognized argument to '-fno-sanitize=' option: "
                       "'bogosity'\n"},
        // Recovery is offered only for names that accept it.
        sanitizer_case{"threa", OPT_fsanitize_recover_, 0, 1, 0,
                       "quarn++: error: unrecognized argument to '-fsanitize-recover=' option: "
                       "'threa'\n"},
        sanitizer_case{"threa", OPT_fsanitize_, 0, 1, 0,
                       "quarn++: error: unrecognized argument to '-fsanitize=' option: 'threa'; "
                       "did you mean 'thread'?\n"},
        // "all" is no candidate for -fsanitize= itself, but is for -fno-sanitize=.
        sanitizer_case{"al", OPT_fsanitize_, 0, 1, 0,
                       "quarn++: error: unrecognized argument to '-fsanitize=' option: 'al'\n"},
        sanitizer_case{"al", OPT_fsanitize_, 0, 0, 0,
                       "quarn++: error: unrecognized argument to '-fno-sanitize=' option: 'al'; "
                       "did you mean 'all'?\n"}));

TEST(ParseSanitizerList, QuietWhenNotComplaining) {
  std::string err = capture_diagnostics(
      [] { EXPECT_EQ(parse_sanitizer_list("bogus,all,leak", 0, OPT_fsanitize_, 0, 1, false), 0x10u); });
  EXPECT_EQ(err, "");
}

// Reads a command line through the common handler, as the driver does.
struct read_result {
  options_record opts;
  std::string err;
};

bool accept_unknown(const decoded_option *) { return true; }
void ignore_wrong_lang(const decoded_option *, unsigned) {}
bool accept_driver(options_record *, options_record *, const decoded_option *, unsigned, int,
                   location_id, const option_handlers *, diag_context *, void (*)(void)) {
  return true;
}

const option_handlers driver_like = {accept_unknown, ignore_wrong_lang, nullptr, 2,
                                     {{accept_driver, CL_DRIVER},
                                      {common_handle_option, CL_COMMON},
                                      {nullptr, 0}}};

read_result read_line(std::initializer_list<const char *> words) {
  reset_options();
  std::vector<decoded_option> line = decode_line(words, CL_DRIVER);
  read_result result;
  result.err = capture_diagnostics([&] {
    for (size_t i = 1; i < line.size(); i++)
      read_cmdline_option(&global_options, &global_options_set, &line[i], 0, CL_DRIVER,
                          &driver_like, global_dc);
  });
  result.opts = global_options;
  return result;
}

struct debug_case {
  std::vector<const char *> words;
  uint32_t formats;
  int level;
  int ctf_level;
  int dwarf_version;
  const char *expected_err;
};

class DebugOptions : public testing::TestWithParam<debug_case> {};

TEST_P(DebugOptions, SetLevelAndFormat) {
  const debug_case &c = GetParam();
  reset_options();
  std::vector<const char *> argv{"quarn++"};
  argv.insert(argv.end(), c.words.begin(), c.words.end());
  decoded_option *decoded;
  unsigned count;
  decode_argv_options(static_cast<unsigned>(argv.size()), argv.data(), CL_DRIVER, &decoded, &count);
  std::string err = capture_diagnostics([&] {
    for (unsigned i = 1; i < count; i++)
      read_cmdline_option(&global_options, &global_options_set, &decoded[i], 0, CL_DRIVER,
                          &driver_like, global_dc);
  });
  free(decoded);
  EXPECT_EQ(global_options.debug_formats, c.formats);
  EXPECT_EQ(global_options.debug_level, c.level);
  EXPECT_EQ(global_options.ctf_level, c.ctf_level);
  EXPECT_EQ(global_options.dwarf_version, c.dwarf_version);
  EXPECT_EQ(err, c.expected_err);
}

const uint32_t DWARF = DEBUG_FORMAT_DWARF2;

INSTANTIATE_TEST_SUITE_P(
    Table, DebugOptions,
    testing::Values(
        debug_case{{"-g"}, DWARF, 2, 0, 5, ""}, debug_case{{"-g1"}, DWARF, 1, 0, 5, ""},
        debug_case{{"-g3", "-g"}, DWARF, 3, 0, 5, ""}, debug_case{{"-ggdb0"}, DWARF, 0, 0, 5, ""},
        debug_case{{"-g4"}, DWARF, 0, 0, 5, "quarn++: error: debug output level '4' is too high\n"},
        debug_case{{"-gfoo"}, DWARF, 0, 0, 5,
                   "quarn++: error: unrecognized debug output level 'foo'\n"},
        debug_case{{"-gstabs", "-gdwarf"}, DWARF, 2, 0, 5,
                   "quarn++: error: debug format 'dwarf-2' conflicts with prior selection\n"},
        debug_case{{"-gdwarf"}, DWARF, 2, 0, 5, ""},
        debug_case{{"-gdwarf-4"}, DWARF, 2, 0, 4, ""},
        debug_case{{"-gdwarf-6"}, DWARF, 2, 0, 5,
                   "quarn++: error: dwarf version 6 is not supported\n"},
        debug_case{{"-gdwarf4"}, 0, 0, 0, 5,
                   "quarn++: error: '-gdwarf4' is ambiguous; use '-gdwarf-4' for DWARF version or "
                   "'-gdwarf' '-g4' for debug level\n"},
        debug_case{{"-gbtf"}, DEBUG_FORMAT_BTF, 2, 0, 5, ""},
        debug_case{{"-gbtf1"}, DEBUG_FORMAT_BTF, 2, 0, 5,
                   "quarn++: error: unrecognized btf debug output level '1'\n"},
        debug_case{{"-gctf"}, DEBUG_FORMAT_CTF, 2, 2, 5, ""},
        debug_case{{"-gctf0"}, DEBUG_FORMAT_CTF, 0, 0, 5, ""},
        // DWARF combines with CTF and with BTF; a plain -g adds DWARF to them.
        debug_case{{"-gctf", "-gdwarf"}, DWARF | DEBUG_FORMAT_CTF, 2, 2, 5, ""},
        debug_case{{"-gbtf", "-g"}, DWARF | DEBUG_FORMAT_BTF, 2, 0, 5, ""},
        debug_case{{"-gxcoff+", "-gvms"}, DEBUG_FORMAT_VMS, 2, 0, 5,
                   "quarn++: error: debug format 'vms' conflicts with prior selection\n"}));

TEST(CommonHandler, ColorsUrlsAndReportBug) {
  read_result r = read_line({"-fdiagnostics-color=always", "-fdiagnostics-urls=never",
                             "-freport-bug", "-fsanitize=address", "-fno-sanitize=address",
                             "-fsanitize=leak", "-fsanitize-address-use-after-scope"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.opts.diagnostics_color, 1);
  EXPECT_EQ(r.opts.diagnostics_urls, 0);
  EXPECT_EQ(r.opts.sanitize, 0x10u);
  EXPECT_EQ(r.opts.sanitize_address_use_after_scope, 1);
  EXPECT_TRUE(exec_state.report_bug);
  exec_state.report_bug = false;
}

TEST(CommonHandler, OtherRowsOnlyStore) {
  read_result r = read_line({"-dumpbase", "x", "-gtoggle", "-fuse-ld=lld", "-gdwarf64"});
  EXPECT_EQ(r.err, "");
  EXPECT_STREQ(r.opts.dump_base, "x");
  EXPECT_EQ(r.opts.debug_toggle, 1);
  EXPECT_EQ(r.opts.use_ld, 3);
  EXPECT_EQ(r.opts.dwarf_offset_size, 8);
}

// Only the word -fdiagnostics-plain-output is expanded while decoding; its
// respelling reaches the handler as the row itself.
TEST(CommonHandler, PlainOutputRespelledSetsNothing) {
  read_result r = read_line({"--diagnostics-plain-output"});
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.opts.diagnostics_color, default_options.diagnostics_color);
}

// Every row a driver decoding can bring to the handler is handled: none ends
// in the internal error kept for rows without a variable.
TEST(CommonHandler, EveryDriverCommonRowIsHandled) {
  size_t rows = 0;
  for (size_t row = 0; row < option_row_count; row++) {
    const option_row &option = option_rows[row];
    if ((option.flags & (CL_DRIVER | CL_COMMON)) != (CL_DRIVER | CL_COMMON) ||
        option.alias_target != option_row_count)
      continue;
    rows++;
    const char *arg = nullptr;
    if (option.var_type == VAR_ENUM)
      arg = enum_tables[option.var_enum].values[0].text;
    else if (option.attributes & ATTR_UINTEGER)
      arg = "2";
    else if (option.flags & (CL_JOINED | CL_SEPARATE))
      arg = "x";
    reset_options();
    decoded_option d;
    generate_option(row, arg, 1, CL_DRIVER, &d);
    capture_diagnostics([&] {
      EXPECT_TRUE(common_handle_option(&global_options, &global_options_set, &d, CL_DRIVER,
                                       KIND_UNSPECIFIED, 0, &driver_like, global_dc, nullptr))
          << option.text;
    });
  }
  EXPECT_GT(rows, 50u);
  exec_state.report_bug = false;
}

} // namespace

namespace {

// A later reset (the first one in a process only clears what the static
// images do not) brings back every default and clears every explicit mark,
// named fields and row slots alike.
TEST(OptionsStorage, ResetRestoresDefaultsAndClearsTheTwin) {
  init_options_storage();
  global_options.dwarf_version = 2;
  global_options.ident_flag = 0;
  global_options.row_slots[7].i64 = 42;
  global_options_set.dwarf_version = 1;
  global_options_set.row_slots[OPTION_ROW_COUNT - 1].i64 = 1;
  init_options_storage();
  EXPECT_EQ(global_options.dwarf_version, 5);
  EXPECT_EQ(global_options.ident_flag, 1);
  EXPECT_EQ(global_options.row_slots[7].i64, 0);
  EXPECT_EQ(global_options_set.dwarf_version, 0);
  EXPECT_EQ(global_options_set.diagnostics_color, 0);
  EXPECT_EQ(global_options_set.row_slots[OPTION_ROW_COUNT - 1].i64, 0);
}

} // namespace
