// What the compilers proper do with #include lines: the headers inlined by -E
// and the make rules of -M, -MM, -MD and -MMD with -MF, -MT, -MQ, -MP and -MG.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/sim_runner.h"

struct tree_file {
  const char *name;
  const char *text;
};

// One tree for every case: a source whose header includes a header that
// includes the first one again under another spelling, system and user
// directories, a quote-only directory, names make must see quoted, and a
// response file.
static const tree_file tree[] = {
    {"src/main.cc", "#include \"greet.h\"\n#include <iostream>\nint main() { greet(); }\n"},
    {"src/greet.h", "#pragma once\n#include \"detail/fmt.h\"\nvoid greet();\n"},
    {"src/detail/fmt.h", "#include \"../greet.h\"\nint fmt;\n"},
    {"uses.c", "  #  include <sys.h>\n#include <user.h>\n"},
    {"sysdir/sys.h", "#include \"sysdep.h\"\n"},
    {"sysdir/sysdep.h", "int sysdep;\n"},
    {"userdir/user.h", "int user;\n"},
    {"q.c", "#include \"qq.h\"\n#include <qq2.h>\n"},
    {"qdir/qq.h", "int qq;\n"},
    {"qdir/qq2.h", "int qq2;\n"},
    {"my dir/a b.c", "#include \"h#1.h\"\n"},
    {"my dir/h#1.h", "int h;\n"},
    {"m.c", "#include \"self.h\"\n#include \"self.h\"\nint m;\n"},
    {"self.h", "#include \"self.h\"\nint s;\n"},
    {"a.h", "int a;"},
    {"opts", "-MD u.d\n-Iuserdir\n"},
};

static void make_tree(const scratch_dir &dir) {
  for (const tree_file &file : tree) {
    std::filesystem::create_directories(std::filesystem::path(dir.file(file.name)).parent_path());
    dir.write(file.name, file.text);
  }
  // A directory of a header's name is not that header.
  std::filesystem::create_directories(dir.file("userdir/sys.h"));
}

struct header_case {
  const char *title;
  const char *program;
  std::vector<std::string> args;
  const char *input;     // standard input
  const char *file;      // the file to compare, or null for standard output
  const char *expected;
};

static const char main_rules[] = "main.o: src/main.cc src/greet.h src/detail/fmt.h\n";

