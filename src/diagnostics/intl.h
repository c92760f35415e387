// Message translation through the "quarn" catalogue.
#pragma once

#include <libintl.h>

// The empty text is the catalogue's header key, so it is never looked up.
__attribute__((format_arg(1))) inline char *translate(const char *msgid) {
  return *msgid ? gettext(msgid) : const_cast<char *>(msgid);
}

#define _(msgid) translate(msgid)
// Marks a text for the catalogue without translating it here.
#define N_(msgid) msgid

// Quotation marks chosen by init_translation: the catalogue's translations of
// "`" and "'", else U+2018/U+2019 in a UTF-8 locale, else "'" on both sides.
extern const char *quote_open_text;
extern const char *quote_close_text;

// Locale (LC_CTYPE, LC_MESSAGES), text domain and quotation marks; once at start-up.
void init_translation();
