#include "diagnostics/backtrace.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cxxabi.h>

#if __has_include(<execinfo.h>) && __has_include(<dlfcn.h>)
#include <dlfcn.h>
#include <execinfo.h>
#define HAVE_STACK_WALKER 1
#endif

// The walker's own frames count as the diagnostics module's.
#ifdef __clang__
#pragma clang section text = "quarn_diagnostics_text"
#endif

// Bounds of DIAGNOSTICS_TEXT_SECTION, defined by the linker; weak so that
// a program without the section still links and just reports no file.
extern "C" {
extern char __start_quarn_diagnostics_text[] __attribute__((weak));
extern char __stop_quarn_diagnostics_text[] __attribute__((weak));
}

static const char *file_of_pc(uintptr_t pc) {
  uintptr_t start = reinterpret_cast<uintptr_t>(__start_quarn_diagnostics_text);
  uintptr_t stop = reinterpret_cast<uintptr_t>(__stop_quarn_diagnostics_text);
  if (start != 0 && start <= pc && pc < stop)
    return QUARN_DIAGNOSTIC_SOURCE;
  return nullptr;
}

static const char *base_name(const char *path) {
  const char *slash = strrchr(path, '/');
  return slash ? slash + 1 : path;
}

void walk_backtrace(int skip, backtrace_step_callback step, backtrace_error_callback error,
                    void *data) {
#ifdef HAVE_STACK_WALKER
  int capacity = 64;
  void **frames = nullptr;
  int count;
  for (;;) {
    frames = static_cast<void **>(realloc(frames, capacity * sizeof *frames));
    if (!frames)
      return;
    count = backtrace(frames, capacity);
    if (count < capacity || capacity >= 4096)
      break;
    capacity *= 2;
  }
  // The walk starts at the caller's frame: what lies before it (this function,
  // and any wrapper a sanitizer put around backtrace) is the walker's own.
  void *caller = __builtin_return_address(0);
  int first = 0;
  while (first < count && frames[first] != caller)
    ++first;
  if (first == count)
    first = 1;
  for (int i = first + skip; i < count; ++i) {
    uintptr_t pc = reinterpret_cast<uintptr_t>(frames[i]);
    // A return address may lie past the end of a function that ends in a
    // call which does not return; the call itself is one byte earlier.
    uintptr_t call = pc - 1;
    Dl_info info;
    const char *function = nullptr;
    if (dladdr(reinterpret_cast<void *>(call), &info) != 0)
      function = info.dli_sname;
    if (step(data, pc, file_of_pc(call), 0, function) != 0)
      break;
  }
  free(frames);
#else
  (void)skip;
  (void)step;
  (void)data;
#endif
  (void)error;
}

int backtrace_step_printer(void *data, uintptr_t pc, const char *filename, int lineno,
                           const char *function) {
  int *count = static_cast<int *>(data);
  if (!filename && !function)
    return 0;
  // The reporting machinery itself is of no interest to the reader.
  if (*count == 0 && filename &&
      strcmp(base_name(filename), base_name(QUARN_DIAGNOSTIC_SOURCE)) == 0)
    return 0;
  if (*count >= 20)
    return 1;

  // Only mangled names: the demangler would read a plain "f" as a type.
  char *demangled = nullptr;
  if (function && strncmp(function, "_Z", 2) == 0) {
    int status;
    demangled = abi::__cxa_demangle(function, nullptr, nullptr, &status);
    if (status == 0 && demangled)
      function = demangled;
  }
  int stop = 0;
  if (function) {
    static const char *const outermost[] = {"main", "toplev::main", "execute_one_pass",
                                            "compile_file"};
    for (const char *name : outermost) {
      size_t length = strlen(name);
      if (strncmp(function, name, length) == 0 &&
          (function[length] == '\0' || function[length] == '('))
        stop = 1;
    }
  }
  // Counted only when printed: the count also tells whether a backtrace was shown.
  if (!stop) {
    ++*count;
    fprintf(stderr, "0x%lx %s\n\t%s:%d\n", static_cast<unsigned long>(pc),
            function ? function : "???", filename ? filename : "???", lineno);
  }
  free(demangled);
  return stop;
}

void backtrace_error_printer(void *data, const char *message, int errnum) {
  // A negative number means there is no debug information: nothing to say.
  if (errnum < 0)
    return;
  fprintf(stderr, "%s%s%s\n", message, errnum == 0 ? "" : ": ",
          errnum == 0 ? "" : strerror(errnum));
}

int print_backtrace() {
  int count = 0;
  walk_backtrace(0, backtrace_step_printer, backtrace_error_printer, &count);
  return count;
}
