// Terminal colors and hyperlinks of diagnostics: which escape sequence each
// color name stands for (overridable through QUARN_COLORS), whether to color
// at all, and which hyperlink terminator the terminal understands.
#pragma once

#include <cstddef>

// Values of -fdiagnostics-color= and -fdiagnostics-urls=.
enum color_mode { COLOR_MODE_NEVER = 0, COLOR_MODE_ALWAYS = 1, COLOR_MODE_AUTO = 2 };
enum url_mode { URL_MODE_NEVER = 0, URL_MODE_ALWAYS = 1, URL_MODE_AUTO = 2 };

// How the printer terminates a hyperlink escape sequence.
enum url_format { URL_FORMAT_NONE = 0, URL_FORMAT_ST = 1, URL_FORMAT_BEL = 2 };

struct color_entry {
  const char *name;
  unsigned char name_length;
  const char *sequence;
  bool owned;  // allocated while reading QUARN_COLORS
};

constexpr int COLOR_TABLE_SIZE = 15;
extern color_entry color_table[COLOR_TABLE_SIZE];

// Whether to color for MODE; switching colors on rereads QUARN_COLORS.
bool colorize_init(int mode);

// Applies QUARN_COLORS to the table; false when it is set and empty.
bool parse_quarn_colors();

// TERM set and not "dumb", and standard error a terminal.
bool should_colorize();

// Start sequence of the color NAME; empty when SHOW_COLOR is off or NAME unknown.
const char *colorize_start(bool show_color, const char *name, size_t name_length);
const char *colorize_start(bool show_color, const char *name);
const char *colorize_stop(bool show_color);

url_format determine_url_format(int mode);
