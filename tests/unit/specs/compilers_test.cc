// The compilers table: its built-in rows, the run's copy that spec files
// extend, and the lookup of each input's row by name or by -x language.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "common/child_process.h"
#include "diagnostics/diagnostic.h"
#include "driver/driver_state.h"
#include "interp_test_support.h"
#include "specs/compilers.h"

using testing::HasSubstr;

namespace {

// Text rows carry the length and FNV-1a digest of their listed spec text
// instead of the text.
struct expected_row {
  int number;
  const char *key;
  const char *spec;
  size_t text_length;
  uint64_t text_digest;
  bool has_cpp_text;
  bool can_combine;
  bool wants_cpp;
};

const expected_row builtin_rows[] = {
    {1, ".m", "#Objective-C", 0, 0, false, false, false},
    {2, ".mi", "#Objective-C", 0, 0, false, false, false},
    {3, ".mm", "#Objective-C++", 0, 0, false, false, false},
    {4, ".M", "#Objective-C++", 0, 0, false, false, false},
    {5, ".mii", "#Objective-C++", 0, 0, false, false, false},
    {6, ".cc", "#C++", 0, 0, false, false, false},
    {7, ".cxx", "#C++", 0, 0, false, false, false},
    {8, ".cpp", "#C++", 0, 0, false, false, false},
    {9, ".cp", "#C++", 0, 0, false, false, false},
    {10, ".c++", "#C++", 0, 0, false, false, false},
    {11, ".C", "#C++", 0, 0, false, false, false},
    {12, ".CPP", "#C++", 0, 0, false, false, false},
    {13, ".ii", "#C++", 0, 0, false, false, false},
    {14, ".ads", "#Ada", 0, 0, false, false, false},
    {15, ".adb", "#Ada", 0, 0, false, false, false},
    {16, ".f", "#Fortran", 0, 0, false, false, false},
    {17, ".F", "#Fortran", 0, 0, false, false, false},
    {18, ".for", "#Fortran", 0, 0, false, false, false},
    {19, ".FOR", "#Fortran", 0, 0, false, false, false},
    {20, ".ftn", "#Fortran", 0, 0, false, false, false},
    {21, ".FTN", "#Fortran", 0, 0, false, false, false},
    {22, ".fpp", "#Fortran", 0, 0, false, false, false},
    {23, ".FPP", "#Fortran", 0, 0, false, false, false},
    {24, ".f90", "#Fortran", 0, 0, false, false, false},
    {25, ".F90", "#Fortran", 0, 0, false, false, false},
    {26, ".f95", "#Fortran", 0, 0, false, false, false},
    {27, ".F95", "#Fortran", 0, 0, false, false, false},
    {28, ".f03", "#Fortran", 0, 0, false, false, false},
    {29, ".F03", "#Fortran", 0, 0, false, false, false},
    {30, ".f08", "#Fortran", 0, 0, false, false, false},
    {31, ".F08", "#Fortran", 0, 0, false, false, false},
    {32, ".r", "#Ratfor", 0, 0, false, false, false},
    {33, ".go", "#Go", 0, 0, false, true, false},
    {34, ".d", "#D", 0, 0, false, true, false},
    {35, ".dd", "#D", 0, 0, false, true, false},
    {36, ".di", "#D", 0, 0, false, true, false},
    {37, ".c", "@c", 0, 0, false, false, true},
    {38, "@c", nullptr, 533, 0x11229f4ce8f97356ull, false, false, true},
    {39, "-", nullptr, 118, 0xddb6d212bf10f358ull, false, false, false},
    {40, ".h", "@c-header", 0, 0, false, false, false},
    {41, "@c-header", nullptr, 662, 0x1ad37df94bad8cf2ull, false, false, false},
    {42, ".i", "@cpp-output", 0, 0, false, false, false},
    {43, "@cpp-output", nullptr, 87, 0xedd261abb9bc0a5full, false, false, false},
    {44, ".s", "@assembler", 0, 0, false, false, false},
    {45, "@assembler", nullptr, 62, 0x803c184301b0df67ull, false, false, false},
    {46, ".sx", "@assembler-with-cpp", 0, 0, false, false, false},
    {47, ".S", "@assembler-with-cpp", 0, 0, false, false, false},
    {48, "@assembler-with-cpp", nullptr, 188, 0x8aa86d1174ef0430ull, false, false, false},
    {49, ".ads", "@ada", 0, 0, false, false, false},
    {50, ".adb", "@ada", 0, 0, false, false, false},
    {51, "@ada", nullptr, 602, 0x85e912674449b2dbull, false, false, false},
    {52, "@adawhy", nullptr, 291, 0x7b1443923cf8a477ull, false, false, false},
    {53, "@adascil", nullptr, 293, 0x41b7a8f60683cd9full, false, false, false},
    {54, ".cc", "@c++", 0, 0, false, false, false},
    {55, ".cp", "@c++", 0, 0, false, false, false},
    {56, ".cxx", "@c++", 0, 0, false, false, false},
    {57, ".cpp", "@c++", 0, 0, false, false, false},
    {58, ".c++", "@c++", 0, 0, false, false, false},
    {59, ".C", "@c++", 0, 0, false, false, false},
    {60, ".CPP", "@c++", 0, 0, false, false, false},
    {61, ".H", "@c++-header", 0, 0, false, false, false},
    {62, ".hpp", "@c++-header", 0, 0, false, false, false},
    {63, ".hp", "@c++-header", 0, 0, false, false, false},
    {64, ".hxx", "@c++-header", 0, 0, false, false, false},
    {65, ".h++", "@c++-header", 0, 0, false, false, false},
    {66, ".HPP", "@c++-header", 0, 0, false, false, false},
    {67, ".tcc", "@c++-header", 0, 0, false, false, false},
    {68, ".hh", "@c++-header", 0, 0, false, false, false},
    {69, "@c++-header", nullptr, 730, 0xe0fda7d227ad3802ull, true, false, false},
    {70, "@c++-system-header", nullptr, 755, 0xe7f291fd94ecbc02ull, true, false, false},
    {71, "@c++-user-header", nullptr, 746, 0xe098f10f443523d8ull, true, false, false},
    {72, "@c++", nullptr, 455, 0x44f2d0059292c8e5ull, true, false, false},
    {73, ".ii", "@c++-cpp-output", 0, 0, false, false, false},
    {74, "@c++-cpp-output", nullptr, 169, 0x5393c3071a7f7f0aull, false, false, false},
    {75, "@lto", nullptr, 56, 0x309b7a7522965ce5ull, false, true, false},
};

// Length and digest of the built-in "cpp" text the C++ rows carry.
constexpr size_t cpp_text_length = 74;
constexpr uint64_t cpp_text_digest = 0xed6dc2655a66c45bull;

TEST(CompilersTable, BuiltinRowsInTableOrder) {
  ASSERT_EQ(builtin_compiler_count, 75u);
  ASSERT_EQ(builtin_compiler_count, sizeof builtin_rows / sizeof builtin_rows[0]);
  for (const expected_row &want : builtin_rows) {
    const compiler_entry &row = builtin_compilers[want.number - 1];
    SCOPED_TRACE(testing::Message() << "row " << want.number << " " << want.key);
    EXPECT_STREQ(row.key, want.key);
    if (want.spec) {
      EXPECT_STREQ(row.spec, want.spec);
    } else {
      EXPECT_EQ(strlen(row.spec), want.text_length);
      EXPECT_EQ(fnv1a(row.spec), want.text_digest);
    }
    if (want.has_cpp_text) {
      ASSERT_NE(row.cpp_text, nullptr);
      EXPECT_EQ(strlen(row.cpp_text), cpp_text_length);
      EXPECT_EQ(fnv1a(row.cpp_text), cpp_text_digest);
    } else {
      EXPECT_EQ(row.cpp_text, nullptr);
    }
    EXPECT_EQ(row.can_combine, want.can_combine);
    EXPECT_EQ(row.wants_cpp, want.wants_cpp);
  }
  EXPECT_EQ(builtin_compilers[builtin_compiler_count].key, nullptr);
}

class FindCompiler : public testing::Test {
protected:
  void SetUp() override {
    init_compilers_table();
    driver.preprocess_only = false;
  }
  void TearDown() override { driver.preprocess_only = false; }
  // Row numbers count from 1, as the table lists them.
  static const compiler_entry *row(int number) { return &compilers[number - 1]; }
  static const compiler_entry *by_name(const char *name) {
    return find_compiler(name, strlen(name), nullptr);
  }
};

TEST_F(FindCompiler, ByNameFollowsAliasesToTheLastRowWithTheKey) {
  const struct {
    const char *name;
    int row; // 0: no row, a linker input
  } cases[] = {
      {"x.cc", 72}, {"dir/x.cpp", 72}, {"x.CPP", 72}, {"x.C", 72},   {"x.cxx", 72}, {"x.c++", 72},
      {"x.cp", 72}, {"x.c", 38},       {"x.h", 41},   {"x.i", 43},   {"x.s", 45},   {"x.S", 48},
      {"x.sx", 48}, {"x.ads", 51},     {"x.adb", 51}, {"x.hpp", 69}, {"x.H", 69},   {"x.tcc", 69},
      {"x.hh", 69}, {"x.ii", 74},      {"x.f90", 24}, {"x.F", 17},   {"x.m", 1},    {"x.mm", 3},
      {"x.go", 33}, {"x.di", 36},      {"-", 39},     {"lib.so", 0}, {"x.o", 0},    {"README", 0},
      {"x.CC", 0},  {"x.Cpp", 0},      {".c", 0},     {".cc", 0},    {"c", 0},
  };
  for (const auto &c : cases)
    EXPECT_EQ(by_name(c.name), c.row ? row(c.row) : nullptr) << c.name;
}

// Only ".suffix" keys match by suffix; "-" is standard input and nothing
// else; "@language" keys never match a file name.
TEST_F(FindCompiler, KeysWithoutADotDoNotMatchNameEndings) {
  const char *const names[] = {"x-", "-", "--", "x@c", "@c", "x@c++", "x@lto", "@lto"};
  for (const char *name : names) {
    const compiler_entry *found = by_name(name);
    if (strcmp(name, "-") == 0)
      EXPECT_EQ(found, row(39));
    else
      EXPECT_EQ(found, nullptr) << name;
  }
}

TEST_F(FindCompiler, OnlyTheGivenLengthOfTheNameCounts) {
  EXPECT_EQ(find_compiler("x.cc.o", 4, nullptr), row(72));
  EXPECT_EQ(find_compiler("x.o.cc", 3, nullptr), nullptr);
  EXPECT_EQ(find_compiler("-x", 1, nullptr), row(39));
}

TEST_F(FindCompiler, ByLanguage) {
  const struct {
    const char *name;
    const char *language;
    int row;
  } cases[] = {
      {"x.c", "c++", 72},
      {"-", "c++", 72},
      {"x.cc", "c", 38},
      {"-", "c", 38},
      {"x.h", "c-header", 41},
      {"x.hh", "c++-header", 69},
      {"x.s", "assembler", 45},
      {"x.o", "lto", 75},
      {"x.adb", "adawhy", 52},
      {"x.ii", "c++-cpp-output", 74},
      {"x.cc", "*", 0},
      {"x.cc", "*c++", 0},
      {nullptr, "c++-system-header", 70},
  };
  for (const auto &c : cases) {
    size_t length = c.name ? strlen(c.name) : 0;
    EXPECT_EQ(find_compiler(c.name, length, c.language), c.row ? row(c.row) : nullptr)
        << (c.name ? c.name : "(none)") << " -x " << c.language;
  }
}

TEST_F(FindCompiler, HeaderLanguagesFromStandardInputNeedPreprocessingOnly) {
  driver.preprocess_only = true;
  EXPECT_EQ(find_compiler("-", 1, "c++-header"), row(69));
  EXPECT_EQ(find_compiler("-", 1, "c-header"), row(41));
  driver.preprocess_only = false;
  for (const char *language : {"c++-header", "c-header"}) {
    child_result child = run_in_child([language] {
      progname = "quarn++";
      diag_context_init(global_dc);
      find_compiler("-", 1, language);
    });
    EXPECT_TRUE(child.exited) << language;
    EXPECT_EQ(child.status, 1) << language;
    EXPECT_EQ(child.err, "quarn++: fatal error: cannot use '-' as input filename for a "
                         "precompiled header\ncompilation terminated.\n")
        << language;
  }
  // Only those two rows write a precompiled header.
  EXPECT_EQ(find_compiler("-", 1, "c++-system-header"), row(70));
}

TEST_F(FindCompiler, UnknownLanguageIsAnErrorAndGivesNoRow) {
  const struct {
    const char *language;
    const char *message;
  } cases[] = {
      {"fortran", "quarn++: error: language fortran not recognized\n"},
      {"C++", "quarn++: error: language C++ not recognized\n"},
      {"", "quarn++: error: language  not recognized\n"},
  };
  for (const auto &c : cases) {
    child_result child = run_in_child([&c] {
      progname = "quarn++";
      diag_context_init(global_dc);
      bool none = find_compiler("x.c", 3, c.language) == nullptr;
      _exit(none && errors_seen() ? 0 : 3);
    });
    EXPECT_EQ(child.status, 0) << c.language;
    EXPECT_EQ(child.err, c.message);
  }
}

TEST_F(FindCompiler, SpecFileRowsComeAfterAndWin) {
  add_compiler_row(".foo", "@c");
  add_compiler_row(".c", "@c++");
  add_compiler_row(".t", "tool %i");
  add_compiler_row(".lnk", "@*linker");
  add_compiler_row("@c", "my-c %i");
  ASSERT_EQ(compiler_count, 80u);
  EXPECT_EQ(compilers[compiler_count].key, nullptr);
  EXPECT_EQ(by_name("x.foo"), row(80));
  EXPECT_EQ(by_name("x.c"), row(72));
  EXPECT_EQ(by_name("x.t"), row(78));
  EXPECT_EQ(by_name("x.lnk"), nullptr);
  EXPECT_EQ(find_compiler("x.h", 3, "c"), row(80));
  EXPECT_STREQ(row(80)->spec, "my-c %i");
  EXPECT_EQ(row(78)->cpp_text, nullptr);
  EXPECT_FALSE(row(78)->can_combine || row(78)->wants_cpp);

  init_compilers_table();
  EXPECT_EQ(compiler_count, 75u);
  EXPECT_EQ(by_name("x.c"), row(38));
  EXPECT_EQ(by_name("x.foo"), nullptr);
}

// A spec-file key without the dot, or an empty key, never claims an input.
TEST_F(FindCompiler, SpecFileKeysThatNeverMatch) {
  add_compiler_row("foo", "@c");
  add_compiler_row("", "@c");
  add_compiler_row("o", "@c");
  for (const char *name : {"x.foo", "xfoo", "foo", "x.o", "x.zzz"})
    EXPECT_EQ(by_name(name), nullptr) << name;
  EXPECT_EQ(by_name("x.cc"), row(72));
}

TEST_F(FindCompiler, AliasToAnUnknownLanguageIsReported) {
  add_compiler_row(".zz", "@zig");
  child_result child = run_in_child([] {
    progname = "quarn++";
    diag_context_init(global_dc);
    _exit(find_compiler("x.zz", 4, nullptr) == nullptr ? 0 : 3);
  });
  EXPECT_EQ(child.status, 0);
  EXPECT_EQ(child.err, "quarn++: error: language zig not recognized\n");
}

TEST_F(FindCompiler, ManyRowsKeepTheTableEnded) {
  std::string keys[200];
  for (int i = 0; i < 200; i++) {
    keys[i] = ".k" + std::to_string(i);
    add_compiler_row(keys[i].c_str(), "@c");
  }
  ASSERT_EQ(compiler_count, 275u);
  EXPECT_EQ(compilers[275].key, nullptr);
  EXPECT_EQ(by_name("x.k0"), row(38));
  EXPECT_EQ(by_name("x.k199"), row(38));
  EXPECT_STREQ(row(276 - 1)->key, ".k199");
  EXPECT_EQ(by_name("x.cc"), row(72));
}

} // namespace
