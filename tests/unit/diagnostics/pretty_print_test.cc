// The message printer: directives, quoting, UTF-8 validation, prefixes and
// the internal errors of malformed formats.
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "diag_test_support.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "diagnostics/pretty-print.h"

namespace {

const std::string QUOTE_COLOR = "\33[01m\33[K", STOP = "\33[m\33[K";

class PrettyPrint : public ::testing::Test {
protected:
  void SetUp() override {
    saved_open_ = quote_open_text;
    saved_close_ = quote_close_text;
    quote_open_text = "`";
    quote_close_text = "'";
    printer_ = pp_create(stderr);
  }
  void TearDown() override {
    pp_destroy(printer_);
    quote_open_text = saved_open_;
    quote_close_text = saved_close_;
  }

  // Formats and outputs one message and hands back the text; nothing is written.
  std::string text(const char *format, ...) {
    va_list ap;
    va_start(ap, format);
    format_request request{format, &ap, err_no_};
    pp_format_and_output(printer_, &request);
    va_end(ap);
    std::string result = pp_formatted_text(printer_);
    printer_->buffer.formatted.clear();
    printer_->buffer.line_length = 0;
    printer_->emitted_prefix = false;
    printer_->indent_skip = 0;
    return result;
  }

  text_printer *printer_ = nullptr;
  int err_no_ = 0;
  const char *saved_open_ = nullptr, *saved_close_ = nullptr;
};

TEST_F(PrettyPrint, LiteralsAndPercent) {
  EXPECT_EQ(text("plain text"), "plain text");
  EXPECT_EQ(text(""), "");
  EXPECT_EQ(text("100%% sure"), "100% sure");
  EXPECT_EQ(text("a%'b"), "a'b");
  EXPECT_EQ(text("%<-o%> twice"), "`-o' twice");
}

TEST_F(PrettyPrint, IntegerConversions) {
  EXPECT_EQ(text("%d %i", -5, 7), "-5 7");
  EXPECT_EQ(text("%ld", LONG_MIN), std::to_string(LONG_MIN));
  EXPECT_EQ(text("%lld", LLONG_MAX), std::to_string(LLONG_MAX));
  EXPECT_EQ(text("%wd", static_cast<int64_t>(-1) << 40), "-1099511627776");
  EXPECT_EQ(text("%o %lo %llo %wo", 8, 9L, 10LL, static_cast<int64_t>(64)), "10 11 12 100");
  EXPECT_EQ(text("%u", 4000000000U), "4000000000");
  EXPECT_EQ(text("%lu %llu %wu", ULONG_MAX, 1ULL, static_cast<uint64_t>(2)),
            std::to_string(ULONG_MAX) + " 1 2");
  EXPECT_EQ(text("%x", 255), "ff");
  EXPECT_EQ(text("%lx %llx", 0xabcUL, 0xdefULL), "abc def");
  EXPECT_EQ(text("%wx", static_cast<uint64_t>(255)), "0xff");
}

TEST_F(PrettyPrint, OtherConversions) {
  EXPECT_EQ(text("%c%c", 'o', 'k'), "ok");
  EXPECT_EQ(text("%qc", 'a'), "`a'");
  EXPECT_EQ(text("%qc", 1), "`\\x01'");
  EXPECT_EQ(text("%p", reinterpret_cast<void *>(0x10)), "0x10");
  EXPECT_EQ(text("%f", 1.5), "1.500000");
  EXPECT_EQ(text("%s and %s", "this", "that"), "this and that");
  EXPECT_EQ(text("[%s]", static_cast<const char *>(nullptr)), "[(null)]");
}

TEST_F(PrettyPrint, Precision) {
  EXPECT_EQ(text("%.*s", 3, "abcdef"), "abc");
  EXPECT_EQ(text("%.*s", -1, "abcdef"), "abcdef");
  EXPECT_EQ(text("%.*s", 10, "abc"), "abc");
  EXPECT_EQ(text("%.*s|%s", 2, "abcdef", "next"), "ab|next");
  EXPECT_EQ(text("%.2s", "abcdef"), "ab");
  EXPECT_EQ(text("%.0s|", "abcdef"), "|");
  // The precision need not end at a terminator.
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(text("%.*s", 2, unterminated), "xy");
}

TEST_F(PrettyPrint, IntegerLists) {
  const int values[] = {1, 2, 3};
  EXPECT_EQ(text("%Z", values, 3U), "1, 2, 3");
  EXPECT_EQ(text("(%Z)", values, 1U), "(1)");
  EXPECT_EQ(text("(%Z)", values, 0U), "()");
}

TEST_F(PrettyPrint, ArgumentIndexes) {
  EXPECT_EQ(text("%2$s %1$s", "a", "b"), "b a");
  // The variadic list is read in index order, whatever the types.
  EXPECT_EQ(text("%2$d %1$s", "x", 5), "5 x");
  EXPECT_EQ(text("%2$.*1$s!", 3, "abcdef"), "abc!");
  EXPECT_EQ(text("%3$s|%2$.*1$s", 4, "abcdefgh", "z"), "z|abcd");
}

TEST_F(PrettyPrint, QuotedStrings) {
  struct {
    const char *argument;
    std::string expected;
  } const cases[] = {
      {"abc", "`abc'"},
      {"\x01", "`\\x01'"},
      {"tab\there", "`tab\\x09here'"},
      {"caf\xc3\xa9", "`caf\xc3\xa9'"},
      {"\xe2\x80\x98q\xe2\x80\x99", "`\xe2\x80\x98q\xe2\x80\x99'"},
      {"\xf0\x9f\x98\x80", "`\xf0\x9f\x98\x80'"},
      {"\xff", "`\\xff'"},
      {"a\xc0\x80", "`a\\xc0\\x80'"},
      {"\xed\xa0\x80", "`\\xed\\xa0\\x80'"},
      {"\xe2\x80", "`\\xe2\\x80'"},
      {"\x80z", "`\\x80z'"},
      {"\x7f", "`\\x7f'"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(text("%qs", c.argument), c.expected) << "argument " << c.argument;
  // Without q the bytes pass unchanged.
  EXPECT_EQ(text("%s", "\x01\xff"), "\x01\xff");
}

TEST_F(PrettyPrint, ColorsAndQuotes) {
  EXPECT_EQ(text("%<x%>"), "`x'");
  EXPECT_EQ(text("%qs", "x"), "`x'");
  EXPECT_EQ(text("%rred%R", "error"), "red");
  printer_->show_color = true;
  EXPECT_EQ(text("%<x%>"), "`" + QUOTE_COLOR + "x" + STOP + "'");
  EXPECT_EQ(text("%qs", "x"), "`" + QUOTE_COLOR + "x" + STOP + "'");
  EXPECT_EQ(text("%rred%R", "error"), "\33[01;31m\33[Kred" + STOP);
  EXPECT_EQ(text("%rplain%R", "no-such-color"), "plain" + STOP);
}

TEST_F(PrettyPrint, PathEvents) {
  int event = 0;
  EXPECT_EQ(text("%@", &event), "(1)");
  event = 41;
  printer_->show_color = true;
  EXPECT_EQ(text("see %@", &event), "see \33[01;36m\33[K(42)" + STOP);
  // The largest id does not wrap round.
  event = INT_MAX;
  printer_->show_color = false;
  EXPECT_EQ(text("%@", &event), "(2147483648)");
}

TEST_F(PrettyPrint, Hyperlinks) {
  EXPECT_EQ(text("%{link%}", "https://a.example/"), "link");
  printer_->url_format = URL_FORMAT_ST;
  EXPECT_EQ(text("%{link%}", "https://a.example/"),
            "\33]8;;https://a.example/\33\\link\33]8;;\33\\");
  printer_->url_format = URL_FORMAT_BEL;
  EXPECT_EQ(text("%{link%}", "https://a.example/"), "\33]8;;https://a.example/\alink\33]8;;\a");
}

TEST_F(PrettyPrint, ErrnoText) {
  err_no_ = ENOENT;
  EXPECT_EQ(text("cannot open: %m"), std::string("cannot open: ") + strerror(ENOENT));
}

TEST_F(PrettyPrint, PrefixOnceWithIndentation) {
  pp_set_prefix(printer_, strdup("P: "));
  EXPECT_EQ(text("one line"), "P: one line");
  // Newlines inside one piece are written unchanged.
  EXPECT_EQ(text("first\nsecond"), "P: first\nsecond");
  // A piece that starts a line is indented by three spaces.
  EXPECT_EQ(text("first\n%s", "second"), "P: first\n   second");
  EXPECT_EQ(text("a\n%s\n%d", "b", 3), "P: a\n   b\n   3");
  EXPECT_EQ(text(""), "P: ");
  printer_->rule = PREFIX_NEVER;
  EXPECT_EQ(text("first\n%s", "second"), "first\nsecond");
}

TEST_F(PrettyPrint, PrefixIsReplacedAndTaken) {
  pp_set_prefix(printer_, strdup("old: "));
  pp_set_prefix(printer_, strdup("new: "));
  EXPECT_EQ(text("x"), "new: x");
  char *taken = pp_take_prefix(printer_);
  EXPECT_STREQ(taken, "new: ");
  free(taken);
  EXPECT_EQ(text("x"), "x");
}

TEST_F(PrettyPrint, FlushWritesTheWholeMessageOnce) {
  char *memory = nullptr;
  size_t size = 0;
  FILE *stream = open_memstream(&memory, &size);
  ASSERT_NE(stream, nullptr);
  printer_->buffer.stream = stream;
  pp_set_prefix(printer_, strdup("P: "));
  va_list unused{};
  format_request request{"hello", &unused, 0};
  pp_format_and_output(printer_, &request);
  pp_newline_and_flush(printer_);
  EXPECT_EQ(std::string(memory, size), "P: hello\n");
  EXPECT_STREQ(pp_formatted_text(printer_), "");
  EXPECT_EQ(printer_->buffer.line_length, 0);
  fclose(stream);
  free(memory);
}

TEST_F(PrettyPrint, ManyArguments) {
  // 29 argument directives give 59 pieces, within the limit of 60.
  std::string format;
  for (int i = 0; i < 29; ++i)
    format += "%d";
  EXPECT_EQ(text(format.c_str(), 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0, 1, 2,
                 3, 4, 5, 6, 7, 8, 9),
            "12345678901234567890123456789");
}

struct utf8_case {
  std::string bytes;
  size_t length;
  unsigned value;
};

TEST(DecodeUtf8, Sequences) {
  const utf8_case cases[] = {
      {"A", 1, 0x41},
      {"\xc3\xa9", 2, 0xe9},
      {"\xdf\xbf", 2, 0x7ff},
      {"\xe2\x80\x98", 3, 0x2018},
      {"\xed\x9f\xbf", 3, 0xd7ff},
      {"\xee\x80\x80", 3, 0xe000},
      {"\xf0\x9f\x98\x80", 4, 0x1f600},
      {"\xf8\x88\x80\x80\x80", 5, 0x200000},
      {"\xfc\x84\x80\x80\x80\x80", 6, 0x4000000},
      {"\xfd\xbf\xbf\xbf\xbf\xbf", 6, 0x7fffffff},
      // Overlong forms of every length.
      {"\xc0\x80", 0, 0},
      {"\xc1\xbf", 0, 0},
      {"\xe0\x9f\xbf", 0, 0},
      {"\xf0\x8f\xbf\xbf", 0, 0},
      {"\xf8\x87\xbf\xbf\xbf", 0, 0},
      {"\xfc\x83\xbf\xbf\xbf\xbf", 0, 0},
      // Surrogates.
      {"\xed\xa0\x80", 0, 0},
      {"\xed\xbf\xbf", 0, 0},
      // Bad lead bytes, bad trail bytes, truncation.
      {"\xff", 0, 0},
      {"\xfe\x80\x80\x80\x80\x80\x80", 0, 0},
      {"\x80", 0, 0},
      {"\xc3\x41", 0, 0},
      {"\xe2\x80\x41", 0, 0},
  };
  for (const utf8_case &c : cases) {
    unsigned value = 0;
    size_t length = decode_utf8_char(reinterpret_cast<const unsigned char *>(c.bytes.data()),
                                     c.bytes.size(), &value);
    EXPECT_EQ(length, c.length) << "case with value " << std::hex << c.value;
    if (c.length)
      EXPECT_EQ(value, c.value);
  }
  unsigned value;
  EXPECT_EQ(decode_utf8_char(reinterpret_cast<const unsigned char *>("\xe2\x80\x98"), 2, &value),
            0U)
      << "a sequence longer than the available bytes";
}

// A malformed format is a programming error: the run ends as an internal error.
void expect_bad_format(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  child_result child = run_in_child([&] {
    reset_global_context();
    format_request request{format, &ap, 0};
    pp_format(global_dc->printer, &request);
  });
  va_end(ap);
  EXPECT_TRUE(child.exited) << format;
  EXPECT_EQ(child.status, 4) << format;
  EXPECT_EQ(child.err.rfind("quarn++: internal compiler error: in ", 0), 0U)
      << format << "\n" << child.err;
  EXPECT_NE(child.err.find(", at pretty-print.cc:"), std::string::npos) << child.err;
}

TEST(PrettyPrintErrors, MalformedFormats) {
  expect_bad_format("%1$s %s", "a", "b");
  expect_bad_format("%s %1$s", "a", "b");
  expect_bad_format("ends with %");
  expect_bad_format("%lwd", 1L);
  expect_bad_format("%wld", 1L);
  expect_bad_format("%qqs", "a");
  expect_bad_format("%llld", 1LL);
  expect_bad_format("%ww", 1L);
  expect_bad_format("%2$s", "a", "b");
  expect_bad_format("%1$s %1$s", "a");
  expect_bad_format("%0$s", "a");
  expect_bad_format("%1s", "a");
  expect_bad_format("%.s", "a");
  expect_bad_format("%.*d", 1, 2);
  expect_bad_format("%.3d", 1);
  expect_bad_format("%2$.*2$s", 1, "a");
  expect_bad_format("%k", 1);
  int unset_event = -1;
  expect_bad_format("%@", &unset_event);
  std::string too_many;
  for (int i = 0; i < 31; ++i)
    too_many += "%s";
  expect_bad_format(too_many.c_str());
}

TEST(PrettyPrintErrors, BadFormatInsideANoteIsAnInternalError) {
  child_result child = run_in_child([] {
    reset_global_context();
    inform(UNKNOWN_LOCATION, "%1$s %s", "a", "b");
  });
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 4);
  EXPECT_EQ(child.err.rfind("quarn++: internal compiler error: in ", 0), 0U) << child.err;
}

} // namespace
