#include "diagnostics/intl.h"

#include <clocale>

#include "quarn-config.h"

const char *quote_open_text = "'";
const char *quote_close_text = "'";

void init_translation() {
  setlocale(LC_CTYPE, "");
  setlocale(LC_MESSAGES, "");
  bindtextdomain(QUARN_TEXTDOMAIN, QUARN_LOCALEDIR);
  textdomain(QUARN_TEXTDOMAIN);
}
