// The common-option handler as the driver reaches it: diagnostic colors and
// links, the bug-report switch, -fsanitize= lists and the -g family.
#include <cstring>
#include <string>
#include <vector>

#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "options/spellcheck.h"
#include "support/execute.h"

const char *const debug_format_names[7] = {"none", "stabs", "dwarf-2", "xcoff",
                                           "vms",  "ctf",   "btf"};

#define SANITIZER(name, bits, recover) {name, sizeof name - 1, bits, recover}
const sanitizer_entry sanitizer_entries[sanitizer_entry_count] = {
    SANITIZER("address", 0x3, true),
    SANITIZER("hwaddress", 0x30000000, true),
    SANITIZER("kernel-address", 0x5, true),
    SANITIZER("kernel-hwaddress", 0x50000000, true),
    SANITIZER("pointer-compare", 0x4000000, true),
    SANITIZER("pointer-subtract", 0x8000000, true),
    SANITIZER("thread", 0x8, false),
    SANITIZER("leak", 0x10, false),
    SANITIZER("shift", 0x60, true),
    SANITIZER("shift-base", 0x20, true),
    SANITIZER("shift-exponent", 0x40, true),
    SANITIZER("integer-divide-by-zero", 0x80, true),
    SANITIZER("undefined", 0x37e7fe0, true),
    SANITIZER("unreachable", 0x100, false),
    SANITIZER("vla-bound", 0x200, true),
    SANITIZER("return", 0x800, false),
    SANITIZER("null", 0x400, true),
    SANITIZER("signed-integer-overflow", 0x1000, true),
    SANITIZER("bool", 0x2000, true),
    SANITIZER("enum", 0x4000, true),
    SANITIZER("float-divide-by-zero", 0x8000, true),
    SANITIZER("float-cast-overflow", 0x10000, true),
    SANITIZER("bounds", 0x20000, true),
    SANITIZER("bounds-strict", 0x820000, true),
    SANITIZER("alignment", 0x40000, true),
    SANITIZER("nonnull-attribute", 0x80000, true),
    SANITIZER("returns-nonnull-attribute", 0x100000, true),
    SANITIZER("object-size", 0x200000, true),
    SANITIZER("vptr", 0x400000, true),
    SANITIZER("pointer-overflow", 0x1000000, true),
    SANITIZER("builtin", 0x2000000, true),
    SANITIZER("shadow-call-stack", 0x80000000, false),
    SANITIZER("all", 0xFFFFFFFF, true),
};
#undef SANITIZER

static const uint32_t SANITIZE_ALL = 0xFFFFFFFF;
// What recovery can never apply to.
static const uint32_t SANITIZE_NONRECOVERABLE =
    SANITIZE_THREAD | SANITIZE_LEAK | SANITIZE_UNREACHABLE | SANITIZE_RETURN |
    SANITIZE_SHADOW_CALL_STACK;

static void report_unknown_sanitizer(location_id loc, const char *element, size_t length,
                                     bool recover, int value) {
  std::vector<const char *> candidates;
  for (const sanitizer_entry &entry : sanitizer_entries) {
    if (value && !recover && entry.bits == SANITIZE_ALL)
      continue;
    if (value && recover && !entry.can_recover)
      continue;
    candidates.push_back(entry.name);
  }
  std::string target(element, length);
  const char *hint = find_closest_string(target.c_str(), candidates.data(), candidates.size());
  const char *negative = value ? "" : "no-";
  const char *suffix = recover ? "-recover" : "";
  if (hint)
    error_at(loc, "unrecognized argument to %<-f%ssanitize%s=%> option: %q.*s; did you mean %qs?",
             negative, suffix, static_cast<int>(length), element, hint);
  else
    error_at(loc, "unrecognized argument to %<-f%ssanitize%s=%> option: %q.*s", negative, suffix,
             static_cast<int>(length), element);
}

