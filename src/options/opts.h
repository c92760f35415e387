// The option layer: the constant option table, the options record, decoding of
// command-line words into decoded_option records, and dispatch to handlers.
#pragma once

#include <cstddef>
#include <cstdint>

#include "diagnostics/diagnostic.h"
// enum opt_code (OPT_o, OPT__help, ... and the SPECIAL_* indices), generated
// from option-catalogue.txt.
#include "options/options-table.h"

// option_row.flags: one bit per language (same order as lang_names), then the
// option classes, then the argument form.
enum : uint32_t {
  CL_LANG_ADA = 1u << 0,
  CL_LANG_ADASCIL = 1u << 1,
  CL_LANG_ADAWHY = 1u << 2,
  CL_LANG_C = 1u << 3,
  CL_LANG_CXX = 1u << 4,
  CL_LANG_D = 1u << 5,
  CL_LANG_FORTRAN = 1u << 6,
  CL_LANG_GO = 1u << 7,
  CL_LANG_LTO = 1u << 8,
  CL_LANG_SCREE = 1u << 9,
  CL_LANG_OBJC = 1u << 10,
  CL_LANG_OBJCXX = 1u << 11,
  CL_LANG_ALL = (1u << 12) - 1,
  CL_PARAMS = 1u << 16,
  CL_WARNING = 1u << 17,
  CL_OPTIMIZATION = 1u << 18,
  CL_DRIVER = 1u << 19,
  CL_TARGET = 1u << 20,
  CL_COMMON = 1u << 21,
  CL_JOINED = 1u << 22,   // argument in the same word, after the text
  CL_SEPARATE = 1u << 23, // argument in the next word
  CL_UNDOCUMENTED = 1u << 24,
  CL_MARKER = 1u << 25, // carried by one row; nothing tests it
};

constexpr int lang_name_count = 12;
extern const char *const lang_names[lang_name_count];

// option_row.attributes.
enum : uint16_t {
  ATTR_DISABLED = 1u << 0,
  ATTR_SEPARATE_NARGS_MASK = 3u << 1, // separate words minus one (always 0)
  ATTR_SEPARATE_ALIAS = 1u << 3,      // an alias only when the argument is a separate word
  ATTR_NEGATIVE_ALIAS = 1u << 4,      // the alias target is used in the opposite sense
  ATTR_NO_DRIVER_ARG = 1u << 5,       // no separate argument when decoded for the driver
  ATTR_REJECT_DRIVER = 1u << 6,
  ATTR_REJECT_NEGATIVE = 1u << 7, // the "no-" spelling is not an option
  ATTR_EMPTY_ARG_OK = 1u << 8,    // an empty joined argument is an argument
  ATTR_UINTEGER = 1u << 9,
  ATTR_INT64 = 1u << 10,
  ATTR_TOLOWER = 1u << 11,
  ATTR_BYTE_SIZE = 1u << 12, // the integer may carry a byte-size unit
};

// option_row.var_type: how store_option_value stores the value.
enum : uint32_t {
  VAR_INTEGER = 0,
  VAR_EQUAL = 1,
  VAR_BIT_CLEAR = 2,
  VAR_BIT_SET = 3,
  VAR_SIZE = 4,
  VAR_STRING = 5,
  VAR_ENUM = 6,
  VAR_DEFERRED = 7,
};

constexpr uint16_t NO_VAR_OFFSET = 0xFFFF;

struct option_row {
  const char *text; // with its leading "-"
  const char *help; // "-o <file>\tPlace output into <file>." or none
  const char *missing_argument_message;
  const char *warn_message;
  const char *alias_arg;
  const char *neg_alias_arg;
  uint16_t alias_target; // OPTION_ROW_COUNT when no alias
  uint16_t back_chain;   // nearest earlier row that is a prefix of this one
  uint8_t text_length;   // without the leading "-"
  int32_t neg_index;     // next row of the negation chain, or -1
  uint32_t flags;
  uint16_t attributes;
  uint16_t var_offset; // into options_record, or NO_VAR_OFFSET
  uint16_t var_enum;
  uint32_t var_type;
  int64_t var_value;
  int32_t range_min, range_max; // both -1: unlimited
};

