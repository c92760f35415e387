// What reading a decoded option reports, and how values are stored.
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "options_test_support.h"

namespace {

struct report_case {
  std::vector<const char *> argv;
  unsigned mask;
  const char *expected; // standard error, exactly
};

class ReportOptionError : public testing::TestWithParam<report_case> {};

TEST_P(ReportOptionError, Reports) {
  const report_case &c = GetParam();
  std::vector<const char *> argv = c.argv;
  argv.push_back(nullptr);
  decoded_option d;
  decode_cmdline_option(argv.data(), c.mask, &d);
  std::string err = capture_diagnostics(
      [&] { EXPECT_TRUE(report_option_error(0, d.row, d.given_text, d.arg, d.errors, c.mask)); });
  EXPECT_EQ(err, c.expected);
}

const unsigned D = CL_DRIVER;
const unsigned ALL = CL_LANG_ALL | CL_COMMON | CL_WARNING | CL_OPTIMIZATION | CL_PARAMS | CL_TARGET;

INSTANTIATE_TEST_SUITE_P(
    Table, ReportOptionError,
    testing::Values(
        report_case{{"-o"}, D, "quarn++: error: missing filename after '-o'\n"},
        report_case{{"-I"}, D, "quarn++: error: missing path after '-I'\n"},
        report_case{{"--output"}, D, "quarn++: error: missing filename after '--output'\n"},
        report_case{{"-x"}, D, "quarn++: error: missing argument to '-x'\n"},
        report_case{{"-fmodule-mapper="}, ALL, "quarn++: error: missing mapper\n"},
        report_case{{"--completion="}, D, "quarn++: error: missing argument to '--completion='\n"},
        report_case{{"-stdlib="}, D,
                    "quarn++: error: command-line option '-stdlib=' is not supported by this "
                    "configuration\n"},
        report_case{{"-fmax-errors=12abc"}, ALL,
                    "quarn++: error: argument to '-fmax-errors=' should be a non-negative "
                    "integer\n"},
        report_case{{"-Wlarger-than=12abc"}, ALL,
                    "quarn++: error: argument to '-Wlarger-than=' should be a non-negative "
                    "integer optionally followed by a size unit\n"},
        report_case{{"-Wformat=3"}, ALL,
                    "quarn++: error: argument to '-Wformat=' is not between 0 and 2\n"},
        // The table's own message, then the valid values. "sometimes" is too far
        // from all three for a suggestion.
        report_case{{"-fdiagnostics-color=sometimes"}, D,
                    "quarn++: error: unrecognized argument in option "
                    "'-fdiagnostics-color=sometimes'\n"
                    "quarn++: note: valid arguments to '-fdiagnostics-color=' are: always auto "
                    "never\n"},
        report_case{{"-fdiagnostics-color=alway"}, D,
                    "quarn++: error: unrecognized argument in option "
                    "'-fdiagnostics-color=alway'\n"
                    "quarn++: note: valid arguments to '-fdiagnostics-color=' are: always auto "
                    "never; did you mean 'always'?\n"},
        report_case{{"-gz=lz4"}, D,
                    "quarn++: error: unrecognized argument in option '-gz=lz4'\n"
                    "quarn++: note: valid arguments to '-gz=' are: none zlib zlib-brask\n"},
        report_case{{"-ftls-model=local-dynamik"}, ALL,
                    "quarn++: error: unknown TLS model 'local-dynamik'\n"
                    "quarn++: note: valid arguments to '-ftls-model=' are: global-dynamic "
                    "initial-exec local-dynamic local-exec; did you mean 'local-dynamic'?\n"},
        report_case{{"-Wbidi-chars=any,bogus"}, ALL,
                    "quarn++: error: argument 'bogus' to '-Wbidi-chars' not recognized\n"
                    "quarn++: note: valid arguments to '-Wbidi-chars=' are: any none ucn "
                    "unpaired\n"},
        report_case{{"-Wbidi-chars=any,"}, ALL,
                    "quarn++: error: argument '' to '-Wbidi-chars' not recognized\n"
                    "quarn++: note: valid arguments to '-Wbidi-chars=' are: any none ucn "
                    "unpaired\n"},
        report_case{{"-Wbidi-chars=any,unpaired"}, ALL,
                    "quarn++: error: invalid argument in option '-Wbidi-chars=any,unpaired'\n"
                    "quarn++: note: 'any' is mutually exclusive with 'unpaired' and cannot be "
                    "specified together\n"},
        report_case{{"-fconvert=swap,ucn,swap"}, ALL,
                    "quarn++: error: Unrecognized option to endianness value: 'ucn'\n"
                    "quarn++: note: valid arguments to '-fconvert=' are: big-endian "
                    "little-endian native r16_ibm r16_ieee swap\n"},
        report_case{{"-fconvert=swap,r16_ibm,swap"}, ALL,
                    "quarn++: error: invalid argument in option '-fconvert=swap,r16_ibm,swap'\n"
                    "quarn++: note: 'swap' specified multiple times in the same option\n"}));

TEST(ReportOptionError, NothingForOtherErrors) {
  std::string err = capture_diagnostics([] {
    EXPECT_FALSE(report_option_error(0, OPT_Wall, "-Wall", nullptr, ERR_WRONG_LANG, CL_DRIVER));
    EXPECT_FALSE(report_option_error(0, OPT_Wall, "-Wall", nullptr, 0, CL_DRIVER));
  });
  EXPECT_EQ(err, "");
}

// Reading with a recording set of handlers.

struct handler_log {
  std::vector<std::string> calls;
  bool unknown_result = true;
  bool driver_result = true;
};
handler_log *log_now;

bool record_unknown(const decoded_option *d) {
  log_now->calls.push_back(std::string("unknown ") + d->arg);
  return log_now->unknown_result;
}

void record_wrong_lang(const decoded_option *d, unsigned) {
  log_now->calls.push_back(std::string("wrong-lang ") + d->given_text);
}

bool record_driver(options_record *, options_record *, const decoded_option *d, unsigned, int,
                   location_id, const option_handlers *, diag_context *, void (*)(void)) {
  log_now->calls.push_back(std::string("driver ") + d->given_text);
  return log_now->driver_result;
}

const option_handlers test_handlers = {record_unknown, record_wrong_lang, nullptr, 2,
                                       {{record_driver, CL_DRIVER},
                                        {common_handle_option, CL_COMMON},
                                        {nullptr, 0}}};

struct read_case {
  std::vector<const char *> argv;
  bool unknown_result;
  bool driver_result;
  std::vector<std::string> calls;
  const char *expected_err;
};

class ReadCmdlineOption : public testing::TestWithParam<read_case> {};

TEST_P(ReadCmdlineOption, Flow) {
  const read_case &c = GetParam();
  handler_log log;
  log.unknown_result = c.unknown_result;
  log.driver_result = c.driver_result;
  log_now = &log;
  reset_options();
  std::vector<const char *> argv = c.argv;
  argv.push_back(nullptr);
  decoded_option d;
  decode_cmdline_option(argv.data(), CL_DRIVER, &d);
  std::string err = capture_diagnostics([&] {
    read_cmdline_option(&global_options, &global_options_set, &d, 0, CL_DRIVER, &test_handlers,
                        global_dc);
  });
  EXPECT_EQ(log.calls, c.calls);
  EXPECT_EQ(err, c.expected_err);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ReadCmdlineOption,
    testing::Values(
        read_case{{"-fbogus"}, true, true, {"unknown -fbogus"},
                  "quarn++: error: unrecognized command-line option '-fbogus'\n"},
        read_case{{"-Wno-bogus"}, false, true, {"unknown -Wno-bogus"}, ""},
        read_case{{"-Wall"}, true, true, {"wrong-lang -Wall"}, ""},
        // A wrong-language option with a missing argument is reported, not saved.
        read_case{{"-I"}, true, true, {}, "quarn++: error: missing path after '-I'\n"},
        read_case{{"-Whsa"}, true, true, {}, ""},
        read_case{{"-fmudflap"}, true, true, {},
                  "quarn++: warning: switch '-fmudflap' is no longer supported\n"},
        read_case{{"-fno-mudflap"}, true, true, {}, ""},
        read_case{{"-c"}, true, true, {"driver -c"}, ""},
        read_case{{"-c"}, true, false, {"driver -c"},
                  "quarn++: error: unrecognized command-line option '-c'\n"},
        // Both the driver's handler and the common one.
        read_case{{"-fsanitize=adress"}, true, true, {"driver -fsanitize=adress"},
                  "quarn++: error: unrecognized argument to '-fsanitize=' option: 'adress'; did "
                  "you mean 'address'?\n"}));

TEST(ReadCmdlineOption, WarnMessageComesFirst) {
  handler_log log;
  log_now = &log;
  decoded_option d;
  decode_words({"-fhandle-exceptions"}, CL_DRIVER, &d);
  std::string err = capture_diagnostics([&] {
    read_cmdline_option(&global_options, &global_options_set, &d, 0, CL_DRIVER, &test_handlers,
                        global_dc);
  });
  EXPECT_EQ(err, "quarn++: warning: '-fhandle-exceptions' has been renamed '-fexceptions' (and is "
                 "now on by default)\n");
  EXPECT_EQ(log.calls, std::vector<std::string>{"wrong-lang -fhandle-exceptions"});
}

// Storing values.

TEST(StoreOptionValue, EveryStorageKind) {
  options_record opts = default_options, set{};
  memset(static_cast<void *>(&set), 0, sizeof set);
  auto slot = [](size_t row, options_record *r) {
    return static_cast<options_record::option_slot *>(option_field(row, r));
  };
  std::string err = capture_diagnostics([&] {
    // Integer: an int field refuses what does not fit.
    store_option_value(&opts, &set, OPT_fmax_errors_, 7, "7", 0, 0);
    EXPECT_EQ(slot(OPT_fmax_errors_, &opts)->i32, 7);
    EXPECT_EQ(slot(OPT_fmax_errors_, &set)->i32, 1);
    store_option_value(&opts, &set, OPT_fmax_errors_, 3000000000, "3000000000", 0, 0);
    EXPECT_EQ(slot(OPT_fmax_errors_, &opts)->i32, 7);
    // A 64-bit field takes it.
    store_option_value(&opts, &set, OPT_fconstexpr_ops_limit_, 3000000000, "3000000000", 0, 0);
    EXPECT_EQ(slot(OPT_fconstexpr_ops_limit_, &opts)->i64, 3000000000);
  });
  EXPECT_EQ(err, "quarn++: error: argument to '-fmax-errors=' is bigger than 2147483647\n");

  // Equal: the row's constant, or its negation.
  store_option_value(&opts, &set, OPT_fuse_ld_mold, 1, nullptr, 0, 0);
  EXPECT_EQ(opts.use_ld, 4);
  EXPECT_EQ(set.use_ld, 1);
  store_option_value(&opts, &set, OPT_fPIC, 0, nullptr, 0, 0);
  EXPECT_EQ(opts.pic_level, 0);
  store_option_value(&opts, &set, OPT_fpic, 1, nullptr, 0, 0);
  EXPECT_EQ(opts.pic_level, 1);

  // Bit-set and bit-clear.
  store_option_value(&opts, &set, OPT_mbig_endian, 1, nullptr, 0, 0);
  store_option_value(&opts, &set, OPT_mstrict_align, 1, nullptr, 0, 0);
  EXPECT_EQ(opts.target_flags, 0x5);
  store_option_value(&opts, &set, OPT_mlittle_endian, 1, nullptr, 0, 0);
  EXPECT_EQ(opts.target_flags, 0x4);
  store_option_value(&opts, &set, OPT_mstrict_align, 0, nullptr, 0, 0);
  EXPECT_EQ(opts.target_flags, 0);
  EXPECT_EQ(set.target_flags, 0x5);

  // Size: both records take the value.
  store_option_value(&opts, &set, OPT_Wlarger_than_eq, 4096, "4KiB", 0, 0);
  EXPECT_EQ(slot(OPT_Wlarger_than_eq, &opts)->i64, 4096);
  EXPECT_EQ(slot(OPT_Wlarger_than_eq, &set)->i64, 4096);

  // String: the explicitly-set twin holds the empty text.
  store_option_value(&opts, &set, OPT_wrapper, 1, "gdb,--args", 0, 0);
  EXPECT_STREQ(opts.wrapper_string, "gdb,--args");
  EXPECT_STREQ(set.wrapper_string, "");

  // Enum, plain and with a mask of the bits a set may change.
  store_option_value(&opts, &set, OPT_fdiagnostics_color_, 0, "never", 0, 0);
  EXPECT_EQ(opts.diagnostics_color, 0);
  EXPECT_EQ(set.diagnostics_color, 1);
  slot(OPT_Wbidi_chars_, &opts)->i32 = 0x4; // ucn from before
  store_option_value(&opts, &set, OPT_Wbidi_chars_, 2, "any", 0, 0x3);
  EXPECT_EQ(slot(OPT_Wbidi_chars_, &opts)->i32, 0x6);

  // Deferred: every use appended to one list both records share.
  store_option_value(&opts, &set, OPT_fdump_, 1, "tree-all", 0, 0);
  store_option_value(&opts, &set, OPT_fdump_, 1, "rtl-all", 0, 0);
  deferred_option_list *list = slot(OPT_fdump_, &opts)->list;
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->count, 2u);
  EXPECT_STREQ(list->items[1].arg, "rtl-all");
  EXPECT_EQ(list->items[0].row, OPT_fdump_);
  EXPECT_EQ(slot(OPT_fdump_, &set)->list, list);
  free(list->items);
  free(list);

  // No explicitly-set record for generated options.
  store_option_value(&opts, nullptr, OPT_pipe, 1, nullptr, 0, 0);
  EXPECT_EQ(opts.use_pipes, 1);
  EXPECT_EQ(set.use_pipes, 0);
}

TEST(DispatchOption, StoresThenCallsHandlersOfTheClass) {
  handler_log log;
  log_now = &log;
  reset_options();
  decoded_option d;
  decode_words({"-pipe"}, CL_DRIVER, &d);
  EXPECT_TRUE(dispatch_option(&global_options, &global_options_set, &d, CL_DRIVER, 0,
                              &test_handlers, false, global_dc));
  EXPECT_EQ(global_options.use_pipes, 1);
  EXPECT_EQ(global_options_set.use_pipes, 1);
  EXPECT_EQ(log.calls, std::vector<std::string>{"driver -pipe"});
}

} // namespace