uint32_t parse_sanitizer_list(const char *list, location_id loc, size_t row, uint32_t bits,
                              int value, bool complain) {
  bool recover = row == OPT_fsanitize_recover_;
  for (const char *p = list;;) {
    const char *comma = strchr(p, ',');
    size_t length = comma ? static_cast<size_t>(comma - p) : strlen(p);
    if (length != 0) {
      const sanitizer_entry *entry = nullptr;
      for (const sanitizer_entry &candidate : sanitizer_entries)
        if (candidate.length == length && memcmp(candidate.name, p, length) == 0)
          entry = &candidate;
      if (!entry) {
        if (complain)
          report_unknown_sanitizer(loc, p, length, recover, value);
      } else if (!value) {
        bits &= ~entry->bits;
        // Some address sanitizer is still on.
        if (bits & (SANITIZE_USER_ADDRESS | SANITIZE_KERNEL_ADDRESS))
          bits |= SANITIZE_ADDRESS;
      } else if (entry->bits == SANITIZE_ALL) {
        if (recover)
          bits |= SANITIZE_ALL & ~SANITIZE_NONRECOVERABLE;
        else if (complain)
          error_at(loc, "%<-fsanitize=all%> option is not valid");
      } else if (recover && entry->bits == SANITIZE_UNDEFINED)
        bits |= SANITIZE_UNDEFINED & ~(SANITIZE_UNREACHABLE | SANITIZE_RETURN);
      else
        bits |= entry->bits;
    }
    if (!comma)
      return bits;
    p = comma + 1;
  }
}

static const char *debug_format_name(uint32_t format) {
  return debug_format_names[format ? __builtin_ctz(format) : 0];
}

// Formats that may be combined with each other: DWARF with CTF, DWARF with BTF.
static bool combines_with(uint32_t format, uint32_t current, uint32_t partner) {
  uint32_t both = DEBUG_FORMAT_DWARF2 | partner;
  return (format == DEBUG_FORMAT_DWARF2 || format == partner) &&
         (current == DEBUG_FORMAT_DWARF2 || current == partner || current == both);
}

void set_debug_level(uint32_t format, int extensions, const char *arg, options_record *opts,
                     options_record *opts_set, location_id loc) {
  opts->debug_extensions = extensions;
  uint32_t &formats = opts->debug_formats;
  uint32_t &formats_set = opts_set->debug_formats;

  if (format == DEBUG_FORMAT_NONE) {
    if (formats == 0)
      formats = DEBUG_FORMAT_DWARF2;
    else if (formats & (DEBUG_FORMAT_CTF | DEBUG_FORMAT_BTF)) {
      formats |= DEBUG_FORMAT_DWARF2;
      formats_set |= DEBUG_FORMAT_DWARF2;
    }
  } else if (combines_with(format, formats, DEBUG_FORMAT_CTF) ||
             combines_with(format, formats, DEBUG_FORMAT_BTF)) {
    formats |= format;
    formats_set |= format;
  } else {
    if (formats_set != 0 && formats != 0 && formats_set != format && formats != format)
      error_at(loc, "debug format %qs conflicts with prior selection", debug_format_name(format));
    formats = format;
    formats_set = format;
  }

  bool empty = !arg || *arg == 0;
  if (format == DEBUG_FORMAT_BTF) {
    if (!empty)
      error_at(loc, "unrecognized btf debug output level %qs", arg);
    return;
  }
  if (empty) {
    if (format == DEBUG_FORMAT_CTF)
      opts->ctf_level = 2;
    else if (opts->debug_level < 2)
      opts->debug_level = 2;
    return;
  }
  int err;
  uint64_t level = parse_number_argument(arg, &err, false);
  if (err)
    error_at(loc, "unrecognized debug output level %qs", arg);
  else if (level > 3)
    error_at(loc, "debug output level %qs is too high", arg);
  else if (format == DEBUG_FORMAT_CTF)
    opts->ctf_level = static_cast<int>(level);
  else
    opts->debug_level = static_cast<int>(level);
}

