// The message formatter on fuzzed text: the literal text around a fixed set
// of well-formed directives and every string and number they consume. The
// formats themselves stay well formed, since a malformed one is a deliberate
// internal error. The message goes through a bare printer and through the
// reporting service, with colors, hyperlinks, prefix and quotation marks
// chosen by the input.
#include <cerrno>
#include <cstdarg>
#include <cstring>

#include "diagnostics/diagnostic.h"
#include "diagnostics/intl.h"
#include "diagnostics/pretty-print.h"
#include "fuzz_common.h"
#include "support/alloc.h"

namespace {

struct fuzz_values {
  std::string text[3];
  int number[3];
  int precision;
  int list[8];
  unsigned list_count;
};

typedef void (*emit_fn)(const char *format, ...);
typedef void (*call_fn)(emit_fn emit, const char *format, const fuzz_values &v);

struct format_row {
  const char *directives;
  call_fn call;
};

const char *s(const fuzz_values &v, int i) {
  return v.text[i].c_str();
}

const format_row rows[] = {
    {"%s", [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0)); }},
    {"%qs", [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0)); }},
    {"%.*s",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, v.precision, s(v, 0)); }},
    {"%<%s%> and %qs\n%s",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0), s(v, 1), s(v, 2)); }},
    {"%2$qs then %1$s",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0), s(v, 1)); }},
    {"%3$s|%2$.*1$s", [](emit_fn emit, const char *f,
                         const fuzz_values &v) { emit(f, v.precision, s(v, 0), s(v, 1)); }},
    {"%d %i %u %x %o %+d %#x|%ld %lu %lo|%lld %llx|%wd %wu %wx|%c %qc",
     [](emit_fn emit, const char *f, const fuzz_values &v) {
       long wide = static_cast<long>(v.number[0]) * v.number[1];
       emit(f, v.number[0], v.number[1], static_cast<unsigned>(v.number[2]),
            static_cast<unsigned>(v.number[0]), static_cast<unsigned>(v.number[1]), v.number[2],
            static_cast<unsigned>(v.number[2]), wide, static_cast<unsigned long>(wide),
            static_cast<unsigned long>(wide), static_cast<long long>(wide),
            static_cast<unsigned long long>(wide), wide, static_cast<unsigned long>(wide),
            static_cast<unsigned long>(wide), v.number[0], v.number[1]);
     }},
    {"%m %% %' %<%> %R",
     [](emit_fn emit, const char *f, const fuzz_values &v) {
       errno = v.number[0];
       emit(f);
     }},
    {"(%Z)",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, v.list, v.list_count); }},
    {"%r%s%R",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0), s(v, 1)); }},
    {"%{%s%}",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0), s(v, 1)); }},
    {"%@ %s",
     [](emit_fn emit, const char *f, const fuzz_values &v) {
       int event = v.number[0] == -1 ? 0 : v.number[0];
       emit(f, &event, s(v, 0));
     }},
    {"%.3s|%.0s|%q.*s",
     [](emit_fn emit, const char *f, const fuzz_values &v) {
       emit(f, s(v, 0), s(v, 1), v.precision, s(v, 2));
     }},
    {"%p %f",
     [](emit_fn emit, const char *f, const fuzz_values &v) {
       emit(f, reinterpret_cast<void *>(static_cast<uintptr_t>(v.number[0])),
            static_cast<double>(v.number[1]) / 7);
     }},
    {"\n%s\n\n%qs\n",
     [](emit_fn emit, const char *f, const fuzz_values &v) { emit(f, s(v, 0), s(v, 1)); }},
};
constexpr size_t row_count = sizeof rows / sizeof rows[0];

text_printer *printer;
std::string last_output;

void format_into_printer(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  format_request request{format, &ap, errno};
  pp_format_and_output(printer, &request);
  va_end(ap);
  last_output = pp_formatted_text(printer);
  pp_flush(printer);
}

// Literal text with every "%" doubled, so that it holds no directive.
std::string literal(const std::string &text) {
  std::string out;
  for (char c : text) {
    out += c;
    if (c == '%')
      out += '%';
  }
  return out;
}

