#include "diagnostics/pretty-print.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"

static_assert(sizeof(long) == 8, "%w conversions read a 64-bit long");

text_printer *pp_create(FILE *stream) {
  text_printer *printer = new text_printer{};
  printer->buffer.stream = stream;
  printer->rule = PREFIX_ONCE;
  printer->url_format = URL_FORMAT_NONE;
  return printer;
}

void pp_destroy(text_printer *printer) {
  if (!printer)
    return;
  for (piece_array *array : printer->buffer.piece_stack)
    delete array;
  free(printer->prefix);
  delete printer;
}

static bool is_digit(char c) { return c >= '0' && c <= '9'; }

static bool is_printable_ascii(unsigned char c) { return c >= 0x20 && c < 0x7f; }

size_t decode_utf8_char(const unsigned char *p, size_t len, unsigned int *value) {
  if (len == 0)
    return 0;
  unsigned int c = p[0];
  if (c < 0x80) {
    *value = c;
    return 1;
  }
  size_t length;
  if ((c & 0xe0) == 0xc0)
    length = 2;
  else if ((c & 0xf0) == 0xe0)
    length = 3;
  else if ((c & 0xf8) == 0xf0)
    length = 4;
  else if ((c & 0xfc) == 0xf8)
    length = 5;
  else if ((c & 0xfe) == 0xfc)
    length = 6;
  else
    return 0;
  if (length > len)
    return 0;

  unsigned int result = c & (0x7f >> length);
  for (size_t i = 1; i < length; ++i) {
    if ((p[i] & 0xc0) != 0x80)
      return 0;
    result = (result << 6) | (p[i] & 0x3f);
  }
  static const unsigned int smallest[] = {0, 0, 0x80, 0x800, 0x10000, 0x200000, 0x4000000};
  if (result < smallest[length] || (result >= 0xd800 && result <= 0xdfff))
    return 0;
  *value = result;
  return length;
}

// Printable ASCII and valid UTF-8 pass; every other byte becomes \xNN so that
// control bytes never reach the terminal.
static void append_quoted_string(std::string *out, const char *text, size_t length) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text);
  const unsigned char *end = p + length;
  while (p < end) {
    if (is_printable_ascii(*p)) {
      out->push_back(static_cast<char>(*p++));
      continue;
    }
    unsigned int value;
    size_t n = (*p & 0x80) ? decode_utf8_char(p, end - p, &value) : 0;
    if (n > 0) {
      out->append(reinterpret_cast<const char *>(p), n);
      p += n;
      continue;
    }
    char escaped[8];
    snprintf(escaped, sizeof escaped, "\\x%02x", *p++);
    out->append(escaped);
  }
}

static void append_url_start(text_printer *printer, std::string *out, const char *url) {
  switch (printer->url_format) {
  case URL_FORMAT_NONE:
    return;
  case URL_FORMAT_ST:
    *out += "\33]8;;";
    *out += url;
    *out += "\33\\";
    return;
  case URL_FORMAT_BEL:
    *out += "\33]8;;";
    *out += url;
    *out += "\a";
    return;
  }
}

const char *get_end_url_string(text_printer *printer) {
  switch (printer->url_format) {
  case URL_FORMAT_ST:
    return "\33]8;;\33\\";
  case URL_FORMAT_BEL:
    return "\33]8;;\a";
  default:
    return "";
  }
}

static void append_errno_text(std::string *out, int err_no) {
  const char *text = strerror(err_no);
  if (text) {
    *out += text;
    return;
  }
  char fallback[64];
  snprintf(fallback, sizeof fallback, "undocumented error #%d", err_no);
  *out += fallback;
}

static std::string *new_piece(piece_array *array) {
  quarn_assert(array->count < PP_MAX_PIECES);
  std::string *piece = &array->pieces[array->count++];
  piece->clear();
  return piece;
}

static int read_number(const char **p) {
  long n = 0;
  while (is_digit(**p)) {
    if (n < 1000000)
      n = n * 10 + (**p - '0');
    ++*p;
  }
  return static_cast<int>(n);
}

