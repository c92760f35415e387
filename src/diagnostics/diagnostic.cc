#include "diagnostics/diagnostic.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quarn-config.h"
#include "diagnostics/backtrace.h"
#include "diagnostics/diagnostic-color.h"
#include "diagnostics/intl.h"
#include "diagnostics/pretty-print.h"
#include "support/alloc.h"

// Frames of this file are left out at the top of an internal error's backtrace.
#ifdef __clang__
#pragma clang section text = "quarn_diagnostics_text"
#endif

static diag_context the_context;
diag_context *global_dc = &the_context;
const char *progname = "quarn++";
location_id input_location = UNKNOWN_LOCATION;

struct diag_kind_row {
  const char *text;
  const char *color;  // none: never colored
};

static const diag_kind_row diag_kind_table[KIND_LAST] = {
    {"", nullptr},                                // KIND_UNSPECIFIED
    {"", nullptr},                                // KIND_IGNORED
    {N_("fatal error: "), "error"},               // KIND_FATAL
    {N_("internal compiler error: "), "error"},   // KIND_ICE
    {N_("error: "), "error"},                     // KIND_ERROR
    {N_("sorry, unimplemented: "), "error"},      // KIND_SORRY
    {N_("warning: "), "warning"},                 // KIND_WARNING
    {N_("anachronism: "), "warning"},             // KIND_ANACHRONISM
    {N_("note: "), "note"},                       // KIND_NOTE
    {N_("debug: "), "note"},                      // KIND_DEBUG
    {N_("path: "), "path"},                       // KIND_PATH
    {N_("pedwarn: "), nullptr},                   // KIND_PEDWARN
    {N_("permerror: "), nullptr},                 // KIND_PERMERROR
    {N_("error: "), nullptr},                     // KIND_WERROR
    {N_("internal compiler error: "), "error"},   // KIND_ICE_NOBT
};

// The driver has no line maps: every location it uses is unknown.
struct expanded_location {
  const char *file;
  int line;
};

static expanded_location expand_location(location_id) { return {nullptr, 0}; }

static void default_starter(diag_context *context, diag_record *record) {
  pp_set_prefix(context->printer, diagnostic_build_prefix(context, record));
}

static void default_finalizer(diag_context *context, diag_record *) {
  text_printer *printer = context->printer;
  char *prefix = pp_take_prefix(printer);
  pp_newline(printer);
  pp_set_prefix(printer, prefix);
  pp_flush(printer);
}

void diag_context_init(diag_context *context) {
  *context = diag_context{};
  context->printer = pp_create(stderr);
  context->starter = default_starter;
  context->finalizer = default_finalizer;
}

void diag_context_finish(diag_context *context) {
  pp_destroy(context->printer);
  context->printer = nullptr;
}

// A diagnostic delivered before diag_context_init or after diag_context_finish
// still gets printed rather than crashing on a missing printer.
static text_printer *ready_printer(diag_context *context) {
  if (!context->printer)
    context->printer = pp_create(stderr);
  if (!context->starter)
    context->starter = default_starter;
  if (!context->finalizer)
    context->finalizer = default_finalizer;
  return context->printer;
}

void diagnostic_color_init(diag_context *context, int mode) {
  ready_printer(context)->show_color = colorize_init(mode < 0 ? COLOR_MODE_AUTO : mode);
}

void diagnostic_urls_init(diag_context *context, int mode) {
  ready_printer(context)->url_format = determine_url_format(mode < 0 ? URL_MODE_AUTO : mode);
}

char *diagnostic_build_prefix(diag_context *context, const diag_record *record) {
  quarn_assert(record->kind >= 0 && record->kind < KIND_LAST);
  bool show_color = context->printer && context->printer->show_color;
  const diag_kind_row &row = diag_kind_table[record->kind];

  expanded_location where = expand_location(record->location);
  std::string line_text;
  if (where.file && where.line != 0)
    line_text = ":" + std::to_string(where.line);

  std::string prefix = colorize_start(show_color, "locus");
  prefix += where.file ? where.file : progname;
  prefix += line_text;
  prefix += ':';
  prefix += colorize_stop(show_color);
  prefix += ' ';
  if (row.color)
    prefix += colorize_start(show_color, row.color);
  prefix += _(row.text);
  if (row.color)
    prefix += colorize_stop(show_color);
  return xstrdup(prefix.c_str());
}

// Ends the run from inside a delivery. The guard is dropped first: the exit
// handlers (temporary-file removal) may still report, and a re-entry failure
// there would call exit again from an exit handler.
[[noreturn]] static void end_run(diag_context *context, int status) {
  context->lock = 0;
  exit(status);
}

static bool is_internal_error(diag_kind kind) { return kind == KIND_ICE || kind == KIND_ICE_NOBT; }

// A line half-written by the interrupted diagnostic is ended and written out.
static void end_pending_line(text_printer *printer) {
  if (printer->buffer.line_length > 0)
    pp_newline(printer);
  pp_flush(printer);
}

[[noreturn]] static void error_recursion(diag_context *context) {
  if (context->lock < 3)
    end_pending_line(context->printer);
  notice_to_stream(stderr, "internal compiler error: error reporting routines re-entered.\n");
  diagnostic_action_after_output(context, KIND_ICE);
  abort();
}

