// Interim reporting service: prefix, counting and exit statuses only. The full
// printer (directives, quoting, colors, translation) replaces it.
#include "diagnostics/diagnostic.h"

#include <cstdlib>

#include "quarn-config.h"

static diag_context the_context;
diag_context *global_dc = &the_context;
const char *progname = "quarn++";
location_id input_location = UNKNOWN_LOCATION;

void diag_context_init(diag_context *context) { *context = diag_context{}; }
void diag_context_finish(diag_context *) {}

static void report(diag_kind kind, const char *kind_text, const char *format, va_list ap) {
  global_dc->kind_count[kind]++;
  fprintf(stderr, "%s: %s", progname, kind_text);
  vfprintf(stderr, format, ap);
  fputc('\n', stderr);
  fflush(stderr);
}

void error_current(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_ERROR, "error: ", format, ap);
  va_end(ap);
}

void error_at(location_id, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_ERROR, "error: ", format, ap);
  va_end(ap);
}

bool warning_current(int, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_WARNING, "warning: ", format, ap);
  va_end(ap);
  return true;
}

bool warning_at(location_id, int, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_WARNING, "warning: ", format, ap);
  va_end(ap);
  return true;
}

void inform(location_id, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_NOTE, "note: ", format, ap);
  va_end(ap);
}

void sorry_current(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_SORRY, "sorry, unimplemented: ", format, ap);
  va_end(ap);
}

void fatal_error(location_id, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_FATAL, "fatal error: ", format, ap);
  va_end(ap);
  fputs("compilation terminated.\n", stderr);
  exit(1);
}

void internal_error(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_ICE, "internal compiler error: ", format, ap);
  va_end(ap);
  fprintf(stderr, "See %s for instructions.\n", QUARN_BUGURL);
  exit(4);
}

void internal_error_no_backtrace(const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  report(KIND_ICE_NOBT, "internal compiler error: ", format, ap);
  va_end(ap);
  fprintf(stderr, "See %s for instructions.\n", QUARN_BUGURL);
  exit(4);
}

void notice_to_stream(FILE *stream, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vfprintf(stream, format, ap);
  va_end(ap);
}

bool errors_seen() {
  return global_dc->kind_count[KIND_ERROR] != 0 || global_dc->kind_count[KIND_SORRY] != 0;
}

void assertion_failed(const char *file, int line, const char *function) {
  internal_error("in %s, at %s:%d", function, file, line);
}

void diagnostic_color_init(diag_context *, int) {}
void diagnostic_urls_init(diag_context *, int) {}
