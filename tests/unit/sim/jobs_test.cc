// What each stand-in does with real files: compilers proper, the assembler, the
// linkers and the programs that only record their run.
#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

#include "sim/sim_runner.h"

struct source_file {
  const char *name;
  const char *text;
};

struct job_case {
  const char *title;
  const char *program;
  std::vector<std::string> args;
  std::vector<source_file> files;  // made in the working directory first
  const char *input;               // standard input
  const char *output;              // file the job must write, or null for standard output
  const char *expected;            // that file's contents, or standard output's
};

static const char int_x[] = "int x;\n";

// An object as the stand-in assembler writes it, used as a link input.
static const char object_a[] = "as (quarn stand-in) object from a.s\n// tarn (quarn stand-in) compiled a.c\n";

static const job_case job_cases[] = {
    {"compiler_writes_o_with_codegen_options", "tarn",
     {"-quiet", "-dumpbase", "hello", "-dumpdir", "d/", "-dumpbase-ext", ".c", "-O2", "-g",
      "-mabi=lp64", "-I", "inc", "-D", "N=1", "-Wall", "hello.c", "-o", "hello.s"},
     {{"hello.c", int_x}}, "", "hello.s",
     "// tarn (quarn stand-in) compiled hello.c\n// options: -O2 -g -mabi=lp64\n// > int x;\n"},
    {"compiler_joined_output_name", "pell1", {"u.adb", "-ou.s"}, {{"u.adb", "null;"}}, "", "u.s",
     "// pell1 (quarn stand-in) compiled u.adb\n// options:\n// > null;\n"},
    {"compiler_o_dash_is_standard_output", "fell", {"a.cc", "-o", "-", "-fno-rtti"}, {{"a.cc", int_x}}, "",
     nullptr, "// fell (quarn stand-in) compiled a.cc\n// options: -fno-rtti\n// > int x;\n"},
    {"compiler_without_o_writes_standard_output", "fell", {"a.cc"}, {{"a.cc", int_x}}, "", nullptr,
     "// fell (quarn stand-in) compiled a.cc\n// options:\n// > int x;\n"},
    {"compiler_reads_standard_input_for_dash", "tarn", {"-", "-o", "out.s"}, {}, "int y;", "out.s",
     "// tarn (quarn stand-in) compiled <stdin>\n// options:\n// > int y;\n"},
    {"compiler_without_input_reads_standard_input", "fell", {"-O1"}, {}, "a\n\nb\n", nullptr,
     "// fell (quarn stand-in) compiled <stdin>\n// options: -O1\n// > a\n// > \n// > b\n"},
    {"lto_compiler_takes_every_input", "moraine", {"a.o", "b.o", "-o", "lto.s"},
     {{"a.o", "A\n"}, {"b.o", "B\n"}}, "", "lto.s",
     "// moraine (quarn stand-in) compiled a.o b.o\n// options:\n// > A\n// > B\n"},
    {"preprocess_to_o", "tarn", {"-E", "-quiet", "hello.c", "-o", "hello.i"}, {{"hello.c", int_x}}, "",
     "hello.i", "# 1 \"hello.c\"\nint x;\n"},
    {"preprocess_standard_input_to_standard_output", "fell", {"-E", "-"}, {}, "int z;", nullptr,
     "# 1 \"<stdin>\"\nint z;\n"},
    {"dependencies_named_by_md", "tarn", {"-MD", "hello.d", "src/hello.c", "-o", "hello.s"},
     {{"src/hello.c", int_x}}, "", "hello.d", "hello.o: src/hello.c\n"},
    {"dependencies_mf_and_mt_win", "fell", {"-E", "a.cc", "-MD", "a.d", "-MF", "deps", "-MT", "tgt"},
     {{"a.cc", int_x}}, "", "deps", "tgt: a.cc\n"},
    {"assembler_writes_o", "as", {"-EL", "-I", "inc", "--debug-prefix-map", "a=b", "a.s", "-o", "a.o"},
     {{"a.s", "// tarn (quarn stand-in) compiled a.c\n"}}, "", "a.o", object_a},
    {"assembler_reads_standard_input_into_a_out", "as", {"-march=armv8-a"}, {}, "nop", "a.out",
     "as (quarn stand-in) object from <stdin>\nnop\n"},
    {"assembler_dash_is_standard_input", "as", {"-", "-o", "x.o"}, {}, "ret\n", "x.o",
     "as (quarn stand-in) object from <stdin>\nret\n"},
    {"tether_names_inputs_in_order_with_objects_inside", "tether",
     {"-plugin", "/p/libsluice.so", "-plugin-opt=-fresolution=r.res", "--eh-frame-hdr", "-rpath",
      "/r", "-dynamic-linker", "/libexec/ld-elf.so.1", "-X", "-o", "prog", "crt1.o", "-L/lib",
      "a.o", "-lstdc++", "-l", "m", "--push-state", "--as-needed", "-lquarn_s", "--pop-state", "crtn.o"},
     {{"a.o", object_a}, {"crt1.o", "\x7f" "ELF not a stand-in object\n"}}, "", "prog",
     "tether (quarn stand-in) linked\ninput crt1.o\ninput a.o\n"
     "  as (quarn stand-in) object from a.s\n  // tarn (quarn stand-in) compiled a.c\n"
     "library -lstdc++\nlibrary -lm\nlibrary -lquarn_s\ninput crtn.o\n"},
    {"ld_writes_a_out_by_default", "ld", {"-m", "aarch64fbsd", "x.o"}, {{"x.o", "X\n"}}, "", "a.out",
     "ld (quarn stand-in) linked\ninput x.o\n"},
    {"linker_ignores_target_options_and_absent_start_files", "ld",
     {"--sysroot=/", "--hash-style=brask", "-maarch64fbsd", "-EL", "-X", "-V", "-pie",
      "-plugin-opt=-pass-through=-lc", "-L", "/l", "/no/crti.o", "crtbeginS.o", "x.o", "crtendS.o", "-o", "out"},
     {{"x.o", "X\n"}}, "", "out",
     "ld (quarn stand-in) linked\ninput /no/crti.o\ninput crtbeginS.o\ninput x.o\ninput crtendS.o\n"},
    // Words of a response file, quoted as the driver writes them, nested.
    {"linker_reads_response_files", "tether", {"@rsp", "-lc"},
     {{"rsp", "-o\nprog\na\\ b.o\n\"-lx\"\n@inner\n"}, {"inner", "-L/q\n'-lm'\n"}, {"a b.o", "AB\n"}}, "",
     "prog", "tether (quarn stand-in) linked\ninput a b.o\nlibrary -lx\nlibrary -lm\nlibrary -lc\n"},
    {"objcopy_extracts_the_object_into_the_dwo_file", "objcopy", {"--extract-dwo", "a.o", "a.dwo"},
     {{"a.o", object_a}}, "", "a.dwo",
     "objcopy (quarn stand-in) split debug information of a.o\n"
     "  as (quarn stand-in) object from a.s\n  // tarn (quarn stand-in) compiled a.c\n"},
    {"objcopy_strips_the_object_in_place", "objcopy", {"--strip-dwo", "a.o"}, {{"a.o", object_a}}, "", "a.o",
     "as (quarn stand-in) object from a.s\n// tarn (quarn stand-in) compiled a.c\n"
     "(split debug information removed)\n"},
    {"objcopy_strips_once", "objcopy", {"--strip-dwo", "a.o"},
     {{"a.o", "A\n(split debug information removed)\n"}}, "", "a.o", "A\n(split debug information removed)\n"},
};

