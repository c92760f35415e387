# Shared by the client tests: a controlled environment, a scratch copy of the
# project, and readings of the stand-in toolchain's run log.
# Source it after setting $stage (the staged tree) and $scratch (the test's
# own directory under the build tree).

# Only what the tests set reaches the tools: the machine's environment sets
# LIBRARY_PATH and may set QUARN_*, CCACHE_*, DISTCC_* or MAKEFLAGS.
if [ -z "${QUARN_CLIENT_TEST:-}" ]; then
  exec env -i QUARN_CLIENT_TEST=1 PATH="${PATH:-/usr/bin:/bin}" LC_ALL=C bash "$0" "$@"
fi

quarn=$stage/bin/quarn++
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# A fresh scratch directory holding a copy of the project in $scratch/project,
# with its own HOME and temporary directory.
new_scratch() {
  [ -x "$quarn" ] || fail "no staged driver at $quarn"
  rm -rf "$scratch"
  mkdir -p "$scratch/home" "$scratch/tmp"
  cp -R "$here/project" "$scratch/project"
  export HOME=$scratch/home TMPDIR=$scratch/tmp
  export QUARN_SIM_LOG=$scratch/run.log
}

need_program() {
  command -v "$1" >/dev/null || fail "$1 is not installed (scripts/install-test-deps.sh installs it)"
}

clear_log() {
  rm -f "$QUARN_SIM_LOG"
}

# One line per run in the log: "NAME MODE SOURCES", MODE being "E" for a
# preprocessing run and "-" otherwise, SOURCES the base names of the C++
# sources and preprocessed files in its argv, sorted.
log_runs() {
  [ -f "${1:-$QUARN_SIM_LOG}" ] || return 0
  python3 - "${1:-$QUARN_SIM_LOG}" <<'PY'
import json, os, sys
# Options of the compilers proper whose argument is the next word.
separate = {"-o", "-dumpbase", "-dumpbase-ext", "-dumpdir", "-auxbase", "-auxbase-strip",
            "-MD", "-MMD", "-MF", "-MQ", "-MT", "-I", "-D", "-U", "-iprefix", "-iquote",
            "-isystem", "-idirafter", "-include", "-imultilib", "-imultiarch", "-x"}
for line in open(sys.argv[1]):
    run = json.loads(line)
    argv = run["argv"][1:]
    sources, skip = [], False
    for word in argv:
        if skip:
            skip = False
        elif word in separate:
            skip = True
        elif not word.startswith("-") and word.endswith((".cc", ".ii")):
            sources.append(os.path.basename(word))
    sources.sort()
    print(run["name"], "E" if "-E" in argv else "-", " ".join(sources) or "-")
PY
}

# The sources compiled by the compiler proper (preprocessing runs excluded),
# sorted and space-separated.
compiled_sources() {
  log_runs "$@" | awk '$1 == "fell" && $2 == "-" { for (i = 3; i <= NF; i++) print $i }' |
    sort | tr '\n' ' ' | sed 's/ $//'
}

# How many runs of program NAME the log holds.
run_count() {
  log_runs "${2:-}" | awk -v name="$1" '$1 == name { n++ } END { print n + 0 }'
}

expect_equal() {
  [ "$2" = "$3" ] || fail "$1: expected [$2], got [$3]"
}

# Makes FILE newer than REF, even on a file system with coarse timestamps.
touch_newer() {
  touch "$1"
  while ! [ "$1" -nt "$2" ]; do
    sleep 1
    touch "$1"
  done
}

# After each header of the project changes, exactly the sources that include
# it compile again, then the one link. DIR is where the project's headers are
# (with its slash), ARTIFACT what the build made last, BUILD... the build.
#   expect_header_rebuilds DIR ARTIFACT BUILD...
expect_header_rebuilds() {
  local dir=$1 artifact=$2 header expected
  shift 2
  while read -r header expected; do
    clear_log
    touch_newer "$dir$header" "$artifact"
    "$@"
    expect_equal "after $header changed" "$expected" "$(compiled_sources)"
    expect_equal "links after $header changed" 1 "$(run_count tether)"
  done <<'HEADERS'
banner.h main.cc
greet.h greet.cc main.cc
util.h greet.cc util.cc
HEADERS
}