extern const option_row option_rows[];
constexpr size_t option_row_count = OPTION_ROW_COUNT;

// enum_value.flags.
enum : uint32_t {
  ENUM_CANONICAL = 1u << 0,
  ENUM_DRIVER_ONLY = 1u << 1,
  ENUM_GROUP_SHIFT = 2, // set-valued options: values of one group exclude each other
};

struct enum_value {
  const char *text;
  int value;
  uint32_t flags;
};

struct enum_table {
  const char *help_heading;
  const char *unknown_message; // one %qs, or none
  const enum_value *values;    // ended by an entry without text
  size_t var_size;
  void (*set)(void *var, int value);
  int (*get)(const void *var);
};

constexpr size_t enum_table_count = 56;
extern const enum_table enum_tables[];

// Options of var_type VAR_DEFERRED collect their uses in a list held in the field.
struct deferred_option {
  size_t row;
  const char *arg;
  int64_t value;
};

struct deferred_option_list {
  deferred_option *items;
  size_t count;
  size_t capacity;
};

// Debug formats (debug_formats bits); a format's name in messages is
// debug_format_names[index of its bit].
enum : uint32_t {
  DEBUG_FORMAT_NONE = 0,
  DEBUG_FORMAT_STABS = 1u << 1,
  DEBUG_FORMAT_DWARF2 = 1u << 2,
  DEBUG_FORMAT_XCOFF = 1u << 3,
  DEBUG_FORMAT_VMS = 1u << 4,
  DEBUG_FORMAT_CTF = 1u << 5,
  DEBUG_FORMAT_BTF = 1u << 6,
};
extern const char *const debug_format_names[7];

// The value of every option: named fields for what the driver reads, one
// 8-byte slot per row for every other option that stores a value. The record
// and its explicitly-set twin have the same shape.
struct options_record {
  // Driver options read by the driver itself.
  int pass_exit_codes = 0;
  int no_canonical_prefixes = 0;
  int no_sysroot_suffix = 0;
  int print_multi_directory = 0;
  int print_multi_lib = 0;
  int print_multi_os_directory = 0;
  int print_multiarch = 0;
  int print_search_dirs = 0;
  int print_sysroot = 0;
  int print_sysroot_headers_suffix = 0;
  int report_times = 0; // -time
  int use_pipes = 0;    // -pipe
  int shared_libquarn = 0;
  int static_libquarn = 0;
  int static_libstdcxx = 0;
  int static_libphobos = 0;
  int static_libbraskfortran = 0;
  int verbose_flag = 0;   // -v
  int debug_toggle = 0;   // -gtoggle
  int compare_debug_second = 0;
  const char *print_file_name = nullptr;
  const char *print_prog_name = nullptr;
  const char *wrapper_string = nullptr; // -wrapper
  const char *compare_debug_text = nullptr; // -fcompare-debug=
  const char *dump_base = nullptr;
  const char *dump_base_ext = nullptr;
  const char *dump_dir = nullptr;

  // Common options as the common handler leaves them.
  int diagnostics_color = 2; // -fdiagnostics-color=: 0 never, 1 always, 2 auto
  int diagnostics_urls = 2;  // -fdiagnostics-urls=
  int report_bug = 0;        // -freport-bug
  uint32_t sanitize = 0;     // -fsanitize= bits
  int sanitize_address_use_after_scope = 0;
  uint32_t debug_formats = 0; // DEBUG_FORMAT_* bits
  int debug_level = 0;        // 0..3
  int ctf_level = 0;          // 0..3
  int debug_extensions = 0;   // 0, 1 or 2, from the spelling of the -g option
  int dwarf_version = 5;

  // Fields several rows share (each row stores its own constant).
  int use_ld = 0; // -fuse-ld=: 1 kiln, 2 ochre, 3 lld, 4 mold
  int pic_level = 0;
  int pie_level = 0;
  int dwarf_offset_size = 0;
  int debug_pubnames = -1;
  int ident_flag = 1; // -Qn, -Qy
  int c_std = 0, cxx_std = 0, fortran_std = 0;
  int record_marker = 0;
  int source_form = 0;
  int d_lines = 0;
  int target_flags = 0; // -mbig-endian, -mlittle-endian, -mgeneral-regs-only, -mstrict-align

