// The built-in texts, byte for byte: each expected length and FNV-1a digest
// was computed from the listed texts, with \t and \n read as a tab and a
// newline, independently of the C++ literals.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "interp_test_support.h"
#include "specs/spec_store.h"
#include "support/multilib.h"

namespace {

struct named_text {
  const char *name;
  size_t length;
  uint64_t digest;
};

// The 45 named specs in list order.
const named_text expected_specs[] = {
    {"asm", 95, 0x44913bf424fa9fb3ull},
    {"asm_debug", 74, 0x8d1ed7c53d4f3933ull},
    {"asm_debug_option", 145, 0x98dc717e5baed70full},
    {"asm_final", 166, 0x5dea49358a889631ull},
    {"asm_options", 267, 0xca5bc76e1b3479c8ull},
    {"invoke_as", 127, 0xa5399bda020a8e4aull},
    {"cpp", 74, 0xed6dc2655a66c45bull},
    {"cpp_options", 208, 0xb713d7eb4f56ff83ull},
    {"cpp_debug_options", 51, 0x3b7fe0e203070b37ull},
    {"cpp_unique_options", 384, 0x3fe9634f4f590311ull},
    {"trad_capable_cpp", 55, 0x7e770c3a4bbd68f5ull},
    {"tarn", 0, 0xcbf29ce484222325ull},
    {"tarn_options", 634, 0xdc673129971080e9ull},
    {"fell", 0, 0xcbf29ce484222325ull},
    {"link_quarn_c_sequence", 19, 0x5c3aefe24683b897ull},
    {"link_ward", 107, 0xb8ffdc9c2130c2a7ull},
    {"endfile", 109, 0xb08f4c801b02ddd6ull},
    {"link", 847, 0x2805a94644fe3b53ull},
    {"lib", 180, 0xe863076baa75a1f8ull},
    {"link_coven", 0, 0xcbf29ce484222325ull},
    {"libquarn", 7, 0x64dd0f84f1538dc1ull},
    {"startfile", 238, 0xe55257a2b159f9b2ull},
    {"cross_compile", 1, 0xaf63ad4c86019cafull},
    {"version", 6, 0xb8c711ce597e382bull},
    {"multilib", 3, 0xf7a9c917ec22da88ull},
    {"multilib_defaults", 9, 0x99437c8683e22f37ull},
    {"multilib_extra", 0, 0xcbf29ce484222325ull},
    {"multilib_matches", 0, 0xcbf29ce484222325ull},
    {"multilib_exclusions", 0, 0xcbf29ce484222325ull},
    {"multilib_options", 0, 0xcbf29ce484222325ull},
    {"multilib_reuse", 0, 0xcbf29ce484222325ull},
    {"linker", 6, 0x59118906957d91d9ull},
    {"linker_plugin_file", 0, 0xcbf29ce484222325ull},
    {"cairn", 0, 0xcbf29ce484222325ull},
    {"lto_quarn", 0, 0xcbf29ce484222325ull},
    {"post_link", 0, 0xcbf29ce484222325ull},
    {"link_libquarn", 2, 0x07b50e07b4810e8cull},
    {"md_exec_prefix", 0, 0xcbf29ce484222325ull},
    {"md_startfile_prefix", 0, 0xcbf29ce484222325ull},
    {"md_startfile_prefix_1", 0, 0xcbf29ce484222325ull},
    {"startfile_prefix_spec", 0, 0xcbf29ce484222325ull},
    {"sysroot_spec", 12, 0xbffdec5ebbc86ab0ull},
    {"sysroot_suffix_spec", 0, 0xcbf29ce484222325ull},
    {"sysroot_hdrs_suffix_spec", 0, 0xcbf29ce484222325ull},
    {"self_spec", 0, 0xcbf29ce484222325ull},
};

TEST(BuiltinSpecs, NamesAndTextsInListOrder) {
  ASSERT_EQ(BUILTIN_SPEC_COUNT, sizeof expected_specs / sizeof expected_specs[0]);
  for (size_t i = 0; i < BUILTIN_SPEC_COUNT; i++) {
    const named_text &want = expected_specs[i];
    SCOPED_TRACE(want.name);
    EXPECT_STREQ(builtin_spec_names[i], want.name);
    EXPECT_EQ(strlen(builtin_spec_texts[i]), want.length);
    EXPECT_EQ(fnv1a(builtin_spec_texts[i]), want.digest);
  }
}

TEST(BuiltinSpecs, SlotsStartWithTheBuiltinTexts) {
  for (size_t i = 0; i < BUILTIN_SPEC_COUNT; i++)
    EXPECT_STREQ(builtin_spec_slots[i], builtin_spec_texts[i]) << builtin_spec_names[i];
}

struct other_text {
  const char *what;
  const char *text;
  size_t length;
  uint64_t digest;
};

TEST(BuiltinSpecs, ExtraEntryLinkCommandAndSelfSpecs) {
  ASSERT_EQ(driver_self_spec_count, 4u);
  const other_text expected[] = {
      {"asm_cpu_spec", asm_cpu_spec_text, 46, 0x312c10367ed667cdull},
      {"link command", builtin_link_command_text, 2770, 0x780212b979b97303ull},
      {"driver self spec 1", driver_self_specs[0], 61, 0x6a9537686852d90eull},
      {"driver self spec 2", driver_self_specs[1], 238, 0x372d62386910ce1aull},
      {"driver self spec 3", driver_self_specs[2], 69, 0x1676bcff75c8c99eull},
      {"driver self spec 4", driver_self_specs[3], 22, 0x723cafb66463abecull},
      {"compare-debug self spec", compare_debug_self_spec_text, 26, 0xdbe1e69e303696e7ull},
  };
  for (const other_text &want : expected) {
    SCOPED_TRACE(want.what);
    EXPECT_EQ(strlen(want.text), want.length);
    EXPECT_EQ(fnv1a(want.text), want.digest);
  }
}

// The texts set at start-up from the multilib data start out the same.
TEST(BuiltinSpecs, MultilibTextsComeFromTheMultilibData) {
  const struct {
    builtin_spec_id id;
    const char *piece;
  } cases[] = {
      {BUILTIN_SPEC_multilib, multilib_select_builtin},
      {BUILTIN_SPEC_multilib_defaults, multilib_defaults_builtin},
      {BUILTIN_SPEC_multilib_matches, multilib_matches_builtin},
      {BUILTIN_SPEC_multilib_exclusions, multilib_exclusions_builtin},
      {BUILTIN_SPEC_multilib_reuse, multilib_reuse_builtin},
  };
  for (const auto &c : cases)
    EXPECT_STREQ(builtin_spec_texts[c.id], c.piece) << builtin_spec_names[c.id];
  EXPECT_STREQ(multilib_select_builtin, ". ;");
  EXPECT_STREQ(multilib_defaults_builtin, "mabi=lp64");
}

// Spot checks a reader can follow without a digest: the characters that are
// easiest to lose when a text is copied.
TEST(BuiltinSpecs, CharactersEasyToLose) {
  const std::string link = builtin_spec_texts[BUILTIN_SPEC_link];
  EXPECT_NE(link.find("%{p:%nconsider using `-pg' instead of `-p' with lumen (1)}"),
            std::string::npos);
  EXPECT_EQ(link.compare(0, 38, std::string(37, ' ') + "%"), 0);
  const std::string asm_final = builtin_spec_texts[BUILTIN_SPEC_asm_final];
  EXPECT_EQ(asm_final.compare(0, 27, "%{gsplit-dwarf: \n       obj"), 0);
  const std::string cpp = builtin_spec_texts[BUILTIN_SPEC_cpp];
  EXPECT_EQ(cpp.compare(0, 9, "\t\t\t\t\t\t\t  "), 0);
  for (size_t i = 0; i < BUILTIN_SPEC_COUNT; i++) {
    EXPECT_EQ(strchr(builtin_spec_texts[i], '\\'), nullptr) << builtin_spec_names[i];
    EXPECT_EQ(strchr(builtin_spec_texts[i], '"'), nullptr) << builtin_spec_names[i];
  }
}

} // namespace
