#!/usr/bin/env bash
# CMake with Ninja through the staged toolchain file: configure, build, and
# rebuild exactly the objects whose headers changed, from the dependency
# files the driver writes.
#   cmake.sh STAGE SCRATCH
set -euo pipefail
stage=$1 scratch=$2
source "$(dirname "$0")/lib.sh"
need_program cmake
need_program ninja
new_scratch
cd "$scratch"
toolchain=$stage/share/quarn/toolchain.cmake
[ -f "$toolchain" ] || fail "no toolchain file at $toolchain"

configure() {  # TOOLCHAIN BUILD_DIR
  cmake -G Ninja -S project -B "$2" -DCMAKE_TOOLCHAIN_FILE="$1" > "$2.configure.log" ||
    { cat "$2.configure.log"; fail "configuring $2 failed"; }
  cat "$2.configure.log"
}

# Configure: the target system and the driver beside the toolchain file.
clear_log
configure "$toolchain" build
grep -qx -- "-- client target: FreeBSD aarch64 cross=TRUE" build.configure.log ||
  fail "the toolchain file does not set the target system"
grep -qx -- "-- client compiler: $stage/bin/quarn++" build.configure.log ||
  fail "the toolchain file does not name the staged driver"

# A full build: every source compiled once, one link, the headers of each
# object recorded from its dependency file.
clear_log
cmake --build build
expect_equal "full build compiles" "greet.cc main.cc util.cc" "$(compiled_sources)"
expect_equal "full build links" 1 "$(run_count tether)"
[ -f build/app ] || fail "no app after the build"
while read -r object headers; do
  recorded=$(ninja -C build -t deps "CMakeFiles/app.dir/$object" |
             sed -n 's|^ *.*/project/\([^/]*\.h\)$|\1|p' | sort | tr '\n' ' ')
  expect_equal "headers recorded for $object" "$headers " "$recorded"
done <<'DEPS'
main.cc.o banner.h greet.h
greet.cc.o greet.h util.h
util.cc.o util.h
DEPS

# Nothing changed: nothing runs.
clear_log
cmake --build build
[ ! -s "$QUARN_SIM_LOG" ] || fail "a no-op rebuild ran: $(log_runs)"

# A header changed: exactly the objects that include it, then the link.
expect_header_rebuilds project/ build/app cmake --build build

# A relocated copy of the installation: its toolchain file finds its own
# driver, and every program that runs is the copy's.
cp -R "$stage" relocated
clear_log
configure "$scratch/relocated/share/quarn/toolchain.cmake" moved
grep -qx -- "-- client compiler: $scratch/relocated/bin/quarn++" moved.configure.log ||
  fail "the relocated toolchain file does not name the relocated driver"
clear_log
cmake --build moved
expect_equal "relocated build compiles" "greet.cc main.cc util.cc" "$(compiled_sources)"
outside=$(grep -vc "^{\"name\":\"[^\"]*\",\"argv\":\[\"$scratch/relocated/" "$QUARN_SIM_LOG" || true)
expect_equal "runs outside the relocated tree" 0 "$outside"
echo "cmake client: pass"
