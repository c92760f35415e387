// Linked into every program of a sanitizer build. Test harnesses that start
// the programs with an environment of their own drop ASAN_OPTIONS and
// UBSAN_OPTIONS, so the programs carry the settings themselves: strings live
// until exit by design, so leaks are not reported; any undefined behaviour
// stops the program with a stack trace.
extern "C" const char *__asan_default_options() { return "detect_leaks=0"; }
extern "C" const char *__ubsan_default_options() { return "print_stacktrace=1:halt_on_error=1"; }
