// The message printer: turns a printf-like format with the diagnostic
// directives (quoting, colors, hyperlinks, path events) into text, puts the
// diagnostic prefix in front of it and writes each message in one piece.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "diagnostics/diagnostic-color.h"
#include "diagnostics/diagnostic.h"

enum prefix_rule { PREFIX_ONCE = 0, PREFIX_NEVER = 1 };

// Limits of one format: argument slots and pieces (literal runs and arguments).
constexpr int PP_MAX_ARGS = 30;
constexpr int PP_MAX_PIECES = 60;

// The pieces of one formatting run: literal runs and converted arguments, in
// the order they appear in the format.
struct piece_array {
  std::string pieces[PP_MAX_PIECES];
  int count;
};

struct text_buffer {
  std::string formatted;                  // the current output, not yet written
  std::vector<piece_array *> piece_stack;  // one array per nested formatting run
  FILE *stream;
  int line_length;  // bytes on the current output line
  char digit_buffer[128];
};

struct text_printer;

// Converts a directive the printer does not know; false declines it.
typedef bool (*format_decoder)(text_printer *printer, format_request *request, const char *spec,
                               std::string *out);

struct text_printer {
  text_buffer buffer;
  char *prefix;  // owned
  bool emitted_prefix;
  int indent_skip;  // indentation of continuation pieces
  prefix_rule rule;
  bool show_color;
  ::url_format url_format;
  format_decoder decoder;
};

text_printer *pp_create(FILE *stream);
void pp_destroy(text_printer *printer);

// Splits and converts the format into a new piece array; writes nothing yet.
void pp_format(text_printer *printer, format_request *request);
// Appends the pieces of the innermost array to the output, with the prefix.
void pp_output_formatted_text(text_printer *printer);
void pp_format_and_output(text_printer *printer, format_request *request);

void pp_append_text(text_printer *printer, const char *start, const char *end);
void pp_string(text_printer *printer, const char *text);
void pp_character(text_printer *printer, int c);
void pp_newline(text_printer *printer);
void pp_begin_url(text_printer *printer, const char *url);
void pp_end_url(text_printer *printer);
const char *get_end_url_string(text_printer *printer);

// The printer owns PREFIX from now on; the previous one is released.
void pp_set_prefix(text_printer *printer, char *prefix);
// Hands the prefix to the caller and leaves none.
char *pp_take_prefix(text_printer *printer);

// The output so far, not yet written to the stream.
const char *pp_formatted_text(text_printer *printer);
void pp_flush(text_printer *printer);
void pp_newline_and_flush(text_printer *printer);

// Length of the valid UTF-8 sequence at P (at most LEN bytes), storing its
// value; 0 when the bytes are not one (bad lead or trail, overlong, surrogate).
size_t decode_utf8_char(const unsigned char *p, size_t len, unsigned int *value);