class sim_job : public ::testing::TestWithParam<job_case> {};

TEST_P(sim_job, writes_expected_output) {
  const job_case &c = GetParam();
  scratch_dir dir;
  for (const source_file &file : c.files) {
    std::filesystem::create_directories(std::filesystem::path(dir.file(file.name)).parent_path());
    dir.write(file.name, file.text);
  }
  sim_result result = run_sim({c.program, c.args, base_env(dir.file("log")), c.input, "", nullptr}, dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(result.err, "");
  if (c.output) {
    EXPECT_EQ(dir.read(c.output), c.expected);
  } else {
    EXPECT_EQ(result.out, c.expected);
  }
}

INSTANTIATE_TEST_SUITE_P(cases, sim_job, ::testing::ValuesIn(job_cases),
                         [](const auto &info) { return std::string(info.param.title); });

struct failure_case {
  const char *title;
  const char *program;
  std::vector<std::string> args;
  const char *error;        // standard error
  const char *not_written;  // an output that must not appear, or null
};

static const failure_case failure_cases[] = {
    {"compiler_missing_input", "tarn", {"missing.c", "-o", "missing.s"},
     "tarn: error: cannot open missing.c: No such file or directory\n", "missing.s"},
    {"compiler_one_of_two_inputs_missing", "moraine", {"present.o", "gone.o", "-o", "out.s"},
     "moraine: error: cannot open gone.o: No such file or directory\n", "out.s"},
    {"compiler_input_is_a_directory", "fell", {"subdir", "-o", "out.s"},
     "fell: error: cannot read subdir: Is a directory\n", "out.s"},
    {"compiler_output_directory_missing", "fell", {"present.o", "-o", "nodir/out.s"},
     "fell: error: cannot open nodir/out.s: No such file or directory\n", nullptr},
    {"preprocess_missing_input", "tarn", {"-E", "gone.c"},
     "tarn: error: cannot open gone.c: No such file or directory\n", nullptr},
    {"assembler_missing_input", "as", {"gone.s", "-o", "gone.o"},
     "as: error: cannot open gone.s: No such file or directory\n", "gone.o"},
    {"linker_without_inputs", "tether", {"-o", "prog", "-plugin", "x.so", "-rpath", "/r"},
     "tether: error: no input files\n", "prog"},
    {"linker_input_missing", "tether", {"-o", "prog", "crt1.o", "present.o", "gone.o", "@gone.rsp"},
     "tether: error: cannot find gone.o: No such file or directory\n"
     "tether: error: cannot find @gone.rsp: No such file or directory\n", "prog"},
    {"objcopy_object_missing", "objcopy", {"--strip-dwo", "gone.o"},
     "objcopy: error: cannot open gone.o: No such file or directory\n", nullptr},
    {"objcopy_dwo_name_missing", "objcopy", {"--extract-dwo", "present.o"}, "objcopy: error: missing file operand\n",
     nullptr},
    {"response_file_names_itself", "fell", {"@loop.rsp"}, "fell: error: too many @-files\n", nullptr},
    {"pch_unwritable", "fell", {"present.o", "-o", "out.s", "--output-pch=nodir/x.gch"},
     "fell: error: cannot open nodir/x.gch: No such file or directory\n", nullptr},
};

class sim_job_failure : public ::testing::TestWithParam<failure_case> {};

TEST_P(sim_job_failure, reports_and_exits_1) {
  const failure_case &c = GetParam();
  scratch_dir dir;
  dir.write("present.o", "P\n");
  dir.write("loop.rsp", "-O2 @loop.rsp\n");
  std::filesystem::create_directory(dir.file("subdir"));
  sim_result result = run_sim({c.program, c.args, base_env(dir.file("log")), "", "", nullptr}, dir.path);
  EXPECT_TRUE(exited_with(result, 1)) << describe(result);
  EXPECT_EQ(result.err, c.error);
  EXPECT_EQ(result.out, "");
  if (c.not_written) EXPECT_FALSE(dir.exists(c.not_written));
}

INSTANTIATE_TEST_SUITE_P(cases, sim_job_failure, ::testing::ValuesIn(failure_cases),
                         [](const auto &info) { return std::string(info.param.title); });

TEST(sim_recorder, recorders_succeed_and_touch_nothing) {
  for (const char *program : {"cairn", "objcopy", "ar", "nm", "ranlib"}) {
    scratch_dir dir;
    std::vector<std::string> args = {"--plugin", "libsluice.so", "-o", "out", "missing.o"};
    sim_result result = run_sim({program, args, base_env(dir.file("log")), "", "", nullptr}, dir.path);
    EXPECT_TRUE(exited_with(result, 0)) << program << ": " << describe(result);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "");
    EXPECT_FALSE(dir.exists("out")) << program;
    EXPECT_NE(dir.read("log").find("\"missing.o\"]"), std::string::npos) << program;
  }
}