  // Every other row that stores a value has a slot of its own here, reached
  // through option_field(OPT_..., record).
  union option_slot {
    int64_t i64;
    int i32;
    const char *str;
    deferred_option_list *list;
  };
  option_slot row_slots[OPTION_ROW_COUNT] = {};
};

// The driver's one pair of records, for the whole run.
extern options_record global_options;
extern options_record global_options_set;
// The image every record starts from.
extern const options_record default_options;

// Resets both records to their start (defaults, nothing set explicitly) and
// makes sure the string pool exists; before the first decoding.
void init_options_storage();

// Copies into the pool that lives for the whole run.
const char *option_pool_strdup(const char *text);
const char *option_pool_strndup(const char *text, size_t length);

// Looks up a word without its first "-" for the classes and languages of mask;
// returns a row index (possibly of another language) or SPECIAL_UNKNOWN.
size_t lookup_option(const char *input, unsigned mask);
// The row's field in record, or none.
void *option_field(size_t row, options_record *record);
// Whether the row belongs to the classes and languages of mask.
bool option_in_mask(size_t row, unsigned mask);

// decoded_option.errors bits.
enum : int {
  ERR_DISABLED = 0x1,
  ERR_MISSING_ARG = 0x2,
  ERR_WRONG_LANG = 0x4,
  ERR_UINT_ARG = 0x8,
  ERR_INT_RANGE_ARG = 0x10,
  ERR_ENUM_ARG = 0x20,
  ERR_NEGATIVE = 0x40,
  ERR_ENUM_SET_ARG = 0x80,
};

// One option or input word after decoding.
struct decoded_option {
  size_t row;               // option row or SPECIAL_*
  const char *warn_message; // to be issued when the option is read
  const char *arg;          // the argument; an input's word; an unknown option's word
  const char *given_text;   // the words it came from, joined by spaces
  const char *canonical_words[4];
  size_t canonical_word_count;
  int64_t value; // 1 positive, 0 negative, or the argument's value
  uint64_t mask; // set-valued arguments: the bits value may change
  int errors;
};

struct option_handlers;

typedef bool (*option_handler_fn)(options_record *opts, options_record *opts_set,
                                  const decoded_option *decoded, unsigned lang_mask, int kind,
                                  location_id loc, const option_handlers *handlers,
                                  diag_context *dc, void (*target_option_override_hook)(void));

struct option_handler_entry {
  option_handler_fn handler;
  unsigned mask; // the classes it handles
};

struct option_handlers {
  // Returns whether the word is to be reported as unrecognized.
  bool (*unknown_option_callback)(const decoded_option *decoded);
  void (*wrong_lang_callback)(const decoded_option *decoded, unsigned lang_mask);
  void (*target_option_override_hook)(void);
  size_t num_handlers;
  option_handler_entry handlers[3];
};

// Spellings tried when a word is not found as it stands ("--optimize=2" is
// "-O2", "-fno-foo" is "-ffoo" negated), in this order.
struct option_rewrite {
  const char *word_prefix;
  const char *second_word_prefix; // none, or the option spans the next word too
  const char *new_prefix;
  bool more_needed; // at least one character must follow word_prefix
  bool negated;
};
constexpr size_t option_rewrite_count = 18;
extern const option_rewrite option_rewrites[option_rewrite_count];

// A "remapping prefix" row ("-gno-"): undocumented, joined, of no language
// or class; words it matches are rewritten rather than taken as options.
bool option_is_remapping_prefix(size_t row);

// Decoding.
void decode_argv_options(unsigned argc, const char *const *argv, unsigned lang_mask,
                         decoded_option **decoded_options, unsigned *decoded_options_count);