// Printable ASCII and whole UTF-8 sequences only: what quoting lets through.
bool is_clean(const std::string &text) {
  const unsigned char *p = reinterpret_cast<const unsigned char *>(text.data());
  size_t left = text.size();
  while (left > 0) {
    unsigned value;
    size_t n = *p >= 0x20 && *p < 0x7f ? 1 : *p >= 0x80 ? decode_utf8_char(p, left, &value) : 0;
    if (n == 0)
      return false;
    p += n;
    left -= n;
  }
  return true;
}

int number_at(const uint8_t *data) {
  int value;
  memcpy(&value, data, sizeof value);
  return value;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  FILE *sink = fopen("/dev/null", "w");
  if (!sink)
    abort();
  printer = pp_create(sink);
  diag_context_init(global_dc);
  global_dc->printer->buffer.stream = sink;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  const size_t head = 2 + 3 * sizeof(int) + 1;
  if (size < head)
    return 0;
  const size_t index = data[0] % row_count;
  const format_row &row = rows[index];
  const uint8_t mode = data[1];
  fuzz_values v;
  for (int i = 0; i < 3; ++i)
    v.number[i] = number_at(data + 2 + i * sizeof(int));
  v.precision = static_cast<int8_t>(data[head - 1]);
  v.list_count = static_cast<unsigned>(v.number[2]) % 9;
  for (int i = 0; i < 8; ++i)
    v.list[i] = v.number[i % 3] >> i;
  std::vector<std::string> pieces = split_at_nul(data + head, size - head);
  pieces.resize(5);
  for (int i = 0; i < 3; ++i)
    v.text[i] = pieces[2 + i];
  const std::string &before = pieces[0], &after = pieces[1];
  std::string format = literal(before) + row.directives + literal(after);

  const bool show_color = mode & 1, with_prefix = mode & 8, utf8_quotes = mode & 16;
  printer->show_color = global_dc->printer->show_color = show_color;
  printer->url_format = global_dc->printer->url_format = static_cast<url_format>((mode >> 1) % 3);
  pp_set_prefix(printer, with_prefix ? xstrdup("P: ") : nullptr);
  quote_open_text = utf8_quotes ? "\xe2\x80\x98" : "'";
  quote_close_text = utf8_quotes ? "\xe2\x80\x99" : "'";

  row.call(format_into_printer, format.c_str(), v);
  if (with_prefix)
    FUZZ_CHECK(last_output.rfind("P: ", 0) == 0);

  // Exact results where the rules make them plain: no prefix, no colors.
  if (!with_prefix && !show_color) {
    if (index == 0) {
      FUZZ_CHECK(last_output == before + v.text[0] + after);
    } else if (index == 1) {
      const std::string open = quote_open_text, close = quote_close_text;
      FUZZ_CHECK(last_output.size() >= before.size() + open.size() + close.size() + after.size());
      FUZZ_CHECK(last_output.compare(0, before.size() + open.size(), before + open) == 0);
      FUZZ_CHECK(last_output.compare(last_output.size() - close.size() - after.size(),
                                     std::string::npos, close + after) == 0);
      std::string quoted = last_output.substr(before.size() + open.size(),
                                              last_output.size() - before.size() - open.size() -
                                                  close.size() - after.size());
      FUZZ_CHECK(is_clean(quoted));
      FUZZ_CHECK(quoted.size() >= v.text[0].size());
    } else if (index == 2) {
      std::string cut = v.precision < 0 ? v.text[0] : v.text[0].substr(0, v.precision);
      FUZZ_CHECK(last_output == before + cut + after);
    }
  }

  // The same message through the reporting service, as an error.
  int errors = global_dc->kind_count[KIND_ERROR];
  row.call(error_current, format.c_str(), v);
  FUZZ_CHECK(global_dc->kind_count[KIND_ERROR] == errors + 1);
  FUZZ_CHECK(global_dc->lock == 0);
  return 0;
}
