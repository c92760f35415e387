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

#if __has_include(<elf.h>) && __has_include(<link.h>)
#include <elf.h>
#include <fcntl.h>
#include <link.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#define HAVE_SYMBOL_TABLE_READER 1
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

#ifdef HAVE_SYMBOL_TABLE_READER
namespace {

// The program's own symbol table, mapped once when the first frame needs it.
struct symbol_table {
  bool loaded = false;
  const ElfW(Sym) *symbols = nullptr;
  size_t count = 0;
  const char *names = nullptr;
  size_t names_size = 0;
  uintptr_t bias = 0;  // load address minus link-time address
};

symbol_table program_symbols;

int note_main_program(struct dl_phdr_info *info, size_t, void *data) {
  // The first object reported is the program itself.
  *static_cast<uintptr_t *>(data) = info->dlpi_addr;
  return 1;
}

bool inside(size_t offset, size_t size, size_t file_size) {
  return offset <= file_size && size <= file_size - offset;
}

void load_program_symbols(symbol_table *table) {
  table->loaded = true;
  int fd = open("/proc/self/exe", O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return;
  struct stat st;
  void *map = MAP_FAILED;
  if (fstat(fd, &st) == 0 && static_cast<size_t>(st.st_size) >= sizeof(ElfW(Ehdr)))
    map = mmap(nullptr, st.st_size, PROT_READ, MAP_PRIVATE, fd, 0);
  close(fd);
  if (map == MAP_FAILED)
    return;
  const char *file = static_cast<const char *>(map);
  size_t file_size = st.st_size;
  const ElfW(Ehdr) *header = reinterpret_cast<const ElfW(Ehdr) *>(file);
  if (memcmp(header->e_ident, ELFMAG, SELFMAG) != 0 || header->e_shentsize != sizeof(ElfW(Shdr)) ||
      !inside(header->e_shoff, size_t(header->e_shnum) * sizeof(ElfW(Shdr)), file_size))
    return;
  const ElfW(Shdr) *sections = reinterpret_cast<const ElfW(Shdr) *>(file + header->e_shoff);
  // The full table when the program keeps one, else the exported symbols.
  const ElfW(Shdr) *chosen = nullptr;
  for (int i = 0; i < header->e_shnum; ++i)
    if (sections[i].sh_type == SHT_SYMTAB || (!chosen && sections[i].sh_type == SHT_DYNSYM))
      chosen = &sections[i];
  if (!chosen || chosen->sh_link >= header->e_shnum ||
      !inside(chosen->sh_offset, chosen->sh_size, file_size))
    return;
  const ElfW(Shdr) &strings = sections[chosen->sh_link];
  if (!inside(strings.sh_offset, strings.sh_size, file_size) || strings.sh_size == 0 ||
      file[strings.sh_offset + strings.sh_size - 1] != '\0')
    return;
  dl_iterate_phdr(note_main_program, &table->bias);
  table->symbols = reinterpret_cast<const ElfW(Sym) *>(file + chosen->sh_offset);
  table->count = chosen->sh_size / sizeof(ElfW(Sym));
  table->names = file + strings.sh_offset;
  table->names_size = strings.sh_size;
}

}  // namespace

// A static program has no dynamic symbols for dladdr: its functions are named
// from the symbol table of its own file.
const char *function_in_symbol_table(uintptr_t pc) {
  if (!program_symbols.loaded)
    load_program_symbols(&program_symbols);
  const symbol_table &table = program_symbols;
  if (!table.symbols || pc < table.bias)
    return nullptr;
  uintptr_t address = pc - table.bias;
  for (size_t i = 0; i < table.count; ++i) {
    const ElfW(Sym) &sym = table.symbols[i];
    if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC || sym.st_shndx == SHN_UNDEF)
      continue;
    if (address >= sym.st_value && address - sym.st_value < sym.st_size &&
        sym.st_name < table.names_size)
      return table.names + sym.st_name;
  }
  return nullptr;
}
#else
const char *function_in_symbol_table(uintptr_t) { return nullptr; }
#endif

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
    if (!function)
      function = function_in_symbol_table(call);
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
