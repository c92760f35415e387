// quarn++: C sources and C headers are compiled as C++, and a link gets the
// C++ runtime, the math library and the shared companion library.
#include "driver/lang_driver.h"

#include <cstdlib>
#include <cstring>

#include "support/alloc.h"

// Marks of the incoming options.
enum : unsigned char {
  WRAP_LANG = 2, // wrap this input in a language switch
  IS_LIBM = 4,   // -lm
  IS_LIBC = 8,   // -lc
  DROP_OPT = 16, // drop this option
};

// How badly the C++ runtime is needed.
enum { RUNTIME_NEVER = -1, RUNTIME_UNDECIDED = 0, RUNTIME_LINK = 1, RUNTIME_STATIC = 2 };

enum { RUNTIME_STDCXX = 1, RUNTIME_LIBCXX = 2 };

struct cxx_scan {
  unsigned char *marks;
  int runtime_need = RUNTIME_UNDECIDED;
  bool add_libm = true;
  int profile_count = 0;
  bool link_static = false;
  bool shared_companion = true;
  int runtime_kind = RUNTIME_STDCXX;
  bool language_given = false;
  int added_options = 0;
};

const int lang_specific_extra_outputs = 0;

int lang_specific_pre_link() { return 0; }

static bool has_suffix(const char *name, size_t length, const char *suffix) {
  size_t suffix_length = strlen(suffix);
  return length > suffix_length && strcmp(name + length - suffix_length, suffix) == 0;
}

static bool is_header_name(const char *name, size_t length) {
  static const char *const header_suffixes[] = {".H",   ".h",   ".hpp", ".hp", ".hxx",
                                                ".h++", ".HPP", ".tcc", ".hh"};
  for (const char *suffix : header_suffixes)
    if (has_suffix(name, length, suffix))
      return true;
  return false;
}

static bool is_cxx_language(const char *language) {
  static const char *const cxx_languages[] = {"c++", "c++-cpp-output", "objective-c++",
                                              "objective-c++-cpp-output"};
  for (const char *cxx : cxx_languages)
    if (strcmp(language, cxx) == 0)
      return true;
  return false;
}

static void need_runtime(cxx_scan *scan) {
  if (scan->runtime_need == RUNTIME_UNDECIDED)
    scan->runtime_need = RUNTIME_LINK;
}

static void scan_input(cxx_scan *scan, unsigned i, const char *name) {
  size_t length = strlen(name);
  if (length <= 1)
    return;
  // Only the first input after a -x keeps the language it was given.
  if (scan->language_given) {
    scan->language_given = false;
    return;
  }
  if (length > 2 && name[length - 2] == '.' && strchr("cih", name[length - 1])) {
    scan->marks[i] |= WRAP_LANG;
    scan->added_options += 2;
  }
  if (!is_header_name(name, length))
    need_runtime(scan);
}

static void scan_option(cxx_scan *scan, unsigned i, const decoded_option &option) {
  switch (option.row) {
  case OPT_nostdlib:
  case OPT_nodefaultlibs:
  // No link happens with these.
  case OPT_c:
  case OPT_S:
  case OPT_E:
  case OPT_M:
  case OPT_MM:
  case OPT_r:
  case OPT_fsyntax_only:
    scan->runtime_need = RUNTIME_NEVER;
    break;
  case OPT_l:
    if (strcmp(option.arg, "m") == 0) {
      scan->marks[i] |= IS_LIBM;
      scan->add_libm = false;
    } else if (strcmp(option.arg, "c") == 0) {
      scan->marks[i] |= IS_LIBC;
    } else {
      need_runtime(scan);
    }
    break;
  case OPT_p:
  case OPT_pg:
    scan->profile_count++;
    break;
  case OPT_x:
    if (is_cxx_language(option.arg))
      need_runtime(scan);
    scan->language_given = true;
    break;
  // The words may be objects that need the runtime.
  case OPT_Xlinker:
  case OPT_Wl_:
    need_runtime(scan);
    break;
  case OPT_static:
    scan->link_static = true;
    break;
  case OPT_static_libquarn:
    scan->shared_companion = false;
    break;
  case OPT_static_libstdc__:
    if (scan->runtime_need != RUNTIME_NEVER)
      scan->runtime_need = RUNTIME_STATIC;
    scan->marks[i] |= DROP_OPT;
    break;
  case OPT_stdlib_:
    scan->runtime_kind = int(option.value);
    break;
  case SPECIAL_INPUT_FILE:
    scan_input(scan, i, option.arg);
    break;
  default:
    break;
  }
}

