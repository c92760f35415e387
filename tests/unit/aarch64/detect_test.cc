// -march=native, -mcpu=native and -mtune=native: what a cpuinfo text turns into.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include <gtest/gtest.h>

#include "specs/spec_functions.h"

namespace {

const std::string fixtures = QUARN_TEST_SOURCE_DIR "/tests/unit/aarch64/fixtures/";

// The detector's answer for WORD with QUARN_CPUINFO naming PATH; "<none>"
// when it gives nothing.
std::string detect(const std::string &path, const char *word) {
  setenv("QUARN_CPUINFO", path.c_str(), 1);
  const char *argv[] = {word};
  const char *result = host_detect_local_cpu(1, argv);
  unsetenv("QUARN_CPUINFO");
  return result ? result : "<none>";
}

// A cpuinfo text written to a file of its own for the length of a test.
struct cpuinfo_file {
  std::string path;
  explicit cpuinfo_file(const std::string &text) {
    char name[] = "/tmp/quarn-cpuinfo-XXXXXX";
    int fd = mkstemp(name);
    if (fd < 0)
      return;
    path = name;
    if (write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
      path.clear();
    close(fd);
  }
  ~cpuinfo_file() {
    if (!path.empty())
      unlink(path.c_str());
  }
};

struct fixture_case {
  const char *file;
  const char *arch, *cpu, *tune;
};

// Expected texts follow from the processor tables: e.g. cortex-a72 has the
// defaults fp, simd and crc; the features fp asimd aes pmull sha1 sha2 crc32
// give fp, simd, crypto, aes, sha2 and crc, and crypto stands for aes and sha2.
const fixture_case fixture_cases[] = {
    {"cortex-a72.txt", "-march=armv8-a+crypto+crc", "-mcpu=cortex-a72+crypto", "-mtune=cortex-a72"},
    // Parts 0xd03 then 0xd08; "arch" looks at the first part only, and the
    // two variants do not matter for a pair.
    {"big-little.txt", "-march=armv8-a+crypto+crc", "-mcpu=cortex-a72.cortex-a53+crypto",
     "-mtune=cortex-a72.cortex-a53"},
    // No processor has part 0xd99: the base architecture, for "tune" too.
    {"unknown-part.txt", "-march=armv8-a+crc", "-march=armv8-a+crc", "-march=armv8-a"},
    {"unknown-implementer.txt", "-march=armv8-a+lse", "-march=armv8-a+lse", "-march=armv8-a"},
    {"implementer-ff.txt", "<none>", "<none>", "<none>"},
    {"two-implementers.txt", "<none>", "<none>", "<none>"},
    {"three-parts.txt", "<none>", "<none>", "<none>"},
    {"two-variants.txt", "<none>", "<none>", "<none>"},
    // Only the first Features line (fp asimd crc32) counts.
    {"features-twice.txt", "-march=armv8-a+crc", "-mcpu=cortex-a72", "-mtune=cortex-a72"},
    // A Features line of 146 bytes: crc32, asimddp and ssbs lie past the
    // first 128. Part 0xd0c is "ares" first; its profile default cannot be
    // seen in cpuinfo.
    {"long-features.txt", "-march=armv8.2-a+crypto+fp16+rcpc+dotprod+ssbs",
     "-mcpu=ares+crypto+ssbs+noprofile", "-mtune=ares"},
    {"no-such-file.txt", "<none>", "<none>", "<none>"},
};

TEST(host_detect_local_cpu, fixtures) {
  for (const fixture_case &c : fixture_cases) {
    std::string path = fixtures + c.file;
    EXPECT_EQ(detect(path, "arch"), c.arch) << c.file;
    EXPECT_EQ(detect(path, "cpu"), c.cpu) << c.file;
    EXPECT_EQ(detect(path, "tune"), c.tune) << c.file;
  }
}

TEST(host_detect_local_cpu, argument_words) {
  std::string path = fixtures + "cortex-a72.txt";
  EXPECT_EQ(detect(path, "native"), "<none>");
  EXPECT_EQ(detect(path, "CPU"), "<none>");
  EXPECT_EQ(detect(path, ""), "<none>");
  setenv("QUARN_CPUINFO", path.c_str(), 1);
  EXPECT_EQ(host_detect_local_cpu(0, nullptr), nullptr);
  unsetenv("QUARN_CPUINFO");
}

struct text_case {
  const char *what;
  const char *text;
  const char *word;
  const char *expected;
};

// Short texts for the reading rules; "tune" keeps features out of the answer.
const text_case text_cases[] = {
    {"values without 0x", "CPU implementer : 41\nCPU variant : 0\nCPU part : d08\n", "tune",
     "-mtune=cortex-a72"},
    {"upper-case prefix and digits", "CPU implementer : 0X41\nCPU variant : 0x0\nCPU part : 0XD08\n",
     "tune", "-mtune=cortex-a72"},
    {"last line without newline", "CPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08",
     "tune", "-mtune=cortex-a72"},
    {"empty text", "", "cpu", "<none>"},
    {"no part", "CPU implementer : 0x41\nCPU variant : 0x0\n", "tune", "<none>"},
    {"no implementer", "CPU variant : 0x0\nCPU part : 0xd08\n", "tune", "<none>"},
    {"one part without variant", "CPU implementer : 0x41\nCPU part : 0xd08\n", "tune", "<none>"},
    {"key without colon after it", "CPU implementer 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n",
     "tune", "<none>"},
    {"unreadable implementer before any",
     "CPU implementer : ?\nCPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n", "tune",
     "-mtune=cortex-a72"},
    {"unreadable implementer after one",
     "CPU implementer : 0x41\nCPU implementer : ?\nCPU variant : 0x0\nCPU part : 0xd08\n", "tune",
     "<none>"},
    {"same implementer twice",
     "CPU implementer : 0x41\nCPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n",
     "tune", "-mtune=cortex-a72"},
    {"unreadable part", "CPU implementer : 0x41\nCPU variant : 0x0\nCPU part : zz\n", "tune",
     "-march=armv8-a"},
    // thunderxt88p1 is the variant-0 row before thunderxt88 for any variant.
    {"row for one variant", "CPU implementer : 0x43\nCPU variant : 0x0\nCPU part : 0xa1\n", "tune",
     "-mtune=thunderxt88p1"},
    {"row for any variant", "CPU implementer : 0x43\nCPU variant : 0x1\nCPU part : 0xa1\n", "tune",
     "-mtune=thunderxt88"},
    {"emag by variant", "CPU implementer : 0x50\nCPU variant : 0x3\nCPU part : 0x0\n", "tune",
     "-mtune=emag"},
    {"xgene1 otherwise", "CPU implementer : 0x50\nCPU variant : 0x1\nCPU part : 0x0\n", "tune",
     "-mtune=xgene1"},
    {"pair with the big part first",
     "CPU implementer : 0x41\nCPU part : 0xd08\nCPU part : 0xd03\n", "tune",
     "-mtune=cortex-a72.cortex-a53"},
    {"pair parts taken modulo 0x1000",
     "CPU implementer : 0x41\nCPU part : 0x1d08\nCPU part : 0xd03\n", "tune",
     "-mtune=cortex-a72.cortex-a53"},
    {"pair no processor has", "CPU implementer : 0x41\nCPU part : 0xd08\nCPU part : 0xd05\n",
     "tune", "<none>"},
    // Without Features nothing is detected, so the defaults are turned off.
    {"arch of an unknown pair's first part",
     "CPU implementer : 0x41\nCPU part : 0xd08\nCPU part : 0xd05\n", "arch",
     "-march=armv8-a+nofp+nosimd"},
    // "arch" with a pair and no variant line: only rows for any variant can
    // match, and thunderx3t110 is for variant 0xa alone.
    {"arch of a pair without variants",
     "CPU implementer : 0x43\nCPU part : 0xb8\nCPU part : 0xb9\n", "arch",
     "-march=armv8-a+nofp+nosimd"},
    {"arch of a pair with the variant",
     "CPU implementer : 0x43\nCPU variant : 0xa\nCPU part : 0xb8\nCPU part : 0xb9\n", "arch",
     "-march=armv8.3-a+nofp+nosimd+nocrc+nolse+norcpc+nordma+nopauth"},
    {"no Features line",
     "CPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n", "cpu",
     "-mcpu=cortex-a72+nofp+nosimd+nocrc"},
    // Words are split at spaces only: "fp\tasimd" is one unknown word.
    {"tab inside Features",
     "Features : fp\tasimd crc32\nCPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n",
     "cpu", "-mcpu=cortex-a72+nofp+nosimd"},
    {"Features words are whole words",
     "Features : fpx asimd2 crc32\nCPU implementer : 0x41\nCPU variant : 0x0\nCPU part : 0xd08\n",
     "cpu", "-mcpu=cortex-a72+nofp+nosimd"},
    // sve2 with its requirements fp16 and sve, and the sve2-bitperm word:
    // the implied extensions are not written.
    {"implied extensions folded",
     "Features : fp asimd fphp asimdhp sve sve2 svebitperm\nCPU implementer : 0x41\n"
     "CPU variant : 0x0\nCPU part : 0xd03\n",
     "arch", "-march=armv8-a+sve2-bitperm"},
    // A value is a number alone: "0x41 r1" cannot be read.
    {"text after a value", "CPU implementer : 0x41 r1\nCPU variant : 0x0\nCPU part : 0xd08\n",
     "tune", "<none>"},
};

TEST(host_detect_local_cpu, reading_rules) {
  for (const text_case &c : text_cases) {
    cpuinfo_file file(c.text);
    ASSERT_FALSE(file.path.empty());
    EXPECT_EQ(detect(file.path, c.word), c.expected) << c.what;
  }
}

// A line far longer than one read, with the key and value at its end.
TEST(host_detect_local_cpu, very_long_lines) {
  std::string padding(1000, 'x');
  cpuinfo_file file("CPU implementer " + padding + ": 0x41\nCPU variant : 0x0\n" + padding +
                    " part : 0xd08\n");
  ASSERT_FALSE(file.path.empty());
  EXPECT_EQ(detect(file.path, "tune"), "-mtune=cortex-a72");
}

} // namespace
