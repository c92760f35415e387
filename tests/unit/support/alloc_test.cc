// The allocation helpers: a request that cannot be met ends the program with
// the out-of-memory message and status 1, whichever entry point it came through.
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <new>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "common/child_process.h"
#include "support/alloc.h"

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ALLOC_TEST_UNDER_ASAN 1
#endif
#endif

namespace {

// Hidden from the optimiser, so that the impossible requests are really made.
volatile size_t huge = SIZE_MAX;
// Where a request that unexpectedly succeeded leaves its block.
void *volatile sink;

TEST(Alloc, OutOfMemoryEndsTheProgram) {
#ifdef ALLOC_TEST_UNDER_ASAN
  GTEST_SKIP() << "the sanitizer's allocator reports impossible requests itself";
#endif
  const std::string max = std::to_string(SIZE_MAX);
  struct {
    const char *what;
    std::function<void()> request;
    const char *name;
    std::string expected;
  } const cases[] = {
      {"xmalloc", [] { sink = xmalloc(huge); }, "quarn++",
       "\nquarn++: out of memory allocating " + max + " bytes\n"},
      {"no name", [] { sink = xmalloc(huge); }, nullptr,
       "\nout of memory allocating " + max + " bytes\n"},
      {"xcalloc", [] { sink = xcalloc(1, huge); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      {"xrealloc none", [] { sink = xrealloc(nullptr, huge); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      {"xrealloc block", [] { sink = xrealloc(xmalloc(8), huge); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      {"operator new", [] { sink = ::operator new(huge); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      {"nothrow new", [] { sink = ::operator new(huge, std::nothrow); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      // Rounding up to the alignment must not wrap round to a tiny block.
      {"aligned new", [] { sink = ::operator new (huge, std::align_val_t{64}); }, "p",
       "\np: out of memory allocating " + max + " bytes\n"},
      {"aligned new near the top", [] { sink = ::operator new (huge - 10, std::align_val_t{64}); },
       "p", "\np: out of memory allocating " + std::to_string(SIZE_MAX - 10) + " bytes\n"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&] {
      xmalloc_set_program_name(c.name);
      c.request();
    });
    EXPECT_TRUE(child.exited) << c.what;
    EXPECT_EQ(child.status, 1) << c.what;
    EXPECT_EQ(child.err, c.expected) << c.what;
  }
}

TEST(Alloc, EmptyRequestsGiveBlocks) {
  void *a = xmalloc(0), *b = xcalloc(0, 4), *c = xrealloc(nullptr, 0);
  EXPECT_NE(a, nullptr);
  EXPECT_NE(b, nullptr);
  EXPECT_NE(c, nullptr);
  a = xrealloc(a, 0);
  EXPECT_NE(a, nullptr);
  free(a);
  free(b);
  free(c);
}

} // namespace
