// Start-up translation set-up: the quotation marks follow the locale.
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "diag_test_support.h"
#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"

namespace {

TEST(InitTranslation, QuotationMarksFollowTheLocale) {
  struct {
    const char *locale;
    std::string expected;
  } const cases[] = {
      {"C.UTF-8", "quarn++: error: \xe2\x80\x98" "abc\xe2\x80\x99 \xe2\x80\x98-o\xe2\x80\x99\n"},
      {"C.utf8", "quarn++: error: \xe2\x80\x98" "abc\xe2\x80\x99 \xe2\x80\x98-o\xe2\x80\x99\n"},
      {"C", "quarn++: error: 'abc' '-o'\n"},
      {"POSIX", "quarn++: error: 'abc' '-o'\n"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      setenv("LC_ALL", c.locale, 1);
      unsetenv("LANGUAGE");
      init_translation();
      reset_global_context();
      error_current("%qs %<-o%>", "abc");
    });
    EXPECT_TRUE(child.exited && child.status == 0);
    EXPECT_EQ(child.err, c.expected) << "LC_ALL=" << c.locale;
  }
}

TEST(InitTranslation, UntranslatedMarksInTheCLocale) {
  child_result child = run_in_child([] {
    setenv("LC_ALL", "C", 1);
    init_translation();
    fprintf(stderr, "[%s][%s]", quote_open_text, quote_close_text);
  });
  EXPECT_EQ(child.err, "['][']");
}

} // namespace