// The files a compiler proper writes beside its output.
static const char header_text[] = "#pragma once\nint h;\n";

TEST(sim_compiler_files, precompiled_header_names_input_and_options) {
  scratch_dir dir;
  dir.write("h.h", header_text);
  sim_result result = run_sim({"fell", {"h.h", "-O2", "-g", "-o", "h.s", "--output-pch=h.h.gch"},
                               base_env(dir.file("log")), "", "", nullptr},
                              dir.path);
  ASSERT_TRUE(exited_with(result, 0)) << describe(result);
  EXPECT_EQ(dir.read("h.h.gch"),
            "fell (quarn stand-in) precompiled header of h.h\noptions: -O2 -g\n> #pragma once\n> int h;\n");
  EXPECT_TRUE(dir.exists("h.s"));
}

static std::string final_insns(const std::vector<std::string> &options, const char *differs = nullptr) {
  scratch_dir dir;
  dir.write("a.c", header_text);
  std::vector<std::string> args = {"a.c", "-o", "a.s", "-dumpbase", "a.c", "-frandom-seed=0x1234",
                                   "-fdump-final-insns=a.gkd"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<std::string> env = base_env(dir.file("log"));
  if (differs) env.push_back(std::string("QUARN_SIM_DUMP_DIFFERS=") + differs);
  sim_result result = run_sim({"tarn", args, env, "", "", nullptr}, dir.path);
  EXPECT_TRUE(exited_with(result, 0)) << describe(result);
  return dir.read("a.gkd");
}

TEST(sim_compiler_files, final_insns_dump_shows_source_and_codegen_options) {
  EXPECT_EQ(final_insns({"-O2", "-mabi=lp64", "-Wall"}),
            "tarn (quarn stand-in) final insns\noptions: -O2 -mabi=lp64\n> #pragma once\n> int h;\n");
}

// The two runs of a compare-debug compilation differ in debug options only.
static const std::vector<std::vector<std::string>> debug_variants = {
    {"-g"},
    {"-gtoggle"},
    {"-g3", "-gdwarf-4", "-fvar-tracking-assignments", "-fno-working-directory"},
    {"-w", "-S", "-fcompare-debug-second", "-gtoggle", "-o", "second.s"},
    {"-fworking-directory", "-fdebug-prefix-map=/a=/b", "-dumpdir", "elsewhere/"},
};

TEST(sim_compiler_files, final_insns_dump_ignores_debug_options) {
  std::string plain = final_insns({"-O1"});
  ASSERT_NE(plain, "");
  for (const std::vector<std::string> &variant : debug_variants) {
    std::vector<std::string> options = {"-O1"};
    options.insert(options.end(), variant.begin(), variant.end());
    EXPECT_EQ(final_insns(options), plain) << variant[0];
  }
}

TEST(sim_compiler_files, final_insns_dump_follows_codegen_options) {
  EXPECT_NE(final_insns({"-O2"}), final_insns({"-O0"}));
  EXPECT_NE(final_insns({"-fno-inline"}), final_insns({}));
}

TEST(sim_compiler_files, dump_differs_on_request_with_same_length) {
  std::string with_g = final_insns({"-g"}, "1");
  std::string with_toggle = final_insns({"-gtoggle", "-fcompare-debug-second"}, "1");
  EXPECT_NE(with_g, with_toggle);
  EXPECT_EQ(with_g.size(), with_toggle.size());
  EXPECT_EQ(final_insns({"-g"}, "1"), with_g);  // still deterministic
}

TEST(sim_compiler_files, dump_differs_on_request_in_length) {
  std::string plain = final_insns({}, "length");
  std::string toggled = final_insns({"-gtoggle", "-fcompare-debug-second"}, "length");
  EXPECT_NE(plain.size(), toggled.size());
  EXPECT_NE(toggled.find("debug: -gtoggle -fcompare-debug-second\n"), std::string::npos) << toggled;
}
