// Message translation through the "quarn" catalogue.
#pragma once

#include <libintl.h>

#define _(msgid) gettext(msgid)
// Marks a text for the catalogue without translating it here.
#define N_(msgid) msgid

// Quotation marks chosen by init_translation.
extern const char *quote_open_text;
extern const char *quote_close_text;

// Locale, text domain and quotation marks; once at start-up.
void init_translation();