static const header_case header_cases[] = {
    {"md_lists_headers_once_in_the_order_entered", "fell", {"-MD", "main.d", "src/main.cc", "-o", "main.s"}, "",
     "main.d", main_rules},
    {"mmd_mf_mt_mq_mp", "fell",
     {"-MMD", "ignored.d", "-MF", "deps", "-MT", "a b", "-MQ", "c d$", "-MP", "src/main.cc", "-o", "m.s"}, "",
     "deps", "a b c\\ d$$: src/main.cc src/greet.h src/detail/fmt.h\nsrc/greet.h:\nsrc/detail/fmt.h:\n"},
    {"joined_forms", "tarn", {"-MD", "x.d", "-MFjoined.d", "-MTt", "-MQ$q", "-Iuserdir", "uses.c"}, "", "joined.d",
     "t $$q: uses.c userdir/user.h\n"},
    {"mg_lists_missing_headers_by_name", "fell", {"-MD", "m.d", "-MG", "src/main.cc", "-o", "m.s"}, "", "m.d",
     "main.o: src/main.cc src/greet.h src/detail/fmt.h iostream\n"},
    {"md_lists_system_headers", "tarn", {"-MD", "u.d", "-isystem", "sysdir", "-I", "userdir", "uses.c"}, "", "u.d",
     "uses.o: uses.c sysdir/sys.h sysdir/sysdep.h userdir/user.h\n"},
    {"mmd_leaves_system_headers_out", "tarn", {"-MMD", "u.d", "-idirafter", "sysdir", "-I", "userdir", "uses.c"},
     "", "u.d", "uses.o: uses.c userdir/user.h\n"},
    {"quote_directories_serve_quoted_names_only", "tarn", {"-MD", "q.d", "-iquote", "qdir", "q.c"}, "", "q.d",
     "q.o: q.c qdir/qq.h\n"},
    {"names_quoted_for_make", "tarn", {"-MD", "ab.d", "my dir/a b.c", "-o", "ab.s"}, "", "ab.d",
     "a\\ b.o: my\\ dir/a\\ b.c my\\ dir/h\\#1.h\n"},
    {"preprocessed_input_is_not_followed", "fell", {"-fpreprocessed", "src/main.cc", "-MD", "m.d", "-o", "m.s"}, "",
     "m.d", "main.o: src/main.cc\n"},
    {"options_from_a_response_file", "tarn", {"@opts", "uses.c", "-o", "u.s"}, "", "u.d",
     "uses.o: uses.c userdir/user.h\n"},
    {"m_writes_rules_at_o_instead_of_output", "fell", {"-E", "-M", "src/main.cc", "-o", "out"}, "", "out",
     main_rules},
    {"mm_writes_rules_to_standard_output", "tarn", {"-E", "-MM", "-isystem", "sysdir", "-Iuserdir", "uses.c"}, "",
     nullptr, "uses.o: uses.c userdir/user.h\n"},
    {"m_with_mf", "tarn", {"-E", "-M", "-MF", "rules", "m.c", "-o", "m.i"}, "", "rules", "m.o: m.c self.h\n"},
    {"standard_input_is_not_a_prerequisite", "tarn", {"-E", "-M", "-MT", "s.o", "-"}, "#include \"a.h\"\n",
     nullptr, "s.o: a.h\n"},
    {"e_inlines_headers_between_markers", "fell", {"-E", "src/main.cc", "-o", "main.ii"}, "", "main.ii",
     "# 1 \"src/main.cc\"\n"
     "# 1 \"src/greet.h\" 1\n"
     "#pragma once\n"
     "# 1 \"src/detail/fmt.h\" 1\n"
     "\n"
     "int fmt;\n"
     "# 3 \"src/greet.h\" 2\n"
     "void greet();\n"
     "# 2 \"src/main.cc\" 2\n"
     "#include <iostream>\n"
     "int main() { greet(); }\n"},
    {"e_enters_a_header_once", "tarn", {"-E", "m.c"}, "", nullptr,
     "# 1 \"m.c\"\n# 1 \"self.h\" 1\n\nint s;\n# 2 \"m.c\" 2\n\nint m;\n"},
    {"e_from_standard_input", "tarn", {"-E", "-"}, "#include \"a.h\"\nx\n", nullptr,
     "# 1 \"<stdin>\"\n# 1 \"a.h\" 1\nint a;\n# 2 \"<stdin>\" 2\nx\n"},
    {"e_with_md_writes_both", "fell", {"-E", "-MD", "m.d", "m.c", "-o", "m.i"}, "", "m.d", "m.o: m.c self.h\n"},
};

class sim_headers : public ::testing::TestWithParam<header_case> {};

TEST_P(sim_headers, writes_expected_text) {
  const header_case &c = GetParam();
  scratch_dir dir;
  make_tree(dir);
  sim_result result = run_sim({c.program, c.args, base_env(dir.file("log")), c.input, "", nullptr}, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(result.err, "");
  if (c.file) {
    EXPECT_EQ(dir.read(c.file), c.expected);
  } else {
    EXPECT_EQ(result.out, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(cases, sim_headers, ::testing::ValuesIn(header_cases),
                         [](const auto &info) { return std::string(info.param.title); });

TEST(sim_headers_output, rules_only_leave_no_compiled_output) {
  scratch_dir dir;
  make_tree(dir);
  sim_result result =
      run_sim({"fell", {"-E", "-M", "-MF", "r.d", "m.c", "-o", "m.i"}, base_env(dir.file("log")), "", "", nullptr},
              dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_FALSE(dir.exists("m.i"));
  EXPECT_EQ(result.out, "");
}

TEST(sim_headers_output, md_keeps_the_compiled_output) {
  scratch_dir dir;
  make_tree(dir);
  sim_result result =
      run_sim({"tarn", {"-MD", "m.d", "m.c", "-o", "m.s"}, base_env(dir.file("log")), "", "", nullptr}, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("m.s").rfind("// tarn (quarn stand-in) compiled m.c\n", 0), 0u) << dir.read("m.s");
}