// Phase one: literal text and the directives that take no argument go into
// literal pieces; every argument directive gets a piece holding its spec
// (flags and conversion), and ARG_PIECE maps argument slots to those pieces.
static void split_format(text_printer *printer, format_request *request, piece_array *array,
                         int *arg_piece) {
  for (int i = 0; i < PP_MAX_ARGS; ++i)
    arg_piece[i] = -1;
  bool any_numbered = false, any_unnumbered = false;
  int next_arg = 0;
  std::string *literal = new_piece(array);

  for (const char *p = request->format; *p;) {
    if (*p != '%') {
      const char *start = p;
      while (*p && *p != '%')
        ++p;
      literal->append(start, p);
      continue;
    }
    ++p;
    switch (*p) {
    case '\0':
      quarn_unreachable();
    case '%':
      literal->push_back('%');
      ++p;
      continue;
    case '\'':
      *literal += quote_close_text;
      ++p;
      continue;
    case '<':
      *literal += quote_open_text;
      *literal += colorize_start(printer->show_color, "quote");
      ++p;
      continue;
    case '>':
      *literal += colorize_stop(printer->show_color);
      *literal += quote_close_text;
      ++p;
      continue;
    case 'R':
      *literal += colorize_stop(printer->show_color);
      ++p;
      continue;
    case 'm':
      append_errno_text(literal, request->err_no);
      ++p;
      continue;
    case '}':
      *literal += get_end_url_string(printer);
      ++p;
      continue;
    default:
      break;
    }

    int piece_index = array->count;
    std::string *spec = new_piece(array);
    int argno;
    if (is_digit(*p)) {
      argno = read_number(&p) - 1;
      quarn_assert(*p == '$');
      ++p;
      any_numbered = true;
      quarn_assert(!any_unnumbered);
    } else {
      argno = next_arg++;
      any_unnumbered = true;
      quarn_assert(!any_numbered);
    }
    quarn_assert(argno >= 0 && argno < PP_MAX_ARGS);
    quarn_assert(arg_piece[argno] < 0);
    arg_piece[argno] = piece_index;

    while (*p == 'q' || *p == 'w' || *p == 'l' || *p == '+' || *p == '#')
      spec->push_back(*p++);

    if (*p == '.') {
      spec->push_back(*p++);
      if (*p == '*') {
        spec->push_back(*p++);
        // The precision takes the slot right before the string's.
        if (is_digit(*p)) {
          int precision_arg = read_number(&p) - 1;
          quarn_assert(any_numbered);
          quarn_assert(precision_arg == argno - 1 && precision_arg >= 0);
          quarn_assert(*p == '$');
          ++p;
          quarn_assert(arg_piece[precision_arg] < 0);
          arg_piece[precision_arg] = piece_index;
        } else {
          quarn_assert(!any_numbered);
          quarn_assert(argno + 1 < PP_MAX_ARGS);
          arg_piece[argno + 1] = piece_index;
          ++next_arg;
        }
      } else {
        quarn_assert(is_digit(*p));
        while (is_digit(*p))
          spec->push_back(*p++);
      }
      quarn_assert(*p == 's');
    }
    quarn_assert(*p != '\0');
    spec->push_back(*p++);
    literal = new_piece(array);
  }

  // Argument slots are used from the first one on, without gaps, so that
  // phase two knows the type of every variadic argument it skips over.
  int argno = 0;
  while (argno < PP_MAX_ARGS && arg_piece[argno] >= 0)
    ++argno;
  for (; argno < PP_MAX_ARGS; ++argno)
    quarn_assert(arg_piece[argno] < 0);
}

static const char *format_number(text_printer *printer, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vsnprintf(printer->buffer.digit_buffer, sizeof printer->buffer.digit_buffer, format, ap);
  va_end(ap);
  return printer->buffer.digit_buffer;
}

// d/i, o, u and x at the widths none, l, ll and w (64 bits).
static const char *convert_integer(text_printer *printer, va_list *ap, char conversion, int width) {
  static const char *const formats[][4] = {{"%d", "%ld", "%lld", "%ld"},
                                           {"%o", "%lo", "%llo", "%lo"},
                                           {"%u", "%lu", "%llu", "%lu"},
                                           {"%x", "%lx", "%llx", "%#lx"}};
  int row = conversion == 'o' ? 1 : conversion == 'u' ? 2 : conversion == 'x' ? 3 : 0;
  const char *format = formats[row][width];
  if (row == 0) {
    switch (width) {
    case 0:
      return format_number(printer, format, va_arg(*ap, int));
    case 2:
      return format_number(printer, format, va_arg(*ap, long long));
    default:
      return format_number(printer, format, va_arg(*ap, long));
    }
  }
  switch (width) {
  case 0:
    return format_number(printer, format, va_arg(*ap, unsigned));
  case 2:
    return format_number(printer, format, va_arg(*ap, unsigned long long));
  default:
    return format_number(printer, format, va_arg(*ap, unsigned long));
  }
}

