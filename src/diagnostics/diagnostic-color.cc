#include "diagnostics/diagnostic-color.h"

#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "support/alloc.h"

#define SGR_SEQ(text) "\33[" text "m\33[K"
#define COLOR_ENTRY(name, seq) {name, sizeof(name) - 1, SGR_SEQ(seq), false}

color_entry color_table[COLOR_TABLE_SIZE] = {
    COLOR_ENTRY("error", "01;31"),        COLOR_ENTRY("warning", "01;35"),
    COLOR_ENTRY("note", "01;36"),         COLOR_ENTRY("range1", "32"),
    COLOR_ENTRY("range2", "34"),          COLOR_ENTRY("locus", "01"),
    COLOR_ENTRY("quote", "01"),           COLOR_ENTRY("path", "01;36"),
    COLOR_ENTRY("fixit-insert", "32"),    COLOR_ENTRY("fixit-delete", "31"),
    COLOR_ENTRY("diff-filename", "01"),   COLOR_ENTRY("diff-hunk", "36"),
    COLOR_ENTRY("diff-delete", "31"),     COLOR_ENTRY("diff-insert", "32"),
    COLOR_ENTRY("type-diff", "01;32"),
};

static const char color_stop_sequence[] = SGR_SEQ("");

static color_entry *find_color(const char *name, size_t name_length) {
  for (color_entry &entry : color_table)
    if (entry.name_length == name_length && memcmp(entry.name, name, name_length) == 0)
      return &entry;
  return nullptr;
}

const char *colorize_start(bool show_color, const char *name, size_t name_length) {
  if (!show_color)
    return "";
  color_entry *entry = find_color(name, name_length);
  return entry ? entry->sequence : "";
}

const char *colorize_start(bool show_color, const char *name) {
  return colorize_start(show_color, name, strlen(name));
}

const char *colorize_stop(bool show_color) { return show_color ? color_stop_sequence : ""; }

static void set_color_sequence(const char *name, size_t name_length, const char *value,
                               size_t value_length) {
  color_entry *entry = find_color(name, name_length);
  if (!entry)
    return;
  size_t size = sizeof "\33[m\33[K" + value_length;
  char *sequence = static_cast<char *>(xmalloc(size));
  memcpy(sequence, "\33[", 2);
  memcpy(sequence + 2, value, value_length);
  memcpy(sequence + 2 + value_length, "m\33[K", sizeof "m\33[K");
  if (entry->owned)
    free(const_cast<char *>(entry->sequence));
  entry->sequence = sequence;
  entry->owned = true;
}

bool parse_quarn_colors() {
  const char *p = getenv("QUARN_COLORS");
  if (!p)
    return true;
  if (!*p)
    return false;

  const char *name = p;
  const char *value = nullptr;  // set once the item's "=" was seen
  for (;; ++p) {
    if (*p == ':' || *p == '\0') {
      if (value)
        set_color_sequence(name, value - 1 - name, value, p - value);
      if (*p == '\0')
        break;
      name = p + 1;
      value = nullptr;
    } else if (*p == '=') {
      // A nameless item or a second "=" makes the rest unreadable.
      if (p == name || value)
        break;
      value = p + 1;
    } else if (value && *p != ';' && (*p < '0' || *p > '9')) {
      break;
    }
  }
  return true;
}

bool should_colorize() {
  const char *term = getenv("TERM");
  return term && strcmp(term, "dumb") != 0 && isatty(STDERR_FILENO);
}

bool colorize_init(int mode) {
  switch (mode) {
  case COLOR_MODE_NEVER:
    return false;
  case COLOR_MODE_ALWAYS:
    return parse_quarn_colors();
  default:
    return should_colorize() && parse_quarn_colors();
  }
}

static url_format url_format_from_environment() {
  const char *value = getenv("QUARN_URLS");
  if (!value)
    value = getenv("TERM_URLS");
  if (!value)
    return URL_FORMAT_BEL;
  if (!*value || strcmp(value, "no") == 0)
    return URL_FORMAT_NONE;
  if (strcmp(value, "st") == 0)
    return URL_FORMAT_ST;
  return URL_FORMAT_BEL;
}

url_format determine_url_format(int mode) {
  switch (mode) {
  case URL_MODE_NEVER:
    return URL_FORMAT_NONE;
  case URL_MODE_ALWAYS:
    return url_format_from_environment();
  default:
    break;
  }
  if (!should_colorize())
    return URL_FORMAT_NONE;
  // These terminals misrender the hyperlink sequences.
  const char *colorterm = getenv("COLORTERM");
  if (colorterm &&
      (strcmp(colorterm, "xfce4-terminal") == 0 || strcmp(colorterm, "gnome-terminal") == 0))
    return URL_FORMAT_NONE;
  if (getenv("QUARN_URLS") || getenv("TERM_URLS"))
    return url_format_from_environment();
  const char *term = getenv("TERM");
  if (!colorterm && (strcmp(term, "xterm") == 0 || strcmp(term, "linux") == 0))
    return URL_FORMAT_NONE;
  return url_format_from_environment();
}