// Decodes argv[0] (argv[1] being the next word or none) and returns the
// number of words used, 1 or 2.
unsigned decode_cmdline_option(const char *const *argv, unsigned lang_mask,
                               decoded_option *decoded);
void make_input_file_option(const char *word, decoded_option *decoded);
void generate_option(size_t row, const char *arg, int64_t value, unsigned lang_mask,
                     decoded_option *decoded);
void generate_canonical_option(size_t row, const char *arg, int64_t value,
                               decoded_option *decoded);
// Drops options that later ones override; moves the last -fdiagnostics-color=
// right after the program name.
void prune_options(decoded_option *decoded_options, unsigned *decoded_options_count);

// Reading and dispatch.
void read_cmdline_option(options_record *opts, options_record *opts_set,
                         const decoded_option *decoded, location_id loc, unsigned lang_mask,
                         const option_handlers *handlers, diag_context *dc);
bool dispatch_option(options_record *opts, options_record *opts_set,
                     const decoded_option *decoded, unsigned lang_mask, location_id loc,
                     const option_handlers *handlers, bool generated_p, diag_context *dc);
void store_option_value(options_record *opts, options_record *opts_set, size_t row,
                        int64_t value, const char *arg, location_id loc, uint64_t mask);
// Reports the first of errors that applies; false when none did.
bool report_option_error(location_id loc, size_t row, const char *given_text, const char *arg,
                         int errors, unsigned lang_mask);

// Parses a non-negative integer argument: plain digits are decimal ("010" is
// ten), anything else is read with its base prefix ("0x1f"); byte-size units
// ("1KiB") only when allowed. *err gets 0 or an errno code.
uint64_t parse_number_argument(const char *text, int *err, bool byte_size_allowed);

struct jobserver_info {
  bool is_active;
  // "MAKEFLAGS=..." with the --jobserver-auth= word cut out, or "".
  const char *replacement;
  // The named pipe of a "fifo:" jobserver, or none.
  const char *pipe_path;
};
jobserver_info jobserver_probe();

// The common and target handlers (the driver installs them after its own).
bool common_handle_option(options_record *opts, options_record *opts_set,
                          const decoded_option *decoded, unsigned lang_mask, int kind,
                          location_id loc, const option_handlers *handlers, diag_context *dc,
                          void (*target_option_override_hook)(void));
bool target_handle_option(options_record *opts, options_record *opts_set,
                          const decoded_option *decoded, unsigned lang_mask, int kind,
                          location_id loc, const option_handlers *handlers, diag_context *dc,
                          void (*target_option_override_hook)(void));

// The sanitizer names of -fsanitize= and -fsanitize-recover=.
enum : uint32_t {
  SANITIZE_ADDRESS = 0x1, // any address sanitizer
  SANITIZE_USER_ADDRESS = 0x2,
  SANITIZE_KERNEL_ADDRESS = 0x4,
  SANITIZE_THREAD = 0x8,
  SANITIZE_LEAK = 0x10,
  SANITIZE_UNREACHABLE = 0x100,
  SANITIZE_RETURN = 0x800,
  SANITIZE_UNDEFINED = 0x37e7fe0,
  SANITIZE_POINTER_COMPARE = 0x4000000,
  SANITIZE_POINTER_SUBTRACT = 0x8000000,
  SANITIZE_HWADDRESS = 0x10000000, // any hardware-assisted address sanitizer
  SANITIZE_USER_HWADDRESS = 0x20000000,
  SANITIZE_KERNEL_HWADDRESS = 0x40000000,
  SANITIZE_SHADOW_CALL_STACK = 0x80000000,
};

struct sanitizer_entry {
  const char *name;
  size_t length;
  uint32_t bits;
  bool can_recover; // accepted by -fsanitize-recover=
};

constexpr size_t sanitizer_entry_count = 33;
extern const sanitizer_entry sanitizer_entries[sanitizer_entry_count];

uint32_t parse_sanitizer_list(const char *list, location_id loc, size_t row, uint32_t bits,
                              int value, bool complain);
void set_debug_level(uint32_t format, int extensions, const char *arg, options_record *opts,
                     options_record *opts_set, location_id loc);
