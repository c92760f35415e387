// Reading spec files: entries, appending, %rename, %include, compiler rows,
// line ends, every malformed form with its offset, and -dumpspecs read back.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <map>
#include <string>

#include "common/child_process.h"
#include "interp_test_support.h"
#include "diagnostics/diagnostic.h"
#include "options/opts.h"
#include "specs/compilers.h"
#include "specs/spec_interpreter.h"
#include "specs/spec_store.h"
#include "support/alloc.h"
#include "support/prefix_list.h"

using testing::HasSubstr;

namespace {

const std::string fixtures = QUARN_TEST_SOURCE_DIR "/tests/unit/specs/fixtures";

std::string fixture(const std::string &name) { return fixtures + "/" + name; }

void reset_world() {
  reset_spec_world();
  init_compilers_table();
  library_prefixes = search_path_list{.label = "startfile"};
}

child_result in_child(const std::function<void()> &body) {
  return run_in_child([&] {
    reset_world();
    body();
  });
}

void load(const std::string &name, bool is_main, bool from_user_file) {
  load_spec_file(xstrdup(fixture(name).c_str()), is_main, from_user_file);
}

TEST(spec_file, entries_define_append_and_drop_comments) {
  reset_world();
  init_builtin_specs();
  const std::string link = named_spec_text("link");
  load("entries.spec", false, true);
  const struct {
    const char *name;
    std::string text;
  } cases[] = {
      {"cpp_extra", "-DEXTRA \n-DSECOND"},
      {"link", link + " -lfoo"},
      {"asm_debug", "+-lbar"},
      {"joined", "one two"},
      {"group", "%{a:x\n}"},
      {"empty", ""},
      {"after_empty", "text"},
      // Only one empty line after the name: the next entry becomes the text.
      {"swallows", "*next:\nline"},
      {"next", "(none)"},
  };
  for (const auto &c : cases)
    EXPECT_EQ(named_spec_text(c.name), c.text) << c.name;
  EXPECT_TRUE(lookup_spec("cpp_extra", 9)->from_user_file);
  EXPECT_TRUE(lookup_spec("link", 4)->from_user_file);
  // The appended text reaches %l too, through the built-in slot.
  EXPECT_EQ(builtin_spec(BUILTIN_SPEC_link), link + " -lfoo");
}

TEST(spec_file, line_ends_of_every_kind) {
  reset_world();
  load("crlf.spec", true, false);
  EXPECT_EQ(named_spec_text("a"), "one");
  EXPECT_EQ(named_spec_text("b"), "two");
  EXPECT_EQ(named_spec_text("c"), "three");
}

TEST(spec_file, rename_keeps_the_old_text_under_the_new_name) {
  reset_world();
  init_builtin_specs();
  const std::string link = named_spec_text("link");
  global_options.verbose_flag = 1;
  std::string err = capture_stderr([] { load("rename.spec", false, false); });
  global_options.verbose_flag = 0;
  EXPECT_EQ(err, "Reading specs from " + fixture("rename.spec") + "\nrename spec link to old_link\n");
  EXPECT_EQ(named_spec_text("old_link"), link);
  EXPECT_EQ(named_spec_text("link"), "%(old_link) -lextra");
  EXPECT_EQ(spec_list->name, std::string("old_link"));

  // Renaming a spec onto itself changes nothing.
  load("rename-same.spec", false, false);
  EXPECT_EQ(named_spec_text("link"), "%(old_link) -lextra");
}

TEST(spec_file, includes_along_the_library_prefixes) {
  reset_world();
  init_builtin_specs();
  insert_prefix(&library_prefixes, (fixtures + "/").c_str(), nullptr, PRIO_OPTION, 0, 0);
  global_options.verbose_flag = 1;
  std::string err = capture_stderr([] { load("include.spec", false, true); });
  EXPECT_EQ(err, "Reading specs from " + fixture("include.spec") + "\nReading specs from " +
                     fixture("entries.spec") + "\ncould not find specs file missing.spec\n");
  EXPECT_EQ(named_spec_text("joined"), "one two");
  EXPECT_TRUE(lookup_spec("joined", 6)->from_user_file);
  EXPECT_EQ(named_spec_text("own"), "mine");
}

TEST(spec_file, rows_without_a_star_go_to_the_compilers_table) {
  reset_world();
  size_t before = compiler_count;
  load("compilers.spec", false, false);
  ASSERT_EQ(compiler_count, before + 2);
  EXPECT_STREQ(compilers[before].key, ".foo");
  EXPECT_STREQ(compilers[before].spec, "@c");
  EXPECT_STREQ(compilers[before + 1].key, ".c");
  EXPECT_STREQ(compilers[before + 1].spec, "my-c-compiler %i");
  EXPECT_STREQ(link_command_spec, "my link %o");
  // The file's row wins over the built-in one of the same key.
  const compiler_entry *row = find_compiler("a.c", 3, nullptr);
  ASSERT_NE(row, nullptr);
  EXPECT_STREQ(row->spec, "my-c-compiler %i");

  load("empty-name.spec", false, false);
  EXPECT_STREQ(link_command_spec, "from an empty name");
  EXPECT_STREQ(compilers[compiler_count - 1].key, "");
}

TEST(spec_file, a_main_file_replaces_the_named_specs) {
  reset_world();
  load("main-without-names.spec", true, false);
  EXPECT_EQ(spec_list, nullptr);
  EXPECT_EQ(lookup_spec("link", 4), nullptr);
  EXPECT_STREQ(link_command_spec, "only the link");
}

TEST(spec_file, malformed_files_are_fatal_with_the_offset) {
  const struct {
    const char *file;
    bool is_main;
    std::string message;
  } cases[] = {
      {"malformed-two-blank-lines.spec", true, "specs file malformed after 7 characters"},
      {"malformed-short-last.spec", true, "specs file malformed after 4 characters"},
      // Offsets count the text after its line ends are made plain.
      {"malformed-short-last-crlf.spec", true, "specs file malformed after 4 characters"},
      {"malformed-no-colon.spec", false, "specs file malformed after 21 characters"},
      {"malformed-no-colon-at-end.spec", false, "specs file malformed after 27 characters"},
      {"malformed-include-in-main.spec", true, "specs file malformed after 23 characters"},
      {"malformed-include-no-open.spec", false,
       "specs %include syntax malformed after 11 characters"},
      {"malformed-include-no-close.spec", false,
       "specs %include syntax malformed after 13 characters"},
      {"malformed-unknown-command.spec", false, "specs unknown % command after 8 characters"},
      {"malformed-rename-one-name.spec", false,
       "specs %rename syntax malformed after 12 characters"},
      {"malformed-rename-digit.spec", false, "specs %rename syntax malformed after 8 characters"},
      {"malformed-rename-extra.spec", false,
       "specs %rename syntax malformed after 16 characters"},
      {"rename-missing.spec", false, "specs nosuch spec was not found to be renamed"},
      {"rename-onto-existing.spec", false,
       fixture("rename-onto-existing.spec") +
           ": attempt to rename spec 'link' to already defined spec 'asm'"},
      {"no-such-file.spec", false,
       "cannot read spec file '" + fixture("no-such-file.spec") + "': No such file or directory"},
      {"", false, "cannot read spec file '" + fixture("") + "': Is a directory"},
  };
  for (const auto &c : cases) {
    child_result child = in_child([&] {
      init_builtin_specs();
      load(c.file, c.is_main, false);
    });
    EXPECT_TRUE(child.exited) << c.file;
    EXPECT_EQ(child.status, 1) << c.file;
    EXPECT_EQ(child.err, fatal_error_output(c.message)) << c.file;
  }
}

TEST(spec_file, an_include_that_is_not_found_is_read_as_named) {
  child_result child = in_child([] {
    init_builtin_specs();
    load_spec_file(xstrdup(fixture("include.spec").c_str()), false, false);
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err,
            fatal_error_output("cannot read spec file 'entries.spec': No such file or directory"));
}

TEST(spec_file, a_file_that_includes_itself_ends_with_a_message) {
  const std::string self = fixture("self-include.spec");
  const std::function<void()> starts[] = {
      [&] { load_spec_file(xstrdup(self.c_str()), false, false); },
      [&] { expand("%:include(self-include.spec)"); },
  };
  for (const auto &start : starts) {
    child_result child = in_child([&] {
      init_builtin_specs();
      insert_prefix(&library_prefixes, (fixtures + "/").c_str(), nullptr, PRIO_OPTION, 0, 0);
      start();
    });
    EXPECT_TRUE(child.exited);
    EXPECT_EQ(child.status, 1);
    EXPECT_EQ(child.err, fatal_error_output("spec file '" + self + "' included too deeply"));
  }
}

TEST(spec_file, a_store_without_a_link_command_is_fatal) {
  child_result child = in_child([] {
    init_builtin_specs();
    link_command_spec = nullptr;
    load("rename-same.spec", false, false);
  });
  EXPECT_EQ(child.status, 1);
  EXPECT_EQ(child.err, fatal_error_output("spec file has no spec for linking"));
}

// name -> text, with the link command under "*link_command".
std::map<std::string, std::string> store_contents() {
  std::map<std::string, std::string> contents;
  for (named_spec *entry = spec_list; entry; entry = entry->next)
    contents.emplace(entry->name, *entry->slot ? *entry->slot : "");
  contents["*link_command"] = link_command_spec ? link_command_spec : "(none)";
  return contents;
}

std::string without_leading_blanks(const std::string &text) {
  size_t start = text.find_first_not_of(" \t\n");
  return start == std::string::npos ? "" : text.substr(start);
}

TEST(spec_file, dumped_specs_read_back_as_the_same_store) {
  reset_world();
  init_builtin_specs();
  std::map<std::string, std::string> built_in = store_contents();
  ASSERT_EQ(built_in.size(), size_t(BUILTIN_SPEC_COUNT) + 2);

  char name[] = "/tmp/quarn-dumpspecs-XXXXXX";
  int fd = mkstemp(name);
  ASSERT_GE(fd, 0);
  fflush(stdout);
  int saved = dup(1);
  dup2(fd, 1);
  print_specs();
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(fd);

  reset_world();
  load_spec_file(name, true, false);
  unlink(name);
  std::map<std::string, std::string> read_back = store_contents();
  ASSERT_EQ(read_back.size(), built_in.size());
  // The reader skips the blanks after an entry's name line, so a text that
  // starts with one comes back without it; interpreting it is the same.
  for (const auto &[spec, text] : built_in) {
    ASSERT_TRUE(read_back.count(spec)) << spec;
    EXPECT_EQ(read_back[spec], without_leading_blanks(text)) << spec;
  }
}

} // namespace
