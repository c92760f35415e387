#include "support/alloc.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unistd.h>

static const char *oom_program_name;

void xmalloc_set_program_name(const char *name) { oom_program_name = name; }

#ifdef QUARN_TEST_HOOKS
// Test programs only: QUARN_TEST_ALLOC_FAIL=N makes the Nth request of the
// family fail, so every out-of-memory path can be reached in turn.
static bool injected_failure() {
  static unsigned long fail_at = [] {
    const char *text = getenv("QUARN_TEST_ALLOC_FAIL");
    return text ? strtoul(text, nullptr, 10) : 0UL;
  }();
  static unsigned long requests;
  return fail_at != 0 && ++requests == fail_at;
}
#else
static bool injected_failure() { return false; }
#endif

static volatile bool allocation_failed;

bool xmalloc_failure_seen() { return allocation_failed; }

void xmalloc_failed(size_t size) {
  allocation_failed = true;
  // Formatted into a fixed buffer: no further allocation may happen here.
  char message[512];
  const char *name = oom_program_name ? oom_program_name : "";
  const char *sep = oom_program_name ? ": " : "";
  int n = snprintf(message, sizeof message, "\n%s%sout of memory allocating %lu bytes\n", name, sep,
                   static_cast<unsigned long>(size));
  if (n > 0) {
    size_t len = static_cast<size_t>(n) < sizeof message ? static_cast<size_t>(n) : sizeof message - 1;
    ssize_t ignored = write(STDERR_FILENO, message, len);
    (void)ignored;
  }
  exit(1);
}

void *xmalloc(size_t size) {
  if (size == 0)
    size = 1;
  void *p = injected_failure() ? nullptr : malloc(size);
  if (!p)
    xmalloc_failed(size);
  return p;
}

void *xcalloc(size_t count, size_t size) {
  if (count == 0 || size == 0)
    count = size = 1;
  void *p = injected_failure() ? nullptr : calloc(count, size);
  if (!p)
    xmalloc_failed(count * size);
  return p;
}

void *xrealloc(void *ptr, size_t size) {
  if (size == 0)
    size = 1;
  void *p = injected_failure() ? nullptr : ptr ? realloc(ptr, size) : malloc(size);
  if (!p)
    xmalloc_failed(size);
  return p;
}

char *xstrdup(const char *text) {
  size_t len = strlen(text) + 1;
  return static_cast<char *>(memcpy(xmalloc(len), text, len));
}

char *xstrndup(const char *text, size_t length) {
  size_t len = strnlen(text, length);
  char *copy = static_cast<char *>(xmalloc(len + 1));
  memcpy(copy, text, len);
  copy[len] = '\0';
  return copy;
}

char *concat(const char *a, const char *b) { return concat(a, b, nullptr); }

char *concat(const char *a, const char *b, const char *c) {
  const char *pieces[] = {a, b, c};
  size_t lengths[3], total = 0;
  for (int i = 0; i < 3; i++)
    total += lengths[i] = pieces[i] ? strlen(pieces[i]) : 0;
  char *text = static_cast<char *>(xmalloc(total + 1));
  char *end = text;
  for (int i = 0; i < 3; i++) {
    if (lengths[i])
      memcpy(end, pieces[i], lengths[i]);
    end += lengths[i];
  }
  *end = '\0';
  return text;
}

// The global allocation functions route through the same failure report, so a
// container growing out of memory ends the program the same way as xmalloc.
void *operator new(size_t size) { return xmalloc(size); }
void *operator new[](size_t size) { return xmalloc(size); }
void *operator new(size_t size, const std::nothrow_t &) noexcept { return xmalloc(size); }
void *operator new[](size_t size, const std::nothrow_t &) noexcept { return xmalloc(size); }
void operator delete(void *ptr) noexcept { free(ptr); }
void operator delete[](void *ptr) noexcept { free(ptr); }
void operator delete(void *ptr, size_t) noexcept { free(ptr); }
void operator delete[](void *ptr, size_t) noexcept { free(ptr); }
void operator delete(void *ptr, const std::nothrow_t &) noexcept { free(ptr); }
void operator delete[](void *ptr, const std::nothrow_t &) noexcept { free(ptr); }

static void *aligned_xmalloc(size_t size, std::align_val_t align) {
  size_t alignment = static_cast<size_t>(align);
  if (size == 0)
    size = 1;
  // Rounding a huge request up to the alignment would wrap to a tiny block.
  if (size > SIZE_MAX - (alignment - 1))
    xmalloc_failed(size);
  size_t rounded = (size + alignment - 1) / alignment * alignment;
  void *p = injected_failure() ? nullptr : aligned_alloc(alignment, rounded);
  if (!p)
    xmalloc_failed(size);
  return p;
}

void *operator new(size_t size, std::align_val_t align) { return aligned_xmalloc(size, align); }
void *operator new[](size_t size, std::align_val_t align) { return aligned_xmalloc(size, align); }
void operator delete(void *ptr, std::align_val_t) noexcept { free(ptr); }
void operator delete[](void *ptr, std::align_val_t) noexcept { free(ptr); }
void operator delete(void *ptr, size_t, std::align_val_t) noexcept { free(ptr); }
void operator delete[](void *ptr, size_t, std::align_val_t) noexcept { free(ptr); }
