#include "diagnostics/intl.h"

#include <clocale>
#include <cstring>
#include <langinfo.h>
#include <strings.h>

#include "quarn-config.h"

const char *quote_open_text = "'";
const char *quote_close_text = "'";

void init_translation() {
  setlocale(LC_CTYPE, "");
  setlocale(LC_MESSAGES, "");
  bindtextdomain(QUARN_TEXTDOMAIN, QUARN_LOCALEDIR);
  textdomain(QUARN_TEXTDOMAIN);

  // A catalogue may choose the quotation marks by translating these two.
  quote_open_text = _("`");
  quote_close_text = _("'");
  if (strcmp(quote_open_text, "`") == 0 && strcmp(quote_close_text, "'") == 0) {
    quote_open_text = "'";
    const char *codeset = nl_langinfo(CODESET);
    if (codeset && (strcasecmp(codeset, "utf-8") == 0 || strcasecmp(codeset, "utf8") == 0)) {
      quote_open_text = "\xe2\x80\x98";
      quote_close_text = "\xe2\x80\x99";
    }
  }
}