struct conversion_flags {
  bool quote, wide, plus, hash;
  int longs;
};

static const char *read_flags(const char *p, conversion_flags *flags) {
  *flags = conversion_flags{};
  for (;; ++p) {
    switch (*p) {
    case 'q':
      quarn_assert(!flags->quote);
      flags->quote = true;
      continue;
    case 'w':
      quarn_assert(!flags->wide);
      flags->wide = true;
      continue;
    case '+':
      quarn_assert(!flags->plus);
      flags->plus = true;
      continue;
    case '#':
      quarn_assert(!flags->hash);
      flags->hash = true;
      continue;
    case 'l':
      quarn_assert(flags->longs < 2);
      ++flags->longs;
      continue;
    default:
      break;
    }
    break;
  }
  quarn_assert(!(flags->wide && flags->longs > 0));
  return p;
}

// Converts one argument directive: SPEC is its flags and conversion; its text
// goes to OUT in the directive's place. Returns how many argument slots it used.
static int convert_argument(text_printer *printer, format_request *request, const char *spec,
                            std::string *out) {
  va_list *ap = request->args;
  conversion_flags flags;
  const char *p = read_flags(spec, &flags);
  int slots = 1;

  if (flags.quote) {
    *out += quote_open_text;
    *out += colorize_start(printer->show_color, "quote");
  }
  switch (*p) {
  case 'c': {
    char c = static_cast<char>(va_arg(*ap, int));
    if (flags.quote && !is_printable_ascii(static_cast<unsigned char>(c)))
      append_quoted_string(out, &c, 1);
    else
      out->push_back(c);
    break;
  }
  case 'd':
  case 'i':
  case 'o':
  case 'u':
  case 'x':
    *out += convert_integer(printer, ap, *p, flags.wide ? 3 : flags.longs);
    break;
  case 'p':
    *out += format_number(printer, "%p", va_arg(*ap, void *));
    break;
  case 'f':
    *out += format_number(printer, "%f", va_arg(*ap, double));
    break;
  case 's': {
    const char *text = va_arg(*ap, const char *);
    if (!text)
      text = "(null)";
    if (flags.quote)
      append_quoted_string(out, text, strlen(text));
    else
      *out += text;
    break;
  }
  case '.': {
    ++p;
    int precision;
    if (*p == '*') {
      precision = va_arg(*ap, int);
      slots = 2;
    } else {
      precision = read_number(&p);
    }
    const char *text = va_arg(*ap, const char *);
    if (!text)
      text = "(null)";
    size_t length = precision < 0 ? strlen(text) : strnlen(text, static_cast<size_t>(precision));
    out->append(text, length);
    break;
  }
  case 'Z': {
    const int *values = va_arg(*ap, const int *);
    unsigned count = va_arg(*ap, unsigned);
    for (unsigned i = 0; i < count; ++i) {
      if (i > 0)
        *out += ", ";
      *out += format_number(printer, "%i", values[i]);
    }
    break;
  }
  case 'r':
    *out += colorize_start(printer->show_color, va_arg(*ap, const char *));
    break;
  case '@': {
    const int *event_id = va_arg(*ap, const int *);
    quarn_assert(*event_id != -1);
    *out += colorize_start(printer->show_color, "path");
    *out += '(';
    // In a wider type: the largest id must not overflow.
    *out += format_number(printer, "%ld", static_cast<long>(*event_id) + 1);
    *out += ')';
    *out += colorize_stop(printer->show_color);
    break;
  }
  case '{':
    append_url_start(printer, out, va_arg(*ap, const char *));
    break;
  default: {
    std::string decoded;
    quarn_assert(printer->decoder && printer->decoder(printer, request, spec, &decoded));
    *out += decoded;
    break;
  }
  }
  if (flags.quote) {
    *out += colorize_stop(printer->show_color);
    *out += quote_close_text;
  }
  return slots;
}