static const char *wrapped_language(const char *name) {
  switch (name[strlen(name) - 1]) {
  case 'c':
    return "c++";
  case 'i':
    return "c++-cpp-output";
  default:
    return "c++-header";
  }
}

// Appends generated options exactly as if the user had typed them.
struct option_builder {
  decoded_option *options;
  unsigned count;
  int *added_inputs;

  void add(size_t row, const char *arg) {
    generate_option(row, arg, 1, CL_DRIVER, &options[count++]);
  }
  // An option that becomes one input of the link.
  void add_input_option(size_t row, const char *arg) {
    add(row, arg);
    ++*added_inputs;
  }
};

void lang_specific_driver(decoded_option **decoded, unsigned *decoded_count, int *added_inputs) {
  const decoded_option *in = *decoded;
  const unsigned in_count = *decoded_count;
  cxx_scan scan;
  scan.marks = static_cast<unsigned char *>(xcalloc(in_count, 1));
  for (unsigned i = 1; i < in_count; i++)
    if (!(in[i].errors & ERR_MISSING_ARG))
      scan_option(&scan, i, in[i]);

  const bool runtime = scan.runtime_need > 0;
  unsigned room = in_count + scan.added_options + (scan.add_libm ? 1 : 0) + (runtime ? 4 : 0) +
                  1 + (scan.runtime_kind == RUNTIME_LIBCXX ? 4 : 0);
  option_builder out = {
      static_cast<decoded_option *>(xmalloc(room * sizeof(decoded_option))), 0, added_inputs};
  out.options[out.count++] = in[0];

  const decoded_option *saved_libm = nullptr, *saved_libc = nullptr;
  for (unsigned i = 1; i < in_count; i++) {
    if (runtime && (scan.marks[i] & IS_LIBM) && !saved_libm) {
      saved_libm = &in[i];
    } else if (runtime && (scan.marks[i] & IS_LIBC) && !saved_libc) {
      saved_libc = &in[i];
    } else if (scan.marks[i] & WRAP_LANG) {
      out.add(OPT_x, wrapped_language(in[i].arg));
      out.options[out.count++] = in[i];
      out.add(OPT_x, "none");
    } else if (!(scan.marks[i] & DROP_OPT)) {
      out.options[out.count++] = in[i];
    }
  }

  // -static-libstdc++ links the runtime statically around a dynamic link.
  const bool static_runtime = scan.runtime_need == RUNTIME_STATIC && !scan.link_static;
  if (runtime) {
    if (static_runtime)
      out.add_input_option(OPT_Wl_, "-Bstatic");
    if (scan.runtime_kind == RUNTIME_LIBCXX) {
      out.add_input_option(OPT_l, "c++");
      out.add_input_option(OPT_l, "c++abi");
    } else {
      out.add_input_option(OPT_l, "stdc++");
    }
    if (static_runtime)
      out.add_input_option(OPT_Wl_, "-Bdynamic");
  }
  if (saved_libm)
    out.options[out.count++] = *saved_libm;
  else if (runtime && scan.add_libm)
    out.add_input_option(OPT_l, scan.profile_count ? "m_p" : "m");
  if (saved_libc)
    out.options[out.count++] = *saved_libc;
  if (scan.shared_companion && !scan.link_static)
    out.add(OPT_shared_libquarn, nullptr);

  quarn_assert(out.count <= room);
  free(scan.marks);
  *decoded = out.options;
  *decoded_count = out.count;
}