bool deliver_diagnostic(diag_context *context, diag_record *record) {
  text_printer *printer = ready_printer(context);
  if (context->lock > 0) {
    // An internal error while formatting a diagnostic gets through once.
    if (is_internal_error(record->kind) && context->lock == 1)
      end_pending_line(printer);
    else
      error_recursion(context);
  }
  context->lock++;
  // An internal error raised while arguments were being converted finds the
  // prefix switched off; its own message needs it.
  if (is_internal_error(record->kind))
    printer->rule = PREFIX_ONCE;

  if (is_internal_error(record->kind) &&
      (context->kind_count[KIND_ERROR] != 0 || context->kind_count[KIND_SORRY] != 0)) {
    expanded_location where = expand_location(record->location);
    notice_to_stream(stderr, "%s:%d: confused by earlier errors, bailing out\n",
                     where.file ? where.file : progname, where.line);
    end_run(context, 4);
  }

  context->kind_count[record->kind]++;
  pp_format(printer, &record->message);
  context->starter(context, record);
  pp_output_formatted_text(printer);
  context->finalizer(context, record);
  diagnostic_action_after_output(context, record->kind);
  context->lock--;
  return true;
}

void diagnostic_action_after_output(diag_context *context, diag_kind kind) {
  switch (kind) {
  case KIND_WARNING:
  case KIND_ANACHRONISM:
  case KIND_NOTE:
  case KIND_DEBUG:
  case KIND_ERROR:
  case KIND_SORRY:
    return;
  case KIND_FATAL:
    diag_context_finish(context);
    notice_to_stream(stderr, "compilation terminated.\n");
    end_run(context, 1);
  case KIND_ICE:
  case KIND_ICE_NOBT: {
    int frames = kind == KIND_ICE ? print_backtrace() : 0;
    if (context->report_bug)
      notice_to_stream(stderr, "Please submit a full bug report, with preprocessed source.\n");
    else
      notice_to_stream(stderr, "Please submit a full bug report, with preprocessed source "
                               "(by using -freport-bug).\n");
    if (frames > 0)
      notice_to_stream(stderr, "Please include the complete backtrace with any bug report.\n");
    notice_to_stream(stderr, "See %s for instructions.\n", QUARN_BUGURL);
    end_run(context, 4);
  }
  default:
    quarn_unreachable();
  }
}

// ERR_NO is the errno the caller saw on entry, before translation could change it.
static bool report(location_id location, diag_kind kind, int option, int err_no,
                   const char *format, va_list *args) {
  diag_record record;
  record.message.format = _(format);
  record.message.args = args;
  record.message.err_no = err_no;
  record.location = location;
  record.kind = kind;
  record.option = option;
  return deliver_diagnostic(global_dc, &record);
}

void error_current(const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(input_location, KIND_ERROR, 0, err_no, format, &ap);
  va_end(ap);
}

void error_at(location_id location, const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(location, KIND_ERROR, 0, err_no, format, &ap);
  va_end(ap);
}

bool warning_current(int option, const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  bool printed = report(input_location, KIND_WARNING, option, err_no, format, &ap);
  va_end(ap);
  return printed;
}

bool warning_at(location_id location, int option, const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  bool printed = report(location, KIND_WARNING, option, err_no, format, &ap);
  va_end(ap);
  return printed;
}

void inform(location_id location, const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(location, KIND_NOTE, 0, err_no, format, &ap);
  va_end(ap);
}

void sorry_current(const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(input_location, KIND_SORRY, 0, err_no, format, &ap);
  va_end(ap);
}

void fatal_error(location_id location, const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(location, KIND_FATAL, 0, err_no, format, &ap);
  va_end(ap);
  abort();
}

void internal_error(const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(input_location, KIND_ICE, 0, err_no, format, &ap);
  va_end(ap);
  abort();
}

void internal_error_no_backtrace(const char *format, ...) {
  int err_no = errno;
  va_list ap;
  va_start(ap, format);
  report(input_location, KIND_ICE_NOBT, 0, err_no, format, &ap);
  va_end(ap);
  abort();
}

void notice_to_stream(FILE *stream, const char *format, ...) {
  va_list ap;
  va_start(ap, format);
  vfprintf(stream, _(format), ap);
  va_end(ap);
}

bool errors_seen() {
  return global_dc->kind_count[KIND_ERROR] != 0 || global_dc->kind_count[KIND_SORRY] != 0;
}

const char *trim_filename(const char *name) {
  static const char own_path[] = QUARN_DIAGNOSTIC_SOURCE;
  const char *p = name;
  const char *q = own_path;
  while (p[0] == '.' && p[1] == '.' && p[2] == '/')
    p += 3;
  while (*p && *p == *q)
    ++p, ++q;
  while (p > name && p[-1] != '/')
    --p;
  return p;
}

void assertion_failed(const char *file, int line, const char *function) {
  if (global_dc->printer)
    internal_error("in %s, at %s:%d", function, trim_filename(file), line);
  // Before the context exists there is no printer to report through.
  notice_to_stream(stderr, "internal compiler error: ");
  notice_to_stream(stderr, "in %s, at %s:%d", function, trim_filename(file), line);
  fputc('\n', stderr);
  print_backtrace();
  abort();
}
