// Relocation of configured directories from where the program really runs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "path_fixtures.h"
#include "support/relocate.h"

namespace {

const char *const bin_dir = "/usr/local/pell12/bin/";
const char *const lib_dir = "/usr/local/pell12/lib/quarn/";
const char *const libexec_dir = "/usr/local/pell12/libexec/quarn/";

std::string relocated(const std::string &name, const char *from, const char *to, bool resolve) {
  char *result = relocate_prefix(name.c_str(), from, to, resolve);
  std::string out = result ? result : "(none)";
  free(result);
  return out;
}

TEST(relocate, absolute_names) {
  scoped_env path("PATH", "/nonexistent-quarn-dir");
  struct row {
    const char *name;
    const char *from;
    const char *to;
    const char *want;
  };
  const row rows[] = {
      {"/opt/x/bin/quarn++", bin_dir, lib_dir, "/opt/x/bin/../lib/quarn/"},
      {"/usr/local/pell12/bin/quarn++", bin_dir, lib_dir, "(none)"},
      {"/opt/x/bin/quarn++", bin_dir, libexec_dir, "/opt/x/bin/../libexec/quarn/"},
      {"/opt/q/lib/quarn/quarn", lib_dir, libexec_dir, "/opt/q/lib/quarn/../../libexec/quarn/"},
      {"/usr/local/pell12/lib/quarn/quarn", lib_dir, libexec_dir, "(none)"},
      // A doubled slash stays where it was.
      {"/opt//x/bin/quarn++", bin_dir, lib_dir, "/opt//x/bin/../lib/quarn/"},
      // Same depth as the configured directory but elsewhere.
      {"/a/b/c/d/quarn++", bin_dir, lib_dir, "/a/b/c/d/../lib/quarn/"},
      // Only the root in common; then nothing in common at all.
      {"/opt/x/bin/quarn++", bin_dir, "/srv/lib/", "/opt/x/bin/../../../../srv/lib/"},
      {"/opt/x/bin/quarn++", bin_dir, "srv/lib/", "(none)"},
      {"", bin_dir, lib_dir, "(none)"},
      {"/opt/x/bin/quarn++", "", lib_dir, "(none)"},
      {"/opt/x/bin/quarn++", bin_dir, "", "(none)"},
  };
  for (const row &r : rows)
    for (bool resolve : {false, true})
      EXPECT_EQ(relocated(r.name, r.from, r.to, resolve), r.want) << r.name << " " << resolve;
  EXPECT_EQ(relocate_prefix(nullptr, bin_dir, lib_dir, false), nullptr);
  EXPECT_EQ(relocate_prefix("/opt/x/bin/quarn++", nullptr, lib_dir, false), nullptr);
  EXPECT_EQ(relocate_prefix("/opt/x/bin/quarn++", bin_dir, nullptr, false), nullptr);
}

TEST(relocate, bare_name_found_along_path) {
  scratch_dir dir;
  std::string bin = dir.make_dir("elsewhere/bin");
  dir.make_dir("decoy/quarn++");             // a directory of that name is no program
  dir.make_file("plain/quarn++", "x", 0644); // nor is a file without execute bits
  dir.make_file("elsewhere/bin/quarn++", "#!/bin/sh\n", 0755);
  std::string path =
      dir.path("nothing") + ":" + dir.path("decoy") + ":" + dir.path("plain") + ":" + bin + "/";
  scoped_env env("PATH", path.c_str());
  EXPECT_EQ(relocated("quarn++", bin_dir, lib_dir, false), bin + "/../lib/quarn/");
  EXPECT_EQ(relocated("quarn++", bin_dir, lib_dir, true), bin + "/../lib/quarn/");
}

TEST(relocate, bare_name_not_found_is_relative_to_the_current_directory) {
  scratch_dir dir;
  scoped_env env("PATH", dir.path("empty").c_str());
  EXPECT_EQ(relocated("quarn-not-here", bin_dir, lib_dir, false), "../lib/quarn/");
  EXPECT_EQ(relocated("quarn-not-here", bin_dir, lib_dir, true), "../lib/quarn/");
  scoped_env no_path("PATH", nullptr);
  EXPECT_EQ(relocated("quarn-not-here", bin_dir, lib_dir, false), "../lib/quarn/");
}

TEST(relocate, empty_path_piece_means_the_current_directory) {
  scratch_dir dir;
  dir.make_file("quarn++", "#!/bin/sh\n", 0755);
  char *old_cwd = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.root().c_str()), 0);
  {
    scoped_env env("PATH", (dir.path("none") + "::/nonexistent-quarn-dir").c_str());
    EXPECT_EQ(relocated("quarn++", bin_dir, lib_dir, false), "./../lib/quarn/");
    EXPECT_EQ(relocated("quarn++", bin_dir, lib_dir, true), dir.root() + "/../lib/quarn/");
  }
  EXPECT_EQ(chdir(old_cwd), 0);
  free(old_cwd);
}

TEST(relocate, symbolic_link_resolved_or_kept) {
  scratch_dir dir;
  std::string real = dir.make_file("opt/q/bin/quarn++", "#!/bin/sh\n", 0755);
  std::string link = dir.make_dir("usr/bin") + "/quarn++";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  EXPECT_EQ(relocated(link, bin_dir, lib_dir, true), dir.path("opt/q/bin/../lib/quarn/"));
  EXPECT_EQ(relocated(link, bin_dir, lib_dir, false), dir.path("usr/bin/../lib/quarn/"));
  // Resolving also removes a doubled slash; the unresolved name keeps it.
  std::string doubled = dir.path("opt//q/bin/quarn++");
  EXPECT_EQ(relocated(doubled, bin_dir, lib_dir, true), dir.path("opt/q/bin/../lib/quarn/"));
  EXPECT_EQ(relocated(doubled, bin_dir, lib_dir, false), dir.path("opt//q/bin/../lib/quarn/"));
}

} // namespace

namespace {

std::string resolved_once(const char *name, bool resolve) {
  char *program = resolve_program_name(name, resolve);
  std::string out = program ? program : "(none)";
  free(program);
  return out;
}

// The driver resolves its name once and relocates both directories from that.
TEST(relocate, resolving_once_gives_the_same_directories) {
  scratch_dir dir;
  std::string real = dir.make_file("opt/q/bin/quarn++", "#!/bin/sh\n", 0755);
  std::string link = dir.make_dir("usr/bin") + "/quarn++";
  ASSERT_EQ(symlink(real.c_str(), link.c_str()), 0);
  scoped_env env("PATH", (dir.path("none") + ":" + dir.path("usr/bin")).c_str());
  struct row {
    std::string name;
    bool resolve;
    std::string want_path;
  };
  const row rows[] = {
      {link, true, real},
      {link, false, link},
      {"quarn++", true, real},
      {"quarn++", false, dir.path("usr/bin/quarn++")},
      {"quarn-not-here", false, "quarn-not-here"},
      {"quarn-not-here", true, "quarn-not-here"},
  };
  for (const row &r : rows) {
    EXPECT_EQ(resolved_once(r.name.c_str(), r.resolve), r.want_path) << r.name;
    for (const char *to : {lib_dir, libexec_dir})
      EXPECT_EQ(relocated(r.want_path, bin_dir, to, false), relocated(r.name, bin_dir, to, r.resolve))
          << r.name << " " << to;
  }
  EXPECT_EQ(resolve_program_name(nullptr, true), nullptr);
}

} // namespace