// Phase two: arguments are converted in slot order, which is the order the
// variadic list holds them in, while each lands in its directive's piece.
static void convert_arguments(text_printer *printer, format_request *request, piece_array *array,
                              const int *arg_piece) {
  prefix_rule saved_rule = printer->rule;
  int saved_line_length = printer->buffer.line_length;
  printer->rule = PREFIX_NEVER;

  for (int argno = 0; argno < PP_MAX_ARGS && arg_piece[argno] >= 0;) {
    std::string *piece = &array->pieces[arg_piece[argno]];
    std::string spec;
    spec.swap(*piece);
    argno += convert_argument(printer, request, spec.c_str(), piece);
  }

  printer->rule = saved_rule;
  printer->buffer.line_length = saved_line_length;
  printer->indent_skip = 0;
  printer->emitted_prefix = false;
}

void pp_format(text_printer *printer, format_request *request) {
  piece_array *array = new piece_array{};
  printer->buffer.piece_stack.push_back(array);
  int arg_piece[PP_MAX_ARGS];
  split_format(printer, request, array, arg_piece);
  convert_arguments(printer, request, array, arg_piece);
}

static void append_raw(text_buffer *buffer, const char *start, const char *end) {
  buffer->formatted.append(start, end);
  for (const char *p = start; p < end; ++p)
    buffer->line_length = *p == '\n' ? 0 : buffer->line_length + 1;
}

static void emit_prefix(text_printer *printer) {
  if (!printer->prefix || printer->rule == PREFIX_NEVER)
    return;
  if (printer->emitted_prefix) {
    for (int i = 0; i < printer->indent_skip; ++i)
      pp_character(printer, ' ');
    return;
  }
  printer->indent_skip += 3;
  printer->emitted_prefix = true;
  append_raw(&printer->buffer, printer->prefix, printer->prefix + strlen(printer->prefix));
}

void pp_append_text(text_printer *printer, const char *start, const char *end) {
  if (printer->buffer.line_length == 0)
    emit_prefix(printer);
  append_raw(&printer->buffer, start, end);
}

void pp_string(text_printer *printer, const char *text) {
  pp_append_text(printer, text, text + strlen(text));
}

void pp_character(text_printer *printer, int c) {
  char byte = static_cast<char>(c);
  append_raw(&printer->buffer, &byte, &byte + 1);
}

void pp_newline(text_printer *printer) {
  printer->buffer.formatted.push_back('\n');
  printer->buffer.line_length = 0;
}

void pp_output_formatted_text(text_printer *printer) {
  std::vector<piece_array *> &stack = printer->buffer.piece_stack;
  quarn_assert(!stack.empty());
  piece_array *array = stack.back();
  for (int i = 0; i < array->count; ++i) {
    const std::string &piece = array->pieces[i];
    pp_append_text(printer, piece.data(), piece.data() + piece.size());
  }
  stack.pop_back();
  delete array;
}

void pp_format_and_output(text_printer *printer, format_request *request) {
  pp_format(printer, request);
  pp_output_formatted_text(printer);
}

void pp_begin_url(text_printer *printer, const char *url) {
  std::string start;
  append_url_start(printer, &start, url);
  pp_string(printer, start.c_str());
}

void pp_end_url(text_printer *printer) { pp_string(printer, get_end_url_string(printer)); }

void pp_set_prefix(text_printer *printer, char *prefix) {
  free(printer->prefix);
  printer->prefix = prefix;
}

char *pp_take_prefix(text_printer *printer) {
  char *prefix = printer->prefix;
  printer->prefix = nullptr;
  return prefix;
}

const char *pp_formatted_text(text_printer *printer) { return printer->buffer.formatted.c_str(); }

// The whole message goes out in one write, so that it is never interleaved
// with other output of this process or its children.
void pp_flush(text_printer *printer) {
  text_buffer *buffer = &printer->buffer;
  printer->indent_skip = 0;
  printer->emitted_prefix = false;
  if (!buffer->formatted.empty())
    fwrite(buffer->formatted.data(), 1, buffer->formatted.size(), buffer->stream);
  buffer->formatted.clear();
  buffer->line_length = 0;
  fflush(buffer->stream);
}

void pp_newline_and_flush(text_printer *printer) {
  pp_newline(printer);
  pp_flush(printer);
}