bool common_handle_option(options_record *opts, options_record *opts_set,
                          const decoded_option *decoded, unsigned lang_mask, int kind,
                          location_id loc, const option_handlers *handlers, diag_context *dc,
                          void (*target_option_override_hook)(void)) {
  size_t row = decoded->row;
  const char *arg = decoded->arg;
  int64_t value = decoded->value;
  quarn_assert(decoded->canonical_word_count <= 2);

  switch (row) {
  // The driver's own handler acts on these.
  case OPT__help:
  case OPT__help_:
  case OPT__target_help:
  case OPT__version:
  case OPT__completion_:
  case OPT_fuse_ld_kiln:
  case OPT_fuse_ld_ochre:
  case OPT_fuse_ld_lld:
  case OPT_fuse_ld_mold:
  case OPT_foffload_options_:
  case OPT_gz:
  case OPT_gz_:
  // The word itself is expanded while decoding; a respelling such as
  // "--diagnostics-plain-output" arrives here as the row and sets nothing.
  case OPT_fdiagnostics_plain_output:
    break;

  case OPT_fdiagnostics_color_:
    diagnostic_color_init(dc, static_cast<int>(value));
    break;
  case OPT_fdiagnostics_urls_:
    diagnostic_urls_init(dc, static_cast<int>(value));
    break;
  case OPT_freport_bug:
    dc->report_bug = value != 0;
    exec_state.report_bug = value != 0;
    break;

  case OPT_fsanitize_:
    opts->sanitize = parse_sanitizer_list(arg, loc, row, opts->sanitize, static_cast<int>(value),
                                          true);
    break;
  case OPT_fsanitize_address_use_after_scope:
    opts->sanitize_address_use_after_scope = static_cast<int>(value);
    break;

  case OPT_g:
    set_debug_level(DEBUG_FORMAT_NONE, 1, arg, opts, opts_set, loc);
    break;
  case OPT_ggdb:
    set_debug_level(DEBUG_FORMAT_NONE, 2, arg, opts, opts_set, loc);
    break;
  case OPT_gstabs:
  case OPT_gstabs_:
    set_debug_level(DEBUG_FORMAT_STABS, row == OPT_gstabs_, arg, opts, opts_set, loc);
    break;
  case OPT_gxcoff:
  case OPT_gxcoff_:
    set_debug_level(DEBUG_FORMAT_XCOFF, row == OPT_gxcoff_, arg, opts, opts_set, loc);
    break;
  case OPT_gvms:
    set_debug_level(DEBUG_FORMAT_VMS, 0, arg, opts, opts_set, loc);
    break;
  case OPT_gbtf:
    set_debug_level(DEBUG_FORMAT_BTF, 0, arg, opts, opts_set, loc);
    if (opts->debug_level < 2)
      opts->debug_level = 2;
    break;
  case OPT_gctf:
    set_debug_level(DEBUG_FORMAT_CTF, 0, arg, opts, opts_set, loc);
    if (opts->debug_level < 2 && opts->ctf_level > 0)
      opts->debug_level = 2;
    break;

  case OPT_gdwarf:
    if (arg && *arg) {
      error_at(loc,
               "%<-gdwarf%s%> is ambiguous; use %<-gdwarf-%s%> for DWARF version or %<-gdwarf%> "
               "%<-g%s%> for debug level",
               arg, arg, arg);
      break;
    }
    value = opts->dwarf_version;
    [[fallthrough]];
  case OPT_gdwarf_:
    if (value < 2 || value > 5)
      error_at(loc, "dwarf version %wu is not supported", static_cast<uint64_t>(value));
    else
      opts->dwarf_version = static_cast<int>(value);
    set_debug_level(DEBUG_FORMAT_DWARF2, 0, "", opts, opts_set, loc);
    break;

  default:
    // Everything else only stores its value, which dispatch has done.
    quarn_assert(option_rows[row].var_offset != NO_VAR_OFFSET);
    break;
  }
  return true;
}

bool target_handle_option(options_record *, options_record *, const decoded_option *, unsigned,
                          int, location_id, const option_handlers *, diag_context *,
                          void (*)(void)) {
  return true;
}
