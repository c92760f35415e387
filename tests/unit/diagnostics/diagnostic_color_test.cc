// Color sequences, QUARN_COLORS, the terminal check and the hyperlink format.
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "diag_test_support.h"
#include "diagnostics/diagnostic-color.h"

namespace {

const char *const STOP = "\33[m\33[K";

TEST(ColorTable, DefaultSequences) {
  struct {
    const char *name;
    const char *sequence;
  } const cases[] = {
      {"error", "\33[01;31m\33[K"},     {"warning", "\33[01;35m\33[K"},
      {"note", "\33[01;36m\33[K"},      {"range1", "\33[32m\33[K"},
      {"range2", "\33[34m\33[K"},       {"locus", "\33[01m\33[K"},
      {"quote", "\33[01m\33[K"},        {"path", "\33[01;36m\33[K"},
      {"fixit-insert", "\33[32m\33[K"}, {"fixit-delete", "\33[31m\33[K"},
      {"diff-filename", "\33[01m\33[K"}, {"diff-hunk", "\33[36m\33[K"},
      {"diff-delete", "\33[31m\33[K"},  {"diff-insert", "\33[32m\33[K"},
      {"type-diff", "\33[01;32m\33[K"},
  };
  ASSERT_EQ(sizeof cases / sizeof cases[0], static_cast<size_t>(COLOR_TABLE_SIZE));
  for (int i = 0; i < COLOR_TABLE_SIZE; ++i) {
    EXPECT_STREQ(color_table[i].name, cases[i].name) << "table order at " << i;
    EXPECT_STREQ(colorize_start(true, cases[i].name), cases[i].sequence) << cases[i].name;
    EXPECT_STREQ(colorize_start(false, cases[i].name), "") << cases[i].name;
  }
}

TEST(ColorTable, UnknownNamesAndStop) {
  EXPECT_STREQ(colorize_start(true, "bogus"), "");
  // Names are compared by length and bytes, not as prefixes.
  EXPECT_STREQ(colorize_start(true, "err"), "");
  EXPECT_STREQ(colorize_start(true, "errors"), "");
  EXPECT_STREQ(colorize_start(true, "error", 3), "");
  EXPECT_STREQ(colorize_stop(true), STOP);
  EXPECT_STREQ(colorize_stop(false), "");
}

// Runs colorize_init in a child (QUARN_COLORS rewrites the process-wide
// table) and reports the decision and three sequences.
std::string colors_after(const char *quarn_colors, int mode) {
  child_result child = run_in_child([&] {
    if (quarn_colors)
      setenv("QUARN_COLORS", quarn_colors, 1);
    else
      unsetenv("QUARN_COLORS");
    bool show = colorize_init(mode);
    fprintf(stderr, "%d|%s|%s|%s", show, colorize_start(true, "error"),
            colorize_start(true, "warning"), colorize_start(true, "note"));
  });
  EXPECT_TRUE(child.exited && child.status == 0);
  return child.err;
}

TEST(QuarnColors, Overrides) {
  const std::string error = "\33[01;31m\33[K", warning = "\33[01;35m\33[K", note = "\33[01;36m\33[K";
  struct {
    const char *value;
    std::string expected;
  } const cases[] = {
      {nullptr, "1|" + error + "|" + warning + "|" + note},
      {"error=01;33", "1|\33[01;33m\33[K|" + warning + "|" + note},
      // The scan stops at the x: neither warning nor the later note change.
      {"error=1:warning=x3:note=01", "1|\33[1m\33[K|" + warning + "|" + note},
      // An empty value is still a value.
      {"error=", "1|\33[m\33[K|" + warning + "|" + note},
      {"note=01;04:warning=32", "1|" + error + "|\33[32m\33[K|\33[01;04m\33[K"},
      {"bogus=1:note=32", "1|" + error + "|" + warning + "|\33[32m\33[K"},
      {"note:error=35", "1|\33[35m\33[K|" + warning + "|" + note},
      {"=01:error=35", "1|" + error + "|" + warning + "|" + note},
      {"error=1=2:note=32", "1|" + error + "|" + warning + "|" + note},
      {"warning=7:error", "1|" + error + "|\33[7m\33[K|" + note},
      {"", "0|" + error + "|" + warning + "|" + note},
  };
  for (const auto &c : cases)
    EXPECT_EQ(colors_after(c.value, COLOR_MODE_ALWAYS), c.expected)
        << "QUARN_COLORS=" << (c.value ? c.value : "<unset>");
}

TEST(QuarnColors, NeverIgnoresTheVariable) {
  EXPECT_EQ(colors_after("error=01;33", COLOR_MODE_NEVER),
            "0|\33[01;31m\33[K|\33[01;35m\33[K|\33[01;36m\33[K");
}

TEST(QuarnColors, ReplacedSequencesAreReleased) {
  // Switching colors on twice reads the variable twice; the second value wins.
  child_result child = run_in_child([] {
    setenv("QUARN_COLORS", "error=01;33", 1);
    colorize_init(COLOR_MODE_ALWAYS);
    setenv("QUARN_COLORS", "error=34", 1);
    colorize_init(COLOR_MODE_ALWAYS);
    fputs(colorize_start(true, "error"), stderr);
  });
  EXPECT_EQ(child.err, "\33[34m\33[K");
}

// The decision of colorize_init in a child whose standard error is a
// terminal or a file; returned through the exit status.
int colorize_in_child(bool on_terminal, const char *term, int mode) {
  child_result child = run_in_child([&] {
    if (on_terminal && !make_stderr_a_terminal())
      _exit(99);
    if (term)
      setenv("TERM", term, 1);
    else
      unsetenv("TERM");
    unsetenv("QUARN_COLORS");
    _exit(colorize_init(mode));
  });
  EXPECT_TRUE(child.exited);
  return child.status;
}

TEST(ColorModes, TerminalCheck) {
  struct {
    bool on_terminal;
    const char *term;
    int mode;
    int expected;
  } const cases[] = {
      {true, "xterm", COLOR_MODE_AUTO, 1},   {true, "dumb", COLOR_MODE_AUTO, 0},
      {true, nullptr, COLOR_MODE_AUTO, 0},   {false, "xterm", COLOR_MODE_AUTO, 0},
      {true, "dumb", COLOR_MODE_ALWAYS, 1},  {false, nullptr, COLOR_MODE_ALWAYS, 1},
      {true, "xterm", COLOR_MODE_NEVER, 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(colorize_in_child(c.on_terminal, c.term, c.mode), c.expected)
        << "terminal " << c.on_terminal << " TERM=" << (c.term ? c.term : "<unset>") << " mode "
        << c.mode;
}

struct url_case {
  int mode;
  bool on_terminal;
  const char *term, *colorterm, *quarn_urls, *term_urls;
  int expected;
};

TEST(UrlFormat, Rules) {
  const int NONE = URL_FORMAT_NONE, ST = URL_FORMAT_ST, BEL = URL_FORMAT_BEL;
  const url_case cases[] = {
      {URL_MODE_NEVER, true, "vt100", nullptr, "st", nullptr, NONE},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, nullptr, nullptr, BEL},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "st", nullptr, ST},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "bel", nullptr, BEL},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "", nullptr, NONE},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "no", nullptr, NONE},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "yes", nullptr, BEL},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, nullptr, "st", ST},
      {URL_MODE_ALWAYS, false, nullptr, nullptr, "bel", "st", BEL},
      {URL_MODE_AUTO, false, "vt100", nullptr, "st", nullptr, NONE},
      {URL_MODE_AUTO, true, "dumb", nullptr, "st", nullptr, NONE},
      {URL_MODE_AUTO, true, "xterm", nullptr, nullptr, nullptr, NONE},
      {URL_MODE_AUTO, true, "linux", nullptr, nullptr, nullptr, NONE},
      {URL_MODE_AUTO, true, "xterm", "truecolor", nullptr, nullptr, BEL},
      {URL_MODE_AUTO, true, "xterm", nullptr, "st", nullptr, ST},
      {URL_MODE_AUTO, true, "xterm", nullptr, nullptr, "st", ST},
      {URL_MODE_AUTO, true, "xterm-256color", "gnome-terminal", "st", nullptr, NONE},
      {URL_MODE_AUTO, true, "xterm", "xfce4-terminal", nullptr, nullptr, NONE},
      {URL_MODE_AUTO, true, "vt100", nullptr, nullptr, nullptr, BEL},
  };
  for (const url_case &c : cases) {
    child_result child = run_in_child([&] {
      if (c.on_terminal && !make_stderr_a_terminal())
        _exit(99);
      const char *names[] = {"TERM", "COLORTERM", "QUARN_URLS", "TERM_URLS"};
      const char *values[] = {c.term, c.colorterm, c.quarn_urls, c.term_urls};
      for (int i = 0; i < 4; ++i) {
        if (values[i])
          setenv(names[i], values[i], 1);
        else
          unsetenv(names[i]);
      }
      _exit(determine_url_format(c.mode));
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, c.expected)
        << "mode " << c.mode << " terminal " << c.on_terminal << " TERM="
        << (c.term ? c.term : "-") << " COLORTERM=" << (c.colorterm ? c.colorterm : "-")
        << " QUARN_URLS=" << (c.quarn_urls ? c.quarn_urls : "-")
        << " TERM_URLS=" << (c.term_urls ? c.term_urls : "-");
  }
}

} // namespace
