// Start-up translation set-up: the quotation marks follow the locale.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <sys/stat.h>
#include <vector>

#include <gtest/gtest.h>

#include "common/test_catalogue.h"
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

TEST(Translation, FormatsKindTextsAndNoticesAreTranslated) {
  char dir[] = "/tmp/quarn-catalogue-XXXXXX";
  ASSERT_NE(mkdtemp(dir), nullptr);
  child_result child = run_in_child([&] {
    if (!write_test_catalogue(dir, {{"", "Content-Type: text/plain; charset=UTF-8\n"},
                               {"error: ", "Fehler: "},
                               {"cannot find %qs", "%qs nicht gefunden"},
                               {"fatal error: ", "schwerer Fehler: "},
                               {"compilation terminated.\n", "Kompilierung beendet.\n"}}))
      _exit(99);
    setenv("LC_ALL", "C.UTF-8", 1);
    unsetenv("LANGUAGE");
    init_translation();
    bindtextdomain("quarn", dir);
    reset_global_context();
    error_current("cannot find %qs", "ld");
    // The empty text is the catalogue's header key and must stay empty.
    error_current("");
    fatal_error(UNKNOWN_LOCATION, "no input files");
  });
  std::filesystem::remove_all(dir);
  EXPECT_TRUE(child.exited);
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, "quarn++: Fehler: \xe2\x80\x98ld\xe2\x80\x99 nicht gefunden\n"
                       "quarn++: Fehler: \n"
                       "quarn++: schwerer Fehler: no input files\n"
                       "Kompilierung beendet.\n");
}

} // namespace
