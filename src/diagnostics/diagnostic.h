// The one reporting service of the driver: every error, warning, note, fatal
// error and internal error goes through here and is counted by kind.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>

typedef uint32_t location_id;
constexpr location_id UNKNOWN_LOCATION = 0;
constexpr location_id BUILTINS_LOCATION = 1;

// Order is fixed: counters and prefix texts are indexed by it.
enum diag_kind {
  KIND_UNSPECIFIED,
  KIND_IGNORED,
  KIND_FATAL,
  KIND_ICE,
  KIND_ERROR,
  KIND_SORRY,
  KIND_WARNING,
  KIND_ANACHRONISM,
  KIND_NOTE,
  KIND_DEBUG,
  KIND_PATH,
  KIND_PEDWARN,
  KIND_PERMERROR,
  KIND_WERROR,
  KIND_ICE_NOBT,
  KIND_LAST
};

struct text_printer;
struct diag_context;

// One message to format: the translated format, the caller's arguments and
// the errno seen when the reporting function was entered (for %m).
struct format_request {
  const char *format;
  va_list *args;
  int err_no;
};

// One diagnostic in flight.
struct diag_record {
  format_request message;
  location_id location;
  diag_kind kind;
  int option;  // 0: unconditional (every driver diagnostic)
};

typedef void (*diag_hook)(diag_context *context, diag_record *record);

struct diag_context {
  text_printer *printer;
  int kind_count[KIND_LAST];  // stays readable after diag_context_finish
  bool report_bug;            // -freport-bug: changes the bug-report sentence
  int lock;                   // diagnostics being delivered right now
  diag_hook starter;          // sets the prefix
  diag_hook finalizer;        // ends the line and flushes
};

// The process-wide context; the driver has exactly one.
extern diag_context *global_dc;

// Final component of the path the program was started by; printed in front of
// every diagnostic instead of a file name.
extern const char *progname;

// Location used by the location-less reporting functions (always unknown here).
extern location_id input_location;

void diag_context_init(diag_context *context);
void diag_context_finish(diag_context *context);

void error_current(const char *format, ...);
void error_at(location_id location, const char *format, ...);
bool warning_current(int option, const char *format, ...);
bool warning_at(location_id location, int option, const char *format, ...);
void inform(location_id location, const char *format, ...);
void sorry_current(const char *format, ...);
[[noreturn]] void fatal_error(location_id location, const char *format, ...);
[[noreturn]] void internal_error(const char *format, ...);
[[noreturn]] void internal_error_no_backtrace(const char *format, ...);

// Color and hyperlink modes of -fdiagnostics-color= and -fdiagnostics-urls=
// (0 never, 1 always, 2 auto); a negative mode is the start-up "auto".
void diagnostic_color_init(diag_context *context, int mode);
void diagnostic_urls_init(diag_context *context, int mode);

// Translated, unprefixed, uncounted text straight to the stream.
void notice_to_stream(FILE *stream, const char *format, ...);

// True once an error or a "sorry" was reported (or the driver raised the count).
bool errors_seen();

[[noreturn]] void assertion_failed(const char *file, int line, const char *function);

// The reporting functions' common path; returns whether the diagnostic was printed.
bool deliver_diagnostic(diag_context *context, diag_record *record);
// "PROGRAM: KIND: ", colored as the context says; the caller owns the result.
char *diagnostic_build_prefix(diag_context *context, const diag_record *record);
// Ends the run after fatal and internal errors; returns for the others.
void diagnostic_action_after_output(diag_context *context, diag_kind kind);

// A source path as assertions report it: relative to the source tree.
const char *trim_filename(const char *name);

#define quarn_assert(expr)                                                                          \
  ((expr) ? (void)0 : assertion_failed(__FILE__, __LINE__, __func__))
#define quarn_unreachable() assertion_failed(__FILE__, __LINE__, __func__)
